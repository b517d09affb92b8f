#pragma once

#include <QString>

// What performing a task and the check cycle ask of the main window.
class EngineHost {
public:
    virtual ~EngineHost() = default;
    // The task's own Yes/No question; false only when the user answers No.
    virtual bool confirmTask(const QString& title, const QString& question) = 0;
    // Makes the main window visible, leaving its window state alone.
    virtual void showMainWindow() = 0;
    // Rebuilds the task list; like the window's own, it ends with runCheckCycle.
    virtual void fillTaskList() = 0;
    // How performing a task ended: without a fault (copied, or declined by the user), or
    // with the one-line reason of the fault.
    virtual void taskPerformed(int /*recordNumber*/) {}
    virtual void taskFailed(int /*recordNumber*/, const QString& /*name*/,
                            const QString& /*reason*/) {}
    // Shows a performed task's new state in its own row while a burst of performing puts the
    // rebuild off.
    virtual void showPerformedTask(int recordNumber) { (void)recordNumber; }
    // The progress of a copy that runs longer than about a second, in percent; a negative
    // percentage once such a copy has ended.
    virtual void showCopyProgress(const QString& taskName, int percent) {
        (void)taskName;
        (void)percent;
    }
};

// While one lives, performing a task shows only that task's new state, and the rebuild of the
// task list with its check cycle runs once, when the last burst ends.
class PerformingBurst {
public:
    explicit PerformingBurst(EngineHost& host);
    ~PerformingBurst();
    PerformingBurst(const PerformingBurst&) = delete;
    PerformingBurst& operator=(const PerformingBurst&) = delete;

private:
    EngineHost& m_host;
};

// Asks when the task wants it, copies the source over the destination, logs and records it.
void performTask(EngineHost& host, int recordNumber);
// Consumes the activation marker, then performs every task whose rule says it is due.
// Returns at once when a cycle is already running.
void runCheckCycle(EngineHost& host);
// While paused, a check cycle only answers a second start: no task is performed, and nothing is
// recorded, until the pause ends. Performing a task on the user's command is not held.
void setAutomaticTasksPaused(bool paused);
bool automaticTasksPaused();
// The record number of the task whose file is being copied; -1 when no copy runs.
int taskBeingCopied();
