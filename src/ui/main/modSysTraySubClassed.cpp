#include "modSysTraySubClassed.h"

#include "modTidewell.h"
#include "trayHosts.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

// How long a balloon waits at most for the panel to place the icon: tries of placeWait ms.
constexpr int placeWait = 200;
constexpr int placeTries = 25;

std::unique_ptr<QSystemTrayIcon>& iconRecord() {
    static std::unique_ptr<QSystemTrayIcon> icon;
    return icon;
}

int& messagesShown() {
    static int count = 0;
    return count;
}

TrayHost*& hookedWindow() {
    static TrayHost* window = nullptr;
    return window;
}

// What the icon is made of, kept to put it up again when a notification area comes up.
struct IconParts {
    QIcon picture;
    QString tip;
    QMenu* menu = nullptr;
};

IconParts& iconParts() {
    static IconParts parts;
    return parts;
}

// The text cut to at most the given number of UTF-8 bytes.
QString cutToBytes(const QString& tip, int length) {
    QByteArray bytes = tip.toUtf8();
    if (bytes.size() <= length)
        return tip;
    bytes.truncate(length);
    // Cutting inside a multi-byte character would leave half a character behind.
    QString cut = QString::fromUtf8(bytes);
    if (cut.endsWith(QChar::ReplacementCharacter))
        cut.chop(1);
    return cut;
}

} // namespace

QString trayTipText(const QString& tip) {
    return cutToBytes(tip, trayTipBytes);
}

void setTrayTip(const QString& tip) {
    iconParts().tip = trayTipText(tip);
    if (QSystemTrayIcon* icon = trayIcon())
        icon->setToolTip(iconParts().tip);
}

QString trayProgressText(const QString& taskName, int percent) {
    const QString done = QStringLiteral(": %1%").arg(percent);
    return cutToBytes(taskName, trayTipBytes - int(done.size())) + done;
}

namespace {

// Whether Qt sends this run's icons and balloons over the session bus: it decides at the
// first icon, by whether a StatusNotifier host is up then.
bool& iconsOnBus() {
    static bool onBus = false;
    return onBus;
}

void putUpIcon() {
    static const bool decided = (iconsOnBus() = statusNotifierHostPresent(), true);
    Q_UNUSED(decided);
    const IconParts& parts = iconParts();
    auto& icon = iconRecord();
    icon = std::make_unique<QSystemTrayIcon>(parts.picture);
    icon->setToolTip(parts.tip);
    icon->show();
}

// The first notification area found, and each one that comes up later or comes back after a
// restart, gets a fresh icon: an old one may have been made for no notification area, or
// registered with the panel's former self. The window then tells what waited for the icon.
void putUpIconAgain() {
    TrayHost* window = hookedWindow();
    if (!window)
        return;
    putUpIcon();
    hookWindow(window, iconParts().menu);
    window->trayAppeared();
}

void sayNoTrayYet() {
    logAction("There is no notification area yet: the Tidewell icon appears there as soon as "
              "one starts.  Until then, start Tidewell again to bring up its window.");
}

} // namespace

// At login the program may start before the panel: the icon waits for a notification area
// and comes up with it. It is made only then, because Qt decides at the first icon whether
// its icons go to a StatusNotifier host or to an X11 tray; and the panel is asked without
// waiting for it, so the icon comes up once it has answered, when it is there.
int addTrayIcon(TrayHost* window, const QIcon& picture, const QString& tip, QMenu* trayMenu) {
    iconParts() = {picture, trayTipText(tip), trayMenu};
    hookedWindow() = window;
    static bool watching = false;
    if (!std::exchange(watching, true))
        watchTrayHosts(qApp, putUpIconAgain, sayNoTrayYet);
    else if (!trayIcon())
        trayHostPresent() ? putUpIconAgain() : sayNoTrayYet();
    return trayIcon() ? 1 : 0;
}

namespace {

// A balloon that the program draws itself, shown before the panel has placed the icon (still
// at the screen's origin), would point at that corner: it waits a little for the icon's place.
// A notification server places its notices itself.
void showWhenPlaced(const QString& title, const QString& text, int triesLeft) {
    QSystemTrayIcon* icon = trayIcon();
    if (!icon)
        return;
    if (!iconsOnBus() && icon->geometry().topLeft().isNull() &&
        QSystemTrayIcon::isSystemTrayAvailable() && triesLeft > 0) {
        QTimer::singleShot(placeWait, icon, [=] { showWhenPlaced(title, text, triesLeft - 1); });
        return;
    }
    icon->showMessage(title, text, QSystemTrayIcon::Warning);
}

} // namespace

bool showTrayMessage(const QString& title, const QString& text) {
    if (!trayIcon() || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    ++messagesShown();
    showWhenPlaced(title, text, placeTries);
    return true;
}

int trayMessageCount() {
    return messagesShown();
}

void removeTrayIcon() {
    auto& icon = iconRecord();
    if (!icon)
        return;
    icon->hide();
    icon.reset();
}

void hookWindow(TrayHost* window, QMenu* trayMenu) {
    QSystemTrayIcon* icon = trayIcon();
    if (!icon)
        return;
    hookedWindow() = window;
    // The platform opens the menu on its own right-click gesture; left clicks come here.
    icon->setContextMenu(trayMenu);
    QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                     [](QSystemTrayIcon::ActivationReason reason) {
                         if (TrayHost* hooked = hookedWindow())
                             trayWindowProc(hooked, reason);
                     });
}

void unhookWindow(TrayHost* window) {
    if (hookedWindow() != window)
        return;
    hookedWindow() = nullptr;
    if (QSystemTrayIcon* icon = trayIcon()) {
        icon->disconnect();
        icon->setContextMenu(nullptr);
    }
}

void trayWindowProc(TrayHost* window, QSystemTrayIcon::ActivationReason reason) {
    if (window != hookedWindow())
        return;
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        window->showFromTray();
}

QSystemTrayIcon* trayIcon() {
    return iconRecord().get();
}
