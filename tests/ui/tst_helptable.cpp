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

// Every key some control sends; the ones whose text has two paragraphs.
const QStringList keys =
    QString("load buttonbar statusbar tasklist help menutasks menuview menuhelp log taskname "
            "tasksourcefile taskdestinationfile taskdestinationlist taskdestinationadd "
            "taskdestinationdelete taskconfirm taskconfirmtitle taskconfirmmessage taskrule "
            "setupdelete setupquit setupnotify setupautostart setupedit setupperform setuprun ok "
            "cancel browse setuplog setuplogfile next previous finish")
        .split(' ');
const QStringList twoParagraphs =
    QString("buttonbar tasklist help menutasks tasksourcefile taskdestinationlist").split(' ');

} // namespace

class TestHelpTable : public QObject {
    Q_OBJECT

private slots:
    // Each key finds its entry in any letter case; titles differ without regard to case, and
    // paragraphs are parted by one empty line.
    void everyKeyHasItsEntry() {
        QSet<QString> titles;
        for (const QString& key : keys) {
            const std::optional<HelpEntry> entry = helpEntry(key.toUpper());
            QVERIFY2(entry && !entry->title.isEmpty(), qPrintable(key));
            titles.insert(entry->title.toLower());
            const QStringList pieces = entry->text.split("\r\n\r\n");
            QCOMPARE(pieces.size(), twoParagraphs.contains(key) ? 2 : 1);
            for (const QString& piece : pieces)
                QVERIFY(!piece.isEmpty() && !piece.contains('\r') && !piece.contains('\n'));
        }
        QCOMPARE(titles.size(), keys.size());
        QCOMPARE(helpEntry("Ok")->title, "OK");
    }

    void everyEntryReadsWholeInThePanel_data() {
        QTest::addColumn<int>("points");
        QTest::newRow("design size") << 8;
        QTest::newRow("a large desktop font") << 16;
    }
    // Whatever the font, the fixed panel cuts no entry: its text wraps to the panel's width and
    // scrolls down to its end.
    void everyEntryReadsWholeInThePanel() {
        QFETCH(int, points);
        WindowFixture<frmMain> f;
        f.w.picHelp->setFont(QFont("DejaVu Sans", points));
        f.w.mnuHelpInteractive->trigger();
        f.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w));
        const QLabel* text = f.w.lblHelpText;
        const QWidget* viewport = f.w.helpScroll->viewport();
        for (const QString& key : keys) {
            f.w.helpPage(key);
            QCoreApplication::processEvents();
            const int reachable =
                viewport->height() + f.w.helpScroll->verticalScrollBar()->maximum();
            QVERIFY2(text->width() <= viewport->width() &&
                         text->heightForWidth(text->width()) <= text->height() &&
                         text->height() <= reachable,
                     qPrintable(key));
        }
    }

    void unknownKeysFindNothing_data() {
        QTest::addColumn<QString>("key");
        QTest::newRow("empty") << QString();
        QTest::newRow("longer") << "okay";
        QTest::newRow("trailing blank") << "ok ";
        QTest::newRow("prefix of a key") << "setup";
        QTest::newRow("title instead of key") << "Task List";
        QTest::newRow("the panel's own texts") << "Loading...";
    }
    void unknownKeysFindNothing() {
        QFETCH(QString, key);
        QVERIFY(!helpEntry(key));
    }
};

QTEST_MAIN(TestHelpTable)
#include "tst_helptable.moc"
