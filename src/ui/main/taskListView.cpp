#include "taskListView.h"

#include "taskIcons.h"

#include <QCollator>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

// The one model behind every view mode. Refilling resets it in one go, so the views lay out
// once instead of once per inserted row.
class TaskItemModel : public QStandardItemModel {
public:
    using QStandardItemModel::QStandardItemModel;

    void replaceRows(const QList<QList<QStandardItem*>>& rows) {
        beginResetModel();
        {
            const QSignalBlocker quiet(this);
            removeRows(0, rowCount());
            for (const QList<QStandardItem*>& row : rows)
                appendRow(row);
        }
        endResetModel();
    }
};

namespace {

constexpr int keyRole = Qt::UserRole + 1;
constexpr int dateColumn = 1;
constexpr int sourceColumn = 2;
constexpr int destinationColumn = 3;
constexpr int ruleColumn = 4;
constexpr int iconKeyRole = Qt::UserRole + 2;

const char* const headerTexts[TaskListView::columnCount] = {
    "Task Name", "Last Update", "Source File", "Destination File", "Rule"};
// Column widths at design time, in twips.
constexpr int designWidths[TaskListView::columnCount] = {3528, 2118, 2540, 2540, 4410};
constexpr double twipsPerInch = 1440.0;

constexpr QSize largeIconSize(32, 32);
constexpr QSize smallIconSize(16, 16);
// Widths of the icon views' cells, in average characters of the list's font.
constexpr int largeIconCellChars = 16;
constexpr int smallIconCellChars = 30;
const char longestRule[] = "When the source file is newer than the destination file";

// The picture is drawn at whatever size each view asks for.
QIcon taskIcon(const QString& iconKey) {
    return largeTaskIcon(iconKey);
}

QString columnText(const TaskListItem& item, int column) {
    return column == 0 ? item.text : item.subItems.value(column - 1);
}

QList<QStandardItem*> rowOfItem(const TaskListItem& item) {
    auto* name = new QStandardItem(taskIcon(item.iconKey), item.text);
    name->setToolTip(item.text);
    name->setData(item.key, keyRole);
    name->setData(item.iconKey, iconKeyRole);
    QList<QStandardItem*> row{name};
    for (int column = 1; column < TaskListView::columnCount; ++column) {
        auto* cell = new QStandardItem(columnText(item, column));
        cell->setToolTip(cell->text());
        cell->setEditable(false);
        row.append(cell);
    }
    return row;
}

// Ascending by the column's text, without regard to case, in the user's collation. Equal
// texts keep the order they came in.
void sortByColumn(QList<TaskListItem>& items, int column) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QList<QCollatorSortKey> keys;
    keys.reserve(items.size());
    for (const TaskListItem& item : items)
        keys.append(collator.sortKey(columnText(item, column).toCaseFolded()));
    QList<int> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    QList<TaskListItem> sorted;
    sorted.reserve(items.size());
    for (int index : order)
        sorted.append(items[index]);
    items = sorted;
}

// Renames go through the list, which asks its handler once the editor has closed.
class RenameDelegate : public QStyledItemDelegate {
public:
    using Commit = std::function<void(const QModelIndex&, const QString&)>;
    RenameDelegate(Commit commit, QObject* parent)
        : QStyledItemDelegate(parent), m_commit(std::move(commit)) {}

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            m_commit(index, line->text());
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        m_editor = QStyledItemDelegate::createEditor(parent, option, index);
        return m_editor;
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (m_widest > 0)
            size.setWidth(qMin(size.width(), m_widest));
        return size;
    }

    // A path keeps its file name in sight, and a path or date reads left to right also in a
    // right-to-left layout.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const int column = index.column();
        if (column == sourceColumn || column == destinationColumn)
            option->textElideMode = Qt::ElideMiddle;
        if (column >= dateColumn && column <= destinationColumn &&
            option->direction == Qt::RightToLeft) {
            option->direction = Qt::LeftToRight;
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        }
    }

    // Items wider than this are cut, their text ended with an ellipsis; 0 lets them be.
    void setWidest(int widest) { m_widest = widest; }

    // A closed editor is hidden at once and deleted later.
    bool editing() const { return m_editor && !m_editor->isHidden(); }

private:
    Commit m_commit;
    mutable QPointer<QWidget> m_editor;
    int m_widest = 0;
};

bool isEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isButtonEvent(const QEvent* event, QEvent::Type type, Qt::MouseButton button) {
    return event->type() == type && static_cast<const QMouseEvent*>(event)->button() == button;
}

} // namespace

TaskListView::TaskListView(QWidget* parent)
    : QWidget(parent), m_model(new TaskItemModel(0, columnCount, this)),
      m_selection(new QItemSelectionModel(m_model, this)), m_stack(new QStackedWidget(this)),
      m_listView(new QListView(m_stack)), m_tableView(new QTableView(m_stack)) {
    for (int column = 0; column < columnCount; ++column)
        m_model->setHeaderData(column, Qt::Horizontal, QString::fromLatin1(headerTexts[column]));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    buildListView();
    buildTableView();
    m_stack->addWidget(m_listView);
    m_stack->addWidget(m_tableView);
    // A screen reader meets the view that shows, whichever it is.
    for (QWidget* view : {static_cast<QWidget*>(m_listView), static_cast<QWidget*>(m_tableView)})
        view->setAccessibleName(QStringLiteral("Tasks"));
    setViewMode(TaskViewMode::largeIcons);
}

void TaskListView::buildListView() {
    m_listView->setResizeMode(QListView::Adjust);
    m_listView->setTextElideMode(Qt::ElideRight);
    watchView(m_listView);
}

void TaskListView::buildTableView() {
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setShowGrid(false);
    m_tableView->setWordWrap(false);
    m_tableView->setTabKeyNavigation(false);
    m_tableView->setCornerButtonEnabled(false);
    m_tableView->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = m_tableView->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = m_tableView->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The main window decides what a header click means; the table never sorts on its own.
    m_tableView->setSortingEnabled(false);
    connect(header, &QHeaderView::sectionClicked, this, &TaskListView::columnClicked);
    watchView(m_tableView);
    for (int column = 0; column < columnCount; ++column)
        setColumnWidth(column, qRound(designWidths[column] * logicalDpiX() / twipsPerInch));
    fitToFont();
}

// Rows one line of the font high, the Rule column as wide as its longest rule, and the icon
// views' cells as wide as a name of some length.
void TaskListView::fitToFont(double pictureScale) {
    m_pictureScale = pictureScale;
    m_tableView->setIconSize(iconSize(false));
    const QFontMetrics metrics = fontMetrics();
    m_tableView->verticalHeader()->setDefaultSectionSize(
        qMax(iconSize(false).height() + 2, metrics.height() + 4));
    const int margin = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    const int ruleWidth = metrics.horizontalAdvance(QLatin1String(longestRule)) + margin;
    if (columnWidth(ruleColumn) < ruleWidth)
        setColumnWidth(ruleColumn, ruleWidth);
    if (m_mode != TaskViewMode::details)
        showListMode(m_mode);
}

// What both views share: the model, the selection, single selection, renaming only on
// request, and the clicks and keys the main window listens to.
void TaskListView::watchView(QAbstractItemView* view) {
    view->setModel(m_model);
    QItemSelectionModel* own = view->selectionModel();
    view->setSelectionModel(m_selection);
    delete own;
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* delegate = new RenameDelegate(
        [this](const QModelIndex& index, const QString& text) { noteRename(index, text); }, view);
    view->setItemDelegate(delegate);
    // Connected after the view's own connection, so the editor is already closed here.
    connect(delegate, &QAbstractItemDelegate::closeEditor, this, &TaskListView::finishRename);
    connect(view, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { emit itemClicked(index.row()); });
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

bool TaskListView::eventFilter(QObject* watched, QEvent* event) {
    auto* view = currentView();
    // Enter that ends a rename reaches the view as well; it is the editor's, not an action.
    const bool editing = static_cast<RenameDelegate*>(view->itemDelegate())->editing();
    if (watched == view && isEnterKey(event) && !editing) {
        emit defaultActionRequested();
        return true;
    }
    if (watched == view && event->type() == QEvent::KeyPress && !editing)
        return moveByKey(view, event);
    if (watched != view->viewport())
        return QWidget::eventFilter(watched, event);
    // Also on empty space: the action itself refuses when no task is selected.
    if (isButtonEvent(event, QEvent::MouseButtonDblClick, Qt::LeftButton)) {
        emit defaultActionRequested();
        return true;
    }
    if (isButtonEvent(event, QEvent::MouseButtonRelease, Qt::RightButton)) {
        emit popupRequested(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// The view handles the key here, so that a selection it moves counts as a click on the newly
// selected item. A key the view leaves unaccepted still goes on to the main window.
bool TaskListView::moveByKey(QAbstractItemView* view, QEvent* event) {
    const int before = selectedRow();
    static_cast<QObject*>(view)->event(event);
    const int after = selectedRow();
    if (after >= 0 && after != before)
        emit itemClicked(after);
    return true;
}

void TaskListView::setItems(const QList<TaskListItem>& items) {
    const QString keptKey = selectedKey();
    QList<TaskListItem> ordered = items;
    if (m_sorted)
        sortByColumn(ordered, m_sortKey);
    QList<QList<QStandardItem*>> rows;
    rows.reserve(ordered.size());
    m_rowByKey.clear();
    for (const TaskListItem& item : ordered) {
        if (!m_rowByKey.contains(item.key))
            m_rowByKey.insert(item.key, int(rows.size()));
        rows.append(rowOfItem(item));
    }
    m_model->replaceRows(rows);
    selectRow(rowOfKey(keptKey));
}

void TaskListView::updateItem(const TaskListItem& item) {
    const int row = rowOfKey(item.key);
    if (row < 0)
        return;
    for (int column = 0; column < columnCount; ++column) {
        QStandardItem* cell = m_model->item(row, column);
        cell->setText(columnText(item, column));
        cell->setToolTip(cell->text());
    }
}

QList<TaskListItem> TaskListView::currentItems() const {
    QList<TaskListItem> items;
    items.reserve(count());
    for (int row = 0; row < count(); ++row) {
        const QStandardItem* name = m_model->item(row, 0);
        TaskListItem item{
            name->data(keyRole).toString(), name->text(), name->data(iconKeyRole).toString(), {}};
        for (int column = 1; column < columnCount; ++column)
            item.subItems.append(itemText(row, column));
        items.append(item);
    }
    return items;
}

int TaskListView::count() const {
    return m_model->rowCount();
}

QString TaskListView::itemKey(int row) const {
    const QStandardItem* name = m_model->item(row, 0);
    return name ? name->data(keyRole).toString() : QString();
}

QString TaskListView::itemText(int row, int column) const {
    const QStandardItem* cell = m_model->item(row, column);
    return cell ? cell->text() : QString();
}

int TaskListView::selectedRow() const {
    const QModelIndexList selected = m_selection->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

QString TaskListView::selectedKey() const {
    return itemKey(selectedRow());
}

int TaskListView::rowOfKey(const QString& key) const {
    if (key.isEmpty())
        return -1;
    const int row = m_rowByKey.value(key, -1);
    return row >= 0 && itemKey(row) == key ? row : -1;
}

// Whole rows, so the details view highlights the full line whichever view chose the item.
void TaskListView::selectRow(int row) {
    if (row < 0 || row >= count()) {
        m_selection->clear();
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    m_selection->setCurrentIndex(index,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    currentView()->scrollTo(index);
}

void TaskListView::setViewMode(TaskViewMode mode) {
    const bool hadFocus = currentView()->hasFocus();
    m_mode = mode;
    if (mode == TaskViewMode::details) {
        m_stack->setCurrentWidget(m_tableView);
    } else {
        showListMode(mode);
        m_stack->setCurrentWidget(m_listView);
    }
    setFocusProxy(currentView());
    if (hadFocus)
        currentView()->setFocus();
    selectRow(selectedRow());
}

void TaskListView::showListMode(TaskViewMode mode) {
    const bool large = mode == TaskViewMode::largeIcons;
    m_listView->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_listView->setMovement(QListView::Static);
    m_listView->setFlow(mode == TaskViewMode::list ? QListView::TopToBottom
                                                   : QListView::LeftToRight);
    m_listView->setWrapping(true);
    m_listView->setWordWrap(large);
    m_listView->setIconSize(iconSize(large));
    m_listView->setSpacing(mode == TaskViewMode::list ? 2 : 0);
    const bool rows = mode == TaskViewMode::smallIcons;
    const QFontMetrics metrics = fontMetrics();
    const QSize largeIconCell(qMax(100, metrics.averageCharWidth() * largeIconCellChars),
                              iconSize(true).height() + 2 * metrics.lineSpacing() + 8);
    const QSize smallIconCell(metrics.averageCharWidth() * smallIconCellChars,
                              qMax(iconSize(false).height(), metrics.height()) + 4);
    m_listView->setGridSize(large ? largeIconCell : rows ? smallIconCell : QSize());
    // Small icons sit in cells of one width, and a list's columns are as wide as their
    // longest name: a long name is cut there rather than running into its neighbour or
    // widening its whole column.
    static_cast<RenameDelegate*>(m_listView->itemDelegate())
        ->setWidest(large ? 0 : smallIconCell.width() - 4);
}

QSize TaskListView::iconSize(bool large) const {
    return (large ? largeIconSize : smallIconSize) * m_pictureScale;
}

TaskViewMode TaskListView::viewMode() const {
    return m_mode;
}

void TaskListView::setSortKey(int column) {
    m_sortKey = qBound(0, column, columnCount - 1);
    m_sorted = true;
    setItems(currentItems());
}

int TaskListView::sortKey() const {
    return m_sortKey;
}

void TaskListView::setColumnHeadersVisible(bool visible) {
    m_tableView->horizontalHeader()->setVisible(visible);
}

void TaskListView::setGridLines(bool visible) {
    m_tableView->setShowGrid(visible);
}

int TaskListView::columnWidth(int column) const {
    return m_tableView->horizontalHeader()->sectionSize(column);
}

void TaskListView::setColumnWidth(int column, int width) {
    m_tableView->horizontalHeader()->resizeSection(column, width);
}

int TaskListView::columnPosition(int column) const {
    return m_tableView->horizontalHeader()->visualIndex(column);
}

void TaskListView::setColumnPosition(int column, int position) {
    QHeaderView* header = m_tableView->horizontalHeader();
    const int from = header->visualIndex(column);
    if (from >= 0 && position >= 0 && position < columnCount)
        header->moveSection(from, position);
}

void TaskListView::startRename() {
    const int row = selectedRow();
    if (row < 0)
        return;
    QAbstractItemView* view = currentView();
    const QModelIndex index = m_model->index(row, 0);
    m_selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    view->scrollTo(index);
    view->setFocus();
    view->edit(index);
}

void TaskListView::setRenameHandler(RenameHandler handler) {
    m_renameHandler = std::move(handler);
}

void TaskListView::noteRename(const QModelIndex& index, const QString& newText) {
    m_pendingRename = index;
    m_pendingText = newText;
}

// A cancelled edit never commits, so nothing is pending and nothing is asked.
void TaskListView::finishRename() {
    const QPersistentModelIndex index = std::exchange(m_pendingRename, {});
    const QString text = std::exchange(m_pendingText, {});
    if (!index.isValid() || text == index.data().toString())
        return;
    if (m_renameHandler && !m_renameHandler(index.row(), text))
        return;
    if (index.isValid()) {
        m_model->setData(index, text);
        m_model->setData(index, text, Qt::ToolTipRole);
    }
}

QAbstractItemView* TaskListView::currentView() const {
    return m_mode == TaskViewMode::details ? static_cast<QAbstractItemView*>(m_tableView)
                                           : m_listView;
}
