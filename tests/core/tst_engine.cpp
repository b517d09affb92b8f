#include "fatVolume.h"
#include "modClock.h"
#include "modDatabaseBinary.h"
#include "modDateText.h"
#include "modFileCopy.h"
#include "modFileDateTime.h"
#include "modPaths.h"
#include "modRules.h"
#include "modTidewell.h"
#include "taskEngine.h"
#include "taskTable.h"
#include "testHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <cerrno>

#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db = modDatabaseBinary;

namespace {

class FakeClock : public Clock {
public:
    QDateTime current = QDateTime(QDate(2024, 3, 5), QTime(12, 0));
    QDateTime now() const override { return current; }
};

// Keeps the messages of the log lines, oldest first.
class FakeLog : public LogSink {
public:
    QStringList messages;
    void insertLogLine(const QString& line) override { messages << line.section('\t', 1); }
};

// Records what the engine asks of the window; its task list rebuild ends with a check cycle,
// as the window's own does.
class FakeHost : public EngineHost {
public:
    QStringList questions;
    bool answer = true;
    std::function<void()> whileAsking;
    int shown = 0;
    int fills = 0;
    QList<int> rowsShown;

    bool confirmTask(const QString& title, const QString& question) override {
        questions << title + "|" + question;
        if (whileAsking)
            whileAsking();
        return answer;
    }
    void showMainWindow() override { ++shown; }
    void showPerformedTask(int recordNumber) override { rowsShown << recordNumber; }
    void fillTaskList() override {
        ++fills;
        if (db::listRecords()) {
            for (const QString& entry : db::resultList.mid(0, db::resultCount))
                QVERIFY(db::readRecord(entry.toInt()).ok());
        }
        runCheckCycle(*this);
    }
};

QString ruleText(RulePosition position) {
    return ruleTexts()[position];
}

const QDateTime sourceTime(QDate(2024, 3, 5), QTime(8, 0));

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void setModified(const QString& path, const QDateTime& moment) {
    const struct timespec times[2] = {{time_t(moment.toSecsSinceEpoch()), 0},
                                      {time_t(moment.toSecsSinceEpoch()), 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// A minimal 32-bit Windows executable whose only content is a version resource.
QByteArray peWithVersion(quint16 major, quint16 minor, quint16 build, quint16 revision) {
    QByteArray pe(0x400, '\0');
    auto put16 = [&](int at, quint32 v) { qToLittleEndian<quint16>(quint16(v), pe.data() + at); };
    auto put32 = [&](int at, quint32 v) { qToLittleEndian<quint32>(v, pe.data() + at); };
    const int rsrc = 0x200, rva = 0x1000, info = 0x58, infoSize = 92, optional = 0x58;
    put16(0, 0x5A4D);
    put32(0x3C, 0x40);
    put32(0x40, 0x4550);
    put16(0x46, 1);                    // one section
    put16(0x54, 0xE0);                 // optional header size
    put16(optional, 0x10B);            // PE32
    put32(optional + 92, 16);          // data directories
    put32(optional + 96 + 2 * 8, rva); // resource directory
    put32(optional + 96 + 2 * 8 + 4, info + infoSize);
    const int section = optional + 0xE0;
    put32(section + 8, info + infoSize);
    put32(section + 12, rva);
    put32(section + 16, 0x200);
    put32(section + 20, rsrc);
    // Type 16 (version) -> name 1 -> language 0x409 -> data entry.
    const int levels[3][3] = {{0x00, 16, 0x18}, {0x18, 1, 0x30}, {0x30, 0x409, 0x48}};
    for (const auto& level : levels) {
        put16(rsrc + level[0] + 14, 1);
        put32(rsrc + level[0] + 16, quint32(level[1]));
        put32(rsrc + level[0] + 20, quint32(level[2]) | (level[2] == 0x48 ? 0 : 0x80000000));
    }
    put32(rsrc + 0x48, rva + info);
    put32(rsrc + 0x4C, infoSize);
    put16(rsrc + info, infoSize);
    put16(rsrc + info + 2, 52);
    const QString key = QStringLiteral("VS_VERSION_INFO");
    for (int i = 0; i < key.size(); ++i)
        put16(rsrc + info + 6 + 2 * i, key[i].unicode());
    const int fixed = rsrc + info + 40;
    put32(fixed, 0xFEEF04BD);
    put32(fixed + 8, quint32(major) << 16 | minor);
    put32(fixed + 12, quint32(build) << 16 | revision);
    return pe;
}

// Root is not held back by permissions; the immutable flag stops it as well.
bool setImmutable(const QString& path, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void init();
    void cleanup();

    void dueEdges_data();
    void dueEdges();
    void failedCopyTriedAgain_data();
    void failedCopyTriedAgain();
    void baselineWrittenOnlyWhenSourceExists();
    void performing_data();
    void performing();
    void declinedRecordsSourceAndLogsAfterRebuild();

    void reentryIsBounded();
    void noSecondQuestionWhileOneIsOpen();
    void tickDuringCopyStartsNothing();
    void tasksPerformedInTableOrder();
    void cycleKeepsTheListItStartedWith();
    void storeFaultsLoggedOnce();
    void markerConsumedOrShownOnce();

private:
    int addTask(const QString& name, const QString& rule, const QString& source = "src.txt",
                const QString& destination = "dst.txt", const QString& confirmation = "0");
    QString field(int task, const char* name) { return db::readField(name, task).value(); }
    void setField(int task, const QString& name, const QString& value) {
        QVERIFY(db::writeField(name, task, value).ok());
    }
    int performed(const QString& name) {
        return m_log.messages.count("Successfully performed " + name);
    }
    void cycle() { runCheckCycle(m_host); }

    std::unique_ptr<TestHome> m_home;
    FakeClock m_clock;
    FakeLog m_log;
    FakeHost m_host;
    QString path(const QString& name) { return m_home->file(name); }
};

void TestEngine::init() {
    m_home = std::make_unique<TestHome>();
    openTaskTable();
    m_clock = FakeClock();
    setClock(&m_clock);
    m_log.messages.clear();
    setLogSink(&m_log);
    m_host = FakeHost();
    writeFile(path("src.txt"), "source");
    setModified(path("src.txt"), sourceTime);
}

void TestEngine::cleanup() {
    setLogSink(nullptr);
    setClock(nullptr);
    m_home.reset();
}

int TestEngine::addTask(const QString& name, const QString& rule, const QString& source,
                        const QString& destination, const QString& confirmation) {
    const int task = db::nextRecordNumber().value();
    const QStringList values = {name,         path(source),       path(destination),   rule,
                                confirmation, "Title of " + name, "Copy " + name + "?"};
    const char* fields[] = {TaskField::TaskName,
                            TaskField::SourceFile,
                            TaskField::DestinationFile,
                            TaskField::Rule,
                            TaskField::ConfirmationOn,
                            TaskField::ConfirmationTitle,
                            TaskField::ConfirmationQuestion};
    for (int i = 0; i < values.size(); ++i)
        setField(task, fields[i], values[i]);
    return task;
}

// How often a task is performed by two checks with a change in between. The source is a
// versioned executable modified at 08:00 (08:00:01 on FAT, which holds it as 08:00:00); the
// clock stands ten seconds before midnight. Rule texts are matched without regard to case.
void TestEngine::dueEdges_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QDateTime>("destination"); // invalid: none
    QTest::addColumn<bool>("onFat");
    // "touch s": the source's time moves; "clock s": the clock moves; "version r": the source
    // is written again with that revision; "gone": it is removed and a day passes; otherwise a
    // stored field and the text it gets.
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("expected");
    const QString changed = ruleText(ruleSourceChanged).toLower(),
                  newer = ruleText(ruleSourceNewer).toUpper(),
                  daily = ruleText(ruleEveryDay).toLower(),
                  version = ruleText(ruleVersionChanged).toUpper();
    const QDateTime none;
    const QDate day = sourceTime.date();
    QTest::newRow("changed, unchanged") << changed << none << false << "" << 1;
    QTest::newRow("changed, a second later") << changed << none << false << "touch 1" << 2;
    QTest::newRow("changed, a second earlier") << changed << none << false << "touch -1" << 2;
    QTest::newRow("changed, next day") << changed << none << false << "touch 86400" << 2;
    QTest::newRow("changed, damaged date")
        << changed << none << false << "FileDate 99/99/99999" << 2;
    QTest::newRow("changed, damaged time") << changed << none << false << "FileTime 25:61" << 2;
    QTest::newRow("newer, destination missing") << newer << none << false << "" << 1;
    QTest::newRow("newer, day later, earlier time")
        << newer << QDateTime(day.addDays(1), QTime(7, 0)) << false << "" << 0;
    QTest::newRow("newer, a second older")
        << newer << QDateTime(day, QTime(7, 59, 59)) << false << "" << 1;
    QTest::newRow("newer, same moment") << newer << sourceTime << false << "" << 0;
    QTest::newRow("newer, a second newer")
        << newer << QDateTime(day, QTime(8, 0, 1)) << false << "" << 0;
    QTest::newRow("newer, day older, later time")
        << newer << QDateTime(day.addDays(-1), QTime(9, 0)) << false << "" << 1;
    QTest::newRow("newer, FAT, destination missing") << newer << none << true << "" << 1;
    QTest::newRow("newer, FAT, a second older") << newer << sourceTime << true << "" << 0;
    QTest::newRow("newer, FAT, over two seconds older")
        << newer << QDateTime(day, QTime(7, 59, 58)) << true << "" << 1;
    QTest::newRow("every day, same day") << daily << none << false << "" << 1;
    QTest::newRow("every day, past midnight") << daily << none << false << "clock 15" << 2;
    QTest::newRow("every day, damaged last update")
        << daily << none << false << "LastUpdated yesterday" << 2;
    QTest::newRow("every day, source gone") << daily << none << false << "gone" << 1;
    QTest::newRow("version, same") << version << none << false << "version 4" << 1;
    QTest::newRow("version, changed") << version << none << false << "version 5" << 2;
    QTest::newRow("only when selected")
        << ruleText(ruleOnlyWhenSelected).toUpper() << none << false << "" << 0;
    QTest::newRow("unknown rule") << "Every other day" << none << false << "" << 0;
    QTest::newRow("empty rule") << "" << none << false << "" << 0;
}

void TestEngine::dueEdges() {
    QFETCH(QString, rule);
    QFETCH(QDateTime, destination);
    QFETCH(bool, onFat);
    QFETCH(QString, change);
    QFETCH(int, expected);
    const FatVolume fat;
    if (onFat && !fat.mounted())
        QSKIP(FatVolume::unavailable());
    if (onFat)
        QVERIFY(QFile::link(fat.path(), path("stick")));
    writeFile(path("src.txt"), peWithVersion(1, 2, 3, 4));
    setModified(path("src.txt"), sourceTime.addSecs(onFat));
    const QString copy = onFat ? "stick/dst.txt" : "dst.txt";
    if (destination.isValid()) {
        writeFile(path(copy), "old");
        setModified(path(copy), destination);
    }
    m_clock.current = QDateTime(sourceTime.date(), QTime(23, 59, 50));
    const int task = addTask("T", rule, "src.txt", copy);
    cycle();
    const QString verb = change.section(' ', 0, 0), value = change.section(' ', 1);
    if (verb == "touch") {
        setModified(path("src.txt"), sourceTime.addSecs(value.toInt()));
    } else if (verb == "clock") {
        m_clock.current = m_clock.current.addSecs(value.toInt());
    } else if (verb == "version") {
        writeFile(path("src.txt"), peWithVersion(1, 2, 3, value.toInt()));
    } else if (verb == "gone") {
        QVERIFY(QFile::remove(path("src.txt")));
        m_clock.current = m_clock.current.addDays(1);
    } else if (!verb.isEmpty()) {
        setField(task, verb, value);
    }
    cycle();
    QCOMPARE(performed("T"), expected);
    QCOMPARE(m_log.messages.size(), expected); // nothing but the copies is logged
}

void TestEngine::failedCopyTriedAgain_data() {
    QTest::addColumn<int>("rule");
    QTest::addColumn<int>("questions"); // asked of a twin task whose question is declined
    QTest::newRow("changed") << int(ruleSourceChanged) << 1;
    QTest::newRow("version") << int(ruleVersionChanged) << 1;
    QTest::newRow("newer") << int(ruleSourceNewer) << 4;
    QTest::newRow("every day") << int(ruleEveryDay) << 4;
}

// A copy that fails (or that a crash cuts short) records nothing, so the next check tries
// again; only declining the question postpones what the rule compares with the recorded state.
void TestEngine::failedCopyTriedAgain() {
    QFETCH(int, rule);
    QFETCH(int, questions);
    writeFile(path("src.txt"), peWithVersion(2, 0, 0, 1));
    addTask("F", ruleText(RulePosition(rule)), "src.txt", "f.exe");
    addTask("D", ruleText(RulePosition(rule)), "src.txt", "d.exe", "1");
    m_host.answer = false;
    injectCopyFault(100, EIO);
    cycle();
    cycle();
    injectCopyFault(-1, 0);
    QCOMPARE(m_log.messages.count("F failed.  A device input/output error occurred."), 2);
    QVERIFY(!QFile::exists(path("f.exe")));
    cycle();
    cycle();
    QCOMPARE(performed("F"), 1);
    QCOMPARE(QFile(path("f.exe")).size(), QFile(path("src.txt")).size());
    QCOMPARE(m_host.questions.size(), questions);
    QVERIFY(!QFile::exists(path("d.exe")));
}

// The first check records the source's date and time, leaving what is stored alone, and only
// when the source is there.
void TestEngine::baselineWrittenOnlyWhenSourceExists() {
    const int present = addTask("P", ruleText(ruleOnlyWhenSelected));
    setField(present, TaskField::FileDate, "kept date");
    const int missing = addTask("M", ruleText(ruleSourceChanged), "gone.txt");
    cycle();
    QCOMPARE(field(present, TaskField::FileDate), QString("kept date"));
    QCOMPARE(field(present, TaskField::FileTime), getFileTime(path("src.txt")));
    QCOMPARE(field(present, TaskField::FileVersion) + field(present, TaskField::LastUpdated),
             QString());
    QCOMPARE(field(missing, TaskField::FileDate) + field(missing, TaskField::FileTime), QString());
    QVERIFY(m_log.messages.isEmpty());
}

void TestEngine::performing_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("confirmation");
    QTest::addColumn<QString>("line"); // logged
    QTest::addColumn<QStringList>("questions");
    const QString done = "Successfully performed T";
    QTest::newRow("confirmation off") << "src.txt"
                                      << "dst.txt"
                                      << "0" << done << QStringList();
    QTest::newRow("confirmation empty") << "src.txt"
                                        << "dst.txt"
                                        << "" << done << QStringList();
    QTest::newRow("confirmation on, Yes") << "src.txt"
                                          << "dst.txt"
                                          << "1" << done << QStringList({"Title of T|Copy T?"});
    QTest::newRow("missing source")
        << "gone.txt"
        << "dst.txt"
        << "0"
        << "T failed.  The source file does not exist." << QStringList();
    QTest::newRow("read-only destination") << "src.txt"
                                           << "dst.txt"
                                           << "ro"
                                           << "T failed.  Access is denied." << QStringList();
}

// A copy carries the source's time stamp and records the source's date and time and the day;
// the list is rebuilt once. A failure records nothing and leaves the old destination.
void TestEngine::performing() {
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, confirmation);
    QFETCH(QString, line);
    QFETCH(QStringList, questions);
    writeFile(path("dst.txt"), "previous");
    if (confirmation == "ro")
        QFile::setPermissions(path("dst.txt"), QFile::ReadOwner);
    const int task = addTask("T", ruleText(ruleOnlyWhenSelected), source, destination,
                             confirmation == "ro" ? "0" : confirmation);
    const QList<const char*> recorded = {TaskField::FileDate, TaskField::FileTime,
                                         TaskField::LastUpdated};
    for (const char* name : recorded)
        setField(task, name, "before");
    m_clock.current = QDateTime(QDate(2024, 7, 1), QTime(9, 30));
    performTask(m_host, task);
    QCOMPARE(m_host.questions, questions);
    QCOMPARE(m_log.messages, QStringList({line}));
    const bool copied = line.startsWith("Success");
    QCOMPARE(readFile(path("dst.txt")), QByteArray(copied ? "source" : "previous"));
    QCOMPARE(m_host.fills, int(copied));
    const QStringList expected = {getFileDate(path("src.txt")), getFileTime(path("src.txt")),
                                  dateText(QDate(2024, 7, 1))};
    for (int i = 0; i < recorded.size(); ++i)
        QCOMPARE(field(task, recorded[i]), copied ? expected[i] : "before");
    if (copied)
        QCOMPARE(QFileInfo(path("dst.txt")).lastModified(), sourceTime);
}

void TestEngine::declinedRecordsSourceAndLogsAfterRebuild() {
    const int task = addTask("Asked", ruleText(ruleOnlyWhenSelected), "src.txt", "a.txt", "1");
    addTask("Due", ruleText(ruleSourceChanged), "src.txt", "b.txt");
    m_host.answer = false;
    performTask(m_host, task);
    QCOMPARE(m_log.messages, QStringList({"Successfully performed Due", "Task cancelled: Asked"}));
    QVERIFY(!QFile::exists(path("a.txt")));
    QCOMPARE(field(task, TaskField::FileDate), getFileDate(path("src.txt")));
    QCOMPARE(field(task, TaskField::FileTime), getFileTime(path("src.txt")));
    QCOMPARE(field(task, TaskField::LastUpdated), QString());
}

// Tasks that stay due after performing (a source without version, a declined question) are
// performed once per cycle, not again by the cycle that performing itself runs.
void TestEngine::reentryIsBounded() {
    addTask("NoVersion", ruleText(ruleVersionChanged), "src.txt", "a.txt");
    addTask("Declined", ruleText(ruleSourceNewer), "src.txt", "b.txt", "1");
    addTask("Daily", ruleText(ruleEveryDay), "src.txt", "c.txt", "1");
    m_host.answer = false;
    for (int i = 0; i < 3; ++i)
        cycle();
    QCOMPARE(performed("NoVersion"), 3);
    QCOMPARE(m_log.messages.count("Task cancelled: Declined"), 3);
    QCOMPARE(m_log.messages.count("Task cancelled: Daily"), 3);
    QCOMPARE(m_host.questions.size(), 6);
}

void TestEngine::noSecondQuestionWhileOneIsOpen() {
    const int task = addTask("T", ruleText(ruleSourceNewer), "src.txt", "dst.txt", "1");
    m_host.whileAsking = [this] { cycle(); }; // the timer ticks while the box is open
    cycle();
    QCOMPARE(m_host.questions.size(), 1);
    setModified(path("dst.txt"), QDateTime(QDate(2024, 3, 1), QTime(8, 0)));
    performTask(m_host, task); // the same from the user's command, with the task due again
    QCOMPARE(m_host.questions.size(), 2);
    QCOMPARE(performed("T"), 2);
}

// The window's event loop runs while the data moves; a tick then must not copy a second time.
void TestEngine::tickDuringCopyStartsNothing() {
    const int task = addTask("A", ruleText(ruleSourceChanged), "src.txt", "a.txt");
    addTask("B", ruleText(ruleSourceChanged), "src.txt", "b.txt");
    int copying = -1;
    QTimer::singleShot(0, [&] {
        copying = taskBeingCopied();
        cycle();
    });
    performTask(m_host, task);
    QCOMPARE(copying, task);
    QCOMPARE(m_log.messages, QStringList({"Successfully performed A", "Successfully performed B"}));
}

void TestEngine::tasksPerformedInTableOrder() {
    const int first = addTask("A", ruleText(ruleSourceChanged), "src.txt", "a.txt");
    const int second = addTask("B", ruleText(ruleSourceChanged), "src.txt", "b.txt");
    QVERIFY(db::deleteRecord(first).ok());
    QCOMPARE(addTask("C", ruleText(ruleSourceChanged), "src.txt", "c.txt"), first);
    const int last = addTask("D", ruleText(ruleSourceChanged), "src.txt", "d.txt");
    cycle();
    QCOMPARE(m_log.messages, QStringList({"Successfully performed B", "Successfully performed C",
                                          "Successfully performed D"}));
    // Each row as its task is performed, and the whole list rebuilt once the cycle is through.
    QCOMPARE(m_host.rowsShown, QList<int>({second, first, last}));
    QCOMPARE(m_host.fills, 1);
}

// The list is taken once at the start of the cycle, whatever the rebuilds in between list.
void TestEngine::cycleKeepsTheListItStartedWith() {
    const int asked = addTask("A", ruleText(ruleSourceNewer), "src.txt", "a.txt", "1");
    addTask("B", ruleText(ruleSourceChanged), "src.txt", "b.txt");
    addTask("C", ruleText(ruleSourceChanged), "src.txt", "c.txt");
    m_host.answer = false;
    m_host.whileAsking = [asked] { QVERIFY(db::deleteRecord(asked).ok()); };
    cycle();
    QCOMPARE(performed("B"), 1);
    QCOMPARE(performed("C"), 1);
}

// A copy whose recording fails logs its success and then the failure; a fault of the checks
// is logged once for as long as it lasts.
void TestEngine::storeFaultsLoggedOnce() {
    const int first = addTask("A", ruleText(ruleOnlyWhenSelected), "src.txt", "a.txt");
    addTask("B", ruleText(ruleOnlyWhenSelected), "src.txt", "b.txt");
    if (!setImmutable(db::databaseFile, true))
        QSKIP("The task table cannot be made unwritable here.");
    performTask(m_host, first);
    for (int i = 0; i < 3; ++i)
        cycle();
    QVERIFY(setImmutable(db::databaseFile, false));
    QCOMPARE(m_log.messages.size(), 4);
    QCOMPARE(m_log.messages[0], QString("Successfully performed A"));
    QVERIFY2(m_log.messages[1].startsWith("A failed.  "), qPrintable(m_log.messages[1]));
    QVERIFY(m_log.messages[2].startsWith("A could not be checked.  "));
    QVERIFY(m_log.messages[3].startsWith("B could not be checked.  "));
    QCOMPARE(m_host.fills, 0);
    cycle();
    QCOMPARE(field(first, TaskField::FileDate), getFileDate(path("src.txt")));

    const QString table = db::databaseFile;
    QVERIFY(QFile::rename(table, table + ".away"));
    QVERIFY(QDir().mkdir(table)); // a table that cannot be read at all
    cycle();
    cycle();
    QVERIFY(QDir().rmdir(table));
    cycle();
    QVERIFY(QDir().mkdir(table));
    cycle();
    QCOMPARE(m_log.messages.filter("The tasks could not be checked.  ").size(), 2);
}

// A second start leaves a marker: each one shows the window once, also one that cannot be
// deleted; an empty table is not created by looking.
void TestEngine::markerConsumedOrShownOnce() {
    const QString marker = applicationFile("notify.dat");
    cycle();
    QCOMPARE(m_host.shown, 0);
    QVERIFY(!QFile::exists(db::databaseFile));
    writeFile(marker, "");
    cycle();
    QVERIFY(!QFile::exists(marker));
    cycle();
    QCOMPARE(m_host.shown, 1);
    writeFile(marker, "");
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

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
