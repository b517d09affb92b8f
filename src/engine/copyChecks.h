#pragma once

// What is looked at before a copy sends any data: whether source and destination are files the
// copy may read and replace, and whether the destination's volume can hold the copy. A refusal
// that every try would meet again until the source changes is a lasting failure.

#include "Status.h"
#include "fileState.h"
#include "modVolumes.h"

#include <QString>

// Whether the file is one of the program's own: its task table, log, settings, marker or lock.
bool isProgramFile(const FileState& file);

// Whether the path gives its full folder: a destination without one would be written wherever the
// program happened to be started.
bool namesItsFolder(const QString& path);

// What the path is when it is not a file, for the source or the destination ("The source is a
// named pipe, not a file."); empty for a file, a folder or nothing.
QString notAFileLine(FileKind kind, bool source);

// A source that is missing or a folder is not there; a pipe, device or socket is never opened.
Status checkSourceKind(const FileLook& source);
// A destination that is not a file, or not a file a task may write: the program's own files and
// a name without its folder.
Status checkDestination(const QString& destination, const FileLook& look);
// The destination's volume takes the name and the size; free space for the data.
Status checkVolumeTakes(const Volume& volume, const QString& fileName, qint64 size);
Status checkFreeSpace(const QString& folder, qint64 needed);
// What the destination's volume has free for new data; unbounded where it cannot be told.
qint64 freeBytes(const QString& folder);

extern const QString sourceMissingLine;
extern const QString folderMissingLine;
extern const QString sameFileLine;
extern const QString accessDeniedLine;
