#include "appVersion.h"
#include "smallVolume.h"
#include "testHome.h"

#include <QCoreApplication>
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

    static int secondStart(const TestHome& home, const QStringList& arguments) {
        QProcess second;
        start(second, home, arguments);
        return second.waitForFinished(10000) ? second.exitCode() : -1;
    }

private slots:
    void handOver_data() {
        // What a lock left behind holds; "killed" by a copy, a "full" disk.
        QTest::addColumn<QByteArray>("lock");
        QTest::newRow("no lock") << QByteArray();
        QTest::newRow("left by a killed copy") << QByteArray("killed");
        QTest::newRow("created, never written") << QByteArray("");
        QTest::newRow("not a lock") << QByteArray("\x7f"
                                                  "ELF\n");
        QTest::newRow("owner is another program")
            << QByteArray::number(QCoreApplication::applicationPid()) + "\ntidewell\n\n";
        QTest::newRow("on a full disk") << QByteArray("full");
    }
    // A lock left behind does not block the next start, and a full disk does not let a second
    // copy run. A second start leaves an empty marker for the copy that runs and ends; that copy
    // takes the marker at its next check, at most one tick later, and runs on.
    void handOver() {
        QFETCH(QByteArray, lock);
        TestHome home;
        std::optional<SmallVolume> disk;
        if (lock == "full") {
            disk.emplace(home.path(), "size=16k");
            if (!disk->mounted())
                QSKIP(SmallVolume::unavailable());
            makeFile(home, "filler", QByteArray(64 * 1024, 'x'));
        } else if (lock == "killed") {
            QProcess crashed;
            startFirstCopy(crashed, home);
            crashed.kill();
            crashed.waitForFinished();
        } else if (!lock.isNull()) {
            makeFile(home, "tidewell.lock", lock);
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
        QTest::addColumn<QString>("out"); // how the standard output begins
        QTest::addColumn<QString>("err"); // how the standard error begins
        const QString usage = "Usage: tidewell [/startup]\n";
        QTest::newRow("help") << QStringList{"--help"} << 0 << usage << "";
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QString("Tidewell %1\n").arg(appVersionText) << "";
        QTest::newRow("unknown, after /startup") << QStringList{"/startup", "-x"} << 2 << ""
                                                 << "tidewell: unknown option '-x'\n\n" + usage;
    }
    // Printed, and ended at once, also while a copy runs: no window, no marker for that copy,
    // nothing written in the application folder.
    void optionsAreAnsweredWithoutStarting() {
        QFETCH(QStringList, arguments);
        TestHome home;
        // The running copy's lock.
        const int folder =
            ::open(QFile::encodeName(home.path()), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QCOMPARE(::flock(folder, LOCK_EX | LOCK_NB), 0);
        QProcess process;
        start(process, home, arguments);
        QVERIFY(process.waitForFinished(5000));
        ::close(folder);
        QFETCH(int, exitCode);
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList());
        const QString printed = process.readAllStandardOutput();
        QFETCH(QString, out);
        QCOMPARE(printed.left(out.size()), out);
        QCOMPARE(printed.isEmpty(), out.isEmpty());
        QCOMPARE(printed.contains(home.file("tasks.dat") + '\n'), out.startsWith("Usage"));
        const QString complaint = process.readAllStandardError();
        QFETCH(QString, err);
        QCOMPARE(complaint.left(err.size()), err);
        QCOMPARE(complaint.isEmpty(), err.isEmpty());
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
        QVERIFY(copy.waitForFinished(2000));
        QCOMPARE(copy.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.exitCode(), 0);
        QVERIFY(fileContents(home.file("Tidewell.log")).trimmed().endsWith("\tApplication quit"));
        QVERIFY(
            fileContents(home.file("config/Kestrelmoor/Tidewell.conf")).contains("WindowState="));
        QVERIFY(!QFile::exists(home.file("tidewell.lock")));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
