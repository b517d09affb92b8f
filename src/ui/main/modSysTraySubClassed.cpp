#include "modSysTraySubClassed.h"

#include <QMenu>

#include <memory>

namespace {

std::unique_ptr<QSystemTrayIcon>& iconRecord() {
    static std::unique_ptr<QSystemTrayIcon> icon;
    return icon;
}

TrayHost*& hookedWindow() {
    static TrayHost* window = nullptr;
    return window;
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
    if (QSystemTrayIcon* icon = trayIcon())
        icon->setToolTip(trayTipText(tip));
}

QString trayProgressText(const QString& taskName, int percent) {
    const QString done = QStringLiteral(": %1%").arg(percent);
    return cutToBytes(taskName, trayTipBytes - int(done.size())) + done;
}

int addTrayIcon(TrayHost* window, const QIcon& picture, const QString& tip, QMenu* trayMenu) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return 0;
    auto& icon = iconRecord();
    icon = std::make_unique<QSystemTrayIcon>(picture);
    icon->setToolTip(trayTipText(tip));
    icon->show();
    hookWindow(window, trayMenu);
    return 1;
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
