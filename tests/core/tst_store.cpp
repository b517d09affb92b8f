#include "modDatabaseBinary.h"
#include "tableImage.h"
#include "taskTable.h"
#include "testHome.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace db = modDatabaseBinary;

namespace {

// A cell built by hand, so the expected images do not depend on the code under test.
QByteArray cell(int slot, int flag, const QByteArray& number, const QByteArray& value, int width) {
    QByteArray bytes;
    bytes.append(char(slot));
    bytes.append(char(flag));
    bytes.append(number);
    bytes.append(value);
    bytes.append(width - value.size(), '\0');
    return bytes;
}

QByteArray number(int n) {
    QByteArray bytes(5, '\0');
    bytes[0] = char(n); // record numbers below 256 take one byte
    return bytes;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

QString text(const Result<QString>& result) {
    return result.ok() ? result.value() : "<failed>";
}

QStringList listed() {
    return db::resultList.mid(0, db::resultCount);
}

// A two-field table (A: 3 bytes, B: 5 bytes) for the format's own cases.
void useSmallSchema(const QString& path) {
    db::databaseFile = path;
    db::fieldCount = 2;
    db::fieldNames.fill(QString());
    db::fieldWidths.fill(0);
    db::fieldNames[0] = "A";
    db::fieldWidths[0] = 3;
    db::fieldNames[1] = "B";
    db::fieldWidths[1] = 5;
}

void addTask(int n, const QString& name) {
    QVERIFY(db::writeField(TaskField::TaskName, n, name).ok());
    QVERIFY(db::writeField(TaskField::SourceFile, n, "/src/" + name).ok());
    QVERIFY(db::writeField(TaskField::DestinationFile, n, "/dst/" + name).ok());
    QVERIFY(db::writeField(TaskField::Rule, n, "Every day").ok());
    QVERIFY(db::writeField(TaskField::ConfirmationOn, n, "0").ok());
    QVERIFY(db::writeField(TaskField::ConfirmationTitle, n, "").ok());
    QVERIFY(db::writeField(TaskField::ConfirmationQuestion, n, "").ok());
}

} // namespace

class TestStore : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home;
    QString tasksFile;

private slots:
    void init() {
        home = std::make_unique<TestHome>();
        openTaskTable();
        tasksFile = home->file("tasks.dat");
    }
    void cleanup() { home.reset(); }

    void recordNumberEncoding_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("0") << 0 << QByteArray::fromHex("0000000000");
        QTest::newRow("7") << 7 << QByteArray::fromHex("0700000000");
        QTest::newRow("255") << 255 << QByteArray::fromHex("ff00000000");
        QTest::newRow("256") << 256 << QByteArray::fromHex("ff01000000");
        QTest::newRow("300") << 300 << QByteArray::fromHex("ff2d000000");
        QTest::newRow("511") << 511 << QByteArray::fromHex("ffff010000");
        QTest::newRow("1275") << 1275 << QByteArray::fromHex("ffffffffff");
    }
    void recordNumberEncoding() {
        QFETCH(int, n);
        QFETCH(QByteArray, bytes);
        const Result<QByteArray> encoded = db::encodeRecordNumber(n);
        QVERIFY(encoded.ok());
        QCOMPARE(encoded.value(), bytes);
        QCOMPARE(db::decodeRecordNumber(bytes), n);

        // The number lands in the file as encoded and is listed back.
        QVERIFY(db::writeField(TaskField::TaskName, n, "t").ok());
        QCOMPARE(readFile(tasksFile).mid(2, 5), bytes);
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), QStringList{QString::number(n)});
    }

    void recordNumbersOutOfRangeAreRefused() {
        QVERIFY(!db::encodeRecordNumber(1276).ok());
        QVERIFY(!db::encodeRecordNumber(-1).ok());
        QVERIFY(db::writeField(TaskField::TaskName, 0, "first").ok());
        const QByteArray before = readFile(tasksFile);
        const Status refused = db::writeField(TaskField::TaskName, 1276, "x");
        QVERIFY(!refused.ok());
        QVERIFY2(refused.message().contains("1276"), qPrintable(refused.message()));
        QCOMPARE(readFile(tasksFile), before);
    }

    void noFreeRecordNumberLeft() {
        QByteArray image;
        for (int n = 0; n <= db::maxRecordNumber; ++n)
            image += cell(0, 0, db::encodeRecordNumber(n).value(), "t", 255);
        writeFile(tasksFile, image);
        QVERIFY(!db::nextRecordNumber().ok());
        QVERIFY(!db::duplicateRecord(0).ok());
        QCOMPARE(readFile(tasksFile), image);
        // Freeing one number makes it the next one again.
        QVERIFY(db::deleteRecord(700).ok());
        QCOMPARE(db::nextRecordNumber().value(), 700);
    }

    void padding_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("exact width, no NUL") << "abc" << 3 << QByteArray("abc");
        QTest::newRow("shorter, padded") << "ab" << 5 << QByteArray("ab\0\0\0", 5);
        QTest::newRow("empty is all zeros") << "" << 4 << QByteArray(4, '\0');
        QTest::newRow("multi-byte at the limit")
            << "\u00e9\u00e9" << 4 << QByteArray("\xc3\xa9\xc3\xa9");
        QTest::newRow("spaces are kept") << " a " << 4 << QByteArray(" a \0", 4);
    }
    void padding() {
        QFETCH(QString, value);
        QFETCH(int, width);
        QFETCH(QByteArray, stored);
        const Result<QByteArray> padded = db::padValue(value, width);
        QVERIFY(padded.ok());
        QCOMPARE(padded.value(), stored);
        QCOMPARE(db::unpadValue(stored), value);
    }

    void overLongValuesAreRefused_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("one byte too many") << QString("abcd");
        // Three bytes fit, the second character would be split.
        QTest::newRow("multi-byte over the limit") << QString("a\u00e9\u00e9");
    }
    void overLongValuesAreRefused() {
        QFETCH(QString, value);
        useSmallSchema(tasksFile);
        QVERIFY(!db::padValue(value, 3).ok());
        QVERIFY(db::writeField("A", 0, "x").ok());
        const QByteArray before = readFile(tasksFile);
        for (const int n : {0, 1}) { // in place and appended
            const Status refused = db::writeField("A", n, value);
            QVERIFY(!refused.ok());
            QVERIFY2(refused.message().contains("A") && refused.message().contains("3"),
                     qPrintable(refused.message()));
            QCOMPARE(readFile(tasksFile), before);
        }
        QCOMPARE(text(db::readField("A", 0)), "x");
    }

    void newAndCompleteTaskImages() {
        addTask(0, "Backup");
        QByteArray expected;
        expected += cell(0, 0, number(0), "Backup", 255);
        expected += cell(2, 0, number(0), "/src/Backup", 255);
        expected += cell(3, 0, number(0), "/dst/Backup", 255);
        expected += cell(4, 0, number(0), "Every day", 100);
        expected += cell(8, 0, number(0), "0", 1);
        expected += cell(9, 0, number(0), "", 50);
        expected += cell(10, 0, number(0), "", 255);
        QCOMPARE(expected.size(), 1220);
        QCOMPARE(readFile(tasksFile), expected);

        QVERIFY(db::writeField(TaskField::LastUpdated, 0, "07/12/2026").ok());
        QVERIFY(db::writeField(TaskField::FileDate, 0, "06/12/2026").ok());
        QVERIFY(db::writeField(TaskField::FileTime, 0, "10:11:12").ok());
        QVERIFY(db::writeField(TaskField::FileVersion, 0, "1.2.3.4").ok());
        expected += cell(1, 0, number(0), "07/12/2026", 25);
        expected += cell(5, 0, number(0), "06/12/2026", 25);
        expected += cell(6, 0, number(0), "10:11:12", 10);
        expected += cell(7, 0, number(0), "1.2.3.4", 50);
        QCOMPARE(expected.size(), 1358);
        QCOMPARE(readFile(tasksFile), expected);
    }

    void firstWriteCreatesOneCell() {
        useSmallSchema(tasksFile);
        QVERIFY(db::writeField("B", 7, "hello").ok());
        QCOMPARE(readFile(tasksFile), cell(1, 0, number(7), "hello", 5));
    }

    void secondWriteOverwritesInPlace() {
        useSmallSchema(tasksFile);
        QVERIFY(db::writeField("B", 1, "long!").ok());
        QVERIFY(db::writeField("A", 1, "abc").ok());
        QVERIFY(db::writeField("b", 1, "x").ok());
        QCOMPARE(readFile(tasksFile),
                 cell(1, 0, number(1), "x", 5) + cell(0, 0, number(1), "abc", 3));
        QCOMPARE(text(db::readField("B", 1)), "x");
    }

    void fieldNamesMatchCaseInsensitivelyElseSlotZero_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("slot");
        QTest::newRow("exact") << "FileTime" << 6;
        QTest::newRow("other case") << "fILEtIME" << 6;
        QTest::newRow("unknown") << "NoSuchField" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void fieldNamesMatchCaseInsensitivelyElseSlotZero() {
        QFETCH(QString, name);
        QFETCH(int, slot);
        QCOMPARE(db::fieldIndex(name), slot);
        QVERIFY(db::writeField(name, 3, "v").ok());
        QCOMPARE(quint8(readFile(tasksFile).at(0)), quint8(slot));
    }

    void missingFile() {
        db::resultList = QStringList{"stale"};
        db::resultCount = 1;
        db::fieldValues[0] = "stale";
        QVERIFY(db::listRecords().ok());
        QCOMPARE(db::resultCount, 0);
        QVERIFY(db::listFieldValues(TaskField::TaskName).ok());
        QCOMPARE(db::resultCount, 0);
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(db::fieldValues[0], QString());
        QCOMPARE(text(db::readField(TaskField::TaskName, 0)), QString());
        QCOMPARE(db::nextRecordNumber().value(), 0);
        QVERIFY(db::deleteRecord(0).ok());
        QVERIFY(db::deleteField(TaskField::TaskName, 0).ok());
        QVERIFY(db::checkTable().ok());
        QVERIFY(!QFile::exists(tasksFile));
    }

    void lowestFreeNumberIsReused() {
        for (const int n : {0, 1, 3})
            addTask(n, "t" + QString::number(n));
        QCOMPARE(db::nextRecordNumber().value(), 2);
        addTask(2, "t2");
        QCOMPARE(db::nextRecordNumber().value(), 4);
    }

    void deleteFlagsCellsAndFreesTheNumber() {
        addTask(0, "zero");
        addTask(1, "one");
        const QByteArray before = readFile(tasksFile);
        QVERIFY(db::deleteRecord(0).ok());
        const QByteArray after = readFile(tasksFile);
        QCOMPARE(after.size(), before.size());
        QByteArray expected = before;
        for (qsizetype offset = 0; offset < 1220;
             offset += 7 + taskFieldWidth(quint8(before[offset])))
            expected[offset + 1] = 0x01;
        QCOMPARE(after, expected);

        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), QStringList{"1"});
        QCOMPARE(text(db::readField(TaskField::TaskName, 0)), QString());
        QCOMPARE(db::nextRecordNumber().value(), 0);

        // The reused number gets fresh cells at the end; the old ones are never read again.
        QVERIFY(db::writeField(TaskField::TaskName, 0, "again").ok());
        QCOMPARE(readFile(tasksFile).size(), after.size() + 7 + 255);
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(db::fieldValues[slotTaskName], "again");
        QCOMPARE(db::fieldValues[slotSourceFile], QString());
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), (QStringList{"1", "0"}));
    }

    void listsFollowFileOrder() {
        for (const int n : {5, 2, 9})
            QVERIFY(db::writeField(TaskField::TaskName, n, "name" + QString::number(n)).ok());
        QVERIFY(db::writeField(TaskField::Rule, 1, "orphan").ok()); // no slot-0 cell: not a task
        QVERIFY(db::writeField(TaskField::TaskName, 2, "renamed").ok());
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), (QStringList{"5", "2", "9"}));
        QVERIFY(db::listFieldValues("taskname").ok());
        QCOMPARE(listed(), (QStringList{"name5", "renamed", "name9"}));
        // Listing leaves the number scratch alone and vice versa.
        QCOMPARE(db::nextRecordNumber().value(), 0);
        QCOMPARE(listed(), (QStringList{"name5", "renamed", "name9"}));
    }

    // A field index without a slot has width 0: a cell of its header alone, which the walk
    // steps over like any other.
    void laterLiveCellWinsInReadRecord() {
        useSmallSchema(tasksFile);
        writeFile(tasksFile, cell(0, 0, number(4), "old", 3) + cell(7, 0, number(4), "", 0) +
                                 cell(1, 0, number(4), "b", 5) + cell(255, 0, number(4), "", 0) +
                                 cell(0, 0, number(4), "new", 3));
        QVERIFY(db::checkTable().ok());
        QVERIFY(db::readRecord(4).ok());
        QCOMPARE(db::fieldValues[0], "new");
        QCOMPARE(db::fieldValues[1], "b");
        QCOMPARE(text(db::readField("A", 4)), "old"); // the first one stops the walk
    }

    // Flags other than 0x00 and 0x01: listers skip them, fetchers treat them as live.
    void unusualFlags() {
        useSmallSchema(tasksFile);
        const QByteArray image =
            cell(0, 0x02, number(0), "odd", 3) + cell(1, 0xff, number(0), "v", 5);
        writeFile(tasksFile, image);
        QVERIFY(db::listRecords().ok());
        QCOMPARE(db::resultCount, 0);
        QVERIFY(db::listFieldValues("B").ok());
        QCOMPARE(db::resultCount, 0);
        QCOMPARE(db::nextRecordNumber().value(), 0);
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(db::fieldValues[0], "odd");
        QCOMPARE(db::fieldValues[1], "v");
        QCOMPARE(text(db::readField("A", 0)), "odd");

        QVERIFY(db::writeField("A", 0, "new").ok()); // in place, flag untouched
        QCOMPARE(readFile(tasksFile), cell(0, 0x02, number(0), "new", 3) + image.mid(10));
        QVERIFY(db::deleteField("B", 0).ok());
        QCOMPARE(quint8(readFile(tasksFile).at(11)), quint8(0x01));
    }

    // Every stored byte is copied, also a title from a foreign file that is no valid UTF-8 and
    // would outgrow its width if decoded and encoded again. A live leftover cell of the new
    // number is written over in place, as writeField would.
    void duplicateCopiesAllElevenFields() {
        const auto value = [](int slot) {
            return slot == slotConfirmationTitle ? QByteArray(50, '\xe9')
                                                 : QByteArray(1, char('a' + slot));
        };
        const QByteArray deleted = cell(slotTaskName, 1, number(0), "gone", 255);
        QByteArray original, appended;
        for (int slot = 0; slot < taskFieldCount; ++slot) {
            original += cell(slot, 0, number(1), value(slot), taskFieldWidth(slot));
            if (slot != slotRule)
                appended += cell(slot, 0, number(0), value(slot), taskFieldWidth(slot));
        }
        writeFile(tasksFile, deleted + cell(slotRule, 0, number(0), "leftover", 100) + original);

        QVERIFY(db::duplicateRecord(1).ok());
        QCOMPARE(readFile(tasksFile), deleted + cell(slotRule, 0, number(0), value(slotRule), 100) +
                                          original + appended);
        QVERIFY(db::readRecord(1).ok());
        const auto values = db::fieldValues;
        QVERIFY(db::readRecord(0).ok());
        QVERIFY(db::fieldValues == values);
    }

    // A write that runs out of space leaves the file as it was, and once there is space again
    // the same write simply works. Without a table, a ballast file fills the volume instead.
    void fullDiskLeavesTheFileAsItWas_data() {
        QTest::addColumn<bool>("table");
        QTest::addColumn<int>("spare"); // bytes left free on the volume
        QTest::addColumn<bool>("duplicate");
        QTest::newRow("no table yet") << false << 0 << false;
        QTest::newRow("table fills the volume") << true << 0 << false;
        QTest::newRow("append cut short") << true << 100 << false;
        QTest::newRow("duplicate cut short") << true << 1000 << true;
    }
    void fullDiskLeavesTheFileAsItWas() {
        QFETCH(bool, table);
        QFETCH(int, spare);
        QFETCH(bool, duplicate);
        QVERIFY(QDir(home->path()).mkdir("volume"));
        const QByteArray volume = QFile::encodeName(home->file("volume"));
        if (::mount("tmpfs", volume, "tmpfs", 0, "size=16k") != 0)
            QSKIP(qPrintable(QString("a small tmpfs cannot be mounted: ") + std::strerror(errno)));
        const auto unmount = qScopeGuard([&] { ::umount2(volume, MNT_DETACH); });
        struct statvfs info {};
        QCOMPARE(::statvfs(volume, &info), 0);
        const qint64 size = qint64(info.f_blocks * info.f_frsize) - spare;
        db::databaseFile = home->file("volume/tasks.dat");
        QByteArray image, added = cell(slotTaskName, 0, number(1), "new", 255);
        if (table) {
            // One task, then deleted cells of 17 and 8 bytes up to the size wanted.
            QByteArray copy;
            for (int slot = 0; slot < taskFieldCount; ++slot) {
                image += cell(slot, 0, number(0), "t", taskFieldWidth(slot));
                copy += cell(slot, 0, number(1), "t", taskFieldWidth(slot));
            }
            if (duplicate)
                added = copy;
            while ((size - image.size()) % 8)
                image += cell(slotFileTime, 1, number(0), "", 10);
            while (image.size() < size)
                image += cell(slotConfirmationOn, 1, number(0), "", 1);
            writeFile(db::databaseFile, image);
        } else {
            writeFile(home->file("volume/ballast"), QByteArray(size, 'x'));
        }

        const auto attempt = [&] {
            return duplicate ? db::duplicateRecord(0)
                             : db::writeField(TaskField::TaskName, 1, "new");
        };
        const Status failed = attempt();
        QVERIFY(!failed.ok());
        QCOMPARE(QFile::exists(db::databaseFile), table);
        if (table)
            QCOMPARE(readFile(db::databaseFile), image);
        QVERIFY2(failed.message().contains("No space left on device"),
                 qPrintable(failed.message()));

        QCOMPARE(::mount("tmpfs", volume, "tmpfs", MS_REMOUNT, "size=1m"), 0);
        QVERIFY(attempt().ok());
        QCOMPARE(readFile(db::databaseFile), image + added);
    }

    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("damageAt");
        const QByteArray whole = cell(0, 0, number(0), "abc", 3) + cell(1, 0, number(1), "b1", 5) +
                                 cell(0, 0, number(1), "one", 3);
        QTest::newRow("ends inside a value")
            << whole + cell(1, 0, number(2), "cut", 5).left(9) << 32;
        QTest::newRow("ends inside a header") << whole + QByteArray::fromHex("0000ff") << 32;
        QTest::newRow("damage first") << cell(1, 0, number(2), "cut", 5).left(11) << 0;
    }
    void damagedFiles() {
        QFETCH(QByteArray, image);
        QFETCH(int, damageAt);
        useSmallSchema(tasksFile);
        writeFile(tasksFile, image);

        const Status check = db::checkTable();
        QVERIFY(!check.ok());
        QVERIFY2(check.message().contains(tasksFile) &&
                     check.message().contains("byte " + QString::number(damageAt)),
                 qPrintable(check.message()));

        // Readers use every whole cell before the damage.
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), damageAt ? (QStringList{"0", "1"}) : QStringList());
        QVERIFY(db::readRecord(1).ok());
        QCOMPARE(db::fieldValues[0], damageAt ? "one" : "");
        QCOMPARE(db::fieldValues[1], damageAt ? "b1" : "");
        QCOMPARE(text(db::readField("A", 2)), QString());
        QVERIFY(db::listFieldValues("B").ok());
        QCOMPARE(db::nextRecordNumber().value(), damageAt ? 2 : 0);

        // Writers refuse and leave every byte as it was.
        const std::vector<std::pair<const char*, Status>> writes = {
            {"in place", db::writeField("A", 0, "new")}, {"append", db::writeField("B", 9, "new")},
            {"deleteField", db::deleteField("A", 1)},    {"deleteRecord", db::deleteRecord(1)},
            {"duplicateRecord", db::duplicateRecord(1)},
        };
        for (const auto& [what, status] : writes) {
            QVERIFY2(!status.ok(), what);
            QVERIFY2(status.message().contains(tasksFile), qPrintable(status.message()));
        }
        QCOMPARE(readFile(tasksFile), image);
    }

    // The store keeps an image of the file; changes made behind its back must still be seen.
    void changesFromOutsideAreSeen() {
        useSmallSchema(tasksFile);
        const QByteArray first = cell(0, 0, number(0), "one", 3);
        const QByteArray second = cell(0, 0, number(0), "two", 3);
        writeFile(tasksFile, first);
        QCOMPARE(text(db::readField("A", 0)), "one");

        // Same size, right away: the time stamp may well be the same.
        writeFile(tasksFile, second);
        QCOMPARE(text(db::readField("A", 0)), "two");

        // Same size with the old modification time put back, once the image is no longer fresh.
        QTest::qWait(120);
        QCOMPARE(text(db::readField("A", 0)), "two");
        struct stat before {};
        QVERIFY(::stat(QFile::encodeName(tasksFile).constData(), &before) == 0);
        QFile file(tasksFile);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(7) && file.write("uno") == 3 && file.flush());
        file.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(tasksFile).constData(), times, 0) == 0);
        QCOMPARE(text(db::readField("A", 0)), "uno");

        QTest::qWait(120);
        QCOMPARE(text(db::readField("A", 0)), "uno");
        writeFile(tasksFile, first);
        QCOMPARE(text(db::readField("A", 0)), "one");

        // Replaced by another file, then removed.
        QTest::qWait(120);
        QVERIFY(QFile::remove(tasksFile));
        writeFile(tasksFile, second + cell(0, 0, number(1), "new", 3));
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), (QStringList{"0", "1"}));
        QVERIFY(QFile::remove(tasksFile));
        QVERIFY(db::listRecords().ok());
        QCOMPARE(db::resultCount, 0);
    }

    void ownWritesAndOutsideWritesMix() {
        useSmallSchema(tasksFile);
        QVERIFY(db::writeField("A", 0, "abc").ok());
        QFile file(tasksFile);
        QVERIFY(file.open(QIODevice::Append));
        file.write(cell(0, 0, number(1), "ext", 3));
        file.close();
        QCOMPARE(db::nextRecordNumber().value(), 2);
        QVERIFY(db::writeField("A", 1, "own").ok()); // in place over the outside cell
        QVERIFY(db::writeField("B", 0, "x").ok());
        QCOMPARE(readFile(tasksFile), cell(0, 0, number(0), "abc", 3) +
                                          cell(0, 0, number(1), "own", 3) +
                                          cell(1, 0, number(0), "x", 5));
    }

    // Within one tick of the file system's clock a rewrite can keep the time stamp: an image
    // taken that soon after the last modification must be read again.
    void freshImagesAreReadAgain_data() {
        QTest::addColumn<qint64>("modifiedNs");
        QTest::addColumn<qint64>("capturedNs");
        QTest::addColumn<bool>("stale");
        const qint64 ms = 1000000;
        const qint64 fine = 1700000000LL * 1000 * ms + 123456789;
        const qint64 whole = 1700000000LL * 1000 * ms;
        QTest::newRow("fine, same instant") << fine << fine << true;
        QTest::newRow("fine, 10 ms later") << fine << fine + 10 * ms << true;
        QTest::newRow("fine, a second later") << fine << fine + 1000 * ms << false;
        QTest::newRow("fine, taken before") << fine << fine - 5 * ms << true;
        QTest::newRow("whole seconds, a second later") << whole << whole + 1000 * ms << true;
        QTest::newRow("whole seconds, 3 s later") << whole << whole + 3000 * ms << false;
    }
    void freshImagesAreReadAgain() {
        QFETCH(qint64, modifiedNs);
        QFETCH(qint64, capturedNs);
        QFETCH(bool, stale);
        QCOMPARE(mayHaveChangedUnseen(modifiedNs, capturedNs), stale);
    }

    void schemaChangeRewalksTheFile() {
        useSmallSchema(tasksFile);
        writeFile(tasksFile, cell(1, 0, number(0), "bb", 5) + cell(0, 0, number(3), "a", 3));
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), QStringList{"3"});
        db::fieldWidths[1] = 4; // the walk now loses step and runs into the end mid-cell
        QVERIFY(!db::checkTable().ok());
        db::fieldWidths[1] = 5;
        QVERIFY(db::checkTable().ok());
    }

    void fileErrorsAreReported() {
        // A folder where the file should be cannot be read as a table.
        QVERIFY(QDir(home->path()).mkdir("tasks.dat"));
        const Result<QString> read = db::readField(TaskField::TaskName, 0);
        QVERIFY(!read.ok());
        QVERIFY2(read.message().startsWith("Could not read the task file " + tasksFile + ": "),
                 qPrintable(read.message()));
        QVERIFY(!db::listRecords().ok());

        // A file in place of the folder: the table cannot be created.
        writeFile(home->file("plain"), "x");
        db::databaseFile = home->file("plain") + "/tasks.dat";
        const Status write = db::writeField(TaskField::TaskName, 0, "t");
        QVERIFY(!write.ok());
        QVERIFY2(
            write.message().startsWith("Could not write the task file " + db::databaseFile + ": "),
            qPrintable(write.message()));
        QCOMPARE(readFile(home->file("plain")), QByteArray("x"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
