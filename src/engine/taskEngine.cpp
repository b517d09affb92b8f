// Performing tasks, one at a time, in passes: those a check finds due, or those the user asked for.
#include "taskEngine.h"

#include "copyChecks.h"
#include "mainThread.h"
#include "modClock.h"
#include "modDatabaseBinary.h"
#include "modDateText.h"
#include "modFileCopy.h"
#include "modFileDateTime.h"
#include "modTidewell.h"
#include "taskTable.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <exception>

namespace db = modDatabaseBinary;

namespace {

// How long the program's end waits, once the copy under way has been stopped, for its end to be
// recorded: stopping it has already waited for a volume that holds it up.
constexpr int endingWait = 500;

} // namespace

TaskEngine::TaskEngine(EngineHost& host, FileAccess access, QObject* parent)
    : QObject(parent), m_host(host), m_looks(std::move(access.look)),
      m_volumeOf(std::move(access.volumeOf)) {
    connect(&m_looks, &FileLooks::stoppedAnswering, this, &TaskEngine::volumeStopped);
    connect(&m_looks, &FileLooks::answersAgain, this, &TaskEngine::volumeAnswers);
}

TaskEngine::~TaskEngine() = default;

void TaskEngine::performTask(int recordNumber) {
    performTasks({recordNumber}, {}, {});
}

void TaskEngine::performTasks(const QList<int>& recordNumbers,
                              const std::function<bool(int, int)>& beforeTask,
                              const std::function<void()>& done) {
    if (m_stage == Stage::stopped)
        return;
    Pass pass;
    pass.records = recordNumbers;
    pass.beforeTask = beforeTask;
    pass.done = done;
    m_volumes.emplace();
    startPass(std::move(pass));
}

void TaskEngine::startPass(Pass pass) {
    requireMainThread("The task engine");
    pass.id = ++m_lastPass;
    beginCopyBurst();
    m_passes.push_back(std::move(pass));
    walkPasses();
}

// Performs the waiting tasks in turn until a look, a question or a copy is under way; its end
// walks on. Whatever the walk calls that lets events in finds it under way and leaves it alone.
void TaskEngine::walkPasses() {
    if (m_stage != Stage::ready)
        return;
    m_stage = Stage::walking;
    std::optional<db::ReadSnapshot> snapshot;
    while (m_stage == Stage::walking && !m_passes.empty()) {
        Pass& pass = m_passes.front();
        if (pass.check && !pass.lookedAt) {
            lookAtTasks(pass);
            continue;
        }
        if (pass.next >= pass.records.size()) {
            snapshot.reset();
            endPass();
            continue;
        }
        const qsizetype index = pass.next++;
        // The check reads the table once for all the tasks it finds not due.
        if (pass.check && !snapshot)
            snapshot.emplace();
        if (!wanted(pass, index))
            continue;
        snapshot.reset();
        const int recordNumber = pass.records[index];
        std::optional<PathFacts> seen;
        if (pass.check)
            seen = pass.checked.value(recordNumber).source;
        performNext(recordNumber, seen);
    }
    if (m_stage == Stage::walking)
        m_stage = Stage::ready;
}

bool TaskEngine::wanted(Pass& pass, qsizetype index) {
    if (pass.check)
        return checkTask(pass, pass.records[index]);
    return !pass.beforeTask || pass.beforeTask(int(index) + 1, int(pass.records.size()));
}

// The pass that has run through its tasks goes; its rebuild and its caller's word follow, and a
// check that a save asked for meanwhile.
void TaskEngine::endPass() {
    Pass ended = std::move(m_passes.front());
    m_passes.pop_front();
    if (ended.check)
        m_reportedFaults = m_faultsThisCycle;
    if (ended.rebuild) {
        m_stage = ended.check ? Stage::rebuildingCheck : Stage::rebuilding;
        m_host.fillTaskList();
        if (m_stage == Stage::rebuilding || m_stage == Stage::rebuildingCheck)
            m_stage = Stage::walking;
    }
    if (ended.done)
        ended.done();
    if (m_checkAgain && m_passes.empty() && m_stage == Stage::walking && !m_paused) {
        m_checkAgain = false;
        startCheck();
    }
}

// --- Performing a task ---------------------------------------------------------------------

bool TaskEngine::answering(const QString& path) const {
    return m_looks.allAnswering() || m_looks.answering(volumeOf(path).mountPoint);
}

QString TaskEngine::notAnsweringVolume(const Task& task) const {
    for (const QString& path : {task.source, task.destination}) {
        if (!answering(path))
            return volumeOf(path).mountPoint;
    }
    return QString();
}

void TaskEngine::performNext(int recordNumber, const std::optional<PathFacts>& asked) {
    const Result<Task> read = readTask(recordNumber);
    if (!read) {
        Task unread;
        unread.recordNumber = recordNumber;
        failTask(unread, read.status());
        return;
    }
    const Task& task = read.value();
    if (const QString volume = notAnsweringVolume(task); !volume.isEmpty()) {
        failTask(task, Status::failure(QDir::toNativeSeparators(volume) +
                                       QStringLiteral(" is not answering.")));
        return;
    }
    if (task.confirmationOn && !asked)
        lookBeforeAsking(task);
    else
        begin(task, asked);
}

// What a No records is the state the user was asked about: looked at first, off this thread.
void TaskEngine::lookBeforeAsking(const Task& task) {
    m_stage = Stage::looking;
    m_current = task.recordNumber;
    m_looks.look(
        volumeOf(task.source).mountPoint, {{task.source, true}},
        [this, task, id = m_passes.front().id](const std::optional<std::vector<PathFacts>>& facts) {
            if (m_stage != Stage::looking || m_passes.empty() || m_passes.front().id != id)
                return;
            m_stage = Stage::walking;
            if (facts)
                begin(task, facts->front());
            else
                failTask(task, Status::failure(
                                   QDir::toNativeSeparators(volumeOf(task.source).mountPoint) +
                                   QStringLiteral(" is not answering.")));
            if (m_stage == Stage::walking)
                m_stage = Stage::ready;
            walkPasses();
        });
}

// Asks when the task wants it, then declines or starts the copy. The answer is followed by the
// task's name as it is then: it may have been renamed while the question was open.
void TaskEngine::begin(Task task, const std::optional<PathFacts>& asked) {
    m_current = task.recordNumber;
    if (task.confirmationOn) {
        m_stage = Stage::asking;
        const bool yes = m_host.confirmTask(task.confirmationTitle, task.confirmationQuestion);
        if (m_stage == Stage::stopped)
            return;
        m_stage = Stage::walking;
        if (!yes) {
            m_current = -1;
            const Status declined = decline(task, asked);
            if (declined)
                m_memory.of(task).lastFailure.clear();
            else
                failTask(task, declined);
            return;
        }
        const Result<QString> named = db::readField(TaskField::TaskName, task.recordNumber);
        if (!named) {
            m_current = -1;
            failTask(task, named.status());
            return;
        }
        task.name = named.value();
    }
    if (const Status started = startTaskCopy(task, asked); !started) {
        m_current = -1;
        failTask(task, started);
    }
}

Status TaskEngine::decline(const Task& task, const std::optional<PathFacts>& asked) {
    const bool found = asked && asked->look.kind == FileKind::regular;
    const FileStamp stamp = found ? fileStampOf(task.source, asked->look.state) : FileStamp();
    const Status recorded = db::writeFields(
        task.recordNumber, {{TaskField::FileDate, stamp.date},
                            {TaskField::FileTime, stamp.time},
                            {TaskField::FileVersion, found ? asked->version : QString()}});
    if (found && recorded)
        m_memory.of(task).lastSeen = asked->look.state;
    if (!recorded)
        return recorded;
    showPerformed(task.recordNumber);
    const Result<QString> name = db::readField(TaskField::TaskName, task.recordNumber);
    if (!name)
        return name.status();
    logAction(QStringLiteral("Task cancelled: ") + name.value());
    return Status::success();
}

// The one place where the copy of a task's source over its destination begins.
Status TaskEngine::startTaskCopy(const Task& task, const std::optional<PathFacts>& seen) {
    const Status started = startCopy(
        this, task.source, task.destination,
        [this, task, seen](const Result<CopiedSource>& copied) { copyEnded(task, seen, copied); },
        [this, name = task.name](int percent) { m_host.showCopyProgress(name, percent); },
        NewerDestination::setAside, givenNs(task, m_memory.of(task)));
    if (started)
        m_stage = Stage::copying;
    return started;
}

// From the event loop, once the worker is done with the task's copy. A copy that ends as the
// program ends is still recorded.
void TaskEngine::copyEnded(const Task& task, const std::optional<PathFacts>& seen,
                           const Result<CopiedSource>& copied) {
    const bool ending = m_stage == Stage::stopped;
    if (m_stage != Stage::copying && !ending)
        return;
    m_current = -1;
    if (!ending)
        m_stage = Stage::walking;
    Status finished = copied.status();
    try {
        if (copied)
            finished = recordCopy(task, copied.value());
    } catch (const std::exception& fault) {
        finished = Status::failure(QString::fromLocal8Bit(fault.what()));
    }
    TaskMemory& memory = m_memory.of(task);
    if (finished) {
        memory.lastFailure.clear();
        memory.lastingAt.reset();
    } else if (!ending) {
        if (finished.lasting() && seen && seen->look.kind == FileKind::regular)
            memory.lastingAt = seen->look.state;
        failTask(task, finished);
    }
    emit copyHandled();
    if (ending)
        return;
    if (m_stage == Stage::walking)
        m_stage = Stage::ready;
    walkPasses();
}

// Logs the copy and records the state of the source that was copied, in one write; a record that
// cannot be written is written by a later check.
Status TaskEngine::recordCopy(const Task& task, const CopiedSource& copied) {
    if (!copied.setAsideTo.isEmpty())
        logAction(task.name +
                  QStringLiteral(": the destination was newer than the source; it was "
                                 "moved to ") +
                  QDir::toNativeSeparators(copied.setAsideTo));
    logAction(QStringLiteral("Successfully performed ") + task.name);
    const FileStamp stamp = fileStampOf(task.source, copied.source);
    const db::FieldList fields = {{TaskField::FileDate, stamp.date},
                                  {TaskField::FileTime, stamp.time},
                                  {TaskField::FileVersion, copied.version},
                                  {TaskField::LastUpdated, dateText(today())}};
    TaskMemory& memory = m_memory.of(task);
    memory.lastSeen = copied.source;
    memory.givenNs = copied.source.modifiedNs;
    const Status recorded = db::writeFields(task.recordNumber, fields);
    if (!recorded) {
        memory.unrecorded = fields;
        return recorded;
    }
    memory.unrecorded.reset();
    if (isProgramFile(copied.source))
        memory.ownWritesAt = regularFileState(task.source);
    showPerformed(task.recordNumber);
    return Status::success();
}

// A task that fails the same way at check after check is logged and told of once.
void TaskEngine::failTask(const Task& task, const Status& fault) {
    const QString failure = task.name + QStringLiteral(" failed.  ") + fault.message();
    TaskMemory& memory = m_memory.of(task);
    if (memory.lastFailure == failure)
        return;
    memory.lastFailure = failure;
    logAction(failure);
    m_host.taskFailed(task.recordNumber, task.name, fault.message());
}

// The task's row shows its new state now; the list is rebuilt when its pass ends.
void TaskEngine::showPerformed(int recordNumber) {
    if (m_stage == Stage::stopped)
        return;
    if (m_passes.empty()) {
        m_host.fillTaskList();
        return;
    }
    m_passes.front().rebuild = true;
    m_host.showPerformedTask(recordNumber);
}

void TaskEngine::stopPerforming() {
    cancelCopies();
    m_passes.clear();
    const bool copying = m_stage == Stage::copying;
    m_stage = Stage::stopped;
    if (copying) {
        QEventLoop wait;
        connect(this, &TaskEngine::copyHandled, &wait, &QEventLoop::quit);
        QTimer::singleShot(endingWait, &wait, &QEventLoop::quit);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    m_current = -1;
}
