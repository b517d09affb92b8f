#include "tableImage.h"

#include "modDatabaseBinary.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
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

FileState fileState(const QString& path) {
    FileState state;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            state.error = QString::fromLocal8Bit(std::strerror(errno));
        return state;
    }
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

bool mayHaveChangedUnseen(qint64 modifiedNs, qint64 capturedNs) {
    const bool wholeSeconds = modifiedNs % nsPerSecond == 0;
    const qint64 margin = wholeSeconds ? coarseTickMarginNs : fineTickMarginNs;
    return modifiedNs + margin >= capturedNs;
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
    if (m_loaded && state.identity == m_identity &&
        !mayHaveChangedUnseen(m_identity.modifiedNs, m_capturedNs)) {
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
    m_loaded = true;
    m_exists = true;
    if (!sameContent || schemaChanged)
        parse();
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

Status TableImage::writeFailure(const QString& reason) const {
    return Status::failure(
        QStringLiteral("Could not write the task file %1: %2.").arg(m_path, reason));
}

Status TableImage::apply(const TableEdit& edit) {
    std::vector<Patch> patches;
    for (const auto& [index, value] : edit.values)
        patches.emplace_back(m_cells[index].offset + cellHeaderSize, value);
    for (const auto& [index, flag] : edit.flags)
        patches.emplace_back(m_cells[index].offset + 1, QByteArray(1, char(flag)));
    if (patches.empty() && edit.appended.isEmpty())
        return Status::success();
    const qint64 startedNs = nowNs();
    if (Status status = write(patches, edit.appended); !status)
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

    const FileState state = fileState(m_path);
    if (!state.exists || state.identity.size != m_bytes.size()) {
        forget();
        return Status::success();
    }
    m_identity = state.identity;
    m_capturedNs = startedNs;
    m_loaded = true;
    m_exists = true;
    return Status::success();
}

Status TableImage::write(const std::vector<Patch>& patches, const QByteArray& appended) {
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
    bool written = appended.isEmpty() || (file.seek(m_bytes.size()) && writeAll(file, appended));
    for (auto patch = patches.begin(); written && patch != patches.end(); ++patch)
        written = file.seek(patch->first) && writeAll(file, patch->second);
    if (!written) {
        const QString reason = ioReason(file);
        undo(file, patches);
        forget();
        return writeFailure(reason);
    }
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
