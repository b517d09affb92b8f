#include "tableImage.h"

#include "modClock.h"
#include "modDatabaseBinary.h"
#include "modTidewell.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QDateTime>
#endif

namespace {

constexpr int cellHeaderSize = 7;
constexpr qint64 nsPerSecond = 1000000000;
// A write lands in the same time stamp as the previous one when both fall within one tick of
// the clock that stamps files: at most 10 ms on Linux, about 16 ms on Windows, up to two seconds
// on file systems that keep whole (or even) seconds. The margins are twice that.
#ifdef Q_OS_LINUX
constexpr qint64 fineTickMarginNs = 20 * 1000000LL;
#else
constexpr qint64 fineTickMarginNs = 40 * 1000000LL;
#endif
constexpr qint64 coarseTickMarginNs = 2500 * 1000000LL;

qint64 nowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

struct FileState {
    bool exists = false;
    FileIdentity identity;
    QString error; // non-empty when the file's state could not be found out
};

#ifdef Q_OS_UNIX
qint64 toNs(const timespec& time) {
    return qint64(time.tv_sec) * nsPerSecond + time.tv_nsec;
}

QString errnoReason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

FileState stateOf(const struct stat& info) {
    FileState state;
    if (!S_ISREG(info.st_mode)) {
        state.error = QStringLiteral("it is not a plain file");
        return state;
    }
    state.exists = true;
    state.identity.size = info.st_size;
    state.identity.modifiedNs = toNs(info.st_mtim);
    state.identity.changedNs = toNs(info.st_ctim);
    state.identity.inode = info.st_ino;
    state.identity.device = info.st_dev;
    return state;
}

FileState fileState(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return stateOf(info);
    FileState state;
    if (errno != ENOENT && errno != ENOTDIR)
        state.error = errnoReason();
    return state;
}

// The state of the file just written, through its own handle.
FileState openFileState(QFile& file) {
    struct stat info {};
    if (::fstat(file.handle(), &info) == 0)
        return stateOf(info);
    return {};
}

// The file's data on the disk; empty when it is, else why not.
QString flushData(QFile& file) {
#ifdef Q_OS_LINUX
    const int synced = ::fdatasync(file.handle());
#else
    const int synced = ::fsync(file.handle());
#endif
    return synced == 0 ? QString() : errnoReason();
}

// A new file's name in its folder reaches the disk only with the folder.
void flushFolderOf(const QString& path) {
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}
#else
qint64 toNs(const QDateTime& time) {
    return time.toMSecsSinceEpoch() * 1000000LL;
}

FileState fileState(const QString& path) {
    FileState state;
    const QFileInfo info(path);
    if (!info.exists())
        return state;
    if (!info.isFile()) {
        state.error = QStringLiteral("it is not a plain file");
        return state;
    }
    state.exists = true;
    state.identity.size = info.size();
    state.identity.modifiedNs = toNs(info.lastModified());
    state.identity.changedNs = toNs(info.metadataChangeTime());
    return state;
}

FileState openFileState(QFile& file) {
    return fileState(file.fileName());
}

QString flushData(QFile& file) {
    return file.flush() ? QString() : file.errorString();
}

void flushFolderOf(const QString&) {}
#endif

QString ioReason(const QFile& file) {
    return file.errorString();
}

// Writes every byte; a short write is followed by another, which reports why it stopped.
bool writeAll(QFile& file, const QByteArray& bytes) {
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 count = file.write(bytes.constData() + done, bytes.size() - done);
        if (count <= 0)
            return false;
        done += count;
    }
    return true;
}

int recordNumberAt(const quint8* bytes) {
    return bytes[0] + bytes[1] + bytes[2] + bytes[3] + bytes[4];
}

} // namespace

namespace {

// How long after a time stamp a write may still land in the same tick of the file's clock.
qint64 tickMargin(qint64 modifiedNs) {
    const bool wholeSeconds = modifiedNs % nsPerSecond == 0;
    return wholeSeconds ? coarseTickMarginNs : fineTickMarginNs;
}

} // namespace

bool mayHaveChangedUnseen(qint64 modifiedNs, qint64 capturedNs) {
    return modifiedNs + tickMargin(modifiedNs) >= capturedNs;
}

const std::vector<int>& TableImage::cellsOfRecord(int recordNumber) const {
    static const std::vector<int> none;
    if (recordNumber < 0 || recordNumber >= int(m_byRecord.size()))
        return none;
    return m_byRecord[recordNumber];
}

QByteArrayView TableImage::valueBytes(const TableCell& cell) const {
    return QByteArrayView(m_bytes).sliced(cell.offset + cellHeaderSize, widthOf(cell.field));
}

const QString& TableImage::value(int index) const {
    std::optional<QString>& decoded = m_values[index];
    if (!decoded)
        decoded = modDatabaseBinary::unpadValue(valueBytes(m_cells[index]));
    return *decoded;
}

QString TableImage::damageMessage() const {
    return QStringLiteral("The task file %1 is damaged at byte %2: %3.")
        .arg(m_path)
        .arg(m_damageOffset)
        .arg(m_damageReason);
}

void TableImage::forget() {
    m_loaded = false;
    m_exists = false;
    m_bytes.clear();
    m_cells.clear();
    m_values.clear();
    m_byRecord.clear();
    m_damageOffset = -1;
    m_damageReason.clear();
}

Status TableImage::refresh(const QString& path, const std::vector<int>& widths) {
    const qint64 startedNs = nowNs();
    if (path != m_path) {
        forget();
        m_path = path;
    }
    const FileState state = fileState(path);
    if (!state.error.isEmpty()) {
        forget();
        return Status::failure(
            QStringLiteral("Could not read the task file %1: %2.").arg(path, state.error));
    }
    if (!state.exists) {
        forget();
        m_widths = widths;
        return Status::success();
    }
    const bool schemaChanged = widths != m_widths;
    m_widths = widths;
    // Another write within the tick of the file's time stamp would leave no trace but in the
    // bytes. Right after this program's own write that tick is let pass, then one read
    // confirms that no one else wrote within it; so a run of writes reads the file once.
    const bool writtenHereJustNow =
        m_ownWrite && startedNs <= m_capturedNs + tickMargin(m_identity.modifiedNs);
    if (m_loaded && state.identity == m_identity &&
        (writtenHereJustNow || !mayHaveChangedUnseen(m_identity.modifiedNs, m_capturedNs))) {
        if (schemaChanged)
            parse();
        return Status::success();
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        forget();
        return Status::failure(
            QStringLiteral("Could not read the task file %1: %2.").arg(path, ioReason(file)));
    }
    // One block read into a buffer kept between reads: a file that turns out unchanged costs
    // no allocation and keeps its parsed cells.
    m_scratch.resize(file.size());
    const qint64 got = file.read(m_scratch.data(), m_scratch.size());
    if (got < 0) {
        forget();
        return Status::failure(
            QStringLiteral("Could not read the task file %1: %2.").arg(path, ioReason(file)));
    }
    m_scratch.resize(got);
    const bool sameContent = m_loaded && m_scratch == m_bytes;
    if (!sameContent)
        m_bytes.swap(m_scratch);
    m_identity = state.identity;
    m_capturedNs = startedNs;
    m_ownWrite = false;
    m_loaded = true;
    m_exists = true;
    if (!sameContent || schemaChanged) {
        parse();
        repairTornTail();
    }
    return Status::success();
}

void TableImage::parse() {
    m_cells.clear();
    m_values.clear();
    m_byRecord.clear();
    m_damageOffset = -1;
    m_damageReason.clear();
    parseFrom(0);
}

// A field index without a slot in the schema has width 0: its cell is the header alone.
int TableImage::widthOf(int field) const {
    return field < int(m_widths.size()) ? m_widths[field] : 0;
}

void TableImage::parseFrom(qint64 offset) {
    if (m_byRecord.empty())
        m_byRecord.assign(modDatabaseBinary::maxRecordNumber + 1, {});
    const auto* data = reinterpret_cast<const quint8*>(m_bytes.constData());
    const qint64 size = m_bytes.size();
    while (offset < size) {
        const int field = data[offset];
        if (size - offset < cellHeaderSize + widthOf(field)) {
            m_damageOffset = offset;
            m_damageReason = QStringLiteral("the file ends in the middle of a cell");
            return;
        }
        TableCell cell;
        cell.offset = offset;
        cell.field = field;
        cell.flag = data[offset + 1];
        cell.recordNumber = recordNumberAt(data + offset + 2);
        m_byRecord[cell.recordNumber].push_back(int(m_cells.size()));
        m_cells.push_back(cell);
        m_values.emplace_back();
        offset += cellHeaderSize + widthOf(field);
    }
}

// A cell as this program writes it: a slot of the schema, a flag of 0x00 or 0x01, the one
// encoding of its record number, and a value whose NULs all stand at its end.
bool TableImage::isCellAsWritten(const TableCell& cell) const {
    if (cell.field >= int(m_widths.size()) || cell.flag > 0x01)
        return false;
    const Result<QByteArray> number = modDatabaseBinary::encodeRecordNumber(cell.recordNumber);
    if (!number || QByteArrayView(m_bytes).sliced(cell.offset + 2, 5) != number.value())
        return false;
    const QByteArrayView value = valueBytes(cell);
    const qsizetype end = value.indexOf('\0');
    return end < 0 || std::all_of(value.begin() + end, value.end(), [](char c) { return !c; });
}

// Where a tail begins that no finished write can have left: a last cell cut short, or zero
// bytes after the last cell that holds any other byte (a cell of zeros alone would be an empty
// name of task 0, which is never written). Zeros that start on a disk block boundary inside
// that cell and run on past it are a block that never reached the disk: the cell goes too,
// rather than keep a value cut short, such as a shorter destination path. -1 when there is no
// such tail, and when a cell before it is not one this program writes: the walk may then have
// lost step at damage further up.
qint64 TableImage::tornTailOffset() const {
    constexpr qint64 diskBlock = 512;
    const qint64 size = m_bytes.size();
    qint64 zeros = size; // where the zeros at the end begin
    while (zeros > 0 && m_bytes[zeros - 1] == '\0')
        --zeros;
    qint64 cut = m_damageOffset >= 0 ? m_damageOffset : size;
    if (zeros <= cut) {
        auto cell = m_cells.rbegin();
        while (cell != m_cells.rend() && cell->offset >= zeros)
            ++cell;
        const qint64 start = cell == m_cells.rend() ? 0 : cell->offset;
        const qint64 end =
            cell == m_cells.rend() ? 0 : start + cellHeaderSize + widthOf(cell->field);
        cut = end < size && zeros < end && zeros % diskBlock == 0 ? start : end;
    }
    if (cut == size || quint8(m_bytes[cut]) >= m_widths.size() ||
        (size - cut > 1 && quint8(m_bytes[cut + 1]) > 0x01))
        return -1;
    for (const TableCell& cell : m_cells) {
        if (cell.offset >= cut)
            break;
        if (!isCellAsWritten(cell))
            return -1;
    }
    return cut;
}

// A torn tail is cut off before anything else touches the file, the file as found kept beside
// it under a name that says what it is and when.
void TableImage::repairTornTail() {
    const qint64 cut = tornTailOffset();
    if (cut < 0)
        return;
    const QString kept =
        m_path + currentDateTime().toString(QStringLiteral("'.damaged-'yyyyMMdd-HHmmss"));
    if (Status status = cutTo(cut, kept); !status) {
        logAction(QStringLiteral("The task file %1 ends in a write that never finished, and it "
                                 "could not be cut back: %2")
                      .arg(m_path, status.message()));
        return;
    }
    logAction(QStringLiteral("The task file %1 ended in a write that never finished. It was cut "
                             "back to its last whole entry at byte %2; the file as it was is "
                             "kept as %3.")
                  .arg(m_path)
                  .arg(cut)
                  .arg(kept));
}

Status TableImage::cutTo(qint64 offset, const QString& keptPath) {
    const qint64 startedNs = nowNs();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return writeFailure(ioReason(file));
    if (file.size() != m_bytes.size())
        return writeFailure(QStringLiteral("it was changed by another program meanwhile"));
    // The copy is on the disk before a byte of the file goes.
    QFile kept(keptPath);
    if (!kept.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return writeFailure(ioReason(kept));
    QString reason = writeAll(kept, m_bytes) ? flushData(kept) : ioReason(kept);
    if (!reason.isEmpty()) {
        kept.remove();
        return writeFailure(reason);
    }
    flushFolderOf(keptPath);
    if (!file.resize(offset)) {
        reason = ioReason(file);
        kept.remove();
        return writeFailure(reason);
    }
    if (reason = flushData(file); !reason.isEmpty())
        return writeFailure(reason);
    m_bytes.truncate(offset);
    parse();
    m_identity = openFileState(file).identity;
    m_capturedNs = startedNs;
    m_ownWrite = true;
    return Status::success();
}

Status TableImage::writeFailure(const QString& reason) const {
    return Status::failure(
        QStringLiteral("Could not write the task file %1: %2.").arg(m_path, reason));
}

Status TableImage::apply(const TableEdit& edit, bool durable) {
    std::vector<Patch> patches;
    for (const auto& [index, value] : edit.values)
        patches.emplace_back(m_cells[index].offset + cellHeaderSize, value);
    for (const auto& [index, flag] : edit.flags)
        patches.emplace_back(m_cells[index].offset + 1, QByteArray(1, char(flag)));
    if (patches.empty() && edit.appended.isEmpty())
        return Status::success();
    patches = joinedPatches(patches);
    const qint64 startedNs = nowNs();
    FileIdentity written;
    if (Status status = write(patches, edit.appended, durable, written); !status)
        return status;

    for (const auto& [offset, bytes] : patches)
        m_bytes.replace(offset, bytes.size(), bytes);
    for (const auto& [index, value] : edit.values)
        m_values[index].reset();
    for (const auto& [index, flag] : edit.flags)
        m_cells[index].flag = flag;
    const qint64 oldSize = m_bytes.size();
    m_bytes.append(edit.appended);
    parseFrom(oldSize);

    if (written.size != m_bytes.size()) {
        forget();
        return Status::success();
    }
    m_identity = written;
    m_capturedNs = startedNs;
    m_ownWrite = true;
    m_loaded = true;
    m_exists = true;
    return Status::success();
}

// Patches a few cells apart become one patch over the span they cover, the bytes between them
// as the image holds them: the fields a copy records lie together, and go in one write.
std::vector<TableImage::Patch> TableImage::joinedPatches(const std::vector<Patch>& patches) const {
    constexpr qint64 widestGap = 512;
    std::vector<std::pair<qint64, qint64>> spans; // start, end
    for (const auto& [offset, bytes] : patches)
        spans.emplace_back(offset, offset + bytes.size());
    std::sort(spans.begin(), spans.end());
    std::vector<Patch> joined;
    for (auto span = spans.begin(); span != spans.end();) {
        const qint64 start = span->first;
        qint64 end = span->second;
        for (++span; span != spans.end() && span->first - end <= widestGap; ++span)
            end = std::max(end, span->second);
        QByteArray bytes = m_bytes.mid(start, end - start);
        // In the order given, so that a later value for the same bytes wins, as it would.
        for (const auto& [offset, value] : patches) {
            if (offset >= start && offset < end)
                bytes.replace(offset - start, value.size(), value);
        }
        joined.emplace_back(start, bytes);
    }
    return joined;
}

Status TableImage::write(const std::vector<Patch>& patches, const QByteArray& appended,
                         bool durable, FileIdentity& written) {
    const bool creating = !m_exists;
    QFile file(m_path);
    // ReadWrite never truncates, and creates the file when it is missing. Unbuffered, so that
    // nothing is left in a buffer to reach the file after a failure has been undone.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return writeFailure(ioReason(file));
    if (file.size() != m_bytes.size()) {
        forget();
        return writeFailure(QStringLiteral("it was changed by another program meanwhile"));
    }
    // The end first: a disk that is full is found out before any cell has been changed.
    bool done = appended.isEmpty() || (file.seek(m_bytes.size()) && writeAll(file, appended));
    for (auto patch = patches.begin(); done && patch != patches.end(); ++patch)
        done = file.seek(patch->first) && writeAll(file, patch->second);
    QString reason = done ? QString() : ioReason(file);
    if (done && durable)
        reason = flushData(file);
    if (!reason.isEmpty()) {
        undo(file, patches);
        forget();
        return writeFailure(reason);
    }
    if (durable && creating)
        flushFolderOf(m_path);
    written = openFileState(file).identity;
    return Status::success();
}

// Puts back the bytes the image holds for every patch and cuts off whatever was appended.
void TableImage::undo(QFile& file, const std::vector<Patch>& patches) {
    for (const auto& [offset, bytes] : patches) {
        if (file.seek(offset))
            writeAll(file, m_bytes.mid(offset, bytes.size()));
    }
    file.resize(m_bytes.size());
    file.close();
    if (!m_exists)
        file.remove();
}
