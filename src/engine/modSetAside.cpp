#include "modSetAside.h"

#include "modFileDateTime.h"
#include "modRegistry.h"
#include "modRules.h"
#include "modVolumes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A destination that cannot be written is left to the copy, which refuses it. On a volume that
// keeps local time, the destination's time is read as its last copy gave it.
bool replaceableNewer(const QFileInfo& source, const QFileInfo& destination,
                      std::optional<qint64> givenNs) {
    constexpr QFile::Permissions anyWrite =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (!source.isFile() || !destination.isFile())
        return false;
    const Volume volume = VolumeTable().volumeOf(destination.filePath());
    const qint64 readNs = destination.lastModified().toMSecsSinceEpoch() * 1000000;
    if (givenNs && std::llabs(readNs - *givenNs) <= volume.timeResolution() * 1000000000LL)
        return false; // the copy as it was given
    const qint64 destinationMs =
        timeAsGiven(readNs, givenNs, volume.keepsLocalTime(), volume.timeResolution()) / 1000000;
    const qint64 ahead = destinationMs - source.lastModified().toMSecsSinceEpoch();
    if (ahead <= 0 || !destination.isWritable() || (destination.permissions() & anyWrite) == 0)
        return false;
    return ahead > qint64(volume.timeResolution()) * 1000;
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

#if defined(Q_OS_UNIX)

// The home trash, made when missing. Qt 6.4 moves a file into the working folder and calls that
// a success when it cannot make this folder itself.
QString homeTrash() {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString trash = dataHome + QStringLiteral("/Trash");
    if (QFileInfo(trash).isDir())
        return trash;
    constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    return QDir().mkpath(dataHome) && QDir().mkdir(trash, ownerOnly) ? trash : QString();
}

quint64 deviceOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_dev) : 0;
}

bool writableFolder(const QString& path) {
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    return ::lstat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(name.constData(), W_OK | X_OK) == 0;
}

// A trash on the destination's own volume, as Qt picks it: the home trash for the root volume
// and the home's own, else the volume's shared trash (sticky, not a link) or its trash of this
// user's own, made where the volume's top folder lets the user. A rename into a trash elsewhere
// would have to carry the data across. Without a home trash none is tried: Qt 6.4 then moves
// the file into the working folder.
bool trashCanTake(const QString& destination) {
    const QString home = homeTrash();
    if (home.isEmpty())
        return false;
    const QString folder = QFileInfo(destination).absolutePath();
    const quint64 device = deviceOf(folder);
    const QString top = VolumeTable().volumeOf(folder, device).mountPoint;
    if (top == QLatin1String("/") || deviceOf(QDir::homePath()) == device)
        return deviceOf(home) == device;
    const QString user = QString::number(::getuid());
    const QString shared = top + QStringLiteral("/.Trash");
    struct stat info {};
    if (::lstat(QFile::encodeName(shared).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & S_ISVTX) != 0 &&
        (QFileInfo::exists(shared + QLatin1Char('/') + user)
             ? writableFolder(shared + QLatin1Char('/') + user)
             : writableFolder(shared)))
        return true;
    const QString own = top + QStringLiteral("/.Trash-") + user;
    return QFileInfo::exists(own) ? writableFolder(own) : writableFolder(top);
}

#else

// Every drive has a recycle bin of its own.
bool trashCanTake(const QString&) {
    return true;
}

#endif

// "report (newer, kept 2026-12-09 14.05.33).txt" beside "report.txt": a name every volume takes.
QString keptName(const QString& destination) {
    const QFileInfo file(destination);
    const bool plain = file.completeBaseName().isEmpty() || file.suffix().isEmpty();
    const QString stem = plain ? file.fileName() : file.completeBaseName();
    const QString suffix = plain ? QString() : QLatin1Char('.') + file.suffix();
    const QString when =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    QString name = stem + QStringLiteral(" (newer, kept ") + when + QLatin1Char(')');
    QString path = file.dir().filePath(name + suffix);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = file.dir().filePath(name + QStringLiteral(" %1").arg(n) + suffix);
    return path;
}

} // namespace

SetAsidePlan planSetAside(const QString& source, const QString& destination,
                          std::optional<qint64> givenNs) {
    // The destination is looked at first: mostly it is not newer, and the settings need not be
    // read for every copy.
    SetAsidePlan plan;
    plan.wanted =
        replaceableNewer(QFileInfo(source), QFileInfo(destination), givenNs) &&
        readSetting(Setting::TrashNewerDestinations, SettingDefault::TrashNewerDestinations)
                .toInt() == 1 &&
        !sameContent(source, destination);
    plan.toTrash = plan.wanted && trashCanTake(destination);
    return plan;
}

Result<QString> setAside(const SetAsidePlan& plan, const QString& destination) {
    if (!plan.wanted)
        return QString();
    QString trashed;
    if (plan.toTrash && QFile::moveToTrash(destination, &trashed))
        return trashed;
    const QString kept = keptName(destination);
    if (!QFile::rename(destination, kept))
        return Status::failure(
            QStringLiteral("The destination is newer than the source and could not be set aside."));
    return kept;
}

void putBackSetAside(const QString& setAsideTo, const QString& destination) {
    if (setAsideTo.isEmpty() || !QFile::rename(setAsideTo, destination))
        return;
    // A trash folder keeps what it knows of each file beside it, under info.
    const QFileInfo file(setAsideTo);
    if (file.absolutePath() != QFileInfo(destination).absolutePath())
        QFile::remove(file.dir().filePath(QStringLiteral("../info/") + file.fileName() +
                                          QStringLiteral(".trashinfo")));
}
