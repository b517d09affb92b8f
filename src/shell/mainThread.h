#pragma once

#include <QCoreApplication>
#include <QThread>

// The task table, the action log and the engine keep their state for the window's thread alone:
// anything else that reaches them is a fault of the program, stopped here before it corrupts them.
inline void requireMainThread(const char* what) {
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread())
        qFatal("%s was used off the main thread", what);
}
