#pragma once

#include <QtGlobal>

#include <optional>

class QIODevice;

// The two file version words of a version resource's fixed part (VS_FIXEDFILEINFO).
struct PeFileVersion {
    quint32 versionMS = 0;
    quint32 versionLS = 0;
};

// Reads the file version from the first version resource (any name, any language) of a PE32 or
// PE32+ image on a seekable device. Only the headers, the resource tree and the start of the
// version resource are read, in small bounded reads. A truncated, malformed or hostile image,
// or one without a version resource with a fixed part, gives nothing.
std::optional<PeFileVersion> readPeFileVersion(QIODevice& device);
