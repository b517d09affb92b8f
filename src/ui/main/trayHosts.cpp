#include "trayHosts.h"

#include <QSystemTrayIcon>

#ifdef TIDEWELL_TRAY_HOSTS

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <memory>

namespace {

const char watcherService[] = "org.kde.StatusNotifierWatcher";
const char watcherPath[] = "/StatusNotifierWatcher";

xcb_connection_t* x11Connection() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t x11Atom(xcb_connection_t* connection, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// The selection that the X11 system tray of the first screen owns.
xcb_atom_t x11TrayAtom(xcb_connection_t* connection) {
    return x11Atom(connection, "_NET_SYSTEM_TRAY_S0");
}

bool x11TrayOwned() {
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return false;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, x11TrayAtom(connection)), nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    free(reply);
    return owned;
}

// A new X11 system tray announces itself to every client with a MANAGER message on the root
// window, which Qt already listens to.
class X11TrayFilter : public QObject, public QAbstractNativeEventFilter {
public:
    X11TrayFilter(xcb_connection_t* connection, QTimer* announce)
        : QObject(announce), m_manager(x11Atom(connection, "MANAGER")),
          m_tray(x11TrayAtom(connection)), m_announce(announce) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (eventType != "xcb_generic_event_t" ||
            (event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->type == m_manager && client->data.data32[1] == m_tray)
            m_announce->start();
        return false;
    }

private:
    xcb_atom_t m_manager;
    xcb_atom_t m_tray;
    QTimer* m_announce;
};

// What the panel's watcher said last: whether its StatusNotifier host is up.
bool& hostRegistered() {
    static bool registered = false;
    return registered;
}

// A panel that hangs must not hold the window: the watcher is asked without waiting, and an
// answer that has not come by then counts as no host.
constexpr int watcherTimeout = 2000;

// Asks the watcher whether its host is up; `answer` runs with the reply when it comes.
void askWatcher(QObject* context, const std::function<void(bool)>& answer) {
    QDBusMessage get = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString(watcherService) << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* call = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(get, watcherTimeout), context);
    QObject::connect(call, &QDBusPendingCallWatcher::finished, context, [call, answer] {
        const QDBusPendingReply<QDBusVariant> reply = *call;
        call->deleteLater();
        answer(reply.isValid() && reply.value().variant().toBool());
    });
}

} // namespace

bool statusNotifierHostPresent() {
    return hostRegistered();
}

bool trayHostPresent() {
    return statusNotifierHostPresent() || x11TrayOwned();
}

void watchTrayHosts(QObject* context, std::function<void()> appeared, std::function<void()> none) {
    // One call for the news that arrive together (a watcher and its host, say).
    auto* announce = new QTimer(context);
    announce->setSingleShot(true);
    announce->setInterval(0);
    QObject::connect(announce, &QTimer::timeout, context, std::move(appeared));
    // The first answer also tells when there is no notification area at all.
    auto firstLook = std::make_shared<std::function<void()>>(std::move(none));
    const auto answered = [announce, firstLook](bool hostUp) {
        hostRegistered() = hostUp;
        const std::function<void()> noneYet = std::exchange(*firstLook, nullptr);
        if (trayHostPresent())
            announce->start();
        else if (noneYet)
            noneYet();
    };
    if (xcb_connection_t* connection = x11Connection())
        qApp->installNativeEventFilter(new X11TrayFilter(connection, announce));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answered(false);
        return;
    }
    auto* ask = new QTimer(announce);
    ask->setSingleShot(true);
    ask->setInterval(0);
    QObject::connect(ask, &QTimer::timeout, announce,
                     [announce, answered] { askWatcher(announce, answered); });
    auto* watcher = new QDBusServiceWatcher(watcherService, bus,
                                            QDBusServiceWatcher::WatchForRegistration |
                                                QDBusServiceWatcher::WatchForUnregistration,
                                            announce);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceRegistered, ask,
                     qOverload<>(&QTimer::start));
    QObject::connect(watcher, &QDBusServiceWatcher::serviceUnregistered, announce,
                     [] { hostRegistered() = false; });
    // A panel's watcher may take its name before its own host has registered.
    bus.connect(watcherService, watcherPath, watcherService, "StatusNotifierHostRegistered", ask,
                SLOT(start()));
    askWatcher(announce, answered);
}

#else

bool trayHostPresent() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool statusNotifierHostPresent() {
    return false;
}

void watchTrayHosts(QObject*, std::function<void()> appeared, std::function<void()> none) {
    QSystemTrayIcon::isSystemTrayAvailable() ? appeared() : none();
}

#endif
