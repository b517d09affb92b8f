#include "taskTable.h"

#include "modDatabaseBinary.h"
#include "modPaths.h"

#include <array>

namespace {

struct FieldSpec {
    const char* name;
    int width;
};

constexpr std::array<FieldSpec, taskFieldCount> taskSchema = {{
    {TaskField::TaskName, 255},
    {TaskField::LastUpdated, 25},
    {TaskField::SourceFile, 255},
    {TaskField::DestinationFile, 255},
    {TaskField::Rule, 100},
    {TaskField::FileDate, 25},
    {TaskField::FileTime, 10},
    {TaskField::FileVersion, 50},
    {TaskField::ConfirmationOn, 1},
    {TaskField::ConfirmationTitle, 50},
    {TaskField::ConfirmationQuestion, 255},
}};

const QString keyPrefix = QStringLiteral("key");

} // namespace

int taskFieldWidth(int slot) {
    return slot >= 0 && slot < taskFieldCount ? taskSchema[slot].width : 0;
}

void openTaskTable() {
    namespace db = modDatabaseBinary;
    db::databaseFile = applicationFile(QStringLiteral("tasks.dat"));
    db::fieldCount = taskFieldCount;
    for (int slot = 0; slot < db::maxFields; ++slot) {
        const bool inSchema = slot < taskFieldCount;
        db::fieldNames[slot] = inSchema ? QString::fromLatin1(taskSchema[slot].name) : QString();
        db::fieldWidths[slot] = inSchema ? taskSchema[slot].width : 0;
    }
}

QString taskKey(int recordNumber) {
    return keyPrefix + QString::number(recordNumber);
}

int recordNumberOfKey(const QString& key) {
    if (!key.startsWith(keyPrefix))
        return -1;
    bool ok = false;
    const int number = key.mid(keyPrefix.size()).toInt(&ok);
    return ok && number >= 0 ? number : -1;
}
