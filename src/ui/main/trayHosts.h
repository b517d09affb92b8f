#pragma once

#include <functional>

class QObject;

// The desktop's notification areas for tray icons: a StatusNotifier host on the session bus
// (Wayland and most current desktops) or an X11 system tray. Found without asking Qt, which
// chooses the kind of its tray icons once, at the first icon, for the rest of the run.

// Whether a notification area is up now.
bool trayHostPresent();
// Whether it is a StatusNotifier host.
bool statusNotifierHostPresent();
// Calls `appeared` each time a notification area comes up, also when a panel restarts, for as
// long as `context` lives.
void watchTrayHosts(QObject* context, std::function<void()> appeared);
