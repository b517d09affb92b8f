#include "modFileDateTime.h"

#include "modDateText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <chrono>

#if defined(Q_OS_UNIX)
#include <ctime>
#include <sys/stat.h>
#endif

namespace {

// QFileInfo takes the path literally (no wildcards) and follows a link to its target; a path
// it cannot examine is not there. Hidden means the hidden attribute of Windows: a name starting
// with "." is how Linux keeps configuration, which is what people most want copied.
bool isPlainVisibleFile(const QFileInfo& info) {
#if defined(Q_OS_WIN)
    return info.isFile() && !info.isHidden();
#else
    return info.isFile();
#endif
}

// A time stamp as a local date and time of day, in nanoseconds since the epoch, with the
// file's size.
struct LocalStamp {
    QDate date;
    QTime time;
    qint64 modifiedNs = 0;
    qint64 size = -1;
};

// The texts last made for a file, reused while its local time stamp and the locale stay the
// same: the check cycle looks at every source at every tick, and few of them have changed.
struct KnownFile {
    QDate date;
    QTime time;
    FileStamp texts;
};

// Sources and destinations of a full task table, with room to spare.
constexpr qsizetype maxKnownFiles = 20002;

// What turning time stamps into texts depends on, looked at again at most once a second
// rather than for every file: the time zone (asking the C library for it costs a status call
// on the zone file) and the locale, through the date text of the last date seen, which many
// files share.
struct StampForm {
    std::chrono::steady_clock::time_point read;
    bool known = false;
    QLocale locale;
    QDate lastDate;
    QString lastDateText;
    QHash<QString, KnownFile> knownFiles;
};

StampForm& stampForm() {
    static StampForm form;
    const auto now = std::chrono::steady_clock::now();
    if (!form.known || now - form.read >= std::chrono::seconds(1)) {
#if defined(Q_OS_UNIX)
        ::tzset();
#endif
        form.read = now;
        form.known = true;
        form.lastDate = QDate();
    }
    return form;
}

// Texts made in another locale are made again.
void followLocale(StampForm& form) {
    const QLocale locale;
    if (locale == form.locale)
        return;
    form.locale = locale;
    form.lastDate = QDate();
    form.knownFiles.clear();
}

QString stampDateText(const QDate& date) {
    StampForm& form = stampForm();
    if (date != form.lastDate) {
        form.lastDate = date;
        form.lastDateText = dateText(date);
    }
    return form.lastDateText;
}

FileStamp stampTexts(const QString& path, const LocalStamp& stamp) {
    StampForm& form = stampForm();
    followLocale(form);
    const auto known = form.knownFiles.constFind(path);
    FileStamp texts;
    if (known != form.knownFiles.cend() && known->date == stamp.date && known->time == stamp.time) {
        texts = known->texts;
    } else {
        if (form.knownFiles.size() >= maxKnownFiles)
            form.knownFiles.clear();
        texts = {stampDateText(stamp.date), timeText(stamp.time)};
        form.knownFiles.insert(path, {stamp.date, stamp.time, texts});
    }
    texts.modifiedNs = stamp.modifiedNs;
    texts.size = stamp.size;
    return texts;
}

#if defined(Q_OS_UNIX)

// Local time as the C library gives it, in the zone stampForm last looked at.
std::optional<LocalStamp> localTime(const timespec& stamp, qint64 size) {
    const time_t seconds = stamp.tv_sec;
    stampForm();
    struct tm local {};
    if (!::localtime_r(&seconds, &local))
        return std::nullopt;
    // Kept apart: a local QDateTime would ask the C library for the zone again.
    return LocalStamp{QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                      QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)),
                      qint64(seconds) * 1000000000 + stamp.tv_nsec, size};
}

// The last-modified time stamp in local time, or nothing for a path that fails the existence
// test. One status call serves both the test and the time stamp: the check cycle probes every
// source at every tick. A link is followed to its target, as QFileInfo does.
std::optional<LocalStamp> lastModified(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return localTime(info.st_mtim, info.st_size);
}

#else

std::optional<LocalStamp> lastModified(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!isPlainVisibleFile(info))
        return std::nullopt;
    const QDateTime stamp = info.lastModified();
    return LocalStamp{stamp.date(), stamp.time(), stamp.toMSecsSinceEpoch() * 1000000, info.size()};
}

#endif

} // namespace

bool fileExists(const QString& path) {
    return !path.isEmpty() && isPlainVisibleFile(QFileInfo(path));
}

FileStamp fileStampOf(const QString& path, const FileState& state) {
#if defined(Q_OS_UNIX)
    constexpr qint64 perSecond = 1000000000;
    const timespec moment{time_t(state.modifiedNs / perSecond), long(state.modifiedNs % perSecond)};
    const std::optional<LocalStamp> stamp = localTime(moment, state.size);
#else
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(state.modifiedMs());
    const std::optional<LocalStamp> stamp =
        LocalStamp{moment.date(), moment.time(), state.modifiedNs, state.size};
#endif
    if (!stamp)
        return {QString(), QString(), state.modifiedNs, state.size};
    return stampTexts(path, *stamp);
}

QString getFileDate(const QString& path) {
    const std::optional<LocalStamp> stamp = lastModified(path);
    return stamp ? dateText(stamp->date) : QString();
}

QString getFileTime(const QString& path) {
    const std::optional<LocalStamp> stamp = lastModified(path);
    return stamp ? timeText(stamp->time) : QString();
}
