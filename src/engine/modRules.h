#pragma once

#include "fileState.h"

#include <QString>
#include <QStringList>

#include <optional>

struct Task;

// The five update rules, in the order they are offered and by the position stored nowhere but
// implied by their text.
enum RulePosition {
    ruleSourceChanged,
    ruleVersionChanged,
    ruleSourceNewer,
    ruleEveryDay,
    ruleOnlyWhenSelected,
};

// The full rule texts in position order.
const QStringList& ruleTexts();
// The position of a stored rule text, matched without regard to case; an unknown text is
// treated as "Only when I select to perform the task".
RulePosition rulePosition(const QString& ruleText);

// Everything a rule looks at besides the task's stored fields: one look at its files, the
// version of its source, today's date, and what this run knows of the source.
struct RuleFacts {
    // The source, which exists, and its time stamp as date and time texts.
    FileState source;
    QString sourceDate;
    QString sourceTime;
    // The destination when it is a file; nothing when it is missing.
    std::optional<FileState> destination;
    // The seconds within which the destination's volume keeps a time stamp it is given, and
    // whether it keeps local time (FAT), so that a change of summer time moves every stamp on it.
    int destinationResolution = 1;
    bool destinationKeepsLocalTime = false;
    // Both files are kept to the nanosecond by this machine's own clock, so that their change
    // times can be compared.
    bool exactTimes = false;
    QString version;
    QString today;
    // The source as this run last copied it, asked about it or first found it.
    std::optional<FileState> lastSeen;
    // The moment, in nanoseconds since the epoch, that this run's last copy gave the destination.
    std::optional<qint64> givenNs;
};

// Whether the task is due under its rule. A pure function of the task and the facts.
bool isDue(const Task& task, const RuleFacts& facts);

// The moment the stored date and time texts name, in nanoseconds since the epoch; nothing when
// they cannot be read back.
std::optional<qint64> storedMomentNs(const QString& date, const QString& time);

// A time read off a destination as the copy gave it, in nanoseconds since the epoch: on a volume
// that keeps local time, a time a whole hour (within its resolution) from the one given is the
// same file read across a change of summer time.
qint64 timeAsGiven(qint64 readNs, std::optional<qint64> givenNs, bool keepsLocalTime,
                   int resolution);
