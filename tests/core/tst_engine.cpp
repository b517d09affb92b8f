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

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
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
    const int rsrc = 0x200, rva = 0x1000, info = 0x58, infoSize = 92;
    put16(0, 0x5A4D);
    put32(0x3C, 0x40);
    put32(0x40, 0x4550);
    put16(0x44, 0x14C); // i386
    put16(0x46, 1);     // one section
    put16(0x54, 0xE0);  // optional header size
    put16(0x56, 0x102); // executable, 32-bit
    const int optional = 0x58;
    put16(optional, 0x10B);            // PE32
    put32(optional + 28, 0x400000);    // image base
    put32(optional + 32, 0x1000);      // section alignment
    put32(optional + 36, 0x200);       // file alignment
    put16(optional + 40, 4);           // OS version 4.0
    put16(optional + 48, 4);           // subsystem version 4.0
    put32(optional + 56, 0x2000);      // image size
    put32(optional + 60, 0x200);       // header size
    put16(optional + 68, 2);           // GUI subsystem
    put32(optional + 92, 16);          // data directories
    put32(optional + 96 + 2 * 8, rva); // resource directory
    put32(optional + 96 + 2 * 8 + 4, info + infoSize);
    const int section = optional + 0xE0;
    pe.replace(section, 5, ".rsrc");
    put32(section + 8, info + infoSize);
    put32(section + 12, rva);
    put32(section + 16, 0x200);
    put32(section + 20, rsrc);
    put32(section + 36, 0x40000040);
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
    put32(fixed + 4, 0x10000);
    put32(fixed + 8, quint32(major) << 16 | minor);
    put32(fixed + 12, quint32(build) << 16 | revision);
    put32(fixed + 16, quint32(major) << 16 | minor);
    put32(fixed + 20, quint32(build) << 16 | revision);
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

    void sourceChangedRule_data();
    void sourceChangedRule();
    void sourceNewerRule_data();
    void sourceNewerRule();
    void everyDayAcrossMidnight();
    void versionRule();
    void failedCopyTriedAgain_data();
    void failedCopyTriedAgain();
    void ruleTextsMatchedWithoutCase_data();
    void ruleTextsMatchedWithoutCase();
    void baselineWrittenOnlyWhenSourceExists();
    void unreadableStoredTexts_data();
    void unreadableStoredTexts();

    void performCopiesAndRecords_data();
    void performCopiesAndRecords();
    void declinedRecordsSourceAndLogsAfterRebuild();
    void failureLines_data();
    void failureLines();
    void recordingFaultLogsSuccessThenFailure();

    void reentryIsBounded();
    void noSecondQuestionWhileOneIsOpen();
    void tickDuringCopyStartsNothing();
    void tasksPerformedInTableOrder();
    void cycleKeepsTheListItStartedWith();
    void storeFaultsLoggedOnce();
    void markerConsumed();
    void undeletableMarkerShownOnce();

private:
    int addTask(const QString& name, const QString& rule, const QString& source = "src.txt",
                const QString& destination = "dst.txt", const QString& confirmation = "0");
    QString field(int task, const char* name) { return db::readField(name, task).value(); }
    void setField(int task, const char* name, const QString& value) {
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
    setModified(path("src.txt"), QDateTime(QDate(2024, 3, 5), QTime(8, 0)));
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

void TestEngine::sourceChangedRule_data() {
    QTest::addColumn<int>("shift");
    QTest::addColumn<bool>("due");
    QTest::newRow("unchanged") << 0 << false;
    QTest::newRow("one second later") << 1 << true;
    QTest::newRow("ten hours later, same day") << 36000 << true;
    QTest::newRow("one second earlier") << -1 << true;
    QTest::newRow("next day, same time") << 86400 << true;
}

void TestEngine::sourceChangedRule() {
    QFETCH(int, shift);
    QFETCH(bool, due);
    addTask("T", ruleText(ruleSourceChanged));
    cycle();
    QCOMPARE(performed("T"), 1); // a new task is due at its first check
    setModified(path("src.txt"), QDateTime(QDate(2024, 3, 5), QTime(8, 0)).addSecs(shift));
    cycle();
    QCOMPARE(performed("T"), due ? 2 : 1);
}

void TestEngine::sourceNewerRule_data() {
    QTest::addColumn<bool>("onFat");
    QTest::addColumn<QDateTime>("destination");
    QTest::addColumn<bool>("due");
    const QDate day(2024, 3, 5);
    QTest::newRow("destination missing") << false << QDateTime() << true;
    QTest::newRow("day later, earlier time")
        << false << QDateTime(day.addDays(1), QTime(7, 0)) << false;
    QTest::newRow("same day, one second older")
        << false << QDateTime(day, QTime(7, 59, 59)) << true;
    QTest::newRow("same moment") << false << QDateTime(day, QTime(8, 0)) << false;
    QTest::newRow("same day, one second newer") << false << QDateTime(day, QTime(8, 0, 1)) << false;
    QTest::newRow("day older, later time")
        << false << QDateTime(day.addDays(-1), QTime(9, 0)) << true;
    // The source is at 08:00:01 there, which FAT can only hold as 08:00:00.
    QTest::newRow("FAT, destination missing") << true << QDateTime() << true;
    QTest::newRow("FAT, one second older") << true << QDateTime(day, QTime(8, 0)) << false;
    QTest::newRow("FAT, more than two seconds older")
        << true << QDateTime(day, QTime(7, 59, 58)) << true;
}

void TestEngine::sourceNewerRule() {
    QFETCH(bool, onFat);
    QFETCH(QDateTime, destination);
    QFETCH(bool, due);
    const FatVolume fat;
    if (onFat) {
        if (!fat.mounted())
            QSKIP(FatVolume::unavailable());
        QVERIFY(QFile::link(fat.path(), path("stick")));
        setModified(path("src.txt"), QDateTime(QDate(2024, 3, 5), QTime(8, 0, 1)));
    }
    const QString copy = onFat ? "stick/dst.txt" : "dst.txt";
    if (destination.isValid()) {
        writeFile(path(copy), "old");
        setModified(path(copy), destination);
    }
    addTask("T", ruleText(ruleSourceNewer), "src.txt", copy);
    cycle();
    QCOMPARE(performed("T"), due ? 1 : 0);
    cycle(); // the copy carries the source's time stamp: no longer due
    QCOMPARE(performed("T"), due ? 1 : 0);
}

void TestEngine::everyDayAcrossMidnight() {
    m_clock.current = QDateTime(QDate(2024, 3, 5), QTime(23, 59, 50));
    const int task = addTask("T", ruleText(ruleEveryDay));
    cycle();
    QCOMPARE(performed("T"), 1);
    QCOMPARE(field(task, TaskField::LastUpdated), dateText(QDate(2024, 3, 5)));
    cycle();
    QCOMPARE(performed("T"), 1);
    m_clock.current = QDateTime(QDate(2024, 3, 6), QTime(0, 0, 5));
    cycle();
    QCOMPARE(performed("T"), 2);
    QCOMPARE(field(task, TaskField::LastUpdated), dateText(QDate(2024, 3, 6)));
    QVERIFY(QFile::remove(path("src.txt")));
    m_clock.current = m_clock.current.addDays(1);
    cycle(); // no source, no check
    QCOMPARE(performed("T"), 2);
    QCOMPARE(m_log.messages.size(), 2);
}

void TestEngine::versionRule() {
    writeFile(path("app.exe"), peWithVersion(1, 2, 3, 4));
    const int task = addTask("T", ruleText(ruleVersionChanged), "app.exe");
    cycle();
    QCOMPARE(performed("T"), 1);
    QCOMPARE(field(task, TaskField::FileVersion), QString("1.02.03.04"));
    cycle();
    QCOMPARE(performed("T"), 1);
    writeFile(path("app.exe"), peWithVersion(1, 2, 3, 5));
    cycle();
    QCOMPARE(performed("T"), 2);
    QCOMPARE(field(task, TaskField::FileVersion), QString("1.02.03.05"));
    QCOMPARE(QFile(path("dst.txt")).size(), QFile(path("app.exe")).size());
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
    writeFile(path("app.exe"), peWithVersion(2, 0, 0, 1));
    addTask("F", ruleText(RulePosition(rule)), "app.exe", "f.exe");
    addTask("D", ruleText(RulePosition(rule)), "app.exe", "d.exe", "1");
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
    QCOMPARE(QFile(path("f.exe")).size(), QFile(path("app.exe")).size());
    QCOMPARE(m_host.questions.size(), questions);
    QVERIFY(!QFile::exists(path("d.exe")));
}

void TestEngine::ruleTextsMatchedWithoutCase_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<bool>("due");
    QTest::newRow("changed, lower") << ruleText(ruleSourceChanged).toLower() << true;
    QTest::newRow("version, upper") << ruleText(ruleVersionChanged).toUpper() << true;
    QTest::newRow("newer, upper") << ruleText(ruleSourceNewer).toUpper() << true;
    QTest::newRow("every day, lower") << ruleText(ruleEveryDay).toLower() << true;
    QTest::newRow("only when selected") << ruleText(ruleOnlyWhenSelected).toUpper() << false;
    QTest::newRow("unknown") << QString("Every other day") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestEngine::ruleTextsMatchedWithoutCase() {
    QFETCH(QString, rule);
    QFETCH(bool, due);
    addTask("T", rule);
    cycle();
    QCOMPARE(performed("T"), due ? 1 : 0);
}

void TestEngine::baselineWrittenOnlyWhenSourceExists() {
    const int present = addTask("P", ruleText(ruleOnlyWhenSelected));
    const int kept = addTask("K", ruleText(ruleOnlyWhenSelected));
    setField(kept, TaskField::FileDate, "kept date");
    const int missing = addTask("M", ruleText(ruleSourceChanged), "gone.txt");
    cycle();
    QCOMPARE(field(present, TaskField::FileDate), getFileDate(path("src.txt")));
    QCOMPARE(field(present, TaskField::FileTime), getFileTime(path("src.txt")));
    QCOMPARE(field(present, TaskField::FileVersion), QString());
    QCOMPARE(field(present, TaskField::LastUpdated), QString());
    QCOMPARE(field(kept, TaskField::FileDate), QString("kept date"));
    QCOMPARE(field(kept, TaskField::FileTime), getFileTime(path("src.txt")));
    QCOMPARE(field(missing, TaskField::FileDate), QString());
    QVERIFY(m_log.messages.isEmpty());
}

void TestEngine::unreadableStoredTexts_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("due");
    const QString changed = ruleText(ruleSourceChanged), daily = ruleText(ruleEveryDay);
    QTest::newRow("readable texts") << changed << "FileDate" << QString() << false;
    QTest::newRow("damaged date") << changed << "FileDate"
                                  << "99/99/99999" << true;
    QTest::newRow("damaged time") << changed << "FileTime"
                                  << "25:61" << true;
    QTest::newRow("damaged last update") << daily << "LastUpdated"
                                         << "yesterday" << true;
}

void TestEngine::unreadableStoredTexts() {
    QFETCH(QString, rule);
    QFETCH(QString, fieldName);
    QFETCH(QString, value);
    QFETCH(bool, due);
    const int task = addTask("T", rule);
    setField(task, TaskField::FileDate, getFileDate(path("src.txt")));
    setField(task, TaskField::FileTime, getFileTime(path("src.txt")));
    setField(task, TaskField::LastUpdated, dateText(today()));
    if (!value.isEmpty())
        QVERIFY(db::writeField(fieldName, task, value).ok());
    addTask("Next", ruleText(ruleSourceChanged));
    cycle();
    QCOMPARE(performed("T"), due ? 1 : 0);
    QCOMPARE(performed("Next"), 1);
}

void TestEngine::performCopiesAndRecords_data() {
    QTest::addColumn<QString>("confirmation");
    QTest::addColumn<QStringList>("questions");
    QTest::newRow("confirmation off") << "0" << QStringList();
    QTest::newRow("confirmation empty") << "" << QStringList();
    QTest::newRow("confirmation on, Yes") << "1" << QStringList({"Title of T|Copy T?"});
}

void TestEngine::performCopiesAndRecords() {
    QFETCH(QString, confirmation);
    QFETCH(QStringList, questions);
    writeFile(path("dst.txt"), "previous");
    const int task =
        addTask("T", ruleText(ruleOnlyWhenSelected), "src.txt", "dst.txt", confirmation);
    m_clock.current = QDateTime(QDate(2024, 7, 1), QTime(9, 30));
    performTask(m_host, task);
    QCOMPARE(m_host.questions, questions);
    QCOMPARE(m_log.messages, QStringList({"Successfully performed T"}));
    QFile copy(path("dst.txt"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), QByteArray("source"));
    QCOMPARE(QFileInfo(copy).lastModified(), QFileInfo(path("src.txt")).lastModified());
    QCOMPARE(field(task, TaskField::FileDate), getFileDate(path("src.txt")));
    QCOMPARE(field(task, TaskField::FileTime), getFileTime(path("src.txt")));
    QCOMPARE(field(task, TaskField::LastUpdated), dateText(QDate(2024, 7, 1)));
    QCOMPARE(m_host.fills, 1);
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

void TestEngine::failureLines_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("description");
    QTest::newRow("missing source") << "gone.txt"
                                    << "dst.txt"
                                    << "The source file does not exist.";
    QTest::newRow("missing destination folder") << "src.txt"
                                                << "none/dst.txt"
                                                << "The destination folder does not exist.";
    QTest::newRow("read-only destination") << "src.txt"
                                           << "dst.txt"
                                           << "Access is denied.";
    QTest::newRow("same file") << "src.txt"
                               << "src.txt"
                               << "The source and destination are the same file.";
}

void TestEngine::failureLines() {
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, description);
    writeFile(path("dst.txt"), "previous");
    if (description == "Access is denied.")
        QFile::setPermissions(path("dst.txt"), QFile::ReadOwner);
    const int task = addTask("T", ruleText(ruleOnlyWhenSelected), source, destination);
    for (const char* name : {TaskField::FileDate, TaskField::FileTime, TaskField::LastUpdated})
        setField(task, name, "before");
    performTask(m_host, task);
    QCOMPARE(m_log.messages, QStringList({"T failed.  " + description}));
    for (const char* name : {TaskField::FileDate, TaskField::FileTime, TaskField::LastUpdated})
        QCOMPARE(field(task, name), QString("before"));
    QCOMPARE(m_host.fills, 0);
    QFile kept(path("dst.txt"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("previous"));
}

void TestEngine::recordingFaultLogsSuccessThenFailure() {
    const int task = addTask("T", ruleText(ruleOnlyWhenSelected));
    if (!setImmutable(db::databaseFile, true))
        QSKIP("The task table cannot be made unwritable here.");
    performTask(m_host, task);
    QVERIFY(setImmutable(db::databaseFile, false));
    QCOMPARE(m_log.messages.size(), 2);
    QCOMPARE(m_log.messages[0], QString("Successfully performed T"));
    QVERIFY2(m_log.messages[1].startsWith("T failed.  "), qPrintable(m_log.messages[1]));
    QCOMPARE(m_host.fills, 0);
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

void TestEngine::storeFaultsLoggedOnce() {
    const int first = addTask("A", ruleText(ruleOnlyWhenSelected), "src.txt", "a.txt");
    addTask("B", ruleText(ruleOnlyWhenSelected), "src.txt", "b.txt");
    if (!setImmutable(db::databaseFile, true))
        QSKIP("The task table cannot be made unwritable here.");
    for (int i = 0; i < 3; ++i)
        cycle();
    QVERIFY(setImmutable(db::databaseFile, false));
    QCOMPARE(m_log.messages.size(), 2); // each task's baseline fault, once
    QVERIFY(m_log.messages[0].startsWith("A could not be checked.  "));
    QVERIFY(m_log.messages[1].startsWith("B could not be checked.  "));
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

void TestEngine::markerConsumed() {
    const QString marker = applicationFile("notify.dat");
    cycle(); // an empty table: only the marker is looked for
    QCOMPARE(m_host.shown, 0);
    QVERIFY(!QFile::exists(db::databaseFile));
    writeFile(marker, "");
    cycle();
    QVERIFY(!QFile::exists(marker));
    cycle();
    QCOMPARE(m_host.shown, 1);
    writeFile(marker, "");
    cycle();
    QCOMPARE(m_host.shown, 2);
}

void TestEngine::undeletableMarkerShownOnce() {
    const QString marker = applicationFile("notify.dat");
    writeFile(marker, "");
    if (!setImmutable(marker, true))
        QSKIP("The marker cannot be made undeletable here.");
    cycle();
    cycle();
    cycle();
    QVERIFY(setImmutable(marker, false));
    QCOMPARE(m_host.shown, 1);
    cycle(); // deletable again: consumed
    QVERIFY(!QFile::exists(marker));
    QCOMPARE(m_host.shown, 2);
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
