#include "copyChecks.h"

#include "copyJob.h"
#include "modPaths.h"
#include "modRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#if defined(Q_OS_UNIX)
#include <sys/statvfs.h>
#endif

const QString sourceMissingLine = QStringLiteral("The source file does not exist.");
const QString folderMissingLine = QStringLiteral("The destination folder does not exist.");
const QString sameFileLine = QStringLiteral("The source and destination are the same file.");
const QString accessDeniedLine = QStringLiteral("Access is denied.");

namespace {

QString sizeText(qint64 bytes, int decimals = 1) {
    return QLocale::c().formattedDataSize(bytes, decimals, QLocale::DataSizeIecFormat);
}

// The program's own files: a task writing one of them would stop every task, lose the settings or
// the log, or take the running copy's lock.
QStringList ownFiles() {
    return {applicationFile(QStringLiteral("tasks.dat")),
            applicationFile(QStringLiteral("notify.dat")),
            applicationFile(QStringLiteral("tidewell.lock")),
            readSetting(Setting::LogFile, SettingDefault::logFile()), settingsLocation()};
}

bool sameFile(const FileLook& first, const FileLook& second) {
    return first.kind == FileKind::regular && second.kind == FileKind::regular &&
           first.state.device == second.state.device && first.state.inode == second.state.inode;
}

// The same file by its identity where both exist, or by the same cleaned full path where the own
// file is not made yet.
bool isOwnFile(const QString& own, const QString& destination, const FileLook& look) {
    const FileLook ownLook = lookAt(own);
    if (ownLook.kind == FileKind::regular && look.kind == FileKind::regular)
        return sameFile(ownLook, look);
    return QDir::cleanPath(QFileInfo(own).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
}

} // namespace

bool isProgramFile(const FileState& file) {
    const FileLook look{FileKind::regular, file, 0};
    const QStringList own = ownFiles();
    return std::any_of(own.cbegin(), own.cend(),
                       [&](const QString& path) { return sameFile(lookAt(path), look); });
}

bool namesItsFolder(const QString& path) {
    return QDir::isAbsolutePath(QDir::fromNativeSeparators(path));
}

QString notAFileLine(FileKind kind, bool source) {
    const QString subject =
        source ? QStringLiteral("The source") : QStringLiteral("The destination");
    switch (kind) {
    case FileKind::pipe:
        return subject + QStringLiteral(" is a named pipe, not a file.");
    case FileKind::device:
        return subject + QStringLiteral(" is a device, not a file.");
    case FileKind::socket:
        return subject + QStringLiteral(" is a socket, not a file.");
    case FileKind::other:
        return subject + QStringLiteral(" is not a file.");
    default:
        return QString();
    }
}

Status checkSourceKind(const FileLook& source) {
    if (source.kind == FileKind::regular)
        return Status::success();
    if (source.kind == FileKind::missing && source.error != 0)
        return errnoFailure(source.error);
    if (source.kind == FileKind::missing || source.kind == FileKind::folder)
        return Status::failure(sourceMissingLine);
    return Status::lastingFailure(notAFileLine(source.kind, true));
}

Status checkDestination(const QString& destination, const FileLook& look) {
    if (!namesItsFolder(destination))
        return Status::lastingFailure(QStringLiteral(
            "The destination names no folder; it needs its full path, with the folder it goes "
            "in."));
    if (look.kind == FileKind::folder)
        return Status::lastingFailure(QStringLiteral("The destination is a folder."));
    if (const QString line = notAFileLine(look.kind, false); !line.isEmpty())
        return Status::lastingFailure(line);
    for (const QString& own : ownFiles()) {
        if (!own.isEmpty() && isOwnFile(own, destination, look))
            return Status::lastingFailure(
                QStringLiteral("The destination is Tidewell's own file %1; a task never writes "
                               "it.")
                    .arg(QDir::toNativeSeparators(own)));
    }
    return Status::success();
}

Status checkVolumeTakes(const Volume& volume, const QString& fileName, qint64 size) {
    if (!volume.takesName(fileName))
        return Status::lastingFailure(
            QStringLiteral("The name %1 cannot be given on the destination's volume (%2): it "
                           "takes no \" * : < > ? \\ | or control characters in names, nor a dot "
                           "or blank at their end.")
                .arg(fileName, volume.type));
    // Only FAT bounds the size of a file here.
    if (size > volume.largestFile())
        return Status::lastingFailure(
            QStringLiteral("The source (%1) is larger than the destination's volume can hold: "
                           "FAT keeps files of at most %2 less one byte.")
                .arg(sizeText(size), sizeText(volume.largestFile() + 1, 0)));
    return Status::success();
}

Status checkFreeSpace(const QString& folder, qint64 needed) {
    const qint64 free = freeBytes(folder);
    if (needed <= free)
        return Status::success();
    return Status::failure(QStringLiteral("There is not enough space on the disk: the copy "
                                          "needs %1 and %2 are free.")
                               .arg(sizeText(needed), sizeText(free)));
}

qint64 freeBytes(const QString& folder) {
#if defined(Q_OS_UNIX)
    struct statvfs info {};
    // Some FUSE file systems (fusefat on FAT32) tell no sizes at all: nothing is known then.
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0 || info.f_blocks == 0)
        return std::numeric_limits<qint64>::max();
    return qint64(info.f_bavail) * qint64(info.f_frsize);
#else
    const QStorageInfo storage(folder);
    return storage.isValid() ? storage.bytesAvailable() : std::numeric_limits<qint64>::max();
#endif
}

QString errorDescription(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return accessDeniedLine;
    case ENOSPC:
#if defined(EDQUOT)
    case EDQUOT:
#endif
        return QStringLiteral("There is not enough space on the disk.");
    case EFBIG:
        return QStringLiteral("The file is larger than the destination can hold.");
    case EROFS:
        return QStringLiteral("The disk is write-protected.");
    case EIO:
        return QStringLiteral("A device input/output error occurred.");
    case EBUSY:
#if defined(ETXTBSY)
    case ETXTBSY:
#endif
        return QStringLiteral("The file is in use by another process.");
    case ENAMETOOLONG:
        return QStringLiteral("The file name is too long.");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Too many files are open.");
    case ECANCELED:
        return QStringLiteral("The copy was stopped because Tidewell is closing.");
    case ENOMEM:
        return QStringLiteral("There is not enough memory to copy the file.");
    case sourceChangedError:
        return QStringLiteral("The source file changed while it was being copied.");
    case sourceOutgrewRoomError:
        return QStringLiteral("The source holds more than the free space on the disk; it was "
                              "not copied.");
    default:
        return QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.');
    }
}
