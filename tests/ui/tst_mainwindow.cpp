#include "frmMain.h"
#include "modDatabaseBinary.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modRegistry.h"
#include "modSysTraySubClassed.h"
#include "taskListView.h"
#include "testHome.h"
#include "urlCatcher.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

class TestMainWindow : public QObject {
    Q_OBJECT

    QStringList questions;

    void answerQuestions(bool yes) {
        questions.clear();
        setMessageResponder([this, yes](MessageKind kind, const QString&, const QString& text) {
            if (kind == MessageKind::question)
                questions << text;
            return yes;
        });
    }

    static QString firstLogLine(const frmMain& w) {
        return w.lstLog->count() ? w.lstLog->item(0)->text() : QString();
    }

    static QStringList checkMarks(const frmMain& w) {
        QStringList marks;
        for (QAction* item :
             {w.mnuViewToolbarsStandard, w.mnuViewToolbarsStatus, w.mnuViewToolbarsLog,
              w.mnuHelpInteractive, w.mnuViewTaskColumnHeaders, w.mnuViewTaskGrid,
              w.mnuViewLargeIcons, w.mnuViewSmallIcons, w.mnuViewList, w.mnuViewDetails,
              w.mnuViewArrangeName, w.mnuViewArrangeDate, w.mnuViewArrangeSource,
              w.mnuViewArrangeDestination, w.mnuViewArrangeRule})
            if (item->isChecked())
                marks << item->objectName();
        return marks;
    }

private slots:
    void cleanup() { setMessageResponder(nullptr); }

    void firstStartShowsTheDefaults() {
        TestHome home;
        frmMain w;
        w.load();
        QVERIFY(w.isHidden());
        QVERIFY(w.lstLog->item(1)->text().endsWith("Application started"));
        // There is no notification area here; the icon waits for one.
        QVERIFY(firstLogLine(w).contains("There is no notification area yet"));
        QVERIFY(trayIcon());
        QCOMPARE(w.lblHelpTitle->text(), QString("Welcome to Tidewell"));
        QCOMPARE(checkMarks(w), QStringList({"mnuViewToolbarsStandard", "mnuViewToolbarsStatus",
                                             "mnuViewToolbarsLog", "mnuViewTaskColumnHeaders",
                                             "mnuViewLargeIcons", "mnuViewArrangeDate"}));
        QCOMPARE(w.lvwTasks->viewMode(), TaskViewMode::largeIcons);
        QCOMPARE(w.lvwTasks->sortKey(), 1);
        QCOMPARE(w.statusPanel1->text(), QString("You currently have no active tasks."));
        QVERIFY(w.tmrCheck->isActive());
        QCOMPARE(w.tmrCheck->interval(), 10000);
        QCOMPARE(w.windowTitle(), QString("Kestrelmoor Tidewell"));
        QVERIFY(!w.testAttribute(Qt::WA_Moved)); // placed by the desktop
    }

    void layoutFollowsTheBars_data() {
        QTest::addColumn<bool>("toolbar");
        QTest::addColumn<bool>("statusBar");
        QTest::addColumn<bool>("log");
        QTest::addColumn<bool>("help");
        QTest::addColumn<int>("listTop");
        QTest::addColumn<int>("heightLoss");
        QTest::newRow("both bars, log, no help")
            << true << true << true << false << 360 << 1310 + 1445;
        QTest::newRow("status bar only, no log") << false << true << false << false << 0 << 950;
        QTest::newRow("toolbar only, help") << true << false << false << true << 360 << 1050;
        QTest::newRow("no bars, log and help") << false << false << true << true << 0 << 690 + 1445;
    }
    void layoutFollowsTheBars() {
        QFETCH(bool, toolbar);
        QFETCH(bool, statusBar);
        QFETCH(bool, log);
        QFETCH(bool, help);
        QFETCH(int, listTop);
        QFETCH(int, heightLoss);
        TestHome home;
        frmMain w;
        w.load();
        w.mnuViewToolbarsStandard->setChecked(toolbar);
        w.mnuViewToolbarsStatus->setChecked(statusBar);
        w.mnuViewToolbarsLog->setChecked(log);
        w.mnuHelpInteractive->setChecked(help);
        w.resize(800, 600);
        w.applyWindowOptions();
        const int outerW = w.pixelsToTwipsX(w.frameGeometry().width());
        const int outerH = w.pixelsToTwipsY(w.frameGeometry().height());

        const QRect list = w.lvwTasks->geometry();
        QCOMPARE(list.top(), w.twipsToPixelsY(listTop));
        QCOMPARE(list.height(), w.twipsToPixelsY(outerH - heightLoss));
        QCOMPARE(list.width(), w.twipsToPixelsX(help ? outerW - 2935 : outerW - 115));
        QCOMPARE(w.picHelp->x(), w.twipsToPixelsX(outerW - 2900));
        QCOMPARE(w.picHelp->geometry().top(), list.top());
        QCOMPARE(w.picHelp->height(), list.height());
        QCOMPARE(w.picHelp->isHidden(), !help);
        QCOMPARE(w.lblHelpText->height(), w.twipsToPixelsY(outerH - heightLoss - 500));
        QCOMPARE(w.lstLog->y(), w.twipsToPixelsY(outerH - (statusBar ? 2350 : 2100)));
        QCOMPARE(w.lstLog->width(), w.twipsToPixelsX(outerW - 125));
        QCOMPARE(w.lstLog->isHidden(), !log);
        QCOMPARE(w.objToolbar->isHidden(), !toolbar);
        QCOMPARE(w.objStatusBar->isHidden(), !statusBar);
    }

    void aTinyWindowKeepsTheLastLayout() {
        TestHome home;
        frmMain w;
        w.load();
        w.resize(800, 600);
        const QRect before = w.lvwTasks->geometry();
        w.resize(60, 40);
        QCOMPARE(w.lvwTasks->height(), before.height());
        QCOMPARE(w.lvwTasks->width(), before.width());
    }

    void closeBoxHidesWithoutAsking() {
        TestHome home;
        writeSetting("QuitConfirmation", "true");
        answerQuestions(true);
        frmMain w;
        w.load();
        w.show();
        QVERIFY(!w.close());
        QVERIFY(w.isHidden());
        QVERIFY(questions.isEmpty());
        QVERIFY(!firstLogLine(w).endsWith("Application quit"));
    }

    void exitAsksWhenQuitConfirmationIsOn_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("quits");
        QTest::newRow("TRUE, No") << "TRUE" << false << true << false;
        QTest::newRow("true, Yes") << "true" << true << true << true;
        QTest::newRow("false") << "false" << false << false << true;
        QTest::newRow("other text") << "yes" << false << false << true;
    }
    void exitAsksWhenQuitConfirmationIsOn() {
        QFETCH(QString, setting);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, quits);
        TestHome home;
        writeSetting("QuitConfirmation", setting);
        answerQuestions(answer);
        frmMain w;
        w.load();
        w.show();
        w.mnuFileExit->trigger();
        QCOMPARE(questions.isEmpty(), !asked);
        if (asked)
            QCOMPARE(questions.first(), QString("If you exit Tidewell then no tasks can be "
                                                "performed.  Are you sure you want to quit?"));
        QCOMPARE(firstLogLine(w).endsWith("Application quit"), quits);
        QCOMPARE(w.isVisible(), !quits);
        // Quitting saves the window settings.
        QCOMPARE(readSetting("ToolBar", "<none>") == "True", quits);
    }

    void settingsComeBackAtTheNextStart() {
        TestHome home;
        {
            frmMain w;
            w.load();
            w.mnuViewToolbarsStandard->trigger();
            w.mnuViewTaskGrid->trigger();
            w.mnuHelpInteractive->trigger();
            w.mnuViewDetails->trigger();
            w.mnuViewArrangeRule->trigger();
            w.lvwTasks->setColumnWidth(2, 150);
            w.lvwTasks->setColumnPosition(2, 0);
            w.saveWindowSettings();
        }
        QCOMPARE(readSetting("ToolBar", ""), QString("False"));
        QCOMPARE(readSetting("GridLines", ""), QString("True"));
        QCOMPARE(readSetting("Help", ""), QString("True"));
        QCOMPARE(readSetting("TaskIcons", ""), QString("4"));
        QCOMPARE(readSetting("TaskSort", ""), QString("4"));
        QCOMPARE(readSetting("Column3Position", ""), QString("1"));
        QCOMPARE(readSetting("WindowState", ""), QString("0"));
        frmMain w;
        w.load();
        QCOMPARE(checkMarks(w),
                 QStringList({"mnuViewToolbarsStatus", "mnuViewToolbarsLog", "mnuHelpInteractive",
                              "mnuViewTaskColumnHeaders", "mnuViewTaskGrid", "mnuViewDetails",
                              "mnuViewArrangeRule"}));
        QCOMPARE(w.lvwTasks->viewMode(), TaskViewMode::details);
        QCOMPARE(w.lvwTasks->sortKey(), 4);
        QVERIFY(qAbs(w.lvwTasks->columnWidth(2) - 150) <= 1);
        QCOMPARE(w.lvwTasks->columnPosition(2), 0);
    }

    void storedValuesThatDoNotConvertTakeTheDefault() {
        TestHome home;
        writeSetting("StatusBar", "abc");
        writeSetting("ToolBar", "0");
        writeSetting("Log", "2");
        writeSetting("Help", "true");
        writeSetting("TaskIcons", "7");
        writeSetting("TaskSort", "x");
        writeSetting("ScreenWidth", "abc");
        frmMain w;
        w.load();
        QVERIFY(w.mnuViewToolbarsStatus->isChecked());
        QVERIFY(!w.mnuViewToolbarsStandard->isChecked());
        QVERIFY(w.mnuViewToolbarsLog->isChecked());
        QVERIFY(w.mnuHelpInteractive->isChecked());
        for (QAction* mode :
             {w.mnuViewLargeIcons, w.mnuViewSmallIcons, w.mnuViewList, w.mnuViewDetails})
            QVERIFY(!mode->isChecked());
        QVERIFY(w.mnuViewArrangeDate->isChecked());
        QVERIFY(w.width() > 0);
    }

    void placementIsKeptInTwips() {
        TestHome home;
        writeSetting("ScreenLeft", "1500");
        writeSetting("ScreenTop", "3000");
        writeSetting("ScreenWidth", "9000");
        writeSetting("ScreenHeight", "7500");
        frmMain w;
        w.load();
        QCOMPARE(w.frameGeometry().topLeft(),
                 QPoint(w.twipsToPixelsX(1500), w.twipsToPixelsY(3000)));
        QCOMPARE(w.frameGeometry().size(), QSize(w.twipsToPixelsX(9000), w.twipsToPixelsY(7500)));
        w.saveWindowSettings();
        QCOMPARE(readSetting("ScreenWidth", ""), QString("9000"));
        QCOMPARE(readSetting("ScreenTop", ""), QString("3000"));
    }

    void aPlacementOffEveryScreenIsIgnored() {
        TestHome home;
        writeSetting("ScreenLeft", "9000000");
        writeSetting("ScreenTop", "9000000");
        frmMain w;
        w.load();
        QVERIFY(w.x() < 10000);
        QVERIFY(w.y() < 10000);
    }

    void aPlacementLargerThanTheScreensIsCut() {
        TestHome home;
        writeSetting("ScreenLeft", "0");
        writeSetting("ScreenTop", "0");
        writeSetting("ScreenWidth", "2000000");
        writeSetting("ScreenHeight", "-5");
        frmMain w;
        w.load();
        QVERIFY(w.width() < 100000);
        writeSetting("ScreenHeight", "2000000");
        frmMain tall;
        tall.load();
        QVERIFY(tall.frameGeometry().height() <=
                QGuiApplication::primaryScreen()->availableGeometry().height());
        QVERIFY(tall.frameGeometry().width() <=
                QGuiApplication::primaryScreen()->availableGeometry().width());
    }

    void aMaximisedWindowKeepsItsNormalPlacement() {
        TestHome home;
        writeSetting("ScreenWidth", "7777");
        frmMain w;
        w.load();
        w.showMaximized();
        w.saveWindowSettings();
        QCOMPARE(readSetting("WindowState", ""), QString("2"));
        QCOMPARE(readSetting("ScreenWidth", ""), QString("7777"));
    }

    void menuItemsHaveTheirCaptionsAndShortcuts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        const char* rows[][3] = {
            {"mnuFileLaunch", "&Launch Selected File", "F2"},
            {"mnuFileInfo", "&Compare File Information", "F3"},
            {"mnuFileExit", "E&xit", ""},
            {"mnuTasksAddNew", "&Add New Task", "Ctrl+N"},
            {"mnuTasksAddNewWizard", "Add New Task &Wizard", "Ctrl+W"},
            {"mnuTasksEdit", "&Edit Current Task", "Ctrl+E"},
            {"mnuTasksRemove", "&Remove Current Task", "Del"},
            {"mnuTasksDuplicate", "&Duplicate Current Task", "Ctrl+D"},
            {"mnuTasksPerform", "&Perform Current Task", "F5"},
            {"mnuTasksPerformAll", "Perform All Tasks &Now", "Shift+F5"},
            {"mnuViewToolbarsStandard", "Standard &Buttons", "Ctrl+B"},
            {"mnuViewToolbarsLog", "Action &Log", "Ctrl+L"},
            {"mnuViewToolbarsStatus", "&Status Bar", "Ctrl+S"},
            {"mnuViewPreferences", "&Preferences", "Ctrl+P"},
            {"mnuHelpInteractive", "&Interactive Help", "F1"},
            {"mnuHelpAbout", "&About Tidewell", "Ctrl+A"},
            {"mnuHelpComments", "&Comments and Suggestions", ""},
            {"mnuHelpKestrelmoor", "&Kestrelmoor Website", ""},
            {"mnuTasksPopupLaunch", "&Launch File", ""},
            {"mnuTasksPopupFileInfo", "Show &File Information", ""},
            {"mnuSysTrayExit", "E&xit Tidewell", ""},
            {"mnuHelpPopupHide", "&Hide Immediate Help", ""},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << row[0] << row[1] << row[2];
    }
    void menuItemsHaveTheirCaptionsAndShortcuts() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        TestHome home;
        frmMain w;
        auto* item = w.findChild<QAction*>(name);
        QVERIFY(item);
        QCOMPARE(item->text(), caption);
        QCOMPARE(item->shortcut().toString(), shortcut);
    }

    void trayMenuHasFourItemsAndTwoSeparators() {
        TestHome home;
        frmMain w;
        QStringList entries;
        for (QAction* item : w.mnuSysTray->actions())
            entries << (item->isSeparator() ? "-" : item->text());
        QCOMPARE(entries, QStringList({"&Show Tidewell", "-", "Perform &All Tasks Now",
                                       "&Configure Tidewell", "-", "E&xit Tidewell"}));
    }

    void toolbarButtonsInOrder() {
        TestHome home;
        frmMain w;
        QStringList tags;
        for (QAction* button : w.objToolbar->actions())
            tags << (button->isSeparator() ? "-" : button->data().toString());
        QCOMPARE(tags, QStringList({"NewTask", "NewTaskWizard", "-", "EditTask", "DeleteTask",
                                    "PerformTask", "-", "InteractiveHelp", "Preferences", "Exit"}));
        QCOMPARE(w.imlButtons.size(), 21);
    }

    void interactiveHelpToggleKeepsMenuAndPanelInStep() {
        TestHome home;
        frmMain w;
        w.load();
        w.toolbarClick("INTERACTIVEHELP");
        QVERIFY(w.mnuHelpInteractive->isChecked());
        QVERIFY(!w.picHelp->isHidden());
        w.mnuHelpInteractive->trigger();
        QVERIFY(w.picHelp->isHidden());
        w.helpPage("ok");
        w.mnuHelpInteractive->trigger();
        // The panel comes back with the entry asked for last, not with the welcome.
        QCOMPARE(w.lblHelpTitle->text(), QString("OK"));
        w.mnuHelpPopupHide->trigger();
        QVERIFY(!w.mnuHelpInteractive->isChecked());
        QVERIFY(w.picHelp->isHidden());
    }

    void helpPageMatchesAnyCaseAndIgnoresUnknownKeys() {
        TestHome home;
        frmMain w;
        w.load();
        w.helpPage("CaNcEl");
        QCOMPARE(w.lblHelpTitle->text(), QString("Cancel"));
        QCOMPARE(w.lblHelpText->text(), QString("Cancel any changes and close the window."));
        w.helpPage("nothing-of-that-name");
        QCOMPARE(w.lblHelpTitle->text(), QString("Cancel"));
        w.helpPage("tasklist");
        QVERIFY(w.lblHelpText->text().contains("bring up a menu containing common options."));
        QVERIFY(w.lblHelpText->text().contains("left mouse button.\r\n\r\nTo save time"));
    }

    void theMouseOverAControlExplainsIt() {
        TestHome home;
        frmMain w;
        w.load();
        const QList<QPair<QWidget*, QString>> controls = {
            {w.lstLog->viewport(), "Action Log"},
            {w.lvwTasks->currentView()->viewport(), "Task List"},
            {w.objToolbar, "Button Bar"},
            {w.objStatusBar, "Status Bar"},
            {w.lblHelpText, "Interactive Help"}};
        for (const auto& [control, title] : controls) {
            // Another entry came up (a menu, say) while the mouse stayed on the control.
            w.helpPage("menutasks");
            const QPointF at(2, 2);
            QMouseEvent move(QEvent::MouseMove, at, control->mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(control, &move);
            QCOMPARE(w.lblHelpTitle->text(), title);
        }
    }

    void openingAMenuExplainsIt() {
        TestHome home;
        frmMain w;
        w.load();
        w.show();
        w.mnuView->popup(QPoint(0, 0));
        QCOMPARE(w.lblHelpTitle->text(), QString("View Menu"));
        w.mnuView->hide();
    }

    void viewOptionsHideBarsAndGrowTheList() {
        TestHome home;
        frmMain w;
        w.load();
        w.resize(800, 600);
        const int before = w.lvwTasks->height();
        w.mnuViewToolbarsLog->trigger();
        QVERIFY(w.lstLog->isHidden());
        QVERIFY(w.lvwTasks->height() > before);
        w.mnuViewToolbarsStatus->trigger();
        QVERIFY(w.objStatusBar->isHidden());
        w.mnuViewToolbarsLog->trigger();
        QVERIFY(!w.lstLog->isHidden());
    }

    void onlyTheWebsitePanelOpensTheHomePage() {
        TestHome home;
        UrlCatcher catcher({"http"});
        frmMain w;
        w.load();
        w.statusPanelClick(w.statusPanel1->text());
        QVERIFY(catcher.opened.isEmpty());
        w.statusPanelClick("KESTRELMOOR WEBSITE");
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first().host(), QString("www.kestrelmoor.example"));
        QCOMPARE(w.statusPanel2->toolTip(), QString("Go to the Kestrelmoor website"));
    }

    void aSecondStartsMarkerShowsTheHiddenWindow() {
        TestHome home;
        frmMain w;
        w.load();
        QVERIFY(w.isHidden());
        QFile marker(applicationFile("notify.dat"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        // Well before the next tick: the marker is watched for.
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 5000);
        QVERIFY(!QFile::exists(applicationFile("notify.dat")));
    }

    void theTimerPerformsADueTask() {
        TestHome home;
        frmMain w;
        w.load();
        QFile source(home.file("source.txt"));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("fresh");
        source.close();
        (void)modDatabaseBinary::writeField("TaskName", 0, "Timed");
        (void)modDatabaseBinary::writeField("SourceFile", 0, source.fileName());
        (void)modDatabaseBinary::writeField("DestinationFile", 0, home.file("copy.txt"));
        (void)modDatabaseBinary::writeField("Rule", 0, "When the source file is changed");
        (void)modDatabaseBinary::writeField("ConfirmationOn", 0, "0");
        QVERIFY(!QFile::exists(home.file("copy.txt")));
        w.tmrCheck->setInterval(10);
        QTRY_VERIFY(QFile::exists(home.file("copy.txt")));
        QVERIFY(firstLogLine(w).endsWith("Successfully performed Timed") ||
                w.lstLog->findItems("Successfully performed Timed", Qt::MatchEndsWith).size() == 1);
        QTRY_COMPARE(w.lvwTasks->count(), 1);
    }

    void aHiddenWindowTellsOfEachDistinctFailureOnce() {
        TestHome home;
        frmMain w;
        w.load();
        const QString source = home.file("source.txt");
        (void)modDatabaseBinary::writeField("TaskName", 0, "Nightly");
        (void)modDatabaseBinary::writeField("SourceFile", 0, source);
        (void)modDatabaseBinary::writeField("DestinationFile", 0, home.file("out/copy.txt"));
        (void)modDatabaseBinary::writeField("Rule", 0, "Only when I select to perform the task");
        const struct {
            bool sourceThere, folderThere, shown;
            const char* notify;
            int told;
        } steps[] = {{true, false, false, "1", 1},  {true, false, false, "1", 1},
                     {false, false, false, "1", 2}, {true, false, false, "1", 3},
                     {true, true, false, "1", 3},   {true, false, false, "1", 4},
                     {false, false, true, "1", 4},  {false, false, false, "0", 4}};
        const int before = trayMessageCount();
        for (const auto& step : steps) {
            QFile::remove(source);
            if (step.sourceThere)
                makeFile(home, "source.txt");
            QDir(home.file("out")).removeRecursively();
            if (step.folderThere)
                QDir(home.path()).mkdir("out");
            w.setVisible(step.shown);
            writeSetting(Setting::NotifyFailures, step.notify);
            performTask(w, 0);
            QCOMPARE(trayMessageCount() - before, step.told);
        }
    }

    void logLinesComeNewestFirst() {
        TestHome home;
        frmMain w;
        w.load();
        logAction("first");
        logAction("second");
        QVERIFY(w.lstLog->item(0)->text().endsWith("second"));
        QVERIFY(w.lstLog->item(1)->text().endsWith("first"));
    }

    // Pictures of the window in its four views, for a person to look at.
    void picturesOfTheWindow() {
        const QString folder = qEnvironmentVariable("TIDEWELL_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TIDEWELL_SCREENSHOTS names no folder for the pictures");
        TestHome home;
        frmMain w;
        w.load();
        const char* sources[] = {"report.doc", "setup.exe",  "helper.dll",
                                 "photo.bmp",  "index.html", "notes"};
        for (int n = 0; n < 6; ++n) {
            const QString name = QString("Task %1 ").arg(n) + sources[n];
            (void)modDatabaseBinary::writeField("TaskName", n, name);
            (void)modDatabaseBinary::writeField("SourceFile", n, "/home/me/" + QString(sources[n]));
            (void)modDatabaseBinary::writeField("DestinationFile", n,
                                                "/backup/" + QString(sources[n]));
            (void)modDatabaseBinary::writeField("Rule", n,
                                                "Only when I select to perform the task");
        }
        w.mnuHelpInteractive->trigger();
        w.resize(900, 600);
        w.show();
        w.fillTaskList();
        w.lvwTasks->selectRow(1);
        w.helpPage("tasklist");
        logAction("Successfully performed Task 1 setup.exe");
        for (QAction* mode :
             {w.mnuViewLargeIcons, w.mnuViewSmallIcons, w.mnuViewList, w.mnuViewDetails}) {
            mode->trigger();
            QTest::qWait(50);
            QVERIFY(w.grab().save(folder + "/main-" + mode->objectName() + ".png"));
        }
    }

    void trayTipIsCutToItsField() {
        QCOMPARE(trayTipText("Kestrelmoor Tidewell"), QString("Kestrelmoor Tidewell"));
        const QString longTip(80, QLatin1Char('x'));
        QCOMPARE(trayTipText(longTip).size(), 63);
        // A character of several bytes is never cut in half.
        const QString wide = QString(62, QLatin1Char('x')) + QString::fromUtf8("\u00e9");
        QCOMPARE(trayTipText(wide), QString(62, QLatin1Char('x')));
        // While a copy runs the percentage stays in view, however long the task's name.
        QCOMPARE(trayProgressText("Backup", 42), QString("Backup: 42%"));
        QCOMPARE(trayProgressText(longTip, 100), QString(57, QLatin1Char('x')) + ": 100%");
    }

    void logListKeepsTheNewestLinesAndTheFileAll() {
        TestHome home;
        writeSetting("LogToFile", "1");
        frmMain w;
        w.load();
        const int loadLines = w.lstLog->count();
        for (int n = 1; n <= 10005; ++n)
            logAction(QString("line %1").arg(n));
        QCOMPARE(w.lstLog->count(), 10000);
        QVERIFY(firstLogLine(w).endsWith("\tline 10005"));
        QVERIFY(w.lstLog->item(9999)->text().endsWith("\tline 6"));
        QFile file(applicationFile("Tidewell.log"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), loadLines + 10005);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
