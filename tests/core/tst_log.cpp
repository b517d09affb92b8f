#include "modClock.h"
#include "modRegistry.h"
#include "modTidewell.h"
#include "testHome.h"

#include <QtTest>

namespace {

// Keeps the lines of the main window's list.
struct ListSink : LogSink {
    void insertLogLine(const QString& line) override { lines << line; }
    QStringList lines;
};

// A clock that starts at 3 May 2002, 14:22:10 and moves one second on at every reading.
struct SteppingClock : Clock {
    QDateTime now() const override {
        return QDateTime(QDate(2002, 5, 3), QTime(14, 22, 10 + readings++));
    }
    mutable int readings = 0;
};

} // namespace

class TestLog : public QObject {
    Q_OBJECT

    SteppingClock m_clock;
    ListSink m_sink;

private slots:
    void init() {
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        m_clock.readings = 0;
        setClock(&m_clock);
        m_sink.lines.clear();
        setLogSink(&m_sink);
    }

    void lines_data() {
        QTest::addColumn<QString>("logToFile");
        QTest::addColumn<bool>("written");
        // Of these, the two with a 1 write the file.
        for (const char* value : {"", "0", "2", "true", "1", " 1 "})
            QTest::newRow(*value ? value : "missing")
                << QString(value) << QString(value).contains('1');
    }
    // "date, time<tab>message" in the list; when "LogToFile" reads as the integer 1, also after
    // what the chosen file held, ended by CR LF, with the time taken anew for the file, and
    // without a list as well.
    void lines() {
        QFETCH(QString, logToFile);
        QFETCH(bool, written);
        TestHome home;
        const QString path = makeFile(home, "chosen.txt", "earlier run\r\n");
        writeSetting(Setting::LogToFile, logToFile);
        writeSetting(Setting::LogFile, path);
        logAction("Grüße");
        setLogSink(nullptr);
        logAction("Application quit");
        QCOMPARE(m_sink.lines, QStringList{"03.05.2002, 14:22:10\tGrüße"});
        const QString added =
            "03.05.2002, 14:22:11\tGrüße\r\n03.05.2002, 14:22:13\tApplication quit\r\n";
        QCOMPARE(fileContents(path), "earlier run\r\n" + (written ? added.toUtf8() : QByteArray()));
        QVERIFY(!QFile::exists(home.file("Tidewell.log")));
    }

    // The line still reaches the list; one notice says why the file was not written, and it
    // is not repeated until a write succeeds again (to the usual file, when none is chosen) or
    // another file fails.
    void unwritableFile() {
        TestHome home;
        const QString folder = home.path(), missing = home.file("missing/other.log");
        writeSetting(Setting::LogToFile, "1");
        QStringList lastLines;
        for (const QString& file : {folder, folder, QString(), folder, missing}) {
            writeSetting(Setting::LogFile, file);
            logAction("Task deleted");
            lastLines << m_sink.lines.last().section('\t', 1).section(" could not be", 0, 0);
        }
        QCOMPARE(lastLines, QStringList({"The log file " + folder, "Task deleted", "Task deleted",
                                         "The log file " + folder, "The log file " + missing}));
        QCOMPARE(m_sink.lines.filter("\tTask deleted").size(), 5);
        QVERIFY(fileContents(SettingDefault::logFile()).endsWith("\tTask deleted\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
