#include "DaemonEvents.h"

namespace quorvane {

// The system's SMB client keeps no daemon of the user's to watch.
struct DaemonEvents::Watch {};

DaemonEvents::DaemonEvents(const std::string&, QObject* parent) : QObject(parent) {}

DaemonEvents::~DaemonEvents() = default;

void DaemonEvents::follow(const std::map<std::string, pid_t>&) {}

}  // namespace quorvane
