#include "peVersionResource.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr quint32 resourceTypeVersion = 16;
constexpr quint32 fixedFileInfoSignature = 0xFEEF04BD;
constexpr quint32 subdirectoryFlag = 0x80000000;
// The section table of an image with 65535 sections fits; nothing else we read comes close.
constexpr quint64 largestRead = 4 << 20;

// Offsets in the headers of a PE image; those of the file header count from the "PE\0\0"
// signature that precedes it.
constexpr quint64 dosHeaderSize = 64;
constexpr qsizetype dosPeOffset = 0x3C;
constexpr quint64 peSignatureAndFileHeaderSize = 24;
constexpr qsizetype sectionCountOffset = 6;
constexpr qsizetype optionalHeaderSizeOffset = 20;
constexpr quint16 magicPe32 = 0x10B;
constexpr quint16 magicPe32Plus = 0x20B;
constexpr qsizetype dataDirectoriesPe32 = 96;
constexpr qsizetype dataDirectoriesPe32Plus = 112;
constexpr quint32 resourceDirectoryIndex = 2;
constexpr quint64 sectionHeaderSize = 40;
constexpr quint64 resourceDirectoryHeaderSize = 16;
constexpr quint64 resourceEntrySize = 8;
constexpr quint64 resourceDataEntrySize = 16;

// The start of a VS_VERSIONINFO block: three words, the key "VS_VERSION_INFO" with its
// terminating zero in UTF-16, padding to 32 bits, then the 52-byte fixed part.
constexpr char16_t versionInfoKey[] = u"VS_VERSION_INFO";
constexpr qsizetype versionKeyLength = sizeof(versionInfoKey) / sizeof(char16_t);
constexpr qsizetype versionKeyOffset = 6;
constexpr qsizetype versionKeyBytes = versionKeyLength * 2;
constexpr qsizetype fixedInfoOffset = (versionKeyOffset + versionKeyBytes + 3) & ~3;
constexpr quint16 fixedInfoSize = 52;
constexpr quint64 versionHeadSize = fixedInfoOffset + fixedInfoSize;

quint16 word16(const QByteArray& bytes, qsizetype at) {
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 word32(const QByteArray& bytes, qsizetype at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// The key of a version block, UTF-16 little-endian with its terminating zero.
bool hasVersionInfoKey(const QByteArray& head) {
    for (qsizetype i = 0; i < versionKeyLength; ++i) {
        if (word16(head, versionKeyOffset + 2 * i) != versionInfoKey[i])
            return false;
    }
    return true;
}

struct Section {
    quint32 virtualAddress = 0;
    quint32 mappedSize = 0;
    quint32 rawOffset = 0;
};

struct ResourceEntry {
    quint32 name = 0;
    quint32 target = 0;
    bool isDirectory() const { return (target & subdirectoryFlag) != 0; }
    quint32 offset() const { return target & ~subdirectoryFlag; }
};

// Reads exact byte ranges of the device, refusing any range that is not wholly in the file.
class BoundedReader {
public:
    explicit BoundedReader(QIODevice& device)
        : m_device(device), m_size(quint64(std::max<qint64>(device.size(), 0))) {}

    bool contains(quint64 offset, quint64 length) const {
        return offset <= m_size && length <= m_size - offset;
    }

    std::optional<QByteArray> read(quint64 offset, quint64 length) {
        if (length > largestRead || !contains(offset, length) || !m_device.seek(qint64(offset)))
            return std::nullopt;
        QByteArray bytes = m_device.read(qint64(length));
        if (quint64(bytes.size()) != length)
            return std::nullopt;
        return bytes;
    }

private:
    QIODevice& m_device;
    quint64 m_size;
};

// The parts of a PE image needed to find its resources: the section table and where the
// resource tree starts.
class PeImage {
public:
    explicit PeImage(QIODevice& device) : m_reader(device) {}

    bool readHeaders();
    std::optional<PeFileVersion> readVersion();

private:
    std::optional<quint64> fileOffset(quint64 rva, quint64 length) const;
    std::optional<QByteArray> readAt(quint64 rva, quint64 length);
    std::optional<QList<ResourceEntry>> readDirectory(quint32 offset);
    std::optional<ResourceEntry> firstEntry(quint32 directory, bool wantDirectory,
                                            std::optional<quint32> name);
    bool readSections(quint64 at, quint16 count);

    BoundedReader m_reader;
    QList<Section> m_sections;
    quint32 m_resourceRva = 0;
};

bool PeImage::readHeaders() {
    const std::optional<QByteArray> dos = m_reader.read(0, dosHeaderSize);
    if (!dos || !dos->startsWith("MZ"))
        return false;
    const quint64 peOffset = word32(*dos, dosPeOffset);
    const std::optional<QByteArray> fileHeader =
        m_reader.read(peOffset, peSignatureAndFileHeaderSize);
    if (!fileHeader || !fileHeader->startsWith(QByteArrayView("PE\0\0", 4)))
        return false;
    const quint16 optionalSize = word16(*fileHeader, optionalHeaderSizeOffset);
    const quint64 optionalAt = peOffset + peSignatureAndFileHeaderSize;
    const std::optional<QByteArray> optional = m_reader.read(optionalAt, optionalSize);
    if (!optional || optionalSize < 2)
        return false;
    const quint16 magic = word16(*optional, 0);
    if (magic != magicPe32 && magic != magicPe32Plus)
        return false;
    const qsizetype directories =
        magic == magicPe32 ? dataDirectoriesPe32 : dataDirectoriesPe32Plus;
    const qsizetype resourceEntry = directories + qsizetype(resourceDirectoryIndex) * 8;
    if (optionalSize < resourceEntry + 8 ||
        word32(*optional, directories - 4) <= resourceDirectoryIndex)
        return false;
    m_resourceRva = word32(*optional, resourceEntry);
    if (m_resourceRva == 0 || word32(*optional, resourceEntry + 4) == 0)
        return false;
    return readSections(optionalAt + optionalSize, word16(*fileHeader, sectionCountOffset));
}

bool PeImage::readSections(quint64 at, quint16 count) {
    const std::optional<QByteArray> table = m_reader.read(at, count * sectionHeaderSize);
    if (!table || count == 0)
        return false;
    m_sections.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype header = i * qsizetype(sectionHeaderSize);
        const quint32 virtualSize = word32(*table, header + 8);
        const quint32 rawSize = word32(*table, header + 16);
        // The loader maps the raw data up to the virtual size; the rest of the memory image is
        // zeros that are not in the file, and no resource can live there.
        const quint32 mapped = virtualSize != 0 ? std::min(virtualSize, rawSize) : rawSize;
        m_sections.append({word32(*table, header + 12), mapped, word32(*table, header + 20)});
    }
    return true;
}

std::optional<quint64> PeImage::fileOffset(quint64 rva, quint64 length) const {
    for (const Section& section : m_sections) {
        if (rva < section.virtualAddress)
            continue;
        const quint64 into = rva - section.virtualAddress;
        if (into > section.mappedSize || length > section.mappedSize - into)
            continue;
        const quint64 offset = section.rawOffset + into;
        if (!m_reader.contains(offset, length))
            return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

std::optional<QByteArray> PeImage::readAt(quint64 rva, quint64 length) {
    const std::optional<quint64> offset = fileOffset(rva, length);
    if (!offset)
        return std::nullopt;
    return m_reader.read(*offset, length);
}

// The entries of the resource directory at an offset from the start of the resource tree.
std::optional<QList<ResourceEntry>> PeImage::readDirectory(quint32 offset) {
    const quint64 at = quint64(m_resourceRva) + offset;
    const std::optional<QByteArray> header = readAt(at, resourceDirectoryHeaderSize);
    if (!header)
        return std::nullopt;
    const quint64 count = quint64(word16(*header, 12)) + word16(*header, 14);
    const std::optional<QByteArray> table =
        readAt(at + resourceDirectoryHeaderSize, count * resourceEntrySize);
    if (!table)
        return std::nullopt;
    QList<ResourceEntry> entries;
    entries.reserve(qsizetype(count));
    for (qsizetype i = 0; i < qsizetype(count); ++i)
        entries.append({word32(*table, i * 8), word32(*table, i * 8 + 4)});
    return entries;
}

// The first entry of a directory that leads to a subdirectory or to data, as wanted, and that
// carries the given numeric name when one is asked for.
std::optional<ResourceEntry> PeImage::firstEntry(quint32 directory, bool wantDirectory,
                                                 std::optional<quint32> name) {
    const std::optional<QList<ResourceEntry>> entries = readDirectory(directory);
    if (!entries)
        return std::nullopt;
    for (const ResourceEntry& entry : *entries) {
        if (entry.isDirectory() == wantDirectory && (!name || entry.name == *name))
            return entry;
    }
    return std::nullopt;
}

// The tree has exactly three levels (type, name, language), walked without recursion, so a
// directory that points back at itself or at its parent ends the walk instead of looping.
std::optional<PeFileVersion> PeImage::readVersion() {
    const std::optional<ResourceEntry> type = firstEntry(0, true, resourceTypeVersion);
    if (!type)
        return std::nullopt;
    const std::optional<ResourceEntry> name = firstEntry(type->offset(), true, std::nullopt);
    if (!name)
        return std::nullopt;
    const std::optional<ResourceEntry> language = firstEntry(name->offset(), false, std::nullopt);
    if (!language)
        return std::nullopt;
    const std::optional<QByteArray> data =
        readAt(quint64(m_resourceRva) + language->offset(), resourceDataEntrySize);
    if (!data)
        return std::nullopt;
    const quint32 dataRva = word32(*data, 0);
    const quint32 dataSize = word32(*data, 4);
    // The whole resource must lie in the image, though only its start is read.
    if (dataSize < versionHeadSize || !fileOffset(dataRva, dataSize))
        return std::nullopt;
    const std::optional<QByteArray> head = readAt(dataRva, versionHeadSize);
    if (!head)
        return std::nullopt;
    const quint16 length = word16(*head, 0);
    const quint16 valueLength = word16(*head, 2);
    if (length < versionHeadSize || length > dataSize || valueLength < fixedInfoSize ||
        !hasVersionInfoKey(*head) || word32(*head, fixedInfoOffset) != fixedFileInfoSignature)
        return std::nullopt;
    return PeFileVersion{word32(*head, fixedInfoOffset + 8), word32(*head, fixedInfoOffset + 12)};
}

} // namespace

std::optional<PeFileVersion> readPeFileVersion(QIODevice& device) {
    if (!device.isReadable() || device.isSequential())
        return std::nullopt;
    PeImage image(device);
    if (!image.readHeaders())
        return std::nullopt;
    return image.readVersion();
}
