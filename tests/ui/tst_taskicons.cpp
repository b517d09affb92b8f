#include "taskIcons.h"

#include <QImage>
#include <QTest>

namespace {

const QStringList toolbarTags{"NewTask",     "NewTaskWizard",   "EditTask",    "DeleteTask",
                              "PerformTask", "InteractiveHelp", "Preferences", "Exit"};

QImage imageOf(const QIcon& icon, int size) {
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestTaskIcons : public QObject {
    Q_OBJECT

private slots:
    // Only the last four characters count, and a dot must be among them; "|" parts the paths.
    void iconKeyFromLastFourCharacters_data() {
        QTest::addColumn<QString>("paths");
        QTest::addColumn<QString>("key");
        QTest::newRow("txt") << "C:\\Docs\\Report.DOC|notes.txt|letter.Rtf|.txt"
                             << "txt";
        QTest::newRow("exe") << "run.bat|C:\\Tools\\SETUP.EXE|command.com"
                             << "exe";
        QTest::newRow("dll") << "grid.ocx|C:\\Windows\\System\\Lib.Dll"
                             << "dll";
        QTest::newRow("bmp") << "photo.jpg|paint.BMP|scan.tif|anim.gif"
                             << "bmp";
        QTest::newRow("web") << "page.HTML|index.htm|comments.asp|HTML"
                             << "web";
        QTest::newRow("none") << "photo.jpeg|a.7z|C:\\Data\\README|C:\\my.exe\\file||exe|mytxt|"
                                 "notes.txt "
                              << "none";
    }
    void iconKeyFromLastFourCharacters() {
        QFETCH(QString, paths);
        QFETCH(QString, key);
        for (const QString& path : paths.split('|'))
            QVERIFY2(taskIconKey(path) == key, qPrintable(path));
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
        for (const QString& tag : toolbarTags)
            tagged << buttonImageForTag(tag.toUpper());
        QTest::newRow("large task icons") << large << 32;
        QTest::newRow("small task icons") << small << 16;
        QTest::newRow("toolbar images") << buttons << 16;
        QTest::newRow("toolbar images by tag, in any letter case") << tagged << 16;
        QTest::newRow("tray") << QList<QIcon>{trayIconImage()} << 16;
    }
    // Each picture comes in its size, covers a good part of its square and differs from the
    // others of its set.
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
