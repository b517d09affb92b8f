#pragma once

#include <QString>

#include <optional>

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

// Answers --help and --version on standard output, and any other option (an argument that
// begins with "-") but Qt's own with an error and the usage on standard error; gives the exit
// code. Gives
// nothing for an ordinary start, which "/startup" or any other argument is. Needs no
// application object, and leaves none behind.
std::optional<int> answerOptions(int argc, char** argv);
