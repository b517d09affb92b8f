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
// Writes all the values as one edit: the file takes all of them or, on any failure, none.
Status writeFields(int recordNumber, const FieldList& values);
Status deleteField(const QString& name, int recordNumber);
Status deleteRecord(int recordNumber);
Status listRecords();
Status listFieldValues(const QString& name);
Result<int> nextRecordNumber();
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
