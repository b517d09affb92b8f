#include "modFileLaunch.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

QUrl documentUrl(const QString& file) {
    const QUrl url(file, QUrl::StrictMode);
    // A web or mail address keeps its scheme; anything else is a path on this machine.
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
}

// A program is started, in its own folder and without waiting for it, the way the desktop
// starts one that is opened; anything that will not start as a program is opened instead.
bool startProgram(const QUrl& url) {
    if (!url.isLocalFile())
        return false;
    const QFileInfo info(url.toLocalFile());
    if (!info.isFile() || !info.isExecutable())
        return false;
    return QProcess::startDetached(info.absoluteFilePath(), {}, info.absolutePath());
}

} // namespace

void shellExecuteVerb(const QString& verb, const QString& file, const QString& parameters,
                      const QString& workingDirectory, int showCommand) {
    // The desktop opener knows only "open"; parameters, folder and window style have no
    // counterpart there.
    Q_UNUSED(parameters);
    Q_UNUSED(workingDirectory);
    Q_UNUSED(showCommand);
    if (verb.compare(QLatin1String("open"), Qt::CaseInsensitive) != 0 || file.isEmpty())
        return;
    const QUrl url = documentUrl(file);
    if (!startProgram(url))
        QDesktopServices::openUrl(url);
}

void openDocument(const QString& file) {
    shellExecuteVerb(QStringLiteral("open"), file, QString(), QString(), SW_SHOWNORMAL);
}
