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

// A clock that starts at 3 May 2002, 14:22:10 and moves one second on at every reading.
class SteppingClock : public Clock {
public:
    QDateTime now() const override { return m_start.addSecs(m_readings++); }

private:
    QDateTime m_start{QDate(2002, 5, 3), QTime(14, 22, 10)};
    mutable int m_readings = 0;
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
        m_clock = std::make_unique<SteppingClock>();
        setClock(m_clock.get());
        setLogSink(&m_sink);
        m_sink.lines.clear();
    }
    void cleanup() {
        setLogSink(nullptr);
        setClock(nullptr);
        m_home.reset();
    }

    // "date, time<tab>message": newest on top of the list, oldest first in the file, each
    // ended by CR LF there, with the time taken anew for the file.
    void listAndFileLines() {
        writeSetting(Setting::LogToFile, "1");
        logAction("first");
        logAction("zweite Zeile: Grüße");
        QCOMPARE(m_sink.lines, QStringList({"03.05.2002, 14:22:12\tzweite Zeile: Grüße",
                                            "03.05.2002, 14:22:10\tfirst"}));
        QCOMPARE(fileContents(m_home->file("Tidewell.log")),
                 QString("03.05.2002, 14:22:11\tfirst\r\n"
                         "03.05.2002, 14:22:13\tzweite Zeile: Grüße\r\n")
                     .toUtf8());
    }

    // Without a list the line still goes to the chosen file, after what it held.
    void appendsToTheChosenFileWithoutAList() {
        setLogSink(nullptr);
        const QString path = makeFile(*m_home, "chosen.txt", "earlier run\r\n");
        writeSetting(Setting::LogToFile, "1");
        writeSetting(Setting::LogFile, path);
        logAction("Application quit");
        QCOMPARE(fileContents(path), "earlier run\r\n03.05.2002, 14:22:11\tApplication quit\r\n");
        QVERIFY(!QFile::exists(m_home->file("Tidewell.log")));
    }

    void logToFileSwitch_data() {
        QTest::addColumn<QString>("logToFile");
        QTest::addColumn<bool>("written");
        for (const char* value : {"", "0", "2", "true", "11"})
            QTest::newRow(*value ? value : "missing") << QString(value) << false;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("1 with blanks") << " 1 " << true;
    }
    // Only "LogToFile" read as the integer 1 writes the file; the list has the line anyway.
    void logToFileSwitch() {
        QFETCH(QString, logToFile);
        QFETCH(bool, written);
        writeSetting(Setting::LogToFile, logToFile);
        logAction("Application started");
        QCOMPARE(QFile::exists(m_home->file("Tidewell.log")), written);
        QCOMPARE(m_sink.lines.size(), 1);
    }

    void unwritableFileBadPath_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing folder") << "missing/folder/Tidewell.log";
        QTest::newRow("a folder") << "folder";
    }
    // The line still reaches the list; one notice says why the file was not written, and it
    // is not repeated until a write succeeds again or another file fails.
    void unwritableFileBadPath() {
        QFETCH(QString, name);
        QDir(m_home->path()).mkdir("folder");
        const QString bad = m_home->file(name);
        const QString otherBad = m_home->file("absent/other.log");
        writeSetting(Setting::LogToFile, "1");
        QString added;
        for (const QString& file : {bad, bad, QString(), bad, otherBad}) {
            writeSetting(Setting::LogFile, file);
            const qsizetype before = m_sink.lines.size();
            logAction("Task deleted: " + file);
            added += QString::number(m_sink.lines.size() - before);
            QVERIFY(
                m_sink.lines[added.back().digitValue() - 1].endsWith("\tTask deleted: " + file));
            if (added.back() == '2')
                QVERIFY(m_sink.lines[0].contains(file) &&
                        m_sink.lines[0].contains("could not be written"));
        }
        QCOMPARE(added, "21122");
        QVERIFY(fileContents(SettingDefault::logFile()).endsWith("\tTask deleted: \r\n"));
    }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<SteppingClock> m_clock;
    ListSink m_sink;
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
