#include "modRegistry.h"
#include "testHome.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

QString settingsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Kestrelmoor");
}

QString settingsFile() {
    return settingsFolder() + QStringLiteral("/Tidewell.conf");
}

// Writes the settings file as a person or another program would, bypassing the store.
void writeSettingsFileByHand(const QByteArray& contents) {
    QDir().mkpath(settingsFolder());
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
    QVERIFY(file.flush());
    // A change within the same tick of the file system clock and of the same size would look
    // unchanged to Qt's own check of the file; a person's edit is never that quick.
    static int edits = 0;
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-100 - ++edits),
                             QFileDevice::FileModificationTime));
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

    void defaultsOfEveryReader_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* defaultValue, const char* expected) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(defaultValue)
                                << QString::fromLatin1(expected);
        };
        using namespace Setting;
        row(QuitConfirmation, SettingDefault::QuitConfirmation, "true");
        row(DeleteConfirmation, SettingDefault::DeleteConfirmation, "true");
        row(TaskAction, SettingDefault::TaskAction, "edit");
        row(LogToFile, SettingDefault::LogToFile, "0");
        row(InfoAutoUpdate, SettingDefault::InfoAutoUpdate, "0");
        row(StatusBar, SettingDefault::StatusBar, "True");
        row(ToolBar, SettingDefault::ToolBar, "True");
        row(Log, SettingDefault::Log, "True");
        row(Help, SettingDefault::Help, "False");
        row(ColumnHeaders, SettingDefault::ColumnHeaders, "True");
        row(GridLines, SettingDefault::GridLines, "False");
        row(WindowState, SettingDefault::WindowState, "0");
        row(TaskIcons, SettingDefault::TaskIcons, "1");
        row(TaskSort, SettingDefault::TaskSort, "1");
        row(Comments, SettingDefault::Comments, "");
        row(Suggestions, SettingDefault::Suggestions, "");
    }

    // On a fresh account every setting reads as the default its reader passes.
    void defaultsOfEveryReader() {
        QFETCH(QString, name);
        QFETCH(QString, defaultValue);
        QFETCH(QString, expected);
        QCOMPARE(defaultValue, expected);
        QCOMPARE(readSetting(name, defaultValue), expected);
    }

    void logFileDefaultsToTheApplicationFolder() {
        QCOMPARE(SettingDefault::logFile(), m_home->path() + QStringLiteral("/Tidewell.log"));
        QCOMPARE(readSetting(Setting::LogFile, SettingDefault::logFile()),
                 m_home->path() + QStringLiteral("/Tidewell.log"));
    }

    void columnSettingNames() {
        QCOMPARE(Setting::columnWidth(1), QStringLiteral("Column1Width"));
        QCOMPARE(Setting::columnWidth(5), QStringLiteral("Column5Width"));
        QCOMPARE(Setting::columnPosition(3), QStringLiteral("Column3Position"));
        QCOMPARE(Setting::columnPosition(12), QStringLiteral("Column12Position"));
    }

    void writtenTextsReadBack_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("word") << QStringLiteral("abc");
        QTest::newRow("number") << QStringLiteral("2");
        QTest::newRow("false flag") << QStringLiteral("False");
        QTest::newRow("path with comma") << QStringLiteral("/var/log/a, b.log");
        QTest::newRow("leading at sign") << QStringLiteral("@Variant(x)");
        QTest::newRow("line breaks") << QStringLiteral("first line\r\nsecond line");
        QTest::newRow("non-ASCII") << QStringLiteral("Grüße, 日本");
        QTest::newRow("spaces kept") << QStringLiteral("  padded  ");
        QTest::newRow("semicolon") << QStringLiteral("a;b=c");
    }

    // What a setting stores is exactly the text it was given, whatever the text holds.
    void writtenTextsReadBack() {
        QFETCH(QString, value);
        writeSetting(QStringLiteral("Comments"), value);
        QCOMPARE(readSetting(QStringLiteral("Comments"), QStringLiteral("default")), value);
    }

    void laterWriteReplacesEarlier() {
        writeSetting(Setting::TaskSort, QStringLiteral("4"));
        writeSetting(Setting::TaskSort, QStringLiteral("2"));
        QCOMPARE(readSetting(Setting::TaskSort, SettingDefault::TaskSort), QStringLiteral("2"));
        QCOMPARE(readSetting(Setting::TaskIcons, SettingDefault::TaskIcons), QStringLiteral("1"));
    }

    void storedEmptyTextReadsAsDefault() {
        writeSetting(Setting::LogFile, QStringLiteral("/somewhere/else.log"));
        writeSetting(Setting::LogFile, QString());
        QCOMPARE(readSetting(Setting::LogFile, SettingDefault::logFile()),
                 SettingDefault::logFile());
    }

    void valuesWrittenByHandReadAsText_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare number") << QByteArray("WindowState=2") << QStringLiteral("2");
        QTest::newRow("spaced number") << QByteArray("WindowState = 5") << QStringLiteral("5");
        QTest::newRow("quoted number") << QByteArray("WindowState=\"1\"") << QStringLiteral("1");
        QTest::newRow("bare word") << QByteArray("WindowState=True") << QStringLiteral("True");
        QTest::newRow("empty") << QByteArray("WindowState=") << QStringLiteral("0");
    }

    void valuesWrittenByHandReadAsText() {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        writeSettingsFileByHand("[Settings]\n" + line + "\n");
        QCOMPARE(readSetting(Setting::WindowState, SettingDefault::WindowState), expected);
    }

    // Nothing is kept between calls: another program's change is seen at the next read.
    void changeMadeOutsideIsSeen() {
        writeSetting(Setting::ScreenWidth, QStringLiteral("1"));
        QCOMPARE(readSetting(Setting::ScreenWidth, QStringLiteral("0")), QStringLiteral("1"));
        writeSettingsFileByHand("[Settings]\nScreenWidth=12345\n");
        QCOMPARE(readSetting(Setting::ScreenWidth, QStringLiteral("0")), QStringLiteral("12345"));
        QFile::remove(settingsFile());
        QCOMPARE(readSetting(Setting::ScreenWidth, QStringLiteral("0")), QStringLiteral("0"));
    }

    // The settings live in one group of the test location, never in the user's own store.
    void settingsGoToTheTestLocation() {
        const QString userFile =
            QDir::homePath() + QStringLiteral("/.config/Kestrelmoor/Tidewell.conf");
        const QFileInfo before(userFile);
        const QDateTime userModified = before.exists() ? before.lastModified() : QDateTime();

        writeSetting(Setting::GridLines, QStringLiteral("True"));

        QSettings stored(settingsFile(), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("Settings/GridLines")).toString(),
                 QStringLiteral("True"));
        QCOMPARE(stored.childGroups(), QStringList{QStringLiteral("Settings")});
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
