#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

#if defined(Q_OS_UNIX)
struct stat;
#endif

// What tells one state of a file from another without reading it: the same file (device and
// inode), its size, and its modification and change times to the nanosecond. The task table's
// image, the copy's source check, the change watch, the activation marker and what the run
// remembers of each task's source all compare these.
struct FileState {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    bool operator==(const FileState&) const = default;
    qint64 modifiedMs() const { return modifiedNs / 1000000; }
};

// What a path names, as far as a copy cares.
enum class FileKind { missing, regular, folder, pipe, device, socket, other };

// One look at a path, following links: its kind and, for a regular file, its state; error is the
// error number when the path could not be looked at (0 when it simply is not there).
struct FileLook {
    FileKind kind = FileKind::missing;
    FileState state;
    int error = 0;
};

FileLook lookAt(const QString& path);
// The state of a regular file at the path, or nothing for anything else.
std::optional<FileState> regularFileState(const QString& path);

#if defined(Q_OS_UNIX)
FileState fileStateOf(const struct stat& info);
FileKind fileKindOf(const struct stat& info);
#endif
