#include "taskIcons.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTest>

namespace {

const QStringList taskKeys{"txt", "exe", "dll", "bmp", "web", "none"};
const QStringList toolbarTags{"NewTask",     "NewTaskWizard",   "EditTask",    "DeleteTask",
                              "PerformTask", "InteractiveHelp", "Preferences", "Exit"};

QImage imageOf(const QIcon& icon, int size) {
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Drawn pictures leave a good part of the square covered.
int coveredPixels(const QImage& image) {
    int covered = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            covered += qAlpha(image.pixel(x, y)) > 128;
    }
    return covered;
}

void verifyPicture(const QIcon& icon, int size) {
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    const QImage image = imageOf(icon, size);
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY2(coveredPixels(image) > size * size / 8, "picture is nearly empty");
}

void verifyAllDifferent(const QList<QImage>& images) {
    for (int a = 0; a < images.size(); ++a) {
        for (int b = a + 1; b < images.size(); ++b)
            QVERIFY2(images[a] != images[b],
                     qPrintable(QString("%1 and %2 look the same").arg(a).arg(b)));
    }
}

} // namespace

class TestTaskIcons : public QObject {
    Q_OBJECT

private slots:
    void iconKeyFromLastFourCharacters_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("key");
        QTest::newRow("upper-case doc") << "C:\\Docs\\Report.DOC"
                                        << "txt";
        QTest::newRow("txt") << "notes.txt"
                             << "txt";
        QTest::newRow("rtf") << "letter.Rtf"
                             << "txt";
        QTest::newRow("bat") << "run.bat"
                             << "exe";
        QTest::newRow("exe") << "C:\\Tools\\SETUP.EXE"
                             << "exe";
        QTest::newRow("com") << "command.com"
                             << "exe";
        QTest::newRow("ocx") << "grid.ocx"
                             << "dll";
        QTest::newRow("dll") << "C:\\Windows\\System\\Lib.Dll"
                             << "dll";
        QTest::newRow("jpg") << "photo.jpg"
                             << "bmp";
        QTest::newRow("bmp") << "paint.BMP"
                             << "bmp";
        QTest::newRow("tif") << "scan.tif"
                             << "bmp";
        QTest::newRow("gif") << "anim.gif"
                             << "bmp";
        QTest::newRow("html upper-case") << "page.HTML"
                                         << "web";
        QTest::newRow("htm") << "index.htm"
                             << "web";
        QTest::newRow("asp") << "comments.asp"
                             << "web";
        QTest::newRow("jpeg has no dot in its last four") << "photo.jpeg"
                                                          << "none";
        QTest::newRow("two-letter extension") << "a.7z"
                                              << "none";
        QTest::newRow("no extension") << "C:\\Data\\README"
                                      << "none";
        QTest::newRow("dot in the folder only") << "C:\\my.exe\\file"
                                                << "none";
        QTest::newRow("empty") << ""
                               << "none";
        QTest::newRow("three characters") << "exe"
                                          << "none";
        QTest::newRow("four characters whole") << ".txt"
                                               << "txt";
        QTest::newRow("html alone") << "HTML"
                                    << "web";
        QTest::newRow("txt without dot") << "mytxt"
                                         << "none";
        QTest::newRow("trailing blank") << "notes.txt "
                                        << "none";
    }
    void iconKeyFromLastFourCharacters() {
        QFETCH(QString, path);
        QFETCH(QString, key);
        QCOMPARE(taskIconKey(path), key);
    }

    void everyTaskKeyHasBothSizes() {
        QList<QImage> large;
        QList<QImage> small;
        for (const QString& key : taskKeys) {
            verifyPicture(largeTaskIcon(key), 32);
            verifyPicture(smallTaskIcon(key), 16);
            large.append(imageOf(largeTaskIcon(key), 32));
            small.append(imageOf(smallTaskIcon(key), 16));
        }
        verifyAllDifferent(large);
        verifyAllDifferent(small);
    }

    void unknownKeyShowsTheBlankPage() {
        QCOMPARE(imageOf(largeTaskIcon("zip"), 32), imageOf(largeTaskIcon("none"), 32));
        QCOMPARE(imageOf(smallTaskIcon(""), 16), imageOf(smallTaskIcon("none"), 16));
    }

    void toolbarHasItsImages() {
        QList<QImage> images;
        for (int index = 0; index < buttonImageCount; ++index) {
            verifyPicture(buttonImage(index), 16);
            images.append(imageOf(buttonImage(index), 16));
        }
        verifyAllDifferent(images);
        QVERIFY(buttonImage(-1).isNull());
        QVERIFY(buttonImage(buttonImageCount).isNull());
    }

    void everyToolbarTagHasItsOwnImage() {
        QList<QImage> images;
        for (const QString& tag : toolbarTags) {
            verifyPicture(buttonImageForTag(tag), 16);
            images.append(imageOf(buttonImageForTag(tag), 16));
            QCOMPARE(imageOf(buttonImageForTag(tag.toUpper()), 16), images.last());
        }
        verifyAllDifferent(images);
        QVERIFY(buttonImageForTag("Separator").isNull());
    }

    void trayIconIsSixteenPixels() { verifyPicture(trayIconImage(), 16); }
};

QTEST_MAIN(TestTaskIcons)
#include "tst_taskicons.moc"
