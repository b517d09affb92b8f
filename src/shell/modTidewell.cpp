#include "modTidewell.h"

#include "appVersion.h"
#include "mainThread.h"
#include "modClock.h"
#include "modDateText.h"
#include "modPaths.h"
#include "modRegistry.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#include <optional>

namespace {

LogSink* logSink = nullptr;
// The log file whose failure the list has reported, so that it says so once, not for every
// line; empty after a write succeeds.
QString failedLogFile;

QString logLine(const QString& message) {
    const QDateTime now = currentDateTime();
    return dateText(now.date()) + QStringLiteral(", ") + timeText(now.time()) + '\t' + message;
}

void showLogLine(const QString& line) {
    if (logSink)
        logSink->insertLogLine(line);
}

// Appends one line to the log file, opened and closed for this line alone so that other
// programs can read the file in between. Gives the reason when the line could not be written.
std::optional<QString> appendToLogFile(const QString& path, const QString& line) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return file.errorString();
    const QByteArray bytes = line.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    file.close();
    return std::nullopt;
}

QString usage() {
    const auto kept = [](const char* name, const char* what) {
        return QStringLiteral("  %1\n      %2\n").arg(applicationFile(name), what);
    };
    return QStringLiteral(
               "Usage: tidewell [/startup]\n"
               "       tidewell --help | --version\n"
               "\n"
               "Keeps copies of files up to date: copies each task's source file over its\n"
               "destination whenever the task's update rule says so. Tidewell runs once per\n"
               "application folder; a second start shows the running copy's window and ends.\n"
               "\n"
               "  /startup   start hidden in the notification area; any other argument that\n"
               "             is not an option shows the window\n"
               "  --help     show this help and end\n"
               "  --version  show the version and end\n"
               "\n"
               "Qt's standard options (-platform, -style, -reverse, -session, -display...)\n"
               "are handed to Qt.\n"
               "\n"
               "Environment:\n"
               "  TIDEWELL_HOME  the application folder (by default the program's own folder;\n"
               "                 the tidewell starter uses ~/.local/share/Tidewell)\n"
               "\n"
               "Files:\n") +
           kept("tasks.dat", "the tasks") +
           kept("notify.dat", "left by a second start for the running copy") +
           kept("Tidewell.log", "the log file, unless another is chosen in the preferences") +
           QStringLiteral("  %1\n      the settings\n").arg(settingsLocation());
}

// Qt's own options, which the application object takes from the command line: those that
// take a value, as the next argument or after "=", and those that stand alone.
bool isQtOption(const QString& argument, bool& takesNext) {
    static const QStringList withValue{"platform",
                                       "platformpluginpath",
                                       "platformtheme",
                                       "plugin",
                                       "qwindowgeometry",
                                       "qwindowicon",
                                       "qwindowtitle",
                                       "session",
                                       "display",
                                       "geometry",
                                       "title",
                                       "icon",
                                       "name",
                                       "style",
                                       "stylesheet",
                                       "qmljsdebugger",
                                       "font",
                                       "fn",
                                       "background",
                                       "bg",
                                       "foreground",
                                       "fg",
                                       "button",
                                       "btn",
                                       "visual",
                                       "ncols",
                                       "cmap",
                                       "im",
                                       "inputstyle"};
    static const QStringList alone{"reverse", "widgetcount", "nograb",
                                   "dograb",  "sync",        "testability"};
    // Qt reads "--style" as "-style".
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf('=');
    if (equals >= 0)
        name.truncate(equals);
    takesNext = equals < 0 && withValue.contains(name);
    return withValue.contains(name) || (equals < 0 && alone.contains(name));
}

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// The log file, when lines go to one: both settings come from one look at the store.
std::optional<QString> logFileInUse() {
    const SettingsReader settings;
    if (settings.read(Setting::LogToFile, SettingDefault::LogToFile).trimmed().toInt() != 1)
        return std::nullopt;
    return settings.read(Setting::LogFile, SettingDefault::logFile());
}

} // namespace

void setLogSink(LogSink* sink) {
    logSink = sink;
}

void logAction(const QString& message) {
    requireMainThread("The action log");
    showLogLine(logLine(message));
    const std::optional<QString> logFile = logFileInUse();
    if (!logFile)
        return;
    const QString& path = *logFile;
    const std::optional<QString> failure = appendToLogFile(path, logLine(message));
    if (!failure) {
        failedLogFile.clear();
        return;
    }
    if (failedLogFile == path)
        return;
    failedLogFile = path;
    showLogLine(logLine(QStringLiteral("The log file ") + path +
                        QStringLiteral(" could not be written: ") + *failure));
}

std::optional<int> answerOptions(int argc, char** argv) {
    for (int index = 1; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (!argument.startsWith('-'))
            continue;
        if (bool takesNext = false; isQtOption(argument, takesNext)) {
            index += takesNext ? 1 : 0;
            continue;
        }
        // The program's own folder, named in the usage, is known through the application.
        const QCoreApplication application(argc, argv);
        if (argument == QLatin1String("--help")) {
            print(stdout, usage());
            return 0;
        }
        if (argument == QLatin1String("--version")) {
            print(stdout, QStringLiteral("Tidewell ") + appVersionText + '\n');
            return 0;
        }
        print(stderr, QStringLiteral("tidewell: unknown option '") + argument + "'\n\n" + usage());
        return 2;
    }
    return std::nullopt;
}
