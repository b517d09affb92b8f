#pragma once

#include <QHash>
#include <QString>

// The last failure of each task by its record number, so that a task failing the same way at
// check after check (a stick that is away for a week) is told of once: when it starts failing
// and whenever the reason changes.
class FailureMemory {
public:
    // Remembers the failure as the task's last one; true when it already was.
    bool repeats(int recordNumber, const QString& failure);
    // The task was copied, declined, changed or deleted: its next failure is news again.
    void forget(int recordNumber);

private:
    QHash<int, QString> m_last;
};
