#include "modRules.h"

#include "modDateText.h"
#include "task.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr qint64 nsPerSecond = 1000000000;
constexpr qint64 hourNs = 3600 * nsPerSecond;

// Whole days from the first date text to the second. A text that cannot be read back (the
// locale changed since it was stored, or it was damaged) gives no number unless both texts are
// equal, and the callers count that as a change.
std::optional<qint64> daysBetween(const QString& from, const QString& to) {
    if (from == to)
        return 0;
    const std::optional<QDate> first = readDateText(from);
    const std::optional<QDate> second = readDateText(to);
    if (!first || !second)
        return std::nullopt;
    return first->daysTo(*second);
}

// Seconds from the first time of day to the second, read as daysBetween reads dates.
std::optional<qint64> secondsBetween(const QString& from, const QString& to) {
    if (from == to)
        return 0;
    const std::optional<QTime> first = readTimeText(from);
    const std::optional<QTime> second = readTimeText(to);
    if (!first || !second)
        return std::nullopt;
    return first->secsTo(*second);
}

bool differs(const std::optional<qint64>& difference) {
    return !difference || *difference != 0;
}

bool sameSecond(qint64 firstNs, qint64 secondNs) {
    return firstNs / nsPerSecond == secondNs / nsPerSecond;
}

// What the stored texts cannot tell: new content with the same size and time (a new file put in
// place, an archive unpacked with its stamps), or a change within the second the texts keep. This
// run compares the source with what it last saw of it; a new run reads it off the destination,
// which was written after the source it holds and keeps that source's time to the nanosecond.
bool changedUnseen(const RuleFacts& facts) {
    if (facts.lastSeen)
        return *facts.lastSeen != facts.source;
    if (!facts.destination || !facts.exactTimes)
        return false;
    const FileState& copy = *facts.destination;
    return copy.changedNs < facts.source.changedNs ||
           (sameSecond(copy.modifiedNs, facts.source.modifiedNs) &&
            copy.modifiedNs != facts.source.modifiedNs);
}

// The stored texts are local, and in the hour that summer time gives back one text names two
// moments; compared with the texts of the source's own stamp, the moment they were made from never
// reads as a change, and any other text does.
bool sourceChanged(const Task& task, const RuleFacts& facts) {
    if (task.fileDate.isEmpty() || task.fileTime.isEmpty())
        return true;
    return differs(daysBetween(task.fileDate, facts.sourceDate)) ||
           differs(secondsBetween(task.fileTime, facts.sourceTime)) || changedUnseen(facts);
}

// After a restart, on a volume that keeps local time: the recorded texts and the stick's time are
// both local and move alike when summer time changes, so a destination that reads as the texts say
// is the copy as it was given. The source has then moved on unless it still reads as the texts
// say, or a whole hour from it. Nothing when this cannot tell.
std::optional<bool> movedOnSinceStickCopy(const Task& task, const RuleFacts& facts) {
    if (!facts.destinationKeepsLocalTime || facts.givenNs)
        return std::nullopt;
    const std::optional<qint64> recorded = storedMomentNs(task.fileDate, task.fileTime);
    const qint64 tolerance = facts.destinationResolution * nsPerSecond;
    if (!recorded || std::llabs(facts.destination->modifiedNs - *recorded) > tolerance)
        return std::nullopt;
    return std::ranges::none_of(std::array{qint64(0), hourNs, -hourNs}, [&](qint64 shift) {
        return std::llabs(facts.source.modifiedNs - *recorded - shift) <= tolerance;
    });
}

// Compared as moments, not as local texts, which repeat in the hour that summer time gives back.
// A destination older by less than its file system keeps time stamps to is the copy itself: FAT
// rounds the source's time down to two seconds.
bool sourceNewer(const Task& task, const RuleFacts& facts) {
    if (!facts.destination)
        return true;
    if (const std::optional<bool> moved = movedOnSinceStickCopy(task, facts))
        return *moved;
    const qint64 given = timeAsGiven(facts.destination->modifiedNs, facts.givenNs,
                                     facts.destinationKeepsLocalTime, facts.destinationResolution);
    const qint64 behind = facts.source.modifiedNs - given;
    return behind > 0 && behind >= facts.destinationResolution * nsPerSecond;
}

bool notUpdatedToday(const Task& task, const RuleFacts& facts) {
    if (task.fileDate.isEmpty() || task.fileTime.isEmpty() || task.lastUpdated.isEmpty())
        return true;
    return differs(daysBetween(facts.today, task.lastUpdated));
}

bool versionChanged(const Task& task, const RuleFacts& facts) {
    return task.fileVersion.isEmpty() ||
           facts.version.compare(task.fileVersion, Qt::CaseInsensitive) != 0;
}

} // namespace

const QStringList& ruleTexts() {
    static const QStringList texts = {
        QStringLiteral("When the source file is changed"),
        QStringLiteral("When the source file's version changes"),
        QStringLiteral("When the source file is newer than the destination file"),
        QStringLiteral("Every day"),
        QStringLiteral("Only when I select to perform the task"),
    };
    return texts;
}

RulePosition rulePosition(const QString& ruleText) {
    const QStringList& texts = ruleTexts();
    for (int position = 0; position < texts.size(); ++position) {
        if (texts[position].compare(ruleText, Qt::CaseInsensitive) == 0)
            return static_cast<RulePosition>(position);
    }
    return ruleOnlyWhenSelected;
}

bool isDue(const Task& task, const RuleFacts& facts) {
    switch (rulePosition(task.rule)) {
    case ruleSourceChanged:
        return sourceChanged(task, facts);
    case ruleSourceNewer:
        return sourceNewer(task, facts);
    case ruleEveryDay:
        return notUpdatedToday(task, facts);
    case ruleVersionChanged:
        return versionChanged(task, facts);
    case ruleOnlyWhenSelected:
        break;
    }
    return false;
}

std::optional<qint64> storedMomentNs(const QString& date, const QString& time) {
    const std::optional<QDate> day = readDateText(date);
    const std::optional<QTime> clock = readTimeText(time);
    if (!day || !clock)
        return std::nullopt;
    return QDateTime(*day, *clock).toSecsSinceEpoch() * nsPerSecond;
}

qint64 timeAsGiven(qint64 readNs, std::optional<qint64> givenNs, bool keepsLocalTime,
                   int resolution) {
    if (!keepsLocalTime || !givenNs)
        return readNs;
    const qint64 tolerance = resolution * nsPerSecond;
    for (const qint64 shift : {hourNs, -hourNs}) {
        if (std::llabs(readNs - shift - *givenNs) <= tolerance)
            return readNs - shift;
    }
    return readNs;
}
