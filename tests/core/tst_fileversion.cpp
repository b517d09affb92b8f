#include "modFileVersionInfo.h"
#include "peFixtureWriter.h"
#include "peVersionResource.h"
#include "testHome.h"

#include <QBuffer>
#include <QTest>

namespace {

// A buffer over some bytes that counts what its reader takes.
struct CountingBuffer : QBuffer {
    explicit CountingBuffer(const QByteArray& bytes) {
        setData(bytes);
        open(QIODevice::ReadOnly);
    }
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 got = QBuffer::readData(data, maxSize);
        bytesRead += qMax<qint64>(got, 0);
        return got;
    }
    qint64 bytesRead = 0;
};

std::optional<PeFileVersion> versionIn(const QByteArray& bytes) {
    CountingBuffer buffer(bytes);
    return readPeFileVersion(buffer);
}

// Versions linked into the fixtures, as their file names and as the texts they give: words
// padded to two digits, a zero last word, words of five digits.
const std::pair<const char*, const char*> versionExamples[] = {
    {"1.2.3.4", "1.02.03.04"},        {"6.0.2900.2180", "6.00.2900.2180"}, {"5.1.0.0", "5.01.0000"},
    {"1.0.40000.0", "1.00.40000.00"}, {"40000.1.0.0", "40000.01.0000"},
};

} // namespace

class tst_FileVersion : public QObject {
    Q_OBJECT

    TestHome m_home;

private slots:
    // Executables and DLLs made by the MinGW linker, with other sections before the resources,
    // resource trees that also hold other types, a named type and other languages, and product
    // versions and version strings unlike the file version; images of our own; and files that
    // hold no version.
    void versions_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const QString fixtures = QStringLiteral(TIDEWELL_PE_FIXTURES "/");
        for (const char* form : {"pe32.exe", "pe32.dll", "pe32plus.exe", "pe32plus.dll"}) {
            for (const auto& [stem, text] : versionExamples)
                QTest::newRow(qPrintable(stem + QStringLiteral("-") + form))
                    << fixtures + stem + '-' + form << QString(text);
            QTest::newRow(qPrintable(QStringLiteral("resources without version, ") + form))
                << fixtures + "noversion-" + form << QString();
        }
        QTest::newRow("largest words")
            << makeFile(m_home, "largest.dll", PeFixture(false, 0xFFFFFFFF, 0xFFFFFFFF).bytes)
            << "65535.65535.65535.65535";
        // A name starting with a dot is an ordinary file off Windows.
        QTest::newRow("dot file") << makeFile(m_home, ".dotted.dll",
                                              PeFixture(false, 0x00010002, 0x00030004).bytes)
                                  << "1.02.03.04";
    }

    void versions() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QVERIFY2(!path.startsWith(TIDEWELL_PE_FIXTURES) || QFile::exists(path), qPrintable(path));
        QCOMPARE(getFileVersion(path), expected);
    }

    // Each row damages one field of a good image; none may give a version, crash or read outside
    // the file.
    void damagedImages_data() {
        QTest::addColumn<QByteArray>("image");
        using F = PeFixture;
        const auto row = [](const char* name, qsizetype at, quint64 value, int width = 4,
                            bool pe32Plus = false) {
            F damaged(pe32Plus, 0x00010002, 0x00030004);
            damaged.put(at, value, width);
            QTest::newRow(name) << damaged.bytes;
        };
        row("PE32 magic on a PE32+ header", F::magic, 0x10B, 2, true);
        // Offsets in the PE32 image.
        const F good(false, 0, 0);
        const qsizetype dirs = good.dataDirectories, section = good.sectionHeader,
                        types = good.resources + F::typeDirectory,
                        names = good.resources + F::nameDirectory,
                        languages = good.resources + F::languageDirectory,
                        data = good.resources + F::dataEntry,
                        block = good.resources + F::versionBlock;
        const quint32 blockEnd = F::versionBlock + F::versionBlockSize;
        row("no MZ", 0, 'N', 1);
        row("no PE signature", F::peSignature + 2, 'X', 1);
        row("PE header past the end", F::peOffsetField, 0x7FFFFFF0);
        row("PE header offset at the top", F::peOffsetField, 0xFFFFFFFF);
        row("unknown optional header", F::magic, 0x107, 2);
        row("optional header too short for resources", F::optionalHeaderSize, dirs + 16 - F::magic,
            2);
        row("optional header past the end", F::optionalHeaderSize, 0xFFFF, 2);
        row("only two data directories", dirs - 4, 2);
        row("resource directory of size zero", dirs + 20, 0);
        row("resources outside every section", dirs + 16, 0x00400000);
        row("no sections", F::sectionCount, 0, 2);
        row("section table past the end", F::sectionCount, 0xFFFF, 2);
        row("section data past the end", section + 20, 0x7FFFFF00);
        row("section data offset wraps around", section + 20, 0xFFFFFF00);
        row("section data ending inside the version resource", section + 16, blockEnd - 1);
        row("section mapped only partly over the version resource", section + 8, blockEnd - 1);
        row("section at the top of the address space", section + 12, 0xFFFFFF00);
        row("no version type", types + 16, 3);
        row("version type as data", types + 20, F::dataEntry);
        row("type directory pointing to itself", types + 20, F::subdirectory | F::typeDirectory);
        row("name directory back to the types", names + 20, F::subdirectory | F::typeDirectory);
        row("language directory to itself", languages + 20, F::subdirectory | F::languageDirectory);
        row("subdirectory past the resources", types + 20, F::subdirectory | 0x7FFFFFF0);
        row("named and numbered entries beyond the section", types + 12, 0xFFFFFFFF);
        row("empty language directory", languages + 14, 0, 2);
        row("data entry past the resources", languages + 20, 0x7FFFFFF0);
        row("version data past the end", data, 0x7FFFFF00);
        row("version data of huge size", data + 4, 0xFFFFFFFF);
        row("version data wrapping around", data, 0x00000020'FFFFFFF0, 8);
        row("version data too small for the fixed part", data + 4, F::versionBlockSize - 1);
        row("version block longer than its data", block, F::versionBlockSize + 1, 2);
        row("fixed part shorter than its 52 bytes", block + 2, 51, 2);
        row("wrong key", block + 6 + 2 * 14, 'X', 2);
        row("key without its terminating zero", block + 6 + 2 * 15, 'S', 2);
        row("no fixed part signature", block + 40, 0xFEEF04BC);
    }

    void damagedImages() {
        QFETCH(QByteArray, image);
        QCOMPARE(versionIn(image).has_value(), false);
        QCOMPARE(getFileVersion(makeFile(m_home, "damaged.dll", image)), QString());
    }

    // An image cut short anywhere before the end of its version resource has no version; cut in
    // the padding after it, it still has.
    void truncatedImages() {
        for (const bool pe32Plus : {false, true}) {
            const PeFixture fixture(pe32Plus, 0x00010002, 0x00030004);
            const qsizetype versionEnd =
                fixture.resources + PeFixture::versionBlock + PeFixture::versionBlockSize;
            for (qsizetype length = 0; length <= fixture.bytes.size(); ++length) {
                const std::optional<PeFileVersion> version = versionIn(fixture.bytes.first(length));
                QCOMPARE(version.has_value(), length >= versionEnd);
                if (version)
                    QCOMPARE(version->versionLS, 0x00030004u);
            }
        }
    }

    // The resources of a 4 MiB image sit behind 4 MiB of zeros; finding the version must not read
    // those, nor read the file whole.
    void readsOnlyHeadersAndResources() {
        CountingBuffer buffer(PeFixture(true, 0x00010002, 0x00030004, 4 << 20).bytes);
        const std::optional<PeFileVersion> version = readPeFileVersion(buffer);
        QVERIFY(version && version->versionMS == 0x00010002u && version->versionLS == 0x00030004u);
        QVERIFY2(buffer.bytesRead < 1024, qPrintable(QString::number(buffer.bytesRead)));
    }
};

QTEST_GUILESS_MAIN(tst_FileVersion)
#include "tst_fileversion.moc"
