#include "modChangeWatch.h"
#include "modPaths.h"
#include "modRules.h"
#include "modTidewell.h"
#include "taskEngine.h"
#include "taskTableBuilder.h"
#include "testHome.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <functional>

namespace {

void writeFile(const QString& path, const QByteArray& content,
               QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile file(path);
    QVERIFY2(file.open(mode), qPrintable(path));
    file.write(content);
}

// Performs whatever is due without asking; the task list is not shown.
class QuietHost : public EngineHost {
public:
    bool confirmTask(const QString&, const QString&) override { return true; }
    void showMainWindow() override {}
    void fillTaskList() override {}
};

// The messages of the log lines, oldest first.
struct Log : LogSink {
    Log() { setLogSink(this); }
    ~Log() override { setLogSink(nullptr); }
    void insertLogLine(const QString& line) override { lines << line.section('\t', 1); }
    QStringList lines;
};

} // namespace

class TestChangeWatch : public QObject {
    Q_OBJECT

private slots:
    void aChangedSourceStartsACheckOnceItSettles_data() {
        QTest::addColumn<QString>("watched"); // "to " first: the destination of a task
        QTest::addColumn<std::function<void(const QString&)>>("change");
        QTest::addColumn<int>("fewest");
        QTest::addColumn<int>("most");
        using Change = std::function<void(const QString&)>;
        const auto writes = [](const QString& name) {
            return Change([name](const QString& f) { writeFile(f + name, "x"); });
        };
        QTest::newRow("written in place") << "source.txt" << writes("source.txt") << 1 << 1;
        QTest::newRow("saved by rename") << "source.txt" << Change([](const QString& f) {
            writeFile(f + "source.txt.tmp", "saved");
            QVERIFY(QFile::remove(f + "source.txt"));
            QVERIFY(QFile::rename(f + "source.txt.tmp", f + "source.txt"));
        }) << 1 << 1;
        QTest::newRow("a source that appears later")
            << "later.txt" << writes("later.txt") << 1 << 1;
        QTest::newRow("a burst of 1000 writes") << "source.txt" << Change([](const QString& f) {
            for (int n = 0; n < 1000; ++n)
                writeFile(f + "source.txt", "more", QIODevice::Append);
        }) << 1 << 2;
        // Checked after two seconds, so that its tasks start waiting for it, and once it settles.
        QTest::newRow("written every 0.4 s for 3 s")
            << "source.txt" << Change([writes](const QString& f) {
                   for (int n = 0; n < 8; ++n)
                       writes("source.txt")(f), QTest::qWait(400);
               })
            << 2 << 2;
        QTest::newRow("a burst over 200 files") << "f7" << Change([](const QString& f) {
            for (int n = 0; n < 200; ++n)
                writeFile(f + "f" + QString::number(n), "x");
        }) << 1 << 2;
        QTest::newRow("a folder that appears later")
            << "new/source.txt" << Change([](const QString& f) {
                   QVERIFY(QDir(f).mkdir("new"));
                   writeFile(f + "new/source.txt", "x");
               })
            << 1 << 1;
        // A stick whose folder is mounted on one that is there is mounted for real elsewhere.
        QTest::newRow("a destination folder that appears")
            << "to stick/backup/copy.txt"
            << Change([](const QString& f) { QVERIFY(QDir(f).mkpath("stick/backup")); }) << 1 << 1;
        QTest::newRow("a destination written") << "to copy.txt" << writes("copy.txt") << 0 << 0;
        QTest::newRow("another file in the folder")
            << "source.txt" << writes("other.txt") << 0 << 0;
        QTest::newRow("a deleted source")
            << "source.txt"
            << Change([](const QString& f) { QVERIFY(QFile::remove(f + "source.txt")); }) << 0 << 0;
        QTest::newRow("a second start's marker") << "source.txt" << Change([](const QString&) {
            writeFile(applicationFile("notify.dat"), {});
        }) << 1 << 2;
    }
    void aChangedSourceStartsACheckOnceItSettles() {
        QFETCH(QString, watched);
        QFETCH(std::function<void(const QString&)>, change);
        QFETCH(int, fewest);
        QFETCH(int, most);
        TestHome home;
        QTemporaryDir sources;
        const QString folder = sources.path() + "/";
        writeFile(folder + "source.txt", "old");
        int checks = 0;
        ChangeWatch watch([&checks] { ++checks; });
        const bool destination = watched.startsWith("to ");
        if (destination)
            watch.follow({}, {folder + watched.mid(3)});
        else
            watch.follow({folder + watched});
        change(folder);
        if (fewest > 0) // a destination's folder needs no settling
            QTRY_VERIFY_WITH_TIMEOUT(checks >= fewest, destination ? 2000 : 5000);
        // Long enough for a further check, should one wrongly follow.
        QTest::qWait(2 * ChangeWatch::settleTime + 500);
        QVERIFY2(checks >= fewest && checks <= most, qPrintable(QString::number(checks)));
    }

    // Checks that come while the source is being written leave it alone: the one copy is made
    // once the file has settled, and holds all of it.
    void aSourceBeingWrittenIsCopiedOnceSettled() {
        TestHome home;
        openTaskTable();
        const QString source = home.file("growing.txt");
        const QString destination = home.file("copy.txt");
        writeFile(source, "start");
        storeTask(0, "Growing", source, destination, ruleTexts()[ruleSourceChanged]);
        QuietHost host;
        TaskEngine engine(host);
        ChangeWatch watch([&engine] { engine.checkSoon(); });
        watch.follow({source});
        for (int n = 0; n < 2; ++n) {
            writeFile(source, "more", QIODevice::Append);
            engine.runCheckCycle();
            QVERIFY(!QFile::exists(destination));
            QTest::qWait(200);
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(destination), 5000);
        QFile copy(destination);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("start") + QByteArray("more").repeated(2));
    }

    // A folder that cannot be watched is said once in the log and tried again less and less
    // often; it is watched once it can be.
    void aWatchThatCannotBeSetIsSaidOnce() {
        TestHome home;
        Log log;
        QTemporaryDir sources;
        ChangeWatch watch([] {});
        ChangeWatch::refuseWatches(ENOSPC);
        watch.follow({sources.filePath("source.txt")});
        QTest::qWait(3500);
        const int refused = ChangeWatch::refuseWatches(0);
        const QString line = "Changes in the folder %1/ cannot be watched (the system's limit on "
                             "watched folders is reached); the check every 10 seconds looks after "
                             "its tasks instead.";
        QStringList lines = {line.arg(home.path()), line.arg(sources.path())};
        lines.sort(); // said in the order of the folders' paths
        QCOMPARE(log.lines, lines);
        QVERIFY2(refused <= 2 * 3, qPrintable(QString::number(refused))); // at 0, 1 and 3 s
        QTRY_COMPARE_WITH_TIMEOUT(watch.watchCount(), 2, 5000);
    }

    void tasksInOneFolderShareAWatch() {
        TestHome home;
        QTemporaryDir sources;
        QStringList files;
        for (int n = 0; n < 1000; ++n)
            files << sources.filePath(QString("folder%1/file%2").arg(n % 3).arg(n));
        for (int n = 0; n < 3; ++n)
            QVERIFY(QDir(sources.path()).mkdir(QString("folder%1").arg(n)));
        ChangeWatch watch([] {});
        QCOMPARE(watch.watchCount(), 1);
        watch.follow(files);
        QCOMPARE(watch.watchCount(), 4);
        // Folders that go away are watched through the one above them until they are back.
        QVERIFY(QDir(sources.filePath("folder0")).removeRecursively());
        QVERIFY(QDir(sources.filePath("folder1")).removeRecursively());
        QTRY_COMPARE(watch.watchCount(), 3);
        // A destination's folder is watched only while it is missing.
        watch.follow({}, {sources.filePath("folder2/copy"), sources.filePath("gone/copy")});
        QCOMPARE(watch.watchCount(), 2);
        watch.follow({});
        QCOMPARE(watch.watchCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestChangeWatch)
#include "tst_changewatch.moc"
