#include "modRegistry.h"
#include "testHome.h"

#include <QSettings>
#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT

    static QString settingsFile() {
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
               "/Kestrelmoor/Tidewell.conf";
    }

private slots:
    // Qt settles where user settings live at their first use; use them once before test mode
    // is on, as a program would, so the store must still keep away from the user's settings.
    void initTestCase() {
        QVERIFY(!QStandardPaths::isTestModeEnabled());
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Kestrelmoor", "Tidewell")
            .value("Settings/Log");
    }

    // Words, lists, variants, line ends, blanks, separators of the file format, other scripts;
    // then, in some rows, the file as another program or a person leaves it.
    void readBack_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("byHand"); // a line of the file and how it reads
        QTest::newRow("False") << "False" << QStringList{"Column12Position=True", "True"};
        QTest::newRow("list") << "/var/log/a, b.log" << QStringList{"Column12Position = 5", "5"};
        QTest::newRow("variant") << "@Variant(x)" << QStringList{"Column12Position=\"1\"", "1"};
        QTest::newRow("empty") << "" << QStringList{"Column12Position=", "0"};
        for (const char* value :
             {"first line\r\nsecond line", "  padded  ", "a;b=c", "Grüße, 日本"})
            QTest::newRow(value) << QString::fromUtf8(value) << QStringList();
    }
    // What a setting stores is exactly the text it was last given, whatever the text holds, and
    // an empty text gives the default; the settings live under their names in one group of the
    // test location,
    // never in the user's own store. Nothing is kept between calls: another program's change is
    // seen at the next read, and a removed file gives the default again.
    void readBack() {
        QFETCH(QString, value);
        QFETCH(QStringList, byHand);
        TestHome home;
        const QString userFile = QDir::homePath() + "/.config/Kestrelmoor/Tidewell.conf";
        const QDateTime userModified = QFileInfo(userFile).lastModified();
        const QString width = Setting::columnWidth(5), position = Setting::columnPosition(12);
        writeSetting(width, "9");
        writeSetting(width, value);
        QCOMPARE(readSetting(width, "-"), value.isEmpty() ? "-" : value);
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).allKeys(),
                 QStringList{"Settings/Column5Width"});
        QCOMPARE(QFileInfo(userFile).lastModified(), userModified);
        QCOMPARE(SettingDefault::logFile(), home.path() + "/Tidewell.log");
        if (byHand.isEmpty())
            return;
        // An edit within the same tick of the file system clock would look unchanged to Qt's
        // own check of the file; a person's edit is never that quick.
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write("[Settings]\n" + byHand[0].toUtf8()) > 0 && file.flush() &&
                file.setFileTime(QDateTime::currentDateTime().addSecs(-100),
                                 QFileDevice::FileModificationTime));
        QCOMPARE(readSetting(position, "0"), byHand[1]);
        QVERIFY(QFile::remove(settingsFile()));
        QCOMPARE(readSetting(position, "0"), "0");
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
