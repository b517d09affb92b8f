#pragma once

#include <QtGlobal>

#include <atomic>

// Faults the copies meet on request, as a full or failing disk, a failing rename or a process
// out of threads would give them. Only the tests ask for any: the program leaves copyFaults
// empty, and a copy without faults looks at nothing else.
struct CopyFaults {
    // The data copy fails with dataError once it has written this many bytes; negative: never.
    // ENOMEM is met as an allocation that fails.
    std::atomic<qint64> dataAfterBytes = -1;
    std::atomic<int> dataError = 0;
    // The data moves in small chunks, waiting this long after each.
    std::atomic<int> delayPerChunkMs = 0;
    // The rename that puts the copy in place fails with this error number.
    std::atomic<int> renameError = 0;
    // Called once a newer destination is set aside, before the copy takes its place.
    std::atomic<void (*)()> atSetAside = nullptr;
    // Starting a copy on the worker fails with this error number.
    std::atomic<int> workerError = 0;
};

extern std::atomic<CopyFaults*> copyFaults;
