#include "fatVolume.h"
#include "modFileCopy.h"
#include "testHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(QRandomGenerator::global()->bounded(256));
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

    void copiesContentAndModificationTime_data();
    void copiesContentAndModificationTime();
    void permissions_data();
    void permissions();
    void linkedDestinationIsReplacedThroughItsTarget();
    void refusals_data();
    void refusals();
    void interruptedCopyLeavesDestinationIntact_data();
    void interruptedCopyLeavesDestinationIntact();
    void fullDiskLeavesDestinationIntact();
};

void TestFileCopy::copiesContentAndModificationTime_data() {
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("destinationExists");
    QTest::addColumn<bool>("onFat");
    QTest::newRow("empty, new destination") << qsizetype(0) << false << false;
    QTest::newRow("small, over existing") << qsizetype(1000) << true << false;
    QTest::newRow("several MiB, new destination") << qsizetype(5 << 20) << false << false;
    QTest::newRow("FAT volume, new destination") << qsizetype(1000) << false << true;
    QTest::newRow("FAT volume, over existing") << qsizetype(1000) << true << true;
}

void TestFileCopy::copiesContentAndModificationTime() {
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
    if (destinationExists)
        writeFile(destination, QByteArray(3 * size + 7, 'x'));
    // Left by copies cut short: this destination's own goes, every other file stays.
    const QStringList others = {".source.bin.tidewell-a1B2c3", ".destination.bin.tidewell-a1B2c",
                                ".destination.bin.tidewell-a1B2c3.txt",
                                "destination.bin.tidewell-a1B2c3"};
    for (const QString& name : others + QStringList{".destination.bin.tidewell-Zz9Yy8"})
        writeFile(folder + "/" + name, "left");

    const Status copied = copyFileOver(source, destination);
    QVERIFY2(copied.ok(), qPrintable(copied.message()));
    QCOMPARE(readFile(destination), content);
    // Within the time stamp resolution of the destination's file system: FAT keeps 2 seconds.
    const qint64 behind = (1020435731 - qint64(statOf(destination).st_mtim.tv_sec)) * 1000000000 +
                          123456789 - statOf(destination).st_mtim.tv_nsec;
    QVERIFY2(behind >= 0 && behind < (onFat ? 2000000000 : 1), qPrintable(QString::number(behind)));
    QStringList expected = others + QStringList{"destination.bin"};
    if (!onFat)
        expected << "source.bin";
    expected.sort();
    QCOMPARE(folderEntries(folder), expected);
}

void TestFileCopy::permissions_data() {
    QTest::addColumn<bool>("destinationExists");
    QTest::addColumn<int>("expected");
    QTest::newRow("new destination: the source's, less the mask") << false << 0750;
    QTest::newRow("existing destination: its own") << true << 0600;
}

void TestFileCopy::permissions() {
    QFETCH(bool, destinationExists);
    QFETCH(int, expected);
    TestHome home;
    const QByteArray source = QFile::encodeName(home.file("script.sh"));
    const QByteArray destination = QFile::encodeName(home.file("copy.sh"));
    writeFile(home.file("script.sh"), "#!/bin/sh\n");
    QCOMPARE(::chmod(source.constData(), 0775), 0);
    if (destinationExists) {
        writeFile(home.file("copy.sh"), "old");
        QCOMPARE(::chmod(destination.constData(), 0600), 0);
    }
    const mode_t mask = ::umask(027);
    const Status copied = copyFileOver(home.file("script.sh"), home.file("copy.sh"));
    ::umask(mask);
    QVERIFY2(copied.ok(), qPrintable(copied.message()));
    QCOMPARE(int(statOf(home.file("copy.sh")).st_mode & 07777), expected);
}

void TestFileCopy::linkedDestinationIsReplacedThroughItsTarget() {
    TestHome home;
    const QString source = home.file("fresh.txt");
    const QString target = home.file("target.txt");
    const QString link = home.file("link.txt");
    writeFile(source, "fresh");
    writeFile(target, "stale");
    QVERIFY(QFile::link(target, link));
    const Status copied = copyFileOver(source, link);
    QVERIFY2(copied.ok(), qPrintable(copied.message()));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), QByteArray("fresh"));
}

void TestFileCopy::refusals_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("message");
    const QString sep = QDir::separator();
    QTest::newRow("missing source") << "missing.txt"
                                    << "dest.txt"
                                    << "The source file does not exist.";
    QTest::newRow("source is a named pipe") << "pipe"
                                            << "dest.txt"
                                            << "The source file does not exist.";
    QTest::newRow("source is a folder") << "folder"
                                        << "dest.txt"
                                        << "The source file does not exist.";
    QTest::newRow("missing destination folder") << "src.txt"
                                                << "nowhere" + sep + "dest.txt"
                                                << "The destination folder does not exist.";
    QTest::newRow("destination folder is a file") << "src.txt"
                                                  << "dest.txt" + sep + "inner.txt"
                                                  << "The destination folder does not exist.";
    QTest::newRow("destination is a folder") << "src.txt"
                                             << "folder"
                                             << "The destination is a folder.";
    QTest::newRow("read-only destination") << "src.txt"
                                           << "readonly.txt"
                                           << "Access is denied.";
    QTest::newRow("same path") << "src.txt"
                               << "src.txt"
                               << "The source and destination are the same file.";
    QTest::newRow("same file through ..") << "src.txt"
                                          << "folder" + sep + ".." + sep + "src.txt"
                                          << "The source and destination are the same file.";
    QTest::newRow("same file through a symbolic link")
        << "src.txt"
        << "symlink.txt"
        << "The source and destination are the same file.";
    QTest::newRow("same file through a hard link")
        << "src.txt"
        << "hardlink.txt"
        << "The source and destination are the same file.";
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

    const Status copied = copyFileOver(home.file(source), home.file(destination));
    QVERIFY(!copied.ok());
    QCOMPARE(copied.message(), message);
    QCOMPARE(readFile(home.file("src.txt")), QByteArray("source content"));
    QCOMPARE(readFile(home.file("dest.txt")), QByteArray("destination content"));
    QCOMPARE(readFile(home.file("readonly.txt")), QByteArray("guarded content"));
    QCOMPARE(folderEntries(home.path()), before);
    QVERIFY(folderEntries(home.file("folder")).isEmpty());
}

void TestFileCopy::interruptedCopyLeavesDestinationIntact_data() {
    QTest::addColumn<qint64>("afterBytes");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("cancel"); // the program ends while the data moves
    QTest::newRow("disk full at once")
        << qint64(0) << ENOSPC << "There is not enough space on the disk." << false;
    QTest::newRow("disk full midway")
        << qint64(300000) << ENOSPC << "There is not enough space on the disk." << false;
    QTest::newRow("device error midway")
        << qint64(1) << EIO << "A device input/output error occurred." << false;
    QTest::newRow("cancelled at exit")
        << qint64(-1) << 0 << "The copy was stopped because Tidewell is closing." << true;
}

void TestFileCopy::interruptedCopyLeavesDestinationIntact() {
    QFETCH(qint64, afterBytes);
    QFETCH(int, error);
    QFETCH(QString, message);
    QFETCH(bool, cancel);
    TestHome home;
    const QString source = home.file("big.bin");
    const QString destination = home.file("kept.bin");
    writeFile(source, randomBytes(1 << 20));
    const QByteArray old = randomBytes(4096);
    writeFile(destination, old);
    setModified(destination, 1000000000, 0);

    injectCopyFault(afterBytes, error);
    if (cancel)
        QTimer::singleShot(0, [] { cancelCopies(); });
    const Status copied = copyFileOver(source, destination);
    injectCopyFault(-1, 0);
    QVERIFY(!copied.ok());
    QCOMPARE(copied.message(), message);
    QCOMPARE(readFile(destination), old);
    QCOMPARE(qint64(statOf(destination).st_mtim.tv_sec), qint64(1000000000));
    QCOMPARE(folderEntries(home.path()), QStringList({"big.bin", "kept.bin"}));
}

// A real disk that fills up: a small memory file system mounted for the test.
void TestFileCopy::fullDiskLeavesDestinationIntact() {
    TestHome home;
    const QString mountPoint = home.file("small");
    QVERIFY(QDir(home.path()).mkdir("small"));
    if (::mount("tidewell-test", QFile::encodeName(mountPoint).constData(), "tmpfs", 0,
                "size=1m") != 0)
        QSKIP("A small file system cannot be mounted here.");
    const QString source = home.file("large.bin");
    const QString destination = mountPoint + QDir::separator() + "kept.bin";
    writeFile(source, randomBytes(2 << 20));
    writeFile(destination, "old content");

    const Status copied = copyFileOver(source, destination);
    const QByteArray kept = readFile(destination);
    const QStringList entries = folderEntries(mountPoint);
    ::umount(QFile::encodeName(mountPoint).constData());
    QVERIFY(!copied.ok());
    QCOMPARE(copied.message(), QString("There is not enough space on the disk."));
    QCOMPARE(kept, QByteArray("old content"));
    QCOMPARE(entries, QStringList({"kept.bin"}));
}

QTEST_GUILESS_MAIN(TestFileCopy)
#include "tst_filecopy.moc"
