#include <QGuiApplication>

#include "Artwork.h"
#include "ShellPlatform.h"

namespace quorvane {

QIcon statusItemIcon() {
    return artwork::icon(artwork::kLaptop, qApp->devicePixelRatio());
}

// The pop-up window type already keeps the panel out of the taskbar.
void makeAccessoryApplication() {}

}  // namespace quorvane
