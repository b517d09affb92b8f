// The main window's menus, popup menus, toolbar and status bar, and what each entry runs.
#include "frmMain.h"

#include "appVersion.h"
#include "frmAbout.h"
#include "frmComments.h"
#include "frmPreferences.h"
#include "helpHover.h"
#include "modFileLaunch.h"
#include "taskIcons.h"
#include "taskListView.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace {

struct ToolbarButton {
    const char* tag;
    const char* tooltip;
    const char* description;
};

// Tags in toolbar order; an empty tag is a separator.
constexpr ToolbarButton toolbarButtons[] = {
    {"NewTask", "New Task", "Create new task"},
    {"NewTaskWizard", "New Task Wizard", "New Task Wizard"},
    {"", "", ""},
    {"EditTask", "Edit Selected Task", "Edit Selected Task"},
    {"DeleteTask", "Delete Selected Task", "Delete Selected Task"},
    {"PerformTask", "Perform Selected Task", "Perform Selected Task"},
    {"", "", ""},
    {"InteractiveHelp", "Turn Interactive Help On or Off", "Interactive Help"},
    {"Preferences", "Preferences", "Preferences"},
    {"Exit", "Exit", "Exit"},
};

const char websitePanel[] = "Kestrelmoor Website";

QMenu* namedMenu(QWidget* parent, const char* name, const QString& caption) {
    auto* menu = new QMenu(caption, parent);
    menu->setObjectName(name);
    return menu;
}

void addSeparator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(name);
}

void openHomePage() {
    openDocument(homePageUrl);
}

} // namespace

QAction* frmMain::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                              const QKeySequence& shortcut) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    item->setShortcut(shortcut);
    // Shortcuts work while the menus are closed, also for items of popup menus.
    addAction(item);
    return item;
}

QAction* frmMain::addCheckItem(QMenu* menu, const char* name, const QString& caption, bool checked,
                               const QKeySequence& shortcut) {
    QAction* item = addMenuItem(menu, name, caption, shortcut);
    item->setCheckable(true);
    item->setChecked(checked);
    return item;
}

void frmMain::checkOneOf(const QList<QAction*>& group, QAction* item) {
    for (QAction* member : group)
        member->setChecked(member == item);
}

QList<QAction*> frmMain::viewModeItems() const {
    return {mnuViewLargeIcons, mnuViewSmallIcons, mnuViewList, mnuViewDetails};
}

QList<QAction*> frmMain::arrangeItems() const {
    return {mnuViewArrangeName, mnuViewArrangeDate, mnuViewArrangeSource, mnuViewArrangeDestination,
            mnuViewArrangeRule};
}

void frmMain::buildMenus() {
    QMenuBar* bar = menuBar();

    mnuFile = namedMenu(this, "mnuFile", "&File");
    mnuFileLaunch = addMenuItem(mnuFile, "mnuFileLaunch", "&Launch Selected File", Qt::Key_F2);
    mnuFileInfo = addMenuItem(mnuFile, "mnuFileInfo", "&Compare File Information", Qt::Key_F3);
    addSeparator(mnuFile, "mnuSeparator2");
    mnuFileExit = addMenuItem(mnuFile, "mnuFileExit", "E&xit");
    connect(mnuFileLaunch, &QAction::triggered, this, &frmMain::launchSelectedFile);
    connect(mnuFileInfo, &QAction::triggered, this, &frmMain::compareFileInformation);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::closeMainWindow);

    mnuTasks = namedMenu(this, "mnuTasks", "&Tasks");
    mnuTasksAddNew =
        addMenuItem(mnuTasks, "mnuTasksAddNew", "&Add New Task", QKeySequence("Ctrl+N"));
    mnuTasksAddNewWizard = addMenuItem(mnuTasks, "mnuTasksAddNewWizard", "Add New Task &Wizard",
                                       QKeySequence("Ctrl+W"));
    addSeparator(mnuTasks, "mnuSeparator1");
    mnuTasksEdit =
        addMenuItem(mnuTasks, "mnuTasksEdit", "&Edit Current Task", QKeySequence("Ctrl+E"));
    mnuTasksRemove =
        addMenuItem(mnuTasks, "mnuTasksRemove", "&Remove Current Task", Qt::Key_Delete);
    addSeparator(mnuTasks, "mnuSeparator7");
    mnuTasksDuplicate = addMenuItem(mnuTasks, "mnuTasksDuplicate", "&Duplicate Current Task",
                                    QKeySequence("Ctrl+D"));
    mnuTasksPerform = addMenuItem(mnuTasks, "mnuTasksPerform", "&Perform Current Task", Qt::Key_F5);
    mnuTasksPerformAll = addMenuItem(mnuTasks, "mnuTasksPerformAll", "Perform All Tasks &Now",
                                     QKeySequence("Shift+F5"));
    mnuTasksPause = addCheckItem(mnuTasks, "mnuTasksPause", "Pa&use Automatic Tasks", false);
    connect(mnuTasksPause, &QAction::triggered, this, &frmMain::pauseAutomaticTasks);
    connect(mnuTasksAddNew, &QAction::triggered, this, &frmMain::addTask);
    connect(mnuTasksAddNewWizard, &QAction::triggered, this, &frmMain::addTaskWithWizard);
    connect(mnuTasksEdit, &QAction::triggered, this, &frmMain::editTask);
    connect(mnuTasksRemove, &QAction::triggered, this, &frmMain::deleteTask);
    connect(mnuTasksDuplicate, &QAction::triggered, this, &frmMain::duplicateTask);
    connect(mnuTasksPerform, &QAction::triggered, this, &frmMain::performSelectedTask);
    connect(mnuTasksPerformAll, &QAction::triggered, this, &frmMain::performAllTasks);
    connect(mnuTasks, &QMenu::aboutToShow, this, [this] { helpPage("menutasks"); });

    mnuView = namedMenu(this, "mnuView", "&View");
    mnuViewToolbars = namedMenu(mnuView, "mnuViewToolbars", "&Toolbars");
    mnuView->addMenu(mnuViewToolbars);
    mnuViewToolbarsStandard = addCheckItem(mnuViewToolbars, "mnuViewToolbarsStandard",
                                           "Standard &Buttons", true, QKeySequence("Ctrl+B"));
    mnuViewToolbarsLog = addCheckItem(mnuViewToolbars, "mnuViewToolbarsLog", "Action &Log", true,
                                      QKeySequence("Ctrl+L"));
    mnuViewToolbarsStatus = addCheckItem(mnuViewToolbars, "mnuViewToolbarsStatus", "&Status Bar",
                                         true, QKeySequence("Ctrl+S"));
    mnuViewArrange = namedMenu(mnuView, "mnuViewArrange", "&Arrange Icons");
    mnuView->addMenu(mnuViewArrange);
    mnuViewArrangeName = addCheckItem(mnuViewArrange, "mnuViewArrangeName", "By &Name", true);
    mnuViewArrangeDate =
        addCheckItem(mnuViewArrange, "mnuViewArrangeDate", "By &Date Last Updated", false);
    mnuViewArrangeSource =
        addCheckItem(mnuViewArrange, "mnuViewArrangeSource", "By &Source File", false);
    mnuViewArrangeDestination =
        addCheckItem(mnuViewArrange, "mnuViewArrangeDestination", "By Destination &File", false);
    mnuViewArrangeRule = addCheckItem(mnuViewArrange, "mnuViewArrangeRule", "By &Rule", false);
    addSeparator(mnuView, "mnuSeparator3");
    mnuViewLargeIcons = addCheckItem(mnuView, "mnuViewLargeIcons", "Large Icons", true);
    mnuViewSmallIcons = addCheckItem(mnuView, "mnuViewSmallIcons", "Small Icons", false);
    mnuViewList = addCheckItem(mnuView, "mnuViewList", "List", false);
    mnuViewDetails = addCheckItem(mnuView, "mnuViewDetails", "Details", false);
    addSeparator(mnuView, "mnuSeparator4");
    mnuViewTask = namedMenu(mnuView, "mnuViewTask", "&Task List");
    mnuView->addMenu(mnuViewTask);
    mnuViewTaskColumnHeaders =
        addCheckItem(mnuViewTask, "mnuViewTaskColumnHeaders", "Show &Column Headers", true);
    mnuViewTaskGrid = addCheckItem(mnuViewTask, "mnuViewTaskGrid", "Show &Gridlines", false);
    mnuViewPreferences =
        addMenuItem(mnuView, "mnuViewPreferences", "&Preferences", QKeySequence("Ctrl+P"));
    connect(mnuView, &QMenu::aboutToShow, this, [this] { helpPage("menuview"); });

    for (QAction* option : {mnuViewToolbarsStandard, mnuViewToolbarsLog, mnuViewToolbarsStatus,
                            mnuViewTaskColumnHeaders, mnuViewTaskGrid})
        // A check item has reversed its own mark by the time it fires.
        connect(option, &QAction::triggered, this, &frmMain::applyWindowOptions);
    for (QAction* mode : viewModeItems())
        connect(mode, &QAction::triggered, this, [this, mode] {
            checkOneOf(viewModeItems(), mode);
            applyListView();
        });
    for (QAction* arrangement : arrangeItems())
        connect(arrangement, &QAction::triggered, this, [this, arrangement] {
            checkOneOf(arrangeItems(), arrangement);
            applyTaskSort();
        });
    connect(mnuViewPreferences, &QAction::triggered, this, [this] { showPreferences(this); });

    mnuHelp = namedMenu(this, "mnuHelp", "&Help");
    mnuHelpInteractive =
        addCheckItem(mnuHelp, "mnuHelpInteractive", "&Interactive Help", false, Qt::Key_F1);
    addSeparator(mnuHelp, "mnuSeparator6");
    mnuHelpAbout = addMenuItem(mnuHelp, "mnuHelpAbout", "&About Tidewell", QKeySequence("Ctrl+A"));
    mnuHelpComments = addMenuItem(mnuHelp, "mnuHelpComments", "&Comments and Suggestions");
    mnuHelpKestrelmoor = addMenuItem(mnuHelp, "mnuHelpKestrelmoor", "&Kestrelmoor Website");
    connect(mnuHelpInteractive, &QAction::triggered, this, &frmMain::applyWindowOptions);
    connect(mnuHelpAbout, &QAction::triggered, this, [this] { showAbout(this); });
    connect(mnuHelpComments, &QAction::triggered, this, [this] { showComments(this); });
    connect(mnuHelpKestrelmoor, &QAction::triggered, this, &openHomePage);
    connect(mnuHelp, &QMenu::aboutToShow, this, [this] { helpPage("menuhelp"); });

    for (QMenu* menu : {mnuFile, mnuTasks, mnuView, mnuHelp})
        bar->addMenu(menu);
}

void frmMain::buildPopupMenus() {
    mnuHelpPopup = namedMenu(this, "mnuHelpPopup", "HelpPopup");
    mnuHelpPopupHide = mnuHelpPopup->addAction("&Hide Immediate Help");
    mnuHelpPopupHide->setObjectName("mnuHelpPopupHide");
    connect(mnuHelpPopupHide, &QAction::triggered, this, [this] {
        mnuHelpInteractive->setChecked(false);
        applyWindowOptions();
    });

    mnuSysTray = namedMenu(this, "mnuSysTray", "SystemTrayMenu");
    mnuSysTrayShow = mnuSysTray->addAction("&Show Tidewell");
    mnuSysTrayShow->setObjectName("mnuSysTrayShow");
    addSeparator(mnuSysTray, "mnuSeparator10");
    mnuSysTrayPerformAll = mnuSysTray->addAction("Perform &All Tasks Now");
    mnuSysTrayPerformAll->setObjectName("mnuSysTrayPerformAll");
    mnuSysTray->addAction(mnuTasksPause);
    mnuSysTrayConfigure = mnuSysTray->addAction("&Configure Tidewell");
    mnuSysTrayConfigure->setObjectName("mnuSysTrayConfigure");
    addSeparator(mnuSysTray, "mnuSeparator11");
    mnuSysTrayExit = mnuSysTray->addAction("E&xit Tidewell");
    mnuSysTrayExit->setObjectName("mnuSysTrayExit");
    connect(mnuSysTrayShow, &QAction::triggered, this, &frmMain::showFromTray);
    connect(mnuSysTrayPerformAll, &QAction::triggered, this, &frmMain::performAllTasks);
    connect(mnuSysTrayConfigure, &QAction::triggered, this, [this] { showPreferences(this); });
    connect(mnuSysTrayExit, &QAction::triggered, this, &frmMain::closeMainWindow);
    for (QMenu* menu : {mnuTasks, mnuSysTray})
        connect(menu, &QMenu::hovered, this, [this](QAction* item) {
            if (item == mnuTasksPause)
                helpPage("pausetasks");
        });

    mnuTasksPopup = buildTasksPopup();
}

QMenu* frmMain::buildTasksPopup() {
    QMenu* popup = namedMenu(this, "mnuTasksPopup", "Tasks Popup");
    const auto item = [this, popup](const char* name, const QString& caption,
                                    void (frmMain::*command)()) {
        QAction* action = popup->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, command);
    };
    item("mnuTasksPopupAddNew", "&Add New Task", &frmMain::addTask);
    item("mnuTasksPopupAddNewWizard", "Add New Task &Wizard", &frmMain::addTaskWithWizard);
    addSeparator(popup, "mnuSeparator8");
    item("mnuTasksPopupEdit", "&Edit Current Task", &frmMain::editTask);
    item("mnuTasksPopupRemove", "&Remove Current Task", &frmMain::deleteTask);
    item("mnuTasksPopupDuplicate", "&Duplicate Current Task", &frmMain::duplicateTask);
    item("mnuTasksPopupPerformTask", "&Perform Current Task", &frmMain::performSelectedTask);
    addSeparator(popup, "mnuSeparator12");
    item("mnuTasksPopupLaunch", "&Launch File", &frmMain::launchSelectedFile);
    item("mnuTasksPopupFileInfo", "Show &File Information", &frmMain::compareFileInformation);
    return popup;
}

void frmMain::buildToolbar() {
    objToolbar->setObjectName("objToolbar");
    objToolbar->setMovable(false);
    objToolbar->setFloatable(false);
    objToolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    for (const ToolbarButton& button : toolbarButtons) {
        if (!*button.tag) {
            objToolbar->addSeparator();
            continue;
        }
        QAction* action = objToolbar->addAction(buttonImageForTag(button.tag), button.tooltip);
        action->setObjectName(QStringLiteral("objToolbar") + button.tag);
        action->setData(QString(button.tag));
        action->setToolTip(button.tooltip);
        action->setWhatsThis(button.description);
    }
    connect(objToolbar, &QToolBar::actionTriggered, this,
            [this](QAction* action) { toolbarClick(action->data().toString()); });
    attachHelp(objToolbar, "buttonbar");
    objToolbar->installEventFilter(this);
}

void frmMain::buildStatusBar() {
    objStatusBar->setObjectName("objStatusBar");
    objStatusBar->setSizeGripEnabled(false);
    statusPanel1 = new QLabel(objStatusBar);
    statusPanel1->setObjectName("objStatusBarPanel1");
    statusPanel1->setToolTip("Current Status");
    statusPanel2 = new QLabel(websitePanel, objStatusBar);
    statusPanel2->setObjectName("objStatusBarPanel2");
    statusPanel2->setToolTip("Go to the Kestrelmoor website");
    statusPanel2->setCursor(Qt::PointingHandCursor);
    objStatusBar->addWidget(statusPanel1, 1);
    objStatusBar->addPermanentWidget(statusPanel2);
    attachHelp(objStatusBar, "statusbar");
    for (QWidget* part : {static_cast<QWidget*>(objStatusBar), static_cast<QWidget*>(statusPanel1),
                          static_cast<QWidget*>(statusPanel2)})
        part->installEventFilter(this);
}

void frmMain::toolbarClick(const QString& tag) {
    const auto is = [&tag](const char* name) {
        return tag.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (is("interactivehelp")) {
        mnuHelpInteractive->setChecked(!mnuHelpInteractive->isChecked());
        applyWindowOptions();
    }
    if (is("preferences"))
        showPreferences(this);
    if (is("exit"))
        closeMainWindow();
    if (is("newtask"))
        addTask();
    if (is("newtaskwizard"))
        addTaskWithWizard();
    if (is("edittask"))
        editTask();
    if (is("deletetask"))
        deleteTask();
    if (is("performtask"))
        performSelectedTask();
}

void frmMain::statusPanelClick(const QString& panelText) {
    if (panelText.compare(websitePanel, Qt::CaseInsensitive) == 0)
        openHomePage();
}
