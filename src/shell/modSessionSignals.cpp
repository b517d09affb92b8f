#include "modSessionSignals.h"

#include <QtGlobal>

#ifdef Q_OS_WIN

void watchSessionSignals(QObject*, std::function<void()>) {}

#else

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler only wakes the event loop: nothing else may run inside a signal handler.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

bool openSignalPipe() {
    if (::pipe(signalPipe) != 0)
        return false;
    for (const int end : signalPipe) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

} // namespace

void watchSessionSignals(QObject* owner, std::function<void()> ended) {
    if (!openSignalPipe())
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [ended = std::move(ended)] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        ended();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(number, &action, nullptr);
}

#endif
