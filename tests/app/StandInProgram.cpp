// The tray program with stand-ins for the engine, for scripts/bench-gui.sh and the shell's
// shutdown tests: each workflow waits a moment, prints one line and reports success, and the
// wall clock is printed once the tray icon has been shown.
//
//   --slow-logon        the logon runs a real tool (sleep 60) that only a stop request ends;
//                       the tool's pid is printed as "stand-in: tool pid N"
//   --stubborn-tool     with --slow-logon: the logon first makes the empty folder
//                       ~/smbmounts/Science, as a mount tool's mount point, and its tool ignores
//                       a stop request (once it has set itself to, which --quit-after-ms waits
//                       for)
//   --logon-now         starts a logon at once, as if the user had pressed Logon
//   --quit-after-ms N   presses the panel's Quit control after N ms
//   --logon-fails       the logon fails as one to a server that does not answer
//   --partial-logon     the logon leaves the group share "Media" out
//   --dark              a dark palette, as a dark desktop theme gives
//   --real-engine       the shipped program's workflows instead of stand-ins; --logon-now then
//                       logs on to $QUORVANE_STANDIN_SERVER as $QUORVANE_STANDIN_USER with
//                       $QUORVANE_STANDIN_PASSWORD (a test domain's, never a real one)
#include <ProcessRunner.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "NetlogonClientApp.h"
#include "PanelTestSupport.h"
#include "Translations.h"
#include "Workflows.h"

namespace {

// Made by the stubborn tool once it ignores stop requests.
QString stubbornToolReady() {
    return QDir::homePath() + QStringLiteral("/.stubborn-tool-ready");
}

// A logon that waits on a real child process until it is asked to stop.
quorvane::Workflows withSlowLogon(quorvane::Workflows workflows, bool stubborn) {
    auto stop = std::make_shared<quorvane::Interruption>();
    workflows.logon = [stop, stubborn](const QString&, const QString&, const QString&, bool) {
        quorvane::ProcessRequest request;
        request.executable = "/bin/sleep";
        request.arguments = {"60"};
        if (stubborn) {
            QDir().mkpath(QDir::homePath() + QStringLiteral("/smbmounts/Science"));
            request.executable = "/bin/sh";
            QFile::remove(stubbornToolReady());
            request.arguments = {"-c", "trap '' TERM; : > \"$0\"; exec sleep 60",
                                 stubbornToolReady().toStdString()};
        }
        request.interruption = stop.get();
        request.inheritStandardInput = false;
        request.started = [](pid_t pid) {
            std::printf("stand-in: tool pid %d\n", static_cast<int>(pid));
            std::fflush(stdout);
        };
        const quorvane::ProcessResult run = quorvane::runProcess(request);
        std::printf(
            "stand-in: logon ended (%s)\n",
            run.outcome == quorvane::ProcessResult::Outcome::Interrupted ? "stopped" : "ran out");
        std::fflush(stdout);
        return quorvane::WorkflowResult{quorvane::Outcome::Interrupted, "stopped", {}};
    };
    workflows.stop = [stop] { stop->raise(); };
    workflows.cancel = workflows.stop;
    return workflows;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    quorvane::installTranslations();
    if (arguments.contains(QStringLiteral("--dark"))) {
        QPalette dark(QColor(0x2d, 0x2d, 0x30), QColor(0x1f, 0x1f, 0x22));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
        dark.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            dark.setColor(QPalette::Disabled, role, QColor(0x7a, 0x7a, 0x7e));
        }
        QApplication::setPalette(dark);
    }

    quorvane::testing::StandIn standIn;
    standIn.delayMs = 300;
    standIn.announce = true;
    if (arguments.contains(QStringLiteral("--logon-fails"))) {
        standIn.logonOutcome = quorvane::Outcome::Failed;
        standIn.logonMessage = QStringLiteral(
            "Failed to mount initial user home directory. The server was not found or is not "
            "answering.");
    }
    if (arguments.contains(QStringLiteral("--partial-logon"))) {
        standIn.logonOutcome = quorvane::Outcome::PartlyDone;
        standIn.logonMessage = QStringLiteral(
            "Logon workflow finished. Shares mapped under ~/smbmounts/ Not mounted: Media.");
        standIn.notMountedAfterLogon = {{"Media", "The server has no share of this name."}};
    }
    quorvane::Workflows workflows = standIn.workflows();
    if (arguments.contains(QStringLiteral("--slow-logon"))) {
        workflows = withSlowLogon(workflows, arguments.contains(QStringLiteral("--stubborn-tool")));
    }
    const bool realEngine = arguments.contains(QStringLiteral("--real-engine"));
    if (realEngine) {
        workflows = quorvane::engineWorkflows();
    }
    quorvane::NetlogonClientApp client(workflows);
    if (client.handOverToRunningInstance()) {
        std::printf("stand-in: handed over to the running program\n");
        return 0;
    }
    // Queued behind the launch that run() queues, so it prints once the icon is shown.
    QTimer::singleShot(0, [] {
        QTimer::singleShot(0, [] {
            std::printf("startup: tray icon shown at %lld ms\n",
                        static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
        });
    });
    if (arguments.contains(QStringLiteral("--logon-now"))) {
        QTimer::singleShot(50, [&client, realEngine] {
            std::printf("stand-in: logon started at %lld ms\n",
                        static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
            quorvane::ContentView* view = client.appDelegate().contentView();
            if (realEngine) {
                quorvane::testing::typeAndLogOn(view, qEnvironmentVariable("QUORVANE_STANDIN_USER"),
                                                qEnvironmentVariable("QUORVANE_STANDIN_PASSWORD"),
                                                qEnvironmentVariable("QUORVANE_STANDIN_SERVER"));
            } else {
                quorvane::testing::typeAndLogOn(view);
            }
        });
    }
    const int quitAt = arguments.indexOf(QStringLiteral("--quit-after-ms"));
    if (quitAt > 0 && quitAt + 1 < arguments.size()) {
        const bool waitForTool = arguments.contains(QStringLiteral("--stubborn-tool"));
        auto* quitTimer = new QTimer(&app);
        quitTimer->setInterval(20);
        QObject::connect(quitTimer, &QTimer::timeout, [&client, quitTimer, waitForTool] {
            if (waitForTool && !QFile::exists(stubbornToolReady())) {
                return;
            }
            quitTimer->stop();
            std::printf("stand-in: quit pressed at %lld ms\n",
                        static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
            client.appDelegate()
                .contentView()
                ->findChild<QToolButton*>(QStringLiteral("quitButton"))
                ->click();
        });
        QTimer::singleShot(arguments[quitAt + 1].toInt(), quitTimer, qOverload<>(&QTimer::start));
    }
    return client.run();
}
