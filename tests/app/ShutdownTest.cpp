// The program's end, run as a child: Quit while a workflow's tool runs, the end of the desktop
// session, and a second start while one runs. The stand-in program is the shipped shell with
// stand-in workflows whose logon waits on a real child process.
#include <ProcessRunner.h>
#include <signal.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

using namespace std::chrono_literals;

class ShutdownTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;

    quorvane::ProcessRequest standIn(const QStringList& arguments,
                                     std::chrono::milliseconds limit) {
        const QString runtime = home_.filePath("runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        quorvane::ProcessRequest request;
        request.executable = QUORVANE_STANDIN;
        for (const QString& argument : arguments) {
            request.arguments.push_back(argument.toStdString());
        }
        request.environment = std::vector<std::string>{
            "HOME=" + home_.path().toStdString(), "XDG_RUNTIME_DIR=" + runtime.toStdString(),
            "XDG_CONFIG_HOME=" + home_.filePath("config").toStdString(),
            "QT_QPA_PLATFORM=offscreen", "PATH=/usr/bin:/bin"};
        request.inheritStandardInput = false;
        request.captureOutput = true;
        request.timeLimit = limit;
        return request;
    }

    static qint64 numberAfter(const std::string& output, const QString& label) {
        const QRegularExpression pattern(QRegularExpression::escape(label) + "(\\d+)");
        return pattern.match(QString::fromStdString(output)).captured(1).toLongLong();
    }

    static bool processGone(qint64 pid) {
        QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!file.open(QIODevice::ReadOnly)) {
            return true;
        }
        const QByteArray text = file.readAll();
        const int close = text.lastIndexOf(')');
        return close < 0 || text.mid(close + 2, 1) == "Z";
    }

private slots:
    void quitDuringALogonEndsItsToolAndTheProgramWithinTwoSeconds() {
        const quorvane::ProcessResult run = quorvane::runProcess(
            standIn({"--slow-logon", "--logon-now", "--quit-after-ms", "700"}, 30s));
        const qint64 ended = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(int(run.outcome), int(quorvane::ProcessResult::Outcome::Exited));
        QCOMPARE(run.exitStatus, 0);
        const qint64 quitAt = numberAfter(run.output, "stand-in: quit pressed at ");
        const qint64 tool = numberAfter(run.output, "stand-in: tool pid ");
        QVERIFY2(quitAt > 0 && tool > 0, run.output.c_str());
        std::printf("[ figures  ] from Quit to the end of the program during a logon: %lld ms\n",
                    static_cast<long long>(ended - quitAt));
        QVERIFY2(ended - quitAt < 2000, run.output.c_str());
        QVERIFY(run.output.find("stand-in: logon ended (stopped)") != std::string::npos);
        QTRY_VERIFY(processGone(tool));
    }

    void theEndOfTheSessionStopsTheWorkflowAndLogsOut() {
        pid_t pid = 0;
        quorvane::ProcessRequest request = standIn({"--slow-logon", "--logon-now"}, 30s);
        request.started = [&pid](pid_t started) { pid = started; };
        std::thread terminator([&pid] {
            std::this_thread::sleep_for(1500ms);
            ::kill(pid, SIGTERM);
        });
        const auto begun = std::chrono::steady_clock::now();
        const quorvane::ProcessResult run = quorvane::runProcess(request);
        terminator.join();
        QCOMPARE(int(run.outcome), int(quorvane::ProcessResult::Outcome::Exited));
        QVERIFY(std::chrono::steady_clock::now() - begun < 12s);
        // The tool was stopped, then the stand-in logout ran and its message was printed.
        QVERIFY2(run.output.find("stand-in: logon ended (stopped)") != std::string::npos,
                 run.output.c_str());
        QVERIFY2(run.output.find("stand-in: logout") != std::string::npos, run.output.c_str());
        QVERIFY2(run.output.find("Successfully disconnected 2 drive(s).") != std::string::npos,
                 run.output.c_str());
    }

    void aSecondStartHandsOverToTheRunningProgram() {
        quorvane::ProcessResult first;
        std::thread running([&] { first = quorvane::runProcess(standIn({}, 4s)); });
        const QString socket = home_.filePath("runtime/quorvane-%1.socket").arg(::getuid());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 3000);
        const quorvane::ProcessResult second = quorvane::runProcess(standIn({}, 10s));
        running.join();
        QCOMPARE(int(second.outcome), int(quorvane::ProcessResult::Outcome::Exited));
        QCOMPARE(second.exitStatus, 0);
        QVERIFY2(second.output.find("handed over") != std::string::npos, second.output.c_str());
        // The first ran on until its time was up.
        QCOMPARE(int(first.outcome), int(quorvane::ProcessResult::Outcome::TimedOut));

        // With nobody listening, a socket left behind by a crash does not stop a start.
        QFile::remove(socket);
        QFile stale(socket);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        const quorvane::ProcessResult alone = quorvane::runProcess(standIn({}, 2s));
        QCOMPARE(int(alone.outcome), int(quorvane::ProcessResult::Outcome::TimedOut));
    }
};

QTEST_GUILESS_MAIN(ShutdownTest)
#include "ShutdownTest.moc"
