#include "copyFaultInjection.h"
#include "fileTimes.h"
#include "frmAbout.h"
#include "frmComments.h"
#include "frmMain.h"
#include "frmPreferences.h"
#include "frmTaskEditor.h"
#include "frmTaskWizard.h"
#include "modDatabaseBinary.h"
#include "modFileCopy.h"
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
#include <QDialog>
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

namespace db = modDatabaseBinary;

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
        // There is no notification area here; the icon waits for one.
        QVERIFY(w.lstLog->item(1)->text().endsWith("Application started") && !trayIcon() &&
                w.lstLog->item(0)->text().contains("There is no notification area yet"));
        QCOMPARE(w.testAttribute(Qt::WA_Moved), placed != "desktop");
        const QRect frame = w.frameGeometry();
        if (placed == "kept")
            QCOMPARE(frame, QRect(100, 200, 600, 500)); // 15 twips to a pixel at 96 dpi
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

    // The bars and options changed are all there at the next start.
    void settingsComeBackAtTheNextStart() {
        TestHome home;
        {
            frmMain w;
            w.load();
            for (QAction* item : {w.mnuViewToolbarsStandard, w.mnuViewTaskGrid,
                                  w.mnuHelpInteractive, w.mnuViewDetails, w.mnuViewArrangeRule,
                                  w.mnuViewToolbarsLog, w.mnuViewToolbarsStatus, w.mnuTasksPause})
                item->trigger();
            QVERIFY(w.lstLog->isHidden() && w.objStatusBar->isHidden());
            w.lvwTasks->setColumnWidth(2, 150);
            w.lvwTasks->setColumnPosition(2, 0);
            w.saveWindowSettings();
        }
        QStringList stored;
        for (const char* name :
             {"ToolBar", "Log", "StatusBar", "GridLines", "Help", "TaskIcons", "TaskSort",
              "Column3Position", "WindowState", "PauseAutomaticTasks"})
            stored << readSetting(name, "");
        QCOMPARE(stored, QStringList({"False", "False", "False", "True", "True", "4", "4", "1", "0",
                                      "True"}));
        frmMain w;
        w.load();
        QCOMPARE(checkMarks(w),
                 QStringList({"mnuHelpInteractive", "mnuTasksPause", "mnuViewArrangeRule",
                              "mnuViewDetails", "mnuViewTaskColumnHeaders", "mnuViewTaskGrid"}));
        QVERIFY(w.lstLog->isHidden() && w.objStatusBar->isHidden());
        QCOMPARE(w.lvwTasks->viewMode(), TaskViewMode::details);
        QCOMPARE(w.lvwTasks->sortKey(), 4);
        QVERIFY(qAbs(w.lvwTasks->columnWidth(2) - 150) <= 1);
        QCOMPARE(w.lvwTasks->columnPosition(2), 0);
    }

    void childrenTileTheClientArea_data() {
        QTest::addColumn<QString>("turned"); // the items whose check marks are turned
        QTest::addColumn<bool>("rightToLeft");
        QTest::newRow("as designed") << "" << false;
        QTest::newRow("no toolbar, help") << "mnuViewToolbarsStandard mnuHelpInteractive" << false;
        QTest::newRow("no status bar, no log")
            << "mnuViewToolbarsStatus mnuViewToolbarsLog" << false;
        QTest::newRow("right to left, help") << "mnuHelpInteractive" << true;
    }
    // As first shown and at any height the bars, the list and the log stack from the client
    // area's top to its bottom without overlapping, the help panel beside the list.
    void childrenTileTheClientArea() {
        QFETCH(QString, turned);
        QFETCH(bool, rightToLeft);
        WindowFixture<frmMain> f;
        f.w.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        for (const QString& name : turned.split(' ', Qt::SkipEmptyParts))
            f.w.findChild<QAction*>(name)->trigger();
        const QList<QWidget*> column{f.w.objToolbar, f.w.lvwTasks, f.w.lstLog, f.w.objStatusBar};
        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        // As first shown, after a layout made while hidden; then at two heights.
        for (const int height : {0, 320, 720}) {
            f.w.resize(height > 0 ? QSize(640, height) : f.w.size());
            QTRY_VERIFY(height == 0 || f.w.height() == height);
            const QRect client = f.w.centralWidget()->rect();
            int top = 0;
            for (QWidget* child : column) {
                if (child->isHidden())
                    continue;
                const QRect place = child->geometry();
                QVERIFY2(place.top() >= top && place.top() - top <= 8,
                         child->metaObject()->className());
                // The status bar alone may run past the far edge, to keep its panels apart.
                QVERIFY(client.contains(place) || child == f.w.objStatusBar);
                top = place.bottom() + 1;
            }
            QCOMPARE(top, client.height());
            const QRect list = f.w.lvwTasks->geometry();
            const QRect help = f.w.picHelp->geometry();
            if (!f.w.picHelp->isHidden())
                QVERIFY(!help.intersects(list) && help.top() == list.top() &&
                        help.height() == list.height() && (help.x() < list.x()) == rightToLeft);
        }
    }

    // Menu and panel stay in step; the panel comes back with the entry asked for last. Keys
    // match in any case and unknown ones change nothing. Moving the mouse onto a control
    // explains it, though another entry (a menu, say) came up while it stayed there. Only the
    // website panel opens the home page; a narrow window never lays it over the status text.
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
        f.w.resize(200, f.w.height());
        QTRY_VERIFY(!f.w.statusPanel1->geometry().intersects(f.w.statusPanel2->geometry()));
        UrlCatcher catcher({"http"});
        f.w.statusPanelClick(f.w.statusPanel1->text());
        f.w.statusPanelClick("KESTRELMOOR WEBSITE");
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first().host(), QString("www.kestrelmoor.example"));
    }

    // Newest first, the list keeps the newest 10000 lines, the file every line. The timer
    // performs a due task. (A second start's marker: the dialog's and the pause's tests here, and
    // its being taken well before a tick, the start-up test's hand-over.)
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
        QTRY_COMPARE(
            f.w.lstLog->findItems("Successfully performed Timed", Qt::MatchEndsWith).size(), 1);
        QTRY_COMPARE(f.w.lvwTasks->count(), 1);
        f.w.tmrCheck->stop();
        // A destination folder deleted rather than unmounted is watched for once its task fails.
        QVERIFY(QDir(f.home.path()).mkdir("stick"));
        storeTask(1, "Stick", f.home.file("source.txt"), f.home.file("stick/copy.txt"),
                  "When the source file is changed");
        f.w.fillTaskList();
        QTRY_VERIFY((f.w.engine->runCheckCycle(), QFile::exists(f.home.file("stick/copy.txt"))));
        QVERIFY(QDir(f.home.file("stick")).removeRecursively());
        makeFile(f.home, "source.txt", "new");
        QTRY_VERIFY(!f.w.lstLog->findItems("Stick failed.", Qt::MatchContains).isEmpty());
        QVERIFY(QDir(f.home.path()).mkdir("stick"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(f.home.file("stick/copy.txt")), 3000);
        // The tray tip is cut to its field without halving a character; the percentage stays.
        const QString longTip(80, QLatin1Char('x'));
        QCOMPARE(trayTipText(longTip).size(), 63);
        QCOMPARE(trayTipText(QString(62, 'x') + QString::fromUtf8("\u00e9")), QString(62, 'x'));
        QCOMPARE(trayProgressText("Backup", 42), QString("Backup: 42%"));
        QCOMPARE(trayProgressText(longTip, 100), QString(57, QLatin1Char('x')) + ": 100%");
    }

    // A dialog opened while a copy runs holds neither the copy nor the checks: while it is open,
    // a second start shows the window within a second, the copy ends and is recorded, and a task
    // that becomes due is copied at the next check.
    void aDialogHoldsNoCopy() {
        WindowFixture<frmMain> f;
        storeTask(0, "Slow", makeFile(f.home, "big.bin", QByteArray(4 << 20, 'b')),
                  f.home.file("big.copy"), manualRule);
        f.w.tmrCheck->setInterval(100);
        injectCopyDelay(40); // 64 chunks
        f.w.engine->performTask(0);
        QDialog dialog(&f.w);
        QList<bool> seen; // shown while copying, the copy recorded, the later task copied
        QTimer::singleShot(0, &dialog, [&] {
            makeFile(f.home, "notify.dat");
            seen << (QTest::qWaitFor([&] { return f.w.isVisible(); }, 1000) &&
                     f.w.engine->taskBeingCopied() == 0)
                 << QTest::qWaitFor(
                        [&] { return !db::readField(TaskField::LastUpdated, 0).value().isEmpty(); },
                        10000);
            storeTask(1, "Later", makeFile(f.home, "later.txt"), f.home.file("later.copy"),
                      "When the source file is changed");
            seen << QTest::qWaitFor([&] { return QFile::exists(f.home.file("later.copy")); });
            dialog.reject();
        });
        dialog.exec();
        injectCopyDelay(0);
        QCOMPARE(seen, QList<bool>(3, true));
        QCOMPARE(fileContents(f.home.file("big.copy")), fileContents(f.home.file("big.bin")));
    }

    // Paused from the tray, the Tasks menu shows it too. Neither the ticks nor the rebuild's
    // check performs a task, a second start still shows the window, Perform All still copies;
    // the tray tip and the status bar say so. Ending the pause performs what became due at once.
    void pausedAutomaticTasks() {
        WindowFixture<frmMain> f;
        const QString source = makeFile(f.home, "source.txt");
        setModified(source, {time(nullptr) - 3600, 0}); // settled long ago
        f.w.mnuSysTray->actions().at(3)->trigger();
        storeTask(0, "Held", source, f.home.file("copy.txt"), "Every day");
        makeFile(f.home, "notify.dat");
        f.w.fillTaskList();
        f.w.tmrCheck->setInterval(10);
        QTest::qWait(300);
        QVERIFY(f.w.isVisible() && !QFile::exists(f.home.file("notify.dat")) &&
                !QFile::exists(f.home.file("copy.txt")));
        const auto shown = [&f] {
            return QString::number(f.w.mnuTasks->actions().contains(f.w.mnuTasksPause) &&
                                   f.w.mnuTasksPause->isChecked()) +
                   QString::number(QFile::exists(f.home.file("later.txt"))) + '|' +
                   readSetting("PauseAutomaticTasks", "") + '|' + f.w.trayTip() + '|' +
                   f.w.statusPanel1->text();
        };
        QCOMPARE(
            shown(),
            "10|True|Kestrelmoor Tidewell: automatic tasks paused|Automatic tasks are paused.");
        f.w.performAllTasks();
        QTRY_VERIFY(QFile::exists(f.home.file("copy.txt")));
        f.w.tmrCheck->stop();
        storeTask(1, "Later", source, f.home.file("later.txt"), "Every day");
        f.w.mnuTasksPause->trigger();
        QTRY_COMPARE(shown(), "01|False|Kestrelmoor Tidewell|You currently have 2 active tasks.");
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
