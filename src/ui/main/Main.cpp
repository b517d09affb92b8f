#include "frmMain.h"
#include "modPaths.h"

#include <QApplication>
#include <QFile>
#include <QLockFile>

#include <memory>

namespace {

// Held for the life of the first copy; a lock left by a copy that died is taken over.
std::unique_ptr<QLockFile> instanceLock() {
    auto lock = std::make_unique<QLockFile>(applicationFile("tidewell.lock"));
    lock->setStaleLockTime(0);
    return lock;
}

// Tells the running copy to show its window; it looks for the marker at every check.
void notifyRunningCopy() {
    QFile marker(applicationFile("notify.dat"));
    if (marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
        marker.close();
}

bool startedHidden(const QStringList& arguments) {
    return arguments.size() == 2 && arguments[1] == QLatin1String("/startup");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    const auto lock = instanceLock();
    if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
        notifyRunningCopy();
        return 0;
    }
    // Any other lock failure (a read-only folder) cannot tell of an earlier copy: run anyway.

    frmMain window;
    window.load();
    if (!startedHidden(app.arguments()))
        window.show();
    return app.exec();
}
