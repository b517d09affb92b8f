#include "modBusySource.h"

#include "modClock.h"

#include <QHash>

namespace busySource {

namespace {

// Since when each waiting task has been due, with the source it waits for: a task deleted while
// it waits leaves its entry to a new task with the same number, which must start afresh.
struct Wait {
    QString source;
    qint64 since = 0;
};
QHash<int, Wait> waits;

} // namespace

bool waitedLongEnough(int recordNumber, const QString& source) {
    const qint64 now = currentDateTime().toMSecsSinceEpoch();
    const auto wait = waits.constFind(recordNumber);
    // A clock set back starts the wait again rather than stretching it.
    if (wait == waits.cend() || wait->source != source || wait->since > now) {
        waits.insert(recordNumber, {source, now});
        return false;
    }
    if (now - wait->since < busyWaitLimit)
        return false;
    waits.remove(recordNumber);
    return true;
}

void forget(int recordNumber) {
    waits.remove(recordNumber);
}

} // namespace busySource
