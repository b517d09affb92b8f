#pragma once

#include <QDate>
#include <QDateTime>

// The source of "now" for the log, the daily rule and the last-update date.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const;
};

// The clock in use: the system's unless a test put another in place.
const Clock& currentClock();
// Puts a clock in place; nullptr restores the system clock. The clock must outlive its use.
void setClock(const Clock* clock);

QDateTime currentDateTime();
QDate today();
