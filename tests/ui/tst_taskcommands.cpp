#include "frmFileInfo.h"
#include "frmMain.h"
#include "frmTaskEditor.h"
#include "modClock.h"
#include "modDatabaseBinary.h"
#include "modDateText.h"
#include "modMessageBox.h"
#include "modRegistry.h"
#include "modRules.h"
#include "taskListView.h"
#include "taskTable.h"
#include "testHome.h"
#include "urlCatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
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

const QString manualRule = "Only when I select to perform the task";

// Writes a task straight into the table, as another copy of the program would.
void storeTask(int recordNumber, const QString& name, const QString& source,
               const QString& destination, const QString& rule = manualRule) {
    QVERIFY(db::writeField(TaskField::TaskName, recordNumber, name).ok());
    QVERIFY(db::writeField(TaskField::SourceFile, recordNumber, source).ok());
    QVERIFY(db::writeField(TaskField::DestinationFile, recordNumber, destination).ok());
    QVERIFY(db::writeField(TaskField::Rule, recordNumber, rule).ok());
    QVERIFY(db::writeField(TaskField::ConfirmationOn, recordNumber, "0").ok());
}

// Works the next modal window that opens, as the user would.
void whenModalOpens(std::function<void(QWidget*)> work) {
    QTimer::singleShot(0, [work] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal)
            work(modal);
    });
}

QByteArray tableBytes() {
    QFile file(db::databaseFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTaskCommands : public QObject {
    Q_OBJECT

    QStringList refusals;
    QStringList questions;
    bool answer = true;

    void catchMessages() {
        refusals.clear();
        questions.clear();
        setMessageResponder([this](MessageKind kind, const QString&, const QString& text) {
            (kind == MessageKind::question ? questions : refusals) << text;
            return answer;
        });
    }

    static QString lastLog(const frmMain& w) {
        return w.lstLog->count() ? w.lstLog->item(0)->text() : QString();
    }

    static void select(frmMain& w, const QString& key) {
        for (int row = 0; row < w.lvwTasks->count(); ++row)
            if (w.lvwTasks->itemKey(row) == key)
                w.lvwTasks->selectRow(row);
    }

private slots:
    void init() {
        answer = true;
        catchMessages();
    }
    void cleanup() { setMessageResponder(nullptr); }

    void refusalsInTheirOrder_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("noItems");
        QTest::addColumn<QString>("noSelection");
        QTest::newRow("edit")
            << "edit"
            << "You do not have any tasks to edit.  Please add a task using the Add New Task "
               "option."
            << "You have not selected a task to edit.  Please click on the tasks in the task "
               "list before clicking on edit.";
        QTest::newRow("delete")
            << "delete"
            << "You do not have any tasks to delete.  Please add a task using the Add New Task "
               "option."
            << "You have not selected a task to delete.  Please click on the tasks in the task "
               "list before clicking on delete.";
        QTest::newRow("duplicate")
            << "duplicate"
            << "You do not have any tasks to duplicate.  Please add a task using the Add New "
               "Task option."
            << "You have not selected a task to duplicate.  Please click on the tasks in the "
               "task list before clicking on duplicate.";
        QTest::newRow("perform")
            << "perform"
            << "You do not have any tasks to perform.  Please add a task using the Add New Task "
               "option."
            << "You have not selected a task to perform.  Please click on the task with the "
               "left mouse button to select it, then click on Perform.";
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
    void refusalsInTheirOrder() {
        QFETCH(QString, command);
        QFETCH(QString, noItems);
        QFETCH(QString, noSelection);
        TestHome home;
        frmMain w;
        w.load();
        const QMap<QString, void (frmMain::*)()> commands = {
            {"edit", &frmMain::editTask},
            {"delete", &frmMain::deleteTask},
            {"duplicate", &frmMain::duplicateTask},
            {"perform", &frmMain::performSelectedTask},
            {"launch", &frmMain::launchSelectedFile},
            {"compare", &frmMain::compareFileInformation}};
        (w.*commands[command])();
        QCOMPARE(refusals, QStringList({noItems}));

        storeTask(0, "One", makeFile(home, "a.txt"), home.file("b.txt"));
        w.fillTaskList();
        w.lvwTasks->selectRow(-1);
        refusals.clear();
        (w.*commands[command])();
        QCOMPARE(refusals, QStringList({noSelection}));
        QCOMPARE(w.lvwTasks->count(), 1);
    }

    void addWritesTheEditorsFieldsUnderTheLowestFreeNumber() {
        TestHome home;
        frmMain w;
        w.load();
        storeTask(0, "Zero", makeFile(home, "z.txt"), home.file("z2.txt"));
        storeTask(1, "One", makeFile(home, "o.txt"), home.file("o2.txt"));
        QVERIFY(db::deleteRecord(0).ok());
        const QString source = makeFile(home, "report.txt");
        whenModalOpens([&](QWidget* modal) {
            auto* editor = qobject_cast<frmTaskEditor*>(modal);
            QVERIFY(editor);
            editor->txtName->setText("Report");
            editor->txtSource->setText(source);
            editor->txtDestination->setText(home.file("copy.txt"));
            editor->cboRule->setCurrentText(manualRule);
            editor->cmdOK->click();
        });
        w.addTask();
        QVERIFY(refusals.isEmpty());
        QVERIFY(db::readRecord(0).ok());
        QCOMPARE(db::fieldValues[slotTaskName], QString("Report"));
        QCOMPARE(db::fieldValues[slotSourceFile], source);
        QCOMPARE(db::fieldValues[slotRule], manualRule);
        QCOMPARE(db::fieldValues[slotConfirmationOn], QString("0"));
        QVERIFY(lastLog(w).endsWith("New task added: Report") ||
                w.lstLog->findItems("New task added: Report", Qt::MatchEndsWith).size() == 1);
        QCOMPARE(w.lvwTasks->count(), 2);
        QCOMPARE(w.statusPanel1->text(), QString("You currently have 2 active tasks."));
    }

    void cancelledAddWritesAndLogsNothing() {
        TestHome home;
        frmMain w;
        w.load();
        const int logLines = w.lstLog->count();
        whenModalOpens([](QWidget* modal) {
            auto* editor = qobject_cast<frmTaskEditor*>(modal);
            editor->txtName->setText("Never");
            editor->cmdCancel->click();
        });
        w.addTask();
        QVERIFY(!QFile::exists(db::databaseFile));
        QCOMPARE(w.lstLog->count(), logLines);
    }

    void editChangesTheSevenFieldsAndKeepsTheRecordedState() {
        TestHome home;
        frmMain w;
        w.load();
        storeTask(3, "Old", makeFile(home, "a.txt"), home.file("b.txt"),
                  "ONLY WHEN I SELECT TO PERFORM THE TASK");
        QVERIFY(db::writeField(TaskField::FileDate, 3, "stamp").ok());
        w.fillTaskList();
        select(w, "key3");
        whenModalOpens([](QWidget* modal) {
            auto* editor = qobject_cast<frmTaskEditor*>(modal);
            // A stored rule that differs only in case selects its entry.
            QCOMPARE(editor->cboRule->currentText(), manualRule);
            editor->txtName->setText("New");
            editor->cmdOK->click();
        });
        w.editTask();
        QVERIFY(refusals.isEmpty());
        QCOMPARE(db::readField(TaskField::TaskName, 3).value(), QString("New"));
        QCOMPARE(db::readField(TaskField::Rule, 3).value(), manualRule);
        QCOMPARE(db::readField(TaskField::FileDate, 3).value(), QString("stamp"));
        QCOMPARE(w.lstLog->findItems("Task updated: New", Qt::MatchEndsWith).size(), 1);
    }

    void aTaskThatVanishedIsNeverWrittenBack() {
        TestHome home;
        frmMain w;
        w.load();
        storeTask(0, "Gone", makeFile(home, "a.txt"), home.file("b.txt"));
        w.fillTaskList();
        select(w, "key0");
        QVERIFY(db::deleteRecord(0).ok());
        const QByteArray before = tableBytes();
        w.editTask();
        w.duplicateTask();
        w.performSelectedTask();
        QCOMPARE(refusals.size(), 3);
        QVERIFY(refusals.first().contains("no longer in the task list"));
        QCOMPARE(tableBytes(), before);
        QCOMPARE(w.lvwTasks->count(), 0);
    }

    void deleteAsksUnlessSwitchedOff_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("absent, No") << QString() << false << true << false;
        QTest::newRow("TRUE, Yes") << "TRUE" << true << true << true;
        QTest::newRow("false") << "false" << false << false << true;
        QTest::newRow("other") << "sometimes" << false << false << true;
    }
    void deleteAsksUnlessSwitchedOff() {
        QFETCH(QString, setting);
        QFETCH(bool, yes);
        QFETCH(bool, asked);
        QFETCH(bool, deleted);
        TestHome home;
        if (!setting.isNull())
            writeSetting("DeleteConfirmation", setting);
        answer = yes;
        frmMain w;
        w.load();
        storeTask(0, "Last", makeFile(home, "a.txt"), home.file("b.txt"));
        w.fillTaskList();
        select(w, "key0");
        w.deleteTask();
        QCOMPARE(questions.size(), asked ? 1 : 0);
        if (asked)
            QCOMPARE(questions.first(),
                     QString("If you delete the task Last then update of the file associated "
                             "with it will not be performed in future.  Are you sure you want "
                             "to continue?"));
        QCOMPARE(w.lvwTasks->count(), deleted ? 0 : 1);
        QCOMPARE(w.lstLog->findItems("Task deleted: Last", Qt::MatchEndsWith).size(),
                 deleted ? 1 : 0);
        if (deleted)
            QCOMPARE(w.statusPanel1->text(), QString("You currently have no active tasks."));
    }

    void duplicateCopiesUnderTheSameName() {
        TestHome home;
        frmMain w;
        w.load();
        storeTask(0, "Twin", makeFile(home, "a.txt"), home.file("b.txt"));
        w.fillTaskList();
        select(w, "key0");
        w.duplicateTask();
        QCOMPARE(w.lvwTasks->count(), 2);
        QCOMPARE(w.lvwTasks->itemText(0, 0), QString("Twin"));
        QCOMPARE(w.lvwTasks->itemText(1, 0), QString("Twin"));
        QCOMPARE(w.lstLog->findItems("Task duplicated: Twin", Qt::MatchEndsWith).size(), 1);
    }

    void duplicateWithEveryNumberTakenWritesNothing() {
        TestHome home;
        frmMain w;
        w.load();
        for (int n = 0; n <= db::maxRecordNumber; ++n)
            QVERIFY(db::writeField(TaskField::TaskName, n, "T").ok());
        w.fillTaskList();
        QCOMPARE(w.lvwTasks->count(), db::maxRecordNumber + 1);
        w.lvwTasks->selectRow(0);
        const QByteArray before = tableBytes();
        w.duplicateTask();
        QCOMPARE(refusals.size(), 1);
        QVERIFY(refusals.first().contains("no free task number"));
        QCOMPARE(tableBytes(), before);
    }

    void performAllWalksTheTasksTakenAtItsStart() {
        TestHome home;
        frmMain w;
        w.load();
        for (int n = 0; n < 5; ++n)
            storeTask(n, QString("Task %1").arg(n),
                      makeFile(home, QString("s%1.txt").arg(n), QByteArray::number(n)),
                      home.file(QString("d%1.txt").arg(n)));
        // Arranged by date, every task moves once it has been performed.
        w.fillTaskList();
        w.lvwTasks->selectRow(2);
        const QString selected = w.lvwTasks->itemKey(2);
        w.performAllTasks();
        QVERIFY(w.mnuViewArrangeDate->isChecked());
        for (int n = 0; n < 5; ++n) {
            QFile copy(home.file(QString("d%1.txt").arg(n)));
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), QByteArray::number(n));
            QCOMPARE(db::readField(TaskField::LastUpdated, n).value(), dateText(today()));
        }
        // Each task exactly once and in the order taken at the start (the log's newest line is
        // on top), though each moves in the date arrangement once performed.
        QStringList performed;
        for (int row = w.lstLog->count() - 1; row >= 0; --row) {
            const QString line = w.lstLog->item(row)->text();
            if (line.contains("Successfully performed "))
                performed << line.section("Successfully performed ", 1);
        }
        QCOMPARE(performed, QStringList({"Task 0", "Task 1", "Task 2", "Task 3", "Task 4"}));
        // The list rebuilt at the end: count and selection as before, every row dated.
        QCOMPARE(w.statusPanel1->text(), QString("You currently have 5 active tasks."));
        QCOMPARE(w.lvwTasks->itemKey(w.lvwTasks->selectedRow()), selected);
        for (int row = 0; row < 5; ++row)
            QVERIFY(!w.lvwTasks->itemText(row, 1).isEmpty());
        QVERIFY(refusals.isEmpty());
    }

    void performAllIsNotStartedTwice() {
        TestHome home;
        frmMain w;
        w.load();
        storeTask(0, "Asks", makeFile(home, "a.txt"), home.file("b.txt"));
        QVERIFY(db::writeField(TaskField::ConfirmationOn, 0, "1").ok());
        QVERIFY(db::writeField(TaskField::ConfirmationQuestion, 0, "Copy?").ok());
        w.fillTaskList();
        int asked = 0;
        setMessageResponder([&](MessageKind, const QString&, const QString&) {
            // The user reaches Perform All again while the question is open.
            if (++asked == 1)
                w.performAllTasks();
            return false;
        });
        w.performAllTasks();
        QCOMPARE(asked, 1);
    }

    void performAllWithNoTasksSaysSo() {
        TestHome home;
        frmMain w;
        w.load();
        w.performAllTasks();
        QCOMPARE(refusals, QStringList({"You do not have any tasks to perform.  Please add a "
                                        "task using the Add New Task option."}));
    }

    void launchChecksThePathItShows() {
        TestHome home;
        UrlCatcher catcher({"file"});
        frmMain w;
        w.load();
        const QString source = makeFile(home, "open me.txt");
        storeTask(0, "Open", source, home.file("b.txt"));
        storeTask(1, "Empty", "", home.file("c.txt"));
        storeTask(2, "Missing", home.file("gone.txt"), home.file("d.txt"));
        w.fillTaskList();
        select(w, "key1");
        w.launchSelectedFile();
        select(w, "key2");
        w.launchSelectedFile();
        QCOMPARE(refusals,
                 QStringList({"The task has no source file associated with it.  Please check "
                              "and try again.",
                              "The source file associated with the selected task no longer "
                              "exists.  Please check and try agian."}));
        select(w, "key0");
        writeSetting("TaskAction", "RUN");
        w.runDefaultAction();
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first().toLocalFile(), source);
        writeSetting("TaskAction", "open");
        w.runDefaultAction();
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(refusals.size(), 2);
    }

    void clickingAnItemFeedsTheComparisonWindow() {
        TestHome home;
        frmMain w;
        w.load();
        const QString source = makeFile(home, "a.txt");
        storeTask(0, "One", source, home.file("b.txt"));
        w.fillTaskList();
        w.lvwTasks->selectRow(0);
        emit w.lvwTasks->itemClicked(0);
        QCOMPARE(w.fileInfo->lblSourceFile->text(), source);
        QCOMPARE(w.fileInfo->lblDestinationFile->text(), home.file("b.txt"));
        w.compareFileInformation();
        QVERIFY(w.fileInfo->isVisible());
        QVERIFY(refusals.isEmpty());
    }

    void renameIsWrittenOrRefused_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("refused");
        QTest::newRow("new name") << "After"
                                  << "After" << 0;
        QTest::newRow("empty") << ""
                               << "Before" << 1;
        QTest::newRow("256 bytes") << QString(128, QChar(0x00e9)) << "Before" << 1;
        QTest::newRow("255 bytes")
            << QString(127, QChar(0x00e9)) + "x" << QString(127, QChar(0x00e9)) + "x" << 0;
    }
    void renameIsWrittenOrRefused() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(int, refused);
        TestHome home;
        frmMain w;
        w.load();
        storeTask(5, "Before", makeFile(home, "a.txt"), home.file("b.txt"));
        w.fillTaskList();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        select(w, "key5");
        w.lvwTasks->startRename();
        auto* editor = w.lvwTasks->currentView()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        // The list ends an edit on Return a moment later.
        const QPointer<QLineEdit> open = editor;
        QTRY_VERIFY(open.isNull() || open->isHidden());
        QCOMPARE(refusals.size(), refused);
        QCOMPARE(db::readField(TaskField::TaskName, 5).value(), stored);
        QCOMPARE(w.lvwTasks->itemText(w.lvwTasks->selectedRow(), 0), stored);
    }

    // Pictures of a task added through the editor, performed, and compared.
    void picturesOfAddingAndPerforming() {
        const QString folder = qEnvironmentVariable("TIDEWELL_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TIDEWELL_SCREENSHOTS names no folder for the pictures");
        TestHome home;
        frmMain w;
        w.load();
        w.mnuViewDetails->trigger();
        w.resize(900, 560);
        w.show();
        const QString source = makeFile(home, "report.txt", "the report");
        whenModalOpens([&](QWidget* modal) {
            auto* editor = qobject_cast<frmTaskEditor*>(modal);
            editor->txtName->setText("Weekly report");
            editor->txtSource->setText(source);
            editor->txtDestination->setText(home.file("report copy.txt"));
            editor->cboRule->setCurrentText(manualRule);
            QVERIFY(editor->grab().save(folder + "/add-editor.png"));
            editor->cmdOK->click();
        });
        w.addTask();
        w.lvwTasks->selectRow(0);
        QVERIFY(w.grab().save(folder + "/add-listed.png"));
        w.performSelectedTask();
        QVERIFY(QFile::exists(home.file("report copy.txt")));
        w.lvwTasks->selectRow(0);
        emit w.lvwTasks->itemClicked(0);
        QTest::qWait(20);
        QVERIFY(w.grab().save(folder + "/add-performed.png"));
        w.compareFileInformation();
        QTest::qWait(20);
        QVERIFY(w.fileInfo->grab().save(folder + "/fileinfo.png"));
    }

    void aDamagedTableIsSaidOnceAndWhatIsWholeIsListed() {
        TestHome home;
        openTaskTable();
        storeTask(0, "Whole", makeFile(home, "a.txt"), home.file("b.txt"));
        {
            QFile table(db::databaseFile);
            QVERIFY(table.open(QIODevice::Append));
            table.write("\x02\x00garbage");
        }
        const QByteArray before = tableBytes();
        frmMain w;
        w.load();
        QCOMPARE(refusals.size(), 1);
        QVERIFY2(refusals.first().contains("tasks.dat"), qPrintable(refusals.first()));
        QCOMPARE(w.lvwTasks->count(), 1);
        w.fillTaskList();
        QCOMPARE(refusals.size(), 1);
        // Nothing is written into a damaged table.
        w.lvwTasks->selectRow(0);
        w.duplicateTask();
        QCOMPARE(tableBytes(), before);
    }

    void listShowsOddStoredTexts() {
        TestHome home;
        frmMain w;
        w.load();
        storeTask(0, "", "noextension", "x");
        storeTask(12, QString::fromUtf8("Ünïcødé <&> \"odd\""), "C:\\Docs\\Report.DOC", "y");
        QVERIFY(db::writeField(TaskField::LastUpdated, 12, "not a date").ok());
        w.fillTaskList();
        QCOMPARE(w.lvwTasks->count(), 2);
        select(w, "key12");
        QCOMPARE(w.selectedRecordNumber(), 12);
        QCOMPARE(w.lvwTasks->itemText(w.lvwTasks->selectedRow(), 1), QString("not a date"));
        // A stored date shows year first, so the column sorts by date.
        QVERIFY(db::writeField(TaskField::LastUpdated, 12, dateText(QDate(2026, 3, 4))).ok());
        w.fillTaskList();
        select(w, "key12");
        const QString shown = w.lvwTasks->itemText(w.lvwTasks->selectedRow(), 1);
        QVERIFY2(QRegularExpression("^2026([/.-])03(?:\\1)04$").match(shown).hasMatch(),
                 qPrintable(shown));
    }
};

QTEST_MAIN(TestTaskCommands)
#include "tst_taskcommands.moc"
