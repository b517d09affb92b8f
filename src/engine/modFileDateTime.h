#pragma once

#include <QString>

// The existence test every part of the program uses: a plain, not hidden file at exactly this
// path (no wildcards); a folder or a file that cannot be examined counts as missing.
bool fileExists(const QString& path);

// The last-modified date and time of day of an existing file, in local time, as date and time
// texts; empty for an empty path or a file that fails the existence test.
QString getFileDate(const QString& path);
QString getFileTime(const QString& path);
