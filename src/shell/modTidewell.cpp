#include "modTidewell.h"

#include "modClock.h"
#include "modDateText.h"
#include "modRegistry.h"

#include <QFile>

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

bool logToFileOn() {
    return readSetting(Setting::LogToFile, SettingDefault::LogToFile).trimmed().toInt() == 1;
}

} // namespace

void setLogSink(LogSink* sink) {
    logSink = sink;
}

void logAction(const QString& message) {
    showLogLine(logLine(message));
    if (!logToFileOn())
        return;
    const QString path = readSetting(Setting::LogFile, SettingDefault::logFile());
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
