#include "frmMain.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modSessionSignals.h"
#include "modTidewell.h"
#include "taskIcons.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <optional>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#else
#include <QLockFile>
#endif

namespace {

enum class Instance { first, second };

#if defined(Q_OS_UNIX)
// The first copy holds a kernel lock on the application folder for the rest of its life:
// taking it needs neither free space nor the right to write there, and it ends with the
// process however that ends, so nothing is left behind to be judged stale. A folder that
// cannot be opened or locked cannot tell of an earlier copy: this one runs.
Instance takeInstanceLock() {
    const int folder = ::open(QFile::encodeName(applicationFolder()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::flock(folder, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return Instance::first;
    ::close(folder);
    return Instance::second;
}
#else
// Without such a lock, a lock file in the application folder is held for the first copy's
// life; one whose process has ended is taken over.
Instance takeInstanceLock() {
    static QLockFile lock(applicationFile("tidewell.lock"));
    lock.setStaleLockTime(0);
    return lock.tryLock(0) || lock.error() != QLockFile::LockFailedError ? Instance::first
                                                                         : Instance::second;
}
#endif

// Tells the running copy to show its window; it looks for the marker at every check.
void notifyRunningCopy() {
    QFile marker(applicationFile("notify.dat"));
    if (marker.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        marker.close();
        return;
    }
    showRefusal(nullptr, "Tidewell is already running, but its window cannot be brought up: " +
                             QDir::toNativeSeparators(marker.fileName()) + " cannot be written (" +
                             marker.errorString() + ").");
}

// The session ends this copy: the shut-down sequence runs without the quit question, and the
// program ends at once. A question, dialog or run of tasks still open below this
// point must not go on once the session is over, and everything the program keeps is written
// by then. Copies never wait for the event loop, so none is cut short.
class SessionEnd : public QObject {
public:
    explicit SessionEnd(frmMain& window) : m_window(window) {
        qApp->installEventFilter(this);
        watchSessionSignals(this, [this] {
            m_window.endSession();
            endNow();
        });
    }

protected:
    // A quit the program did not start is log-off or shut-down through the platform's session
    // manager, once the session can no longer be cancelled.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Quit && m_window.endSession())
            endNow();
        return QObject::eventFilter(watched, event);
    }

private:
    [[noreturn]] static void endNow() { std::_Exit(0); }

    frmMain& m_window;
};

bool startedHidden(const QStringList& arguments) {
    return arguments.size() == 2 && arguments[1] == QLatin1String("/startup");
}

} // namespace

int main(int argc, char** argv) {
    // Options are answered without a window, the lock or the marker.
    if (const std::optional<int> answered = answerOptions(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    // The display name follows the application name; setting it as well would make X11 add
    // " — Tidewell" to every window's caption.
    app.setApplicationName(applicationTitle);
    app.setWindowIcon(programIcon());
    // Wayland desktops find the window's entry and icon by this name.
    app.setDesktopFileName("tidewell");
    app.setQuitOnLastWindowClosed(false);

    if (takeInstanceLock() == Instance::second) {
        notifyRunningCopy();
        return 0;
    }

    frmMain window;
    const SessionEnd sessionEnd(window);
    window.load();
    if (!startedHidden(app.arguments()))
        window.show();
    return app.exec();
}
