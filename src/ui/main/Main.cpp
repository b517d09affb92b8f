#include "frmMain.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "taskIcons.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>

#include <memory>

namespace {

enum class Instance { first, second };

// Held for the life of the first copy; a lock left by a copy that died is taken over.
std::unique_ptr<QLockFile> lockAt(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    (void)lock->tryLock(0);
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

bool startedHidden(const QStringList& arguments) {
    return arguments.size() == 2 && arguments[1] == QLatin1String("/startup");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(applicationTitle);
    app.setApplicationDisplayName(applicationTitle);
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
    window.load();
    if (!startedHidden(app.arguments()))
        window.show();
    return app.exec();
}
