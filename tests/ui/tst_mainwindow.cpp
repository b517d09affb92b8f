#include "frmMain.h"
#include "modPaths.h"
#include "modRegistry.h"
#include "modSysTraySubClassed.h"
#include "taskListView.h"
#include "taskTableBuilder.h"
#include "urlCatcher.h"
#include "windowFixture.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

// "Name=value;Name=value" into the settings.
void writeSettings(const QString& settings) {
    for (const QString& pair : settings.split(';', Qt::SkipEmptyParts))
        writeSetting(pair.section('=', 0, 0), pair.section('=', 1));
}

// The menu items ticked, by name, in alphabetical order.
QStringList checkMarks(const frmMain& w) {
    QStringList marks;
    for (const QAction* item : w.findChildren<QAction*>())
        if (item->isChecked() && item->objectName().startsWith("mnu"))
            marks << item->objectName();
    marks.sort();
    return marks;
}

QString firstLogLine(const frmMain& w) {
    return w.lstLog->count() ? w.lstLog->item(0)->text() : QString();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void storedSettingsAreLoaded_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("marks");
        QTest::newRow("first start")
            << ""
            << "mnuViewArrangeDate mnuViewLargeIcons mnuViewTaskColumnHeaders "
               "mnuViewToolbarsLog mnuViewToolbarsStandard mnuViewToolbarsStatus";
        QTest::newRow("values that do not convert take the default")
            << "StatusBar=abc;ToolBar=0;Log=2;Help=true;TaskIcons=7;TaskSort=x;"
               "ScreenWidth=abc"
            << "mnuHelpInteractive mnuViewArrangeDate mnuViewTaskColumnHeaders "
               "mnuViewToolbarsLog mnuViewToolbarsStatus";
    }
    // Starts hidden, with its start logged, checking, and placed by the desktop.
    void storedSettingsAreLoaded() {
        QFETCH(QString, settings);
        QFETCH(QString, marks);
        TestHome home;
        writeSettings(settings);
        frmMain w;
        w.load();
        QCOMPARE(checkMarks(w), marks.split(' '));
        QVERIFY(w.isHidden() && w.width() > 0 && w.tmrCheck->isActive());
        QVERIFY(w.lstLog->item(1)->text().endsWith("Application started"));
        // There is no notification area here; the icon waits for one.
        QVERIFY(firstLogLine(w).contains("There is no notification area yet") && trayIcon());
        QVERIFY(!w.testAttribute(Qt::WA_Moved));
    }

    void closeAndExit_data() {
        QTest::addColumn<bool>("exit"); // the Exit item, else the close box
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("quits");
        QTest::newRow("close box hides without asking")
            << false << "true" << true << false << false;
        QTest::newRow("TRUE, No") << true << "TRUE" << false << true << false;
        QTest::newRow("true, Yes") << true << "true" << true << true << true;
        QTest::newRow("false") << true << "false" << false << false << true;
        QTest::newRow("other text") << true << "yes" << false << false << true;
    }
    // Quitting is logged and saves the window settings.
    void closeAndExit() {
        QFETCH(bool, exit);
        QFETCH(QString, setting);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, quits);
        TestHome home;
        writeSetting("QuitConfirmation", setting);
        MessageCatcher messages(answer);
        frmMain w;
        w.load();
        w.show();
        if (exit)
            w.mnuFileExit->trigger();
        else
            QVERIFY(!w.close());
        QCOMPARE(messages.texts(MessageKind::question),
                 asked ? QStringList("If you exit Tidewell then no tasks can be performed.  Are "
                                     "you sure you want to quit?")
                       : QStringList());
        QCOMPARE(firstLogLine(w).endsWith("Application quit"), quits);
        QCOMPARE(w.isVisible(), !quits && exit);
        QCOMPARE(readSetting("ToolBar", "<none>") == "True", quits);
    }

    void settingsComeBackAtTheNextStart() {
        TestHome home;
        {
            frmMain w;
            w.load();
            for (QAction* item : {w.mnuViewToolbarsStandard, w.mnuViewTaskGrid,
                                  w.mnuHelpInteractive, w.mnuViewDetails, w.mnuViewArrangeRule})
                item->trigger();
            w.lvwTasks->setColumnWidth(2, 150);
            w.lvwTasks->setColumnPosition(2, 0);
            w.saveWindowSettings();
        }
        QStringList stored;
        for (const char* name : {"ToolBar", "GridLines", "Help", "TaskIcons", "TaskSort",
                                 "Column3Position", "WindowState"})
            stored << readSetting(name, "");
        QCOMPARE(stored, QStringList({"False", "True", "True", "4", "4", "1", "0"}));
        frmMain w;
        w.load();
        QCOMPARE(checkMarks(w),
                 QStringList({"mnuHelpInteractive", "mnuViewArrangeRule", "mnuViewDetails",
                              "mnuViewTaskColumnHeaders", "mnuViewTaskGrid", "mnuViewToolbarsLog",
                              "mnuViewToolbarsStatus"}));
        QCOMPARE(w.lvwTasks->viewMode(), TaskViewMode::details);
        QCOMPARE(w.lvwTasks->sortKey(), 4);
        QVERIFY(qAbs(w.lvwTasks->columnWidth(2) - 150) <= 1);
        QCOMPARE(w.lvwTasks->columnPosition(2), 0);
    }

    void placementInTwips_data() {
        QTest::addColumn<QList<int>>("stored"); // left, top, width, height
        QTest::addColumn<bool>("kept");
        QTest::newRow("kept") << QList<int>{1500, 3000, 9000, 7500} << true;
        QTest::newRow("off every screen") << QList<int>{9000000, 9000000, 9000, 7500} << false;
        QTest::newRow("larger than the screens") << QList<int>{0, 0, 2000000, 2000000} << false;
        QTest::newRow("negative height") << QList<int>{0, 0, 2000000, -5} << false;
    }
    // A placement that does not fit is cut to the screen; maximised, the normal
    // one is saved.
    void placementInTwips() {
        QFETCH(QList<int>, stored);
        QFETCH(bool, kept);
        TestHome home;
        writeSettings(QString("ScreenLeft=%1;ScreenTop=%2;ScreenWidth=%3;ScreenHeight=%4")
                          .arg(stored[0])
                          .arg(stored[1])
                          .arg(stored[2])
                          .arg(stored[3]));
        frmMain w;
        w.load();
        const QRect frame = w.frameGeometry();
        QVERIFY(!frame.isEmpty());
        if (kept)
            QCOMPARE(frame, QRect(w.twipsToPixelsX(1500), w.twipsToPixelsY(3000),
                                  w.twipsToPixelsX(9000), w.twipsToPixelsY(7500)));
        else
            QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(frame));
        w.showMaximized();
        w.saveWindowSettings();
        QCOMPARE(readSetting("WindowState", ""), "2");
        if (kept)
            QCOMPARE(readSetting("ScreenWidth", "") + readSetting("ScreenTop", ""), "90003000");
    }

    // Menu and panel stay in step; the panel comes back with the entry asked for
    // last. Keys match in any case and unknown ones change nothing.
    void interactiveHelp() {
        WindowFixture<frmMain> f;
        f.w.toolbarClick("INTERACTIVEHELP");
        QVERIFY(f.w.mnuHelpInteractive->isChecked() && !f.w.picHelp->isHidden());
        f.w.mnuHelpInteractive->trigger();
        QVERIFY(f.w.picHelp->isHidden());
        f.w.helpPage("CaNcEl");
        f.w.helpPage("nothing-of-that-name");
        f.w.mnuHelpInteractive->trigger();
        QCOMPARE(f.w.lblHelpTitle->text() + '|' + f.w.lblHelpText->text(),
                 "Cancel|Cancel any changes and close the window.");
        f.w.mnuHelpPopupHide->trigger();
        QVERIFY(!f.w.mnuHelpInteractive->isChecked() && f.w.picHelp->isHidden());
    }

    // Another entry came up (a menu, say) while the mouse stayed on the control.
    void theMouseOverAControlExplainsIt() {
        WindowFixture<frmMain> f;
        QStringList titles;
        for (QWidget* control :
             {f.w.lstLog->viewport(), f.w.lvwTasks->currentView()->viewport(),
              static_cast<QWidget*>(f.w.objToolbar), static_cast<QWidget*>(f.w.objStatusBar),
              static_cast<QWidget*>(f.w.lblHelpText)}) {
            f.w.helpPage("menutasks");
            QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), control->mapToGlobal(QPointF(2, 2)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(control, &move);
            titles << f.w.lblHelpTitle->text();
        }
        f.w.show();
        f.w.mnuView->popup(QPoint(0, 0));
        titles << f.w.lblHelpTitle->text();
        f.w.mnuView->hide();
        QCOMPARE(titles, QStringList({"Action Log", "Task List", "Button Bar", "Status Bar",
                                      "Interactive Help", "View Menu"}));
    }

    void viewOptionsHideBarsAndGrowTheList() {
        WindowFixture<frmMain> f;
        f.w.resize(800, 600);
        const int before = f.w.lvwTasks->height();
        f.w.mnuViewToolbarsLog->trigger();
        f.w.mnuViewToolbarsStatus->trigger();
        QVERIFY(f.w.lstLog->isHidden() && f.w.objStatusBar->isHidden());
        QVERIFY(f.w.lvwTasks->height() > before);
        f.w.mnuViewToolbarsLog->trigger();
        QVERIFY(!f.w.lstLog->isHidden());
    }

    void onlyTheWebsitePanelOpensTheHomePage() {
        WindowFixture<frmMain> f;
        UrlCatcher catcher({"http"});
        f.w.statusPanelClick(f.w.statusPanel1->text());
        f.w.statusPanelClick("KESTRELMOOR WEBSITE");
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first().host(), QString("www.kestrelmoor.example"));
    }

    // Well before the next tick: the marker is watched for.
    void aSecondStartsMarkerShowsTheHiddenWindow() {
        WindowFixture<frmMain> f;
        QVERIFY(f.w.isHidden());
        makeFile(f.home, "notify.dat");
        QTRY_VERIFY_WITH_TIMEOUT(f.w.isVisible(), 5000);
        QVERIFY(!QFile::exists(applicationFile("notify.dat")));
    }

    void theTimerPerformsADueTask() {
        WindowFixture<frmMain> f;
        storeTask(0, "Timed", makeFile(f.home, "source.txt"), f.home.file("copy.txt"),
                  "When the source file is changed");
        f.w.tmrCheck->setInterval(10);
        QTRY_VERIFY(QFile::exists(f.home.file("copy.txt")));
        QCOMPARE(f.w.lstLog->findItems("Successfully performed Timed", Qt::MatchEndsWith).size(),
                 1);
        QTRY_COMPARE(f.w.lvwTasks->count(), 1);
    }

    void aHiddenWindowTellsOfEachDistinctFailureOnce() {
        WindowFixture<frmMain> f;
        const QString source = f.home.file("source.txt");
        storeTask(0, "Nightly", source, f.home.file("out/copy.txt"));
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
                makeFile(f.home, "source.txt");
            QDir(f.home.file("out")).removeRecursively();
            if (step.folderThere)
                QDir(f.home.path()).mkdir("out");
            f.w.setVisible(step.shown);
            writeSetting(Setting::NotifyFailures, step.notify);
            performTask(f.w, 0);
            QCOMPARE(trayMessageCount() - before, step.told);
        }
    }

    // Cut to the field without halving a character; the percentage stays in view.
    void trayTipIsCutToItsField() {
        const QString longTip(80, QLatin1Char('x'));
        QCOMPARE(trayTipText(longTip).size(), 63);
        QCOMPARE(trayTipText(QString(62, 'x') + QString::fromUtf8("\u00e9")), QString(62, 'x'));
        QCOMPARE(trayProgressText("Backup", 42), QString("Backup: 42%"));
        QCOMPARE(trayProgressText(longTip, 100), QString(57, QLatin1Char('x')) + ": 100%");
    }

    // Newest first; the list keeps the newest 10000 lines, the file every line.
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
        QVERIFY(w.lstLog->item(1)->text().endsWith("\tline 10004"));
        QVERIFY(w.lstLog->item(9999)->text().endsWith("\tline 6"));
        QFile file(applicationFile("Tidewell.log"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), loadLines + 10005);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
