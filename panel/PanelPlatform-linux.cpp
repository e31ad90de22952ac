#include "PanelPlatform.h"

namespace quorvane {

QString panelTitle() {
    return QStringLiteral("Quorvane for Linux");
}

}  // namespace quorvane
