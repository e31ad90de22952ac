#include <QGuiApplication>

#include "Artwork.h"
#include "ShellPlatform.h"

namespace quorvane {

QIcon statusItemIcon() {
    QIcon icon = artwork::icon(artwork::kLaptop, qApp->devicePixelRatio());
    // The menu bar draws a mask image in its own colour, light or dark.
    icon.setIsMask(true);
    return icon;
}

// LSUIElement in the bundle's Info.plist makes this an accessory application: no Dock icon and
// no menu bar of its own.
void makeAccessoryApplication() {}

}  // namespace quorvane
