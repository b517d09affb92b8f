#pragma once

#include <QString>
#include <QtGlobal>

class QIODevice;

// The file version of a Windows executable's version resource, as major.minor.build.revision
// with the minor, build and revision written with at least two digits ("1.02.03.04"), and
// "major.minor.0000" when build and revision are both zero. Empty when the file has none.
// Read by our own PE reader, on every platform.
QString getFileVersion(const QString& path);
// The same for a file already open on a seekable device.
QString fileVersionOf(QIODevice& device);

quint16 hiWord(quint32 value);
quint16 loWord(quint32 value);
