#pragma once

#include "fileState.h"

#include <QString>

// The existence test every part of the program uses: a plain file at exactly this path (no
// wildcards), not hidden on Windows; a folder or a file that cannot be examined counts as missing.
bool fileExists(const QString& path);

#include <optional>

// The date and time texts of one look at a file's last-modified time stamp, the stamp itself
// in nanoseconds since the epoch, and the file's size: what tells one version of a file from
// another even within the same second.
struct FileStamp {
    QString date;
    QString time;
    qint64 modifiedNs = 0;
    qint64 size = -1;
    qint64 modifiedMs() const { return modifiedNs / 1000000; }
};

// The texts of a state of the file at the path, as the check compares and records them.
FileStamp fileStampOf(const QString& path, const FileState& state);

// The last-modified date and time of day of an existing file, in local time, as date and time
// texts; empty for an empty path or a file that fails the existence test.
QString getFileDate(const QString& path);
QString getFileTime(const QString& path);
