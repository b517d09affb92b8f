#include "modClock.h"
#include "modRegistry.h"
#include "modTidewell.h"
#include "testHome.h"

#include <QFile>
#include <QLocale>
#include <QtTest>

#include <memory>

namespace {

// Keeps the lines as the main window's list does: each new line on top.
class ListSink : public LogSink {
public:
    void insertLogLine(const QString& line) override { lines.prepend(line); }
    QStringList lines;
};

// A clock that starts at a fixed moment and moves one second on at every reading.
class SteppingClock : public Clock {
public:
    explicit SteppingClock(QDateTime start) : m_next(std::move(start)) {}
    QDateTime now() const override {
        const QDateTime current = m_next;
        m_next = m_next.addSecs(1);
        return current;
    }

private:
    mutable QDateTime m_next;
};

QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestLog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QStringLiteral("de_DE"))); }

    void init() {
        m_home = std::make_unique<TestHome>();
        m_clock = std::make_unique<SteppingClock>(QDateTime(QDate(2002, 5, 3), QTime(14, 22, 10)));
        setClock(m_clock.get());
        setLogSink(&m_sink);
        m_sink.lines.clear();
    }

    void cleanup() {
        setLogSink(nullptr);
        setClock(nullptr);
        m_home.reset();
    }

    void lineHasDateCommaTimeTabMessage() {
        logAction(QStringLiteral("Application started"));
        QCOMPARE(m_sink.lines,
                 QStringList{QStringLiteral("03.05.2002, 14:22:10\tApplication started")});
    }

    void newestLineOnTopOfTheList() {
        logAction(QStringLiteral("first"));
        logAction(QStringLiteral("second"));
        QCOMPARE(m_sink.lines, (QStringList{QStringLiteral("03.05.2002, 14:22:11\tsecond"),
                                            QStringLiteral("03.05.2002, 14:22:10\tfirst")}));
    }

    void noSinkDoesNotFail() {
        setLogSink(nullptr);
        writeSetting(Setting::LogToFile, QStringLiteral("1"));
        logAction(QStringLiteral("nowhere to show"));
        QVERIFY(fileContents(SettingDefault::logFile()).endsWith("\tnowhere to show\r\n"));
    }

    void logToFileSwitch_data() {
        QTest::addColumn<QString>("logToFile");
        QTest::addColumn<bool>("written");
        QTest::newRow("missing") << QString() << false;
        QTest::newRow("0") << QStringLiteral("0") << false;
        QTest::newRow("2") << QStringLiteral("2") << false;
        QTest::newRow("word") << QStringLiteral("true") << false;
        QTest::newRow("11") << QStringLiteral("11") << false;
        QTest::newRow("1") << QStringLiteral("1") << true;
        QTest::newRow("1 with blanks") << QStringLiteral(" 1 ") << true;
    }

    // Only "LogToFile" read as the integer 1 writes the file; otherwise no file is touched.
    void logToFileSwitch() {
        QFETCH(QString, logToFile);
        QFETCH(bool, written);
        writeSetting(Setting::LogToFile, logToFile);
        logAction(QStringLiteral("Application started"));
        QCOMPARE(QFile::exists(m_home->file(QStringLiteral("Tidewell.log"))), written);
        QCOMPARE(m_sink.lines.size(), 1);
    }

    // The file holds the lines oldest first, each ended by CR LF, with time taken anew.
    void fileInCallOrderWithCrLf() {
        writeSetting(Setting::LogToFile, QStringLiteral("1"));
        logAction(QStringLiteral("first"));
        logAction(QStringLiteral("zweite Zeile: Grüße"));
        QCOMPARE(fileContents(m_home->file(QStringLiteral("Tidewell.log"))),
                 QStringLiteral("03.05.2002, 14:22:11\tfirst\r\n"
                                "03.05.2002, 14:22:13\tzweite Zeile: Grüße\r\n")
                     .toUtf8());
        QCOMPARE(m_sink.lines.last(), QStringLiteral("03.05.2002, 14:22:10\tfirst"));
    }

    void appendsToTheChosenFileWithoutTruncating() {
        const QString path = m_home->file(QStringLiteral("chosen.txt"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("earlier run\r\n");
        existing.close();
        writeSetting(Setting::LogToFile, QStringLiteral("1"));
        writeSetting(Setting::LogFile, path);

        logAction(QStringLiteral("Application quit"));

        QCOMPARE(fileContents(path), QByteArray("earlier run\r\n03.05.2002, 14:22:11\tApplication "
                                                "quit\r\n"));
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("Tidewell.log"))));
    }

    void unwritableFileBadPath_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing folder") << QStringLiteral("missing/folder/Tidewell.log");
        QTest::newRow("a folder") << QStringLiteral("folder");
    }

    // The line still reaches the list; one notice says why the file was not written, and it
    // is not repeated until a write succeeds again.
    void unwritableFileBadPath() {
        QFETCH(QString, name);
        QDir(m_home->path()).mkdir(QStringLiteral("folder"));
        const QString bad = m_home->file(name);
        writeSetting(Setting::LogToFile, QStringLiteral("1"));
        writeSetting(Setting::LogFile, bad);

        logAction(QStringLiteral("Application started"));
        QCOMPARE(m_sink.lines.size(), 2);
        QVERIFY(m_sink.lines[1].endsWith(QStringLiteral("\tApplication started")));
        QVERIFY2(m_sink.lines[0].contains(bad), qPrintable(m_sink.lines[0]));
        QVERIFY(m_sink.lines[0].contains(QStringLiteral("could not be written")));

        logAction(QStringLiteral("Task deleted: A"));
        QCOMPARE(m_sink.lines.size(), 3);
        QVERIFY(m_sink.lines[0].endsWith(QStringLiteral("\tTask deleted: A")));

        writeSetting(Setting::LogFile, QString());
        logAction(QStringLiteral("Task deleted: B"));
        QCOMPARE(m_sink.lines.size(), 4);
        QVERIFY(fileContents(SettingDefault::logFile()).endsWith("\tTask deleted: B\r\n"));

        writeSetting(Setting::LogFile, bad);
        logAction(QStringLiteral("Task deleted: C"));
        QCOMPARE(m_sink.lines.size(), 6);
        QVERIFY(m_sink.lines[0].contains(bad));

        // A different file that fails is reported on its own.
        const QString otherBad = m_home->file(QStringLiteral("absent/other.log"));
        writeSetting(Setting::LogFile, otherBad);
        logAction(QStringLiteral("Task deleted: D"));
        QCOMPARE(m_sink.lines.size(), 8);
        QVERIFY(m_sink.lines[0].contains(otherBad));
    }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<SteppingClock> m_clock;
    ListSink m_sink;
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
