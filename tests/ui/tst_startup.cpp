#include "testHome.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

// Starts the real program in a fresh application folder and watches the second start.
class TestStartup : public QObject {
    Q_OBJECT

    static QProcessEnvironment environment(const TestHome& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TIDEWELL_HOME", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }

    static void start(QProcess& process, const TestHome& home, const QStringList& arguments) {
        process.setProcessEnvironment(environment(home));
        process.start(TIDEWELL_EXE, arguments);
        QVERIFY(process.waitForStarted());
    }

    // The first copy holds its lock once it is up; the log file proves it got that far.
    static void waitUntilRunning(const TestHome& home) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.file("tidewell.lock")), 10000);
    }

    static int secondStart(const TestHome& home, const QStringList& arguments) {
        QProcess second;
        start(second, home, arguments);
        if (!second.waitForFinished(10000))
            return -1;
        return second.exitCode();
    }

private slots:
    void aSecondStartLeavesTheMarkerAndEnds() {
        TestHome home;
        QProcess first;
        start(first, home, {"/startup"});
        waitUntilRunning(home);
        QCOMPARE(secondStart(home, {}), 0);
        // The running copy watches for the marker and takes it well before its next tick.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(home.file("notify.dat")), 3000);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }

    void aLockLeftByACrashDoesNotBlockTheNextStart() {
        TestHome home;
        QProcess crashed;
        start(crashed, home, {"/startup"});
        waitUntilRunning(home);
        crashed.kill();
        crashed.waitForFinished();
        QVERIFY(QFile::exists(home.file("tidewell.lock")));

        QProcess next;
        start(next, home, {"/startup"});
        // A copy that took over the lock keeps running instead of signalling and ending.
        QVERIFY(!next.waitForFinished(3000));
        QCOMPARE(secondStart(home, {"/STARTUP"}), 0);
        next.kill();
        next.waitForFinished();
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
