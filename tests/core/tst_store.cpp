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

// A cell built by hand, so the expected images do not depend on the code under test. Record
// numbers below 256 take the first of the five number bytes.
QByteArray cell(int slot, int flag, int number, const QByteArray& value, int width) {
    return char(slot) + (char(flag) + (char(number) + QByteArray(4, '\0'))) + value +
           QByteArray(width - value.size(), '\0');
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
void useSmallSchema() {
    db::fieldCount = 2;
    db::fieldNames.fill(QString());
    db::fieldWidths.fill(0);
    db::fieldNames[0] = "A";
    db::fieldWidths[0] = 3;
    db::fieldNames[1] = "B";
    db::fieldWidths[1] = 5;
}

void addTask(int n, const QString& name) {
    for (const auto& [field, value] :
         QList<std::pair<const char*, QString>>{{TaskField::TaskName, name},
                                                {TaskField::SourceFile, "/src/" + name},
                                                {TaskField::DestinationFile, "/dst/" + name},
                                                {TaskField::Rule, "Every day"},
                                                {TaskField::ConfirmationOn, "0"},
                                                {TaskField::ConfirmationTitle, ""},
                                                {TaskField::ConfirmationQuestion, ""}})
        QVERIFY(db::writeField(field, n, value).ok());
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

    // Refused numbers leave the file as it was and name the number.
    void recordNumberEncoding_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QByteArray>("bytes"); // empty: refused
        for (const auto& [n, hex] : std::vector<std::pair<int, const char*>>{{0, "0000000000"},
                                                                             {7, "0700000000"},
                                                                             {255, "ff00000000"},
                                                                             {256, "ff01000000"},
                                                                             {300, "ff2d000000"},
                                                                             {511, "ffff010000"},
                                                                             {1275, "ffffffffff"},
                                                                             {1276, ""},
                                                                             {-1, ""}})
            QTest::newRow(qPrintable(QString::number(n))) << n << QByteArray::fromHex(hex);
    }
    void recordNumberEncoding() {
        QFETCH(int, n);
        QFETCH(QByteArray, bytes);
        QCOMPARE(db::encodeRecordNumber(n).ok(), !bytes.isEmpty());
        const Status written = db::writeField(TaskField::TaskName, n, "t");
        QCOMPARE(written.ok(), !bytes.isEmpty());
        QVERIFY(db::listRecords().ok());
        if (bytes.isEmpty()) {
            QVERIFY2(written.message().contains(QString::number(n)), qPrintable(written.message()));
            QVERIFY(!QFile::exists(tasksFile));
            return;
        }
        QCOMPARE(db::encodeRecordNumber(n).value(), bytes);
        QCOMPARE(db::decodeRecordNumber(bytes), n);
        QCOMPARE(readFile(tasksFile).mid(2, 5), bytes);
        QCOMPARE(listed(), QStringList{QString::number(n)});
    }

    void noFreeRecordNumberLeft() {
        QByteArray image;
        for (int n = 0; n <= db::maxRecordNumber; ++n)
            image += cell(0, 0, 0, "t", 255).replace(2, 5, db::encodeRecordNumber(n).value());
        writeFile(tasksFile, image);
        QVERIFY(!db::nextRecordNumber().ok());
        QVERIFY(!db::duplicateRecord(0).ok());
        QCOMPARE(readFile(tasksFile), image);
        QVERIFY(db::deleteRecord(700).ok()); // a freed number is the next one again
        QCOMPARE(db::nextRecordNumber().value(), 700);
    }

    // A value is stored padded with NULs to its field's width, in place and appended alike;
    // one that does not fit is refused with the field and width named, the file untouched.
    void padding_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("stored"); // empty: refused
        QTest::newRow("exact width, no NUL") << "abc" << 3 << QByteArray("abc");
        QTest::newRow("shorter, padded") << "ab" << 5 << QByteArray("ab\0\0\0", 5);
        QTest::newRow("empty is all zeros") << "" << 4 << QByteArray(4, '\0');
        QTest::newRow("multi-byte at the limit")
            << "\u00e9\u00e9" << 4 << QByteArray("\xc3\xa9\xc3\xa9");
        QTest::newRow("spaces are kept") << " a " << 4 << QByteArray(" a \0", 4);
        QTest::newRow("one byte too many") << "abcd" << 3 << QByteArray();
        // Three bytes fit, the second character would be split.
        QTest::newRow("multi-byte over the limit") << "a\u00e9\u00e9" << 3 << QByteArray();
    }
    void padding() {
        QFETCH(QString, value);
        QFETCH(int, width);
        QFETCH(QByteArray, stored);
        useSmallSchema();
        db::fieldWidths[0] = width;
        QVERIFY(db::writeField("A", 0, "x").ok());
        const QByteArray before = readFile(tasksFile);
        for (const int n : {0, 1}) { // in place and appended
            const Status written = db::writeField("A", n, value);
            QCOMPARE(written.ok(), !stored.isEmpty());
            if (stored.isEmpty()) {
                QVERIFY2(written.message().contains("A") && written.message().contains("3"),
                         qPrintable(written.message()));
                QCOMPARE(readFile(tasksFile), before);
            } else {
                QCOMPARE(readFile(tasksFile).mid(7, width), stored);
                QCOMPARE(text(db::readField("A", n)), value);
            }
        }
        QCOMPARE(readFile(tasksFile).size(), stored.isEmpty() ? 10 : 2 * (7 + width));
    }

    // Slots in schema order with their widths; a later write goes over its cell in place
    // whatever the case of the field's name, and an unknown name means slot 0.
    void taskImages() {
        addTask(0, "Backup");
        QByteArray expected;
        for (const auto& [slot, value] : std::vector<std::pair<int, QByteArray>>{{0, "Backup"},
                                                                                 {2, "/src/Backup"},
                                                                                 {3, "/dst/Backup"},
                                                                                 {4, "Every day"},
                                                                                 {8, "0"},
                                                                                 {9, ""},
                                                                                 {10, ""}})
            expected += cell(slot, 0, 0, value, taskFieldWidth(slot));
        QCOMPARE(readFile(tasksFile), expected);
        QCOMPARE(expected.size(), 1220);

        QVERIFY(db::writeField(TaskField::LastUpdated, 0, "07/12/2026").ok());
        QVERIFY(db::writeField(TaskField::FileDate, 0, "06/12/2026").ok());
        QVERIFY(db::writeField(TaskField::FileTime, 0, "10:11:12").ok());
        QVERIFY(db::writeField(TaskField::FileVersion, 0, "1.2.3.4").ok());
        QVERIFY(db::writeField("sOURCEfILE", 0, "/s").ok());
        QVERIFY(db::writeField("NoSuchField", 0, "Bk").ok());
        expected.replace(0, 262, cell(0, 0, 0, "Bk", 255));
        expected.replace(262, 262, cell(2, 0, 0, "/s", 255));
        expected += cell(1, 0, 0, "07/12/2026", 25) + cell(5, 0, 0, "06/12/2026", 25) +
                    cell(6, 0, 0, "10:11:12", 10) + cell(7, 0, 0, "1.2.3.4", 50);
        QCOMPARE(readFile(tasksFile), expected);
        QCOMPARE(expected.size(), 1358);
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

    // Deleting flags every cell of the task and frees its number, the lowest free one being
    // handed out next; the number's fresh cells go to the end, the flagged ones are never read.
    void deleteAndReuseNumbers() {
        for (const int n : {0, 1, 3})
            addTask(n, "t" + QString::number(n));
        QCOMPARE(db::nextRecordNumber().value(), 2);
        const QByteArray before = readFile(tasksFile);
        QVERIFY(db::deleteRecord(0).ok());
        QByteArray expected = before;
        for (qsizetype offset = 0; offset < 1220;
             offset += 7 + taskFieldWidth(quint8(before[offset])))
            expected[offset + 1] = 0x01;
        QCOMPARE(readFile(tasksFile), expected);
        QCOMPARE(text(db::readField(TaskField::TaskName, 0)), QString());
        QCOMPARE(db::nextRecordNumber().value(), 0);

        QVERIFY(db::writeField(TaskField::TaskName, 0, "again").ok());
        QCOMPARE(readFile(tasksFile).size(), before.size() + 7 + 255);
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(db::fieldValues[slotTaskName], "again");
        QCOMPARE(db::fieldValues[slotSourceFile], QString());
        QCOMPARE(db::nextRecordNumber().value(), 2);
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), (QStringList{"1", "3", "0"}));
    }

    void listsFollowFileOrder() {
        for (const int n : {5, 2, 9})
            QVERIFY(db::writeField(TaskField::TaskName, n, "name" + QString::number(n)).ok());
        QVERIFY(db::writeField(TaskField::Rule, 1, "orphan").ok()); // no slot-0 cell: not a task
        QVERIFY(db::writeField(TaskField::TaskName, 2, "renamed").ok());
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), (QStringList{"5", "2", "9"}));
        QVERIFY(db::listFieldValues("taskname").ok());
        // Looking for a free number leaves the list alone.
        QCOMPARE(db::nextRecordNumber().value(), 0);
        QCOMPARE(listed(), (QStringList{"name5", "renamed", "name9"}));
    }

    // Hand-made files: a slot without a width is a header alone and is stepped over, the last
    // live cell of a field wins in readRecord while readField stops at the first, and flags
    // other than 0x00 and 0x01 are skipped by the listers but live for the fetchers.
    void foreignCells() {
        useSmallSchema();
        const QByteArray odd = cell(0, 0x02, 0, "odd", 3) + cell(1, 0xff, 0, "v", 5);
        writeFile(tasksFile, odd + cell(0, 0, 4, "old", 3) + cell(7, 0, 4, "", 0) +
                                 cell(1, 0, 4, "b", 5) + cell(255, 0, 4, "", 0) +
                                 cell(0, 0, 4, "new", 3));
        QVERIFY(db::checkTable().ok());
        QVERIFY(db::readRecord(4).ok());
        QCOMPARE(db::fieldValues[0], "new");
        QCOMPARE(db::fieldValues[1], "b");
        QCOMPARE(text(db::readField("A", 4)), "old");
        QVERIFY(db::listFieldValues("B").ok());
        QCOMPARE(listed(), QStringList{"b"});
        QCOMPARE(db::nextRecordNumber().value(), 0);
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(db::fieldValues[0], "odd");
        QCOMPARE(db::fieldValues[1], "v");
        QVERIFY(db::writeField("A", 0, "new").ok()); // in place, flag untouched
        QVERIFY(db::deleteField("B", 0).ok());
        QCOMPARE(readFile(tasksFile).left(22),
                 cell(0, 0x02, 0, "new", 3) + cell(1, 0x01, 0, "v", 5));
    }

    // Every stored byte is copied, also a title from a foreign file that is no valid UTF-8 and
    // would outgrow its width if decoded and encoded again. A live leftover cell of the new
    // number is written over in place, as writeField would.
    void duplicateCopiesAllElevenFields() {
        const auto value = [](int slot) {
            return slot == slotConfirmationTitle ? QByteArray(50, '\xe9')
                                                 : QByteArray(1, char('a' + slot));
        };
        const QByteArray deleted = cell(slotTaskName, 1, 0, "gone", 255);
        QByteArray original, appended;
        for (int slot = 0; slot < taskFieldCount; ++slot) {
            original += cell(slot, 0, 1, value(slot), taskFieldWidth(slot));
            if (slot != slotRule)
                appended += cell(slot, 0, 0, value(slot), taskFieldWidth(slot));
        }
        writeFile(tasksFile, deleted + cell(slotRule, 0, 0, "leftover", 100) + original);

        QVERIFY(db::duplicateRecord(1).ok());
        QCOMPARE(readFile(tasksFile),
                 deleted + cell(slotRule, 0, 0, value(slotRule), 100) + original + appended);
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
        QByteArray image, added = cell(slotTaskName, 0, 1, "new", 255);
        if (table) {
            // One task, then deleted cells of 17 and 8 bytes up to the size wanted.
            QByteArray copy;
            for (int slot = 0; slot < taskFieldCount; ++slot) {
                image += cell(slot, 0, 0, "t", taskFieldWidth(slot));
                copy += cell(slot, 0, 1, "t", taskFieldWidth(slot));
            }
            if (duplicate)
                added = copy;
            while ((size - image.size()) % 8)
                image += cell(slotFileTime, 1, 0, "", 10);
            while (image.size() < size)
                image += cell(slotConfirmationOn, 1, 0, "", 1);
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
        QCOMPARE(readFile(db::databaseFile), image);
        QVERIFY2(failed.message().contains("No space left on device"),
                 qPrintable(failed.message()));

        QCOMPARE(::mount("tmpfs", volume, "tmpfs", MS_REMOUNT, "size=1m"), 0);
        QVERIFY(attempt().ok());
        QCOMPARE(readFile(db::databaseFile), image + added);
    }

    // A cell running past the end: the check names the file and where the damage starts,
    // readers use every whole cell before it, and every writer refuses, leaving each byte.
    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("damageAt");
        const QByteArray whole =
            cell(0, 0, 0, "abc", 3) + cell(1, 0, 1, "b1", 5) + cell(0, 0, 1, "one", 3);
        QTest::newRow("ends inside a value") << whole + cell(1, 0, 2, "cut", 5).left(9) << 32;
        QTest::newRow("ends inside a header") << whole + QByteArray::fromHex("0000ff") << 32;
        QTest::newRow("damage first") << cell(1, 0, 2, "cut", 5).left(11) << 0;
        // Read with a narrower B, the walk loses step and runs into the end mid-cell.
        QTest::newRow("schema changed") << cell(1, 0, 0, "bb", 5) + cell(0, 0, 3, "a", 3) << -4;
    }
    void damagedFiles() {
        QFETCH(QByteArray, image);
        QFETCH(int, damageAt);
        useSmallSchema();
        writeFile(tasksFile, image);
        if (damageAt < 0) {
            QVERIFY(db::listRecords().ok());
            QCOMPARE(listed(), QStringList{"3"});
            db::fieldWidths[1] = 4;
            QVERIFY(!db::checkTable().ok());
            db::fieldWidths[1] = 5;
            QVERIFY(db::checkTable().ok());
            return;
        }
        const Status check = db::checkTable();
        QVERIFY2(!check.ok() && check.message().contains(tasksFile) &&
                     check.message().contains("byte " + QString::number(damageAt)),
                 qPrintable(check.message()));

        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), damageAt ? (QStringList{"0", "1"}) : QStringList());
        QVERIFY(db::readRecord(1).ok());
        QCOMPARE(db::fieldValues[0], damageAt ? "one" : "");
        QCOMPARE(db::fieldValues[1], damageAt ? "b1" : "");
        QCOMPARE(text(db::readField("A", 2)), QString());
        QVERIFY(db::listFieldValues("B").ok());
        QCOMPARE(db::nextRecordNumber().value(), damageAt ? 2 : 0);

        for (const Status& status :
             {db::writeField("A", 0, "new"), db::writeField("B", 9, "new"), db::deleteField("A", 1),
              db::deleteRecord(1), db::duplicateRecord(1)})
            QVERIFY2(!status.ok() && status.message().contains(tasksFile),
                     qPrintable(status.message()));
        QCOMPARE(readFile(tasksFile), image);
    }

    // The store keeps an image of the file; changes made behind its back must still be seen.
    void changesFromOutsideAreSeen() {
        useSmallSchema();
        const QByteArray first = cell(0, 0, 0, "one", 3);
        const QByteArray second = cell(0, 0, 0, "two", 3);
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
        QTest::qWait(120); // an image no longer fresh is kept while the file stays the same
        QCOMPARE(text(db::readField("A", 0)), "uno");

        // A cell appended from outside is seen by the next number and written over in place.
        QVERIFY(file.open(QIODevice::Append) && file.write(cell(0, 0, 1, "ext", 3)) == 10);
        file.close();
        QCOMPARE(db::nextRecordNumber().value(), 2);
        QVERIFY(db::writeField("A", 1, "own").ok());
        QCOMPARE(readFile(tasksFile), cell(0, 0, 0, "uno", 3) + cell(0, 0, 1, "own", 3));

        // Replaced by another file, then removed.
        QTest::qWait(120);
        QVERIFY(QFile::remove(tasksFile));
        writeFile(tasksFile, second);
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed(), (QStringList{"0"}));
        QVERIFY(QFile::remove(tasksFile));
        QVERIFY(db::listRecords().ok());
        QCOMPARE(db::resultCount, 0);
    }

    // Within one tick of the file system's clock a rewrite can keep the time stamp: an image
    // taken that soon after the last modification must be read again.
    void freshImagesAreReadAgain_data() {
        QTest::addColumn<qint64>("modifiedNs");
        QTest::addColumn<qint64>("capturedNs");
        QTest::addColumn<bool>("stale");
        const qint64 ms = 1000000, whole = 1700000000LL * 1000 * ms, fine = whole + 123456789;
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

    // A folder where the file should be cannot be read; a file in place of its folder cannot
    // hold it.
    void fileErrorsAreReported() {
        QVERIFY(QDir(home->path()).mkdir("tasks.dat"));
        const Result<QString> read = db::readField(TaskField::TaskName, 0);
        QVERIFY2(!read.ok() &&
                     read.message().startsWith("Could not read the task file " + tasksFile + ": "),
                 qPrintable(read.message()));
        QVERIFY(!db::listRecords().ok());

        writeFile(home->file("plain"), "x");
        db::databaseFile = home->file("plain") + "/tasks.dat";
        const Status write = db::writeField(TaskField::TaskName, 0, "t");
        QVERIFY2(!write.ok() && write.message().startsWith("Could not write the task file " +
                                                           db::databaseFile + ": "),
                 qPrintable(write.message()));
        QCOMPARE(readFile(home->file("plain")), QByteArray("x"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
