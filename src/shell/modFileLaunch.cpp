#include "modFileLaunch.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

QUrl documentUrl(const QString& file) {
    const QUrl url(file, QUrl::StrictMode);
    // A web or mail address keeps its scheme; anything else is a path on this machine.
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
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
    QDesktopServices::openUrl(documentUrl(file));
}

void openDocument(const QString& file) {
    shellExecuteVerb(QStringLiteral("open"), file, QString(), QString(), SW_SHOWNORMAL);
}
