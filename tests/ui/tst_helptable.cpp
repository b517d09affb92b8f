#include "helpTable.h"

#include <QSet>
#include <QtTest>

class TestHelpTable : public QObject {
    Q_OBJECT

private slots:
    void everyKeyHasItsEntry_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("paragraphs");
        const auto row = [](const char* key, const char* title, int paragraphs) {
            QTest::newRow(key) << QString::fromLatin1(key) << QString::fromLatin1(title)
                               << paragraphs;
        };
        row("load", "Welcome to Tidewell", 1);
        row("buttonbar", "Button Bar", 2);
        row("statusbar", "Status Bar", 1);
        row("tasklist", "Task List", 2);
        row("help", "Interactive Help", 2);
        row("menutasks", "Tasks Menu", 2);
        row("menuview", "View Menu", 1);
        row("menuhelp", "Help Menu", 1);
        row("log", "Action Log", 1);
        row("taskname", "Task Name", 1);
        row("tasksourcefile", "Source File", 2);
        row("taskdestinationfile", "Destination File", 1);
        row("taskdestinationlist", "Destination Files", 2);
        row("taskdestinationadd", "Add Destination", 1);
        row("taskdestinationdelete", "Delete Destination", 1);
        row("taskconfirm", "Confirmation", 1);
        row("taskconfirmtitle", "Confirmation Title", 1);
        row("taskconfirmmessage", "Confirmation Question", 1);
        row("taskrule", "Update Rule", 1);
        row("setupdelete", "Delete Confirmation", 1);
        row("setupquit", "Quit Confirmation", 1);
        row("setupedit", "Edit Task", 1);
        row("setupperform", "Perform Task", 1);
        row("setuprun", "Run File", 1);
        row("ok", "OK", 1);
        row("cancel", "Cancel", 1);
        row("browse", "Browse", 1);
        row("setuplog", "Logging", 1);
        row("setuplogfile", "Log File", 1);
        row("next", "Next", 1);
        row("previous", "Previous", 1);
        row("finish", "Finish", 1);
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
        for (const char* key : {"load",
                                "buttonbar",
                                "statusbar",
                                "tasklist",
                                "help",
                                "menutasks",
                                "menuview",
                                "menuhelp",
                                "log",
                                "taskname",
                                "tasksourcefile",
                                "taskdestinationfile",
                                "taskdestinationlist",
                                "taskdestinationadd",
                                "taskdestinationdelete",
                                "taskconfirm",
                                "taskconfirmtitle",
                                "taskconfirmmessage",
                                "taskrule",
                                "setupdelete",
                                "setupquit",
                                "setupedit",
                                "setupperform",
                                "setuprun",
                                "ok",
                                "cancel",
                                "browse",
                                "setuplog",
                                "setuplogfile",
                                "next",
                                "previous",
                                "finish"})
            titles.insert(
                helpEntry(QString::fromLatin1(key)).value_or(HelpEntry{}).title.toLower());
        QCOMPARE(titles.size(), 32);
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
