#include "fileWriter.h"
#include "frmFileInfo.h"
#include "frmMain.h"
#include "frmTaskEditor.h"
#include "modClock.h"
#include "modDateText.h"
#include "modRegistry.h"
#include "taskListView.h"
#include "taskTableBuilder.h"
#include "urlCatcher.h"
#include "windowFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

namespace db = modDatabaseBinary;

namespace {

using MainWindow = WindowFixture<frmMain>;

// Works the task editor when it opens, as the user would: types a name, then OK
// or Cancel.
void whenEditorOpens(const QString& name, bool ok, const QString& source = QString()) {
    QTimer::singleShot(0, [=] {
        auto* editor = qobject_cast<frmTaskEditor*>(QApplication::activeModalWidget());
        if (!editor)
            return;
        editor->txtName->setText(name);
        if (!source.isEmpty()) {
            editor->txtSource->setText(source);
            editor->txtDestination->setText(source + ".copy");
            editor->cboRule->setCurrentText(manualRule);
        }
        (ok ? editor->cmdOK : editor->cmdCancel)->click();
    });
}

void select(frmMain& w, int recordNumber) {
    for (int row = 0; row < w.lvwTasks->count(); ++row)
        if (w.lvwTasks->itemKey(row) == "key" + QString::number(recordNumber))
            w.lvwTasks->selectRow(row);
}

// One stored task, listed and selected.
void storeAndSelect(MainWindow& f, int recordNumber, const QString& name) {
    storeTask(recordNumber, name, makeFile(f.home, name + ".txt"), f.home.file(name + " copy"));
    f.w.fillTaskList();
    select(f.w, recordNumber);
}

const QMap<QString, void (frmMain::*)()> commands = {{"edit", &frmMain::editTask},
                                                     {"delete", &frmMain::deleteTask},
                                                     {"duplicate", &frmMain::duplicateTask},
                                                     {"perform", &frmMain::performSelectedTask},
                                                     {"perform all", &frmMain::performAllTasks},
                                                     {"launch", &frmMain::launchSelectedFile},
                                                     {"compare", &frmMain::compareFileInformation}};

// One change asked of the window, and what comes of it.
struct Change {
    QString command;
    QString setting; // DeleteConfirmation; null: none
    bool yes;        // OK in the editor, Yes to the question
    QString logLine; // the one line logged, if any
    QString status;
    QString stored = {}; // the task written (edit: 1, else 0), from its start
    QString said = {};
};

} // namespace

class TestTaskCommands : public QObject {
    Q_OBJECT

private slots:
    // First the empty list is refused, then the missing selection, then a task broken since the
    // list was built (gone from tasks.dat, its source deleted); nothing else is said, and
    // tasks.dat is left as it is.
    void refusalsInTheirOrder_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("refusals");
        const QString addOne = "Please add a task using the Add New Task option.";
        const QString gone = "The selected task is no longer in the task list.  It may have been "
                             "removed by another copy of Tidewell.";
        for (const QString command : {"edit", "delete", "duplicate"})
            QTest::newRow(qPrintable(command))
                << command
                << QStringList{"You do not have any tasks to " + command + ".  " + addOne,
                               "You have not selected a task to " + command +
                                   ".  Please click on the tasks in the task list before "
                                   "clicking on " +
                                   command + ".",
                               gone};
        const QString nothingToPerform = "You do not have any tasks to perform.  " + addOne;
        QTest::newRow("perform") << "perform"
                                 << QStringList{nothingToPerform,
                                                "You have not selected a task to perform.  Please "
                                                "click on the task with the left mouse button to "
                                                "select it, then click on Perform.",
                                                gone};
        QTest::newRow("perform all") << "perform all" << QStringList{nothingToPerform};
        QTest::newRow("launch") << "launch"
                                << QStringList{"You currently have no tasks in your task list.  "
                                               "Please add a task before trying to run an item.",
                                               "You have not selected an item to run.  Please "
                                               "select an item then try to run it.",
                                               "The source file associated with the selected task "
                                               "no longer exists.  Please check and try agian."};
        QTest::newRow("compare") << "compare"
                                 << QStringList{"You do not have any tasks to compare file "
                                                "information.  Please add a task using the Add "
                                                "Task command in the Tasks menu.",
                                                "Please select a file to view before clicking on "
                                                "the Compare File Information function."};
    }
    void refusalsInTheirOrder() {
        QFETCH(QString, command);
        QFETCH(QStringList, refusals);
        MainWindow f;
        (f.w.*commands[command])();
        storeAndSelect(f, 0, "One");
        f.w.lvwTasks->selectRow(-1);
        (f.w.*commands[command])();
        QVERIFY(db::deleteRecord(0).ok() && QFile::remove(f.home.file("One.txt")));
        const QByteArray before = taskTableBytes();
        f.w.lvwTasks->selectRow(0);
        (f.w.*commands[command])();
        QCOMPARE(taskTableBytes(), before);
        QCOMPARE(f.messages.refusals(), refusals);
        // Refusing a vanished task rebuilds the list.
        QCOMPARE(f.w.lvwTasks->count(),
                 refusals.last().startsWith("The selected task is no longer") ? 0 : 1);
    }

    void changesAreWrittenAndLogged_data() {
        QTest::addColumn<Change>("c");
        const QString asked = "If you delete the task One then update of the file associated "
                              "with it will not be performed in future.  Are you sure you want "
                              "to continue?";
        const QString all = QString::number(db::maxRecordNumber + 1);
        const auto row = [](const char* name, const Change& change) {
            QTest::newRow(name) << change;
        };
        row("add, Cancel", {"add", "", false, "", "one active task."});
        // Under the lowest free number.
        row("add", {"add", "", true, "New task added: New", "2 active tasks.",
                    "New|new.txt|" + manualRule + "|0"});
        // Keeps the recorded state; the stored rule, in another case, selects its entry.
        row("edit", {"edit", "", true, "Task updated: New", "one active task.",
                     "New|o.txt|" + manualRule + "|0|stamp"});
        row("duplicate", {"duplicate", "", true, "Task duplicated: One", "2 active tasks.",
                          "One|o.txt|" + manualRule.toUpper() + "|0|stamp"});
        row("duplicate, table full", {"duplicate", "", true, "", all + " active tasks.", "",
                                      "There is no free task number: all " + all + " are in use."});
        row("delete, asked, No", {"delete", QString(), false, "", "one active task.", "", asked});
        row("delete, TRUE, Yes",
            {"delete", "TRUE", true, "Task deleted: One", "no active tasks.", "", asked});
        row("delete, false", {"delete", "false", false, "Task deleted: One", "no active tasks."});
        row("delete, other",
            {"delete", "sometimes", false, "Task deleted: One", "no active tasks."});
    }
    // Cancel writes and logs nothing; a change is written with its one log line.
    void changesAreWrittenAndLogged() {
        QFETCH(Change, c);
        const auto& [command, setting, yes, logLine, status, stored, said] = c;
        MainWindow f;
        if (!setting.isNull())
            writeSetting("DeleteConfirmation", setting);
        f.messages.answer = yes;
        storeTask(1, "One", makeFile(f.home, "o.txt"), f.home.file("o2.txt"), manualRule.toUpper());
        // A recorded date and time, so that the window's first check has nothing to record.
        QVERIFY(db::writeFields(1, {{TaskField::FileDate, "stamp"}, {TaskField::FileTime, "t"}}));
        const bool full = said.startsWith("There is no free");
        // Record 0 stays free below the task, unless every number is taken.
        for (int n = 0; full && n <= db::maxRecordNumber; ++n)
            QVERIFY(n == 1 || db::writeField(TaskField::TaskName, n, "T").ok());
        f.w.fillTaskList();
        select(f.w, 1);
        const QByteArray before = taskTableBytes();
        const int logLines = f.w.lstLog->count();
        whenEditorOpens("New", yes, command == "add" ? makeFile(f.home, "new.txt") : QString());
        (f.w.*commands.value(command, &frmMain::addTask))();
        QCOMPARE(f.w.lstLog->count() - logLines, logLine.isEmpty() ? 0 : 1);
        QVERIFY(f.w.lstLog->item(0)->text().endsWith(logLine));
        QCOMPARE(taskTableBytes() != before, !logLine.isEmpty());
        QCOMPARE(f.w.statusPanel1->text(), "You currently have " + status);
        QCOMPARE(f.messages.texts(MessageKind::question) + f.messages.refusals(),
                 QStringList(said).filter(QRegularExpression(".")));
        if (stored.isEmpty())
            return;
        QVERIFY(db::readRecord(command == "edit" ? 1 : 0).ok());
        const QString fields =
            QStringList({db::fieldValues[slotTaskName],
                         QFileInfo(db::fieldValues[slotSourceFile]).fileName(),
                         db::fieldValues[slotRule], db::fieldValues[slotConfirmationOn],
                         db::fieldValues[slotFileDate]})
                .join('|');
        QVERIFY2(fields.startsWith(stored), qPrintable(fields));
    }

    // Arranged by date, every task moves once performed; each is still performed exactly once,
    // in the order taken at the start (the log's newest line is on top), one declined, even when
    // the user reaches Perform All again while a task's question is open; the list rebuilt at the
    // end keeps count and selection.
    void performAllWalksTheTasksTakenAtItsStart() {
        MainWindow f;
        for (int n = 0; n < 5; ++n)
            storeTask(n, QString("Task %1").arg(n),
                      makeFile(f.home, QString("s%1.txt").arg(n), QByteArray::number(n)),
                      f.home.file(QString("d%1.txt").arg(n)), manualRule, n == 1 ? "Copy?" : "");
        f.w.fillTaskList();
        f.w.lvwTasks->selectRow(2);
        const QString selected = f.w.lvwTasks->itemKey(2);
        f.messages.answer = false;
        f.messages.whileShown = [&] { f.w.performAllTasks(); };
        f.w.performAllTasks();
        QTRY_VERIFY(!f.w.engine->performingUnderway());
        QVERIFY(f.w.mnuViewArrangeDate->isChecked());
        for (int n : {0, 2, 3, 4}) {
            QCOMPARE(fileContents(f.home.file(QString("d%1.txt").arg(n))), QByteArray::number(n));
            QCOMPARE(db::readField(TaskField::LastUpdated, n).value(), dateText(today()));
        }
        QStringList performed;
        for (int row = f.w.lstLog->count() - 1; row >= 0; --row)
            if (f.w.lstLog->item(row)->text().contains("Successfully performed "))
                performed << f.w.lstLog->item(row)->text().section("Successfully performed ", 1);
        QCOMPARE(performed, QStringList({"Task 0", "Task 2", "Task 3", "Task 4"}));
        QCOMPARE(f.w.lstLog->findItems("Task cancelled: Task 1", Qt::MatchEndsWith).size(), 1);
        QVERIFY(!QFile::exists(f.home.file("d1.txt")));
        QCOMPARE(f.w.statusPanel1->text(), QString("You currently have 5 active tasks."));
        QCOMPARE(f.w.lvwTasks->itemKey(f.w.lvwTasks->selectedRow()), selected);
        // Shown year first, so that the column sorts by date.
        const QString shown = f.w.lvwTasks->itemText(f.w.lvwTasks->selectedRow(), 1);
        QCOMPARE(QString(shown).remove(QRegularExpression("[/.-]")), today().toString("yyyyMMdd"));
        QCOMPARE(f.messages.shown.size(), 1);
    }

    // A selection moved by a key counts as a click: the comparison window gets its paths. The
    // default action "RUN", in any case, launches the file the list shows; a task without one is
    // refused.
    void keyboardSelectionAndTheDefaultAction() {
        MainWindow f;
        UrlCatcher catcher({"file"});
        storeAndSelect(f, 1, "Two");
        storeAndSelect(f, 0, "One");
        QTest::keyClick(f.w.lvwTasks->currentView(),
                        f.w.lvwTasks->itemKey(0) == "key0" ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(f.w.fileInfo->lblSourceFile->text() + '|' +
                     f.w.fileInfo->lblDestinationFile->text(),
                 f.home.file("Two.txt") + '|' + f.home.file("Two copy"));
        f.w.compareFileInformation();
        QVERIFY(f.w.fileInfo->isVisible());
        writeSetting("TaskAction", "RUN");
        f.w.runDefaultAction();
        writeSetting("TaskAction", "open");
        f.w.runDefaultAction();
        QVERIFY(db::writeField(TaskField::SourceFile, 1, "").ok());
        f.w.fillTaskList();
        select(f.w, 1);
        f.w.launchSelectedFile();
        QCOMPARE(f.messages.refusals(), QStringList("The task has no source file associated with "
                                                    "it.  Please check and try again."));
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(f.home.file("Two.txt"))});
    }

    void renameIsWrittenOrRefused_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("written");
        QTest::newRow("new name") << QString("After") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("256 bytes") << QString(128, QChar(0x00e9)) << false;
        QTest::newRow("255 bytes") << QString(127, QChar(0x00e9)) + "x" << true;
    }
    void renameIsWrittenOrRefused() {
        QFETCH(QString, typed);
        QFETCH(bool, written);
        const QString stored = written ? typed : "Before";
        MainWindow f;
        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        storeAndSelect(f, 5, "Before");
        f.w.lvwTasks->startRename();
        auto* editor = f.w.lvwTasks->currentView()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        // The list ends an edit on Return a moment later.
        const QPointer<QLineEdit> open = editor;
        QTRY_VERIFY(open.isNull() || open->isHidden());
        QCOMPARE(f.messages.refusals().size(), written ? 0 : 1);
        // The list showing what the handler decided is the list view's own test.
        QCOMPARE(db::readField(TaskField::TaskName, 5).value(), stored);
    }

    // OK in the editor is one write: when the fields that have to be added cannot be, the
    // ones that would go over the old values in place are not written either.
    void anEditThatCannotBeWrittenChangesNothing() {
        MainWindow f;
        storeAndSelect(f, 0, "One"); // no confirmation title yet
        const QByteArray before = taskTableBytes();
        const QString source = makeFile(f.home, "two.txt");
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit noGrowth{rlim_t(before.size()), RLIM_INFINITY},
            unlimited{RLIM_INFINITY, RLIM_INFINITY};
        QVERIFY(setrlimit(RLIMIT_FSIZE, &noGrowth) == 0);
        whenEditorOpens("Two", true, source);
        f.w.editTask();
        QVERIFY(setrlimit(RLIMIT_FSIZE, &unlimited) == 0);
        QCOMPARE(taskTableBytes(), before);
        QCOMPARE(f.messages.refusals().size(), 1);
    }

    // Said once; what is whole is listed, and the start writes nothing into the damaged table:
    // its end is no write of this program cut short, as no task has a field 99. (That every
    // writer refuses such a table is the store's test.)
    void aDamagedTableIsSaidOnceAndWhatIsWholeIsListed() {
        TestHome home;
        MessageCatcher messages;
        openTaskTable();
        storeTask(0, "Whole", "a.txt", "b.txt");
        writeFile(db::databaseFile, taskTableBytes() + "\x63");
        const QByteArray before = taskTableBytes();
        frmMain w;
        w.load();
        QCOMPARE(w.lvwTasks->count(), 1);
        w.fillTaskList();
        QCOMPARE(messages.refusals().size(), 1);
        QVERIFY(messages.refusals().first().contains("tasks.dat"));
        QCOMPARE(taskTableBytes(), before);
    }
};

QTEST_MAIN(TestTaskCommands)
#include "tst_taskcommands.moc"
