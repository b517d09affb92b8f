#pragma once

#include "fileState.h"
#include "modDatabaseBinary.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <optional>

struct Task;

// What this run knows of one task beyond its stored fields. It holds for the task's source and
// destination as they were when it was learnt: a task given other files starts afresh, and so
// does one that is edited, renamed or deleted.
struct TaskMemory {
    QString source;
    QString destination;
    // The source as this run last copied it, asked about it or first found it.
    std::optional<FileState> lastSeen;
    // The moment the last copy gave the destination, in nanoseconds since the epoch.
    std::optional<qint64> givenNs;
    // A copy whose record could not be written: the fields still to write, for the source state
    // that was copied.
    std::optional<modDatabaseBinary::FieldList> unrecorded;
    // The failure last told of, so that a task failing the same way at check after check is
    // told of once: when it starts failing and whenever the reason changes.
    QString lastFailure;
    // A source that is one of the program's own files as the program's own writes left it after
    // its copy (the log line, the record): not a change to copy again.
    std::optional<FileState> ownWritesAt;
    // A failure that every try meets again until the source changes, with the source it met.
    std::optional<FileState> lastingAt;
    // Since when, in milliseconds since the epoch, the due task has waited for its source to be
    // quiet.
    std::optional<qint64> busySince;
};

class RunMemory {
public:
    // The task's memory, started afresh when the task names other files than it remembers.
    TaskMemory& of(const Task& task);
    // Whatever is remembered of the task, or nothing.
    const TaskMemory* find(int recordNumber) const;
    void forget(int recordNumber);
    void clear() { m_tasks.clear(); }

private:
    QHash<int, TaskMemory> m_tasks;
};
