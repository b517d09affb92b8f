#include "frmMain.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modSessionSignals.h"
#include "taskIcons.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

enum class Instance { first, second };

// How long a copy may take from creating its lock to writing its process into it.
constexpr qint64 unwrittenLockGrace = 1000;

// A lock that names no process: left empty or unreadable by a copy that died before writing
// it, or created a moment ago by a copy that is about to write it.
bool ownerUnknown(const QLockFile& lock) {
    return lock.error() == QLockFile::LockFailedError &&
           !lock.getLockInfo(nullptr, nullptr, nullptr);
}

void waitForOwnerToWrite(const QString& path) {
    const qint64 age = QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime());
    QThread::msleep(std::clamp(unwrittenLockGrace - age, qint64(0), unwrittenLockGrace));
}

// Held for the life of the first copy. A lock whose process is not a running Tidewell is taken
// over; a running copy keeps its lock file open, so removing one that is not taken over fails.
std::unique_ptr<QLockFile> lockAt(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0) && ownerUnknown(*lock)) {
        waitForOwnerToWrite(path);
        if (ownerUnknown(*lock))
            lock->removeStaleLockFile();
        (void)lock->tryLock(0);
    }
    return lock;
}

// The lock lives in the application folder; a folder that cannot take it (read-only) has
// one in the temporary folder instead, named after the application folder.
Instance takeInstanceLock(std::unique_ptr<QLockFile>& lock) {
    lock = lockAt(applicationFile("tidewell.lock"));
    if (lock->error() == QLockFile::PermissionError) {
        const QByteArray folder =
            QCryptographicHash::hash(applicationFolder().toUtf8(), QCryptographicHash::Sha1);
        lock = lockAt(QDir::temp().filePath("tidewell-" + folder.toHex().left(16) + ".lock"));
    }
    // Any other failure cannot tell of an earlier copy: this one runs.
    return lock->error() == QLockFile::LockFailedError ? Instance::second : Instance::first;
}

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

// The session ends this copy: the shut-down sequence runs without the quit question, the lock
// goes, and the program ends at once. A question, dialog or run of tasks still open below this
// point must not go on once the session is over, and everything the program keeps is written
// by then. Copies never wait for the event loop, so none is cut short.
class SessionEnd : public QObject {
public:
    SessionEnd(frmMain& window, std::unique_ptr<QLockFile>& lock) : m_window(window), m_lock(lock) {
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
    [[noreturn]] void endNow() {
        m_lock.reset();
        std::_Exit(0);
    }

    frmMain& m_window;
    std::unique_ptr<QLockFile>& m_lock;
};

bool startedHidden(const QStringList& arguments) {
    return arguments.size() == 2 && arguments[1] == QLatin1String("/startup");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The display name follows the application name; setting it as well would make X11 add
    // " — Tidewell" to every window's caption.
    app.setApplicationName(applicationTitle);
    app.setWindowIcon(programIcon());
    // Wayland desktops find the window's entry and icon by this name.
    app.setDesktopFileName("tidewell");
    app.setQuitOnLastWindowClosed(false);

    std::unique_ptr<QLockFile> lock;
    if (takeInstanceLock(lock) == Instance::second) {
        notifyRunningCopy();
        return 0;
    }

    frmMain window;
    const SessionEnd sessionEnd(window, lock);
    window.load();
    if (!startedHidden(app.arguments()))
        window.show();
    return app.exec();
}
