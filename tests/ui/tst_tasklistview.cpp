#include "taskIcons.h"
#include "taskListView.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace {

TaskListItem task(int record, const QString& name, const QString& date = {},
                  const QString& source = "C:\\src.txt", const QString& rule = "Every day") {
    return {"key" + QString::number(record),
            name,
            taskIconKey(source),
            {date, source, "D:\\copy" + QString::number(record), rule}};
}

// Four tasks whose columns each sort differently, with a tie in the rule column.
QList<TaskListItem> sampleTasks() {
    return {
        task(0, "delta", "2024/03/01", "c:\\b.doc", "Every day"),
        task(3, "Alpha", "", "C:\\a.exe", "Only when I select to perform the task"),
        task(7, "charlie", "2023/12/31", "c:\\D.bmp", "Every day"),
        task(12, "Bravo", "2024/01/15", "C:\\c.htm", "When the source file is changed"),
    };
}

QStringList keysInOrder(const TaskListView& list) {
    QStringList keys;
    for (int row = 0; row < list.count(); ++row)
        keys.append(list.itemKey(row));
    return keys;
}

int rowOfKey(const TaskListView& list, const QString& key) {
    return int(keysInOrder(list).indexOf(key));
}

const TaskViewMode allModes[] = {TaskViewMode::largeIcons, TaskViewMode::smallIcons,
                                 TaskViewMode::list, TaskViewMode::details};

const char* modeName(TaskViewMode mode) {
    switch (mode) {
    case TaskViewMode::largeIcons:
        return "large icons";
    case TaskViewMode::smallIcons:
        return "small icons";
    case TaskViewMode::list:
        return "list";
    case TaskViewMode::details:
        return "details";
    }
    return "";
}

QTableView* tableOf(TaskListView& list) {
    return list.findChild<QTableView*>();
}

QPoint centreOfRow(const TaskListView& list, int row) {
    QAbstractItemView* view = list.currentView();
    return view->visualRect(view->model()->index(row, 0)).center();
}

// A point of the view where no item lies.
QPoint emptySpot(const TaskListView& list) {
    const QWidget* viewport = list.currentView()->viewport();
    return {viewport->width() - 5, viewport->height() - 5};
}

// Counts the key presses that reach a widget.
class KeyRecorder : public QObject {
public:
    QList<int> keys;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            keys.append(static_cast<QKeyEvent*>(event)->key());
        return false;
    }
};

} // namespace

class TestTaskListView : public QObject {
    Q_OBJECT

    TaskListView* m_list = nullptr;

    void showList(TaskViewMode mode) {
        m_list->setViewMode(mode);
        m_list->resize(640, 320);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
        m_list->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_list));
    }

    QLineEdit* openEditor() {
        m_list->startRename();
        return m_list->currentView()->viewport()->findChild<QLineEdit*>();
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void init() {
        m_list = new TaskListView;
        m_list->setItems(sampleTasks());
    }
    void cleanup() {
        delete m_list;
        m_list = nullptr;
    }

    void itemsKeepTheirKeysTextsAndColumns() {
        QCOMPARE(m_list->count(), 4);
        QCOMPARE(keysInOrder(*m_list), QStringList({"key0", "key3", "key7", "key12"}));
        QCOMPARE(m_list->itemText(1, 0), QStringLiteral("Alpha"));
        QCOMPARE(m_list->itemText(1, 1), QString());
        QCOMPARE(m_list->itemText(3, 1), QStringLiteral("2024/01/15"));
        QCOMPARE(m_list->itemText(3, 2), QStringLiteral("C:\\c.htm"));
        QCOMPARE(m_list->itemText(3, 3), QStringLiteral("D:\\copy12"));
        QCOMPARE(m_list->itemText(3, 4), QStringLiteral("When the source file is changed"));
        QCOMPARE(m_list->itemKey(4), QString());
        QCOMPARE(m_list->itemText(0, 5), QString());
        m_list->setItems({});
        QCOMPARE(m_list->count(), 0);
        QCOMPARE(m_list->selectedRow(), -1);
    }

    void headersHaveTheirTexts() {
        const QAbstractItemModel* model = m_list->currentView()->model();
        QStringList headers;
        for (int column = 0; column < TaskListView::columnCount; ++column)
            headers.append(model->headerData(column, Qt::Horizontal).toString());
        QCOMPARE(headers, QStringList({"Task Name", "Last Update", "Source File",
                                       "Destination File", "Rule"}));
    }

    void sortsByEachColumnWithoutRegardToCase_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("name") << 0 << QStringList({"key3", "key12", "key7", "key0"});
        QTest::newRow("date, never performed first")
            << 1 << QStringList({"key3", "key7", "key12", "key0"});
        QTest::newRow("source") << 2 << QStringList({"key3", "key0", "key12", "key7"});
        QTest::newRow("destination") << 3 << QStringList({"key0", "key12", "key3", "key7"});
        QTest::newRow("rule, ties keep their order")
            << 4 << QStringList({"key0", "key7", "key3", "key12"});
    }
    void sortsByEachColumnWithoutRegardToCase() {
        QFETCH(int, column);
        QFETCH(QStringList, keys);
        m_list->setSortKey(column);
        QCOMPARE(m_list->sortKey(), column);
        QCOMPARE(keysInOrder(*m_list), keys);
        // Sorting stays on: a refill in any order lands in the same order.
        QList<TaskListItem> reversed = sampleTasks();
        std::reverse(reversed.begin(), reversed.end());
        if (column != 4) {
            m_list->setItems(reversed);
            QCOMPARE(keysInOrder(*m_list), keys);
        }
    }

    void sortFollowsTheUsersCollation() {
        m_list->setItems(
            {task(1, "Zebra"), task(2, "\u00c9clair"), task(3, "egg"), task(4, "eclipse")});
        m_list->setSortKey(0);
        QCOMPARE(keysInOrder(*m_list), QStringList({"key2", "key4", "key3", "key1"}));
    }

    void unsortedListKeepsTheGivenOrder() {
        QList<TaskListItem> reversed = sampleTasks();
        std::reverse(reversed.begin(), reversed.end());
        m_list->setItems(reversed);
        QCOMPARE(keysInOrder(*m_list), QStringList({"key12", "key7", "key3", "key0"}));
    }

    void renamedTextSortsOnTheNextSort() {
        m_list->setSortKey(0);
        showList(TaskViewMode::details);
        m_list->selectRow(rowOfKey(*m_list, "key3"));
        QPointer<QLineEdit> editor = openEditor();
        QVERIFY(editor);
        editor->setText("zulu");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(m_list->itemText(rowOfKey(*m_list, "key3"), 0), QStringLiteral("zulu"));
        m_list->setSortKey(0);
        QCOMPARE(keysInOrder(*m_list).last(), QStringLiteral("key3"));
        QCOMPARE(m_list->itemText(m_list->selectedRow(), 0), QStringLiteral("zulu"));
    }

    void selectionFollowsItsKeyAcrossRefills() {
        m_list->selectRow(2);
        QCOMPARE(m_list->itemKey(m_list->selectedRow()), QStringLiteral("key7"));
        m_list->setSortKey(0);
        QCOMPARE(m_list->itemKey(m_list->selectedRow()), QStringLiteral("key7"));
        QList<TaskListItem> fewer = sampleTasks();
        fewer.removeFirst();
        m_list->setItems(fewer);
        QCOMPARE(m_list->itemKey(m_list->selectedRow()), QStringLiteral("key7"));
        fewer.removeAt(1);
        m_list->setItems(fewer);
        QCOMPARE(m_list->selectedRow(), -1);
        m_list->selectRow(-1);
        QCOMPARE(m_list->selectedRow(), -1);
    }

    void selectionIsTheSameInEveryMode() {
        showList(TaskViewMode::largeIcons);
        const QPoint charlie = centreOfRow(*m_list, 2);
        QTest::mouseClick(m_list->currentView()->viewport(), Qt::LeftButton, {}, charlie);
        QCOMPARE(m_list->selectedRow(), 2);
        for (const TaskViewMode mode : allModes) {
            m_list->setViewMode(mode);
            QVERIFY2(m_list->selectedRow() == 2, modeName(mode));
            QVERIFY(m_list->currentView()->selectionModel()->isRowSelected(2, {}));
        }
        QTest::mouseClick(m_list->currentView()->viewport(), Qt::LeftButton, {},
                          centreOfRow(*m_list, 0));
        m_list->setViewMode(TaskViewMode::list);
        QCOMPARE(m_list->selectedRow(), 0);
    }

    void eachModeHasItsViewAndIconSize_data() {
        QTest::addColumn<TaskViewMode>("mode");
        QTest::addColumn<bool>("table");
        QTest::addColumn<int>("iconSize");
        QTest::addColumn<int>("listMode");
        QTest::addColumn<int>("flow");
        QTest::newRow("large icons") << TaskViewMode::largeIcons << false << 32
                                     << int(QListView::IconMode) << int(QListView::LeftToRight);
        QTest::newRow("small icons") << TaskViewMode::smallIcons << false << 16
                                     << int(QListView::ListMode) << int(QListView::LeftToRight);
        QTest::newRow("list") << TaskViewMode::list << false << 16 << int(QListView::ListMode)
                              << int(QListView::TopToBottom);
        QTest::newRow("details") << TaskViewMode::details << true << 16 << -1 << -1;
    }
    void eachModeHasItsViewAndIconSize() {
        QFETCH(TaskViewMode, mode);
        QFETCH(bool, table);
        QFETCH(int, iconSize);
        QFETCH(int, listMode);
        QFETCH(int, flow);
        showList(TaskViewMode::details);
        m_list->setViewMode(mode);
        QCOMPARE(m_list->viewMode(), mode);
        QAbstractItemView* view = m_list->currentView();
        QVERIFY(view->isVisible());
        QCOMPARE(qobject_cast<QTableView*>(view) != nullptr, table);
        QCOMPARE(view->iconSize(), QSize(iconSize, iconSize));
        if (auto* list = qobject_cast<QListView*>(view)) {
            QCOMPARE(int(list->viewMode()), listMode);
            QCOMPARE(int(list->flow()), flow);
            QVERIFY(list->isWrapping());
            QCOMPARE(list->movement(), QListView::Static);
        }
        // The icon drawn is the one of the view's size.
        const QIcon icon = view->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        QCOMPARE(icon.pixmap(view->iconSize()).size(), QSize(iconSize, iconSize));
    }

    void longNamesStayInsideTheirCell() {
        m_list->setItems({task(1, QString(80, 'W')), task(2, "short")});
        showList(TaskViewMode::smallIcons);
        auto* view = qobject_cast<QListView*>(m_list->currentView());
        const QRect first = view->visualRect(view->model()->index(0, 0));
        const QRect second = view->visualRect(view->model()->index(1, 0));
        const int cell = view->gridSize().width();
        QVERIFY(cell > 0);
        QVERIFY(first.width() <= cell);
        QVERIFY(!first.intersects(second));
        m_list->setViewMode(TaskViewMode::list);
        QVERIFY(view->visualRect(view->model()->index(0, 0)).width() > cell);
    }

    void headerClickAsksButNeverSortsByItself() {
        showList(TaskViewMode::details);
        QSignalSpy clicked(m_list, &TaskListView::columnClicked);
        QHeaderView* header = tableOf(*m_list)->horizontalHeader();
        const QStringList before = keysInOrder(*m_list);
        for (const int column : {2, 0, 4}) {
            const QPoint where(header->sectionViewportPosition(column) + 10, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, where);
        }
        QCOMPARE(clicked.size(), 3);
        QCOMPARE(clicked[0][0].toInt(), 2);
        QCOMPARE(clicked[1][0].toInt(), 0);
        QCOMPARE(clicked[2][0].toInt(), 4);
        QCOMPARE(keysInOrder(*m_list), before);
    }

    void headerClickReportsTheCollectionIndexOfAMovedColumn() {
        showList(TaskViewMode::details);
        m_list->setColumnPosition(4, 0);
        QSignalSpy clicked(m_list, &TaskListView::columnClicked);
        QHeaderView* header = tableOf(*m_list)->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked[0][0].toInt(), 4);
    }

    void columnWidthsAndPositionsRoundTrip() {
        QVERIFY(m_list->columnWidth(0) > m_list->columnWidth(1));
        const int widths[] = {200, 90, 150, 160, 250};
        for (int column = 0; column < TaskListView::columnCount; ++column)
            m_list->setColumnWidth(column, widths[column]);
        m_list->setColumnPosition(3, 0);
        m_list->setColumnPosition(0, 4);
        m_list->setColumnPosition(0, 9);
        // Every refill and every mode leave the columns as they are.
        m_list->setSortKey(2);
        for (const TaskViewMode mode : allModes)
            m_list->setViewMode(mode);
        for (int column = 0; column < TaskListView::columnCount; ++column)
            QCOMPARE(m_list->columnWidth(column), widths[column]);
        QList<int> positions;
        for (int column = 0; column < TaskListView::columnCount; ++column)
            positions.append(m_list->columnPosition(column));
        QCOMPARE(positions, QList<int>({4, 1, 2, 0, 3}));
    }

    void gridAndHeadersOnDemand() {
        showList(TaskViewMode::details);
        QTableView* table = tableOf(*m_list);
        QVERIFY(!table->showGrid());
        QVERIFY(table->horizontalHeader()->isVisible());
        QVERIFY(!table->verticalHeader()->isVisible());
        m_list->setGridLines(true);
        m_list->setColumnHeadersVisible(false);
        QVERIFY(table->showGrid());
        QVERIFY(!table->horizontalHeader()->isVisible());
        m_list->setGridLines(false);
        m_list->setColumnHeadersVisible(true);
        QVERIFY(!table->showGrid());
        QVERIFY(table->horizontalHeader()->isVisible());
    }

    void renameInPlace_data() {
        QTest::addColumn<TaskViewMode>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("asked");
        for (const TaskViewMode mode : allModes) {
            const QByteArray name = modeName(mode);
            QTest::newRow(name + ", accepted") << mode << "Renamed" << true << "Renamed" << 1;
            QTest::newRow(name + ", refused") << mode << "Renamed" << false << "charlie" << 1;
        }
        QTest::newRow("unchanged text asks nobody")
            << TaskViewMode::details << "charlie" << true << "charlie" << 0;
    }
    void renameInPlace() {
        QFETCH(TaskViewMode, mode);
        QFETCH(QString, typed);
        QFETCH(bool, accept);
        QFETCH(QString, shown);
        QFETCH(int, asked);
        QList<std::pair<int, QString>> calls;
        m_list->setRenameHandler([&](int row, const QString& text) {
            calls.append({row, text});
            return accept;
        });
        QSignalSpy action(m_list, &TaskListView::defaultActionRequested);
        showList(mode);
        m_list->selectRow(2);
        QPointer<QLineEdit> editor = openEditor();
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("charlie"));
        editor->clear();
        QTest::keyClicks(editor, typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!editor || editor->isHidden());
        QCoreApplication::processEvents();
        QCOMPARE(calls.size(), asked);
        if (asked)
            QCOMPARE(calls.first(), std::make_pair(2, typed));
        QCOMPARE(m_list->itemText(2, 0), shown);
        QCOMPARE(action.size(), 0);
    }

    void cancelledRenameChangesNothing() {
        int asked = 0;
        m_list->setRenameHandler([&](int, const QString&) { return ++asked > 0; });
        showList(TaskViewMode::smallIcons);
        m_list->selectRow(1);
        QPointer<QLineEdit> editor = openEditor();
        QVERIFY(editor);
        QTest::keyClicks(editor, "Something else");
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!editor || editor->isHidden());
        QCoreApplication::processEvents();
        QCOMPARE(asked, 0);
        QCOMPARE(m_list->itemText(1, 0), QStringLiteral("Alpha"));
    }

    void renameNeedsASelectedItem() {
        showList(TaskViewMode::details);
        m_list->selectRow(-1);
        QVERIFY(!openEditor());
    }

    void enterAndDoubleClickAskForTheDefaultAction() {
        showList(TaskViewMode::details);
        QSignalSpy action(m_list, &TaskListView::defaultActionRequested);
        m_list->selectRow(1);
        QTest::keyClick(m_list->currentView(), Qt::Key_Return);
        QTest::keyClick(m_list->currentView(), Qt::Key_Enter);
        QCOMPARE(action.size(), 2);
        QTest::keyClick(m_list->currentView(), Qt::Key_Space);
        QTest::keyClick(m_list->currentView(), Qt::Key_F2);
        QCOMPARE(action.size(), 2);
        m_list->setViewMode(TaskViewMode::largeIcons);
        QWidget* viewport = m_list->currentView()->viewport();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, centreOfRow(*m_list, 3));
        QCOMPARE(action.size(), 3);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, emptySpot(*m_list));
        QCOMPARE(action.size(), 4);
        QTest::mouseDClick(viewport, Qt::RightButton, {}, centreOfRow(*m_list, 3));
        QCOMPARE(action.size(), 4);
    }

    // The main window's own F2 handling sees the key after the views have passed it on.
    void f2IsLeftToTheMainWindow_data() {
        QTest::addColumn<TaskViewMode>("mode");
        for (const TaskViewMode mode : allModes)
            QTest::newRow(modeName(mode)) << mode;
    }
    void f2IsLeftToTheMainWindow() {
        QFETCH(TaskViewMode, mode);
        showList(mode);
        m_list->selectRow(0);
        KeyRecorder recorder;
        m_list->installEventFilter(&recorder);
        QTest::keyClick(m_list->currentView(), Qt::Key_F2);
        QCOMPARE(recorder.keys, QList<int>({Qt::Key_F2}));
        QVERIFY(!m_list->currentView()->viewport()->findChild<QLineEdit*>());
    }

    void clicksAndRightButtonRelease() {
        showList(TaskViewMode::list);
        QSignalSpy clicked(m_list, &TaskListView::itemClicked);
        QSignalSpy popup(m_list, &TaskListView::popupRequested);
        QWidget* viewport = m_list->currentView()->viewport();
        const QPoint bravo = centreOfRow(*m_list, 3);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, bravo);
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked[0][0].toInt(), 3);
        QTest::mouseClick(viewport, Qt::RightButton, {}, bravo);
        QTest::mouseClick(viewport, Qt::RightButton, {}, emptySpot(*m_list));
        QCOMPARE(popup.size(), 2);
        QCOMPARE(popup[0][0].toPoint(), viewport->mapToGlobal(bravo));
        QCOMPARE(popup[1][0].toPoint(), viewport->mapToGlobal(emptySpot(*m_list)));
        QCOMPARE(clicked.size(), 1);
        // A selection moved with the keys counts as a click; a key that moves nothing does not.
        QTest::keyClick(m_list->currentView(), Qt::Key_Up);
        QTest::keyClick(m_list->currentView(), Qt::Key_F2);
        QCOMPARE(clicked.size(), 2);
        QCOMPARE(clicked[1][0].toInt(), 2);
    }

    // With TIDEWELL_SCREENSHOTS set to a folder, every mode is saved there as a picture.
    void screenshots() {
        const QString folder = qEnvironmentVariable("TIDEWELL_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TIDEWELL_SCREENSHOTS not set");
        QList<TaskListItem> tasks = sampleTasks();
        const QStringList sources{"C:\\a\\setup.exe", "C:\\b\\grid.dll", "C:\\web\\index.html",
                                  "C:\\x\\notes", "C:\\pics\\holiday photo.jpg"};
        for (int n = 0; n < sources.size(); ++n)
            tasks.append(task(20 + n, "A longer task name number " + QString::number(n),
                              "2024/02/0" + QString::number(n + 1), sources[n]));
        m_list->setItems(tasks);
        m_list->setSortKey(0);
        showList(TaskViewMode::largeIcons);
        m_list->selectRow(2);
        for (const TaskViewMode mode : allModes) {
            m_list->setViewMode(mode);
            m_list->setGridLines(mode == TaskViewMode::details);
            QTest::qWait(50);
            const QString name = QString(modeName(mode)).replace(' ', '-');
            QVERIFY(m_list->grab().save(folder + "/tasklist-" + name + ".png"));
        }
    }
};

QTEST_MAIN(TestTaskListView)
#include "tst_tasklistview.moc"
