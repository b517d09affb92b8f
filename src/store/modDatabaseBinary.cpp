#include "modDatabaseBinary.h"

#include "mainThread.h"
#include "tableImage.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <vector>

namespace modDatabaseBinary {

QString databaseFile;
int fieldCount = 0;
std::array<QString, maxFields> fieldNames;
std::array<int, maxFields> fieldWidths{};
std::array<QString, maxFields> fieldValues;
QStringList resultList;
int resultCount = 0;

} // namespace modDatabaseBinary

namespace {

namespace db = modDatabaseBinary;

constexpr quint8 flagLive = 0x00;
constexpr quint8 flagDeleted = 0x01;
constexpr int recordNumberSize = 5;
constexpr quint8 fullByte = 0xFF;

TableImage& image() {
    requireMainThread("The task table");
    static TableImage table;
    return table;
}

int slotCount() {
    return std::clamp(db::fieldCount, 0, db::maxFields);
}

std::vector<int> schemaWidths() {
    std::vector<int> widths(slotCount());
    for (int slot = 0; slot < int(widths.size()); ++slot)
        widths[slot] = std::max(db::fieldWidths[slot], 0);
    return widths;
}

// Snapshots open, and whether the image has been brought in line with the file under them.
int snapshotsOpen = 0;
bool snapshotTaken = false;

Status refreshFromFile() {
    return image().refresh(db::databaseFile, schemaWidths());
}

Status refresh() {
    if (snapshotsOpen > 0 && snapshotTaken && image().isImageOf(db::databaseFile, schemaWidths()))
        return Status::success();
    Status status = refreshFromFile();
    snapshotTaken = snapshotsOpen > 0 && status;
    return status;
}

// Writers never touch a damaged file: appending behind the damage would bury it for good.
// A write may find the file changed and drop the image, so the next read looks at the file again.
Status refreshForWriting() {
    snapshotTaken = false;
    Status status = refreshFromFile();
    if (status && image().damageOffset() >= 0)
        return Status::failure(image().damageMessage() + QStringLiteral(" It was left unchanged."));
    return status;
}

// Listers count only cells whose flag is exactly live; fetchers skip only deleted ones.
bool listed(const TableCell& cell) {
    return cell.flag == flagLive;
}
bool fetched(const TableCell& cell) {
    return cell.flag != flagDeleted;
}

int firstFetchedCell(int slot, int recordNumber) {
    const auto& cells = image().cells();
    for (const int index : image().cellsOfRecord(recordNumber)) {
        if (cells[index].field == slot && fetched(cells[index]))
            return index;
    }
    return -1;
}

QString valueOf(const TableCell& cell) {
    return db::unpadValue(image().valueBytes(cell));
}

void startResults() {
    db::resultList.clear();
    db::resultCount = 0;
}

void addResult(const QString& text) {
    db::resultList.append(text);
    ++db::resultCount;
}

int slotWidth(int slot) {
    return std::max(db::fieldWidths[slot], 0);
}

// A padded value for a record: over its first live cell of the slot, else as a new cell.
void stage(TableEdit& edit, int slot, int recordNumber, const QByteArray& encodedNumber,
           const QByteArray& padded) {
    if (const int cell = firstFetchedCell(slot, recordNumber); cell >= 0) {
        edit.values.emplace_back(cell, padded);
        return;
    }
    edit.appended.append(char(slot));
    edit.appended.append(char(flagLive));
    edit.appended.append(encodedNumber);
    edit.appended.append(padded);
}

Result<QByteArray> paddedFor(int slot, const QString& value) {
    const Result<QByteArray> padded = db::padValue(value, slotWidth(slot));
    if (!padded)
        return Status::failure(
            QStringLiteral("%1 is too long: %2 bytes, where at most %3 fit. Nothing was written.")
                .arg(db::fieldNames[slot])
                .arg(value.toUtf8().size())
                .arg(slotWidth(slot)));
    return padded;
}

using PaddedValues = std::vector<std::pair<int, QByteArray>>; // slot, padded value

Result<PaddedValues> paddedValues(const db::FieldList& values) {
    PaddedValues padded;
    for (const auto& [name, value] : values) {
        const int slot = db::fieldIndex(name);
        const Result<QByteArray> bytes = paddedFor(slot, value);
        if (!bytes)
            return bytes.status();
        padded.emplace_back(slot, bytes.value());
    }
    return padded;
}

// Every value of the list reaches the file, or none does.
Status writeSlots(int recordNumber, const db::FieldList& values, db::Flush flush) {
    const Result<QByteArray> encoded = db::encodeRecordNumber(recordNumber);
    if (!encoded)
        return encoded.status();
    const Result<PaddedValues> padded = paddedValues(values);
    if (!padded)
        return padded.status();
    if (Status status = refreshForWriting(); !status)
        return status;
    TableEdit edit;
    for (const auto& [slot, bytes] : padded.value())
        stage(edit, slot, recordNumber, encoded.value(), bytes);
    return image().apply(edit, flush == db::Flush::durable);
}

// The values of a new record; any other live cell left from an earlier use of its number is
// flagged, so that the new record does not take over an old recorded state.
void stageNewRecord(TableEdit& edit, int recordNumber, const PaddedValues& padded) {
    const QByteArray encoded = db::encodeRecordNumber(recordNumber).value();
    const auto first = std::ssize(edit.values);
    for (const auto& [slot, bytes] : padded)
        stage(edit, slot, recordNumber, encoded, bytes);
    const auto& cells = image().cells();
    for (const int index : image().cellsOfRecord(recordNumber)) {
        const bool reused =
            std::any_of(edit.values.begin() + first, edit.values.end(),
                        [index](const auto& value) { return value.first == index; });
        if (fetched(cells[index]) && !reused)
            edit.flags.emplace_back(index, flagDeleted);
    }
}

using NumberSet = std::bitset<db::maxRecordNumber + 1>;

// The numbers of the records the table lists.
NumberSet usedNumbers() {
    NumberSet used;
    for (const TableCell& cell : image().cells()) {
        if (cell.field == 0 && listed(cell))
            used.set(cell.recordNumber);
    }
    return used;
}

Result<int> lowestFree(const NumberSet& used) {
    for (int candidate = 0; candidate <= db::maxRecordNumber; ++candidate) {
        if (!used.test(candidate))
            return candidate;
    }
    return Status::failure(QStringLiteral("There is no free task number: all %1 are in use.")
                               .arg(db::maxRecordNumber + 1));
}

} // namespace

namespace modDatabaseBinary {

ReadSnapshot::ReadSnapshot() {
    ++snapshotsOpen;
}

ReadSnapshot::~ReadSnapshot() {
    if (--snapshotsOpen == 0)
        snapshotTaken = false;
}

int fieldIndex(const QString& name) {
    for (int slot = 0; slot < slotCount(); ++slot) {
        if (fieldNames[slot].compare(name, Qt::CaseInsensitive) == 0)
            return slot;
    }
    return 0;
}

Status readRecord(int recordNumber) {
    for (int slot = 0; slot < slotCount(); ++slot)
        fieldValues[slot].clear();
    if (Status status = refresh(); !status || !image().exists())
        return status;
    const auto& cells = image().cells();
    for (const int index : image().cellsOfRecord(recordNumber)) {
        if (fetched(cells[index]))
            fieldValues[cells[index].field] = image().value(index);
    }
    return Status::success();
}

Result<QString> readField(const QString& name, int recordNumber) {
    if (Status status = refresh(); !status)
        return status;
    if (!image().exists())
        return QString();
    const int cell = firstFetchedCell(fieldIndex(name), recordNumber);
    return cell >= 0 ? image().value(cell) : QString();
}

Status writeField(const QString& name, int recordNumber, const QString& value) {
    return writeSlots(recordNumber, {{name, value}}, Flush::lazy);
}

Status writeFields(int recordNumber, const FieldList& values, Flush flush) {
    return writeSlots(recordNumber, values, flush);
}

Result<std::vector<int>> addRecords(const std::vector<FieldList>& records) {
    std::vector<PaddedValues> padded;
    for (const FieldList& values : records) {
        const Result<PaddedValues> record = paddedValues(values);
        if (!record)
            return record.status();
        padded.push_back(record.value());
    }
    if (Status status = refreshForWriting(); !status)
        return status;
    NumberSet used = usedNumbers();
    std::vector<int> numbers;
    TableEdit edit;
    for (const PaddedValues& record : padded) {
        const Result<int> number = lowestFree(used);
        if (!number)
            return number.status();
        used.set(number.value());
        numbers.push_back(number.value());
        stageNewRecord(edit, number.value(), record);
    }
    if (Status status = image().apply(edit, true); !status)
        return status;
    return numbers;
}

Status deleteField(const QString& name, int recordNumber) {
    if (Status status = refreshForWriting(); !status)
        return status;
    TableEdit edit;
    if (const int cell = firstFetchedCell(fieldIndex(name), recordNumber); cell >= 0)
        edit.flags.emplace_back(cell, flagDeleted);
    return image().apply(edit);
}

Status deleteRecord(int recordNumber) {
    if (Status status = refreshForWriting(); !status)
        return status;
    TableEdit edit;
    const auto& cells = image().cells();
    for (const int index : image().cellsOfRecord(recordNumber)) {
        if (cells[index].field < slotCount() && fetched(cells[index]))
            edit.flags.emplace_back(index, flagDeleted);
    }
    return image().apply(edit, true);
}

Status listRecords() {
    startResults();
    if (Status status = refresh(); !status || !image().exists())
        return status;
    NumberSet seen;
    for (const TableCell& cell : image().cells()) {
        if (cell.field == 0 && listed(cell) && !seen.test(cell.recordNumber)) {
            seen.set(cell.recordNumber);
            addResult(QString::number(cell.recordNumber));
        }
    }
    return Status::success();
}

Result<bool> isListed(int recordNumber) {
    if (Status status = refresh(); !status)
        return status;
    const auto& cells = image().cells();
    const auto& ofRecord = image().cellsOfRecord(recordNumber);
    return image().exists() && std::any_of(ofRecord.begin(), ofRecord.end(), [&](int index) {
               return cells[index].field == 0 && listed(cells[index]);
           });
}

Status listFieldValues(const QString& name) {
    startResults();
    if (Status status = refresh(); !status || !image().exists())
        return status;
    const int slot = fieldIndex(name);
    for (const TableCell& cell : image().cells()) {
        if (cell.field == slot && listed(cell))
            addResult(valueOf(cell));
    }
    return Status::success();
}

Result<int> nextRecordNumber() {
    if (Status status = refresh(); !status)
        return status;
    if (!image().exists())
        return 0;
    return lowestFree(usedNumbers());
}

Status duplicateRecord(int recordNumber) {
    if (Status status = refreshForWriting(); !status)
        return status;
    if (Status status = readRecord(recordNumber); !status)
        return status;
    const Result<int> copy = lowestFree(usedNumbers());
    if (!copy)
        return copy.status();
    // The stored bytes are copied as they are: a value from a foreign file that would not
    // survive decoding and encoding again is kept byte for byte.
    std::vector<int> latest(slotCount(), -1);
    for (const int index : image().cellsOfRecord(recordNumber)) {
        const TableCell& cell = image().cells()[index];
        if (cell.field < slotCount() && fetched(cell))
            latest[cell.field] = index;
    }
    PaddedValues values;
    for (int slot = 0; slot < slotCount(); ++slot) {
        const int cell = latest[slot];
        values.emplace_back(slot, cell >= 0
                                      ? image().valueBytes(image().cells()[cell]).toByteArray()
                                      : QByteArray(slotWidth(slot), '\0'));
    }
    TableEdit edit;
    stageNewRecord(edit, copy.value(), values);
    return image().apply(edit, true);
}

Status checkTable() {
    if (Status status = refresh(); !status)
        return status;
    if (image().exists() && image().damageOffset() >= 0)
        return Status::failure(image().damageMessage());
    return Status::success();
}

Result<QByteArray> padValue(const QString& value, int width) {
    QByteArray bytes = value.toUtf8();
    if (bytes.size() > width)
        return Status::failure(QStringLiteral("A value of %1 bytes does not fit in %2 bytes.")
                                   .arg(bytes.size())
                                   .arg(width));
    bytes.append(width - bytes.size(), '\0');
    return bytes;
}

QString unpadValue(QByteArrayView stored) {
    // Mostly a value followed by nothing but padding: read as it stands, without a copy. The
    // padding is all NULs when each of its bytes equals the next.
    const qsizetype end = stored.indexOf('\0');
    if (end < 0)
        return QString::fromUtf8(stored);
    const QByteArrayView padding = stored.sliced(end);
    if (std::memcmp(padding.data(), padding.data() + 1, size_t(padding.size() - 1)) == 0)
        return QString::fromUtf8(stored.first(end));
    QByteArray bytes(stored.size(), Qt::Uninitialized);
    const auto kept = std::remove_copy(stored.begin(), stored.end(), bytes.begin(), '\0');
    bytes.truncate(kept - bytes.begin());
    return QString::fromUtf8(bytes);
}

Result<QByteArray> encodeRecordNumber(int recordNumber) {
    if (recordNumber < 0 || recordNumber > maxRecordNumber)
        return Status::failure(
            QStringLiteral("Task number %1 cannot be stored: task numbers go from 0 to %2.")
                .arg(recordNumber)
                .arg(maxRecordNumber));
    QByteArray bytes;
    int rest = recordNumber;
    while (rest > 255) {
        bytes.append(char(fullByte));
        rest -= 255;
    }
    bytes.append(char(rest));
    bytes.append(recordNumberSize - bytes.size(), '\0');
    return bytes;
}

int decodeRecordNumber(const QByteArray& encoded) {
    int sum = 0;
    for (int i = 0; i < std::min<int>(encoded.size(), recordNumberSize); ++i)
        sum += quint8(encoded[i]);
    return sum;
}

} // namespace modDatabaseBinary
