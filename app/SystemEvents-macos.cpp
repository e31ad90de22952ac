#include "SystemEvents.h"

namespace quorvane {

// The system's SMB client reconnects by itself after a wake; the shares are checked each time
// the menu opens and after each workflow.
class SystemEvents::Watch {};

SystemEvents::SystemEvents(QObject* parent) : QObject(parent) {}

SystemEvents::~SystemEvents() = default;

}  // namespace quorvane
