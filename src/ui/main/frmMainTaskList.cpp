// The task list: built from the task table, its view mode and arrangement from the View menu's
// check marks, and what it does with clicks, keys and renaming.
#include "frmMain.h"

#include "frmFileInfo.h"
#include "modChangeWatch.h"
#include "modDatabaseBinary.h"
#include "modDateText.h"
#include "modMessageBox.h"
#include "taskIcons.h"
#include "taskListView.h"
#include "taskTable.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

namespace db = modDatabaseBinary;

namespace {

// The user's date separator, from the locale's short date form; a form that writes the month
// as a word has none, and takes "/".
QString dateSeparator() {
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    for (const QChar character : format) {
        if (character.isPunct() && character != QLatin1Char('\''))
            return character;
    }
    return "/";
}

// Year first, so the column sorts by date; a text that is not a date is shown as stored.
QString lastUpdateText(const QString& stored) {
    if (stored.isEmpty())
        return {};
    const auto date = readDateText(stored);
    if (!date)
        return stored;
    const QString separator = dateSeparator();
    return date->toString(QStringLiteral("yyyy") + separator + "MM" + separator + "dd");
}

TaskListItem itemOfRecord(int recordNumber) {
    const QString source = db::fieldValues[slotSourceFile];
    return {taskKey(recordNumber),
            db::fieldValues[slotTaskName],
            taskIconKey(source),
            {lastUpdateText(db::fieldValues[slotLastUpdated]), source,
             db::fieldValues[slotDestinationFile], db::fieldValues[slotRule]}};
}

} // namespace

void frmMain::connectTaskList() {
    connect(lvwTasks, &TaskListView::itemClicked, this, &frmMain::onItemClicked);
    connect(lvwTasks, &TaskListView::columnClicked, this, &frmMain::onColumnClicked);
    connect(lvwTasks, &TaskListView::defaultActionRequested, this, &frmMain::runDefaultAction);
    connect(lvwTasks, &TaskListView::popupRequested, this,
            [this](const QPoint& where) { mnuTasksPopup->popup(where); });
    lvwTasks->setRenameHandler(
        [this](int row, const QString& newText) { return renameTask(row, newText); });
    lvwTasks->installEventFilter(this);
}

void frmMain::fillTaskList() {
    QList<TaskListItem> items;
    QStringList sources;
    QStringList destinations;
    Status status = db::listRecords();
    if (status)
        status = db::checkTable();
    const QStringList records = db::resultList;
    for (const QString& record : records) {
        const int recordNumber = record.toInt();
        if (Status read = db::readRecord(recordNumber); !read) {
            status = read;
            break;
        }
        items.append(itemOfRecord(recordNumber));
        sources.append(db::fieldValues[slotSourceFile]);
        destinations.append(db::fieldValues[slotDestinationFile]);
    }
    lvwTasks->setItems(items);
    if (changeWatch)
        changeWatch->follow(sources, destinations);
    showTaskCount();
    if (!status)
        reportStoreFault(status.message());
    // The first check waits for the event loop, so the window is up before a long copy starts.
    if (m_loading)
        QTimer::singleShot(0, engine, &TaskEngine::runCheckCycle);
    else
        engine->runCheckCycle();
}

void frmMain::showPerformedTask(int recordNumber) {
    if (db::readRecord(recordNumber))
        lvwTasks->updateItem(itemOfRecord(recordNumber));
}

// A damaged or unreadable task table is said once per fault, not at every rebuild.
void frmMain::reportStoreFault(const QString& message) {
    if (message == m_lastStoreFault)
        return;
    m_lastStoreFault = message;
    logAction(message);
    showRefusal(this, message);
}

void frmMain::applyListView() {
    const QList<QAction*> modes = viewModeItems();
    const TaskViewMode views[] = {TaskViewMode::largeIcons, TaskViewMode::smallIcons,
                                  TaskViewMode::list, TaskViewMode::details};
    for (int index = 0; index < modes.size(); ++index) {
        if (modes[index]->isChecked()) {
            lvwTasks->setViewMode(views[index]);
            return;
        }
    }
}

void frmMain::applyTaskSort() {
    const QList<QAction*> arrangements = arrangeItems();
    int sortKey = lvwTasks->sortKey();
    for (int index = 0; index < arrangements.size(); ++index) {
        if (arrangements[index]->isChecked())
            sortKey = index;
    }
    lvwTasks->setSortKey(sortKey);
}

// While the automatic tasks are paused the panel says so instead: at the window's design width
// the two sentences do not fit side by side, and the list shows the tasks anyway.
void frmMain::showTaskCount() {
    const int count = lvwTasks->count();
    if (engine->automaticTasksPaused())
        setStatusText("Automatic tasks are paused.");
    else if (count == 0)
        setStatusText("You currently have no active tasks.");
    else if (count == 1)
        setStatusText("You currently have one active task.");
    else
        setStatusText("You currently have " + QString::number(count) + " active tasks.");
}

void frmMain::setStatusText(const QString& text) {
    statusPanel1->setText(text);
}

int frmMain::selectedRecordNumber() const {
    const int row = lvwTasks->selectedRow();
    return row < 0 ? -1 : recordNumberOfKey(lvwTasks->itemKey(row));
}

void frmMain::onItemClicked(int row) {
    handToFileInfo(row);
}

void frmMain::handToFileInfo(int row) {
    fileInfo->setSourceFile(lvwTasks->itemText(row, 2));
    fileInfo->setDestinationFile(lvwTasks->itemText(row, 3));
}

void frmMain::onColumnClicked(int column) {
    const QList<QAction*> arrangements = arrangeItems();
    for (int index = 0; index < arrangements.size(); ++index)
        arrangements[index]->setChecked(index == column);
    applyTaskSort();
}

// The new name goes straight into the task; the store never cuts, so a name that does not fit
// is refused and the old one stays.
bool frmMain::renameTask(int row, const QString& newText) {
    if (newText.trimmed().isEmpty()) {
        showRefusal(this, "A task needs a name.  The old name has been kept.");
        return false;
    }
    const int width = taskFieldWidth(slotTaskName);
    if (newText.toUtf8().size() > width) {
        showRefusal(this, QString("The task name is longer than the %1 bytes a task name can "
                                  "hold.  The old name has been kept.")
                              .arg(width));
        return false;
    }
    const int recordNumber = recordNumberOfKey(lvwTasks->itemKey(row));
    if (refuseWhileCopying(recordNumber))
        return false;
    if (Status written =
            db::writeFields(recordNumber, {{TaskField::TaskName, newText}}, db::Flush::durable);
        !written) {
        showRefusal(this, written.message());
        return false;
    }
    engine->forgetTask(recordNumber);
    return true;
}
