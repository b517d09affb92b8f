#include "modClock.h"

namespace {
const Clock systemClock;
const Clock* activeClock = &systemClock;
} // namespace

QDateTime Clock::now() const {
    return QDateTime::currentDateTime();
}

const Clock& currentClock() {
    return *activeClock;
}

void setClock(const Clock* clock) {
    activeClock = clock ? clock : &systemClock;
}

QDateTime currentDateTime() {
    return activeClock->now();
}

QDate today() {
    return currentDateTime().date();
}
