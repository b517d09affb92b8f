#include "modAutostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>

namespace {

#ifdef Q_OS_WIN

const QString runKey =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString runValue = QStringLiteral("Tidewell");

#else

// The command that starts this copy again with its own application folder: the installed
// starter that launched it, else the program itself with the TIDEWELL_HOME it was given.
QStringList startCommand() {
    const QString starter = qEnvironmentVariable("TIDEWELL_STARTER");
    if (!starter.isEmpty())
        return {starter, QStringLiteral("/startup")};
    QStringList command;
    const QString home = qEnvironmentVariable("TIDEWELL_HOME");
    if (!home.isEmpty())
        command << QStringLiteral("env")
                << QStringLiteral("TIDEWELL_HOME=") + QFileInfo(home).absoluteFilePath();
    return command << QCoreApplication::applicationFilePath() << QStringLiteral("/startup");
}

// One argument of an Exec line: quoted when it holds a reserved character, then escaped once
// more as the entry's string value.
QString execArgument(const QString& argument) {
    static const QRegularExpression reserved(QStringLiteral(R"([\s"'\\><~|&;$*?#()`])"));
    QString text;
    for (const QChar c : argument) {
        if (QStringLiteral("\"`$\\").contains(c))
            text += QLatin1Char('\\');
        text += c;
    }
    if (argument.contains(reserved))
        text = QLatin1Char('"') + text + QLatin1Char('"');
    return text.replace(QLatin1Char('%'), QStringLiteral("%%"))
        .replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
}

QByteArray entryText() {
    QStringList exec;
    for (const QString& argument : startCommand())
        exec << execArgument(argument);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Tidewell\n"
                          "Comment=Keeps copies of files up to date\n"
                          "Exec=%1\n"
                          "Icon=tidewell\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec.join(QLatin1Char(' ')))
        .toUtf8();
}

#endif

} // namespace

QString autostartEntryPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/tidewell.desktop");
}

#ifdef Q_OS_WIN

bool startsAtLogin() {
    return !QSettings(runKey, QSettings::NativeFormat).value(runValue).toString().isEmpty();
}

bool setStartAtLogin(bool on) {
    QSettings run(runKey, QSettings::NativeFormat);
    if (on)
        run.setValue(runValue,
                     QLatin1Char('"') +
                         QDir::toNativeSeparators(QCoreApplication::applicationFilePath()) +
                         QStringLiteral("\" /startup"));
    else
        run.remove(runValue);
    run.sync();
    return run.status() == QSettings::NoError;
}

#else

bool startsAtLogin() {
    QFile file(autostartEntryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    // A session switches an entry off rather than deleting it in either of these two ways.
    static const QRegularExpression off(
        QStringLiteral(R"(^\s*(Hidden\s*=\s*true|X-GNOME-Autostart-enabled\s*=\s*false)\s*$)"),
        QRegularExpression::MultilineOption);
    return !QString::fromUtf8(file.readAll()).contains(off);
}

bool setStartAtLogin(bool on) {
    const QString path = autostartEntryPath();
    if (!on)
        return !QFile::exists(path) || QFile::remove(path);
    QSaveFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly))
        return false;
    file.write(entryText());
    return file.commit();
}

#endif
