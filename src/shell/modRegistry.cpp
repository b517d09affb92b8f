#include "modRegistry.h"

#include "modPaths.h"

#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <memory>

namespace {

const QString organisation = QStringLiteral("Kestrelmoor");
const QString applicationTitle = QStringLiteral("Tidewell");
const QString settingsGroup = QStringLiteral("Settings");

// Opened anew for every call so that a change made outside the program is seen at once.
std::unique_ptr<QSettings> openSettingsKey() {
    std::unique_ptr<QSettings> settings;
    if (QStandardPaths::isTestModeEnabled()) {
        // Qt fixes the user's settings folder at its first use; naming the file here keeps a
        // program that switched to test mode late away from the user's own settings.
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        settings = std::make_unique<QSettings>(folder + '/' + organisation + '/' +
                                                   applicationTitle + QStringLiteral(".conf"),
                                               QSettings::IniFormat);
    } else {
        settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                               organisation, applicationTitle);
    }
    settings->beginGroup(settingsGroup);
    return settings;
}

// Text values read as they are, numbers (a DWORD in the registry, a bare number in the INI
// file) as their decimal text; anything else reads as nothing.
QString storedText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toString();
    default:
        return QString();
    }
}

} // namespace

QString Setting::columnWidth(int n) {
    return QStringLiteral("Column") + QString::number(n) + QStringLiteral("Width");
}

QString Setting::columnPosition(int n) {
    return QStringLiteral("Column") + QString::number(n) + QStringLiteral("Position");
}

QString SettingDefault::logFile() {
    return applicationFile(QStringLiteral("Tidewell.log"));
}

QString settingsLocation() {
    return openSettingsKey()->fileName();
}

void writeSetting(const QString& name, const QString& value) {
    writeSettings({{name, value}});
}

void writeSettings(const SettingValues& values) {
    const std::unique_ptr<QSettings> settings = openSettingsKey();
    for (const auto& [name, value] : values)
        settings->setValue(name, value);
}

QString readSetting(const QString& name, const QString& defaultValue) {
    return SettingsReader().read(name, defaultValue);
}

SettingsReader::SettingsReader() : m_settings(openSettingsKey()) {}

SettingsReader::~SettingsReader() = default;

QString SettingsReader::read(const QString& name, const QString& defaultValue) const {
    const QString text = storedText(m_settings->value(name));
    return text.isEmpty() ? defaultValue : text;
}
