#pragma once

#include <QString>

// The existence test every part of the program uses: a plain, not hidden file at exactly this
// path (no wildcards); a folder or a file that cannot be examined counts as missing.
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

// Both texts at once for an existing file; nothing for an empty path or a file that fails the
// existence test. The check cycle uses it to look at each file once.
std::optional<FileStamp> getFileStamp(const QString& path);
// The texts of a time stamp taken elsewhere, in nanoseconds since the epoch, with the size.
FileStamp fileStampAt(qint64 modifiedNs, qint64 size);

// The last-modified date and time of day of an existing file, in local time, as date and time
// texts; empty for an empty path or a file that fails the existence test.
QString getFileDate(const QString& path);
QString getFileTime(const QString& path);

// The seconds within which the file system holding the path keeps a time stamp it is given: 1
// where it keeps them exactly, 2 where it may round them (FAT keeps two seconds, and network,
// FUSE and unknown file systems are taken to do the same).
int timeStampResolution(const QString& path);
