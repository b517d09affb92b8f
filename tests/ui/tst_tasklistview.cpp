#include "taskListView.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace {

// Four tasks whose columns each sort differently, with a tie in the rule column; the accented
// name sorts among the others only by the user's collation.
const QList<TaskListItem> sampleTasks = {
    {"key0", "foxtrot", "txt", {"2024/03/01", "c:\\b.doc", "D:\\0", "Every day"}},
    {"key3", "Alpha", "exe", {"", "C:\\a.exe", "D:\\3", "Only when I select to perform the task"}},
    {"key7", "charlie", "bmp", {"2023/12/31", "c:\\D.bmp", "D:\\7", "Every day"}},
    {"key12",
     "\u00c9clair",
     "web",
     {"2024/01/15", "C:\\c.htm", "D:\\12", "When the source file is changed"}},
};

QStringList keysInOrder(const TaskListView& list) {
    QStringList keys;
    for (int row = 0; row < list.count(); ++row)
        keys.append(list.itemKey(row));
    return keys;
}

const TaskViewMode allModes[] = {TaskViewMode::largeIcons, TaskViewMode::smallIcons,
                                 TaskViewMode::list, TaskViewMode::details};

QPoint centreOfRow(const TaskListView& list, int row) {
    QAbstractItemView* view = list.currentView();
    return view->visualRect(view->model()->index(row, 0)).center();
}

} // namespace

class TestTaskListView : public QObject {
    Q_OBJECT

    TaskListView* m_list = nullptr;

    void showList(TaskViewMode mode) {
        m_list->setViewMode(mode);
        m_list->resize(640, 320);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowActive(m_list));
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void init() {
        m_list = new TaskListView;
        m_list->setItems(sampleTasks);
    }
    void cleanup() { delete m_list; }

    void itemsKeepTheirColumns() {
        QStringList row{m_list->itemText(1, 1)};
        for (int column = 0; column < TaskListView::columnCount; ++column)
            row << m_list->itemText(3, column);
        QCOMPARE(row, QStringList({"", "\u00c9clair", "2024/01/15", "C:\\c.htm", "D:\\12",
                                   "When the source file is changed"}));
        QCOMPARE(m_list->itemKey(4) + m_list->itemText(0, 5), QString());
        m_list->selectRow(0);
        m_list->setItems({});
        QCOMPARE(m_list->selectedRow(), -1);
        // Widths and positions stay through sorts and modes; a position past the end is ignored.
        for (int column = 0; column < TaskListView::columnCount; ++column)
            m_list->setColumnWidth(column, 100 + column);
        m_list->setColumnPosition(3, 0);
        m_list->setColumnPosition(0, 4);
        m_list->setColumnPosition(0, 9);
        m_list->setSortKey(2);
        for (const TaskViewMode mode : allModes)
            m_list->setViewMode(mode);
        QList<int> kept;
        for (int column = 0; column < TaskListView::columnCount; ++column)
            kept << m_list->columnWidth(column) << m_list->columnPosition(column);
        QCOMPARE(kept, QList<int>({100, 4, 101, 1, 102, 2, 103, 0, 104, 3}));
    }

    void sortsByEachColumn_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("order");
        QTest::newRow("unsorted: as given") << -1 << "key0 key3 key7 key12";
        QTest::newRow("name, by collation") << 0 << "key3 key7 key12 key0";
        QTest::newRow("date, never performed first") << 1 << "key3 key7 key12 key0";
        QTest::newRow("source, case ignored") << 2 << "key3 key0 key12 key7";
        QTest::newRow("rule, ties keep their order") << 4 << "key0 key7 key3 key12";
    }
    // Sorting stays on: a refill in any order lands in the same order. The selection follows
    // its task.
    void sortsByEachColumn() {
        QFETCH(int, column);
        QFETCH(QString, order);
        const QStringList keys = order.split(' ');
        m_list->selectRow(2);
        if (column >= 0)
            m_list->setSortKey(column);
        QCOMPARE(keysInOrder(*m_list), keys);
        QCOMPARE(m_list->itemKey(m_list->selectedRow()), QStringLiteral("key7"));
        m_list->setItems({sampleTasks.rbegin(), sampleTasks.rend()});
        if (column >= 0 && column != 4)
            QCOMPARE(keysInOrder(*m_list), keys);
        QCOMPARE(m_list->itemKey(m_list->selectedRow()), QStringLiteral("key7"));
        // A performed task's row is found wherever the last fill put it.
        m_list->updateItem({"key3", "Alpha", "exe", {"2024/02/01", "", "", ""}});
        const int row = int(keysInOrder(*m_list).indexOf("key3"));
        QCOMPARE(m_list->itemText(row, 1) + m_list->itemText(row, 0), "2024/02/01Alpha");
    }

    // Typed text ends in Enter or Esc; one mode refuses the new name.
    void renameInPlace_data() {
        QTest::addColumn<TaskViewMode>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accept");
        for (const TaskViewMode mode : allModes)
            QTest::addRow("mode %d", int(mode)) << mode << "zulu\r" << (mode != TaskViewMode::list);
        QTest::newRow("unchanged text asks nobody") << TaskViewMode::details << "charlie\r" << true;
        QTest::newRow("Esc asks nobody") << TaskViewMode::smallIcons << "zulu\x1b" << true;
    }
    // A renamed text sorts by its new name; Enter in the editor is no default action.
    void renameInPlace() {
        QFETCH(TaskViewMode, mode);
        QFETCH(QString, typed);
        QFETCH(bool, accept);
        QStringList asked;
        m_list->setRenameHandler([&](int row, const QString& text) {
            asked << QString::number(row) + text;
            return accept;
        });
        QSignalSpy action(m_list, &TaskListView::defaultActionRequested);
        showList(mode);
        m_list->selectRow(2);
        m_list->startRename();
        QPointer<QLineEdit> editor = m_list->currentView()->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor && editor->text() == "charlie");
        editor->clear();
        QTest::keyClicks(editor, typed);
        QTRY_VERIFY(!editor || editor->isHidden());
        const bool changed = typed == "zulu\r";
        QCOMPARE(asked, changed ? QStringList("2zulu") : QStringList());
        const QString shown = changed && accept ? "zulu" : "charlie";
        QCOMPARE(action.size(), 0);
        m_list->setSortKey(0);
        QCOMPARE(keysInOrder(*m_list).indexOf("key7"), shown == "zulu" ? 3 : 1);
        QCOMPARE(m_list->itemText(m_list->selectedRow(), 0), shown);
    }

    // One selection in every mode. Enter, and a double click also on empty space, ask for the
    // default action; F2 is left to the main window, which decides on renaming.
    void keysAndClicks() {
        showList(TaskViewMode::largeIcons);
        QSignalSpy action(m_list, &TaskListView::defaultActionRequested);
        QTest::mouseClick(m_list->currentView()->viewport(), Qt::LeftButton, {},
                          centreOfRow(*m_list, 1));
        for (const TaskViewMode mode : allModes) {
            m_list->setViewMode(mode);
            QVERIFY(m_list->currentView()->selectionModel()->isRowSelected(1, {}));
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_F2})
                QTest::keyClick(m_list->currentView(), key);
            QVERIFY(!m_list->currentView()->viewport()->findChild<QLineEdit*>());
        }
        QWidget* viewport = m_list->currentView()->viewport();
        const QPoint empty{viewport->width() - 5, viewport->height() - 5}; // where no item lies
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, centreOfRow(*m_list, 3));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, empty);
        QTest::mouseDClick(viewport, Qt::RightButton, {}, centreOfRow(*m_list, 3));
        QCOMPARE(action.size(), 10);
        // A selection moved with the keys counts as a click, so the paths follow it; a key that
        // moves nothing does not. The right button asks for the menu where it is released.
        QSignalSpy clicked(m_list, &TaskListView::itemClicked);
        QSignalSpy popup(m_list, &TaskListView::popupRequested);
        const QPoint last = centreOfRow(*m_list, 3);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, last);
        QTest::mouseClick(viewport, Qt::RightButton, {}, last);
        QTest::mouseClick(viewport, Qt::RightButton, {}, empty);
        QTest::keyClick(m_list->currentView(), Qt::Key_Up);
        QTest::keyClick(m_list->currentView(), Qt::Key_F2);
        QCOMPARE(clicked, QList<QList<QVariant>>({{3}, {2}}));
        QCOMPARE(popup, QList<QList<QVariant>>(
                            {{viewport->mapToGlobal(last)}, {viewport->mapToGlobal(empty)}}));
        // A header names its column, also when moved, and leaves the order alone.
        QSignalSpy columns(m_list, &TaskListView::columnClicked);
        QHeaderView* header = m_list->findChild<QTableView*>()->horizontalHeader();
        m_list->setColumnPosition(4, 0);
        for (const int column : {2, 4})
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              {header->sectionViewportPosition(column) + 10, header->height() / 2});
        QCOMPARE(columns, QList<QList<QVariant>>({{2}, {4}}));
        QCOMPARE(keysInOrder(*m_list), QStringList({"key0", "key3", "key7", "key12"}));
    }
};

QTEST_MAIN(TestTaskListView)
#include "tst_tasklistview.moc"
