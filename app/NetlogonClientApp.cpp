#include "NetlogonClientApp.h"

#include <QApplication>
#include <QTimer>

namespace quorvane {

NetlogonClientApp::NetlogonClientApp(Workflows workflows)
    : appDelegate_(std::make_unique<AppDelegate>(std::move(workflows))) {}

NetlogonClientApp::~NetlogonClientApp() = default;

int NetlogonClientApp::run() {
    QTimer::singleShot(0, appDelegate_.get(), &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}

}  // namespace quorvane
