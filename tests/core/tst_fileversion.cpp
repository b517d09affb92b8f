#include "modFileVersionInfo.h"
#include "peFixtureWriter.h"
#include "peVersionResource.h"
#include "testHome.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <functional>

namespace {

// A buffer that counts the bytes handed to its reader.
class CountingBuffer : public QBuffer {
public:
    qint64 bytesRead = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 got = QBuffer::readData(data, maxSize);
        bytesRead += qMax<qint64>(got, 0);
        return got;
    }
};

std::optional<PeFileVersion> readFromMemory(const QByteArray& bytes, qint64* bytesRead = nullptr) {
    CountingBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const std::optional<PeFileVersion> version = readPeFileVersion(buffer);
    if (bytesRead)
        *bytesRead = buffer.bytesRead;
    return version;
}

// The version examples: the four words and the text they give.
struct VersionExample {
    const char* text;
    quint16 major, minor, build, revision;
};

constexpr VersionExample versionExamples[] = {
    {"1.02.03.04", 1, 2, 3, 4},        {"6.00.2900.2180", 6, 0, 2900, 2180},
    {"4.00.00.950", 4, 0, 0, 950},     {"5.01.0000", 5, 1, 0, 0},
    {"2.00.00.01", 2, 0, 0, 1},        {"10.20.30.40", 10, 20, 30, 40},
    {"1.00.0000", 1, 0, 0, 0},         {"1.00.40000.00", 1, 0, 40000, 0},
    {"40000.01.0000", 40000, 1, 0, 0},
};

const char* const linkedForms[] = {"pe32.exe", "pe32.dll", "pe32plus.exe", "pe32plus.dll"};

} // namespace

class tst_FileVersion : public QObject {
    Q_OBJECT

private slots:
    void versions_data();
    void versions();
    void damagedImages_data();
    void damagedImages();
    void truncatedImages();
    void readsOnlyHeadersAndResources();

private:
    QString written(const QString& name, const QByteArray& bytes) {
        const QString path = m_home.file(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write a test image");
        return path;
    }

    TestHome m_home;
};

// Executables and DLLs made by the MinGW linker, whose resource trees also hold other types,
// a named type and other languages, and whose product version and version strings differ from
// the file version; images from our own writer, with and without a large section before the
// resources; and files that hold no version.
void tst_FileVersion::versions_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    const QString fixtures = QStringLiteral(TIDEWELL_PE_FIXTURES "/");
    for (const VersionExample& e : versionExamples) {
        const QString stem =
            QStringLiteral("%1.%2.%3.%4").arg(e.major).arg(e.minor).arg(e.build).arg(e.revision);
        for (const char* form : linkedForms)
            QTest::newRow(qPrintable(stem + '-' + form))
                << fixtures + stem + '-' + form << QString(e.text);
        const quint32 ms = quint32(e.major) << 16 | e.minor;
        const quint32 ls = quint32(e.build) << 16 | e.revision;
        QTest::newRow(qPrintable(stem + " written PE32"))
            << written(stem + ".dll", PeFixture(false, ms, ls).bytes) << QString(e.text);
        QTest::newRow(qPrintable(stem + " written PE32+ after 64 KiB"))
            << written(stem + "+.dll", PeFixture(true, ms, ls, 0x10000).bytes) << QString(e.text);
    }
    QTest::newRow("largest words")
        << written("largest.dll", PeFixture(false, 0xFFFFFFFF, 0xFFFFFFFF).bytes)
        << "65535.65535.65535.65535";
    for (const char* form : linkedForms)
        QTest::newRow(qPrintable(QStringLiteral("resources without version, ") + form))
            << fixtures + "noversion-" + form << QString();
    QTest::newRow("text file") << written(
                                      "notes.txt",
                                      "MZ is how this text file starts, but it is no program.\n")
                               << QString();
    QTest::newRow("empty file") << written("empty.dll", QByteArray()) << QString();
    QTest::newRow("hidden file") << written(".hidden.dll",
                                            PeFixture(false, 0x00010002, 0x00030004).bytes)
                                 << QString();
    QVERIFY(QDir(m_home.path()).mkpath("folder.dll"));
    QTest::newRow("folder") << m_home.file("folder.dll") << QString();
    QTest::newRow("missing path") << m_home.file("missing.dll") << QString();
    QTest::newRow("empty path") << QString() << QString();
}

void tst_FileVersion::versions() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QVERIFY2(!path.startsWith(TIDEWELL_PE_FIXTURES) || QFile::exists(path), qPrintable(path));
    QCOMPARE(getFileVersion(path), expected);
}

// Each row damages one field of a good image; none may give a version, crash or read outside
// the file.
void tst_FileVersion::damagedImages_data() {
    QTest::addColumn<QByteArray>("image");
    const auto damaged = [](const char* name, const std::function<void(PeFixture&)>& damage,
                            bool pe32Plus = false) {
        PeFixture fixture(pe32Plus, 0x00010002, 0x00030004);
        damage(fixture);
        QTest::newRow(name) << fixture.bytes;
    };
    using F = PeFixture;
    const quint32 sub = 0x80000000;

    damaged("no MZ", [](F& f) { f.bytes[0] = 'N'; });
    damaged("no PE signature", [](F& f) { f.bytes[F::peSignature + 2] = 'X'; });
    damaged("PE header past the end", [](F& f) { f.put32(F::peOffsetField, 0x7FFFFFF0); });
    damaged("PE header offset at the top", [](F& f) { f.put32(F::peOffsetField, 0xFFFFFFFF); });
    damaged("unknown optional header", [](F& f) { f.put16(F::magic, 0x107); });
    damaged(
        "PE32 magic on a PE32+ header", [](F& f) { f.put16(F::magic, 0x10B); }, true);
    damaged("optional header too short for resources", [](F& f) {
        f.put16(F::optionalHeaderSize, quint16(f.resourceRvaField() - F::optionalHeader));
    });
    damaged("optional header past the end", [](F& f) { f.put16(F::optionalHeaderSize, 0xFFFF); });
    damaged("only two data directories", [](F& f) { f.put32(f.rvaAndSizesCount(), 2); });
    damaged("no resource directory", [](F& f) { f.put32(f.resourceRvaField(), 0); });
    damaged("resource directory of size zero", [](F& f) { f.put32(f.resourceSizeField(), 0); });
    damaged("resources outside every section",
            [](F& f) { f.put32(f.resourceRvaField(), 0x00400000); });
    damaged("no sections", [](F& f) { f.put16(F::sectionCount, 0); });
    damaged("section table past the end", [](F& f) { f.put16(F::sectionCount, 0xFFFF); });
    damaged("section data past the end",
            [](F& f) { f.put32(f.resourceSectionHeader() + 20, 0x7FFFFF00); });
    damaged("section data offset wraps around",
            [](F& f) { f.put32(f.resourceSectionHeader() + 20, 0xFFFFFF00); });
    damaged("section data ending inside the version resource", [](F& f) {
        f.put32(f.resourceSectionHeader() + 16, F::versionBlock + F::versionBlockSize - 1);
    });
    damaged("section mapped only partly over the version resource", [](F& f) {
        f.put32(f.resourceSectionHeader() + 8, F::versionBlock + F::versionBlockSize - 1);
    });
    damaged("section at the top of the address space",
            [](F& f) { f.put32(f.resourceSectionHeader() + 12, 0xFFFFFF00); });
    damaged("no version type",
            [=](F& f) { f.putEntry(F::typeDirectory, 0, 3, sub | F::nameDirectory); });
    damaged("version type as data",
            [](F& f) { f.putEntry(F::typeDirectory, 0, 16, F::dataEntry); });
    damaged("type directory pointing to itself",
            [=](F& f) { f.putEntry(F::typeDirectory, 0, 16, sub | F::typeDirectory); });
    damaged("name directory pointing back to the types",
            [=](F& f) { f.putEntry(F::nameDirectory, 0, 1, sub | F::typeDirectory); });
    damaged("language directory pointing to itself",
            [=](F& f) { f.putEntry(F::languageDirectory, 0, 0x409, sub | F::languageDirectory); });
    damaged("subdirectory past the resources",
            [=](F& f) { f.putEntry(F::typeDirectory, 0, 16, sub | 0x7FFFFFF0); });
    damaged("entry counts beyond the section",
            [](F& f) { f.putDirectoryCounts(F::typeDirectory, 0xFFFF, 0xFFFF); });
    damaged("language entries beyond the section",
            [](F& f) { f.putDirectoryCounts(F::languageDirectory, 0, 0xFFFF); });
    damaged("empty language directory",
            [](F& f) { f.putDirectoryCounts(F::languageDirectory, 0, 0); });
    damaged("data entry past the resources",
            [](F& f) { f.putEntry(F::languageDirectory, 0, 0x409, 0x7FFFFFF0); });
    damaged("version data past the end",
            [](F& f) { f.put32(f.inResources(F::dataEntry), 0x7FFFFF00); });
    damaged("version data of huge size",
            [](F& f) { f.put32(f.inResources(F::dataEntry) + 4, 0xFFFFFFFF); });
    damaged("version data wrapping around", [](F& f) {
        f.put32(f.inResources(F::dataEntry), 0xFFFFFFF0);
        f.put32(f.inResources(F::dataEntry) + 4, 0x20);
    });
    damaged("version data too small for the fixed part",
            [](F& f) { f.put32(f.inResources(F::dataEntry) + 4, F::versionBlockSize - 1); });
    damaged("version block longer than its data",
            [](F& f) { f.put16(f.inResources(F::versionBlock), F::versionBlockSize + 1); });
    damaged("version block without fixed part",
            [](F& f) { f.put16(f.inResources(F::versionBlock) + 2, 0); });
    damaged("fixed part shorter than its 52 bytes",
            [](F& f) { f.put16(f.inResources(F::versionBlock) + 2, 51); });
    damaged("wrong key", [](F& f) { f.put16(f.inResources(F::versionBlock) + 6 + 2 * 14, 'X'); });
    damaged("key without its terminating zero",
            [](F& f) { f.put16(f.inResources(F::versionBlock) + 6 + 2 * 15, 'S'); });
    damaged("no fixed part signature",
            [](F& f) { f.put32(f.inResources(F::versionBlock) + 40, 0xFEEF04BC); });
}

void tst_FileVersion::damagedImages() {
    QFETCH(QByteArray, image);
    QCOMPARE(readFromMemory(image).has_value(), false);
    QCOMPARE(getFileVersion(written("damaged.dll", image)), QString());
}

// An image cut short anywhere before the end of its version resource has no version; cut in
// the padding after it, it still has.
void tst_FileVersion::truncatedImages() {
    for (const bool pe32Plus : {false, true}) {
        const PeFixture fixture(pe32Plus, 0x00010002, 0x00030004);
        const qsizetype versionEnd =
            fixture.inResources(PeFixture::versionBlock) + PeFixture::versionBlockSize;
        for (qsizetype length = 0; length <= fixture.bytes.size(); ++length) {
            const std::optional<PeFileVersion> version =
                readFromMemory(fixture.bytes.first(length));
            QCOMPARE(version.has_value(), length >= versionEnd);
            if (version)
                QCOMPARE(version->versionLS, 0x00030004u);
        }
    }
}

// The resources of a 4 MiB image sit behind a section of zeros; finding the version must not
// read that section, nor read the file whole.
void tst_FileVersion::readsOnlyHeadersAndResources() {
    qint64 bytesRead = 0;
    const std::optional<PeFileVersion> version =
        readFromMemory(PeFixture(true, 0x00010002, 0x00030004, 4 << 20).bytes, &bytesRead);
    QVERIFY(version.has_value());
    QCOMPARE(version->versionMS, 0x00010002u);
    QCOMPARE(version->versionLS, 0x00030004u);
    QVERIFY2(bytesRead < 1024, qPrintable(QString::number(bytesRead)));
}

QTEST_GUILESS_MAIN(tst_FileVersion)
#include "tst_fileversion.moc"
