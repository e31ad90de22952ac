#include <ProcessRunner.h>

#include <QTemporaryDir>
#include <QtTest>

using ChildRun = quorvane::ProcessResult;

/// The program's arguments decide between the command line and the tray: run the built program
/// as a child with a throw-away home and no display.
class LaunchTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;

    ChildRun run(const QStringList& arguments, std::chrono::milliseconds limit) {
        const QString runtime = home_.filePath("runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        quorvane::ProcessRequest child;
        child.executable = QUORVANE_PROGRAM;
        for (const QString& argument : arguments) {
            child.arguments.push_back(argument.toStdString());
        }
        // No display: a command must not need one.
        child.environment = std::vector<std::string>{"HOME=" + home_.path().toStdString(),
                                                     "XDG_RUNTIME_DIR=" + runtime.toStdString(),
                                                     "PATH=/usr/bin:/bin"};
        child.inheritStandardInput = false;
        child.captureOutput = true;
        child.timeLimit = limit;
        return quorvane::runProcess(child);
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
        QTest::newRow("unknown option of the tray, after the Qt options")
            << QStringList{"-platform", "offscreen", "-bogus"} << 2 << ""
            << "quorvane: unknown option \"-bogus\"";
    }
    void commandsAndOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitStatus);
        QFETCH(QString, output);
        QFETCH(QString, errors);
        const ChildRun result = run(arguments, std::chrono::seconds(20));
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::Exited));
        QCOMPARE(result.exitStatus, exitStatus);
        QVERIFY2(QString::fromStdString(result.output).contains(output), result.output.c_str());
        QVERIFY2(QString::fromStdString(result.errors).contains(errors), result.errors.c_str());
    }

    void qtOptionsStartTheTray() {
        // Offscreen has no tray, so the panel comes up as a window and the program runs on.
        const ChildRun result =
            run({"-platform", "offscreen", "-style", "fusion"}, std::chrono::milliseconds(2500));
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::TimedOut));
        QVERIFY2(result.output.find("showing the logon panel as a window") != std::string::npos,
                 (result.output + result.errors).c_str());
        QVERIFY2(result.errors.find("XDG_RUNTIME_DIR") == std::string::npos, result.errors.c_str());
        QVERIFY2(result.errors.find("unknown") == std::string::npos, result.errors.c_str());
    }

    void autostartOptionIsTheTraysOwn() {
        // Started at login it first waits for a tray; it runs on either way.
        const ChildRun result =
            run({"-platform", "offscreen", "--autostart"}, std::chrono::milliseconds(1500));
        QCOMPARE(int(result.outcome), int(ChildRun::Outcome::TimedOut));
        QVERIFY2(result.errors.find("unknown") == std::string::npos, result.errors.c_str());
    }
};

QTEST_GUILESS_MAIN(LaunchTest)
#include "LaunchTest.moc"
