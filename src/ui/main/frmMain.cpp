#include "frmMain.h"

#include "frmFileInfo.h"
#include "helpHover.h"
#include "helpTable.h"
#include "modChangeWatch.h"
#include "modDatabaseBinary.h"
#include "modFileCopy.h"
#include "modMessageBox.h"
#include "modRegistry.h"
#include "paintThrottle.h"
#include "taskIcons.h"
#include "taskListView.h"
#include "taskTable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>

#include <utility>

namespace {

constexpr int checkInterval = 10000;
// How long the desktop may take to put its frame around a newly shown window.
constexpr int frameSettleTime = 300;

// The client area's design size in twips.
constexpr int designClientWidth = 6735;
constexpr int designClientHeight = 4530;

const char quitQuestion[] =
    "If you exit Tidewell then no tasks can be performed.  Are you sure you want to quit?";

// A log line begins with its date and time, which read left to right also in a right-to-left
// layout, where the line keeps to the right.
class LeftToRightLines final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->direction == Qt::RightToLeft) {
            option->direction = Qt::LeftToRight;
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        }
    }
};

// The action log list: the newest line on top, each line measured once, as it comes. Without
// a size of its own every line's text would be laid out again whenever the list arranges its
// rows, which it does after every line added.
class ActionLogList final : public QListWidget {
public:
    explicit ActionLogList(QWidget* parent) : QListWidget(parent) {
        setItemDelegate(new LeftToRightLines(this));
    }

    void insertLine(const QString& line) {
        insertItem(0, line);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QModelIndex first = model()->index(0, 0);
        item(0)->setSizeHint(itemDelegateForIndex(first)->sizeHint(option, first));
    }
};

} // namespace

frmMain::frmMain() {
    setObjectName("frmMain");
    setWindowTitle("Kestrelmoor Tidewell");
    buildChildren();
    buildMenus();
    buildPopupMenus();
    buildToolbar();
    buildStatusBar();
    connectTaskList();
    applyFontSizes();
    resize(scaledX(designClientWidth),
           scaledY(designClientHeight) + menuBar()->sizeHint().height());

    tmrCheck = new QTimer(this);
    tmrCheck->setObjectName("tmrCheck");
    tmrCheck->setInterval(checkInterval);
    engine = new TaskEngine(*this, {}, this);
    connect(tmrCheck, &QTimer::timeout, engine, &TaskEngine::runCheckCycle);

    // A log-off announced through the session manager may still be cancelled: keep running,
    // with the settings kept in case the session ends without another word.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &frmMain::saveWindowSettings);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &frmMain::unload);
}

frmMain::~frmMain() {
    unhookWindow(this);
    setHelpHandler(nullptr);
    setLogSink(nullptr);
}

void frmMain::load() {
    setLogSink(this);
    setHelpHandler([this](const QString& key) { helpPage(key); });
    logAction("Application started");
    addTrayIcon(this, picSysTray, trayTip(), mnuSysTray);
    helpPage("load");
    fileInfo = new frmFileInfo(this);
    loadWindowSettings();
    applyWindowOptions();
    applyAutomaticPause();
    openTaskTable();
    allowCopiesAgain();
    changeWatch = new ChangeWatch([this] { engine->checkSoon(); }, this);
    changeWatch->setAnswering([this](const QString& path) { return engine->answering(path); });
    connect(engine, &TaskEngine::volumeBack, changeWatch, &ChangeWatch::rewatch);
    tmrCheck->start();
    m_loading = true;
    fillTaskList();
    m_loading = false;
    if (lvwTasks->count() > 0 && lvwTasks->selectedRow() >= 0)
        handToFileInfo(lvwTasks->selectedRow());
}

void frmMain::buildChildren() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    setCentralWidget(client);
    client->installEventFilter(this);

    objToolbar = new QToolBar(client);
    objToolbar->setAccessibleName("Toolbar");
    objStatusBar = new QStatusBar(client);
    lvwTasks = new TaskListView(client);
    lvwTasks->setObjectName("lvwTasks");
    lstLog = new ActionLogList(client);
    lstLog->setObjectName("lstLog");
    lstLog->setAccessibleName("Action Log");
    buildHelpPanel();

    picSysTray = trayIconImage();
    for (int index = 0; index < buttonImageCount; ++index)
        imlButtons.append(buttonImage(index));

    attachHelp(lstLog, "log");
    attachHelp(lvwTasks, "tasklist");
    lstLog->viewport()->installEventFilter(this);
}

void frmMain::buildHelpPanel() {
    picHelp = new QFrame(centralWidget());
    picHelp->setObjectName("picHelp");
    picHelp->setFrameShape(QFrame::StyledPanel);
    picHelp->setAutoFillBackground(true);

    lblHelpTitle = new QLabel("Loading...", picHelp);
    lblHelpTitle->setObjectName("lblHelpTitle");
    QFont titleFont = lblHelpTitle->font();
    titleFont.setBold(true);
    lblHelpTitle->setFont(titleFont);

    // A text longer than the fixed panel, in the desktop's font, scrolls instead of being cut.
    helpScroll = new QScrollArea(picHelp);
    helpScroll->setObjectName("helpScroll");
    helpScroll->setAccessibleName("Interactive Help");
    helpScroll->setFrameShape(QFrame::NoFrame);
    helpScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    helpScroll->setWidgetResizable(true);
    helpScroll->viewport()->setAutoFillBackground(false);
    lblHelpText =
        new QLabel("Welcome to Interactive Help.  Please wait while the software initialises.");
    lblHelpText->setObjectName("lblHelpText");
    lblHelpText->setWordWrap(true);
    lblHelpText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    helpScroll->setWidget(lblHelpText);

    for (QWidget* part : {static_cast<QWidget*>(picHelp), static_cast<QWidget*>(lblHelpTitle),
                          static_cast<QWidget*>(lblHelpText)}) {
        attachHelp(part, "help");
        part->installEventFilter(this);
    }
}

// --- close, start and end -------------------------------------------------------------

void frmMain::closeMainWindow() {
    m_closeReason = CloseReason::program;
    close();
    m_closeReason = CloseReason::user;
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_unloaded) {
        event->accept();
        return;
    }
    switch (m_closeReason) {
    case CloseReason::user:
        event->ignore();
        hide();
        return;
    case CloseReason::program:
        if (!quitAllowed()) {
            event->ignore();
            return;
        }
        break;
    }
    event->accept();
    unload();
    qApp->quit();
}

bool frmMain::endSession() {
    if (m_unloaded)
        return false;
    unload();
    return true;
}

bool frmMain::quitAllowed() {
    const QString confirm =
        readSetting(Setting::QuitConfirmation, SettingDefault::QuitConfirmation);
    if (confirm.compare("true", Qt::CaseInsensitive) != 0)
        return true;
    return askQuestion(this, quitQuestion);
}

void frmMain::unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    engine->stopPerforming();
    logAction("Application quit");
    if (fileInfo)
        fileInfo->close();
    saveWindowSettings();
    removeTrayIcon();
    unhookWindow(this);
}

// --- hosts ----------------------------------------------------------------------------

bool frmMain::confirmTask(const QString& title, const QString& question) {
    return askQuestion(this, title, question);
}

void frmMain::showMainWindow() {
    show();
}

// A hidden window tells of a failure the engine reports; the engine reports a task's failure
// once, not at every check that finds it again. A failure found before there is a notification
// area is told as soon as one comes up.
void frmMain::taskFailed(int recordNumber, const QString& name, const QString& reason) {
    // The destination's folder may have gone since it was last looked for.
    if (changeWatch)
        changeWatch->rewatch();
    // Read as the preferences window shows it: on only when the value is 1.
    if (isVisible() ||
        readSetting(Setting::NotifyFailures, SettingDefault::NotifyFailures).toInt() != 1)
        return;
    m_waitingFailures.insert(recordNumber, {name + " failed.", reason});
    tellWaitingFailures();
}

void frmMain::tellWaitingFailures() {
    for (auto waiting = m_waitingFailures.begin(); waiting != m_waitingFailures.end();) {
        if (!showTrayMessage(waiting->at(0), waiting->at(1)))
            return;
        waiting = m_waitingFailures.erase(waiting);
    }
}

void frmMain::trayAppeared() {
    tellWaitingFailures();
}

void frmMain::showCopyProgress(const QString& taskName, int percent) {
    setTrayTip(percent < 0 ? trayTip() : trayProgressText(taskName, percent));
}

// The tray icon's tooltip while no copy shows its progress there.
QString frmMain::trayTip() const {
    const QString tip = QStringLiteral("Kestrelmoor ") + applicationTitle;
    return engine->automaticTasksPaused() ? tip + QStringLiteral(": automatic tasks paused") : tip;
}

void frmMain::showFromTray() {
    show();
}

void frmMain::insertLogLine(const QString& line) {
    // A task failing at every check adds a line every ten seconds for as long as the program
    // runs: the list keeps the newest lines only, the log file keeps them all.
    constexpr int keptLines = 10000;
    static_cast<ActionLogList*>(lstLog)->insertLine(line);
    while (lstLog->count() > keptLines)
        delete lstLog->takeItem(lstLog->count() - 1);
}

// --- interactive help -----------------------------------------------------------------

void frmMain::helpPage(const QString& strPageName) {
    if (const auto entry = helpEntry(strPageName))
        showHelp(entry->title, entry->text);
}

void frmMain::showHelp(const QString& title, const QString& text) {
    if (title.compare(m_shownHelpTitle, Qt::CaseInsensitive) == 0)
        return;
    m_shownHelpTitle = title;
    lblHelpTitle->setText(title);
    lblHelpText->setText(text);
    // Paint at once, without running other handlers from inside a mouse move.
    picHelp->repaint();
}

// --- events ---------------------------------------------------------------------------

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    arrangeControls();
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Where the window stands after its first showing is the user's doing.
    if (!m_wantedFrame.isNull() || !std::exchange(m_shownBefore, true))
        QTimer::singleShot(frameSettleTime, this, &frmMain::applyWantedFrame);
}

// A desktop font changed while the program runs.
void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange && lvwTasks)
        applyFontSizes();
    if (event->type() == QEvent::LayoutDirectionChange && lvwTasks)
        arrangeControls();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // The client area also changes without the window: a menu bar that wraps or changes font.
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        arrangeControls();
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (watched == picHelp || watched == lblHelpTitle || watched == lblHelpText) {
            popupAtCursor(mnuHelpPopup);
            return true;
        }
        if (watched == objToolbar || watched == objStatusBar || watched == statusPanel1 ||
            watched == statusPanel2 || watched == lstLog->viewport()) {
            popupAtCursor(mnuViewToolbars);
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        (watched == statusPanel1 || watched == statusPanel2)) {
        statusPanelClick(static_cast<QLabel*>(watched)->text());
        return true;
    }
    // F2 in the task list renames; elsewhere it is File > Launch Selected File.
    if (watched == lvwTasks &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                lvwTasks->startRename();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::popupAtCursor(QMenu* menu) {
    menu->popup(QCursor::pos());
}
