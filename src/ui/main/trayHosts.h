#pragma once

#include <functional>

class QObject;

// The desktop's notification areas for tray icons: a StatusNotifier host on the session bus
// (Wayland and most current desktops) or an X11 system tray. Found without asking Qt, which
// chooses the kind of its tray icons once, at the first icon, for the rest of the run.

// The session bus is never waited on: what it says of the panel arrives later, through
// watchTrayHosts.

// Whether a notification area is up, as last heard.
bool trayHostPresent();
// Whether it is a StatusNotifier host.
bool statusNotifierHostPresent();
// Looks for a notification area at once and calls `appeared` when there is one, and again
// each time one comes up, also when a panel restarts, for as long as `context` lives. Calls
// `none` instead when the first look finds none.
void watchTrayHosts(QObject* context, std::function<void()> appeared, std::function<void()> none);
