#pragma once

// What the pieces of the copy share: the copy under way, its faults and its failure lines.

#include "copyFaults.h"
#include "modFileCopy.h"

#include <QString>

#include <atomic>
#include <optional>

// What one copy is given and what it moves, shared by the thread that runs it and the one that
// watches its progress.
struct CopyJob {
    QString source;
    QString destination;
    NewerDestination newer = NewerDestination::replace;
    std::optional<qint64> givenNs;
    quint64 burst = 0;
    std::atomic<qint64> total = 0;
    std::atomic<qint64> moved = 0;
};

// Set once the program is ending; the copy looks at it between chunks and before it puts its
// file in place.
bool copyCancelled();

// Not error numbers: the source was written to while its data was read; it grew past the room
// its destination's volume has.
constexpr int sourceChangedError = -1;
constexpr int sourceOutgrewRoomError = -2;

// The one-line description of an error number, or of the two above.
QString errorDescription(int error);
inline Status errnoFailure(int error) {
    return Status::failure(errorDescription(error));
}

// The faults a test asked for; nullptr in the program.
inline CopyFaults* faults() {
    return copyFaults.load();
}

// The copy of this platform, on the calling thread.
Result<CopiedSource> copyOneFile(CopyJob& job);
