#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

// Date and time as the user's locale writes them (QLocale()), for the log, the task table and
// the file probes. Each text reads back into the same value with the same locale.

// The short date format with a four-digit year.
QString dateText(const QDate& date);
// The time format with seconds; "HH:mm:ss" when the locale's text could exceed 10 bytes.
QString timeText(const QTime& time);

std::optional<QDate> readDateText(const QString& text);
std::optional<QTime> readTimeText(const QString& text);
