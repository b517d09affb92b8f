#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <utility>

class QSettings;

// Every setting the program keeps, by the name it is stored under.
namespace Setting {
inline constexpr char QuitConfirmation[] = "QuitConfirmation";
inline constexpr char DeleteConfirmation[] = "DeleteConfirmation";
inline constexpr char TaskAction[] = "TaskAction";
inline constexpr char LogToFile[] = "LogToFile";
inline constexpr char LogFile[] = "LogFile";
// "1" tells of a failed task by a notification while the window is hidden, "0" does not.
inline constexpr char NotifyFailures[] = "NotifyFailures";
// "1" moves a destination that is newer than its source to the trash before a copy replaces
// it, "0" replaces it.
inline constexpr char TrashNewerDestinations[] = "TrashNewerDestinations";
inline constexpr char InfoAutoUpdate[] = "InfoAutoUpdate";
inline constexpr char StatusBar[] = "StatusBar";
inline constexpr char ToolBar[] = "ToolBar";
inline constexpr char Log[] = "Log";
inline constexpr char Help[] = "Help";
inline constexpr char ColumnHeaders[] = "ColumnHeaders";
inline constexpr char GridLines[] = "GridLines";
inline constexpr char WindowState[] = "WindowState";
inline constexpr char ScreenWidth[] = "ScreenWidth";
inline constexpr char ScreenHeight[] = "ScreenHeight";
inline constexpr char ScreenLeft[] = "ScreenLeft";
inline constexpr char ScreenTop[] = "ScreenTop";
inline constexpr char TaskIcons[] = "TaskIcons";
inline constexpr char TaskSort[] = "TaskSort";
// "True" while the automatic tasks are paused, kept from one run to the next.
inline constexpr char PauseAutomaticTasks[] = "PauseAutomaticTasks";
inline constexpr char Comments[] = "Comments";
inline constexpr char Suggestions[] = "Suggestions";

// "Column" + n + "Width" and "Column" + n + "Position", n counted from 1.
QString columnWidth(int n);
QString columnPosition(int n);
} // namespace Setting

// The default each reader passes for a setting that is missing or empty.
namespace SettingDefault {
inline constexpr char QuitConfirmation[] = "true";
inline constexpr char DeleteConfirmation[] = "true";
inline constexpr char TaskAction[] = "edit";
inline constexpr char LogToFile[] = "0";
inline constexpr char NotifyFailures[] = "1";
inline constexpr char TrashNewerDestinations[] = "1";
inline constexpr char InfoAutoUpdate[] = "0";
inline constexpr char StatusBar[] = "True";
inline constexpr char ToolBar[] = "True";
inline constexpr char Log[] = "True";
inline constexpr char Help[] = "False";
inline constexpr char ColumnHeaders[] = "True";
inline constexpr char GridLines[] = "False";
inline constexpr char WindowState[] = "0";
inline constexpr char TaskIcons[] = "1";
inline constexpr char TaskSort[] = "1";
inline constexpr char PauseAutomaticTasks[] = "False";
inline constexpr char Comments[] = "";
inline constexpr char Suggestions[] = "";

// "Tidewell.log" in the application folder.
QString logFile();
} // namespace SettingDefault

// Where the settings are kept: the settings file, or the registry key.
QString settingsLocation();
// Names of settings with the texts to store under them.
using SettingValues = QList<std::pair<QString, QString>>;

// Stores the text under the name in the current user's settings; failures are silent.
void writeSetting(const QString& name, const QString& value);
// Stores each text under its name, in one opening of the settings; failures are silent.
void writeSettings(const SettingValues& values);
// The stored text, or the default when it is missing, empty or cannot be read.
QString readSetting(const QString& name, const QString& defaultValue);

// The settings opened once for several reads that belong together, such as the two a log line
// needs; each read is what readSetting gives.
class SettingsReader {
public:
    SettingsReader();
    ~SettingsReader();
    SettingsReader(const SettingsReader&) = delete;
    SettingsReader& operator=(const SettingsReader&) = delete;

    QString read(const QString& name, const QString& defaultValue) const;

private:
    std::unique_ptr<QSettings> m_settings;
};
