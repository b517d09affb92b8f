#include "appVersion.h"
#include "smallVolume.h"
#include "testHome.h"

#include <QProcess>
#include <QTest>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Starts the real program in a fresh application folder that also holds its settings.
class TestStartup : public QObject {
    Q_OBJECT

    static void start(QProcess& process, const TestHome& home, const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TIDEWELL_HOME", home.path());
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.file("config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(TIDEWELL_EXE, arguments);
        QVERIFY(process.waitForStarted());
    }

    // A marker left from before is taken by the first check, the last step of loading: once it
    // is gone the copy runs, and the next marker waits for its timer.
    static void startFirstCopy(QProcess& process, const TestHome& home) {
        makeFile(home, "notify.dat", {});
        start(process, home, {"/startup"});
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(home.file("notify.dat")), 10000);
        QCOMPARE(process.state(), QProcess::Running);
    }

    // What the last second start printed, "|", and what it printed as errors.
    QString m_printed;
    // The exit code, -1 while it still runs.
    int secondStart(const TestHome& home, const QStringList& arguments) {
        QProcess second;
        start(second, home, arguments);
        const bool ended = second.waitForFinished(10000);
        m_printed = second.readAllStandardOutput() + '|' + second.readAllStandardError();
        return ended ? second.exitCode() : -1;
    }

private slots:
    void handOver_data() {
        // What the start finds: the lock of a "killed" copy, a "full" disk.
        QTest::addColumn<QByteArray>("lock");
        QTest::newRow("no lock") << QByteArray();
        QTest::newRow("left by a killed copy") << QByteArray("killed");
        QTest::newRow("on a full disk") << QByteArray("full");
    }
    // A killed copy's lock does not block the next start, and a full disk does not let a second
    // copy run. A second start leaves an empty marker for the copy that runs and ends; that copy
    // takes the marker at its next check, at most one tick later, and runs on.
    void handOver() {
        QFETCH(QByteArray, lock);
        TestHome home;
        std::optional<SmallVolume> disk;
        if (lock == "full") {
            if (!disk.emplace(home.path(), "size=16k").mounted())
                QSKIP(SmallVolume::unavailable());
            makeFile(home, "filler", QByteArray(64 * 1024, 'x'));
        } else if (lock == "killed") {
            QProcess crashed;
            startFirstCopy(crashed, home);
            crashed.kill();
            crashed.waitForFinished();
        }
        QProcess first;
        startFirstCopy(first, home);
        QCOMPARE(secondStart(home, lock.isNull() ? QStringList() : QStringList{"/STARTUP"}), 0);
        // The running copy watches for the marker and takes it well before its next tick.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(home.file("notify.dat")), 3000);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }

    void optionsAreAnsweredWithoutStarting_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed"); // how the output, "|", the error output begin
        const QString usage = "Usage: tidewell [/startup]\n";
        QTest::newRow("help") << QStringList{"--help"} << 0 << usage;
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QString("Tidewell %1\n|").arg(appVersionText);
        QTest::newRow("unknown, after /startup")
            << QStringList{"/startup", "-x"} << 2 << "|tidewell: unknown option '-x'\n\n" + usage;
    }
    // Printed, and ended at once, also while a copy runs: no window, no marker for that copy,
    // nothing written in the application folder; errors only for a wrong option.
    void optionsAreAnsweredWithoutStarting() {
        QFETCH(QStringList, arguments);
        TestHome home;
        // The running copy's lock.
        const int folder = ::open(QFile::encodeName(home.path()), O_RDONLY | O_DIRECTORY);
        QCOMPARE(::flock(folder, LOCK_EX | LOCK_NB), 0);
        QFETCH(int, exitCode);
        QCOMPARE(secondStart(home, arguments), exitCode);
        ::close(folder);
        QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList());
        QFETCH(QString, printed);
        QVERIFY2(m_printed.startsWith(printed) && m_printed.endsWith('|') == (exitCode == 0),
                 qPrintable(m_printed));
        QCOMPARE(m_printed.contains(home.file("tasks.dat") + '\n'), printed.contains("Usage"));
    }

    void anEndSignalQuitsWithoutAQuestion_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }

    // Log-off on Wayland and under systemd; the question would keep the session waiting.
    void anEndSignalQuitsWithoutAQuestion() {
        QFETCH(int, signal);
        TestHome home;
        QVERIFY(QDir(home.path()).mkpath("config/Kestrelmoor"));
        makeFile(home, "config/Kestrelmoor/Tidewell.conf", "[Settings]\nLogToFile=1\n");
        QProcess copy;
        startFirstCopy(copy, home);
        QCOMPARE(::kill(copy.processId(), signal), 0);
        QVERIFY(copy.waitForFinished(2000) && copy.exitStatus() == QProcess::NormalExit);
        QCOMPARE(copy.exitCode(), 0);
        QVERIFY(fileContents(home.file("Tidewell.log")).trimmed().endsWith("\tApplication quit"));
        QVERIFY(
            fileContents(home.file("config/Kestrelmoor/Tidewell.conf")).contains("WindowState="));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
