#include "frmProcessing.h"
#include "paintThrottle.h"
#include "taskIcons.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QTest>

class PaintCount : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

class TestProcessing : public QObject {
    Q_OBJECT
private slots:
    // The program's logo whatever the executable is called; Esc does not take the window away
    // while it works. The bar shows the share done, shrinking as well as growing from call to
    // call.
    void logoEscAndBarLength() {
        QApplication::setWindowIcon(programIcon());
        frmProcessing w;
        QCOMPARE(w.imgLogo->pixmap().toImage(), programIcon().pixmap(48, 48).toImage());
        w.show();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible() && !w.picProgress->isVisible());
        for (const auto& [current, total] : {std::pair{1, 3}, {7, 7}, {2, 3}, {0, 7}}) {
            w.pBar(current, total);
            QVERIFY(w.picProgress->isVisible() && w.picProgress->width() > 0);
            QVERIFY(qAbs(w.shpProgress->width() -
                         current * w.picProgress->width() / double(total)) <= 0.5);
        }
    }

    // Moving the bar at every turn of the event loop draws it a few times a second while a
    // throttle lives, and the last move is still drawn after it ends.
    void throttledPainting() {
        frmProcessing w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PaintCount count;
        w.shpProgress->installEventFilter(&count);
        int painted = 0;
        {
            const PaintThrottle throttle{&w};
            QElapsedTimer clock;
            clock.start();
            for (int turn = 0; clock.elapsed() < 400; ++turn) {
                w.pBar(1 + turn % 2, 3);
                QCoreApplication::processEvents();
            }
            QVERIFY(count.paints > 0 && count.paints <= 400 / PaintThrottle::interval + 2);
            w.pBar(3, 3);
            painted = count.paints;
        }
        QTRY_VERIFY(count.paints > painted);
        QCOMPARE(w.shpProgress->width(), w.picProgress->width());
    }
};

QTEST_MAIN(TestProcessing)
#include "tst_processing.moc"
