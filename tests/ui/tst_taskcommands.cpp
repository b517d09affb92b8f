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

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>

namespace db = modDatabaseBinary;

namespace {

using MainWindow = WindowFixture<frmMain>;

// Works the task editor when it opens, as the user would.
void whenEditorOpens(std::function<void(frmTaskEditor*)> work) {
    QTimer::singleShot(0, [work] {
        if (auto* editor = qobject_cast<frmTaskEditor*>(QApplication::activeModalWidget()))
            work(editor);
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

} // namespace

class TestTaskCommands : public QObject {
    Q_OBJECT

private slots:
    void refusalsInTheirOrder_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("noItems");
        QTest::addColumn<QString>("noSelection");
        for (const char* command : {"edit", "delete", "duplicate"})
            QTest::newRow(command)
                << command
                << QString("You do not have any tasks to %1.  Please add a task using the Add "
                           "New Task option.")
                       .arg(command)
                << QString("You have not selected a task to %1.  Please click on the tasks in "
                           "the task list before clicking on %1.")
                       .arg(command);
        const QString nothingToPerform = "You do not have any tasks to perform.  Please add a "
                                         "task using the Add New Task option.";
        QTest::newRow("perform") << "perform" << nothingToPerform
                                 << "You have not selected a task to perform.  Please click on "
                                    "the task with the left mouse button to select it, then "
                                    "click on Perform.";
        QTest::newRow("perform all") << "perform all" << nothingToPerform << QString();
        QTest::newRow("launch")
            << "launch"
            << "You currently have no tasks in your task list.  Please add a task before trying "
               "to run an item."
            << "You have not selected an item to run.  Please select an item then try to run "
               "it.";
        QTest::newRow("compare")
            << "compare"
            << "You do not have any tasks to compare file information.  Please add a task using "
               "the Add Task command in the Tasks menu."
            << "Please select a file to view before clicking on the Compare File Information "
               "function.";
    }
    // First the empty list is refused, then the missing selection; nothing else is said.
    void refusalsInTheirOrder() {
        QFETCH(QString, command);
        QFETCH(QString, noItems);
        QFETCH(QString, noSelection);
        MainWindow f;
        const QMap<QString, void (frmMain::*)()> commands = {
            {"edit", &frmMain::editTask},
            {"delete", &frmMain::deleteTask},
            {"duplicate", &frmMain::duplicateTask},
            {"perform", &frmMain::performSelectedTask},
            {"perform all", &frmMain::performAllTasks},
            {"launch", &frmMain::launchSelectedFile},
            {"compare", &frmMain::compareFileInformation}};
        (f.w.*commands[command])();
        QCOMPARE(f.messages.refusals(), QStringList({noItems}));
        storeAndSelect(f, 0, "One");
        f.w.lvwTasks->selectRow(-1);
        f.messages.shown.clear();
        (f.w.*commands[command])();
        QCOMPARE(f.messages.refusals(),
                 noSelection.isEmpty() ? QStringList() : QStringList({noSelection}));
        QCOMPARE(f.w.lvwTasks->count(), 1);
    }

    void addWritesTheEditorsFieldsUnderTheLowestFreeNumber() {
        MainWindow f;
        storeTask(0, "Zero", "z.txt", "z2.txt");
        storeTask(1, "One", "o.txt", "o2.txt");
        QVERIFY(db::deleteRecord(0).ok());
        const QString source = makeFile(f.home, "report.txt");
        whenEditorOpens([&](frmTaskEditor* editor) {
            editor->txtName->setText("Report");
            editor->txtSource->setText(source);
            editor->txtDestination->setText(f.home.file("copy.txt"));
            editor->cboRule->setCurrentText(manualRule);
            savePicture(*editor, "add-editor");
            editor->cmdOK->click();
        });
        f.w.addTask();
        savePicture(f.w, "add-listed");
        QVERIFY(f.messages.shown.isEmpty());
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(QStringList({db::fieldValues[slotTaskName], db::fieldValues[slotSourceFile],
                              db::fieldValues[slotRule], db::fieldValues[slotConfirmationOn]}),
                 QStringList({"Report", source, manualRule, "0"}));
        QCOMPARE(logged(f.w, "New task added: Report"), 1);
        QCOMPARE(f.w.lvwTasks->count(), 2);
        QCOMPARE(f.w.statusPanel1->text(), "You currently have 2 active tasks.");
    }

    void cancelledAddWritesAndLogsNothing() {
        MainWindow f;
        const int logLines = f.w.lstLog->count();
        whenEditorOpens([](frmTaskEditor* editor) {
            editor->txtName->setText("Never");
            editor->cmdCancel->click();
        });
        f.w.addTask();
        QVERIFY(!QFile::exists(db::databaseFile));
        QCOMPARE(f.w.lstLog->count(), logLines);
    }

    // A stored rule that differs only in case selects its entry; the recorded state stays.
    void editChangesTheFieldsAndKeepsTheRecordedState() {
        MainWindow f;
        storeTask(3, "Old", makeFile(f.home, "a.txt"), f.home.file("b.txt"), manualRule.toUpper());
        QVERIFY(db::writeField(TaskField::FileDate, 3, "stamp").ok());
        f.w.fillTaskList();
        select(f.w, 3);
        whenEditorOpens([](frmTaskEditor* editor) {
            QCOMPARE(editor->cboRule->currentText(), manualRule);
            editor->txtName->setText("New");
            editor->cmdOK->click();
        });
        f.w.editTask();
        QVERIFY(f.messages.shown.isEmpty());
        QCOMPARE(db::readField(TaskField::TaskName, 3).value(), "New");
        QCOMPARE(db::readField(TaskField::Rule, 3).value(), manualRule);
        QCOMPARE(db::readField(TaskField::FileDate, 3).value(), "stamp");
        QCOMPARE(logged(f.w, "Task updated: New"), 1);
    }

    void aTaskThatVanishedIsNeverWrittenBack() {
        MainWindow f;
        storeAndSelect(f, 0, "Gone");
        QVERIFY(db::deleteRecord(0).ok());
        const QByteArray before = taskTableBytes();
        f.w.editTask();
        f.w.duplicateTask();
        f.w.performSelectedTask();
        QCOMPARE(f.messages.refusals().size(), 3);
        QVERIFY(f.messages.refusals().first().contains("no longer in the task list"));
        QCOMPARE(taskTableBytes(), before);
        QCOMPARE(f.w.lvwTasks->count(), 0);
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

    // A copy under the same name; with every number taken, nothing is written.
    void duplicate() {
        MainWindow f;
        storeAndSelect(f, 0, "Twin");
        f.w.duplicateTask();
        QCOMPARE(f.w.lvwTasks->count(), 2);
        QCOMPARE(f.w.lvwTasks->itemText(0, 0) + f.w.lvwTasks->itemText(1, 0), "TwinTwin");
        QCOMPARE(logged(f.w, "Task duplicated: Twin"), 1);
        for (int n = 2; n <= db::maxRecordNumber; ++n)
            QVERIFY(db::writeField(TaskField::TaskName, n, "T").ok());
        f.w.fillTaskList();
        QCOMPARE(f.w.lvwTasks->count(), db::maxRecordNumber + 1);
        f.w.lvwTasks->selectRow(0);
        const QByteArray before = taskTableBytes();
        f.w.duplicateTask();
        QCOMPARE(f.messages.refusals().size(), 1);
        QVERIFY(f.messages.refusals().first().contains("no free task number"));
        QCOMPARE(taskTableBytes(), before);
    }

    // Arranged by date, every task moves once performed; each is performed exactly once.
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
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), QByteArray::number(n));
            QCOMPARE(db::readField(TaskField::LastUpdated, n).value(), dateText(today()));
        }
        // Each task exactly once and in the order taken at the start (the log's newest line is
        // on top), though each moves in the date arrangement once performed.
        QStringList performed;
        for (int row = f.w.lstLog->count() - 1; row >= 0; --row) {
            const QString line = f.w.lstLog->item(row)->text();
            if (line.contains("Successfully performed "))
                performed << line.section("Successfully performed ", 1);
        }
        QCOMPARE(performed, QStringList({"Task 0", "Task 1", "Task 2", "Task 3", "Task 4"}));
        // The list rebuilt at the end: count and selection as before, every row dated.
        QCOMPARE(f.w.statusPanel1->text(), QString("You currently have 5 active tasks."));
        QCOMPARE(f.w.lvwTasks->itemKey(f.w.lvwTasks->selectedRow()), selected);
        for (int row = 0; row < 5; ++row)
            QVERIFY(!f.w.lvwTasks->itemText(row, 1).isEmpty());
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

    // Launching checks the path the list shows; the default action "RUN" in any case launches.
    void launchChecksThePathItShows() {
        MainWindow f;
        UrlCatcher catcher({"file"});
        const QString source = makeFile(f.home, "open me.txt");
        storeTask(0, "Open", source, "b.txt");
        storeTask(1, "Empty", "", "c.txt");
        storeTask(2, "Missing", f.home.file("gone.txt"), "d.txt");
        f.w.fillTaskList();
        select(f.w, 1);
        f.w.launchSelectedFile();
        select(f.w, 2);
        f.w.launchSelectedFile();
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

    void clickingAnItemFeedsTheComparisonWindow() {
        MainWindow f;
        storeAndSelect(f, 0, "One");
        emit f.w.lvwTasks->itemClicked(0);
        QCOMPARE(f.w.fileInfo->lblSourceFile->text(), f.home.file("One.txt"));
        QCOMPARE(f.w.fileInfo->lblDestinationFile->text(), f.home.file("One copy"));
        f.w.compareFileInformation();
        QVERIFY(f.w.fileInfo->isVisible());
        QVERIFY(f.messages.shown.isEmpty());
        savePicture(*f.w.fileInfo, "fileinfo");
    }

    void renameIsWrittenOrRefused_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("new name") << "After"
                                  << "After";
        QTest::newRow("empty") << ""
                               << "Before";
        QTest::newRow("256 bytes") << QString(128, QChar(0x00e9)) << "Before";
        QTest::newRow("255 bytes")
            << QString(127, QChar(0x00e9)) + "x" << QString(127, QChar(0x00e9)) + "x";
    }
    void renameIsWrittenOrRefused() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
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
        QCOMPARE(f.messages.refusals().size(), typed == stored ? 0 : 1);
        QCOMPARE(db::readField(TaskField::TaskName, 5).value(), stored);
        QCOMPARE(f.w.lvwTasks->itemText(f.w.lvwTasks->selectedRow(), 0), stored);
    }

    // Said once; what is whole is listed, and nothing is written into the damaged table.
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
        QCOMPARE(messages.refusals().size(), 1);
        QVERIFY(messages.refusals().first().contains("tasks.dat"));
        QCOMPARE(w.lvwTasks->count(), 1);
        w.fillTaskList();
        QCOMPARE(messages.refusals().size(), 1);
        w.lvwTasks->selectRow(0);
        w.duplicateTask();
        QCOMPARE(taskTableBytes(), before);
    }

    // Odd stored texts are listed as stored; a stored date shows year first, so that the
    // column sorts by date.
    void listShowsOddStoredTexts() {
        MainWindow f;
        storeTask(0, "", "noextension", "x");
        storeTask(12, QString::fromUtf8("Ünïcødé <&> \"odd\""), "C:\\Docs\\Report.DOC", "y");
        QVERIFY(db::writeField(TaskField::LastUpdated, 12, "not a date").ok());
        f.w.fillTaskList();
        QCOMPARE(f.w.lvwTasks->count(), 2);
        select(f.w, 12);
        QCOMPARE(f.w.selectedRecordNumber(), 12);
        QCOMPARE(f.w.lvwTasks->itemText(f.w.lvwTasks->selectedRow(), 1), "not a date");
        QVERIFY(db::writeField(TaskField::LastUpdated, 12, dateText(QDate(2026, 3, 4))).ok());
        f.w.fillTaskList();
        select(f.w, 12);
        const QString shown = f.w.lvwTasks->itemText(f.w.lvwTasks->selectedRow(), 1);
        QVERIFY2(QRegularExpression("^2026([/.-])03(?:\\1)04$").match(shown).hasMatch(),
                 qPrintable(shown));
    }
};

QTEST_MAIN(TestTaskCommands)
#include "tst_taskcommands.moc"
