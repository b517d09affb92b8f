#include "frmMain.h"
#include "modRegistry.h"
#include "modSysTraySubClassed.h"
#include "taskTableBuilder.h"
#include "trayHosts.h"
#include "windowFixture.h"

#include <QDBusConnection>
#include <QDir>
#include <QListWidget>
#include <QThread>
#include <QTimer>

namespace {

// A panel's StatusNotifier watcher, as another program on the session bus: its own connection,
// answering from its own thread.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isTrue)
public:
    bool isTrue() const { return true; }
    std::atomic<int> items = 0;
public slots:
    void RegisterStatusNotifierItem(const QString&) { ++items; }
};

struct Panel {
    QThread thread;
    Watcher watcher;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QTest::currentDataTag());

    Panel() {
        bus.registerObject("/StatusNotifierWatcher", &watcher,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
        watcher.moveToThread(&thread);
        thread.start();
    }
    ~Panel() {
        stop();
        QDBusConnection::disconnectFromBus(bus.name());
        QTRY_VERIFY(!trayHostPresent()); // heard by the program before the next test
        thread.quit();
        thread.wait();
    }
    bool start() { return bus.registerService("org.kde.StatusNotifierWatcher"); }
    bool stop() { return bus.unregisterService("org.kde.StatusNotifierWatcher"); }
};

} // namespace

class TestSysTray : public QObject {
    Q_OBJECT

private slots:
    void theIconAndItsNoticesComeWithThePanel_data() {
        QTest::addColumn<bool>("panelFirst");
        QTest::newRow("panel there at the start") << true;
        QTest::newRow("panel up later") << false;
    }
    // A failure at start-up is told once the icon stands, with a panel that was there first or
    // comes up later; each distinct failure is then told once, also across a panel's restart.
    void theIconAndItsNoticesComeWithThePanel() {
        if (!qEnvironmentVariableIsSet("TIDEWELL_PRIVATE_BUS") || qApp->platformName() != "xcb")
            QSKIP("needs an X server and a private session bus (xvfb-run, dbus-run-session)");
        QFETCH(bool, panelFirst);
        Panel panel;
        if (panelFirst)
            QVERIFY(panel.start());
        const int before = trayMessageCount();
        TestHome home;
        openTaskTable();
        const QString source = makeFile(home, "source.txt");
        storeTask(0, "Nightly", source, home.file("out/copy.txt"),
                  "When the source file is changed");
        writeSetting(Setting::NotifyFailures, "1");
        frmMain w;
        w.load();
        w.tmrCheck->setInterval(10);
        QTRY_VERIFY(!w.lstLog->findItems("Nightly", Qt::MatchContains).isEmpty());
        w.tmrCheck->stop();
        if (!panelFirst) {
            QVERIFY(!trayIcon() && trayMessageCount() == before);
            QVERIFY(panel.start());
        }
        QTRY_COMPARE(panel.watcher.items.load(), 1);
        QTRY_COMPARE(trayMessageCount(), before + 1);
        // Each step: what is there ("source", "folder"), "shown", "quiet" (NotifyFailures off),
        // "restart" (the panel), and the notifications told so far.
        const std::pair<QString, int> steps[] = {
            {"source", 1},        {"source restart", 1}, {"", 2},      {"source", 3},
            {"source folder", 3}, {"source", 4},         {"shown", 4}, {"quiet", 4}};
        for (const auto& [there, told] : steps) {
            QFile::remove(source);
            if (there.contains("source"))
                makeFile(home, "source.txt");
            QDir(home.file("out")).removeRecursively();
            if (there.contains("folder"))
                QDir(home.path()).mkdir("out");
            if (there.contains("restart")) {
                QVERIFY(panel.stop() && panel.start());
                QTRY_VERIFY(panel.watcher.items.load() > 1);
            }
            w.setVisible(there.contains("shown"));
            writeSetting(Setting::NotifyFailures, there.contains("quiet") ? "0" : "1");
            w.engine->performTask(0);
            QTRY_VERIFY(!w.engine->performingUnderway());
            QCOMPARE(trayMessageCount(), before + told);
        }
        w.endSession();
    }
};

QTEST_MAIN(TestSysTray)
#include "tst_systray.moc"
