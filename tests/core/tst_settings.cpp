#include "modRegistry.h"
#include "testHome.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

QString settingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Kestrelmoor/Tidewell.conf";
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    // Qt settles where user settings live at their first use; use them once before test mode
    // is on, as a program would, so the store must still keep away from the user's settings.
    void initTestCase() {
        QVERIFY(!QStandardPaths::isTestModeEnabled());
        const QSettings userSettings(QSettings::NativeFormat, QSettings::UserScope,
                                     QStringLiteral("Kestrelmoor"), QStringLiteral("Tidewell"));
        Q_UNUSED(userSettings.value(QStringLiteral("Settings/Log")));
    }

    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void derivedNames() {
        QCOMPARE(SettingDefault::logFile(), m_home->path() + "/Tidewell.log");
        QCOMPARE(QStringList({Setting::columnWidth(5), Setting::columnPosition(12)}),
                 QStringList({"Column5Width", "Column12Position"}));
    }

    void writtenTextsReadBack_data() {
        QTest::addColumn<QString>("value");
        for (const char* value : {"abc", "2", "False", "/var/log/a, b.log", "@Variant(x)",
                                  "first line\r\nsecond line", "  padded  ", "a;b=c", ""})
            QTest::newRow(*value ? value : "empty reads as the default")
                << QString::fromLatin1(value);
        QTest::newRow("non-ASCII") << QStringLiteral("Grüße, 日本");
    }
    // What a setting stores is exactly the text it was last given, whatever the text holds,
    // and no other setting changes.
    void writtenTextsReadBack() {
        QFETCH(QString, value);
        writeSetting(Setting::Comments, "earlier");
        writeSetting(Setting::Comments, value);
        QCOMPARE(readSetting(Setting::Comments, "default"), value.isEmpty() ? "default" : value);
        QCOMPARE(readSetting(Setting::TaskIcons, SettingDefault::TaskIcons), "1");
    }

    void valuesWrittenByHandReadAsText_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare number") << QByteArray("WindowState=2") << "2";
        QTest::newRow("spaced number") << QByteArray("WindowState = 5") << "5";
        QTest::newRow("quoted number") << QByteArray("WindowState=\"1\"") << "1";
        QTest::newRow("bare word") << QByteArray("WindowState=True") << "True";
        QTest::newRow("empty") << QByteArray("WindowState=") << "0";
    }
    // Nothing is kept between calls: another program's change is seen at the next read, and
    // a removed file gives the default again.
    void valuesWrittenByHandReadAsText() {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        writeSetting(Setting::WindowState, "9");
        QCOMPARE(readSetting(Setting::WindowState, SettingDefault::WindowState), "9");
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Settings]\n" + line + "\n");
        QVERIFY(file.flush());
        // An edit within the same tick of the file system clock would look unchanged to Qt's
        // own check of the file; a person's edit is never that quick.
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-100),
                                 QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(readSetting(Setting::WindowState, SettingDefault::WindowState), expected);
        QVERIFY(QFile::remove(settingsFile()));
        QCOMPARE(readSetting(Setting::WindowState, SettingDefault::WindowState), "0");
    }

    // The settings live in one group of the test location, never in the user's own store.
    void settingsGoToTheTestLocation() {
        const QString userFile = QDir::homePath() + "/.config/Kestrelmoor/Tidewell.conf";
        const QFileInfo before(userFile);
        const QDateTime userModified = before.exists() ? before.lastModified() : QDateTime();
        writeSetting(Setting::GridLines, "True");
        QSettings stored(settingsFile(), QSettings::IniFormat);
        QCOMPARE(stored.value("Settings/GridLines").toString(), "True");
        QCOMPARE(stored.childGroups(), QStringList{"Settings"});
        const QFileInfo after(userFile);
        QCOMPARE(after.exists(), before.exists());
        if (after.exists())
            QCOMPARE(after.lastModified(), userModified);
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
