#include "modFailureMemory.h"

bool FailureMemory::repeats(int recordNumber, const QString& failure) {
    if (m_last.value(recordNumber) == failure)
        return true;
    m_last.insert(recordNumber, failure);
    return false;
}

void FailureMemory::forget(int recordNumber) {
    m_last.remove(recordNumber);
}
