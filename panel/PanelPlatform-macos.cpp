#include "PanelPlatform.h"

namespace quorvane {

QString panelTitle() {
    return QStringLiteral("Quorvane for Apple Silicon");
}

}  // namespace quorvane
