#pragma once

#include <QString>

// The fields of a task, in slot order.
namespace TaskField {
inline constexpr char TaskName[] = "TaskName";
inline constexpr char LastUpdated[] = "LastUpdated";
inline constexpr char SourceFile[] = "SourceFile";
inline constexpr char DestinationFile[] = "DestinationFile";
inline constexpr char Rule[] = "Rule";
inline constexpr char FileDate[] = "FileDate";
inline constexpr char FileTime[] = "FileTime";
inline constexpr char FileVersion[] = "FileVersion";
inline constexpr char ConfirmationOn[] = "ConfirmationOn";
inline constexpr char ConfirmationTitle[] = "ConfirmationTitle";
inline constexpr char ConfirmationQuestion[] = "ConfirmationQuestion";
} // namespace TaskField

// Slot numbers of the task schema, for reading fieldValues after readRecord.
enum TaskSlot {
    slotTaskName,
    slotLastUpdated,
    slotSourceFile,
    slotDestinationFile,
    slotRule,
    slotFileDate,
    slotFileTime,
    slotFileVersion,
    slotConfirmationOn,
    slotConfirmationTitle,
    slotConfirmationQuestion,
    taskFieldCount
};

// The byte width of a task field, by slot.
int taskFieldWidth(int slot);

// Points the store at tasks.dat in the application folder with the task schema.
// Neither opens nor creates the file.
void openTaskTable();

// The task list's item key for a record number ("key" + number), and back (-1 when malformed).
QString taskKey(int recordNumber);
int recordNumberOfKey(const QString& key);
