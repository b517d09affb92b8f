#include "frmMain.h"
#include "helpTable.h"
#include "windowFixture.h"

#include <QAction>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QtTest>

namespace {

// Every key some control sends.
const QStringList keys =
    QString("load buttonbar statusbar tasklist help menutasks menuview menuhelp log taskname "
            "tasksourcefile taskdestinationfile taskdestinationlist taskdestinationadd "
            "taskdestinationdelete taskconfirm taskconfirmtitle taskconfirmmessage taskrule "
            "setupdelete setupquit setupnotify setuptrash setupautostart setupedit setupperform "
            "setuprun ok cancel browse setuplog setuplogfile next previous finish pausetasks")
        .split(' ');

} // namespace

class TestHelpTable : public QObject {
    Q_OBJECT

private slots:
    // Each key finds its entry in any letter case, and nothing else finds one; titles differ
    // without regard to case, and paragraphs are parted by one empty line. In a desktop font larger
    // than the design's, the fixed panel cuts no entry: its text wraps to the panel's width and
    // scrolls to its end.
    void everyKeyHasItsEntry() {
        WindowFixture<frmMain> f;
        f.w.picHelp->setFont(QFont("DejaVu Sans", 16));
        f.w.mnuHelpInteractive->trigger();
        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        const QLabel* text = f.w.lblHelpText;
        const QWidget* viewport = f.w.helpScroll->viewport();
        QSet<QString> titles;
        for (const QString& key : keys) {
            f.w.helpPage(key);
            QCoreApplication::processEvents();
            QVERIFY2(text->width() <= viewport->width() &&
                         text->heightForWidth(text->width()) <= text->height() &&
                         text->height() <=
                             viewport->height() + f.w.helpScroll->verticalScrollBar()->maximum(),
                     qPrintable(key));
            const std::optional<HelpEntry> entry = helpEntry(key.toUpper());
            QVERIFY2(entry && !entry->title.isEmpty(), qPrintable(key));
            titles.insert(entry->title.toLower());
            for (const QString& piece : entry->text.split("\r\n\r\n"))
                QVERIFY(!piece.isEmpty() && !piece.contains('\r') && !piece.contains('\n'));
        }
        QCOMPARE(titles.size(), keys.size());
        QCOMPARE(helpEntry("Ok")->title, "OK");
        // Empty, longer, a trailing blank, the prefix of a key, a title, the panel's own text.
        for (const QString key : {"", "okay", "ok ", "setup", "Task List", "Loading..."})
            QVERIFY2(!helpEntry(key), qPrintable(key));
    }
};

QTEST_MAIN(TestHelpTable)
#include "tst_helptable.moc"
