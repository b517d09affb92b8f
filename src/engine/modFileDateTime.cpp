#include "modFileDateTime.h"

#include "modDateText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

#if defined(Q_OS_LINUX)
#include <sys/vfs.h>
#endif

namespace {

// QFileInfo takes the path literally (no wildcards) and follows a link to its target; a path
// it cannot examine is not there. Hidden means a name starting with "." here and the hidden
// attribute on Windows.
bool isPlainVisibleFile(const QFileInfo& info) {
    return info.isFile() && !info.isHidden();
}

// The last-modified time stamp in local time, or nothing for a path that fails the existence
// test. One look at the file serves both the test and the time stamp: the check cycle probes
// every source at every tick.
std::optional<QDateTime> lastModified(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!isPlainVisibleFile(info))
        return std::nullopt;
    return info.lastModified();
}

} // namespace

bool fileExists(const QString& path) {
    return !path.isEmpty() && isPlainVisibleFile(QFileInfo(path));
}

std::optional<FileStamp> getFileStamp(const QString& path) {
    const std::optional<QDateTime> stamp = lastModified(path);
    if (!stamp)
        return std::nullopt;
    return FileStamp{dateText(stamp->date()), timeText(stamp->time())};
}

QString getFileDate(const QString& path) {
    const std::optional<QDateTime> stamp = lastModified(path);
    return stamp ? dateText(stamp->date()) : QString();
}

QString getFileTime(const QString& path) {
    const std::optional<QDateTime> stamp = lastModified(path);
    return stamp ? timeText(stamp->time()) : QString();
}

int timeStampResolution(const QString& path) {
#if defined(Q_OS_LINUX)
    // ext2/3/4, btrfs, xfs, tmpfs, f2fs, zfs and overlay (over one of these).
    static constexpr quint32 exact[] = {0xEF53,     0x9123683E, 0x58465342, 0x01021994,
                                        0xF2F52010, 0x2FC12FC1, 0x794C7630};
    struct statfs info {};
    if (::statfs(QFile::encodeName(path).constData(), &info) == 0 &&
        std::ranges::find(exact, quint32(info.f_type)) != std::end(exact))
        return 1;
#else
    Q_UNUSED(path);
#endif
    return 2;
}
