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

qsizetype logged(const frmMain& w, const QString& text) {
    return w.lstLog->findItems(text, Qt::MatchEndsWith).size();
}

const QMap<QString, void (frmMain::*)()> commands = {{"edit", &frmMain::editTask},
                                                     {"delete", &frmMain::deleteTask},
                                                     {"duplicate", &frmMain::duplicateTask},
                                                     {"perform", &frmMain::performSelectedTask},
                                                     {"perform all", &frmMain::performAllTasks},
                                                     {"launch", &frmMain::launchSelectedFile},
                                                     {"compare", &frmMain::compareFileInformation}};

} // namespace

class TestTaskCommands : public QObject {
    Q_OBJECT

private slots:
    void refusalsInTheirOrder_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("noItems");
        QTest::addColumn<QString>("noSelection");
        for (const char* command : {"edit", "delete", "duplicate"})
            QTest::newRow(command) << command
                                   << QString("You do not have any tasks to %1.  Please add a "
                                              "task using the Add New Task option.")
                                          .arg(command)
                                   << QString("You have not selected a task to %1.  Please click "
                                              "on the tasks in the task list before clicking on "
                                              "%1.")
                                          .arg(command);
        const QString nothingToPerform = "You do not have any tasks to perform.  Please add a "
                                         "task using the Add New Task option.";
        QTest::newRow("perform") << "perform" << nothingToPerform
                                 << "You have not selected a task to perform.  Please click on "
                                    "the task with the left mouse button to select it, then "
                                    "click on Perform.";
        QTest::newRow("perform all") << "perform all" << nothingToPerform << QString();
        QTest::newRow("launch") << "launch"
                                << "You currently have no tasks in your task list.  Please add "
                                   "a task before trying to run an item."
                                << "You have not selected an item to run.  Please select an "
                                   "item then try to run it.";
        QTest::newRow("compare") << "compare"
                                 << "You do not have any tasks to compare file information.  "
                                    "Please add a task using the Add Task command in the Tasks "
                                    "menu."
                                 << "Please select a file to view before clicking on the "
                                    "Compare File Information function.";
    }
    // First the empty list is refused, then the missing selection; nothing else
    // is said.
    void refusalsInTheirOrder() {
        QFETCH(QString, command);
        QFETCH(QString, noItems);
        QFETCH(QString, noSelection);
        MainWindow f;
        (f.w.*commands[command])();
        storeAndSelect(f, 0, "One");
        f.w.lvwTasks->selectRow(-1);
        (f.w.*commands[command])();
        QCOMPARE(f.messages.refusals(),
                 QStringList({noItems, noSelection}).filter(QRegularExpression(".")));
        QCOMPARE(f.w.lvwTasks->count(), 1);
    }

    // Cancel writes and logs nothing; OK writes under the lowest free number, and
    // edit keeps the recorded state. A stored rule that differs only in case
    // selects its entry.
    void addAndEdit() {
        MainWindow f;
        storeTask(0, "Zero", "z.txt", "z2.txt");
        storeTask(1, "One", makeFile(f.home, "o.txt"), "o2.txt", manualRule.toUpper());
        QVERIFY(db::writeField(TaskField::FileDate, 1, "stamp").ok());
        QVERIFY(db::deleteRecord(0).ok());
        const QByteArray before = taskTableBytes();
        const int logLines = f.w.lstLog->count();
        whenEditorOpens("Never", false);
        f.w.addTask();
        QCOMPARE(taskTableBytes(), before);
        QCOMPARE(f.w.lstLog->count(), logLines);
        const QString source = makeFile(f.home, "report.txt");
        whenEditorOpens("Report", true, source);
        f.w.addTask();
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(QStringList({db::fieldValues[slotTaskName], db::fieldValues[slotSourceFile],
                              db::fieldValues[slotRule], db::fieldValues[slotConfirmationOn]}),
                 QStringList({"Report", source, manualRule, "0"}));
        QCOMPARE(f.w.statusPanel1->text(), "You currently have 2 active tasks.");
        select(f.w, 1);
        whenEditorOpens("New", true);
        f.w.editTask();
        QCOMPARE(db::readField(TaskField::TaskName, 1).value() +
                     db::readField(TaskField::Rule, 1).value() +
                     db::readField(TaskField::FileDate, 1).value(),
                 "New" + manualRule + "stamp");
        QVERIFY(f.messages.shown.isEmpty());
        QCOMPARE(logged(f.w, "New task added: Report") + logged(f.w, "Task updated: New"), 2);
    }

    void deleteAsksUnlessSwitchedOff_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("asked");
        QTest::newRow("absent, No") << QString() << false << true;
        QTest::newRow("TRUE, Yes") << "TRUE" << true << true;
        QTest::newRow("false") << "false" << false << false;
        QTest::newRow("other") << "sometimes" << false << false;
    }
    void deleteAsksUnlessSwitchedOff() {
        QFETCH(QString, setting);
        QFETCH(bool, yes);
        QFETCH(bool, asked);
        MainWindow f;
        if (!setting.isNull())
            writeSetting("DeleteConfirmation", setting);
        f.messages.answer = yes;
        storeAndSelect(f, 0, "Last");
        f.w.deleteTask();
        QCOMPARE(f.messages.texts(MessageKind::question),
                 asked ? QStringList({"If you delete the task Last then update of the file "
                                      "associated with it will not be performed in future.  Are "
                                      "you sure you want to continue?"})
                       : QStringList());
        const bool deleted = yes || !asked;
        QCOMPARE(f.w.lvwTasks->count(), deleted ? 0 : 1);
        QCOMPARE(logged(f.w, "Task deleted: Last"), deleted ? 1 : 0);
        QCOMPARE(f.w.statusPanel1->text() == "You currently have no active tasks.", deleted);
    }

    // A copy under the same name. Nothing is written with every number taken, nor for a task
    // that vanished since it was listed.
    void duplicateAndVanished() {
        MainWindow f;
        storeAndSelect(f, 0, "Twin");
        f.w.duplicateTask();
        QCOMPARE(f.w.lvwTasks->itemText(0, 0) + f.w.lvwTasks->itemText(1, 0), "TwinTwin");
        QCOMPARE(logged(f.w, "Task duplicated: Twin"), 1);
        for (int n = 2; n <= db::maxRecordNumber; ++n)
            QVERIFY(db::writeField(TaskField::TaskName, n, "T").ok());
        f.w.fillTaskList();
        select(f.w, 0);
        const QByteArray full = taskTableBytes();
        f.w.duplicateTask();
        QCOMPARE(taskTableBytes(), full);
        QVERIFY(db::deleteRecord(0).ok());
        const QByteArray before = taskTableBytes();
        f.w.editTask();
        f.w.duplicateTask();
        f.w.performSelectedTask();
        QCOMPARE(taskTableBytes(), before);
        const QStringList refusals = f.messages.refusals();
        QVERIFY(refusals.size() == 4 && refusals[0].contains("no free task number"));
        QVERIFY(refusals[1].contains("no longer in the task list"));
        QCOMPARE(f.w.lvwTasks->count(), db::maxRecordNumber);
    }

    // Arranged by date, every task moves once performed; each is still performed
    // exactly once, in the order taken at the start (the log's newest line is on
    // top), and the list rebuilt at the end keeps count and selection.
    void performAllWalksTheTasksTakenAtItsStart() {
        MainWindow f;
        for (int n = 0; n < 5; ++n)
            storeTask(n, QString("Task %1").arg(n),
                      makeFile(f.home, QString("s%1.txt").arg(n), QByteArray::number(n)),
                      f.home.file(QString("d%1.txt").arg(n)));
        f.w.fillTaskList();
        f.w.lvwTasks->selectRow(2);
        const QString selected = f.w.lvwTasks->itemKey(2);
        f.w.performAllTasks();
        QVERIFY(f.w.mnuViewArrangeDate->isChecked());
        for (int n = 0; n < 5; ++n) {
            QFile copy(f.home.file(QString("d%1.txt").arg(n)));
            QVERIFY(copy.open(QIODevice::ReadOnly) && copy.readAll() == QByteArray::number(n));
            QCOMPARE(db::readField(TaskField::LastUpdated, n).value(), dateText(today()));
        }
        QStringList performed;
        for (int row = f.w.lstLog->count() - 1; row >= 0; --row)
            if (f.w.lstLog->item(row)->text().contains("Successfully performed "))
                performed << f.w.lstLog->item(row)->text().section("Successfully performed ", 1);
        QCOMPARE(performed, QStringList({"Task 0", "Task 1", "Task 2", "Task 3", "Task 4"}));
        QCOMPARE(f.w.statusPanel1->text(), QString("You currently have 5 active tasks."));
        QCOMPARE(f.w.lvwTasks->itemKey(f.w.lvwTasks->selectedRow()), selected);
        // Shown year first, so that the column sorts by date.
        const QString shown = f.w.lvwTasks->itemText(f.w.lvwTasks->selectedRow(), 1);
        QCOMPARE(QString(shown).remove(QRegularExpression("[/.-]")), today().toString("yyyyMMdd"));
        QVERIFY(f.messages.shown.isEmpty());
    }

    // The user reaches Perform All again while a task's question is open.
    void performAllIsNotStartedTwice() {
        MainWindow f;
        storeTask(0, "Asks", makeFile(f.home, "a.txt"), f.home.file("b.txt"), manualRule, "Copy?");
        f.w.fillTaskList();
        f.messages.answer = false;
        f.messages.whileShown = [&] {
            if (f.messages.shown.size() == 1)
                f.w.performAllTasks();
        };
        f.w.performAllTasks();
        QCOMPARE(f.messages.shown.size(), 1);
    }

    // Launching checks the path the list shows; the default action "RUN" in any
    // case launches.
    void launchChecksThePathItShows() {
        MainWindow f;
        UrlCatcher catcher({"file"});
        const QString source = makeFile(f.home, "open me.txt");
        storeTask(0, "Open", source, "b.txt");
        storeTask(1, "Empty", "", "c.txt");
        storeTask(2, "Missing", f.home.file("gone.txt"), "d.txt");
        f.w.fillTaskList();
        for (int n : {1, 2}) {
            select(f.w, n);
            f.w.launchSelectedFile();
        }
        select(f.w, 0);
        writeSetting("TaskAction", "RUN");
        f.w.runDefaultAction();
        writeSetting("TaskAction", "open");
        f.w.runDefaultAction();
        QCOMPARE(f.messages.refusals(),
                 QStringList({"The task has no source file associated with it.  Please check "
                              "and try again.",
                              "The source file associated with the selected task no longer "
                              "exists.  Please check and try agian."}));
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(source)});
    }

    // A selection moved by a key counts as a click: the comparison window gets
    // its paths.
    void keyboardSelectionFeedsTheComparisonWindow() {
        MainWindow f;
        storeAndSelect(f, 1, "Two");
        storeAndSelect(f, 0, "One");
        QTest::keyClick(f.w.lvwTasks->currentView(),
                        f.w.lvwTasks->itemKey(0) == "key0" ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(f.w.fileInfo->lblSourceFile->text() + '|' +
                     f.w.fileInfo->lblDestinationFile->text(),
                 f.home.file("Two.txt") + '|' + f.home.file("Two copy"));
        f.w.compareFileInformation();
        QVERIFY(f.w.fileInfo->isVisible() && f.messages.shown.isEmpty());
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
        QCOMPARE(db::readField(TaskField::TaskName, 5).value(), stored);
        QCOMPARE(f.w.lvwTasks->itemText(f.w.lvwTasks->selectedRow(), 0), stored);
    }

    // Said once; what is whole is listed, and nothing is written into the damaged
    // table.
    void aDamagedTableIsSaidOnceAndWhatIsWholeIsListed() {
        TestHome home;
        MessageCatcher messages;
        openTaskTable();
        storeTask(0, "Whole", "a.txt", "b.txt");
        {
            QFile table(db::databaseFile);
            QVERIFY(table.open(QIODevice::Append));
            table.write("\x02\x00garbage");
        }
        const QByteArray before = taskTableBytes();
        frmMain w;
        w.load();
        QCOMPARE(w.lvwTasks->count(), 1);
        w.fillTaskList();
        QCOMPARE(messages.refusals().size(), 1);
        QVERIFY(messages.refusals().first().contains("tasks.dat"));
        w.lvwTasks->selectRow(0);
        w.duplicateTask();
        QCOMPARE(taskTableBytes(), before);
    }
};

QTEST_MAIN(TestTaskCommands)
#include "tst_taskcommands.moc"
