#include "task.h"

#include "modDatabaseBinary.h"
#include "taskTable.h"

namespace db = modDatabaseBinary;

Result<Task> readTask(int recordNumber) {
    if (Status read = db::readRecord(recordNumber); !read)
        return read;
    const auto& field = db::fieldValues;
    Task task;
    task.recordNumber = recordNumber;
    task.name = field[slotTaskName];
    task.lastUpdated = field[slotLastUpdated];
    task.source = field[slotSourceFile];
    task.destination = field[slotDestinationFile];
    task.rule = field[slotRule];
    task.fileDate = field[slotFileDate];
    task.fileTime = field[slotFileTime];
    task.fileVersion = field[slotFileVersion];
    task.confirmationOn =
        field[slotConfirmationOn].compare(QLatin1String("1"), Qt::CaseInsensitive) == 0;
    task.confirmationTitle = field[slotConfirmationTitle];
    task.confirmationQuestion = field[slotConfirmationQuestion];
    return task;
}
