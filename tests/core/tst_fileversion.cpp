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

QString fixturePath(const QString& name) {
    return QStringLiteral(TIDEWELL_PE_FIXTURES) + QLatin1Char('/') + name;
}

quint32 joinWords(quint16 high, quint16 low) {
    return quint32(high) << 16 | low;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A buffer that counts the bytes handed to its reader.
class CountingBuffer : public QBuffer {
public:
    using QBuffer::QBuffer;
    qint64 bytesRead = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 got = QBuffer::readData(data, maxSize);
        bytesRead += qMax<qint64>(got, 0);
        return got;
    }
};

std::optional<PeFileVersion> readFromMemory(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readPeFileVersion(buffer);
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

QString fixtureStem(const VersionExample& example) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(example.major)
        .arg(example.minor)
        .arg(example.build)
        .arg(example.revision);
}

} // namespace

class tst_FileVersion : public QObject {
    Q_OBJECT

private slots:
    void realImages_data();
    void realImages();
    void writtenImages_data();
    void writtenImages();
    void filesWithoutVersion_data();
    void filesWithoutVersion();
    void damagedImages_data();
    void damagedImages();
    void truncatedImages();
    void readsOnlyHeadersAndResources();
    void words_data();
    void words();

private:
    TestHome m_home;
};

// Executables and DLLs made by the MinGW linker, whose resource trees also hold other types,
// a named type and other languages, and whose product version and version strings differ from
// the file version.
void tst_FileVersion::realImages_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    for (const VersionExample& example : versionExamples) {
        for (const char* form : {"pe32.exe", "pe32.dll", "pe32plus.exe", "pe32plus.dll"}) {
            const QString name = fixtureStem(example) + QLatin1Char('-') + QLatin1String(form);
            QTest::newRow(qPrintable(name))
                << fixturePath(name) << QString::fromLatin1(example.text);
        }
    }
}

void tst_FileVersion::realImages() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QCOMPARE(getFileVersion(path), expected);
}

// Images from our own writer, with and without a large section before the resources.
void tst_FileVersion::writtenImages_data() {
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("expected");
    for (const VersionExample& example : versionExamples) {
        const quint32 ms = joinWords(example.major, example.minor);
        const quint32 ls = joinWords(example.build, example.revision);
        const QString stem = fixtureStem(example);
        QTest::newRow(qPrintable(stem + QStringLiteral(" PE32")))
            << PeFixture(false, ms, ls).bytes << QString::fromLatin1(example.text);
        QTest::newRow(qPrintable(stem + QStringLiteral(" PE32+ after 64 KiB")))
            << PeFixture(true, ms, ls, 0x10000).bytes << QString::fromLatin1(example.text);
    }
    QTest::newRow("largest words") << PeFixture(false, 0xFFFFFFFF, 0xFFFFFFFF).bytes
                                   << QStringLiteral("65535.65535.65535.65535");
}

void tst_FileVersion::writtenImages() {
    QFETCH(QByteArray, image);
    QFETCH(QString, expected);
    const QString path = m_home.file(QStringLiteral("written.dll"));
    QVERIFY(writeFile(path, image));
    QCOMPARE(getFileVersion(path), expected);
}

void tst_FileVersion::filesWithoutVersion_data() {
    QTest::addColumn<QString>("path");
    const QString text = m_home.file(QStringLiteral("notes.txt"));
    QVERIFY(writeFile(text, "MZ is how this text file starts, but it is no program.\n"));
    QVERIFY(writeFile(m_home.file(QStringLiteral("empty.dll")), QByteArray()));
    const QString hidden = m_home.file(QStringLiteral(".hidden.dll"));
    QVERIFY(writeFile(hidden, PeFixture(false, 0x00010002, 0x00030004).bytes));
    QVERIFY(QDir(m_home.path()).mkdir(QStringLiteral("folder.dll")));

    QTest::newRow("text file") << text;
    QTest::newRow("empty file") << m_home.file(QStringLiteral("empty.dll"));
    QTest::newRow("missing path") << m_home.file(QStringLiteral("missing.dll"));
    QTest::newRow("empty path") << QString();
    QTest::newRow("hidden file") << hidden;
    QTest::newRow("folder") << m_home.file(QStringLiteral("folder.dll"));
    for (const char* form : {"pe32.exe", "pe32.dll", "pe32plus.exe", "pe32plus.dll"}) {
        const QString name = QStringLiteral("noversion-") + QLatin1String(form);
        QTest::newRow(qPrintable(QStringLiteral("resources without version, ") + form))
            << fixturePath(name);
    }
}

void tst_FileVersion::filesWithoutVersion() {
    QFETCH(QString, path);
    QCOMPARE(getFileVersion(path), QString());
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
    const QString path = m_home.file(QStringLiteral("damaged.dll"));
    QVERIFY(writeFile(path, image));
    QCOMPARE(getFileVersion(path), QString());
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
    const PeFixture fixture(true, 0x00010002, 0x00030004, 4 << 20);
    CountingBuffer buffer;
    buffer.setData(fixture.bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const std::optional<PeFileVersion> version = readPeFileVersion(buffer);
    QVERIFY(version.has_value());
    QCOMPARE(version->versionMS, 0x00010002u);
    QCOMPARE(version->versionLS, 0x00030004u);
    QVERIFY2(buffer.bytesRead < 1024, qPrintable(QString::number(buffer.bytesRead)));
}

void tst_FileVersion::words_data() {
    QTest::addColumn<quint32>("value");
    QTest::addColumn<quint16>("high");
    QTest::addColumn<quint16>("low");
    QTest::newRow("zero") << 0u << quint16(0) << quint16(0);
    QTest::newRow("low half only") << 0x0000FFFFu << quint16(0) << quint16(0xFFFF);
    QTest::newRow("high half only") << 0xFFFF0000u << quint16(0xFFFF) << quint16(0);
    QTest::newRow("top bit") << 0x80000001u << quint16(0x8000) << quint16(1);
    QTest::newRow("6.0") << 0x00060000u << quint16(6) << quint16(0);
    QTest::newRow("2900.2180") << 0x0B540884u << quint16(2900) << quint16(2180);
}

void tst_FileVersion::words() {
    QFETCH(quint32, value);
    QFETCH(quint16, high);
    QFETCH(quint16, low);
    QCOMPARE(hiWord(value), high);
    QCOMPARE(loWord(value), low);
}

QTEST_GUILESS_MAIN(tst_FileVersion)
#include "tst_fileversion.moc"
