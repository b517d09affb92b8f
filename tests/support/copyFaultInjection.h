#pragma once

#include "copyFaults.h"

// The faults the copies meet from now on, as a full or failing disk, a failing rename or a
// process out of threads would give them; zero or negative values switch each off.
inline CopyFaults& injectedCopyFaults() {
    static CopyFaults faults;
    copyFaults = &faults;
    return faults;
}

// The data copy fails with the error number once it has written afterBytes bytes (ENOMEM: as
// an allocation that fails); a negative count switches it off.
inline void injectCopyFault(qint64 afterBytes, int errorNumber) {
    injectedCopyFaults().dataAfterBytes = afterBytes;
    injectedCopyFaults().dataError = errorNumber;
}
// The data moves in small chunks, waiting this long after each.
inline void injectCopyDelay(int millisecondsPerChunk) {
    injectedCopyFaults().delayPerChunkMs = millisecondsPerChunk;
}
// Starting a copy on the worker fails with the error number, as a process out of threads would.
inline void injectWorkerFault(int errorNumber) {
    injectedCopyFaults().workerError = errorNumber;
}
// The rename that puts a finished copy in place fails with the error number; atSetAside is
// called just before it, once a newer destination is set aside.
inline void injectRenameFault(int errorNumber, void (*atSetAside)() = nullptr) {
    injectedCopyFaults().renameError = errorNumber;
    injectedCopyFaults().atSetAside = atSetAside;
}
