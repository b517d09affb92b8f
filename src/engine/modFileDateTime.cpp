#include "modFileDateTime.h"

#include "modDateText.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

// The last-modified time stamp in local time, or nothing for a path that fails the existence
// test.
std::optional<QDateTime> lastModified(const QString& path) {
    if (!fileExists(path))
        return std::nullopt;
    return QFileInfo(path).lastModified().toLocalTime();
}

} // namespace

bool fileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    // QFileInfo takes the path literally (no wildcards) and follows a link to its target; a
    // path it cannot examine is not there. Hidden means a name starting with "." here and the
    // hidden attribute on Windows.
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString getFileDate(const QString& path) {
    const std::optional<QDateTime> stamp = lastModified(path);
    return stamp ? dateText(stamp->date()) : QString();
}

QString getFileTime(const QString& path) {
    const std::optional<QDateTime> stamp = lastModified(path);
    return stamp ? timeText(stamp->time()) : QString();
}
