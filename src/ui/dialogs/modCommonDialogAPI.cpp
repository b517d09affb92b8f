#include "modCommonDialogAPI.h"

#include "modMessageBox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace {

FileDialogResponder& responder() {
    static FileDialogResponder current;
    return current;
}

// The second pair is preselected where the list has one, so a log-file dialog opens on
// "Log Files"; a list of a single pair shows that pair.
QString preselectedFilter(const QStringList& filters) {
    if (filters.isEmpty())
        return {};
    return filters.size() > 1 ? filters.at(1) : filters.at(0);
}

QString initialPathFor(const QString& initialFileName, const QString& initialFolder) {
    QString folder = initialFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (initialFileName.isEmpty())
        return folder;
    return QDir(folder).filePath(initialFileName);
}

QString askOnce(QWidget* owner, const FileDialogRequest& request) {
    if (responder())
        return responder()(request).trimmed();
    QFileDialog dialog(owner, request.title, request.initialPath);
    dialog.setNameFilters(request.nameFilters.split(QStringLiteral(";;")));
    dialog.selectNameFilter(request.selectedFilter);
    dialog.setDefaultSuffix(request.defaultExtension);
    if (request.kind == FileDialogKind::open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        // The folder must exist; replacing an existing file is asked before the dialog closes.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).trimmed();
}

// Neither Qt's dialog nor a desktop's own one refuses a typed folder that does not exist; a
// file to write must go into one that does, so the dialog comes back until it does.
QString runDialog(QWidget* owner, const FileDialogRequest& request) {
    for (;;) {
        const QString chosen = askOnce(owner, request);
        const QDir folder = QFileInfo(QDir::fromNativeSeparators(chosen)).dir();
        if (request.kind == FileDialogKind::open || chosen.isEmpty() || folder.exists())
            return chosen;
        showRefusal(owner, "The folder " + QDir::toNativeSeparators(folder.path()) +
                               " does not exist.  Please choose a folder that exists.");
    }
}

QString showDialog(FileDialogKind kind, QWidget* owner, const QString& title, const QString& filter,
                   const QString& defaultExtension, const QString& initialFileName,
                   const QString& initialFolder) {
    const QStringList filters = filterToNameFilters(filter);
    FileDialogRequest request;
    request.kind = kind;
    request.title = title;
    request.nameFilters = filters.join(QStringLiteral(";;"));
    request.selectedFilter = preselectedFilter(filters);
    request.defaultExtension = defaultExtension;
    request.initialPath = initialPathFor(initialFileName, initialFolder);
    return runDialog(owner, request);
}

} // namespace

QStringList filterToNameFilters(const QString& filter) {
    const QStringList items = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        // Qt reads *.* literally, as names with a dot; all files are *.
        const QString pattern =
            items.at(i + 1) == QLatin1String("*.*") ? QStringLiteral("*") : items.at(i + 1);
        filters << QStringLiteral("%1 (%2)").arg(items.at(i), pattern);
    }
    return filters;
}

QString showOpenDialog(QWidget* owner, const QString& title, const QString& filter,
                       const QString& defaultExtension, const QString& initialFileName,
                       const QString& initialFolder) {
    return showDialog(FileDialogKind::open, owner, title, filter, defaultExtension, initialFileName,
                      initialFolder);
}

QString showSaveDialog(QWidget* owner, const QString& title, const QString& filter,
                       const QString& defaultExtension, const QString& initialFileName,
                       const QString& initialFolder) {
    return showDialog(FileDialogKind::save, owner, title, filter, defaultExtension, initialFileName,
                      initialFolder);
}

void setFileDialogResponder(FileDialogResponder responder) {
    ::responder() = std::move(responder);
}
