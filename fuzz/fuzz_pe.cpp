#include "peVersionResource.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Any bytes as an executable whose version is asked for.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    readPeFileVersion(buffer);
    return 0;
}
