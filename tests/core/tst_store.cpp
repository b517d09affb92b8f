#include "fileTimes.h"
#include "fileWriter.h"
#include "modTidewell.h"
#include "smallVolume.h"
#include "tableImage.h"
#include "taskTableBuilder.h"

#include <optional>

namespace db = modDatabaseBinary;

class TestStore : public QObject {
    Q_OBJECT

    std::optional<TestHome> home;

    // A cell built by hand, so the expected images do not depend on the code under test.
    // Record numbers below 256 take the first of the five number bytes.
    static QByteArray cell(int slot, int flag, int number, const QByteArray& value, int width) {
        return char(slot) + (char(flag) + (char(number) + QByteArray(4, '\0'))) + value +
               QByteArray(width - value.size(), '\0');
    }
    static QString text(const Result<QString>& r) { return r.ok() ? r.value() : "<failed>"; }
    static QStringList listed() { return db::resultList.mid(0, db::resultCount); }
    // A two-field table (A: 3 bytes, B: 5 bytes) for the format's own cases.
    static void useSmallSchema() {
        db::fieldCount = 2;
        db::fieldNames = {"A", "B"};
        db::fieldWidths = {3, 5};
    }

private slots:
    void init() {
        home.emplace();
        openTaskTable();
    }
    void cleanup() { home.reset(); }

    // One cell, written anew and then in place over a shorter value: the record number in its
    // five bytes, the value padded with NULs to its field's width. A number or a value that
    // does not fit is refused with what is wrong named, the file as it was.
    void oneCell_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QByteArray>("number"); // empty: refused
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("refusal"); // empty: stored
        const std::pair<int, const char*> numbers[] = {
            {0, "0000000000"},    {7, "0700000000"},   {255, "ff00000000"},
            {256, "ff01000000"},  {300, "ff2d000000"}, {511, "ffff010000"},
            {1275, "ffffffffff"}, {1276, ""},          {-1, ""}};
        for (const auto& [n, hex] : numbers)
            QTest::addRow("number %d", n)
                << n << QByteArray::fromHex(hex) << "t" << 3
                << (*hex ? QString() : QString("Task number %1 cannot be stored").arg(n));
        const QByteArray zero(5, '\0');
        QTest::newRow("exact width, no NUL") << 0 << zero << "abc" << 3 << QString();
        QTest::newRow("shorter, padded") << 0 << zero << "ab" << 5 << QString();
        QTest::newRow("empty is all zeros") << 0 << zero << "" << 4 << QString();
        QTest::newRow("multi-byte at the limit") << 0 << zero << "\u00e9\u00e9" << 4 << QString();
        QTest::newRow("spaces are kept") << 0 << zero << " a " << 4 << QString();
        QTest::newRow("one byte too many")
            << 0 << zero << "abcd" << 3 << "A is too long: 4 bytes, where at most 3 fit.";
        // Three bytes fit, the second character would be split.
        QTest::newRow("multi-byte over the limit")
            << 0 << zero << "a\u00e9\u00e9" << 3 << "A is too long: 5 bytes, where at most 3 fit.";
    }
    void oneCell() {
        QFETCH(int, n);
        QFETCH(QByteArray, number);
        QFETCH(QString, value);
        QFETCH(int, width);
        QFETCH(QString, refusal);
        useSmallSchema();
        db::fieldWidths[0] = width;
        QCOMPARE(db::writeField("A", n, "x").ok(), !number.isEmpty());
        const Status written = db::writeField("A", n, value);
        QVERIFY2(written.ok() == refusal.isEmpty() && written.message().startsWith(refusal),
                 qPrintable(written.message()));
        QCOMPARE(
            taskTableBytes(),
            number.isEmpty()
                ? QByteArray()
                : cell(0, 0, 0, written.ok() ? value.toUtf8() : "x", width).replace(2, 5, number));
        QCOMPARE(text(db::readField("A", n)), written.ok() ? value : number.isEmpty() ? "" : "x");
        QCOMPARE(db::decodeRecordNumber(number), number.isEmpty() ? 0 : n);
    }

    // Slots in the table's order with their widths; a later write goes over its cell in place
    // whatever the case of the field's name, and an unknown name means slot 0.
    void taskImages() {
        storeTask(0, "Backup", "/src/b", "/dst/b", "Every day");
        const std::pair<const char*, QString> fieldWrites[] = {
            {"LastUpdated", "07/12/2026"}, {"FileDate", "06/12/2026"},     {"FileTime", "10:11:12"},
            {"FileVersion", "1.2.3.4"},    {"ConfirmationTitle", "Sure?"}, {"sOURCEfILE", "/s"},
            {"NoSuchField", "Bk"}};
        for (const auto& [field, value] : fieldWrites)
            QVERIFY(db::writeField(field, 0, value).ok());
        const std::pair<int, QByteArray> cells[] = {
            {0, "Bk"},       {2, "/s"},      {3, "/dst/b"},     {4, "Every day"},
            {8, "0"},        {10, ""},       {1, "07/12/2026"}, {5, "06/12/2026"},
            {6, "10:11:12"}, {7, "1.2.3.4"}, {9, "Sure?"}};
        QByteArray expected;
        for (const auto& [slot, value] : cells)
            expected += cell(slot, 0, 0, value, taskFieldWidth(slot));
        QCOMPARE(taskTableBytes(), expected);
        QCOMPARE(expected.size(), 1358);
    }

    // Deleting flags every cell of the task and frees its number, the lowest free one being
    // handed out next, and none when all are taken; the number's fresh cells go to the end, the
    // flagged ones are never read.
    void deleteAndReuseNumbers() {
        useSmallSchema();
        QByteArray image; // every number a task, 700 with both fields
        for (int n = 0; n <= db::maxRecordNumber; ++n)
            for (const int slot : n == 700 ? QList<int>{0, 1} : QList<int>{0})
                image += cell(slot, 0, 0, "t", 3 + 2 * slot)
                             .replace(2, 5, db::encodeRecordNumber(n).value());
        writeFile(db::databaseFile, image);
        QVERIFY(!db::nextRecordNumber().ok());
        QVERIFY(!db::duplicateRecord(0).ok());
        QCOMPARE(taskTableBytes(), image);
        QVERIFY(db::deleteRecord(900).ok() && db::deleteRecord(700).ok());
        image[7001] = image[7011] = image[9013] = 0x01;
        QCOMPARE(taskTableBytes(), image);
        QCOMPARE(db::nextRecordNumber().value(), 700);

        QVERIFY(db::writeField("A", 700, "new").ok());
        QCOMPARE(taskTableBytes(),
                 image + cell(0, 0, 0, "new", 3).replace(2, 5, QByteArray::fromHex("ffffbe0000")));
        QVERIFY(db::readRecord(700).ok());
        QCOMPARE(db::fieldValues[0] + db::fieldValues[1], "new");
        QCOMPARE(db::nextRecordNumber().value(), 900);
        QVERIFY(db::listRecords().ok());
        QCOMPARE(listed().mid(698, 3) << listed().last(),
                 (QStringList{"698", "699", "701", "700"}));
    }

    // What the readers make of a file, in one pass: the tasks, each once, and the values of A in
    // file order (a cell of another field alone is no task), the next free number, then record
    // n read whole and by its first A. Flags other than 0x00 and 0x01 are skipped by the
    // listers but live for the fetchers, a slot without a width is a header alone, readRecord
    // takes the last live cell and readField the first. In a file whose walk runs past the end
    // after damage further up the check names the file and where the walk stopped, readers use
    // every whole cell before it, and every writer refuses. Nothing is written; a missing file
    // stays missing.
    void readers_data() {
        QTest::addColumn<QByteArray>("image"); // null: no file
        QTest::addColumn<int>("damageAt");     // -1: sound
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("seen");
        const QByteArray hostile = cell(0, 0x02, 0, "odd", 3) + cell(1, 0xff, 0, "v", 5) +
                                   cell(0, 0, 4, "old", 3) + cell(7, 0, 4, "", 0) +
                                   cell(1, 0, 4, "b", 5) + cell(255, 0, 4, "", 0) +
                                   cell(0, 0, 4, "new", 3);
        const QByteArray order = cell(0, 0, 5, "n5", 3) + cell(0, 0, 2, "n2", 3) +
                                 cell(1, 0, 1, "orph", 5) + cell(0, 0, 9, "n9", 3);
        const QByteArray whole =
            cell(0, 0, 0, "abc", 3) + cell(1, 0, 1, "b1", 5) + cell(0, 0, 1, "one", 3);
        QByteArray stepLost = whole;
        stepLost[10] = 0; // B's cell read as A's, three bytes short
        QTest::newRow("no file") << QByteArray() << -1 << 0 << " /  / 0 /  /  / ";
        QTest::newRow("file order") << order << -1 << 2 << "5 2 9 / n5 n2 n9 / 0 / n2 /  / n2";
        QTest::newRow("last live cell") << hostile << -1 << 4 << "4 / old new / 0 / new / b / old";
        QTest::newRow("odd flags") << hostile << -1 << 0 << "4 / old new / 0 / odd / v / odd";
        QTest::newRow("foreign cells, then a cut") << hostile + cell(1, 0, 2, "cut", 5).left(9)
                                                   << 68 << 4 << "4 / old new / 0 / new / b / old";
        QTest::newRow("step lost") << stepLost << 30 << 1 << "0 1 / abc b1 o / 2 / o /  / b1";
        QTest::newRow("damage first") << QByteArray("\x09\x00", 2) << 0 << 1 << " /  / 0 /  /  / ";
    }
    void readers() {
        QFETCH(QByteArray, image);
        QFETCH(int, damageAt);
        QFETCH(int, n);
        QFETCH(QString, seen);
        useSmallSchema();
        if (!image.isNull())
            writeFile(db::databaseFile, image);
        db::resultList = QStringList{"stale"}; // what an earlier call left
        db::resultCount = 1;
        db::fieldValues.fill("stale");
        const Status check = db::checkTable();
        QVERIFY2(damageAt < 0 ? check.ok()
                              : !check.ok() && check.message().contains(db::databaseFile) &&
                                    check.message().contains("byte " + QString::number(damageAt)),
                 qPrintable(check.message()));
        QVERIFY(db::listRecords().ok());
        QStringList parts = {listed().join(' ')};
        for (int k = 0; k <= 10; ++k) // one record asked about, as the lister would have it
            QCOMPARE(db::isListed(k).value(),
                     parts.first().split(' ').contains(QString::number(k)));
        QVERIFY(db::listFieldValues("a").ok());
        const int next = db::nextRecordNumber().value(); // leaves the list alone
        QVERIFY(db::readRecord(n).ok());
        parts << listed().join(' ') << QString::number(next) << db::fieldValues[0]
              << db::fieldValues[1] << text(db::readField("A", n));
        QCOMPARE(parts.join(" / "), seen);

        QVERIFY(db::deleteRecord(7).ok() == (damageAt < 0) &&
                db::deleteField("A", 7).ok() == (damageAt < 0));
        if (damageAt >= 0)
            for (const Status& status :
                 {db::writeField("A", 0, "new"), db::writeField("B", 9, "new"),
                  db::deleteField("A", 1), db::deleteRecord(1), db::duplicateRecord(1)})
                QVERIFY2(!status.ok() && status.message().contains(db::databaseFile),
                         qPrintable(status.message()));
        QCOMPARE(QFile::exists(db::databaseFile), !image.isNull());
        QCOMPARE(taskTableBytes(), image);
    }

    // A write cut short by a power cut leaves its last cell cut, or the new length in zeros,
    // possibly from a disk block boundary inside a cell on. On opening, the file as found is
    // kept beside it, it is cut back to its last whole cell, every whole task is as it was,
    // and writes work at once.
    void tornTailsAreCutOnOpening_data() {
        QTest::addColumn<QByteArray>("tail");
        const QByteArray appended = cell(slotFileDate, 0, 0, "07/12/2026", 25);
        for (int length = 1; length < appended.size(); ++length)
            QTest::addRow("cell cut to %d", length) << appended.left(length);
        for (const int zeros : {1, 7, 262, 4096})
            QTest::addRow("%d zeros", zeros) << QByteArray(zeros, '\0');
        QTest::newRow("cut cell, then zeros") << appended.left(12) + QByteArray(10, '\0');
        QTest::newRow("zeros from byte 1024 on")
            << cell(slotSourceFile, 0, 0, QByteArray(250, 's'), 255).left(254) +
                   QByteArray(600, '\0');
    }
    void tornTailsAreCutOnOpening() {
        QFETCH(QByteArray, tail);
        const QByteArray whole = cell(slotTaskName, 0, 0, "A", 255) +
                                 cell(slotRule, 0, 0, "r", 100) +
                                 cell(slotTaskName, 0, 1, "B", 255) +
                                 cell(slotRule, 0, 1, "", 100) + cell(slotFileDate, 0, 1, "d", 25);
        writeFile(db::databaseFile, whole + tail);
        QVERIFY(db::listRecords().ok() && db::checkTable().ok());
        QCOMPARE(listed(), (QStringList{"0", "1"}));
        QVERIFY(db::readRecord(0).ok() && db::writeField(TaskField::FileDate, 0, "e").ok());
        QCOMPARE(db::fieldValues[slotRule] + db::fieldValues[slotSourceFile], "r");
        QCOMPARE(taskTableBytes(), whole + cell(slotFileDate, 0, 0, "e", 25));
        const QStringList kept =
            QDir(home->path())
                .entryList({"tasks.dat.damaged-" + QString(8, '?') + '-' + QString(6, '?')});
        QVERIFY(kept.size() == 1 && fileContents(home->file(kept[0])) == whole + tail);
    }

    // A write in place keeps a foreign flag; deleting a field flags its cell whatever it held.
    void writesKeepForeignFlags() {
        useSmallSchema();
        writeFile(db::databaseFile, cell(0, 0x02, 0, "odd", 3) + cell(1, 0xff, 0, "v", 5));
        // Written as one span over both cells: the flag between them stays, the later A wins.
        QVERIFY(db::writeFields(0, {{"A", "old"}, {"B", "w"}, {"A", "new"}}).ok());
        QCOMPARE(taskTableBytes(), cell(0, 0x02, 0, "new", 3) + cell(1, 0xff, 0, "w", 5));
        QVERIFY(db::deleteField("B", 0).ok());
        QCOMPARE(taskTableBytes(), cell(0, 0x02, 0, "new", 3) + cell(1, 0x01, 0, "w", 5));
    }

    // Every stored byte is copied, also a title from a foreign file that is no valid UTF-8 and
    // would outgrow its width if decoded and encoded again. A live leftover cell of the new
    // number is written over in place, as writeField would; a second one of that field is
    // flagged, so that the new record takes over nothing an earlier use of the number left.
    void duplicateCopiesAllElevenFields() {
        const QByteArray deleted = cell(slotTaskName, 1, 0, "gone", 255);
        QByteArray original, rule, appended;
        for (int slot = 0; slot < taskFieldCount; ++slot) {
            const QByteArray value = slot == slotConfirmationTitle
                                         ? QByteArray(50, '\xe9')
                                         : QByteArray(1, char('a' + slot));
            original += cell(slot, 0, 1, value, taskFieldWidth(slot));
            (slot == slotRule ? rule : appended) += cell(slot, 0, 0, value, taskFieldWidth(slot));
        }
        writeFile(db::databaseFile, deleted + cell(slotRule, 0, 0, "leftover", 100) +
                                        cell(slotRule, 0, 0, "second", 100) + original);
        QVERIFY(db::duplicateRecord(1).ok());
        QCOMPARE(taskTableBytes(),
                 deleted + rule + cell(slotRule, 1, 0, "second", 100) + original + appended);
    }

    // A write that runs out of space leaves the file as it was, and once there is space again
    // the same write simply works. A table whose second field is as wide as the room left
    // fills the volume; without a table, a ballast file does.
    void fullDiskLeavesTheFileAsItWas_data() {
        QTest::addColumn<int>("spare"); // bytes left free on the volume; -1: no table yet
        QTest::addColumn<bool>("duplicate");
        QTest::newRow("no table yet") << -1 << false;
        QTest::newRow("table fills the volume") << 0 << false;
        QTest::newRow("append cut short") << 5 << false;
        QTest::newRow("duplicate cut short") << 1000 << true;
    }
    void fullDiskLeavesTheFileAsItWas() {
        QFETCH(int, spare);
        QFETCH(bool, duplicate);
        SmallVolume volume(home->file("volume"), "size=16k");
        if (!volume.mounted())
            QSKIP(SmallVolume::unavailable());
        const int size = int(volume.capacity()) - std::max(spare, 0);
        useSmallSchema();
        db::fieldWidths[1] = size - 17;
        db::databaseFile = home->file("volume/tasks.dat");
        const QByteArray image =
            spare < 0 ? QByteArray() : cell(0, 0, 0, "t", 3) + cell(1, 0, 0, "", size - 17);
        writeFile(spare < 0 ? home->file("volume/ballast") : db::databaseFile,
                  spare < 0 ? QByteArray(size, 'x') : image);
        const QByteArray added = duplicate ? cell(0, 0, 1, "t", 3) + cell(1, 0, 1, "", size - 17)
                                           : cell(0, 0, 1, "new", 3);
        for (const bool room : {false, true}) { // full, then with room again
            QVERIFY(!room || volume.resize("size=1m"));
            const Status done = duplicate ? db::duplicateRecord(0) : db::writeField("A", 1, "new");
            QVERIFY2(room ? done.ok() : done.message().contains("No space left on device"),
                     qPrintable(done.message()));
            QCOMPARE(QFile::exists(db::databaseFile), room || spare >= 0);
            QCOMPARE(taskTableBytes(), room ? image + added : image);
        }
    }

    // The store keeps an image of the file; changes made behind its back must still be seen.
    void changesFromOutsideAreSeen() {
        useSmallSchema();
        writeFile(db::databaseFile, cell(0, 0, 0, "one", 3));
        QCOMPARE(text(db::readField("A", 0)), "one");
        // Same size, right away: the time stamp may well be the same.
        writeFile(db::databaseFile, cell(0, 0, 0, "two", 3));
        QCOMPARE(text(db::readField("A", 0)), "two");

        // Same size with the old modification time put back, once the image is no longer fresh.
        QTest::qWait(120);
        QCOMPARE(text(db::readField("A", 0)), "two");
        const timespec before = statOf(db::databaseFile).st_mtim;
        writeFile(db::databaseFile, cell(0, 0, 0, "uno", 3));
        setModified(db::databaseFile, before);
        QCOMPARE(text(db::readField("A", 0)), "uno");
        QTest::qWait(120); // an image no longer fresh is kept while the file stays the same
        QCOMPARE(text(db::readField("A", 0)), "uno");

        // A cell added from outside is seen by the next number and written over in place.
        writeFile(db::databaseFile, cell(0, 0, 0, "uno", 3) + cell(0, 0, 1, "ext", 3));
        QCOMPARE(db::nextRecordNumber().value(), 2);
        QVERIFY(db::writeField("A", 1, "own").ok());
        QCOMPARE(taskTableBytes(), cell(0, 0, 0, "uno", 3) + cell(0, 0, 1, "own", 3));

        QTest::qWait(120); // then removed
        QVERIFY(QFile::remove(db::databaseFile));
        QVERIFY(db::listRecords().ok());
        QCOMPARE(db::resultCount, 0);
    }

    // Within one tick of the file system's clock a rewrite can keep the time stamp: an image
    // taken that soon after the last modification must be read again.
    void freshImagesAreReadAgain() {
        const qint64 ms = 1000000, whole = 1700000000LL * 1000 * ms, fine = whole + 123456789;
        const std::tuple<qint64, qint64, bool> cases[] = {{fine, fine, true},
                                                          {fine, fine + 10 * ms, true},
                                                          {fine, fine + 1000 * ms, false},
                                                          {fine, fine - 5 * ms, true},
                                                          {whole, whole + 1000 * ms, true},
                                                          {whole, whole + 3000 * ms, false}};
        for (const auto& [modified, captured, stale] : cases)
            QVERIFY2(mayHaveChangedUnseen(modified, captured) == stale,
                     qPrintable(QString("%1 ns after %2").arg(captured - modified).arg(modified)));
    }

    // A folder where the file should be cannot be read; a file in place of its folder cannot
    // hold it.
    void fileErrorsAreReported() {
        QVERIFY(QDir(home->path()).mkdir("tasks.dat"));
        const QString folder = db::databaseFile;
        const Result<QString> read = db::readField(TaskField::TaskName, 0);
        QVERIFY(!db::listRecords().ok());
        db::databaseFile = makeFile(*home, "plain", "x") + "/tasks.dat";
        const Status write = db::writeField(TaskField::TaskName, 0, "t");
        QVERIFY2(read.message().startsWith("Could not read the task file " + folder + ": ") &&
                     write.message().startsWith("Could not write the task file " +
                                                db::databaseFile + ": "),
                 qPrintable(read.message() + " / " + write.message()));
        QCOMPARE(fileContents(home->file("plain")), "x");
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
