#include "appVersion.h"
#include "fileTimes.h"
#include "fileWriter.h"
#include "smallVolume.h"
#include "taskTableBuilder.h"
#include "testHome.h"

#include <QProcess>
#include <QTest>

#include <csignal>
#include <ctime>
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

    // The program logs to Tidewell.log in the application folder.
    static void logToFile(const TestHome& home) {
        QVERIFY(QDir(home.path()).mkpath("config/Kestrelmoor"));
        makeFile(home, "config/Kestrelmoor/Tidewell.conf", "[Settings]\nLogToFile=1\n");
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

    // A table whose end a power cut left torn is cut back at the start; each version of the
    // source is then copied once and recorded, with no failure at later checks, and a second
    // start still hands over.
    void aTornTableIsMendedAndEachVersionCopiedOnce() {
        TestHome home;
        logToFile(home);
        const QString source = makeFile(home, "s.txt", "version 1");
        setModified(source, {std::time(nullptr) - 60, 0}); // settled: copied at the first check
        const QString copy = home.file("d.txt");
        openTaskTable();
        storeTask(0, "T", source, copy, "When the source file is changed");
        QVERIFY(modDatabaseBinary::writeField(TaskField::FileDate, 0, "before").ok());
        writeFile(modDatabaseBinary::databaseFile,
                  taskTableBytes() + QByteArray("\x05\x00\x00", 3));
        QProcess first;
        start(first, home, {"/startup"});
        QTRY_COMPARE_WITH_TIMEOUT(fileContents(copy), "version 1", 10000);
        QFile::remove(source);
        makeFile(home, "s.txt", "version 2");
        QTRY_COMPARE_WITH_TIMEOUT(fileContents(copy), "version 2", 15000);
        QCOMPARE(secondStart(home, {}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(home.file("notify.dat")), 3000);
        QTest::qWait(11000); // at least one more check
        const QString log = fileContents(home.file("Tidewell.log"));
        QVERIFY2(log.count("Successfully performed T") == 2 && !log.contains("failed") &&
                     log.count("cut back") == 1,
                 qPrintable(log));
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
        QTest::newRow("unknown, among Qt's") << QStringList{"-reverse", "--bogus"} << 2
                                             << "|tidewell: unknown option '--bogus'\n\n" + usage;
        // Handed to Qt: the copy starts, finds the running one and leaves it the marker.
        QTest::newRow("Qt's") << QStringList{"-session", "x",      "-platform", "offscreen",
                                             "-style",   "Fusion", "-reverse",  "/startup"}
                              << 0 << QString();
    }
    // Printed, and ended at once, also while a copy runs: no window, no marker for that copy,
    // nothing written in the application folder; errors only for a wrong option. Qt's options
    // start the program as usual.
    void optionsAreAnsweredWithoutStarting() {
        QFETCH(QStringList, arguments);
        TestHome home;
        // The running copy's lock.
        const int folder = ::open(QFile::encodeName(home.path()), O_RDONLY | O_DIRECTORY);
        QCOMPARE(::flock(folder, LOCK_EX | LOCK_NB), 0);
        QFETCH(int, exitCode);
        QCOMPARE(secondStart(home, arguments), exitCode);
        ::close(folder);
        QFETCH(QString, printed);
        QCOMPARE(QDir(home.path()).entryList(QDir::Files),
                 printed.isEmpty() ? QStringList{"notify.dat"} : QStringList());
        QVERIFY2(m_printed.startsWith(printed) &&
                     m_printed.contains("|tidewell:") == (exitCode != 0),
                 qPrintable(m_printed));
        QCOMPARE(m_printed.contains(home.file("tasks.dat") + '\n'), printed.contains("Usage"));
    }

    // Log-off on Wayland and under systemd; the question would keep the session waiting. That
    // each end signal reaches the program is the session signals' own test.
    void anEndSignalQuitsWithoutAQuestion() {
        TestHome home;
        logToFile(home);
        QProcess copy;
        startFirstCopy(copy, home);
        QCOMPARE(::kill(copy.processId(), SIGHUP), 0);
        QVERIFY(copy.waitForFinished(2000) && copy.exitStatus() == QProcess::NormalExit);
        QCOMPARE(copy.exitCode(), 0);
        QVERIFY(fileContents(home.file("Tidewell.log")).trimmed().endsWith("\tApplication quit"));
        QVERIFY(
            fileContents(home.file("config/Kestrelmoor/Tidewell.conf")).contains("WindowState="));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
