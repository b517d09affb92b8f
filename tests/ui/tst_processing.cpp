#include "frmProcessing.h"
#include "taskIcons.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QTest>

class TestProcessing : public QObject {
    Q_OBJECT
private slots:
    // The program's logo whatever the executable is called; Esc does not take the window away
    // while it works.
    void logoAndEsc() {
        QApplication::setWindowIcon(programIcon());
        frmProcessing w;
        QCOMPARE(w.imgLogo->pixmap().toImage(), programIcon().pixmap(48, 48).toImage());
        w.show();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
    }

    // The bar shows the share done, shrinking as well as growing from call to call.
    void barLength() {
        frmProcessing w;
        w.show();
        QVERIFY(!w.picProgress->isVisible());
        for (const auto& [current, total] : {std::pair{1, 3}, {7, 7}, {2, 3}, {0, 7}}) {
            w.pBar(current, total);
            QVERIFY(w.picProgress->isVisible() && w.picProgress->width() > 0);
            QVERIFY(qAbs(w.shpProgress->width() -
                         current * w.picProgress->width() / double(total)) <= 0.5);
        }
    }
};

QTEST_MAIN(TestProcessing)
#include "tst_processing.moc"
