#include "fatVolume.h"
#include "fileTimes.h"
#include "fileWriter.h"
#include "modFileCopy.h"
#include "smallVolume.h"
#include "testHome.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

#include <cerrno>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Runs the copy on the copies' worker, as the program does, and waits for its end; meanwhile
// runs while the data moves.
Result<CopiedSource> copyAside(const QString& source, const QString& destination,
                               const std::function<void()>& meanwhile) {
    std::optional<Result<CopiedSource>> outcome;
    const Status started = startCopy(source, destination,
                                     [&](const Result<CopiedSource>& copied) { outcome = copied; });
    if (!started)
        return started;
    meanwhile();
    while (!outcome)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return *outcome;
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
    void copiesContentTimeAndMode_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QString>("destination"); // on FAT or not, over a file, a link or none
        QTest::newRow("empty, new destination") << qsizetype(0) << "new";
        QTest::newRow("small, over existing") << qsizetype(1000) << "existing";
        QTest::newRow("several MiB, new destination") << qsizetype(5 << 20) << "new";
        QTest::newRow("FAT volume, new destination") << qsizetype(1000) << "FAT new";
        QTest::newRow("FAT volume, over existing") << qsizetype(1000) << "FAT existing";
        QTest::newRow("through a symbolic link") << qsizetype(1000) << "existing link";
    }

    // The time stamp is kept to the destination's resolution (FAT keeps two seconds); a new
    // destination gets the source's permissions less the mask, an existing one keeps its own,
    // and FAT has none. A linked destination is replaced through its target, the link staying.
    // Leftovers of copies cut short go for this destination only.
    void copiesContentTimeAndMode() {
        TestHome home;
        QFETCH(qsizetype, size);
        QFETCH(QString, destination);
        const bool onFat = destination.startsWith("FAT"), linked = destination.endsWith("link"),
                   destinationExists = destination.contains("existing");
        const FatVolume fat;
        if (onFat && !fat.mounted())
            QSKIP(FatVolume::unavailable());
        const QString folder = onFat ? fat.path() : home.file("to");
        QVERIFY(onFat || QDir().mkdir(folder));
        const QByteArray content = randomBytes(size);
        const QString source = makeFile(home, "source.bin", content);
        destination = folder + "/destination.bin";
        const QString stem = linked ? "target.bin" : "destination.bin",
                      target = folder + "/" + stem;
        setModified(source, {1020435731, 123456789});
        QCOMPARE(::chmod(QFile::encodeName(source), 0775), 0);
        if (destinationExists) {
            writeFile(target, QByteArray(3 * size + 7, 'x'));
            ::chmod(QFile::encodeName(target), 0600);
        }
        QVERIFY(!linked || QFile::link(target, destination));
        const QStringList others = {".source.bin.tidewell-a1B2c3", "." + stem + ".tidewell-a1B2c",
                                    "." + stem + ".tidewell-a1B2c3.txt", stem + ".tidewell-a1B2c3"};
        for (const QString& name : others + QStringList{"." + stem + ".tidewell-Zz9Yy8"})
            writeFile(folder + "/" + name, "left");

        const mode_t mask = ::umask(027);
        const Result<CopiedSource> copied = copyFileOver(source, destination);
        ::umask(mask);
        QVERIFY2(copied.ok(), qPrintable(copied.message()));
        QCOMPARE(QFileInfo(destination).isSymLink(), linked);
        QCOMPARE(fileContents(target), content);
        const struct stat copy = statOf(target);
        const qint64 behind =
            1020435731'123456789 - copy.st_mtim.tv_sec * qint64(1000000000) - copy.st_mtim.tv_nsec;
        QVERIFY2(behind >= 0 && behind < (onFat ? 2000000000 : 1),
                 qPrintable(QString::number(behind)));
        if (!onFat)
            QCOMPARE(int(copy.st_mode & 07777), destinationExists ? 0600 : 0750);
        QStringList expected = others + QStringList{"destination.bin", stem};
        expected.removeDuplicates();
        expected.sort();
        QCOMPARE(folderEntries(folder), expected);
    }

    void failuresLeaveEverythingAsItWas_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<qint64>("afterBytes"); // -1: no injected fault
        QTest::addColumn<int>("error");         // 0: a refusal before any byte moves
        QTest::addColumn<QString>("message");
        const QString missing = "The source file does not exist.",
                      noFolder = "The destination folder does not exist.",
                      same = "The source and destination are the same file.",
                      full = "There is not enough space on the disk.";
        const std::vector<std::array<QString, 4>> refusals = {
            {"missing source", "missing.txt", "dest.txt", missing},
            {"source is a named pipe", "pipe", "dest.txt", missing},
            {"source is a folder", "folder", "dest.txt", missing},
            {"missing destination folder", "src.txt", "nowhere/dest.txt", noFolder},
            {"destination folder is a file", "src.txt", "dest.txt/inner.txt", noFolder},
            {"destination is a folder", "src.txt", "folder", "The destination is a folder."},
            {"read-only destination", "src.txt", "readonly.txt", "Access is denied."},
            {"same file through ..", "src.txt", "folder/../src.txt", same},
            {"same file through a symbolic link", "src.txt", "symlink.txt", same},
            {"same file through a hard link", "src.txt", "hardlink.txt", same},
            {"a link another user planted in a shared folder", "src.txt", "shared/planted",
             "The destination is a link that another user planted in a shared folder; it was not "
             "followed."}};
        for (const auto& [name, source, destination, message] : refusals)
            QTest::newRow(qPrintable(name)) << source << destination << qint64(-1) << 0 << message;
        const std::vector<std::tuple<const char*, qint64, int, QString>> failures = {
            {"disk full at once", 0, ENOSPC, full},
            {"disk full midway", 300000, ENOSPC, full},
            {"device error midway", 1, EIO, "A device input/output error occurred."},
            // An allocation fails on the copy's thread.
            {"out of memory midway", 1000, ENOMEM, "There is not enough memory to copy the file."},
            // The program ends while the data moves.
            {"cancelled at exit", -1, ECANCELED,
             "The copy was stopped because Tidewell is closing."},
            // A small memory file system mounted for the test fills up for real.
            {"real full disk", -1, ENOSPC, full}};
        for (const auto& [name, afterBytes, error, text] : failures)
            QTest::newRow(name) << QString("big") << "folder/kept" << afterBytes << error << text;
    }

    // A refused or failed copy writes nothing: every file keeps its content, the old destination
    // its time stamp, and no temporary file is left.
    void failuresLeaveEverythingAsItWas() {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(qint64, afterBytes);
        QFETCH(int, error);
        QFETCH(QString, message);
        TestHome home;
        const QString original = makeFile(home, "src.txt"), folder = home.file("folder");
        QVERIFY(QDir().mkdir(folder));
        std::optional<SmallVolume> disk; // a real disk that fills up
        if (afterBytes < 0 && error == ENOSPC && !disk.emplace(folder, "size=1m").mounted())
            QSKIP(SmallVolume::unavailable());
        const QStringList kept = {original, makeFile(home, "dest.txt", "destination"),
                                  makeFile(home, "readonly.txt", "guarded"),
                                  makeFile(home, "folder/kept", "old")};
        QCOMPARE(::chmod(QFile::encodeName(kept[2]), 0444), 0);
        setModified(kept[3], {1000000000, 0});
        const QByteArray shared = QFile::encodeName(home.file("shared")); // like /tmp
        QCOMPARE(::mkdir(shared, 0777) + ::chmod(shared, 01777), 0);
        QCOMPARE(::symlink(QFile::encodeName(kept[1]), shared + "/planted"), 0);
        if (destination.startsWith("shared") && ::lchown(shared + "/planted", 65534, 65534) != 0)
            QSKIP("A link cannot be given to another user here: that takes root.");
        QCOMPARE(::mkfifo(QFile::encodeName(home.file("pipe")), 0600), 0);
        QVERIFY(QFile::link(original, home.file("symlink.txt")));
        QCOMPARE(::link(QFile::encodeName(original), QFile::encodeName(home.file("hardlink.txt"))),
                 0);
        makeFile(home, "big", randomBytes(2 << 20));
        const QStringList before = folderEntries(home.path()) + folderEntries(folder);

        if (afterBytes >= 0)
            injectCopyFault(afterBytes, error);
        injectCopyDelay(error == ECANCELED ? 10 : 0);
        const Result<CopiedSource> copied =
            copyAside(home.file(source), QDir::toNativeSeparators(home.file(destination)), [&] {
                if (error != ECANCELED)
                    return;
                QTest::qWait(50);
                cancelCopies();
            });
        injectCopyFault(-1, 0);
        injectCopyDelay(0);
        allowCopiesAgain();
        QCOMPARE(copied.message(), message);
        QVERIFY(!copied.ok());
        QCOMPARE(fileContents(kept[0]) + fileContents(kept[1]) + fileContents(kept[2]) +
                     fileContents(kept[3]),
                 "datadestinationguardedold");
        QCOMPARE(statOf(kept[3]).st_mtim.tv_sec, 1000000000);
        QCOMPARE(folderEntries(home.path()) + folderEntries(folder), before);
    }
};

QTEST_GUILESS_MAIN(TestFileCopy)
#include "tst_filecopy.moc"
