// The commands on tasks: add, edit, remove, duplicate, perform, launch and compare.
#include "frmMain.h"

#include "frmFileInfo.h"
#include "frmProcessing.h"
#include "frmTaskEditor.h"
#include "frmTaskWizard.h"
#include "modDatabaseBinary.h"
#include "modFileDateTime.h"
#include "modFileLaunch.h"
#include "modMessageBox.h"
#include "modRegistry.h"
#include "modTidewell.h"
#include "paintThrottle.h"
#include "taskListView.h"
#include "taskTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include <optional>

namespace db = modDatabaseBinary;

namespace {

const char noTasksToPerform[] =
    "You do not have any tasks to perform.  Please add a task using the Add New Task option.";
const char taskBeingCopiedNow[] =
    "The file of this task is being copied.  Please try again when the copy has finished.";
const char vanishedTask[] = "The selected task is no longer in the task list.  It may have been "
                            "removed by another copy of Tidewell.";

// One field the editor hands back, with the words that name it to the user.
struct EditorField {
    const char* name;
    const char* userName;
    QString value;
};

// The seven fields, in the order they are written.
QList<EditorField> editorFields(const frmTaskEditor& editor) {
    return {{TaskField::TaskName, "task name", editor.txtName->text()},
            {TaskField::SourceFile, "source file", editor.txtSource->text()},
            {TaskField::DestinationFile, "destination file", editor.txtDestination->text()},
            {TaskField::Rule, "update rule", editor.cboRule->currentText()},
            {TaskField::ConfirmationOn, "confirmation setting", editor.confirmationText()},
            {TaskField::ConfirmationTitle, "confirmation title", editor.txtConfirmTitle->text()},
            {TaskField::ConfirmationQuestion, "confirmation question",
             editor.txtConfirmQuestion->text()}};
}

// Names the first field whose text is wider than the task stores, so nothing is written.
Status checkFieldWidths(const QList<EditorField>& fields) {
    for (const EditorField& field : fields) {
        const int width = taskFieldWidth(db::fieldIndex(field.name));
        if (field.value.toUtf8().size() > width)
            return Status::failure(
                QString("The %1 is longer than the %2 bytes it can hold.  Nothing was saved.")
                    .arg(field.userName)
                    .arg(width));
    }
    return Status::success();
}

// The fields as the store takes them: written together, all or none.
db::FieldList fieldList(const QList<EditorField>& fields) {
    db::FieldList list;
    for (const EditorField& field : fields)
        list.emplace_back(QString::fromLatin1(field.name), field.value);
    return list;
}

// Whether the record is still a live task of the table.
bool taskExists(int recordNumber) {
    const Result<bool> listed = db::isListed(recordNumber);
    return listed && listed.value();
}

// Shows the editor; its fields when the user pressed OK and every one fits its task field.
std::optional<QList<EditorField>> editedFields(frmTaskEditor& editor) {
    editor.Tag = "cancel";
    editor.exec();
    if (editor.Tag.compare("cancel", Qt::CaseInsensitive) == 0)
        return std::nullopt;
    QList<EditorField> fields = editorFields(editor);
    if (Status fits = checkFieldWidths(fields); !fits) {
        showRefusal(editor.parentWidget(), fits.message());
        return std::nullopt;
    }
    return fields;
}

} // namespace

bool frmMain::refuseWithoutSelection(const QString& noItems, const QString& noSelection) {
    if (lvwTasks->count() == 0) {
        showRefusal(this, noItems);
        return true;
    }
    if (lvwTasks->selectedRow() < 0) {
        showRefusal(this, noSelection);
        return true;
    }
    return false;
}

// A command that would change the task whose file is being copied waits for the copy to finish.
bool frmMain::refuseWhileCopying(int recordNumber) {
    if (recordNumber < 0 || recordNumber != engine->taskBeingCopied())
        return false;
    showRefusal(this, taskBeingCopiedNow);
    return true;
}

// The selected task's record, read into fieldValues; false (said, and the list rebuilt) when
// it has gone from the table since the list was built.
bool frmMain::readSelectedTask(int recordNumber) {
    if (recordNumber >= 0 && taskExists(recordNumber)) {
        if (Status read = db::readRecord(recordNumber); read)
            return true;
        else
            showRefusal(this, read.message());
    } else {
        showRefusal(this, vanishedTask);
    }
    fillTaskList();
    return false;
}

void frmMain::addTask() {
    frmTaskEditor editor(this);
    const auto fields = editedFields(editor);
    if (!fields)
        return;
    if (const auto added = db::addRecords({fieldList(*fields)}); !added) {
        showRefusal(this, added.message());
        return;
    }
    logAction("New task added: " + editor.txtName->text());
    fillTaskList();
}

void frmMain::addTaskWithWizard() {
    showTaskWizard(this);
    fillTaskList();
}

void frmMain::editTask() {
    if (refuseWithoutSelection("You do not have any tasks to edit.  Please add a task using the "
                               "Add New Task option.",
                               "You have not selected a task to edit.  Please click on the tasks "
                               "in the task list before clicking on edit.") ||
        refuseWhileCopying(selectedRecordNumber()))
        return;
    openEditor(selectedRecordNumber());
}

void frmMain::openEditor(int recordNumber) {
    if (!readSelectedTask(recordNumber))
        return;
    frmTaskEditor editor(this);
    editor.fillFields(db::fieldValues[slotTaskName], db::fieldValues[slotSourceFile],
                      db::fieldValues[slotDestinationFile], db::fieldValues[slotRule],
                      db::fieldValues[slotConfirmationOn].trimmed().toInt() != 0,
                      db::fieldValues[slotConfirmationTitle],
                      db::fieldValues[slotConfirmationQuestion]);
    const auto fields = editedFields(editor);
    if (!fields)
        return;
    // The task may have gone while the editor was open; writing would bring back a stub.
    if (!taskExists(recordNumber)) {
        showRefusal(this, vanishedTask);
        fillTaskList();
        return;
    }
    if (Status written = db::writeFields(recordNumber, fieldList(*fields), db::Flush::durable);
        !written) {
        showRefusal(this, written.message());
    } else {
        logAction("Task updated: " + db::readField(TaskField::TaskName, recordNumber).value());
        engine->forgetTask(recordNumber);
    }
    fillTaskList();
}

void frmMain::deleteTask() {
    if (refuseWithoutSelection("You do not have any tasks to delete.  Please add a task using "
                               "the Add New Task option.",
                               "You have not selected a task to delete.  Please click on the "
                               "tasks in the task list before clicking on delete.") ||
        refuseWhileCopying(selectedRecordNumber()))
        return;
    const QString confirm =
        readSetting(Setting::DeleteConfirmation, SettingDefault::DeleteConfirmation);
    if (confirm.compare("true", Qt::CaseInsensitive) == 0 &&
        !askQuestion(this, "If you delete the task " +
                               lvwTasks->itemText(lvwTasks->selectedRow(), 0) +
                               " then update of the file associated with it will not be "
                               "performed in future.  Are you sure you want to continue?"))
        return;
    const int recordNumber = selectedRecordNumber();
    if (!readSelectedTask(recordNumber))
        return;
    logAction("Task deleted: " + db::fieldValues[slotTaskName]);
    if (Status deleted = db::deleteRecord(recordNumber); !deleted)
        showRefusal(this, deleted.message());
    else
        engine->forgetTask(recordNumber);
    fillTaskList();
}

void frmMain::duplicateTask() {
    if (refuseWithoutSelection("You do not have any tasks to duplicate.  Please add a task using "
                               "the Add New Task option.",
                               "You have not selected a task to duplicate.  Please click on the "
                               "tasks in the task list before clicking on duplicate.") ||
        refuseWhileCopying(selectedRecordNumber()))
        return;
    const int recordNumber = selectedRecordNumber();
    if (!readSelectedTask(recordNumber))
        return;
    if (Status copied = db::duplicateRecord(recordNumber); !copied) {
        showRefusal(this, copied.message());
        return;
    }
    logAction("Task duplicated: " + db::fieldValues[slotTaskName]);
    fillTaskList();
}

void frmMain::performSelectedTask() {
    if (refuseWithoutSelection(noTasksToPerform,
                               "You have not selected a task to perform.  Please click on the "
                               "task with the left mouse button to select it, then click on "
                               "Perform."))
        return;
    const int recordNumber = selectedRecordNumber();
    if (!taskExists(recordNumber)) {
        showRefusal(this, vanishedTask);
        fillTaskList();
        return;
    }
    engine->performTask(recordNumber);
}

void frmMain::performAllTasks() {
    // The processing window lets the user reach this command again while it runs; a copy under
    // way meanwhile goes first.
    if (m_performingAll)
        return;
    const int total = lvwTasks->count();
    if (total == 0) {
        showRefusal(this, noTasksToPerform);
        return;
    }
    // Record numbers taken now: the list is rebuilt, and may be re-sorted, after every task.
    QList<int> records;
    for (int row = 0; row < total; ++row)
        records.append(recordNumberOfKey(lvwTasks->itemKey(row)));

    m_performingAll = true;
    auto* processing = new frmProcessing(this);
    processing->setAttribute(Qt::WA_DeleteOnClose);
    processing->pBar(0, total);
    processing->lblStatus->setText("Performing Tasks...");
    processing->show();
    QApplication::processEvents();
    const QPointer<frmProcessing> window(processing);
    // Rows, log lines and the bar change for every task but are drawn a few dozen times a
    // second; the throttle ends after the burst, so the rebuild at its end is drawn too.
    m_paintThrottle =
        std::make_unique<PaintThrottle>(std::initializer_list<QWidget*>{this, processing});
    // Each task shows its new state in its row; the list is rebuilt once, at the end.
    engine->performTasks(
        records,
        [this, window, records](int place, int count) {
            if (window)
                window->pBar(place, count);
            QApplication::processEvents();
            return !m_unloaded && taskExists(records[place - 1]);
        },
        [this, window] {
            m_paintThrottle.reset();
            if (window)
                window->close();
            m_performingAll = false;
        });
}

void frmMain::launchSelectedFile() {
    if (refuseWithoutSelection("You currently have no tasks in your task list.  Please add a "
                               "task before trying to run an item.",
                               "You have not selected an item to run.  Please select an item "
                               "then try to run it."))
        return;
    const QString path = lvwTasks->itemText(lvwTasks->selectedRow(), 2);
    if (path.isEmpty()) {
        showRefusal(this, "The task has no source file associated with it.  Please check and "
                          "try again.");
        return;
    }
    if (!fileExists(path)) {
        showRefusal(this, "The source file associated with the selected task no longer "
                          "exists.  Please check and try agian.");
        return;
    }
    openDocument(path);
}

void frmMain::compareFileInformation() {
    if (refuseWithoutSelection("You do not have any tasks to compare file information.  Please "
                               "add a task using the Add Task command in the Tasks menu.",
                               "Please select a file to view before clicking on the Compare File "
                               "Information function."))
        return;
    fileInfo->updateScreen();
    fileInfo->show();
}

void frmMain::runDefaultAction() {
    const QString action = readSetting(Setting::TaskAction, SettingDefault::TaskAction);
    if (action.compare("edit", Qt::CaseInsensitive) == 0)
        editTask();
    else if (action.compare("perform", Qt::CaseInsensitive) == 0)
        performSelectedTask();
    else if (action.compare("run", Qt::CaseInsensitive) == 0)
        launchSelectedFile();
}
