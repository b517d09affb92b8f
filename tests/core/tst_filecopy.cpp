#include "copyChecks.h"
#include "copyFaultInjection.h"
#include "fatVolume.h"
#include "fileTimes.h"
#include "fileWriter.h"
#include "modFileCopy.h"
#include "modRegistry.h"
#include "modSetAside.h"
#include "portableCopy.h"
#include "smallVolume.h"
#include "testHome.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Runs a task's copy on the copies' worker, as the program does, and waits for its end;
// meanwhile runs while the data moves.
Result<CopiedSource> copyAside(const QString& source, const QString& destination,
                               const std::function<void()>& meanwhile) {
    QObject receiver;
    std::optional<Result<CopiedSource>> outcome;
    const Status started = startCopy(
        &receiver, source, destination,
        [&](const Result<CopiedSource>& copied) { outcome = copied; }, {},
        NewerDestination::setAside);
    if (!started)
        return started;
    meanwhile();
    while (!outcome)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return *outcome;
}

Result<CopiedSource> copyPortably(const QString& source, const QString& destination) {
    CopyJob job;
    job.source = source;
    job.destination = destination;
    return copyPortably(job);
}

// Everything in the folder, hidden files included: a leftover temporary file shows up here.
QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A file of this size holding only `data`, at its end.
QString sparseFile(const QString& path, qint64 size, const QByteArray& data) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size) || !file.seek(size - data.size()) ||
        file.write(data) != data.size())
        qFatal("cannot make a sparse file");
    return path;
}

bool makeSocket(const QString& path) {
    sockaddr_un address{AF_UNIX, {}};
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
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
        // fusefat tells no free space on FAT32: none known is no refusal.
        QTest::newRow("FAT32 volume, new destination") << qsizetype(1000) << "FAT32 new";
        QTest::newRow("through a symbolic link") << qsizetype(1000) << "existing link";
        QTest::newRow("portable, new destination") << qsizetype(5 << 20) << "portable new";
        QTest::newRow("portable, over existing") << qsizetype(1000) << "portable existing";
    }

    // The time stamp is kept to the destination's resolution (FAT keeps two seconds, the portable
    // copy milliseconds); a new destination gets the source's permissions less the mask, an
    // existing one keeps its own, and FAT has none. A linked destination is replaced through its
    // target, the link staying. Leftovers of copies cut short go for this destination only.
    void copiesContentTimeAndMode() {
        TestHome home;
        QFETCH(qsizetype, size);
        QFETCH(QString, destination);
        const bool onFat = destination.startsWith("FAT"), linked = destination.endsWith("link"),
                   destinationExists = destination.contains("existing"),
                   portable = destination.startsWith("portable");
        const FatVolume fat(destination.startsWith("FAT32"));
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
        const Result<CopiedSource> copied =
            portable ? copyPortably(source, destination) : copyFileOver(source, destination);
        ::umask(mask);
        QVERIFY2(copied.ok(), qPrintable(copied.message()));
        QCOMPARE(QFileInfo(destination).isSymLink(), linked);
        QCOMPARE(fileContents(target), content);
        const struct stat copy = statOf(target);
        const qint64 behind =
            1020435731'123456789 - copy.st_mtim.tv_sec * qint64(1000000000) - copy.st_mtim.tv_nsec;
        const qint64 resolution = onFat ? 2000000000 : portable ? 1000000 : 1;
        QVERIFY2(behind >= 0 && behind < resolution, qPrintable(QString::number(behind)));
        if (!onFat && !(portable && !destinationExists))
            QCOMPARE(int(copy.st_mode & 07777), destinationExists ? 0600 : 0750);
        QStringList expected = others + QStringList{"destination.bin", stem};
        if (portable) // the save file's own leftovers are its own business
            expected.append("." + stem + ".tidewell-Zz9Yy8");
        expected.removeDuplicates();
        expected.sort();
        QCOMPARE(folderEntries(folder), expected);
    }

    void failuresLeaveEverythingAsItWas_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination"); // in the test's folder; "FAT/" on a FAT volume
        QTest::addColumn<qint64>("afterBytes");   // -1: no injected fault
        QTest::addColumn<int>("error");           // 0: a refusal before any byte moves
        QTest::addColumn<QString>("message");     // how the line begins
        QTest::addColumn<bool>("lasting");        // met again at every try
        const QString missing = "The source file does not exist.",
                      noFolder = "The destination folder does not exist.",
                      same = "The source and destination are the same file.",
                      full = "There is not enough space on the disk";
        const auto refuse = [](const QString& name, const char* source, const QString& destination,
                               const QString& message, bool lasting) {
            QTest::newRow(qPrintable(name))
                << QString(source) << destination << qint64(-1) << 0 << message << lasting;
        };
        refuse("missing source", "missing.txt", "dest.txt", missing, false);
        refuse("source is a folder", "folder", "dest.txt", missing, false);
        for (const QString file : {"pipe", "device", "socket"}) {
            const QString what = file == "pipe" ? "named pipe" : file;
            refuse("source is a " + what, qPrintable(file), "dest.txt",
                   "The source is a " + what + ", not a file.", true);
            refuse("destination is a " + what, "src.txt", file,
                   "The destination is a " + what + ", not a file.", true);
        }
        refuse("destination is a folder", "src.txt", "folder", "The destination is a folder.",
               true);
        // The task table, by name or through a link, the log file not made yet, the settings.
        for (const QString own : {"tasks.dat", "hardlink-tasks", "Tidewell.log", "<settings>"})
            refuse("destination is own file " + own, "src.txt", own,
                   "The destination is Tidewell's own file ", true);
        refuse("destination names no folder", "src.txt", "<relative>",
               "The destination names no folder", true);
        refuse("missing destination folder", "src.txt", "nowhere/dest.txt", noFolder, false);
        refuse("destination folder is a file", "src.txt", "dest.txt/inner.txt", noFolder, false);
        refuse("read-only destination", "src.txt", "readonly.txt", "Access is denied.", false);
        refuse("same file through a symbolic link", "src.txt", "folder/../symlink.txt", same,
               false);
        refuse("same file through a hard link", "src.txt", "hardlink.txt", same, false);
        refuse("a link another user planted in a shared folder", "src.txt", "shared/planted",
               "The destination is a link that another user planted in a shared folder; it was "
               "not followed.",
               false);
        refuse("a name FAT refuses", "src.txt", "FAT/what?.txt",
               "The name what?.txt cannot be given on the destination's volume", true);
        refuse("a name FAT refuses, ending in a dot", "src.txt", "FAT/report.", "The name", true);
        refuse("larger than FAT holds", "sparse", "FAT/big",
               "The source (4.5 GiB) is larger than the destination's volume can hold: FAT keeps "
               "files of at most 4 GiB less one byte.",
               true);
        // The copy needs more than a small memory file system has; a file that states no size
        // holds more than it has room for.
        refuse("not enough room", "big", "folder/kept", full + ": the copy needs 2.0 MiB", false);
        refuse("source outgrows the room", "/proc/self/pagemap", "folder/kept",
               "The source holds more than the free space on the disk", false);
        const std::vector<std::tuple<const char*, qint64, int, QString>> failures = {
            {"disk full at once", 0, ENOSPC, full + "."},
            // A limit on the size of files stands in for a disk that fills up, without root.
            {"file size limit met midway", -1, EFBIG,
             "The file is larger than the destination can hold."},
            {"device error midway", 1, EIO, "A device input/output error occurred."},
            // An allocation fails on the copy's thread.
            {"out of memory midway", 1000, ENOMEM, "There is not enough memory to copy the file."},
            // The program ends while the data moves.
            {"cancelled at exit", -1, ECANCELED,
             "The copy was stopped because Tidewell is closing."},
            // The rename fails, or the program ends, once a newer destination is set aside: it
            // is put back.
            {"rename fails, newer destination put back", -1, EIO,
             "A device input/output error occurred."},
            {"cancelled at exit, newer destination put back", -1, ECANCELED,
             "The copy was stopped because Tidewell is closing."}};
        for (const auto& [name, afterBytes, error, text] : failures)
            QTest::newRow(name) << QString("big") << "folder/kept" << afterBytes << error << text
                                << false;
    }

    // A refused or failed copy writes nothing: every file keeps its content, the old destination
    // its time stamp, and no temporary file is left. What only a change of the source could mend
    // is a lasting failure.
    void failuresLeaveEverythingAsItWas() {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(qint64, afterBytes);
        QFETCH(int, error);
        QFETCH(QString, message);
        QFETCH(bool, lasting);
        TestHome home;
        const QString original = makeFile(home, "src.txt"), folder = home.file("folder");
        QVERIFY(QDir().mkdir(folder));
        std::optional<SmallVolume> disk; // a real disk that fills up
        if (destination == "folder/kept" && afterBytes < 0 && error == 0 &&
            !disk.emplace(folder, "size=1m").mounted())
            QSKIP(SmallVolume::unavailable());
        std::optional<FatVolume> fat;
        if (destination.startsWith("FAT/") && !fat.emplace().mounted())
            QSKIP(FatVolume::unavailable());
        const QStringList kept = {original, makeFile(home, "dest.txt", "destination"),
                                  makeFile(home, "readonly.txt", "guarded"),
                                  makeFile(home, "folder/kept", "old"),
                                  makeFile(home, "tasks.dat", "tasks")};
        QCOMPARE(::chmod(QFile::encodeName(kept[2]), 0444), 0);
        const bool newer = QByteArray(QTest::currentDataTag()).contains("newer");
        setModified(kept[3], {newer ? 2000000000 : 1000000000, 0});
        const QByteArray shared = QFile::encodeName(home.file("shared")); // like /tmp
        QCOMPARE(::mkdir(shared, 0777) + ::chmod(shared, 01777), 0);
        QCOMPARE(::symlink(QFile::encodeName(kept[1]), shared + "/planted"), 0);
        if (destination.startsWith("shared") && ::lchown(shared + "/planted", 65534, 65534) != 0)
            QSKIP("A link cannot be given to another user here: that takes root.");
        if (::mknod(QFile::encodeName(home.file("device")), S_IFCHR | 0666, makedev(1, 3)) != 0 &&
            (source == "device" || destination == "device"))
            QSKIP("A device cannot be made here: that takes root.");
        QVERIFY(makeSocket(home.file("socket")));
        QCOMPARE(::mkfifo(QFile::encodeName(home.file("pipe")), 0600), 0);
        QVERIFY(QFile::link(original, home.file("symlink.txt")));
        QCOMPARE(::link(QFile::encodeName(original), QFile::encodeName(home.file("hardlink.txt"))),
                 0);
        QCOMPARE(::link(QFile::encodeName(kept[4]), QFile::encodeName(home.file("hardlink-tasks"))),
                 0);
        makeFile(home, "big", randomBytes(2 << 20));
        sparseFile(home.file("sparse"), qint64(9) << 29, "data");
        destination = destination == "<settings>"   ? settingsLocation()
                      : destination == "<relative>" ? QString("report.txt")
                      : destination.startsWith("FAT/")
                          ? fat->path() + destination.mid(3)
                          : QDir::toNativeSeparators(home.file(destination));
        const QStringList before = folderEntries(home.path()) + folderEntries(folder);
        const QByteArray settings = fileContents(settingsLocation());

        injectCopyFault(afterBytes, error);
        injectCopyDelay(error == ECANCELED ? 10 : 0);
        injectRenameFault(newer && error == EIO ? EIO : 0,
                          newer && error == ECANCELED ? cancelCopies : nullptr);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}, limited{1 << 20, RLIM_INFINITY};
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, error == EFBIG ? &limited : &unlimited), 0);
        const Result<CopiedSource> copied =
            copyAside(source.startsWith('/') ? source : home.file(source), destination, [&] {
                if (error != ECANCELED || newer)
                    return;
                QTest::qWait(50);
                cancelCopies();
            });
        injectCopyFault(-1, 0);
        injectCopyDelay(0);
        injectRenameFault(0);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        allowCopiesAgain();
        QVERIFY2(copied.message().startsWith(message), qPrintable(copied.message()));
        QVERIFY(!copied.ok());
        QCOMPARE(copied.status().lasting(), lasting);
        QCOMPARE(fileContents(kept[0]) + fileContents(kept[1]) + fileContents(kept[2]) +
                     fileContents(kept[3]) + fileContents(kept[4]),
                 "datadestinationguardedoldtasks");
        QCOMPARE(statOf(kept[3]).st_mtim.tv_sec, newer ? 2000000000 : 1000000000);
        QCOMPARE(folderEntries(home.path()) + folderEntries(folder), before);
        QCOMPARE(fileContents(settingsLocation()), settings);
        QVERIFY(!QFile::exists("report.txt"));
        if (fat)
            QCOMPARE(folderEntries(fat->path()), QStringList());
    }

    // The portable copy compares the whole state of the source: one replaced by another file of
    // the same size and time while the data moves is not put in place.
    void portableCopyNoticesAReplacedSource() {
        TestHome home;
        const QString source = makeFile(home, "src.bin", randomBytes(1 << 20)),
                      other = makeFile(home, "other.bin", randomBytes(1 << 20));
        setModified(source, {1000000000, 0});
        setModified(other, {1000000000, 0});
        injectCopyDelay(10); // 16 chunks
        std::thread replace([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            ::rename(QFile::encodeName(other).constData(), QFile::encodeName(source).constData());
        });
        const Result<CopiedSource> copied = copyPortably(source, home.file("dst.bin"));
        replace.join();
        injectCopyDelay(0);
        QCOMPARE(copied.message(), "The source file changed while it was being copied.");
        QVERIFY(!QFile::exists(home.file("dst.bin")));
    }

    void keepsHolesAndSharesBlocks_data() {
        QTest::addColumn<QString>("volume"); // a small memory file system, or an XFS image
        QTest::addColumn<QString>(
            "source"); // a sparse file of 6 GiB, a full one, or the file named
        QTest::newRow("sparse, far larger than the volume") << "tmpfs"
                                                            << "sparse";
        QTest::newRow("a file that states no size") << "tmpfs"
                                                    << "/proc/self/mountinfo";
        QTest::newRow("blocks shared on XFS") << "xfs"
                                              << "full";
    }

    // A sparse source keeps its holes, so a copy takes no more room than its data; where the
    // file system can share blocks the copy takes no room of its own; a file that states no size
    // is copied to its end.
    void keepsHolesAndSharesBlocks() {
        QFETCH(QString, volume);
        QFETCH(QString, source);
        TestHome home;
        const QString folder = home.file("to"), image = home.file("xfs.img");
        std::optional<SmallVolume> memory;
        if (volume == "tmpfs" && !memory.emplace(folder, "size=64m").mounted())
            QSKIP(SmallVolume::unavailable());
        const auto unmount = qScopeGuard([&] {
            if (volume == "xfs")
                QProcess::execute("umount", {folder});
        });
        if (volume == "xfs" &&
            !(QFile(image).open(QIODevice::WriteOnly) && QFile::resize(image, 320 << 20) &&
              QDir().mkdir(folder) && QProcess::execute("mkfs.xfs", {"-q", image}) == 0 &&
              QProcess::execute("mount", {"-o", "loop", image, folder}) == 0))
            QSKIP("No XFS volume can be mounted here (needs mkfs.xfs, loop devices and root).");
        const qint64 size = source == "sparse" ? qint64(6) << 30 : 32 << 20;
        const QByteArray data = randomBytes(source == "sparse" ? 8192 : size);
        const bool stated = !source.startsWith('/');
        if (stated)
            source = sparseFile(folder + "/source", size, data);
        const qint64 free = freeBytes(folder);
        const Result<CopiedSource> copied = copyFileOver(source, folder + "/copy");
        QVERIFY2(copied.ok(), qPrintable(copied.message()));
        QFile copy(folder + "/copy");
        QVERIFY(stated || fileContents(copy.fileName()).startsWith(fileContents(source).left(20)));
        if (!stated)
            return;
        QCOMPARE(copy.size(), size);
        QVERIFY(copy.open(QIODevice::ReadOnly) && copy.seek(size - data.size()));
        QCOMPARE(copy.read(data.size()), data);
        QVERIFY2(free - freeBytes(folder) < (1 << 20), qPrintable(QString::number(free)));
    }

    // On a stick, which keeps local time, the last copy read an hour later across a change of
    // summer time is still that copy, not newer work to set aside; without the time it was given
    // it would look newer than a source saved ten minutes after it.
    void summerTimeOnAStickIsNoNewerWork() {
        TestHome home;
        const FatVolume fat;
        if (!fat.mounted())
            QSKIP(FatVolume::unavailable());
        constexpr qint64 copied = 1793500000, hour = 3600;
        const QString source = home.file("report.txt"), destination = fat.path() + "/report.txt";
        writeFile(source, "saved again");
        writeFile(destination, "copied");
        setModified(source, timespec{copied + 600, 0});
        setModified(destination, timespec{copied + hour, 0});
        QVERIFY(!planSetAside(source, destination, copied * 1000000000).wanted);
        QVERIFY(planSetAside(source, destination, std::nullopt).wanted);
    }
};

QTEST_GUILESS_MAIN(TestFileCopy)
#include "tst_filecopy.moc"
