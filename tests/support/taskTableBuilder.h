#pragma once

#include "modDatabaseBinary.h"
#include "taskTable.h"
#include "testHome.h"

#include <QString>
#include <QTest>

inline const QString manualRule = QStringLiteral("Only when I select to perform the task");

// Writes a task straight into tasks.dat, as another copy of the program would. A question
// switches the confirmation on.
inline void storeTask(int recordNumber, const QString& name, const QString& source,
                      const QString& destination, const QString& rule = manualRule,
                      const QString& question = QString()) {
    namespace db = modDatabaseBinary;
    const QList<std::pair<const char*, QString>> fields = {
        {TaskField::TaskName, name},
        {TaskField::SourceFile, source},
        {TaskField::DestinationFile, destination},
        {TaskField::Rule, rule},
        {TaskField::ConfirmationOn, question.isEmpty() ? "0" : "1"},
        {TaskField::ConfirmationQuestion, question}};
    for (const auto& [field, value] : fields)
        QVERIFY2(db::writeField(field, recordNumber, value).ok(), field);
}

// The bytes of tasks.dat as they are on disk, empty when there is none.
inline QByteArray taskTableBytes() {
    return fileContents(modDatabaseBinary::databaseFile);
}
