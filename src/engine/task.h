#pragma once

#include "Status.h"

#include <QString>

// One task as the table holds it, read once for everything a check or a performing wants of it.
struct Task {
    int recordNumber = -1;
    QString name;
    QString lastUpdated;
    QString source;
    QString destination;
    QString rule;
    QString fileDate;
    QString fileTime;
    QString fileVersion;
    bool confirmationOn = false;
    QString confirmationTitle;
    QString confirmationQuestion;
};

// Reads the task from the table.
Result<Task> readTask(int recordNumber);
