#pragma once

#include "modFileLooks.h"
#include "modRules.h"
#include "modVolumes.h"
#include "runMemory.h"
#include "task.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

struct CopiedSource;
template <class T> class Result;

// What performing a task and the check cycle ask of the main window.
class EngineHost {
public:
    virtual ~EngineHost() = default;
    // The task's own Yes/No question; false only when the user answers No.
    virtual bool confirmTask(const QString& title, const QString& question) = 0;
    // Makes the main window visible, leaving its window state alone.
    virtual void showMainWindow() = 0;
    // Rebuilds the task list; like the window's own, it ends with a check cycle.
    virtual void fillTaskList() = 0;
    // A task's performing failed with the one-line reason of the fault: told when it starts
    // failing and when the reason changes, not again at each check that finds it the same.
    virtual void taskFailed(int /*recordNumber*/, const QString& /*name*/,
                            const QString& /*reason*/) {}
    // Shows a performed task's new state in its own row while a burst of performing puts the
    // rebuild off.
    virtual void showPerformedTask(int /*recordNumber*/) {}
    // The progress of a copy that runs longer than about a second, in percent; a negative
    // percentage once such a copy has ended.
    virtual void showCopyProgress(const QString& /*taskName*/, int /*percent*/) {}
};

// How the engine looks at files and tells which volume holds them; tests stand in for either.
struct FileAccess {
    LookFunction look = lookAtPath;
    std::function<Volume(const QString& path)> volumeOf;
};

// The check cycle and the performing of tasks, for one window. Performing asks when the task
// wants it, copies the source over the destination, logs and records what was copied. Files are
// looked at and copied off the window's thread, and their answers come back through the event
// loop, so that no slow or hung volume holds the window; a volume that stops answering holds only
// its own tasks. Tasks are performed one at a time, in turn.
class TaskEngine : public QObject {
    Q_OBJECT
public:
    explicit TaskEngine(EngineHost& host, FileAccess access = FileAccess(),
                        QObject* parent = nullptr);
    ~TaskEngine() override;
    TaskEngine(const TaskEngine&) = delete;
    TaskEngine& operator=(const TaskEngine&) = delete;

    // Performs the task once the tasks before it have been performed.
    void performTask(int recordNumber);
    // Performs the tasks in this order, whatever their rules, as one burst: each shows its new
    // state in its own row, and the task list is rebuilt once, at the end. Before each task,
    // beforeTask is given its place from 1 and the count, and may skip it by answering false;
    // done is called once the last has been performed.
    void performTasks(const QList<int>& recordNumbers,
                      const std::function<bool(int place, int count)>& beforeTask,
                      const std::function<void()>& done);
    // Consumes the activation marker, then, unless tasks are being performed, performs every task
    // whose rule says it is due, in the order of the table.
    void runCheckCycle();
    // A source was saved: checked now, or as soon as the tasks being performed are done.
    void checkSoon();
    // While paused, a check cycle only answers a second start: no task is performed, and nothing
    // is recorded, until the pause ends. Performing a task on the user's command is not held.
    void setAutomaticTasksPaused(bool paused) { m_paused = paused; }
    bool automaticTasksPaused() const { return m_paused; }
    // The record number of the task being asked about or copied; -1 when there is none.
    int taskBeingCopied() const { return m_current; }
    // Whether tasks are being looked at, performed or wait for their turn.
    bool performingUnderway() const {
        return !m_passes.empty() || (m_stage != Stage::ready && m_stage != Stage::stopped);
    }
    // The program is ending: a copy under way is stopped, or recorded if it has already ended,
    // and nothing more is performed.
    void stopPerforming();
    // The user changed, renamed or deleted the task: what the run knew of it no longer holds.
    void forgetTask(int recordNumber) { m_memory.forget(recordNumber); }
    // Whether the volume holding the path answers the looks at its files.
    bool answering(const QString& path) const;

signals:
    // A copy's end has been handled.
    void copyHandled();
    // A volume that had stopped answering answers again.
    void volumeBack();

private:
    // What walking the passes waits for, if anything.
    // Walking the passes goes on only from ready; every other stage is waited for.
    enum class Stage {
        ready,
        walking,
        looking,
        asking,
        copying,
        rebuilding,
        rebuildingCheck,
        stopped
    };

    // A task of a check, with what its looks found; nothing where its volume did not answer.
    struct CheckedTask {
        Task task;
        std::optional<PathFacts> source;
        std::optional<PathFacts> destination;
        bool waiting = false;
    };
    // Tasks performed one after another: those a check finds due, or those the user asked for.
    struct Pass {
        int id = 0;
        bool check = false;
        bool lookedAt = false;
        QList<int> records;
        qsizetype next = 0;
        std::function<bool(int, int)> beforeTask;
        std::function<void()> done;
        // A task was performed that the task list has not been rebuilt for.
        bool rebuild = false;
        // A check's tasks by record number, and the looks still out.
        QHash<int, CheckedTask> checked;
        int looksOut = 0;
        QString today;
    };

    // The check cycle (checkCycle.cpp).
    void startCheck();
    void lookAtTasks(Pass& pass);
    void looked(int passId, const std::vector<std::pair<int, bool>>& asked,
                const std::optional<std::vector<PathFacts>>& facts);
    static std::optional<qint64> givenNs(const Task& task, const TaskMemory& memory);
    Volume volumeOf(const QString& path) const;
    Volume volumeOf(const QString& path, const std::optional<PathFacts>& found) const;
    bool checkTask(Pass& pass, int recordNumber);
    bool decide(CheckedTask& checked, const QString& today);
    RuleFacts ruleFacts(const CheckedTask& checked, const TaskMemory& memory,
                        const QString& today) const;
    bool readyToCopy(const Task& task, const FileState& source, TaskMemory& memory);
    bool recordedLater(const Task& task, const FileState& source, TaskMemory& memory);
    void writeBaseline(const Task& task, const PathFacts& source);
    void consumeActivationMarker();
    void reportFault(const QString& line);
    void volumeStopped(const QString& volume);
    void volumeAnswers(const QString& volume);

    // Performing (taskEngine.cpp).
    void startPass(Pass pass);
    void walkPasses();
    bool wanted(Pass& pass, qsizetype index);
    void endPass();
    void performNext(int recordNumber, const std::optional<PathFacts>& asked);
    void lookBeforeAsking(const Task& task);
    void begin(Task task, const std::optional<PathFacts>& asked);
    Status decline(const Task& task, const std::optional<PathFacts>& asked);
    Status startTaskCopy(const Task& task, const std::optional<PathFacts>& seen);
    void copyEnded(const Task& task, const std::optional<PathFacts>& seen,
                   const Result<CopiedSource>& copied);
    Status recordCopy(const Task& task, const CopiedSource& copied);
    void failTask(const Task& task, const Status& fault);
    void showPerformed(int recordNumber);
    QString notAnsweringVolume(const Task& task) const;

    EngineHost& m_host;
    FileLooks m_looks;
    RunMemory m_memory;
    std::deque<Pass> m_passes;
    std::function<Volume(const QString&)> m_volumeOf;
    // Numbers the passes so that a look coming back late finds whether its pass is still there.
    int m_lastPass = 0;
    Stage m_stage = Stage::ready;
    int m_current = -1;
    bool m_paused = false;
    bool m_checkAgain = false;
    // Check faults logged and still present; each is logged once for as long as it lasts.
    QSet<QString> m_reportedFaults;
    QSet<QString> m_faultsThisCycle;
    // The volumes not answering, as told in the log.
    QSet<QString> m_silentVolumes;
    std::optional<VolumeTable> m_volumes;
    // The state of a marker that could not be deleted, so that it shows the window only once.
    std::optional<FileState> m_undeletableMarker;
};
