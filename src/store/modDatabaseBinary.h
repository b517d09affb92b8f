#pragma once

#include "Status.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <utility>
#include <vector>

// A single-file record store: one cell per stored field value, updated in place, appended,
// and deleted by a flag. The schema is set by the caller before the first operation.
namespace modDatabaseBinary {

inline constexpr int maxFields = 256;
inline constexpr int maxRecordNumber = 1275;
inline constexpr int maxResults = 10001;

// Module state, set and read directly by the callers.
extern QString databaseFile;
extern int fieldCount;
extern std::array<QString, maxFields> fieldNames;
extern std::array<int, maxFields> fieldWidths;
extern std::array<QString, maxFields> fieldValues;
extern QStringList resultList;
extern int resultCount;

// First slot whose name matches (case-insensitively); 0 when none does.
int fieldIndex(const QString& name);

Status readRecord(int recordNumber);
Result<QString> readField(const QString& name, int recordNumber);
Status writeField(const QString& name, int recordNumber, const QString& value);
// Field names with their values for one record, written in this order.
using FieldList = std::vector<std::pair<QString, QString>>;
// Whether a write is on the disk before it returns: what the user saves must be; what a copy
// or a check records need not, as losing it costs one more copy at most.
enum class Flush { lazy, durable };
// Writes all the values as one edit: the file takes all of them or, on any failure, none.
Status writeFields(int recordNumber, const FieldList& values, Flush flush = Flush::lazy);
// New records, each under the lowest number free at its turn, written as one durable edit;
// gives their numbers in order. Cells left live from an earlier use of a number are written
// over or flagged, so a new record inherits nothing.
Result<std::vector<int>> addRecords(const std::vector<FieldList>& records);
Status deleteField(const QString& name, int recordNumber);
// Flags every live cell of the record, as one durable edit.
Status deleteRecord(int recordNumber);
// Lists each record number once, where its first live slot-0 cell stands.
Status listRecords();
// Whether listRecords would list the record number, without listing the others.
Result<bool> isListed(int recordNumber);
Status listFieldValues(const QString& name);
Result<int> nextRecordNumber();
// Copies every field into a new record as addRecords does, as one durable edit.
Status duplicateRecord(int recordNumber);

// While one lives, reads take the table file as the first read under it found it, without
// looking at the file again; writes still check the file first and keep the image in step.
// The check cycle holds one while it reads its tasks, so a cycle looks at the file once.
class ReadSnapshot {
public:
    ReadSnapshot();
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
};

// Whether the table file is whole; a failure names the file and where the damage starts.
Status checkTable();

// The value's bytes followed by NULs up to the width; a failure when it does not fit.
Result<QByteArray> padValue(const QString& value, int width);
QString unpadValue(QByteArrayView stored);
// Five bytes for 0..maxRecordNumber; a failure above that.
Result<QByteArray> encodeRecordNumber(int recordNumber);
int decodeRecordNumber(const QByteArray& encoded);

} // namespace modDatabaseBinary
