#include "frmMain.h"
#include "modRegistry.h"
#include "modSysTraySubClassed.h"
#include "taskTableBuilder.h"
#include "windowFixture.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDir>
#include <QListWidget>
#include <QMutex>
#include <QThread>
#include <QTimer>

namespace {

// What a panel and the desktop's notification server were told, read across threads.
struct Told {
    QMutex mutex;
    QStringList items, notices;
    QStringList read(const QStringList& list) {
        QMutexLocker lock(&mutex);
        return list;
    }
};

class WatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    WatcherAdaptor(QObject* parent, Told& told) : QDBusAbstractAdaptor(parent), m_told(told) {}
    bool hostRegistered() const { return true; }
public slots:
    void RegisterStatusNotifierItem(const QString& item) {
        QMutexLocker lock(&m_told.mutex);
        m_told.items << item;
    }

private:
    Told& m_told;
};

class NotificationsAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    NotificationsAdaptor(QObject* parent, Told& told)
        : QDBusAbstractAdaptor(parent), m_told(told) {}
public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        QMutexLocker lock(&m_told.mutex);
        m_told.notices << summary + ' ' + body;
        return uint(m_told.notices.size());
    }

private:
    Told& m_told;
};

// A panel with a StatusNotifier host and a notification server, as another program on the
// session bus: its own connection, answering from its own thread.
struct Panel {
    Told told;
    QThread thread;
    QObject watcher, notifier;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "panel");

    Panel() {
        new WatcherAdaptor(&watcher, told);
        new NotificationsAdaptor(&notifier, told);
        bus.registerObject("/StatusNotifierWatcher", &watcher, QDBusConnection::ExportAdaptors);
        bus.registerObject("/org/freedesktop/Notifications", &notifier,
                           QDBusConnection::ExportAdaptors);
        watcher.moveToThread(&thread);
        notifier.moveToThread(&thread);
        thread.start();
        bus.registerService("org.freedesktop.Notifications");
    }
    ~Panel() {
        thread.quit();
        thread.wait();
    }
    void start() { QVERIFY(bus.registerService("org.kde.StatusNotifierWatcher")); }
    void stop() { QVERIFY(bus.unregisterService("org.kde.StatusNotifierWatcher")); }
};

} // namespace

class TestSysTray : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!qEnvironmentVariableIsSet("TIDEWELL_PRIVATE_BUS") || qApp->platformName() != "xcb")
            QSKIP("needs an X server and a private session bus (xvfb-run, dbus-run-session)");
    }

    // A failure at start-up waits for the panel that comes up later, with the icon; each
    // distinct failure is then told once, also across a panel's restart.
    void theIconAndItsNoticesComeWithThePanel() {
        Panel panel;
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
        QVERIFY(
            !trayIcon() && trayMessageCount() == 0 &&
            !w.lstLog->findItems("There is no notification area yet", Qt::MatchContains).isEmpty());
        panel.start();
        QTRY_COMPARE(panel.told.read(panel.told.items).size(), 1);
        QTRY_COMPARE(panel.told.read(panel.told.notices).size(), 1);
        QVERIFY(panel.told.read(panel.told.notices).at(0).startsWith("Nightly failed. "));
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
                panel.stop();
                panel.start();
                QTRY_VERIFY(panel.told.read(panel.told.items).size() > 1);
            }
            w.setVisible(there.contains("shown"));
            writeSetting(Setting::NotifyFailures, there.contains("quiet") ? "0" : "1");
            performTask(w, 0);
            QTRY_COMPARE(panel.told.read(panel.told.notices).size(), told);
        }
        QCOMPARE(trayMessageCount(), 4);
    }
};

QTEST_MAIN(TestSysTray)
#include "tst_systray.moc"
