#include "modSetAside.h"

#include "modFileDateTime.h"
#include "modRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// A destination that cannot be written is left to the copy, which refuses it.
bool replaceableNewer(const QFileInfo& source, const QFileInfo& destination) {
    constexpr QFile::Permissions anyWrite =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (!source.isFile() || !destination.isFile())
        return false;
    const qint64 ahead = source.lastModified().msecsTo(destination.lastModified());
    if (ahead <= 0 || !destination.isWritable() || (destination.permissions() & anyWrite) == 0)
        return false;
    return ahead > qint64(timeStampResolution(destination.filePath())) * 1000;
}

// Happens just for a destination newer than its source, which is rare. Sizes are compared
// first, then the data chunk by chunk, so a difference ends the reading early.
bool sameContent(const QString& first, const QString& second) {
    QFile one(first), other(second);
    if (one.size() != other.size())
        return false;
    if (!one.open(QIODevice::ReadOnly) || !other.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 chunk = qint64(1) << 20;
    while (!one.atEnd()) {
        if (one.read(chunk) != other.read(chunk))
            return false;
    }
    return true;
}

// The home trash, the last resort of every trashing, made when missing. Qt 6.4 moves a file
// into the working folder and calls that a success when it cannot make this folder itself.
bool homeTrashReady() {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString trash = dataHome + QStringLiteral("/Trash");
    if (QFileInfo(trash).isDir())
        return true;
    constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    return QDir().mkpath(dataHome) && QDir().mkdir(trash, ownerOnly);
}

} // namespace

Result<QString> setAsideNewerDestination(const QString& source, const QString& destination) {
    // The destination is looked at first: mostly it is not newer, and the settings need not be
    // read for every copy.
    if (!replaceableNewer(QFileInfo(source), QFileInfo(destination)) ||
        readSetting(Setting::TrashNewerDestinations, SettingDefault::TrashNewerDestinations)
                .toInt() != 1 ||
        sameContent(source, destination))
        return QString();
    QString trashed;
    if (!homeTrashReady() || !QFile::moveToTrash(destination, &trashed))
        return Status::failure(QStringLiteral(
            "The destination is newer than the source and could not be moved to the trash."));
    return trashed;
}

void putBackSetAside(const QString& trashed, const QString& destination) {
    if (trashed.isEmpty() || !QFile::rename(trashed, destination))
        return;
    // A trash folder keeps what it knows of each file beside it, under info.
    const QFileInfo file(trashed);
    QFile::remove(file.dir().filePath(QStringLiteral("../info/") + file.fileName() +
                                      QStringLiteral(".trashinfo")));
}
