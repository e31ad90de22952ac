// The built program as a child with a throw-away home: its command words and options, and its
// end (Quit while a workflow's tool runs, the end of the desktop session, a second start while
// one runs). For its end it is the stand-in program: the shipped shell with stand-in workflows
// whose logon waits on a real child process.
#include <ProcessRunner.h>
#include <TestSupport.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using ChildRun = quorvane::ProcessResult;

class ProgramTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;

    // Commands must need no display, so only the stand-in program is told to draw offscreen.
    quorvane::ProcessRequest child(const char* executable, const QStringList& arguments,
                                   std::chrono::milliseconds limit) {
        const QString runtime = home_.filePath("runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        quorvane::ProcessRequest request;
        request.executable = executable;
        for (const QString& argument : arguments) {
            request.arguments.push_back(argument.toStdString());
        }
        request.environment = std::vector<std::string>{
            "HOME=" + home_.path().toStdString(), "XDG_RUNTIME_DIR=" + runtime.toStdString(),
            "XDG_CONFIG_HOME=" + home_.filePath("config").toStdString(), "PATH=/usr/bin:/bin"};
        if (std::string(executable) == QUORVANE_STANDIN) {
            request.environment->push_back("QT_QPA_PLATFORM=offscreen");
        }
        request.inheritStandardInput = false;
        request.captureOutput = true;
        request.timeLimit = limit;
        return request;
    }
    ChildRun run(const char* executable, const QStringList& arguments,
                 std::chrono::milliseconds limit) {
        return quorvane::runProcess(child(executable, arguments, limit));
    }

    // Runs `executable` until a second start has handed over to it (so it runs its event
    // loop), then ends it as the desktop session ends; `second` gets the second start's run.
    ChildRun runUntilHandedOver(const char* executable, const QStringList& arguments,
                                ChildRun* second) {
        const QString socket = home_.filePath("runtime/quorvane-%1.socket").arg(::getuid());
        quorvane::Interruption end;
        quorvane::ProcessRequest request = child(executable, arguments, 30s);
        request.interruption = &end;
        ChildRun first;
        std::thread running([&] { first = quorvane::runProcess(request); });
        if (quorvane::testing::eventually([&] { return isSocket(socket); })) {
            *second = run(executable, {"-platform", "offscreen"}, 10s);
        }
        end.raise();
        running.join();
        return first;
    }

    static qint64 numberAfter(const std::string& output, const QString& label) {
        const QRegularExpression pattern(QRegularExpression::escape(label) + "(\\d+)");
        return pattern.match(QString::fromStdString(output)).captured(1).toLongLong();
    }

    // A child of `parent` running `name`, or 0.
    static pid_t childRunning(pid_t parent, const QString& name) {
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& entry : entries) {
            QFile file(QStringLiteral("/proc/%1/stat").arg(entry));
            if (entry.toLongLong() <= 0 || !file.open(QIODevice::ReadOnly)) {
                continue;
            }
            // "pid (comm) state ppid ..."
            const QByteArray text = file.readAll();
            const int open = text.indexOf('(');
            const int close = text.lastIndexOf(')');
            const QList<QByteArray> rest = text.mid(close + 2).split(' ');
            if (open > 0 && close > open && rest.size() > 1 && rest[1].toLongLong() == parent &&
                text.mid(open + 1, close - open - 1) == name.toUtf8()) {
                return static_cast<pid_t>(entry.toLongLong());
            }
        }
        return 0;
    }

    static bool isSocket(const QString& path) {
        struct stat status {};
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 &&
               S_ISSOCK(status.st_mode);
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
    void commandsAndOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("errors");
        QTest::newRow("--version")
            << QStringList{"--version"} << 0 << "quorvane " QUORVANE_VERSION "\n"
            << "";
        QTest::newRow("--help names --version") << QStringList{"--help"} << 0 << "| --version]"
                                                << "";
        QTest::newRow("unknown command") << QStringList{"bogus"} << 2 << ""
                                         << "quorvane: unknown command \"bogus\"";
        QTest::newRow("the tray with no display") << QStringList{"-style", "fusion"} << 1 << ""
                                                  << "quorvane: no display";
        QTest::newRow("unknown option with no display") << QStringList{"--bogus"} << 2 << ""
                                                        << "quorvane: unknown option \"--bogus\"";
        QTest::newRow("unknown option of the tray, after the Qt options")
            << QStringList{"-platform", "offscreen", "-bogus"} << 2 << ""
            << "quorvane: unknown option \"-bogus\"";
    }
    void commandsAndOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitStatus);
        QFETCH(QString, output);
        QFETCH(QString, errors);
        const ChildRun result = run(QUORVANE_PROGRAM, arguments, 20s);
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(result.exitStatus, exitStatus);
        QVERIFY2(QString::fromStdString(result.output).contains(output), result.output.c_str());
        QVERIFY2(QString::fromStdString(result.errors).contains(errors), result.errors.c_str());
    }

    void qtOptionsStartTheTray() {
        // Offscreen has no tray, so the panel comes up as a window and the program runs on.
        ChildRun second;
        const ChildRun result = runUntilHandedOver(
            QUORVANE_PROGRAM, {"-platform", "offscreen", "-style", "fusion"}, &second);
        QCOMPARE(int(second.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(second.exitStatus, 0);
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(result.exitStatus, 0);
        QVERIFY2(result.output.find("showing the logon panel as a window") != std::string::npos,
                 (result.output + result.errors).c_str());
        QVERIFY2(result.errors.find("XDG_RUNTIME_DIR") == std::string::npos, result.errors.c_str());
        QVERIFY2(result.errors.find("unknown") == std::string::npos, result.errors.c_str());
    }

    void autostartOptionIsTheTraysOwn() {
        // Started at login it first waits for a tray; it runs on either way.
        ChildRun second;
        const ChildRun result = runUntilHandedOver(
            QUORVANE_PROGRAM, {"-platform", "offscreen", "--autostart"}, &second);
        QCOMPARE(second.exitStatus, 0);
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(result.exitStatus, 0);
        QVERIFY2(result.errors.find("unknown") == std::string::npos, result.errors.c_str());
    }

    void quitDuringALogonEndsTheProgramAndLeavesNoEmptyFolder_data() {
        QTest::addColumn<bool>("stubborn");
        QTest::newRow("the tool stops") << false;
        // It outlasts the wait: the program goes without it, and so does the empty folder it
        // was mounting on. A folder that holds a file stays.
        QTest::newRow("the tool will not stop") << true;
    }
    void quitDuringALogonEndsTheProgramAndLeavesNoEmptyFolder() {
        QFETCH(bool, stubborn);
        const QString root = home_.filePath("smbmounts");
        QDir().mkpath(root + "/alice");
        QVERIFY(QFile(root + "/alice/notes.txt").open(QIODevice::WriteOnly));
        const QStringList quit{"--slow-logon", "--logon-now", "--quit-after-ms", "700"};
        const ChildRun ended =
            run(QUORVANE_STANDIN, stubborn ? quit + QStringList{"--stubborn-tool"} : quit, 30s);
        const qint64 endedAt = QDateTime::currentMSecsSinceEpoch();
        const qint64 quitAt = numberAfter(ended.output, "stand-in: quit pressed at ");
        const qint64 tool = numberAfter(ended.output, "stand-in: tool pid ");
        QVERIFY2(quitAt > 0 && tool > 0, ended.output.c_str());
        if (stubborn) {
            ::kill(-static_cast<pid_t>(tool), SIGKILL);
        } else {
            std::printf(
                "[ figures  ] from Quit to the end of the program during a logon: %lld ms\n",
                static_cast<long long>(endedAt - quitAt));
            QVERIFY2(endedAt - quitAt < 2000, ended.output.c_str());
        }
        QCOMPARE(int(ended.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(ended.exitStatus, 0);
        QCOMPARE(ended.output.find("stand-in: logon ended (stopped)") != std::string::npos,
                 !stubborn);
        QTRY_VERIFY(processGone(tool));
        QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"alice"});
        QVERIFY(QFile::exists(root + "/alice/notes.txt"));
    }

    void theEndOfTheSessionStopsTheWorkflowAndLogsOut() {
        std::atomic<pid_t> pid{0};
        quorvane::ProcessRequest request =
            child(QUORVANE_STANDIN, {"--slow-logon", "--logon-now"}, 30s);
        request.started = [&pid](pid_t started) { pid = started; };
        bool signalled = false;
        std::thread terminator([&] {
            // Once the logon's tool runs, the program is up and its logon under way.
            if (quorvane::testing::eventually(
                    [&] { return pid != 0 && childRunning(pid, QStringLiteral("sleep")) != 0; })) {
                signalled = ::kill(pid, SIGTERM) == 0;
            }
        });
        const auto begun = std::chrono::steady_clock::now();
        const ChildRun result = quorvane::runProcess(request);
        terminator.join();
        QVERIFY2(signalled, result.output.c_str());
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::Exited));
        QVERIFY(std::chrono::steady_clock::now() - begun < 12s);
        // The tool was stopped, then the stand-in logout ran and its message was printed.
        QVERIFY2(result.output.find("stand-in: logon ended (stopped)") != std::string::npos,
                 result.output.c_str());
        QVERIFY2(result.output.find("stand-in: logout") != std::string::npos,
                 result.output.c_str());
        QVERIFY2(result.output.find("Successfully disconnected 2 drive(s).") != std::string::npos,
                 result.output.c_str());
    }

    // The second start asks the first to show its panel and ends; the first runs on (as in
    // qtOptionsStartTheTray). A socket left behind by a crash, with nobody listening, stops no
    // start: the program listens there in its place.
    void aSecondStartHandsOverOverAStaleSocket() {
        QDir().mkpath(home_.filePath("runtime"));
        QFile stale(home_.filePath("runtime/quorvane-%1.socket").arg(::getuid()));
        stale.remove();
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        ChildRun second;
        const ChildRun first = runUntilHandedOver(QUORVANE_STANDIN, {}, &second);
        QCOMPARE(int(second.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(second.exitStatus, 0);
        QVERIFY2(second.output.find("handed over") != std::string::npos, second.output.c_str());
        // The first ran on until it was ended, as at the end of a session.
        QCOMPARE(int(first.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(first.exitStatus, 0);
    }

    // A second local user ("nobody") squats where the program meets a later start of its own,
    // listening there and answering every start "ok": the runtime folder Qt falls back to
    // without XDG_RUNTIME_DIR, and then the cache folder of a home open to all. The program
    // never takes the squatter for itself: it runs on, and says when it cannot meet at all.
    void aSquatterNeverPassesForTheRunningProgram_data() {
        QTest::addColumn<bool>("cacheToo");
        QTest::addColumn<QString>("warning");
        QTest::newRow("runtime-USER in the temporary folder") << false << "";
        QTest::newRow("and the cache folder") << true << " will not find this one: HOME/.cache";
    }
    void aSquatterNeverPassesForTheRunningProgram() {
        QFETCH(bool, cacheToo);
        QFETCH(QString, warning);
        quorvane::testing::SecondUser attacker;
        if (!attacker.whyNot().empty()) {
            QSKIP(attacker.whyNot().c_str());
        }
        QTemporaryDir tmp;
        QTemporaryDir home;
        QStringList folders{tmp.path() + "/runtime-" + ::getpwuid(::getuid())->pw_name};
        if (cacheToo) {
            folders << home.path() + "/.cache/quorvane";
        }
        for (const QTemporaryDir* open : {&tmp, &home}) {
            QFile::setPermissions(open->path(), QFileDevice::Permissions(0x7777));
        }
        const QString socket = QStringLiteral("/quorvane-%1.socket").arg(::getuid());
        for (const QString& folder : folders) {
            attacker.run({"/bin/mkdir", "-p", folder.toStdString()});
            attacker.start({"/usr/bin/python3", "-c",
                            "import socket, sys\ns = socket.socket(socket.AF_UNIX)\n"
                            "s.bind(sys.argv[1])\ns.listen()\nwhile True:\n"
                            "    c = s.accept()[0]\n    c.recv(64)\n    c.sendall(b'ok\\n')\n",
                            (folder + socket).toStdString()});
            QTRY_VERIFY(QFile::exists(folder + socket));
        }
        // It runs its event loop until Quit is pressed, 300 ms on: a start fooled by the
        // squatter would end at once, "handed over".
        quorvane::ProcessRequest request = child(QUORVANE_STANDIN, {"--quit-after-ms", "300"}, 20s);
        for (std::string& variable : *request.environment) {
            if (variable.rfind("XDG_RUNTIME_DIR=", 0) == 0) {
                variable = "TMPDIR=" + tmp.path().toStdString();
            } else if (variable.rfind("HOME=", 0) == 0) {
                variable = "HOME=" + home.path().toStdString();
            }
        }
        const ChildRun result = quorvane::runProcess(request);
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(result.exitStatus, 0);
        QVERIFY2(result.output.find("stand-in: quit pressed") != std::string::npos,
                 result.output.c_str());
        QVERIFY2(result.output.find("handed over") == std::string::npos, result.output.c_str());
        QVERIFY2(
            QString::fromStdString(result.errors).contains(warning.replace("HOME", home.path())),
            result.errors.c_str());
    }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "ProgramTest.moc"
