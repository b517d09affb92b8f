#pragma once

#include <QString>

// Starting Tidewell hidden when the user logs in. The session's own entry is the only record:
// an XDG autostart file on Linux, the Run value on Windows.

// Whether the session's entry for Tidewell exists and is not switched off.
bool startsAtLogin();
// Writes the entry, pointing at the program that runs now with "/startup", or removes it;
// false when the entry could not be changed.
bool setStartAtLogin(bool on);
// The Linux entry's file: $XDG_CONFIG_HOME/autostart/tidewell.desktop.
QString autostartEntryPath();
