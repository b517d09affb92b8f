#pragma once

#include <QString>

// Where the action log's lines are shown (the main window's list); newest line on top.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void insertLogLine(const QString& line) = 0;
};

// The sink in use; nullptr (the default) shows the lines nowhere.
void setLogSink(LogSink* sink);

// One timestamped line in the action log list and, when switched on, the log file.
// Never fails its caller.
void logAction(const QString& message);
