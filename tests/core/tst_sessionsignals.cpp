#include "modSessionSignals.h"

#include <QObject>
#include <QTest>

#include <csignal>

// The end signals of a session reach the program from its event loop, each one, however often.
class TestSessionSignals : public QObject {
    Q_OBJECT
    int m_ended = 0;

private slots:
    void initTestCase() {
        watchSessionSignals(this, [this] { ++m_ended; });
    }

    void eachEndSignalIsHandedToTheEventLoop_data() {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void eachEndSignalIsHandedToTheEventLoop() {
        QFETCH(int, number);
        const int before = m_ended;
        QVERIFY(::raise(number) == 0);
        // Nothing runs inside the handler itself: the call comes once the loop looks.
        QCOMPARE(m_ended, before);
        QTRY_COMPARE(m_ended, before + 1);
    }
};

QTEST_GUILESS_MAIN(TestSessionSignals)
#include "tst_sessionsignals.moc"
