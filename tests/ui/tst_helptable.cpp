#include "helpTable.h"

#include <QSet>
#include <QtTest>

namespace {
struct ExpectedEntry {
    const char* key;
    const char* title;
    int paragraphs;
};

// Every key some control sends, with its title and number of paragraphs.
constexpr ExpectedEntry expectedEntries[] = {
    {"load", "Welcome to Tidewell", 1},
    {"buttonbar", "Button Bar", 2},
    {"statusbar", "Status Bar", 1},
    {"tasklist", "Task List", 2},
    {"help", "Interactive Help", 2},
    {"menutasks", "Tasks Menu", 2},
    {"menuview", "View Menu", 1},
    {"menuhelp", "Help Menu", 1},
    {"log", "Action Log", 1},
    {"taskname", "Task Name", 1},
    {"tasksourcefile", "Source File", 2},
    {"taskdestinationfile", "Destination File", 1},
    {"taskdestinationlist", "Destination Files", 2},
    {"taskdestinationadd", "Add Destination", 1},
    {"taskdestinationdelete", "Delete Destination", 1},
    {"taskconfirm", "Confirmation", 1},
    {"taskconfirmtitle", "Confirmation Title", 1},
    {"taskconfirmmessage", "Confirmation Question", 1},
    {"taskrule", "Update Rule", 1},
    {"setupdelete", "Delete Confirmation", 1},
    {"setupquit", "Quit Confirmation", 1},
    {"setupnotify", "Failure Notification", 1},
    {"setupautostart", "Start at Login", 1},
    {"setupedit", "Edit Task", 1},
    {"setupperform", "Perform Task", 1},
    {"setuprun", "Run File", 1},
    {"ok", "OK", 1},
    {"cancel", "Cancel", 1},
    {"browse", "Browse", 1},
    {"setuplog", "Logging", 1},
    {"setuplogfile", "Log File", 1},
    {"next", "Next", 1},
    {"previous", "Previous", 1},
    {"finish", "Finish", 1},
};
} // namespace

class TestHelpTable : public QObject {
    Q_OBJECT

private slots:
    void everyKeyHasItsEntry_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("paragraphs");
        for (const ExpectedEntry& entry : expectedEntries)
            QTest::newRow(entry.key) << QString::fromLatin1(entry.key)
                                     << QString::fromLatin1(entry.title) << entry.paragraphs;
    }

    // Each key finds its own title, and a text of two paragraphs has one empty line between.
    void everyKeyHasItsEntry() {
        QFETCH(QString, key);
        QFETCH(QString, title);
        QFETCH(int, paragraphs);
        const std::optional<HelpEntry> entry = helpEntry(key);
        QVERIFY(entry);
        QCOMPARE(entry->title, title);
        const QStringList pieces = entry->text.split(QStringLiteral("\r\n\r\n"));
        QCOMPARE(pieces.size(), paragraphs);
        for (const QString& piece : pieces) {
            QVERIFY(!piece.isEmpty());
            QVERIFY(!piece.contains(QLatin1Char('\r')) && !piece.contains(QLatin1Char('\n')));
        }
    }

    void titlesDifferWithoutRegardToCase() {
        QSet<QString> titles;
        for (const ExpectedEntry& entry : expectedEntries)
            titles.insert(
                helpEntry(QString::fromLatin1(entry.key)).value_or(HelpEntry{}).title.toLower());
        QCOMPARE(titles.size(), int(std::size(expectedEntries)));
    }

    void keysMatchWithoutRegardToCase_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("title");
        QTest::newRow("OK") << "OK"
                            << "OK";
        QTest::newRow("Ok") << "Ok"
                            << "OK";
        QTest::newRow("oK") << "oK"
                            << "OK";
        QTest::newRow("TaskList") << "TaskList"
                                  << "Task List";
        QTest::newRow("SETUPLOGFILE") << "SETUPLOGFILE"
                                      << "Log File";
    }

    void keysMatchWithoutRegardToCase() {
        QFETCH(QString, key);
        QFETCH(QString, title);
        QCOMPARE(helpEntry(key).value_or(HelpEntry{}).title, title);
    }

    void unknownKeysFindNothing_data() {
        QTest::addColumn<QString>("key");
        QTest::newRow("empty") << QString();
        QTest::newRow("longer") << "okay";
        QTest::newRow("trailing blank") << "ok ";
        QTest::newRow("prefix of a key") << "setup";
        QTest::newRow("title instead of key") << "Task List";
        QTest::newRow("the panel's own texts") << "Loading...";
    }

    void unknownKeysFindNothing() {
        QFETCH(QString, key);
        QVERIFY(!helpEntry(key));
    }

    void textsAsWritten() {
        QCOMPARE(helpEntry(QStringLiteral("load"))->text,
                 QStringLiteral("This is the Tidewell interactive help facility.  Please move your "
                                "mouse over any item to get information on its function and use."));
        QCOMPARE(helpEntry(QStringLiteral("menutasks"))->text,
                 QStringLiteral("This menu contains commands for working with tasks.  To select a "
                                "task to use click on it in the task list.\r\n\r\nYou can also "
                                "access this menu by right clicking on the task list."));
        QCOMPARE(helpEntry(QStringLiteral("setuplog"))->text,
                 QStringLiteral("If checked then all items shown in the Activity Log window will "
                                "also be saved as an text file for later reference."));
        QCOMPARE(helpEntry(QStringLiteral("taskconfirmmessage"))->text,
                 QStringLiteral("This is the question that will ask you whether you want to "
                                "distribute the file or not.  It should be a yes/no question."));
        QCOMPARE(helpEntry(QStringLiteral("finish"))->text,
                 QStringLiteral("Complete the wizard and create your new task."));
    }
};

QTEST_MAIN(TestHelpTable)
#include "tst_helptable.moc"
