#include "modCommonDialogAPI.h"

#include <QDir>
#include <QFileDialog>
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

QString runDialog(QWidget* owner, const FileDialogRequest& request) {
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
    for (qsizetype i = 0; i + 1 < items.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(items.at(i), items.at(i + 1));
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
