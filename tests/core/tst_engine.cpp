#include "../fixtures/peFixtureWriter.h"
#include "copyFaultInjection.h"
#include "modChangeWatch.h"
#include "modClock.h"
#include "modDateText.h"
#include "modFileCopy.h"
#include "modFileDateTime.h"
#include "modPaths.h"
#include "modRegistry.h"
#include "modRules.h"
#include "modTidewell.h"
#include "taskEngine.h"
#include "taskTableBuilder.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

namespace db = modDatabaseBinary;

namespace {

// Stands in for the window, the clock and the log. It records what the engine asks of the
// window, and its task list rebuild ends with a check cycle, as the window's own does; it keeps
// the messages of the log lines, oldest first.
class Fake : public EngineHost, public Clock, public LogSink {
public:
    QDateTime current = QDateTime(QDate(2024, 3, 5), QTime(12, 0));
    QStringList messages;
    QStringList questions;
    QStringList told; // the failures told of, as logged
    bool answer = true;
    std::function<void()> whileAsking;
    int shown = 0, fills = 0;
    QList<int> rowsShown;

    bool confirmTask(const QString& title, const QString& question) override {
        questions << title + "|" + question;
        if (whileAsking)
            whileAsking();
        return answer;
    }
    QDateTime now() const override { return current; }
    void insertLogLine(const QString& line) override { messages << line.section('\t', 1); }
    void showMainWindow() override { ++shown; }
    void showPerformedTask(int recordNumber) override { rowsShown << recordNumber; }
    void taskFailed(int, const QString& name, const QString& reason) override {
        told << name + " failed.  " + reason;
    }
    void fillTaskList() override {
        ++fills;
        if (engine)
            engine->runCheckCycle();
    }
    TaskEngine* engine = nullptr;
};

const QDateTime sourceTime(QDate(2024, 3, 5), QTime(8, 0));

void setModified(const QString& path, const QDateTime& moment) {
    const QString at = "@" + QString::number(moment.toMSecsSinceEpoch() / 1000.0, 'f', 3);
    QCOMPARE(QProcess::execute("touch", {"-d", at, path}), 0);
}

// Root is not held back by permissions; the immutable flag stops it as well.
bool setImmutable(const QString& path, bool on) {
    return QProcess::execute("chattr", {on ? "+i" : "-i", path}) == 0;
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void init() {
        m_home.reset(); // before the next one: it leaves the application folder unset
        m_home = std::make_unique<TestHome>();
        qputenv("HOME", m_home->path().toLocal8Bit()); // its trash, never the user's
        openTaskTable();
        m_engine.reset();
        m_host = Fake();
        useEngine(FileAccess());
        setClock(&m_host);
        setLogSink(&m_host);
        setModified(makeFile(*m_home, "src.txt", "source"), sourceTime);
    }
    void cleanup() { qunsetenv("TZ"), tzset(); }

    void busySourceCopiedAnyway_data() {
        QTest::addColumn<QList<int>>("phases");   // seconds written every 0.4 s, quiet, in turn
        QTest::addColumn<QList<int>>("copiedAt"); // whole seconds from the first write
        QTest::addColumn<int>("busyLines");
        QTest::newRow("written without a pause") << QList<int>{35} << QList<int>{30} << 1;
        // The copy of a settled source ends the wait: a second busy spell waits its own time.
        QTest::newRow("quiet for a while") << QList<int>{10, 2, 25} << QList<int>{10} << 0;
    }

    // A source that is never quiet is copied as it stands 30 seconds after its task
    // became due, which is logged; one that goes quiet is copied once it settles.
    void busySourceCopiedAnyway() {
        QFETCH(QList<int>, phases);
        QFETCH(QList<int>, copiedAt);
        QFETCH(int, busyLines);
        addTask("T", ruleTexts()[ruleSourceChanged]);
        const QDateTime start = m_host.current;
        QList<int> copies;
        qint64 ms = 0;
        for (int phase = 0; phase < phases.size(); ++phase) {
            for (const qint64 end = ms + phases[phase] * 1000; ms < end; ms += 400) {
                m_host.current = start.addMSecs(ms);
                if (phase % 2 == 0)
                    setModified(path("src.txt"), m_host.current);
                cycle();
                if (performed("T") > copies.size())
                    copies << int(ms / 1000);
            }
        }
        QCOMPARE(copies, copiedAt);
        QCOMPARE(m_host.messages.filter("T: the source is still being written; ").size(),
                 busyLines);
    }

    // A source found still being written by a check no save set off (one made just before the
    // start) is looked at again once it is quiet, without waiting for the next tick.
    void busySourceLookedAtAgainOnceQuiet() {
        addTask("T", ruleTexts()[ruleSourceChanged]);
        m_host.current = sourceTime.addMSecs(ChangeWatch::quietTime / 2);
        cycle();
        QCOMPARE(performed("T"), 0);
        m_host.current = sourceTime.addSecs(1);
        QTRY_COMPARE(performed("T"), 1);
    }

    void failedCopyTriedAgain_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("questions"); // asked of a twin task whose question is declined
        QTest::addColumn<QString>("failure");
        const QString io = "A device input/output error occurred.";
        QTest::newRow("changed") << int(ruleSourceChanged) << 1 << io;
        QTest::newRow("version") << int(ruleVersionChanged) << 1 << io;
        QTest::newRow("newer") << int(ruleSourceNewer) << 4 << io;
        QTest::newRow("every day") << int(ruleEveryDay) << 4 << io;
        QTest::newRow("copy's thread not started")
            << int(ruleSourceChanged) << 1
            << "The copy could not be started.  Resource temporarily unavailable.";
    }

    // A copy that fails (or that a crash cuts short, or whose thread cannot start) records
    // nothing, so the next check tries again; only declining the question postpones what the
    // rule compares with the recorded state.
    void failedCopyTriedAgain() {
        QFETCH(int, rule);
        QFETCH(int, questions);
        QFETCH(QString, failure);
        makeFile(*m_home, "src.txt", PeFixture(false, 0x10002, 0x30001).bytes); // versioned
        addTask("F", ruleTexts()[rule], "f.exe");
        addTask("D", ruleTexts()[rule], "d.exe", "Copy D?");
        m_host.answer = false;
        const bool threadFault = failure.contains("started");
        injectCopyFault(threadFault ? -1 : 100, EIO);
        injectWorkerFault(threadFault ? EAGAIN : 0);
        cycle();
        cycle();
        injectCopyFault(-1, 0);
        injectWorkerFault(0);
        // Tried at both checks, said once.
        QCOMPARE(m_host.messages.count("F failed.  " + failure), 1);
        QVERIFY(!QFile::exists(path("f.exe")));
        cycle();
        cycle();
        QCOMPARE(performed("F"), 1);
        QCOMPARE(fileContents(path("f.exe")), fileContents(path("src.txt")));
        QCOMPARE(m_host.questions.size(), questions);
        QVERIFY(!QFile::exists(path("d.exe")));
    }

    void performing_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("confirmation");
        // The old destination: older than the source, read-only, or newer (by a minute unless
        // said), holding the same data, with the preference off, with no trash to be had, or
        // with a copy that fails once its data is being written.
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("lines"); // logged; %1 is the old destination in the trash
        const QString done = "Successfully performed T", due = "Successfully performed Due";
        const QStringList copied = {done, due};
        const auto row = [](const char* name, const char* source, const char* confirmation,
                            const char* destination, const QStringList& lines) {
            QTest::newRow(name) << QString(source) << QString(confirmation) << QString(destination)
                                << lines;
        };
        row("confirmation off", "src.txt", "0", "older", copied);
        row("confirmation empty", "src.txt", "", "older", copied);
        row("confirmation on, Yes", "src.txt", "1", "older", copied);
        // The rebuild's check starts the other copy, which ends after the line that says so.
        row("confirmation on, No", "src.txt", "1", "older", {"Task cancelled: T", due});
        row("missing source", "gone.txt", "0", "older",
            {"T failed.  The source file does not exist."});
        row("read-only destination", "src.txt", "0", "ro", {"T failed.  Access is denied."});
        row("newer destination", "src.txt", "0", "newer",
            {"T: the destination was newer than the source; it was moved to %1", done, due});
        row("newer, same data", "src.txt", "0", "newer, same", copied);
        row("newer by a second", "src.txt", "0", "newer by 1 s", copied);
        row("newer, preference off", "src.txt", "0", "newer, kept", copied);
        // Kept beside the destination instead, under a name that says what it is.
        row("newer, no trash", "src.txt", "0", "newer, no trash",
            {"T: the destination was newer than the source; it was moved to %1", done, due});
        row("newer, copy cut short", "src.txt", "0", "newer, cut short",
            {"T failed.  A device input/output error occurred."});
    }

    // A copy carries the source's time stamp and records the source's date and time and the day,
    // and the list is rebuilt, whose check performs the other task due. Declining records the
    // source's state only; a failure records nothing, leaves the old destination in its place and
    // is told of. A newer destination holding other data goes to the trash as the copy takes its
    // place.
    void performing() {
        QFETCH(QString, source);
        QFETCH(QString, confirmation);
        QFETCH(QString, destination);
        QFETCH(QStringList, lines);
        const bool newer = destination.startsWith("newer");
        setModified(
            makeFile(*m_home, "dst.txt", destination.endsWith("same") ? "source" : "previous"),
            newer ? sourceTime.addSecs(destination.endsWith("1 s") ? 1 : 60)
                  : sourceTime.addDays(-1));
        if (destination == "ro")
            QFile::setPermissions(path("dst.txt"), QFile::ReadOwner);
        writeSetting(Setting::TrashNewerDestinations, destination.endsWith("kept") ? "0" : "1");
        if (destination.endsWith("no trash")) // no folder can be made inside a file
            qputenv("HOME", path("src.txt").toLocal8Bit());
        const QString bin =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/";
        const int task = addTask("T", manualRule, "dst.txt", "Copy T?", source);
        setField(task, TaskField::ConfirmationOn, confirmation);
        setField(task, TaskField::ConfirmationTitle, "Title of T");
        addTask("Due", ruleTexts()[ruleSourceChanged], "due.txt");
        const QList<const char*> recorded = {TaskField::FileDate, TaskField::FileTime,
                                             TaskField::LastUpdated};
        for (const char* name : recorded)
            setField(task, name, "before");
        m_host.current = QDateTime(QDate(2024, 7, 1), QTime(9, 30));
        m_host.answer = !lines.contains("Task cancelled: T");
        // A save while the question is open: a No records the state that was asked about.
        m_host.whileAsking = [this] { setModified(path("src.txt"), sourceTime.addSecs(60)); };
        injectCopyFault(destination.endsWith("cut short") ? 0 : -1, EIO);
        perform(task);
        injectCopyFault(-1, 0);
        QCOMPARE(m_host.questions,
                 confirmation == "1" ? QStringList({"Title of T|Copy T?"}) : QStringList());
        const QStringList besides = QDir(m_home->path()).entryList({"dst (newer, kept *).txt"});
        const bool trashed = lines.size() > 2 && besides.isEmpty();
        const QString old = trashed ? bin + "files/dst.txt" : path(besides.value(0, "none"));
        QCOMPARE(m_host.messages, lines.replaceInStrings("%1", old));
        QCOMPARE(m_host.told, lines.filter(" failed.  "));
        const bool copied = lines.contains("Successfully performed T"), rebuilt = lines.size() > 1;
        QCOMPARE(fileContents(path("dst.txt")), QByteArray(copied ? "source" : "previous"));
        QCOMPARE(fileContents(old), QByteArray(lines.size() > 2 ? "previous" : ""));
        QCOMPARE(QFile::exists(bin + "info/dst.txt.trashinfo"), trashed);
        // Once for this task, once more for the one its check performed.
        QCOMPARE(m_host.fills, rebuilt ? 2 : 0);
        const QStringList expected = {getFileDate(path("src.txt")),
                                      copied ? getFileTime(path("src.txt"))
                                             : timeText(sourceTime.time()),
                                      copied ? dateText(QDate(2024, 7, 1)) : "before"};
        for (int i = 0; i < recorded.size(); ++i)
            QCOMPARE(field(task, recorded[i]), rebuilt ? expected[i] : "before");
        if (copied)
            QCOMPARE(QFileInfo(path("dst.txt")).lastModified(),
                     QFileInfo(path("src.txt")).lastModified());
    }

    void saveDuringCopy_data() {
        QTest::addColumn<QString>("save");
        QTest::addColumn<bool>("copiedFirst"); // the save comes after the data has moved
        for (const char* save : {"new file renamed over it", "in place", "growing", "cut short"})
            QTest::newRow(save) << QString(save) << false;
        QTest::newRow("new file renamed over it once copied") << "new file" << true;
    }

    // A save while the data moves (the file read loses its name, or is written to) leaves the
    // destination as it was and nothing recorded; a save before the copy is recorded leaves what
    // was copied recorded. Either way the next check copies the new version.
    void saveDuringCopy() {
        QFETCH(QString, save);
        QFETCH(bool, copiedFirst);
        const QByteArray first(1 << 20, '1');
        const QString source = makeFile(*m_home, "src.txt", first);
        setModified(source, sourceTime);
        addTask("T", ruleTexts()[ruleSourceChanged]);
        injectCopyDelay(20); // 16 chunks
        m_engine->runCheckCycle();
        QTRY_VERIFY(m_engine->taskBeingCopied() >= 0);
        if (copiedFirst)
            injectCopyDelay(0);
        QTest::qWait(copiedFirst ? 0 : 100);
        while (copiedFirst && !QFile::exists(path("dst.txt"))) // the end not yet handed over
            std::this_thread::yield();
        const bool renamed = save.startsWith("new");
        QFile file(renamed ? path("new.txt") : source);
        QVERIFY(file.open(save == "growing" ? QIODevice::Append : QIODevice::ReadWrite));
        QVERIFY(save == "cut short" ? file.resize(1000) : file.write(QByteArray(1 << 20, '2')) > 0);
        file.close();
        QVERIFY(!renamed || ::rename(qPrintable(file.fileName()), qPrintable(source)) == 0);
        settle();
        injectCopyDelay(0);
        QCOMPARE(fileContents(path("dst.txt")), copiedFirst ? first : QByteArray());
        QCOMPARE(m_host.messages.first(),
                 copiedFirst ? "Successfully performed T"
                             : "T failed.  The source file changed while it was being copied.");
        cycle();
        QCOMPARE(fileContents(path("dst.txt")), fileContents(source));
        QCOMPARE(performed("T"), 1 + copiedFirst);
        QCOMPARE(QDir(m_home->path()).entryList({".*tidewell*"}, QDir::Hidden | QDir::Files), {});
    }

    // A task failing the same way at check after check is logged and told of once, and again
    // when the reason changes or after a copy.
    void awayDestinationIsQuiet_data() {
        // Per check: the folder away (a), back (b), a folder where the copy goes (d), away with
        // the source changed (x), or back with the source gone (g), which is no failure.
        QTest::addColumn<QString>("checks");
        QTest::addColumn<QStringList>("lines");
        const QString away = "T failed.  The destination folder does not exist.",
                      folder = "T failed.  The destination is a folder.",
                      copied = "Successfully performed T";
        QTest::newRow("away, then back") << "aaab" << QStringList{away, copied};
        // A folder in the destination's place waits for the source to change.
        QTest::newRow("reason changes") << "aaddabxb" << QStringList{away, folder, away, copied};
        QTest::newRow("away again after a copy") << "abxx" << QStringList{away, copied, away};
        QTest::newRow("source gone") << "gg" << QStringList{};
    }
    void awayDestinationIsQuiet() {
        QFETCH(QString, checks);
        QFETCH(QStringList, lines);
        addTask("T", ruleTexts()[ruleSourceChanged], "stick/dst.txt");
        for (const QChar check : checks) {
            QDir(path("stick")).removeRecursively();
            if (check == 'g')
                QFile::remove(path("src.txt"));
            if (check == 'b' || check == 'd' || check == 'g')
                QVERIFY(QDir().mkpath(path(check == 'd' ? "stick/dst.txt" : "stick")));
            if (check == 'x')
                setModified(path("src.txt"), sourceTime.addSecs(60));
            cycle();
        }
        QCOMPARE(m_host.messages, lines);
        QCOMPARE(m_host.told, lines.filter(" failed.  "));
    }

    // Tasks that stay due after performing (a source without version, a declined question) are
    // performed once per cycle, not again by the cycle that performing itself runs, nor by a tick
    // while a question is open or the data moves; the cycle keeps the list it started with. In a
    // burst each row is shown as its task is performed, in the order the table lists them (a
    // record number freed and used again goes last), and the list is rebuilt once.
    void reentryIsBounded() {
        const int freed = addTask("X", manualRule);
        const int asked = addTask("Q", ruleTexts()[ruleSourceNewer], "q.txt", "Copy Q?");
        const int versionless = addTask("A", ruleTexts()[ruleVersionChanged], "a.txt");
        QVERIFY(db::deleteRecord(freed).ok());
        const int changed = addTask("B", ruleTexts()[ruleSourceChanged], "b.txt");
        QCOMPARE(changed, freed);
        m_host.answer = false;
        m_host.whileAsking = [this] { m_engine->runCheckCycle(); }; // a tick while the box is open
        cycle();
        QCOMPARE(m_host.rowsShown, QList<int>({asked, versionless, changed}));
        QCOMPARE(m_host.fills, 1);
        cycle();
        cycle();
        QCOMPARE(performed("A"), 3);
        QCOMPARE(performed("B"), 1);
        QCOMPARE(m_host.questions.size(), 3);
        m_host.answer = true;
        perform(asked); // from the user's command: the tick still asks nothing
        QCOMPARE(m_host.questions.size(), 4);
        QCOMPARE(performed("Q"), 1);
        QCOMPARE(performed("A"), 4); // by the rebuild's check alone

        m_engine->performTask(changed);
        QCOMPARE(m_engine->taskBeingCopied(), changed);
        cycle(); // waits for the copy, but starts no check of its own meanwhile
        QCOMPARE(m_engine->taskBeingCopied(), -1);
        QCOMPARE(performed("B"), 2);
        QCOMPARE(performed("A"), 5); // by the rebuild's check alone

        setModified(path("q.txt"), QDateTime(QDate(2024, 3, 1), QTime(8, 0)));
        m_host.answer = false;
        m_host.whileAsking = [asked] { QVERIFY(db::deleteRecord(asked).ok()); };
        cycle();
        QCOMPARE(performed("A"), 6);
    }

    // A copy whose recording fails logs its success and then the failure, and is not copied
    // again for the same source: the next check that can write the table records it. A fault of
    // the checks is logged once for as long as it lasts.
    void storeFaultsLoggedOnce() {
        const int first = addTask("A", manualRule, "a.txt");
        addTask("B", ruleTexts()[ruleSourceChanged], "b.txt");
        if (!setImmutable(db::databaseFile, true))
            QSKIP("The task table cannot be made unwritable here.");
        perform(first);
        for (int i = 0; i < 3; ++i)
            cycle();
        QVERIFY(setImmutable(db::databaseFile, false));
        QStringList heads; // the lines without the system's own reasons
        for (const QString& line : m_host.messages)
            heads << line.section("  ", 0, 0);
        QCOMPARE(heads, QStringList({"Successfully performed A", "A failed.",
                                     "Successfully performed B", "B failed."}));
        QCOMPARE(m_host.fills, 0);
        cycle();
        QCOMPARE(field(first, TaskField::FileDate), getFileDate(path("src.txt")));
        QCOMPARE(performed("A") + performed("B"), 2);

        const QString table = db::databaseFile;
        QVERIFY(QFile::rename(table, table + ".away"));
        QVERIFY(QDir().mkdir(table)); // a table that cannot be read at all
        cycle();
        cycle();
        QVERIFY(QDir().rmdir(table));
        cycle();
        QVERIFY(QDir().mkdir(table));
        cycle();
        QCOMPARE(m_host.messages.filter("The tasks could not be checked.  ").size(), 2);
    }

    // A volume that stops answering holds only its own tasks: the others are copied, the log says
    // once that it is not answering, and its tasks go on by themselves once it answers.
    void hungVolumeHoldsOnlyItsTasks() {
        std::atomic<bool> hung = true;
        FileAccess access;
        access.look = [&hung](const PathLook& wanted) {
            while (wanted.path.contains("/share/") && hung)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return lookAtPath(wanted);
        };
        access.volumeOf = [](const QString& path) {
            return Volume{path.contains("/share/") ? "/share" : "/", "ext4", 0};
        };
        useEngine(access);
        QVERIFY(QDir().mkpath(path("share")));
        makeFile(*m_home, "share/src.txt", "remote");
        addTask("Remote", ruleTexts()[ruleSourceChanged], "remote.txt", {}, "share/src.txt");
        addTask("Local", ruleTexts()[ruleSourceChanged], "local.txt");
        cycle();
        cycle();
        QCOMPARE(m_host.messages, QStringList({"/share is not answering; its tasks wait until it "
                                               "answers again.",
                                               "Successfully performed Local"}));
        hung = false;
        QTRY_COMPARE(performed("Remote"), 1);
        QCOMPARE(m_host.messages.filter("/share answers again; its tasks go on.").size(), 1);
        QCOMPARE(performed("Local"), 1);
    }

    // A save noticed while a check performs its tasks is checked as soon as they are done, not
    // at the next tick.
    void saveDuringCheckCheckedAtItsEnd() {
        addTask("T", ruleTexts()[ruleSourceChanged], "t.txt");
        cycle();
        makeFile(*m_home, "big.bin", QByteArray(1 << 20, 'b'));
        const int slow = addTask("Slow", ruleTexts()[ruleSourceChanged], "slow.bin", {}, "big.bin");
        injectCopyDelay(20); // 16 chunks
        m_engine->runCheckCycle();
        QTRY_COMPARE(m_engine->taskBeingCopied(), slow);
        setModified(path("src.txt"), sourceTime.addSecs(60));
        m_engine->checkSoon();
        injectCopyDelay(0);
        settle();
        QCOMPARE(performed("T"), 2);
    }

    // A second start leaves a marker: each one shows the window once, also one that cannot be
    // deleted; an empty table is not created by looking.
    // Its own log or task table as a source: what the program writes there after the copy (the
    // line that says so, the record) is no change to copy again, while a later line is.
    void ownFileSourceCopiedOnce_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("log") << "Tidewell.log";
        QTest::newRow("task table") << "tasks.dat";
    }
    void ownFileSourceCopiedOnce() {
        QFETCH(QString, source);
        writeSetting("LogToFile", "1");
        logAction("started");
        const int task = addTask("Own", ruleTexts()[ruleSourceChanged], "own.copy", {}, source);
        for (int n = 0; n < 3; ++n)
            cycle();
        QCOMPARE(performed("Own"), 1);
        logAction("a later line");
        setField(task, TaskField::ConfirmationTitle, "later");
        cycle();
        QCOMPARE(performed("Own"), 2);
    }

    void markerConsumedOrShownOnce() {
        const QString marker = applicationFile("notify.dat");
        cycle();
        QCOMPARE(m_host.shown, 0);
        QVERIFY(!QFile::exists(db::databaseFile));
        makeFile(*m_home, "notify.dat", "");
        cycle();
        QVERIFY(!QFile::exists(marker));
        cycle();
        QCOMPARE(m_host.shown, 1);
        makeFile(*m_home, "notify.dat", "");
        if (!setImmutable(marker, true))
            QSKIP("The marker cannot be made undeletable here.");
        cycle();
        cycle();
        QVERIFY(setImmutable(marker, false));
        QCOMPARE(m_host.shown, 2);
        cycle(); // deletable again: consumed
        QVERIFY(!QFile::exists(marker));
        QCOMPARE(m_host.shown, 3);
    }

private:
    void useEngine(FileAccess access) {
        m_engine = std::make_unique<TaskEngine>(m_host, std::move(access));
        m_host.engine = m_engine.get();
    }
    // A question switches the confirmation on.
    int addTask(const QString& name, const QString& rule, const QString& destination = "dst.txt",
                const QString& question = QString(), const QString& source = "src.txt") {
        const int task = db::nextRecordNumber().value();
        storeTask(task, name, path(source), path(destination), rule, question);
        return task;
    }
    QString field(int task, const QString& name) { return db::readField(name, task).value(); }
    void setField(int task, const QString& name, const QString& value) {
        QVERIFY(db::writeField(name, task, value).ok());
    }
    int performed(const QString& name) {
        return m_host.messages.count("Successfully performed " + name);
    }
    // Waits for the copies that performing started to end, as the event loop lets them.
    void settle() { QTRY_VERIFY_WITH_TIMEOUT(!m_engine->performingUnderway(), 10000); }
    void cycle() {
        m_engine->runCheckCycle();
        settle();
    }
    void perform(int task) {
        m_engine->performTask(task);
        settle();
    }
    QString path(const QString& name) { return m_home->file(name); }

    std::unique_ptr<TestHome> m_home;
    Fake m_host;
    std::unique_ptr<TaskEngine> m_engine;
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
