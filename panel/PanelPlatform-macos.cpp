#include "PanelPlatform.h"

#include <QCoreApplication>

namespace quorvane {

QString panelTitle() {
    return QCoreApplication::translate("quorvane::ContentView", "Quorvane for Apple Silicon");
}

}  // namespace quorvane
