#include "taskEngine.h"

#include "modBusySource.h"
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
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <deque>
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

// The task being asked about or copied, and whether its copy is under way on the worker.
int performingTask = -1;
bool copyInFlight = false;
// Counts the stops of performing: a copy started before the last one ends unrecorded.
quint64 performingRun = 0;

// What this run knows of a task's source beyond the stored texts: its size and time to the
// nanosecond at the last copy, question or baseline, and whether that copy could be recorded.
struct KnownSource {
    QString path;
    qint64 modifiedNs = 0;
    qint64 size = -1;
    bool recorded = true;
    QDate performedOn;
};
QHash<int, KnownSource> knownSources;

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

// The stored texts are local, and in the hour that summer time gives back one text names two
// moments; compared with the texts of the source's own stamp, the moment they were made from never
// reads as a change, and any other text does.
bool sourceChanged(const CheckedTask& task, const FileStamp& source) {
    if (task.fileDate.isEmpty() || task.fileTime.isEmpty())
        return true;
    return differs(daysBetween(task.fileDate, source.date)) ||
           differs(secondsBetween(task.fileTime, source.time));
}

// Compared as moments, not as local texts, which repeat in the hour that summer time gives back.
// A destination older by less than its file system keeps time stamps to is the copy itself: FAT
// rounds the source's time down to two seconds.
bool sourceNewer(const CheckedTask& task, const FileStamp& source) {
    const std::optional<FileStamp> destination = getFileStamp(task.destination);
    if (!destination)
        return true;
    constexpr qint64 nsPerSecond = 1000000000;
    const qint64 behind = source.modifiedNs - destination->modifiedNs;
    return behind > 0 && behind >= timeStampResolution(task.destination) * nsPerSecond;
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

// The first check that finds the source records its date and time, in one write.
Status writeBaseline(int recordNumber, const CheckedTask& task, const FileStamp& source) {
    db::FieldList baseline;
    if (task.fileDate.isEmpty())
        baseline.emplace_back(TaskField::FileDate, source.date);
    if (task.fileTime.isEmpty())
        baseline.emplace_back(TaskField::FileTime, source.time);
    return baseline.empty() ? Status::success() : db::writeFields(recordNumber, baseline);
}

// A source written to within the settle time may still be being written: the change watch
// starts a check once it has settled, and the tick comes back. A time stamp far in the future
// is not a write under way.
bool settled(const FileStamp& source) {
    const qint64 age = currentDateTime().toMSecsSinceEpoch() - source.modifiedMs();
    return age >= ChangeWatch::settleTime || age <= -ChangeWatch::settleTime;
}

// --- What this run knows of the sources ----------------------------------------------------

const KnownSource* knownSource(int recordNumber, const QString& source) {
    const auto known = knownSources.constFind(recordNumber);
    return known != knownSources.cend() && known->path == source ? &*known : nullptr;
}

void rememberSource(int recordNumber, const QString& source, qint64 modifiedNs, qint64 size,
                    bool recorded) {
    knownSources.insert(recordNumber, {source, modifiedNs, size, recorded, today()});
}

// New content within the second the stored time keeps: the size or the time to the nanosecond
// differs from what this run last copied, asked about or found.
bool changedWithinSecond(int recordNumber, const CheckedTask& task, const FileStamp& source) {
    const KnownSource* known = knownSource(recordNumber, task.source);
    return known && rulePosition(task.rule) == ruleSourceChanged &&
           (known->modifiedNs != source.modifiedNs || known->size != source.size);
}

// A copy of this very state was made today but could not be recorded: copying it again would
// only copy it again at every check.
bool copiedUnrecorded(int recordNumber, const CheckedTask& task, const FileStamp& source) {
    const KnownSource* known = knownSource(recordNumber, task.source);
    return known && !known->recorded && known->modifiedNs == source.modifiedNs &&
           known->size == source.size && known->performedOn == today();
}

// A due task's source that is quiet is copied now; one still being written waits for quiet, but
// not for ever.
bool readyToCopy(int recordNumber, const CheckedTask& task, const FileStamp& source) {
    if (settled(source)) {
        busySource::forget(recordNumber);
        return true;
    }
    if (!busySource::waitedLongEnough(recordNumber, task.source))
        return false;
    logAction(task.name + QStringLiteral(": the source is still being written; it is copied as "
                                         "it stands and will be copied again once it changes."));
    return true;
}

// Whether the task is due and its source is ready to copy; the first check that finds its source
// records the baseline.
bool checkTask(int recordNumber, TodayText& todayText) {
    const Status read = db::readRecord(recordNumber);
    if (!read) {
        busySource::forget(recordNumber);
        reportFault(checkFaultLine(QString(), read));
        return false;
    }
    const CheckedTask task = taskFromFieldValues();
    // One look at the source serves the existence test, the baseline and the rules.
    const std::optional<FileStamp> source = getFileStamp(task.source);
    if (!source) {
        busySource::forget(recordNumber);
        return false;
    }
    // A due task is performed before anything is recorded for it: only a copy that succeeds or a
    // question the user declines records the source's state, so a copy that fails, or is cut
    // short by a crash, leaves the task due and the next check tries again.
    if (isDue(task, *source, todayText) || changedWithinSecond(recordNumber, task, *source)) {
        if (!copiedUnrecorded(recordNumber, task, *source))
            return readyToCopy(recordNumber, task, *source);
        busySource::forget(recordNumber);
        return false;
    }
    busySource::forget(recordNumber);
    if (!knownSource(recordNumber, task.source))
        rememberSource(recordNumber, task.source, source->modifiedNs, source->size, true);
    const Status baseline = writeBaseline(recordNumber, task, *source);
    if (!baseline)
        reportFault(checkFaultLine(task.name, baseline));
    return false;
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

// --- Passes ---------------------------------------------------------------------------------

// Tasks performed one after another: those a check finds due, or those the user asked for.
struct Pass {
    EngineHost* host = nullptr;
    QList<int> records;
    qsizetype next = 0;
    // A check's: each task is performed when its rule says it is due.
    bool check = false;
    std::function<bool(int, int)> beforeTask;
    std::function<void()> done;
    TodayText todayText;
    // A task was performed that the task list has not been rebuilt for.
    bool rebuild = false;
};

// The pass under way first; the others wait for their turn.
std::deque<Pass> passes;
// Whether the passes are being walked now; a walk started inside it would run ahead of it.
int walksRunning = 0;
// While a check's closing rebuild runs, the check it would start is that same check again.
int quietRebuilds = 0;
// The check reads the table once for all the tasks it finds not due.
std::optional<db::ReadSnapshot> checkSnapshot;

void walkPasses();

// Marks a task as being performed for as long as it lives, unless its copy is then under way:
// the copy's end takes the mark away.
class PerformingMark {
public:
    explicit PerformingMark(int recordNumber) { performingTask = recordNumber; }
    ~PerformingMark() {
        if (!copyInFlight)
            performingTask = -1;
    }
    PerformingMark(const PerformingMark&) = delete;
    PerformingMark& operator=(const PerformingMark&) = delete;
};

// --- Performing a task -------------------------------------------------------------------

// A task that fails the same way at check after check is logged and told of once.
void failTask(EngineHost& host, int recordNumber, const Status& fault) {
    const Result<QString> name = readTaskField(TaskField::TaskName, recordNumber);
    const QString failure = name.value() + QStringLiteral(" failed.  ") + fault.message();
    if (host.failures.repeats(recordNumber, failure))
        return;
    logAction(failure);
    host.taskFailed(recordNumber, name.value(), fault.message());
}

// The task's row shows its new state now; the list is rebuilt when its pass ends.
void showPerformed(EngineHost& host, int recordNumber) {
    if (passes.empty()) {
        host.fillTaskList();
        return;
    }
    passes.front().rebuild = true;
    host.showPerformedTask(recordNumber);
}

// Records the state of the source as it was when the user was asked about it.
Status decline(EngineHost& host, int recordNumber, const QString& source,
               const std::optional<FileStamp>& asked, const QString& version) {
    const FileStamp stamp = asked.value_or(FileStamp());
    const Status recorded = db::writeFields(recordNumber, {{TaskField::FileDate, stamp.date},
                                                           {TaskField::FileTime, stamp.time},
                                                           {TaskField::FileVersion, version}});
    if (asked)
        rememberSource(recordNumber, source, stamp.modifiedNs, stamp.size, recorded.ok());
    if (!recorded)
        return recorded;
    showPerformed(host, recordNumber);
    const Result<QString> name = readTaskField(TaskField::TaskName, recordNumber);
    if (!name)
        return name.status();
    logAction(QStringLiteral("Task cancelled: ") + name.value());
    return Status::success();
}

// Logs the copy and records the state of the source that was copied, in one write.
Status recordCopy(EngineHost& host, int recordNumber, const QString& name, const QString& source,
                  const CopiedSource& copied) {
    if (!copied.setAsideTo.isEmpty())
        logAction(name +
                  QStringLiteral(": the destination was newer than the source; it was "
                                 "moved to ") +
                  QDir::toNativeSeparators(copied.setAsideTo));
    logAction(QStringLiteral("Successfully performed ") + name);
    const FileStamp stamp = fileStampAt(copied.modifiedNs, copied.size);
    const Status recorded =
        db::writeFields(recordNumber, {{TaskField::FileDate, stamp.date},
                                       {TaskField::FileTime, stamp.time},
                                       {TaskField::FileVersion, copied.version},
                                       {TaskField::LastUpdated, dateText(today())}});
    rememberSource(recordNumber, source, copied.modifiedNs, copied.size, recorded.ok());
    if (!recorded)
        return recorded;
    showPerformed(host, recordNumber);
    return Status::success();
}

// From the event loop, once the worker is done with the task's copy.
void copyEnded(EngineHost& host, int recordNumber, quint64 run, const QString& name,
               const QString& source, const Result<CopiedSource>& copied) {
    if (run != performingRun)
        return;
    copyInFlight = false;
    performingTask = -1;
    Status finished = copied.status();
    try {
        if (copied)
            finished = recordCopy(host, recordNumber, name, source, copied.value());
    } catch (const std::exception& fault) {
        finished = Status::failure(QString::fromLocal8Bit(fault.what()));
    }
    if (finished)
        host.failures.forget(recordNumber);
    else
        failTask(host, recordNumber, finished);
    walkPasses();
}

// The one place where the copy of a task's source over its destination begins.
Status startTaskCopy(EngineHost& host, int recordNumber, const QString& taskName,
                     const QString& source, const QString& destination) {
    const quint64 run = performingRun;
    const Status started = startCopy(
        source, destination,
        [&host, recordNumber, run, taskName, source](const Result<CopiedSource>& copied) {
            copyEnded(host, recordNumber, run, taskName, source, copied);
        },
        [&host, taskName](int percent) { host.showCopyProgress(taskName, percent); },
        NewerDestination::setAside);
    copyInFlight = started.ok();
    return started;
}

// Asks when the task wants it, then declines or starts the copy. One read of the record gives
// every field wanted before the question; its answer is followed by the name as it is then.
Status beginTask(EngineHost& host, int recordNumber) {
    if (Status read = db::readRecord(recordNumber); !read)
        return read;
    QString name = db::fieldValues[slotTaskName];
    const QString source = db::fieldValues[slotSourceFile];
    const QString destination = db::fieldValues[slotDestinationFile];
    if (db::fieldValues[slotConfirmationOn].compare(QLatin1String("1"), Qt::CaseInsensitive) == 0) {
        const QString question = db::fieldValues[slotConfirmationQuestion];
        const QString title = db::fieldValues[slotConfirmationTitle];
        // What a No records is the state the user was asked about.
        const std::optional<FileStamp> asked = getFileStamp(source);
        const QString version = getFileVersion(source);
        if (!host.confirmTask(title, question))
            return decline(host, recordNumber, source, asked, version);
        // The task may have been renamed while the question was open.
        const Result<QString> named = readTaskField(TaskField::TaskName, recordNumber);
        if (!named)
            return named.status();
        name = named.value();
    }
    return startTaskCopy(host, recordNumber, name, source, destination);
}

void performNext(EngineHost& host, int recordNumber) {
    const PerformingMark mark(recordNumber);
    Status begun = Status::success();
    try {
        begun = beginTask(host, recordNumber);
    } catch (const std::exception& fault) {
        begun = Status::failure(QString::fromLocal8Bit(fault.what()));
    }
    if (!begun)
        failTask(host, recordNumber, begun);
    else if (!copyInFlight)
        host.failures.forget(recordNumber);
}

// --- Walking the passes ----------------------------------------------------------------------

// The pass that has run through its tasks goes; its rebuild and its caller's word follow.
void endPass() {
    Pass ended = std::move(passes.front());
    passes.pop_front();
    if (ended.check)
        reportedFaults = faultsThisCycle;
    if (ended.rebuild) {
        // A check's closing rebuild starts no check: it would be this same check again.
        std::optional<Underway> quiet;
        if (ended.check)
            quiet.emplace(quietRebuilds);
        ended.host->fillTaskList();
    }
    if (ended.done)
        ended.done();
}

// Lets the table be read afresh once a walk has ended, on every way out.
struct SnapshotEnd {
    SnapshotEnd() = default;
    ~SnapshotEnd() { checkSnapshot.reset(); }
    SnapshotEnd(const SnapshotEnd&) = delete;
    SnapshotEnd& operator=(const SnapshotEnd&) = delete;
};

// Whether the pass performs its next task.
bool wanted(Pass& pass, qsizetype index) {
    if (pass.check) {
        if (!checkSnapshot)
            checkSnapshot.emplace();
        return checkTask(pass.records[index], pass.todayText);
    }
    return !pass.beforeTask || pass.beforeTask(int(index) + 1, int(pass.records.size()));
}

// Performs the waiting tasks in turn until a copy is under way; its end walks on.
void walkPasses() {
    if (walksRunning > 0)
        return;
    const Underway walking(walksRunning);
    const SnapshotEnd snapshotEnd;
    while (!passes.empty() && !copyInFlight && !copiesCancelled()) {
        Pass& pass = passes.front();
        if (pass.next >= pass.records.size()) {
            checkSnapshot.reset();
            endPass();
            continue;
        }
        const qsizetype index = pass.next++;
        if (!wanted(pass, index))
            continue;
        checkSnapshot.reset();
        performNext(*pass.host, pass.records[index]);
    }
}

void startPass(Pass pass) {
    passes.push_back(std::move(pass));
    walkPasses();
}

// Drops whatever waits; a copy started before ends unrecorded.
void forgetPerforming() {
    ++performingRun;
    passes.clear();
    checkSnapshot.reset();
    copyInFlight = false;
    performingTask = -1;
}

} // namespace

void performTask(EngineHost& host, int recordNumber) {
    performTasks(host, {recordNumber}, {}, {});
}

void performTasks(EngineHost& host, const QList<int>& recordNumbers,
                  const std::function<bool(int, int)>& beforeTask,
                  const std::function<void()>& done) {
    Pass pass;
    pass.host = &host;
    pass.records = recordNumbers;
    pass.beforeTask = beforeTask;
    pass.done = done;
    beginCopyBurst();
    startPass(std::move(pass));
}

void runCheckCycle(EngineHost& host) {
    if (copiesCancelled())
        return;
    consumeActivationMarker(host);
    if (quietRebuilds > 0)
        return;
    // Tasks still being performed: a walk that a fault cut short goes on from where it stopped.
    if (!passes.empty()) {
        walkPasses();
        return;
    }
    if (automaticTasksPaused())
        return;
    faultsThisCycle.clear();
    checkSnapshot.emplace();
    const Status listed = db::listRecords();
    if (!listed) {
        checkSnapshot.reset();
        reportFault(checkFaultLine(QString(), listed));
        reportedFaults = faultsThisCycle;
        return;
    }
    Pass pass;
    pass.host = &host;
    pass.check = true;
    for (const QString& entry : db::resultList.mid(0, db::resultCount))
        pass.records.append(entry.toInt());
    beginCopyBurst();
    startPass(std::move(pass));
}

int taskBeingCopied() {
    return performingTask;
}

bool performingUnderway() {
    return !passes.empty() || copyInFlight;
}

void stopPerforming() {
    cancelCopies();
    forgetPerforming();
}

EngineHost::~EngineHost() {
    forgetPerforming();
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
