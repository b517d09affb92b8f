#pragma once

#include "modFailureMemory.h"

#include <QList>
#include <QString>

#include <functional>

// What performing a task and the check cycle ask of the main window.
class EngineHost {
public:
    // Tasks are performed for one host at a time: a host that goes away takes along whatever
    // waits to be performed, and a copy under way then ends unrecorded.
    virtual ~EngineHost();
    // The task's own Yes/No question; false only when the user answers No.
    virtual bool confirmTask(const QString& title, const QString& question) = 0;
    // Makes the main window visible, leaving its window state alone.
    virtual void showMainWindow() = 0;
    // Rebuilds the task list; like the window's own, it ends with runCheckCycle.
    virtual void fillTaskList() = 0;
    // A task's performing failed with the one-line reason of the fault: told when it starts
    // failing and when the reason changes, not again at each check that finds it the same.
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

    // Each task's last failure for as long as the host lives; the host forgets a task's when
    // the user changes or deletes it.
    FailureMemory failures;
};

// Performing a task: asks when the task wants it, copies the source over the destination,
// logs and records what was copied. The copy runs on a worker thread and ends from the event
// loop, whatever windows are open meanwhile; tasks are performed one at a time, in turn.
// Performs the task once the tasks before it have been performed.
void performTask(EngineHost& host, int recordNumber);
// Performs the tasks in this order, whatever their rules, as one burst: each shows its new
// state in its own row, and the task list is rebuilt once, at the end. Before each task,
// beforeTask is given its place from 1 and the count, and may skip it by answering false;
// done is called once the last has been performed.
void performTasks(EngineHost& host, const QList<int>& recordNumbers,
                  const std::function<bool(int place, int count)>& beforeTask,
                  const std::function<void()>& done);
// Consumes the activation marker, then, unless tasks are being performed, performs every task
// whose rule says it is due, in the order of the table.
void runCheckCycle(EngineHost& host);
// While paused, a check cycle only answers a second start: no task is performed, and nothing is
// recorded, until the pause ends. Performing a task on the user's command is not held.
void setAutomaticTasksPaused(bool paused);
bool automaticTasksPaused();
// The record number of the task being asked about or copied; -1 when there is none.
int taskBeingCopied();
// Whether tasks are being performed or wait for their turn.
bool performingUnderway();
// The program is ending: the copy under way is stopped and nothing more is performed.
void stopPerforming();
