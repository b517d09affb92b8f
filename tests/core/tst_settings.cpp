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
        QTest::newRow("False") << "False" << QStringList{"WindowState=True", "True"};
        QTest::newRow("list") << "/var/log/a, b.log" << QStringList{"WindowState = 5", "5"};
        QTest::newRow("variant") << "@Variant(x)" << QStringList{"WindowState=\"1\"", "1"};
        QTest::newRow("empty") << "" << QStringList{"WindowState=", "0"};
        for (const char* value :
             {"first line\r\nsecond line", "  padded  ", "a;b=c", "Grüße, 日本"})
            QTest::newRow(value) << QString::fromUtf8(value) << QStringList();
    }
    // What a setting stores is exactly the text it was last given, whatever the text holds, and
    // an empty text gives the default; the settings live in one group of the test location,
    // never in the user's own store. Nothing is kept between calls: another program's change is
    // seen at the next read, and a removed file gives the default again.
    void readBack() {
        QFETCH(QString, value);
        QFETCH(QStringList, byHand);
        TestHome home;
        const QString userFile = QDir::homePath() + "/.config/Kestrelmoor/Tidewell.conf";
        const QDateTime userModified = QFileInfo(userFile).lastModified();
        writeSetting(Setting::WindowState, "9");
        writeSetting(Setting::WindowState, value);
        QCOMPARE(readSetting(Setting::WindowState, "-"), value.isEmpty() ? "-" : value);
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).childGroups(),
                 QStringList{"Settings"});
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
        QCOMPARE(readSetting(Setting::WindowState, SettingDefault::WindowState), byHand[1]);
        QVERIFY(QFile::remove(settingsFile()));
        QCOMPARE(readSetting(Setting::WindowState, SettingDefault::WindowState), "0");
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
