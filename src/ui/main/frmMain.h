#pragma once

#include "modSysTraySubClassed.h"
#include "modTidewell.h"
#include "taskEngine.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QStringList>

#include <memory>

class QAction;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QScrollArea;
class QStatusBar;
class QTimer;
class QToolBar;
class ChangeWatch;
class PaintThrottle;
class TaskListView;
class frmFileInfo;

// The program's one main window: the task list, the action log, the help panel, the bars and
// menus, the tray icon and the check timer. It lives for the whole run, shown or hidden.
class frmMain : public QMainWindow, public EngineHost, public LogSink, public TrayHost {
    Q_OBJECT
public:
    frmMain();
    ~frmMain() override;

    // The start-up sequence; the window stays hidden until the caller shows it.
    void load();

    // Window shell.
    void applyWindowOptions();
    void arrangeControls();
    void saveWindowSettings();
    void loadWindowSettings();
    void closeMainWindow();
    // Log-off, shut-down or an end signal: the shut-down sequence without the quit question.
    // False when the window has already gone through it.
    bool endSession();

    // Task list.
    void fillTaskList() override;
    void applyListView();
    void applyTaskSort();
    void showTaskCount();
    // Holds or releases the automatic tasks after the check mark of mnuTasksPause, and says so
    // in the status bar and the tray icon's tooltip.
    void applyAutomaticPause();
    void setStatusText(const QString& text);
    // -1 when no item is selected.
    int selectedRecordNumber() const;

    // Task commands.
    void addTask();
    void addTaskWithWizard();
    void editTask();
    void deleteTask();
    void duplicateTask();
    void performSelectedTask();
    void performAllTasks();
    void launchSelectedFile();
    void compareFileInformation();
    void runDefaultAction();

    // Interactive help.
    void helpPage(const QString& strPageName);
    void showHelp(const QString& title, const QString& text);

    // Toolbar and status bar.
    void toolbarClick(const QString& tag);
    void statusPanelClick(const QString& panelText);

    // Engine, log and tray hosts.
    bool confirmTask(const QString& title, const QString& question) override;
    void showMainWindow() override;
    void taskFailed(int recordNumber, const QString& name, const QString& reason) override;
    void showPerformedTask(int recordNumber) override;
    void showCopyProgress(const QString& taskName, int percent) override;
    void insertLogLine(const QString& line) override;
    void showFromTray() override;
    void trayAppeared() override;

    // Pixels from twips on this window's screen, and back.
    int twipsToPixelsX(int twips) const;
    int twipsToPixelsY(int twips) const;
    int pixelsToTwipsX(int pixels) const;
    int pixelsToTwipsY(int pixels) const;

    QToolBar* objToolbar;
    QStatusBar* objStatusBar;
    QLabel* statusPanel1;
    QLabel* statusPanel2;
    TaskListView* lvwTasks;
    QFrame* picHelp;
    QLabel* lblHelpTitle;
    QScrollArea* helpScroll;
    QLabel* lblHelpText;
    QListWidget* lstLog;
    QIcon picSysTray;
    QTimer* tmrCheck;
    ChangeWatch* changeWatch = nullptr;
    TaskEngine* engine = nullptr;
    QList<QIcon> imlButtons;
    frmFileInfo* fileInfo;

    QMenu* mnuHelpPopup;
    QAction* mnuHelpPopupHide;
    QMenu* mnuSysTray;
    QAction* mnuSysTrayShow;
    QAction* mnuSysTrayPerformAll;
    QAction* mnuSysTrayConfigure;
    QAction* mnuSysTrayExit;
    QMenu* mnuFile;
    QAction* mnuFileLaunch;
    QAction* mnuFileInfo;
    QAction* mnuFileExit;
    QMenu* mnuTasks;
    QAction* mnuTasksAddNew;
    QAction* mnuTasksAddNewWizard;
    QAction* mnuTasksEdit;
    QAction* mnuTasksRemove;
    QAction* mnuTasksDuplicate;
    QAction* mnuTasksPerform;
    QAction* mnuTasksPerformAll;
    // Also in the tray menu, with the one check mark.
    QAction* mnuTasksPause;
    QMenu* mnuTasksPopup;
    QMenu* mnuView;
    QMenu* mnuViewToolbars;
    QAction* mnuViewToolbarsStandard;
    QAction* mnuViewToolbarsLog;
    QAction* mnuViewToolbarsStatus;
    QMenu* mnuViewArrange;
    QAction* mnuViewArrangeName;
    QAction* mnuViewArrangeDate;
    QAction* mnuViewArrangeSource;
    QAction* mnuViewArrangeDestination;
    QAction* mnuViewArrangeRule;
    QAction* mnuViewLargeIcons;
    QAction* mnuViewSmallIcons;
    QAction* mnuViewList;
    QAction* mnuViewDetails;
    QMenu* mnuViewTask;
    QAction* mnuViewTaskColumnHeaders;
    QAction* mnuViewTaskGrid;
    QAction* mnuViewPreferences;
    QMenu* mnuHelp;
    QAction* mnuHelpInteractive;
    QAction* mnuHelpAbout;
    QAction* mnuHelpComments;
    QAction* mnuHelpKestrelmoor;

    // The icon's tooltip when no copy is under way: it says when automatic tasks are paused.
    QString trayTip() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Why the window is asked to close.
    enum class CloseReason { user, program };

    void buildChildren();
    void buildMenus();
    void buildPopupMenus();
    void buildToolbar();
    void buildStatusBar();
    void buildHelpPanel();
    void connectTaskList();
    QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption,
                         const QKeySequence& shortcut = {});
    QAction* addCheckItem(QMenu* menu, const char* name, const QString& caption, bool checked,
                          const QKeySequence& shortcut = {});
    void checkOneOf(const QList<QAction*>& group, QAction* item);
    QList<QAction*> viewModeItems() const;
    QList<QAction*> arrangeItems() const;

    bool quitAllowed();
    void unload();
    void loadWindowPlacement();
    void applyWantedFrame();
    void loadColumnSettings();
    void arrangeHelpPanel();
    // Design twips in pixels, grown with the desktop's font.
    double fontScale() const;
    int scaledX(int twips) const;
    int scaledY(int twips) const;
    void applyFontSizes();
    QMenu* buildTasksPopup();
    void popupAtCursor(QMenu* menu);
    void pauseAutomaticTasks();

    // Task list helpers.
    void onItemClicked(int row);
    void onColumnClicked(int column);
    bool renameTask(int row, const QString& newText);
    void handToFileInfo(int row);
    void reportStoreFault(const QString& message);
    void tellWaitingFailures();

    // Task command helpers.
    bool refuseWithoutSelection(const QString& noItems, const QString& noSelection);
    bool refuseWhileCopying(int recordNumber);
    bool readSelectedTask(int recordNumber);
    void openEditor(int recordNumber);

    CloseReason m_closeReason = CloseReason::user;
    bool m_unloaded = false;
    bool m_loading = false;
    bool m_performingAll = false;
    std::unique_ptr<PaintThrottle> m_paintThrottle;
    QString m_shownHelpTitle;
    QString m_lastStoreFault;
    // Balloons of failures, as "<name> failed." and the reason, by record number, waiting for a
    // notification area.
    QHash<int, QStringList> m_waitingFailures;
    QRect m_wantedFrame;
    bool m_shownBefore = false;
};
