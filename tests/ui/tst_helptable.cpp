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
        QTest::newRow("load") << "load"
                              << "Welcome to Tidewell" << 1;
        QTest::newRow("buttonbar") << "buttonbar"
                                   << "Button Bar" << 2;
        QTest::newRow("statusbar") << "statusbar"
                                   << "Status Bar" << 1;
        QTest::newRow("tasklist") << "tasklist"
                                  << "Task List" << 2;
        QTest::newRow("help") << "help"
                              << "Interactive Help" << 2;
        QTest::newRow("menutasks") << "menutasks"
                                   << "Tasks Menu" << 2;
        QTest::newRow("menuview") << "menuview"
                                  << "View Menu" << 1;
        QTest::newRow("menuhelp") << "menuhelp"
                                  << "Help Menu" << 1;
        QTest::newRow("log") << "log"
                             << "Action Log" << 1;
        QTest::newRow("taskname") << "taskname"
                                  << "Task Name" << 1;
        QTest::newRow("tasksourcefile") << "tasksourcefile"
                                        << "Source File" << 2;
        QTest::newRow("taskdestinationfile") << "taskdestinationfile"
                                             << "Destination File" << 1;
        QTest::newRow("taskdestinationlist") << "taskdestinationlist"
                                             << "Destination Files" << 2;
        QTest::newRow("taskdestinationadd") << "taskdestinationadd"
                                            << "Add Destination" << 1;
        QTest::newRow("taskdestinationdelete") << "taskdestinationdelete"
                                               << "Delete Destination" << 1;
        QTest::newRow("taskconfirm") << "taskconfirm"
                                     << "Confirmation" << 1;
        QTest::newRow("taskconfirmtitle") << "taskconfirmtitle"
                                          << "Confirmation Title" << 1;
        QTest::newRow("taskconfirmmessage") << "taskconfirmmessage"
                                            << "Confirmation Question" << 1;
        QTest::newRow("taskrule") << "taskrule"
                                  << "Update Rule" << 1;
        QTest::newRow("setupdelete") << "setupdelete"
                                     << "Delete Confirmation" << 1;
        QTest::newRow("setupquit") << "setupquit"
                                   << "Quit Confirmation" << 1;
        QTest::newRow("setupedit") << "setupedit"
                                   << "Edit Task" << 1;
        QTest::newRow("setupperform") << "setupperform"
                                      << "Perform Task" << 1;
        QTest::newRow("setuprun") << "setuprun"
                                  << "Run File" << 1;
        QTest::newRow("ok") << "ok"
                            << "OK" << 1;
        QTest::newRow("cancel") << "cancel"
                                << "Cancel" << 1;
        QTest::newRow("browse") << "browse"
                                << "Browse" << 1;
        QTest::newRow("setuplog") << "setuplog"
                                  << "Logging" << 1;
        QTest::newRow("setuplogfile") << "setuplogfile"
                                      << "Log File" << 1;
        QTest::newRow("next") << "next"
                              << "Next" << 1;
        QTest::newRow("previous") << "previous"
                                  << "Previous" << 1;
        QTest::newRow("finish") << "finish"
                                << "Finish" << 1;
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
