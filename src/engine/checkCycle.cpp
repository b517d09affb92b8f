// The check cycle: which tasks are due, from one look at their files off the window's thread.
#include "taskEngine.h"

#include "copyChecks.h"
#include "modChangeWatch.h"
#include "modClock.h"
#include "modDatabaseBinary.h"
#include "modDateText.h"
#include "modFileDateTime.h"
#include "modPaths.h"
#include "modTidewell.h"
#include "taskTable.h"

#include <QDir>
#include <QFile>
#include <QTimer>

namespace db = modDatabaseBinary;

namespace {

QString checkFaultLine(const QString& taskName, const Status& fault) {
    const QString subject = taskName.isEmpty() ? QStringLiteral("The tasks") : taskName;
    return subject + QStringLiteral(" could not be checked.  ") + fault.message();
}

bool needsDestination(const Task& task) {
    const RulePosition rule = rulePosition(task.rule);
    return rule == ruleSourceNewer || rule == ruleSourceChanged;
}

// A task under the rule that never makes it due needs no look once its baseline is recorded.
bool needsLook(const Task& task) {
    return rulePosition(task.rule) != ruleOnlyWhenSelected || task.fileDate.isEmpty() ||
           task.fileTime.isEmpty();
}

} // namespace

void TaskEngine::runCheckCycle() {
    if (m_stage == Stage::stopped)
        return;
    consumeActivationMarker();
    // A check's closing rebuild would start that same check again; a check comes after the tasks
    // under way at the next tick, or at once when a save asked for one.
    if (m_stage == Stage::rebuildingCheck || !m_passes.empty() || m_paused)
        return;
    startCheck();
}

void TaskEngine::checkSoon() {
    if (m_passes.empty() && m_stage == Stage::ready)
        runCheckCycle();
    else
        m_checkAgain = true;
}

void TaskEngine::startCheck() {
    m_faultsThisCycle.clear();
    const db::ReadSnapshot snapshot;
    if (const Status listed = db::listRecords(); !listed) {
        reportFault(checkFaultLine(QString(), listed));
        m_reportedFaults = m_faultsThisCycle;
        return;
    }
    Pass pass;
    pass.check = true;
    pass.today = dateText(today());
    for (const QString& entry : db::resultList.mid(0, db::resultCount)) {
        const int recordNumber = entry.toInt();
        pass.records.append(recordNumber);
        const Result<Task> task = readTask(recordNumber);
        if (task)
            pass.checked.insert(recordNumber, {task.value(), {}, {}, false});
        else
            reportFault(checkFaultLine(QString(), task.status()));
    }
    m_volumes.emplace();
    startPass(std::move(pass));
}

// The moment the last copy gave the destination: this run's own, or the recorded source time.
std::optional<qint64> TaskEngine::givenNs(const Task& task, const TaskMemory& memory) {
    return memory.givenNs ? memory.givenNs : storedMomentNs(task.fileDate, task.fileTime);
}

Volume TaskEngine::volumeOf(const QString& path) const {
    if (m_volumeOf)
        return m_volumeOf(path);
    return m_volumes ? m_volumes->volumeOf(path) : VolumeTable().volumeOf(path);
}

Volume TaskEngine::volumeOf(const QString& path, const std::optional<PathFacts>& found) const {
    if (m_volumeOf || !m_volumes || !found || found->look.kind != FileKind::regular)
        return volumeOf(path);
    return m_volumes->volumeOf(path, found->look.state.device);
}

// One batch of looks per volume, each on that volume's own thread.
void TaskEngine::lookAtTasks(Pass& pass) {
    pass.lookedAt = true;
    struct Batch {
        std::vector<PathLook> paths;
        std::vector<std::pair<int, bool>> asked; // record number, whether it is the source
    };
    QHash<QString, Batch> batches;
    const auto add = [&](int recordNumber, const QString& path, bool isSource, bool version) {
        Batch& batch = batches[volumeOf(path).mountPoint];
        batch.paths.push_back({path, version});
        batch.asked.emplace_back(recordNumber, isSource);
    };
    for (const int recordNumber : pass.records) {
        const auto checked = pass.checked.constFind(recordNumber);
        if (checked == pass.checked.cend() || checked->task.source.isEmpty())
            continue;
        const Task& task = checked->task;
        const TaskMemory* memory = m_memory.find(recordNumber);
        if (!needsLook(task) && !(memory && memory->unrecorded))
            continue;
        add(recordNumber, task.source, true,
            task.confirmationOn || rulePosition(task.rule) == ruleVersionChanged);
        if (needsDestination(task) && !task.destination.isEmpty())
            add(recordNumber, task.destination, false, false);
    }
    for (auto batch = batches.begin(); batch != batches.end(); ++batch) {
        ++pass.looksOut;
        m_looks.look(
            batch.key(), std::move(batch->paths),
            [this, id = pass.id, asked = std::move(batch->asked)](
                const std::optional<std::vector<PathFacts>>& facts) { looked(id, asked, facts); });
    }
    if (pass.looksOut > 0)
        m_stage = Stage::looking;
}

void TaskEngine::looked(int passId, const std::vector<std::pair<int, bool>>& asked,
                        const std::optional<std::vector<PathFacts>>& facts) {
    if (m_passes.empty() || m_passes.front().id != passId || m_stage != Stage::looking)
        return;
    Pass& pass = m_passes.front();
    for (std::size_t i = 0; i < asked.size(); ++i) {
        CheckedTask& checked = pass.checked[asked[i].first];
        if (!facts)
            checked.waiting = true;
        else if (asked[i].second)
            checked.source = (*facts)[i];
        else
            checked.destination = (*facts)[i];
    }
    if (--pass.looksOut > 0)
        return;
    m_stage = Stage::ready;
    walkPasses();
}

// Whether the task is due and its source ready to copy, read again from the table: tasks
// performed before it may have let the user change it meanwhile.
bool TaskEngine::checkTask(Pass& pass, int recordNumber) {
    const auto checked = pass.checked.find(recordNumber);
    if (checked == pass.checked.end())
        return false;
    const Result<Task> now = readTask(recordNumber);
    if (!now) {
        reportFault(checkFaultLine(QString(), now.status()));
        return false;
    }
    const Task& task = now.value();
    if (task.source != checked->task.source || task.destination != checked->task.destination ||
        task.rule != checked->task.rule) {
        m_checkAgain = true; // looked at under other files: the next check looks again
        return false;
    }
    checked->task = task;
    return decide(*checked, pass.today);
}

bool TaskEngine::decide(CheckedTask& checked, const QString& today) {
    const Task& task = checked.task;
    TaskMemory& memory = m_memory.of(task);
    if (checked.waiting || !checked.source)
        return false;
    const FileLook& look = checked.source->look;
    if (look.kind != FileKind::regular) {
        memory.busySince.reset();
        // A missing source, or a folder, is silently not due.
        if (const QString what = notAFileLine(look.kind, true); !what.isEmpty())
            failTask(task, Status::failure(what));
        return false;
    }
    const FileState& source = look.state;
    if (recordedLater(task, source, memory) || memory.lastingAt == source ||
        memory.ownWritesAt == source)
        return false;
    if (isDue(task, ruleFacts(checked, memory, today)))
        return readyToCopy(task, source, memory);
    memory.busySince.reset();
    if (!memory.lastSeen)
        memory.lastSeen = source;
    writeBaseline(task, *checked.source);
    return false;
}

RuleFacts TaskEngine::ruleFacts(const CheckedTask& checked, const TaskMemory& memory,
                                const QString& today) const {
    const Task& task = checked.task;
    RuleFacts facts;
    facts.source = checked.source->look.state;
    const FileStamp stamp = fileStampOf(task.source, facts.source);
    facts.sourceDate = stamp.date;
    facts.sourceTime = stamp.time;
    if (checked.destination && checked.destination->look.kind == FileKind::regular)
        facts.destination = checked.destination->look.state;
    const Volume destination = volumeOf(task.destination, checked.destination);
    facts.destinationResolution = destination.timeResolution();
    facts.destinationKeepsLocalTime = destination.keepsLocalTime();
    facts.exactTimes = destination.timeResolution() == 1 &&
                       volumeOf(task.source, checked.source).timeResolution() == 1;
    facts.version = checked.source->version;
    facts.today = today;
    facts.lastSeen = memory.lastSeen;
    facts.givenNs = memory.givenNs;
    return facts;
}

// A source written to within the quiet time may still be being written: the change watch starts
// a check once it is quiet, and the tick comes back. A time stamp far in the future is not a
// write under way. One never quiet is copied as it stands once its task has waited long enough.
bool TaskEngine::readyToCopy(const Task& task, const FileState& source, TaskMemory& memory) {
    const qint64 now = currentDateTime().toMSecsSinceEpoch();
    const qint64 age = now - source.modifiedMs();
    if (age >= ChangeWatch::quietTime || age <= -ChangeWatch::quietTime) {
        memory.busySince.reset();
        return true;
    }
    // A clock set back starts the wait again rather than stretching it. A save the watch did not
    // see end (one made just before the program started) is looked at again once it is quiet.
    if (!memory.busySince || *memory.busySince > now) {
        memory.busySince = now;
        QTimer::singleShot(ChangeWatch::quietTime, this, &TaskEngine::checkSoon);
        return false;
    }
    if (now - *memory.busySince < ChangeWatch::busyWaitLimit)
        return false;
    memory.busySince.reset();
    logAction(task.name + QStringLiteral(": the source is still being written; it is copied as "
                                         "it stands and will be copied again once it changes."));
    return true;
}

// A copy whose record could not be written is recorded once the table takes it, without being
// copied again; a source changed since is copied anew.
bool TaskEngine::recordedLater(const Task& task, const FileState& source, TaskMemory& memory) {
    if (!memory.unrecorded)
        return false;
    if (memory.lastSeen != source) {
        memory.unrecorded.reset();
        return false;
    }
    if (db::writeFields(task.recordNumber, *memory.unrecorded))
        memory.unrecorded.reset();
    return true;
}

// The first check that finds the source records its date and time, in one write.
void TaskEngine::writeBaseline(const Task& task, const PathFacts& source) {
    db::FieldList baseline;
    const FileStamp stamp = fileStampOf(task.source, source.look.state);
    if (task.fileDate.isEmpty())
        baseline.emplace_back(TaskField::FileDate, stamp.date);
    if (task.fileTime.isEmpty())
        baseline.emplace_back(TaskField::FileTime, stamp.time);
    if (baseline.empty())
        return;
    if (const Status written = db::writeFields(task.recordNumber, baseline); !written)
        reportFault(checkFaultLine(task.name, written));
}

// A second start of the program leaves the marker behind to have this copy's window shown. A
// marker that cannot be deleted shows it once.
void TaskEngine::consumeActivationMarker() {
    const QString marker = applicationFile(QStringLiteral("notify.dat"));
    const std::optional<FileState> found = regularFileState(marker);
    if (!found) {
        m_undeletableMarker.reset();
        return;
    }
    if (QFile::remove(marker)) {
        m_undeletableMarker.reset();
        m_host.showMainWindow();
        return;
    }
    if (m_undeletableMarker == found)
        return;
    m_undeletableMarker = found;
    m_host.showMainWindow();
}

void TaskEngine::reportFault(const QString& line) {
    m_faultsThisCycle.insert(line);
    if (!m_reportedFaults.contains(line))
        logAction(line);
}

void TaskEngine::volumeStopped(const QString& volume) {
    if (m_silentVolumes.contains(volume))
        return;
    m_silentVolumes.insert(volume);
    logAction(QDir::toNativeSeparators(volume) +
              QStringLiteral(" is not answering; its tasks wait until it answers again."));
}

void TaskEngine::volumeAnswers(const QString& volume) {
    if (!m_silentVolumes.remove(volume))
        return;
    logAction(QDir::toNativeSeparators(volume) +
              QStringLiteral(" answers again; its tasks go on."));
    emit volumeBack();
    checkSoon();
}
