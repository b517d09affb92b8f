#include "frmProcessing.h"
#include "taskIcons.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QTest>

class TestProcessing : public QObject {
    Q_OBJECT
private slots:
    // Whatever the executable is called; Esc does not take the window away while it works.
    void captionLogoAndStatus() {
        QApplication::setWindowIcon(programIcon());
        frmProcessing w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Kestrelmoor Tidewell"));
        QCOMPARE(w.imgLogo->pixmap().toImage(), programIcon().pixmap(48, 48).toImage());
        QCOMPARE(w.lblStatus->text(), QStringLiteral("Processing..."));
        QVERIFY(w.lblStatus->font().bold());
        QVERIFY(!w.isModal());
        w.show();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
    }

    void barLength_data() {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("total");
        QTest::addColumn<double>("share");
        QTest::newRow("empty") << 0 << 7 << 0.0;
        QTest::newRow("one third") << 1 << 3 << 1.0 / 3.0;
        QTest::newRow("two thirds") << 2 << 3 << 2.0 / 3.0;
        QTest::newRow("full") << 7 << 7 << 1.0;
        QTest::newRow("single task done") << 1 << 1 << 1.0;
    }
    void barLength() {
        QFETCH(int, current);
        QFETCH(int, total);
        QFETCH(double, share);
        frmProcessing w;
        w.show();
        QVERIFY(!w.picProgress->isVisible());
        w.pBar(current, total);
        QVERIFY(w.picProgress->isVisible());
        const double full = w.picProgress->width();
        QVERIFY(full > 0);
        QVERIFY(qAbs(w.shpProgress->width() - share * full) <= 0.5);
        QCOMPARE(w.shpProgress->x(), 0);
    }

    void barShrinksAndGrowsWithEachCall() {
        frmProcessing w;
        w.show();
        w.pBar(3, 3);
        QCOMPARE(w.shpProgress->width(), w.picProgress->width());
        w.pBar(0, 3);
        QCOMPARE(w.shpProgress->width(), 0);
    }
};

QTEST_MAIN(TestProcessing)
#include "tst_processing.moc"
