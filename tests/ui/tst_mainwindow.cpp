#include "frmAbout.h"
#include "frmComments.h"
#include "frmMain.h"
#include "frmPreferences.h"
#include "frmTaskEditor.h"
#include "frmTaskWizard.h"
#include "modPaths.h"
#include "modRegistry.h"
#include "modSysTraySubClassed.h"
#include "taskListView.h"
#include "taskTableBuilder.h"
#include "urlCatcher.h"
#include "windowFixture.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
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

// The menu items ticked, by name, in alphabetical order.
QStringList checkMarks(const frmMain& w) {
    QStringList marks;
    for (const QAction* item : w.findChildren<QAction*>())
        if (item->isChecked() && item->objectName().startsWith("mnu"))
            marks << item->objectName();
    marks.sort();
    return marks;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void storedSettingsAreLoaded_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("marks");
        // "kept", "moved" and cut to the screen, or left to the "desktop"; always on screen
        QTest::addColumn<QString>("placed");
        const QString defaults = "mnuViewArrangeDate mnuViewLargeIcons mnuViewTaskColumnHeaders "
                                 "mnuViewToolbarsLog mnuViewToolbarsStandard mnuViewToolbarsStatus";
        QTest::newRow("first start") << "" << defaults << "desktop";
        QTest::newRow("values that do not convert take the default")
            << "StatusBar=abc;ToolBar=0;Log=2;Help=true;TaskIcons=7;TaskSort=x;ScreenWidth=abc"
            << "mnuHelpInteractive mnuViewArrangeDate mnuViewTaskColumnHeaders "
               "mnuViewToolbarsLog mnuViewToolbarsStatus"
            << "desktop";
        QTest::newRow("kept") << "ScreenLeft=1500;ScreenTop=3000;ScreenWidth=9000;ScreenHeight=7500"
                              << defaults << "kept";
        QTest::newRow("off every screen")
            << "ScreenLeft=9000000;ScreenTop=9000000" << defaults << "desktop";
        QTest::newRow("larger than the screens")
            << "ScreenLeft=0;ScreenTop=0;ScreenWidth=2000000;ScreenHeight=2000000" << defaults
            << "moved";
        QTest::newRow("negative height")
            << "ScreenLeft=0;ScreenTop=0;ScreenWidth=2000000;ScreenHeight=-5" << defaults
            << "desktop";
    }
    // Starts hidden, with its start logged, checking; a placement in twips that does not fit
    // is cut to the screen, and maximised, the normal one is saved.
    void storedSettingsAreLoaded() {
        QFETCH(QString, settings);
        QFETCH(QString, marks);
        QFETCH(QString, placed);
        TestHome home;
        for (const QString& pair : settings.split(';', Qt::SkipEmptyParts))
            writeSetting(pair.section('=', 0, 0), pair.section('=', 1));
        frmMain w;
        w.load();
        QCOMPARE(checkMarks(w), marks.split(' '));
        QVERIFY(w.isHidden() && w.width() > 0 && w.tmrCheck->isActive());
        QVERIFY(w.lstLog->item(1)->text().endsWith("Application started"));
        // There is no notification area here; the icon waits for one.
        QVERIFY(w.lstLog->item(0)->text().contains("There is no notification area yet") &&
                !trayIcon());
        QCOMPARE(w.testAttribute(Qt::WA_Moved), placed != "desktop");
        const QRect frame = w.frameGeometry();
        if (placed == "kept")
            QCOMPARE(frame, QRect(w.twipsToPixelsX(1500), w.twipsToPixelsY(3000),
                                  w.twipsToPixelsX(9000), w.twipsToPixelsY(7500)));
        else
            QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(frame));
        w.showMaximized();
        w.saveWindowSettings();
        QCOMPARE(readSetting("WindowState", ""), "2");
        if (placed == "kept")
            QCOMPARE(readSetting("ScreenWidth", "") + readSetting("ScreenTop", ""), "90003000");
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
        QTest::newRow("other text") << true << "yes" << false << false << true;
    }
    // Quitting is logged and saves the window settings.
    void closeAndExit() {
        QFETCH(bool, exit);
        QFETCH(QString, setting);
        WindowFixture<frmMain> f;
        writeSetting("QuitConfirmation", setting);
        QFETCH(bool, answer);
        f.messages.answer = answer;
        f.w.show();
        if (exit)
            f.w.mnuFileExit->trigger();
        else
            QVERIFY(!f.w.close());
        QFETCH(bool, asked);
        QCOMPARE(f.messages.texts(MessageKind::question).size(), int(asked));
        QFETCH(bool, quits);
        QCOMPARE(f.w.lstLog->item(0)->text().endsWith("Application quit"), quits);
        QCOMPARE(f.w.isVisible(), !quits && exit);
        QCOMPARE(readSetting("ToolBar", "<none>") == "True", quits);
    }

    // The bars hidden give their room to the list, and all of it is there at the next start.
    void settingsComeBackAtTheNextStart() {
        TestHome home;
        {
            frmMain w;
            w.load();
            const int before = w.lvwTasks->height();
            for (QAction* item : {w.mnuViewToolbarsStandard, w.mnuViewTaskGrid,
                                  w.mnuHelpInteractive, w.mnuViewDetails, w.mnuViewArrangeRule,
                                  w.mnuViewToolbarsLog, w.mnuViewToolbarsStatus})
                item->trigger();
            QVERIFY(w.lstLog->isHidden() && w.objStatusBar->isHidden());
            QVERIFY(w.lvwTasks->height() > before);
            w.lvwTasks->setColumnWidth(2, 150);
            w.lvwTasks->setColumnPosition(2, 0);
            w.saveWindowSettings();
        }
        QStringList stored;
        for (const char* name : {"ToolBar", "Log", "StatusBar", "GridLines", "Help", "TaskIcons",
                                 "TaskSort", "Column3Position", "WindowState"})
            stored << readSetting(name, "");
        QCOMPARE(stored,
                 QStringList({"False", "False", "False", "True", "True", "4", "4", "1", "0"}));
        frmMain w;
        w.load();
        QCOMPARE(checkMarks(w),
                 QStringList({"mnuHelpInteractive", "mnuViewArrangeRule", "mnuViewDetails",
                              "mnuViewTaskColumnHeaders", "mnuViewTaskGrid"}));
        QVERIFY(w.lstLog->isHidden() && w.objStatusBar->isHidden());
        QCOMPARE(w.lvwTasks->viewMode(), TaskViewMode::details);
        QCOMPARE(w.lvwTasks->sortKey(), 4);
        QVERIFY(qAbs(w.lvwTasks->columnWidth(2) - 150) <= 1);
        QCOMPARE(w.lvwTasks->columnPosition(2), 0);
    }

    // Menu and panel stay in step; the panel comes back with the entry asked for last. Keys
    // match in any case and unknown ones change nothing. Moving the mouse onto a control
    // explains it, though another entry (a menu, say) came up while it stayed there. Only the
    // website panel opens the home page.
    void helpAndStatusPanels() {
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
        QStringList titles;
        for (QWidget* control :
             QList<QWidget*>{f.w.lstLog->viewport(), f.w.lvwTasks->currentView()->viewport(),
                             f.w.objToolbar, f.w.objStatusBar, f.w.lblHelpText}) {
            f.w.helpPage("menutasks");
            QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), control->mapToGlobal(QPointF(2, 2)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(control, &move);
            titles << f.w.lblHelpTitle->text();
        }
        f.w.show();
        f.w.mnuView->popup(QPoint(0, 0));
        titles << f.w.lblHelpTitle->text();
        QCOMPARE(titles, QStringList({"Action Log", "Task List", "Button Bar", "Status Bar",
                                      "Interactive Help", "View Menu"}));
        f.w.mnuHelpPopupHide->trigger();
        QVERIFY(!f.w.mnuHelpInteractive->isChecked() && f.w.picHelp->isHidden());
        UrlCatcher catcher({"http"});
        f.w.statusPanelClick(f.w.statusPanel1->text());
        f.w.statusPanelClick("KESTRELMOOR WEBSITE");
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first().host(), QString("www.kestrelmoor.example"));
    }

    // Newest first, the list keeps the newest 10000 lines, the file every line. The timer
    // performs a due task; a second start's marker shows the hidden window well before a tick.
    void theRunningWindow() {
        WindowFixture<frmMain> f;
        writeSetting("LogToFile", "1");
        for (int n = 1; n <= 10005; ++n)
            logAction(QString("line %1").arg(n));
        QCOMPARE(f.w.lstLog->count(), 10000);
        QVERIFY(f.w.lstLog->item(0)->text().endsWith("\tline 10005"));
        QVERIFY(f.w.lstLog->item(9999)->text().endsWith("\tline 6"));
        QCOMPARE(fileContents(applicationFile("Tidewell.log")).count("\r\n"), 10005);
        storeTask(0, "Timed", makeFile(f.home, "source.txt"), f.home.file("copy.txt"),
                  "When the source file is changed");
        f.w.tmrCheck->setInterval(10);
        QTRY_VERIFY(QFile::exists(f.home.file("copy.txt")));
        QCOMPARE(f.w.lstLog->findItems("Successfully performed Timed", Qt::MatchEndsWith).size(),
                 1);
        QTRY_COMPARE(f.w.lvwTasks->count(), 1);
        f.w.tmrCheck->stop();
        makeFile(f.home, "notify.dat");
        QTRY_VERIFY_WITH_TIMEOUT(f.w.isVisible(), 5000);
        QVERIFY(!QFile::exists(applicationFile("notify.dat")));
        // The tray tip is cut to its field without halving a character; the percentage stays.
        const QString longTip(80, QLatin1Char('x'));
        QCOMPARE(trayTipText(longTip).size(), 63);
        QCOMPARE(trayTipText(QString(62, 'x') + QString::fromUtf8("\u00e9")), QString(62, 'x'));
        QCOMPARE(trayProgressText("Backup", 42), QString("Backup: 42%"));
        QCOMPARE(trayProgressText(longTip, 100), QString(57, QLatin1Char('x')) + ": 100%");
    }

    // A screen reader names every control that takes the focus, and the bars, in the program's
    // words; the fixed dialogs offer window managers no minimise or maximise.
    void everyControlSpeaks() {
        WindowFixture<frmMain> f;
        frmTaskEditor editor;
        frmTaskWizard wizard;
        frmPreferences preferences;
        frmAbout about;
        frmComments comments;
        const std::pair<QWidget*, bool> windows[] = {{&f.w, false},   {&editor, true},
                                                     {&wizard, true}, {&preferences, true},
                                                     {&about, false}, {&comments, false}};
        for (const auto& [shown, fixedFrame] : windows) {
            QStringList silent;
            for (QWidget* control : shown->findChildren<QWidget*>())
                if ((control->focusPolicy() != Qt::NoFocus || qobject_cast<QToolBar*>(control)) &&
                    !qobject_cast<QComboBox*>(control->parentWidget()) &&
                    control->window() == shown &&
                    QAccessible::queryAccessibleInterface(control)
                        ->text(QAccessible::Name)
                        .isEmpty())
                    silent << control->objectName() + ':' + control->metaObject()->className();
            QCOMPARE(shown->objectName() + ' ' + silent.join(' '), shown->objectName() + ' ');
            const Qt::WindowFlags flags = shown->windowFlags();
            QCOMPARE(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint) &&
                         !(flags & Qt::WindowMinMaxButtonsHint) &&
                         shown->minimumSize() == shown->maximumSize(),
                     fixedFrame);
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
