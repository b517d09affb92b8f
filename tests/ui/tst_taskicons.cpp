#include "taskIcons.h"

#include <QApplication>
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
    void iconKeyFromLastFourCharacters_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("key");
        const auto row = [](const char* path, const char* key) {
            QTest::newRow(*path ? path : "empty") << QString(path) << QString(key);
        };
        for (const char* path : {"C:\\Docs\\Report.DOC", "notes.txt", "letter.Rtf", ".txt"})
            row(path, "txt");
        for (const char* path : {"run.bat", "C:\\Tools\\SETUP.EXE", "command.com"})
            row(path, "exe");
        for (const char* path : {"grid.ocx", "C:\\Windows\\System\\Lib.Dll"})
            row(path, "dll");
        for (const char* path : {"photo.jpg", "paint.BMP", "scan.tif", "anim.gif"})
            row(path, "bmp");
        for (const char* path : {"page.HTML", "index.htm", "comments.asp", "HTML"})
            row(path, "web");
        // Only the last four characters count, and a dot must be among them.
        for (const char* path : {"photo.jpeg", "a.7z", "C:\\Data\\README", "C:\\my.exe\\file", "",
                                 "exe", "mytxt", "notes.txt "})
            row(path, "none");
    }
    void iconKeyFromLastFourCharacters() {
        QFETCH(QString, path);
        QFETCH(QString, key);
        QCOMPARE(taskIconKey(path), key);
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
            tagged << buttonImageForTag(tag);
        QTest::newRow("large task icons") << large << 32;
        QTest::newRow("small task icons") << small << 16;
        QTest::newRow("toolbar images") << buttons << 16;
        QTest::newRow("toolbar images by tag") << tagged << 16;
        QTest::newRow("tray") << QList<QIcon>{trayIconImage()} << 16;
    }
    // Each picture comes in its size, covers a good part of its square and differs from the
    // others of its set.
    void picturesAreDrawnAndDistinct() {
        QFETCH(QList<QIcon>, icons);
        QFETCH(int, size);
        QList<QImage> images;
        for (const QIcon& icon : icons) {
            QVERIFY(icon.availableSizes().contains(QSize(size, size)));
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

    void oddLookups() {
        QCOMPARE(imageOf(largeTaskIcon("zip"), 32), imageOf(largeTaskIcon("none"), 32));
        QCOMPARE(imageOf(smallTaskIcon(""), 16), imageOf(smallTaskIcon("none"), 16));
        QVERIFY(buttonImage(-1).isNull());
        QVERIFY(buttonImage(buttonImageCount).isNull());
        QVERIFY(buttonImageForTag("Separator").isNull());
        for (const QString& tag : toolbarTags)
            QCOMPARE(imageOf(buttonImageForTag(tag.toUpper()), 16),
                     imageOf(buttonImageForTag(tag), 16));
    }
};

QTEST_MAIN(TestTaskIcons)
#include "tst_taskicons.moc"
