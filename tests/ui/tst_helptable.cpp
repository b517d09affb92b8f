#include "helpTable.h"

#include <QSet>
#include <QtTest>

namespace {

// Every key some control sends; the ones whose text has two paragraphs.
const QStringList keys =
    QString("load buttonbar statusbar tasklist help menutasks menuview menuhelp log taskname "
            "tasksourcefile taskdestinationfile taskdestinationlist taskdestinationadd "
            "taskdestinationdelete taskconfirm taskconfirmtitle taskconfirmmessage taskrule "
            "setupdelete setupquit setupnotify setuptrash setupautostart setupedit setupperform "
            "setuprun ok cancel browse setuplog setuplogfile next previous finish pausetasks")
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
