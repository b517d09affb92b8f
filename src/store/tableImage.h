#pragma once

#include "Status.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

class QFile;

// One cell of the table file as found on disk.
struct TableCell {
    qint64 offset = 0; // of the cell's first byte
    int field = 0;
    quint8 flag = 0;
    int recordNumber = 0;
};

// Changes to the table that reach the file together or not at all.
struct TableEdit {
    std::vector<std::pair<int, QByteArray>> values; // cell index, its new padded value
    std::vector<std::pair<int, quint8>> flags;      // cell index, its new flag
    QByteArray appended;                            // whole new cells for the end of the file
};

// What tells one state of the file from another without reading it.
struct FileIdentity {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Whether a file last modified at modifiedNs may have been written again, with no change to its
// time stamp, after an image of it was taken at capturedNs (both in wall-clock nanoseconds).
bool mayHaveChangedUnseen(qint64 modifiedNs, qint64 capturedNs);

// The table file held in memory with its cells indexed. refresh() checks the file on disk
// before every operation and re-reads it whenever it may have changed, so every operation
// sees the file as it is at that moment; apply() updates the image as well as the file.
class TableImage {
public:
    // Brings the image in line with `path` walked with the given field widths.
    Status refresh(const QString& path, const std::vector<int>& widths);

    // Whether the image was last taken from `path` with these widths.
    bool isImageOf(const QString& path, const std::vector<int>& widths) const {
        return path == m_path && widths == m_widths;
    }
    bool exists() const { return m_exists; }
    const std::vector<TableCell>& cells() const { return m_cells; }
    // Indexes into cells() of every cell of a record number, in file order.
    const std::vector<int>& cellsOfRecord(int recordNumber) const;
    // A view into the image: valid until the image next changes.
    QByteArrayView valueBytes(const TableCell& cell) const;
    // The cell's value as text, decoded once for as long as the cell keeps its bytes: the check
    // cycle reads every task at every tick.
    const QString& value(int index) const;

    // Where the cells stop making sense; -1 when the file is whole.
    qint64 damageOffset() const { return m_damageOffset; }
    QString damageMessage() const;

    // Writes the whole edit, creating the file when there is none. When any part of it fails
    // the file is put back as it was, so a full disk never leaves a partial cell behind. A
    // durable edit is on the disk before this returns.
    Status apply(const TableEdit& edit, bool durable = false);

private:
    using Patch = std::pair<qint64, QByteArray>; // offset, bytes
    void forget();
    void parse();
    void parseFrom(qint64 offset);
    int widthOf(int field) const;
    std::vector<Patch> joinedPatches(const std::vector<Patch>& patches) const;
    Status write(const std::vector<Patch>& patches, const QByteArray& appended, bool durable,
                 FileIdentity& written);
    qint64 tornTailOffset() const;
    bool isCellAsWritten(const TableCell& cell) const;
    void repairTornTail();
    Status cutTo(qint64 offset, const QString& keptPath);
    void undo(QFile& file, const std::vector<Patch>& patches);
    Status writeFailure(const QString& reason) const;

    QString m_path;
    std::vector<int> m_widths;
    bool m_loaded = false;
    bool m_exists = false;
    FileIdentity m_identity;
    qint64 m_capturedNs = 0; // wall time just before the image was last taken from the file
    bool m_ownWrite = false; // the image was last brought in line by a write of this program
    QByteArray m_bytes;
    QByteArray m_scratch;
    std::vector<TableCell> m_cells;
    mutable std::vector<std::optional<QString>> m_values; // by cell index, once decoded
    std::vector<std::vector<int>> m_byRecord;
    qint64 m_damageOffset = -1;
    QString m_damageReason;
};
