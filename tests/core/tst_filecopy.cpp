#include "fatVolume.h"
#include "modFileCopy.h"
#include "testHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct stat statOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

void setModified(const QString& path, time_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Everything in the folder, hidden files included: a leftover temporary file shows up here.
QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

class TestFileCopy : public QObject {
    Q_OBJECT

private slots:
    void init() {
        injectCopyFault(-1, 0);
        allowCopiesAgain();
    }

    void copiesContentTimeAndMode_data();
    void copiesContentTimeAndMode();
    void linkedDestinationIsReplacedThroughItsTarget();
    void refusals_data();
    void refusals();
    void interruptedCopyLeavesDestinationIntact_data();
    void interruptedCopyLeavesDestinationIntact();
};

void TestFileCopy::copiesContentTimeAndMode_data() {
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("destinationExists");
    QTest::addColumn<bool>("onFat");
    QTest::newRow("empty, new destination") << qsizetype(0) << false << false;
    QTest::newRow("small, over existing") << qsizetype(1000) << true << false;
    QTest::newRow("several MiB, new destination") << qsizetype(5 << 20) << false << false;
    QTest::newRow("FAT volume, new destination") << qsizetype(1000) << false << true;
    QTest::newRow("FAT volume, over existing") << qsizetype(1000) << true << true;
}

// The time stamp is kept to the destination's resolution (FAT keeps two seconds); a new
// destination gets the source's permissions less the mask, an existing one keeps its own, and
// FAT has none. Leftovers of copies cut short go for this destination only.
void TestFileCopy::copiesContentTimeAndMode() {
    TestHome home;
    QFETCH(qsizetype, size);
    QFETCH(bool, destinationExists);
    QFETCH(bool, onFat);
    const FatVolume fat;
    if (onFat && !fat.mounted())
        QSKIP(FatVolume::unavailable());
    const QString folder = onFat ? fat.path() : home.path();
    const QString source = home.file("source.bin");
    const QString destination = folder + "/destination.bin";
    const QByteArray content = randomBytes(size);
    writeFile(source, content);
    setModified(source, 1020435731, 123456789);
    QCOMPARE(::chmod(QFile::encodeName(source).constData(), 0775), 0);
    if (destinationExists) {
        writeFile(destination, QByteArray(3 * size + 7, 'x'));
        ::chmod(QFile::encodeName(destination).constData(), 0600);
    }
    const QStringList others = {".source.bin.tidewell-a1B2c3", ".destination.bin.tidewell-a1B2c",
                                ".destination.bin.tidewell-a1B2c3.txt",
                                "destination.bin.tidewell-a1B2c3"};
    for (const QString& name : others + QStringList{".destination.bin.tidewell-Zz9Yy8"})
        writeFile(folder + "/" + name, "left");

    const mode_t mask = ::umask(027);
    const Status copied = copyFileOver(source, destination);
    ::umask(mask);
    QVERIFY2(copied.ok(), qPrintable(copied.message()));
    QCOMPARE(readFile(destination), content);
    const qint64 behind = (1020435731 - qint64(statOf(destination).st_mtim.tv_sec)) * 1000000000 +
                          123456789 - statOf(destination).st_mtim.tv_nsec;
    QVERIFY2(behind >= 0 && behind < (onFat ? 2000000000 : 1), qPrintable(QString::number(behind)));
    if (!onFat)
        QCOMPARE(int(statOf(destination).st_mode & 07777), destinationExists ? 0600 : 0750);
    QStringList expected = others + QStringList{"destination.bin"};
    if (!onFat)
        expected << "source.bin";
    expected.sort();
    QCOMPARE(folderEntries(folder), expected);
}

void TestFileCopy::linkedDestinationIsReplacedThroughItsTarget() {
    TestHome home;
    writeFile(home.file("fresh.txt"), "fresh");
    writeFile(home.file("target.txt"), "stale");
    QVERIFY(QFile::link(home.file("target.txt"), home.file("link.txt")));
    const Status copied = copyFileOver(home.file("fresh.txt"), home.file("link.txt"));
    QVERIFY2(copied.ok(), qPrintable(copied.message()));
    QVERIFY(QFileInfo(home.file("link.txt")).isSymLink());
    QCOMPARE(readFile(home.file("target.txt")), QByteArray("fresh"));
}

void TestFileCopy::refusals_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("message");
    const QString missing = "The source file does not exist.",
                  noFolder = "The destination folder does not exist.",
                  same = "The source and destination are the same file.";
    const std::vector<std::array<QString, 4>> rows = {
        {"missing source", "missing.txt", "dest.txt", missing},
        {"source is a named pipe", "pipe", "dest.txt", missing},
        {"source is a folder", "folder", "dest.txt", missing},
        {"missing destination folder", "src.txt", "nowhere/dest.txt", noFolder},
        {"destination folder is a file", "src.txt", "dest.txt/inner.txt", noFolder},
        {"destination is a folder", "src.txt", "folder", "The destination is a folder."},
        {"read-only destination", "src.txt", "readonly.txt", "Access is denied."},
        {"same file through ..", "src.txt", "folder/../src.txt", same},
        {"same file through a symbolic link", "src.txt", "symlink.txt", same},
        {"same file through a hard link", "src.txt", "hardlink.txt", same}};
    for (const auto& [name, source, destination, message] : rows)
        QTest::newRow(qPrintable(name)) << source << destination << message;
}

void TestFileCopy::refusals() {
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, message);
    TestHome home;
    writeFile(home.file("src.txt"), "source content");
    writeFile(home.file("dest.txt"), "destination content");
    writeFile(home.file("readonly.txt"), "guarded content");
    QCOMPARE(::chmod(QFile::encodeName(home.file("readonly.txt")).constData(), 0444), 0);
    QVERIFY(QDir(home.path()).mkdir("folder"));
    QCOMPARE(::mkfifo(QFile::encodeName(home.file("pipe")).constData(), 0600), 0);
    QVERIFY(QFile::link(home.file("src.txt"), home.file("symlink.txt")));
    QCOMPARE(::link(QFile::encodeName(home.file("src.txt")).constData(),
                    QFile::encodeName(home.file("hardlink.txt")).constData()),
             0);
    const QStringList before = folderEntries(home.path());

    const Status copied =
        copyFileOver(home.file(source), QDir::toNativeSeparators(home.file(destination)));
    QCOMPARE(copied.message(), message);
    QVERIFY(!copied.ok());
    QCOMPARE(readFile(home.file("src.txt")), QByteArray("source content"));
    QCOMPARE(readFile(home.file("dest.txt")), QByteArray("destination content"));
    QCOMPARE(readFile(home.file("readonly.txt")), QByteArray("guarded content"));
    QCOMPARE(folderEntries(home.path()), before);
    QVERIFY(folderEntries(home.file("folder")).isEmpty());
}

void TestFileCopy::interruptedCopyLeavesDestinationIntact_data() {
    QTest::addColumn<qint64>("afterBytes"); // -1: no injected fault
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");
    const QString full = "There is not enough space on the disk.";
    QTest::newRow("disk full at once") << qint64(0) << ENOSPC << full;
    QTest::newRow("disk full midway") << qint64(300000) << ENOSPC << full;
    QTest::newRow("device error midway")
        << qint64(1) << EIO << "A device input/output error occurred.";
    // The program ends while the data moves.
    QTest::newRow("cancelled at exit")
        << qint64(-1) << 0 << "The copy was stopped because Tidewell is closing.";
    // A real disk that fills up: a small memory file system mounted for the test.
    QTest::newRow("real full disk") << qint64(-1) << ENOSPC << full;
}

// The old destination keeps its content and time stamp, and no temporary file is left.
void TestFileCopy::interruptedCopyLeavesDestinationIntact() {
    QFETCH(qint64, afterBytes);
    QFETCH(int, error);
    QFETCH(QString, message);
    TestHome home;
    const QString folder = home.file("small");
    QVERIFY(QDir(home.path()).mkdir("small"));
    const bool realDisk = afterBytes < 0 && error;
    const QByteArray mountPoint = QFile::encodeName(folder);
    if (realDisk && ::mount("tidewell-test", mountPoint.constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("A small file system cannot be mounted here.");
    const QString destination = folder + "/kept.bin";
    writeFile(home.file("big.bin"), randomBytes(2 << 20));
    const QByteArray old = randomBytes(4096);
    writeFile(destination, old);
    setModified(destination, 1000000000, 0);

    injectCopyFault(afterBytes, error);
    if (!error)
        QTimer::singleShot(0, [] { cancelCopies(); });
    const Status copied = copyFileOver(home.file("big.bin"), destination);
    injectCopyFault(-1, 0);
    const QByteArray kept = readFile(destination);
    const qint64 keptTime = statOf(destination).st_mtim.tv_sec;
    const QStringList entries = folderEntries(folder);
    if (realDisk)
        ::umount(mountPoint.constData());
    QVERIFY(!copied.ok());
    QCOMPARE(copied.message(), message);
    QCOMPARE(kept, old);
    QCOMPARE(keptTime, qint64(1000000000));
    QCOMPARE(entries, QStringList({"kept.bin"}));
}

QTEST_GUILESS_MAIN(TestFileCopy)
#include "tst_filecopy.moc"
