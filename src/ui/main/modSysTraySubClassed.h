#pragma once

#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

// What the notification-area icon asks of the window it belongs to.
class TrayHost {
public:
    virtual ~TrayHost() = default;
    // Shows the window without changing its window state.
    virtual void showFromTray() = 0;
    // A notification area has come up and the icon stands in it.
    virtual void trayAppeared() = 0;
};

// The longest tooltip the icon record holds, in bytes; one more byte ends it.
inline constexpr int trayTipBytes = 63;

// Puts the window's icon in the notification area with the tooltip, cut to the record's
// field, and hooks the window to its clicks, as soon as the desktop has said that there is a
// notification area (trayAppeared follows); 1 when the icon stands already, 0 when it waits
// (for a notification area that is not there, said in the action log). The icon is put up
// again each time a notification area comes up.
int addTrayIcon(TrayHost* window, const QIcon& picture, const QString& tip, QMenu* trayMenu);
// A balloon from the icon, as a warning; false when there is no notification area to take it.
bool showTrayMessage(const QString& title, const QString& text);
// Takes the icon away again.
void removeTrayIcon();
// Routes the icon's clicks to the window; the right button opens the tray menu.
void hookWindow(TrayHost* window, QMenu* trayMenu);
// Stops routing clicks; does nothing when the window is not hooked.
void unhookWindow(TrayHost* window);
// One click on the icon, as the window sees it.
void trayWindowProc(TrayHost* window, QSystemTrayIcon::ActivationReason reason);

// The tooltip as the record stores it.
QString trayTipText(const QString& tip);
// Balloons handed to a notification area so far (tests).
int trayMessageCount();
// Gives the icon, while there is one, a new tooltip, cut as the record stores it.
void setTrayTip(const QString& tip);
// The tooltip while a task's file is copied: its name, cut so the percentage always shows.
QString trayProgressText(const QString& taskName, int percent);
// The icon, while there is one (tests).
QSystemTrayIcon* trayIcon();
