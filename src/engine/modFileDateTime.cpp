#include "modFileDateTime.h"

#include "modDateText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <iterator>

#if defined(Q_OS_UNIX)
#include <ctime>
#include <sys/stat.h>
#endif
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

#if defined(Q_OS_UNIX)

// Local time as the C library gives it. Asking it to look for a changed time zone costs a
// status call on the zone file, so that is done at most once a second, not once per file.
std::optional<QDateTime> localTime(time_t seconds) {
    using Clock = std::chrono::steady_clock;
    static Clock::time_point zoneRead;
    static bool zoneKnown = false;
    const Clock::time_point now = Clock::now();
    if (!zoneKnown || now - zoneRead >= std::chrono::seconds(1)) {
        ::tzset();
        zoneRead = now;
        zoneKnown = true;
    }
    struct tm local {};
    if (!::localtime_r(&seconds, &local))
        return std::nullopt;
    return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                     QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)));
}

// The last-modified time stamp in local time, or nothing for a path that fails the existence
// test. One status call serves both the test and the time stamp: the check cycle probes every
// source at every tick. A link is followed to its target, as QFileInfo does.
std::optional<QDateTime> lastModified(const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isHidden())
        return std::nullopt;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return localTime(info.st_mtim.tv_sec);
}

#else

std::optional<QDateTime> lastModified(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!isPlainVisibleFile(info))
        return std::nullopt;
    return info.lastModified();
}

#endif

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
