#pragma once

#include <QHash>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QWidget>

#include <functional>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QModelIndex;
class QStackedWidget;
class QTableView;
class TaskItemModel;

// One row of the task list: the item key ("key" + record number), the task's name, its icon
// key and the four further column texts (last update, source, destination, rule).
struct TaskListItem {
    QString key;
    QString text;
    QString iconKey;
    QStringList subItems;
};

// The four view modes of the task list.
enum class TaskViewMode { largeIcons, smallIcons, list, details };

// The task list: one model shown through the four view modes, so selection, keys and
// renaming behave the same in each. Sizes are in pixels; the main window converts twips.
class TaskListView : public QWidget {
    Q_OBJECT
public:
    static constexpr int columnCount = 5;

    explicit TaskListView(QWidget* parent = nullptr);

    // Replaces every item; the selected key stays selected when it is still there. With
    // sorting on the items land in the sort order.
    void setItems(const QList<TaskListItem>& items);
    // Puts the item's texts into the row with its key, where it stands; nothing when no row
    // has the key. The next setItems sorts it in.
    void updateItem(const TaskListItem& item);
    int count() const;
    // Rows count in the order shown now.
    QString itemKey(int row) const;
    // Column 0 is the item's text, 1 to 4 the further columns.
    QString itemText(int row, int column) const;
    // -1 when nothing is selected.
    int selectedRow() const;
    void selectRow(int row);

    void setViewMode(TaskViewMode mode);
    TaskViewMode viewMode() const;
    // Turns sorting on, ascending by the texts of the column (0 to 4), and keeps it on.
    void setSortKey(int column);
    int sortKey() const;

    void setColumnHeadersVisible(bool visible);
    void setGridLines(bool visible);
    // Columns by their place in the collection (0 to 4), not by where they are shown.
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    int columnPosition(int column) const;
    void setColumnPosition(int column, int position);

    // Row heights, the Rule column and the icon views' cells for the list's font; the
    // pictures grown by the factor the design's sizes grow by with the desktop's font.
    void fitToFont(double pictureScale = 1.0);

    // Starts editing the selected item's text in place.
    void startRename();
    // Decides on a finished rename; returning false puts the old text back.
    using RenameHandler = std::function<bool(int row, const QString& newText)>;
    void setRenameHandler(RenameHandler handler);

    // The view that shows the items in the current mode.
    QAbstractItemView* currentView() const;

signals:
    // A click on an item, or a selection moved to it with the keys.
    void itemClicked(int row);
    // Column (0 to 4) by its place in the collection.
    void columnClicked(int column);
    // Double click in the list, or Enter.
    void defaultActionRequested();
    // Right button released, at this global position.
    void popupRequested(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildListView();
    void buildTableView();
    void watchView(QAbstractItemView* view);
    bool moveByKey(QAbstractItemView* view, QEvent* event);
    void showListMode(TaskViewMode mode);
    QList<TaskListItem> currentItems() const;
    QString selectedKey() const;
    int rowOfKey(const QString& key) const;
    void noteRename(const QModelIndex& index, const QString& newText);
    void finishRename();
    QSize iconSize(bool large) const;

    TaskItemModel* m_model;
    QItemSelectionModel* m_selection;
    QStackedWidget* m_stack;
    QListView* m_listView;
    QTableView* m_tableView;
    TaskViewMode m_mode = TaskViewMode::largeIcons;
    double m_pictureScale = 1.0;
    bool m_sorted = false;
    int m_sortKey = 0;
    RenameHandler m_renameHandler;
    // The row of each key as the list was last filled: a burst of performing updates every row.
    QHash<QString, int> m_rowByKey;
    // The rename whose editor has just committed; decided once the editor has closed.
    QPersistentModelIndex m_pendingRename;
    QString m_pendingText;
};
