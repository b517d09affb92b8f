#pragma once

#include <functional>

class QObject;

// Calls `ended` from the event loop, between two pieces of work, when the session ends the
// program with SIGTERM, SIGHUP or SIGINT; `owner` keeps the watch alive. On Windows log-off
// and shut-down reach the program as the platform's own messages, and nothing is installed.
void watchSessionSignals(QObject* owner, std::function<void()> ended);
