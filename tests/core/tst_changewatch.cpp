#include "modChangeWatch.h"
#include "modPaths.h"
#include "modRules.h"
#include "modTidewell.h"
#include "taskEngine.h"
#include "taskTableBuilder.h"
#include "testHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <cstdio>

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

void renameOver(const QString& from, const QString& to) {
    QCOMPARE(std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()),
             0);
}

// A watch on a clock the test moves. Each step takes in the changes made so far, moves the
// clock and judges the saves; watches can be refused with an error number.
class SteppedWatch : public ChangeWatch {
public:
    using ChangeWatch::ChangeWatch;
    void step(qint64 ms) {
        readEvents();
        QCoreApplication::processEvents(); // folders looked at again
        clock += ms;
        judge();
    }
    qint64 clock = 0;
    int refuseWith = 0;
    int refused = 0;

protected:
    qint64 now() const override { return clock; }
    int addWatch(const QString& path) override {
        if (refuseWith == 0 || !QFileInfo(path).isDir())
            return ChangeWatch::addWatch(path);
        ++refused;
        errno = refuseWith;
        return -1;
    }
};

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
    // Steps: "+n" moves the clock n ms, "=n" is the number of checks so far; the others change
    // files: the watched one written in place, written to a temporary file then renamed into
    // place, renamed away, its mode set, opened, appended to and closed; another file in its
    // folder, its folder made, a second start's marker.
    void aSaveIsCheckedOnceItEnds_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("watched"); // "to " first: the destination of a task
        const auto row = [](const char* name, const QString& steps,
                            const QString& watched = "source.txt") {
            QTest::newRow(name) << steps << watched;
        };
        row("closed after writing", "write +99 =0 +1 =1 +5000 =1");
        row("renamed into place", "temp +50 rename +99 =0 +1 =1");
        row("renamed away, made anew", "away +50 =0 write +99 =0 +1 =1");
        row("closed, then its mode set", "write +60 attrib +99 =0 +1 =1");
        row("written while kept open", "open append +60 append +999 =0 close +99 =0 +1 =1");
        row("left open", "open append +60 append +999 =0 +1 =1");
        row("saved again within the quiet time",
            "write +60 temp rename +60 away write +99 =0 +1 =1");
        // Checked after two seconds, so that its tasks start waiting for it, and once it ends.
        row("written every 50 ms", QString("write +50 ").repeated(39) + "=0 write +50 =1 +100 =2");
        row("a folder that appears", "mkpath write +99 =0 +1 =1", "new/source.txt");
        row("a destination folder that appears", "mkpath +0 =1", "to stick/backup/copy.txt");
        row("a destination written", "write +5000 =0", "to copy.txt");
        row("another file in the folder", "other +5000 =0");
        row("renamed away", "away +5000 =0");
        row("a second start's marker", "marker +0 =1 +5000 =1");
    }
    void aSaveIsCheckedOnceItEnds() {
        QFETCH(QString, steps);
        QFETCH(QString, watched);
        TestHome home;
        QTemporaryDir sources;
        const QString folder = sources.path() + "/";
        const bool destination = watched.startsWith("to ");
        const QString file = folder + watched.mid(destination ? 3 : 0);
        writeFile(folder + "source.txt", "old");
        int checks = 0;
        SteppedWatch watch([&checks] { ++checks; });
        watch.follow(destination ? QStringList() : QStringList{file},
                     destination ? QStringList{file} : QStringList());
        QFile open(file);
        const QHash<QString, std::function<void()>> changes = {
            {"write", [&] { writeFile(file, "saved"); }},
            {"temp", [&] { writeFile(file + ".tmp", "saved"); }},
            {"rename", [&] { renameOver(file + ".tmp", file); }},
            {"away", [&] { renameOver(file, file + "~"); }},
            {"attrib", [&] { QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner); }},
            {"open", [&] { open.open(QIODevice::Append); }},
            {"append", [&] { open.write("line\n"), open.flush(); }},
            {"close", [&] { open.close(); }},
            {"other", [&] { writeFile(folder + "other.txt", "x"); }},
            {"mkpath", [&] { QDir().mkpath(folderPart(file)); }},
            {"marker", [&] { writeFile(applicationFile("notify.dat"), {}); }}};
        for (const QString& step : steps.split(' ')) {
            if (step.startsWith('+'))
                watch.step(step.mid(1).toInt());
            else if (step.startsWith('='))
                QVERIFY2(checks == step.mid(1).toInt(),
                         qPrintable(QString("%1 checks at %2 ms").arg(checks).arg(watch.clock)));
            else if (changes.contains(step))
                changes[step]();
            else
                QFAIL(qPrintable(step));
        }
    }

    // Saves through the watch and the engine, with no tick: the check the watch starts finds the
    // source ready and copies it.
    void aSaveIsCopiedWithoutATick() {
        TestHome home;
        openTaskTable();
        const QString source = home.file("source.txt");
        const QString destination = home.file("copy.txt");
        storeTask(0, "Saved", source, destination, ruleTexts()[ruleSourceChanged]);
        QuietHost host;
        TaskEngine engine(host);
        ChangeWatch watch([&engine] { engine.checkSoon(); });
        watch.follow({source});
        writeFile(source, "old");
        QTRY_COMPARE(fileContents(destination), QByteArray("old"));
        renameOver(source, source + "~");
        writeFile(source, "saved");
        QTRY_COMPARE(fileContents(destination), QByteArray("saved"));
    }

    // A folder that cannot be watched is said once in the log and tried again less and less
    // often; it is watched once it can be.
    void aWatchThatCannotBeSetIsSaidOnce() {
        TestHome home;
        Log log;
        QTemporaryDir sources;
        SteppedWatch watch([] {});
        watch.refuseWith = ENOSPC;
        watch.follow({sources.filePath("source.txt")});
        QTest::qWait(3500);
        watch.refuseWith = 0;
        const QString line = "Changes in the folder %1/ cannot be watched (the system's limit on "
                             "watched folders is reached); the check every 10 seconds looks after "
                             "its tasks instead.";
        QStringList lines = {line.arg(home.path()), line.arg(sources.path())};
        lines.sort(); // said in the order of the folders' paths
        QCOMPARE(log.lines, lines);
        QVERIFY2(watch.refused <= 2 * 3, qPrintable(QString::number(watch.refused))); // 0, 1, 3 s
        QTRY_COMPARE_WITH_TIMEOUT(watch.watchCount(), 2, 5000);
    }

    // The folders of a volume that does not answer are neither looked at nor let go until it
    // answers again: any look would hold the window.
    void aVolumeNotAnsweringIsLeftAlone() {
        TestHome home;
        QTemporaryDir sources;
        SteppedWatch watch([] {});
        watch.follow({sources.filePath("source.txt")});
        bool answers = false;
        watch.setAnswering([&](const QString&) { return answers; });
        watch.refuseWith = ENOSPC; // any look counted
        watch.follow({sources.filePath("source.txt"), sources.filePath("new/source.txt")});
        watch.rewatch();
        watch.step(0);
        QCOMPARE(watch.refused, 0);
        QCOMPARE(watch.watchCount(), 2);
        answers = true;
        watch.rewatch();
        watch.step(0);
        QVERIFY(watch.refused > 0);
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
