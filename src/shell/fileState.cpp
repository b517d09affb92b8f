#include "fileState.h"

#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <sys/stat.h>
#endif

#if defined(Q_OS_UNIX)

namespace {

qint64 toNs(const timespec& time) {
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

FileState fileStateOf(const struct stat& info) {
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size), toNs(info.st_mtim),
            toNs(info.st_ctim)};
}

FileKind fileKindOf(const struct stat& info) {
    if (S_ISREG(info.st_mode))
        return FileKind::regular;
    if (S_ISDIR(info.st_mode))
        return FileKind::folder;
    if (S_ISFIFO(info.st_mode))
        return FileKind::pipe;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return FileKind::device;
    if (S_ISSOCK(info.st_mode))
        return FileKind::socket;
    return FileKind::other;
}

FileLook lookAt(const QString& path) {
    FileLook look;
    struct stat info {};
    if (path.isEmpty())
        return look;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        look.error = errno == ENOENT || errno == ENOTDIR ? 0 : errno;
        return look;
    }
    look.kind = fileKindOf(info);
    if (look.kind == FileKind::regular)
        look.state = fileStateOf(info);
    return look;
}

#else

FileLook lookAt(const QString& path) {
    FileLook look;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return look;
    if (info.isDir()) {
        look.kind = FileKind::folder;
        return look;
    }
    if (!info.isFile()) {
        look.kind = FileKind::other;
        return look;
    }
    look.kind = FileKind::regular;
    look.state.size = info.size();
    look.state.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    look.state.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
    return look;
}

#endif

std::optional<FileState> regularFileState(const QString& path) {
    const FileLook look = lookAt(path);
    if (look.kind != FileKind::regular)
        return std::nullopt;
    return look.state;
}
