#include "modFileDateTime.h"

#include "modDateText.h"

#include <QDateTime>
#include <QFileInfo>

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
