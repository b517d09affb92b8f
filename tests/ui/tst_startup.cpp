#include "fileTimes.h"
#include "fileWriter.h"
#include "taskTableBuilder.h"
#include "testHome.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <ctime>

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
        QTest::addColumn<QByteArray>("lock"); // what a lock left behind holds, if there is one
        QTest::newRow("no lock") << QByteArray();
        QTest::newRow("left by a killed copy") << QByteArray("killed");
        QTest::newRow("created, never written") << QByteArray("");
        QTest::newRow("not a lock") << QByteArray("\x7f"
                                                  "ELF\n");
        QTest::newRow("owner is another program")
            << QByteArray::number(QCoreApplication::applicationPid()) + "\ntidewell\n\n";
    }
    // A lock left behind does not block the next start. A second start leaves an empty marker
    // for the copy that runs and ends; that copy takes the marker at its next check, at most
    // one tick later, and runs on.
    void handOver() {
        QFETCH(QByteArray, lock);
        TestHome home;
        if (lock == "killed") {
            QProcess crashed;
            startFirstCopy(crashed, home);
            crashed.kill();
            crashed.waitForFinished();
        } else if (!lock.isNull()) {
            makeFile(home, "tidewell.lock", lock);
        }
        QCOMPARE(QFile::exists(home.file("tidewell.lock")), !lock.isNull());
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
        QVERIFY(QDir(home.path()).mkpath("config/Kestrelmoor"));
        makeFile(home, "config/Kestrelmoor/Tidewell.conf", "[Settings]\nLogToFile=1\n");
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
