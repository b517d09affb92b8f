#include "taskIcons.h"

#include <QImage>
#include <QTest>

static QImage imageOf(const QIcon& icon, int size) {
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

class TestTaskIcons : public QObject {
    Q_OBJECT

private slots:
    // Only the last four characters count, and a dot must be among them; "|" parts the paths,
    // the row names the key.
    void iconKeyFromLastFourCharacters_data() {
        QTest::addColumn<QString>("paths");
        QTest::newRow("txt") << QString("C:\\Docs\\Report.DOC|notes.txt|letter.Rtf|.txt");
        QTest::newRow("exe") << QString("run.bat|C:\\Tools\\SETUP.EXE|command.com");
        QTest::newRow("dll") << QString("grid.ocx|C:\\Windows\\System\\Lib.Dll");
        QTest::newRow("bmp") << QString("photo.jpg|paint.BMP|scan.tif|anim.gif");
        QTest::newRow("web") << QString("page.HTML|index.htm|comments.asp|HTML");
        QTest::newRow("none") << QString(
            "photo.jpeg|a.7z|C:\\Data\\README|C:\\my.exe\\file||exe|mytxt|notes.txt ");
    }
    void iconKeyFromLastFourCharacters() {
        QFETCH(QString, paths);
        for (const QString& path : paths.split('|'))
            QVERIFY2(taskIconKey(path) == QTest::currentDataTag(), qPrintable(path));
    }

    void picturesAreDrawnAndDistinct_data() {
        QTest::addColumn<QList<QIcon>>("icons");
        QTest::addColumn<int>("size");
        QList<QIcon> large, small, buttons, tagged;
        for (const char* key : {"txt", "exe", "dll", "bmp", "web", "none"}) {
            large << largeTaskIcon(key);
            small << smallTaskIcon(key);
        }
        for (int index = 0; index < buttonImageCount; ++index)
            buttons << buttonImage(index);
        for (const char* tag : {"NEWTASK", "NewTaskWizard", "edittask", "DeleteTask", "PerformTask",
                                "InteractiveHelp", "Preferences", "Exit"})
            tagged << buttonImageForTag(tag);
        QTest::newRow("large task icons") << large << 32;
        QTest::newRow("small task icons") << small << 16;
        QTest::newRow("toolbar images") << buttons << 16;
        QTest::newRow("toolbar images by tag, in any letter case") << tagged << 16;
        QTest::newRow("tray") << QList<QIcon>{trayIconImage()} << 16;
    }
    // Each picture comes in its size, covers a good part of its square and differs from the
    // others of its set; at every density it is drawn for the screen's pixels, not blown up
    // from the plain one.
    void picturesAreDrawnAndDistinct() {
        QFETCH(QList<QIcon>, icons);
        QFETCH(int, size);
        QList<QImage> images;
        for (const QIcon& icon : icons) {
            const QImage image = imageOf(icon, size);
            QCOMPARE(image.size(), QSize(size, size));
            int covered = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    covered += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(covered > size * size / 8, "picture is nearly empty");
            QVERIFY2(!images.contains(image), "two pictures look the same");
            images << image;
            for (const qreal ratio : {1.5, 2.0}) {
                const QPixmap dense = icon.pixmap(QSize(size, size), ratio);
                QCOMPARE(dense.size(), QSize(size, size) * ratio);
                QVERIFY(
                    dense.toImage().convertToFormat(QImage::Format_ARGB32) !=
                    image.scaled(dense.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            }
        }
    }

    // Unknown keys draw the "none" picture.
    void oddLookups() {
        QCOMPARE(imageOf(largeTaskIcon("zip"), 32), imageOf(largeTaskIcon("none"), 32));
        QVERIFY(buttonImage(-1).isNull() && buttonImage(buttonImageCount).isNull());
        QVERIFY(buttonImageForTag("Separator").isNull());
    }
};

QTEST_MAIN(TestTaskIcons)
#include "tst_taskicons.moc"
