#pragma once

#include <QString>

// A due task waits for its source to be quiet for a second, so that a file still being written
// is not copied half-way; a source written to without such a pause is copied as it stands once
// its task has waited busyWaitLimit. The copy replaces the destination at once, whole, and the
// next change copies it again.
namespace busySource {

constexpr qint64 busyWaitLimit = 30000;

// Whether the due task, whose source is still being written, has waited long enough. The first
// call for a task starts its wait; the call that says yes ends it.
bool waitedLongEnough(int recordNumber, const QString& source);
// Ends the task's wait: it is not due, or it is copied because its source is quiet.
void forget(int recordNumber);

} // namespace busySource
