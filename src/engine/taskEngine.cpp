#include "taskEngine.h"

#include "modChangeWatch.h"
#include "modClock.h"
#include "modDatabaseBinary.h"
#include "modDateText.h"
#include "modFileCopy.h"
#include "modFileDateTime.h"
#include "modFileVersionInfo.h"
#include "modPaths.h"
#include "modRules.h"
#include "modTidewell.h"
#include "taskTable.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <exception>
#include <optional>

namespace db = modDatabaseBinary;

namespace {

// Counts how many of something are under way for as long as the guard lives.
class Underway {
public:
    explicit Underway(int& count) : m_count(count) { ++m_count; }
    ~Underway() { --m_count; }
    Underway(const Underway&) = delete;
    Underway& operator=(const Underway&) = delete;

private:
    int& m_count;
};

// A check cycle started while another runs, or while a task's question waits for its answer,
// would perform a task that is still due a second time or ask the same question twice; such a
// cycle does nothing and the next tick looks again.
int cyclesRunning = 0;
int questionsOpen = 0;

// Bursts of performing open, and whether one of them performed a task the list has not been
// rebuilt for.
int burstsOpen = 0;
bool rebuildPending = false;

// The task whose file is being copied while the user interface waits for the data to move.
int copyingTask = -1;

// Check-cycle faults logged and still present; each is logged once for as long as it lasts.
QSet<QString> reportedFaults;
QSet<QString> faultsThisCycle;

// The state of a marker that could not be deleted, so that it shows the window only once.
struct MarkerStamp {
    QDateTime modified;
    qint64 size = 0;
    bool operator==(const MarkerStamp&) const = default;
};
std::optional<MarkerStamp> undeletableMarker;

Result<QString> readTaskField(const char* name, int recordNumber) {
    return db::readField(QString::fromLatin1(name), recordNumber);
}

Status writeTaskField(const char* name, int recordNumber, const QString& value) {
    return db::writeField(QString::fromLatin1(name), recordNumber, value);
}

// --- Performing a task -------------------------------------------------------------------

bool askUser(EngineHost& host, int recordNumber, Status& fault) {
    const Result<QString> question = readTaskField(TaskField::ConfirmationQuestion, recordNumber);
    const Result<QString> title = readTaskField(TaskField::ConfirmationTitle, recordNumber);
    if (!question || !title) {
        fault = question ? title.status() : question.status();
        return false;
    }
    const Underway waiting(questionsOpen);
    return host.confirmTask(title.value(), question.value());
}

// The source's date, time and version as they are now, in this order.
Status recordSourceState(int recordNumber, const QString& source) {
    Status written = writeTaskField(TaskField::FileDate, recordNumber, getFileDate(source));
    if (written)
        written = writeTaskField(TaskField::FileTime, recordNumber, getFileTime(source));
    if (written)
        written = writeTaskField(TaskField::FileVersion, recordNumber, getFileVersion(source));
    return written;
}

// The rebuild that ends every performing, or only the task's row inside a burst.
void showPerformed(EngineHost& host, int recordNumber) {
    if (burstsOpen == 0) {
        host.fillTaskList();
        return;
    }
    rebuildPending = true;
    host.showPerformedTask(recordNumber);
}

Status decline(EngineHost& host, int recordNumber, const QString& source) {
    const Status recorded = recordSourceState(recordNumber, source);
    if (!recorded)
        return recorded;
    showPerformed(host, recordNumber);
    const Result<QString> name = readTaskField(TaskField::TaskName, recordNumber);
    if (!name)
        return name.status();
    logAction(QStringLiteral("Task cancelled: ") + name.value());
    return Status::success();
}

// The data moves while the window stays responsive; the task is marked as being copied so
// that the commands leave it alone meanwhile.
Status copyTaskFile(EngineHost& host, int recordNumber, const QString& name, const QString& source,
                    const QString& destination) {
    copyingTask = recordNumber;
    const Status copied = copyFileOver(source, destination,
                                       [&](int percent) { host.showCopyProgress(name, percent); });
    copyingTask = -1;
    return copied;
}

Status copyAndRecord(EngineHost& host, int recordNumber, const QString& source,
                     const QString& destination) {
    const Result<QString> name = readTaskField(TaskField::TaskName, recordNumber);
    if (!name)
        return name.status();
    const Status copied = copyTaskFile(host, recordNumber, name.value(), source, destination);
    if (!copied)
        return copied;
    logAction(QStringLiteral("Successfully performed ") + name.value());
    Status recorded = recordSourceState(recordNumber, source);
    if (recorded)
        recorded = writeTaskField(TaskField::LastUpdated, recordNumber, dateText(today()));
    if (!recorded)
        return recorded;
    showPerformed(host, recordNumber);
    return Status::success();
}

Status performSteps(EngineHost& host, int recordNumber) {
    const Result<QString> source = readTaskField(TaskField::SourceFile, recordNumber);
    if (!source)
        return source.status();
    const Result<QString> destination = readTaskField(TaskField::DestinationFile, recordNumber);
    if (!destination)
        return destination.status();
    const Result<QString> confirmation = readTaskField(TaskField::ConfirmationOn, recordNumber);
    if (!confirmation)
        return confirmation.status();
    if (confirmation.value().compare(QLatin1String("1"), Qt::CaseInsensitive) == 0) {
        Status fault = Status::success();
        const bool yes = askUser(host, recordNumber, fault);
        if (!fault)
            return fault;
        if (!yes)
            return decline(host, recordNumber, source.value());
    }
    return copyAndRecord(host, recordNumber, source.value(), destination.value());
}

// --- Comparing stored and fresh texts -----------------------------------------------------

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

// --- The update rules ----------------------------------------------------------------------

// The fields the cycle reads, as they were before any of its own writes.
struct CheckedTask {
    QString name;
    QString lastUpdated;
    QString source;
    QString destination;
    QString rule;
    QString fileDate;
    QString fileTime;
    QString fileVersion;
};

CheckedTask taskFromFieldValues() {
    CheckedTask task;
    task.name = db::fieldValues[slotTaskName];
    task.lastUpdated = db::fieldValues[slotLastUpdated];
    task.source = db::fieldValues[slotSourceFile];
    task.destination = db::fieldValues[slotDestinationFile];
    task.rule = db::fieldValues[slotRule];
    task.fileDate = db::fieldValues[slotFileDate];
    task.fileTime = db::fieldValues[slotFileTime];
    task.fileVersion = db::fieldValues[slotFileVersion];
    return task;
}

bool sourceChanged(const CheckedTask& task, const FileStamp& source) {
    if (task.fileDate.isEmpty() || task.fileTime.isEmpty())
        return true;
    return differs(daysBetween(task.fileDate, source.date)) ||
           differs(secondsBetween(task.fileTime, source.time));
}

// A destination older by less than its file system keeps time stamps to is the copy itself: FAT
// rounds the source's time down to two seconds.
bool sourceNewer(const CheckedTask& task, const FileStamp& source) {
    const std::optional<FileStamp> destination = getFileStamp(task.destination);
    if (!destination)
        return true;
    const std::optional<qint64> days = daysBetween(source.date, destination->date);
    if (!days)
        return true;
    const std::optional<qint64> seconds = secondsBetween(source.time, destination->time);
    if (!seconds)
        return *days <= 0;
    constexpr qint64 secondsPerDay = 86400;
    const qint64 behind = -(*days * secondsPerDay + *seconds);
    return behind > 0 && behind >= timeStampResolution(task.destination);
}

// Today's date text, made once per cycle and only when a daily task asks for it.
class TodayText {
public:
    const QString& text() {
        if (!m_text)
            m_text = dateText(today());
        return *m_text;
    }

private:
    std::optional<QString> m_text;
};

bool notUpdatedToday(const CheckedTask& task, TodayText& todayText) {
    if (task.fileDate.isEmpty() || task.fileTime.isEmpty() || task.lastUpdated.isEmpty())
        return true;
    return differs(daysBetween(todayText.text(), task.lastUpdated));
}

bool versionChanged(const CheckedTask& task) {
    return task.fileVersion.isEmpty() ||
           getFileVersion(task.source).compare(task.fileVersion, Qt::CaseInsensitive) != 0;
}

bool isDue(const CheckedTask& task, const FileStamp& source, TodayText& todayText) {
    switch (rulePosition(task.rule)) {
    case ruleSourceChanged:
        return sourceChanged(task, source);
    case ruleSourceNewer:
        return sourceNewer(task, source);
    case ruleEveryDay:
        return notUpdatedToday(task, todayText);
    case ruleVersionChanged:
        return versionChanged(task);
    case ruleOnlyWhenSelected:
        break;
    }
    return false;
}

// --- The check cycle -----------------------------------------------------------------------

void reportFault(const QString& line) {
    faultsThisCycle.insert(line);
    if (!reportedFaults.contains(line))
        logAction(line);
}

QString checkFaultLine(const QString& taskName, const Status& fault) {
    const QString subject = taskName.isEmpty() ? QStringLiteral("The tasks") : taskName;
    return subject + QStringLiteral(" could not be checked.  ") + fault.message();
}

// The first check that finds the source records its date and time.
Status writeBaseline(int recordNumber, const CheckedTask& task, const FileStamp& source) {
    Status written = Status::success();
    if (task.fileDate.isEmpty())
        written = writeTaskField(TaskField::FileDate, recordNumber, source.date);
    if (written && task.fileTime.isEmpty())
        written = writeTaskField(TaskField::FileTime, recordNumber, source.time);
    return written;
}

// A source written to within the settle time may still be being written: the change watch
// starts a check once it has settled, and the tick comes back. A time stamp far in the future
// is not a write under way.
bool settled(const FileStamp& source) {
    const qint64 age = currentDateTime().toMSecsSinceEpoch() - source.modifiedMs();
    return age >= ChangeWatch::settleTime || age <= -ChangeWatch::settleTime;
}

// Whether the task is due and its source has settled; the first check that finds its source records
// the baseline.
bool checkTask(int recordNumber, TodayText& todayText) {
    const Status read = db::readRecord(recordNumber);
    if (!read) {
        reportFault(checkFaultLine(QString(), read));
        return false;
    }
    const CheckedTask task = taskFromFieldValues();
    // One look at the source serves the existence test, the baseline and the rules.
    const std::optional<FileStamp> source = getFileStamp(task.source);
    if (!source)
        return false;
    // A due task is performed before anything is recorded for it: only a copy that succeeds or a
    // question the user declines records the source's state, so a copy that fails, or is cut
    // short by a crash, leaves the task due and the next check tries again.
    if (isDue(task, *source, todayText))
        return settled(*source);
    const Status baseline = writeBaseline(recordNumber, task, *source);
    if (!baseline)
        reportFault(checkFaultLine(task.name, baseline));
    return false;
}

// Walks the tasks in the order of the table. The file is looked at once for all tasks that are
// not due; performing (which may wait for the user or a long copy) lets the next task be read
// afresh from the file.
void checkTasks(EngineHost& host, const QStringList& records,
                std::optional<db::ReadSnapshot>& snapshot) {
    TodayText todayText;
    for (const QString& entry : records) {
        if (!snapshot)
            snapshot.emplace();
        const int recordNumber = entry.toInt();
        if (!checkTask(recordNumber, todayText))
            continue;
        snapshot.reset();
        performTask(host, recordNumber);
        if (copiesCancelled())
            return;
    }
}

MarkerStamp markerStamp(const QString& marker) {
    const QFileInfo info(marker);
    return {info.lastModified(), info.size()};
}

// A second start of the program leaves the marker behind to have this copy's window shown.
void consumeActivationMarker(EngineHost& host) {
    const QString marker = applicationFile(QStringLiteral("notify.dat"));
    if (!fileExists(marker)) {
        undeletableMarker.reset();
        return;
    }
    if (QFile::remove(marker)) {
        undeletableMarker.reset();
        host.showMainWindow();
        return;
    }
    const MarkerStamp stamp = markerStamp(marker);
    if (undeletableMarker == stamp)
        return;
    undeletableMarker = stamp;
    host.showMainWindow();
}

} // namespace

void performTask(EngineHost& host, int recordNumber) {
    Status performed = Status::success();
    try {
        performed = performSteps(host, recordNumber);
    } catch (const std::exception& fault) {
        performed = Status::failure(QString::fromLocal8Bit(fault.what()));
    }
    if (performed) {
        host.taskPerformed(recordNumber);
        return;
    }
    const Result<QString> name = readTaskField(TaskField::TaskName, recordNumber);
    logAction(name.value() + QStringLiteral(" failed.  ") + performed.message());
    host.taskFailed(recordNumber, name.value(), performed.message());
}

void runCheckCycle(EngineHost& host) {
    if (cyclesRunning > 0 || questionsOpen > 0 || copyingTask >= 0 || copiesCancelled())
        return;
    const Underway running(cyclesRunning);
    // Ended before the guard above: its rebuild must not start a cycle inside this one.
    const PerformingBurst burst(host);
    consumeActivationMarker(host);
    if (automaticTasksPaused())
        return;
    faultsThisCycle.clear();
    std::optional<db::ReadSnapshot> snapshot(std::in_place);
    const Status listed = db::listRecords();
    if (listed) {
        // Performing rebuilds the task list, which lists the records anew: keep our own list.
        const QStringList records = db::resultList.mid(0, db::resultCount);
        checkTasks(host, records, snapshot);
    } else {
        reportFault(checkFaultLine(QString(), listed));
    }
    reportedFaults = faultsThisCycle;
}

PerformingBurst::PerformingBurst(EngineHost& host) : m_host(host) {
    ++burstsOpen;
}

PerformingBurst::~PerformingBurst() {
    if (--burstsOpen > 0 || !rebuildPending)
        return;
    rebuildPending = false;
    m_host.fillTaskList();
}

int taskBeingCopied() {
    return copyingTask;
}

// --- Pausing the automatic tasks ---------------------------------------------------------

namespace {
bool automaticTasksHeld = false;
} // namespace

void setAutomaticTasksPaused(bool paused) {
    automaticTasksHeld = paused;
}

bool automaticTasksPaused() {
    return automaticTasksHeld;
}
