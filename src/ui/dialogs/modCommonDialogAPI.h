#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The two file dialogs of the program: pick an existing file to read, or name a file to write.
// Both block until the user closes the dialog and return the chosen full path, or the empty
// text when the user cancels.
enum class FileDialogKind { open, save };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::open;
    QString title;
    QString nameFilters; // Qt's ";;"-separated form of the caller's filter
    QString selectedFilter;
    QString defaultExtension;
    QString initialPath; // initial folder joined with the initial file name
};

QString showOpenDialog(QWidget* owner, const QString& title, const QString& filter,
                       const QString& defaultExtension, const QString& initialFileName,
                       const QString& initialFolder = {});
QString showSaveDialog(QWidget* owner, const QString& title, const QString& filter,
                       const QString& defaultExtension, const QString& initialFileName,
                       const QString& initialFolder = {});

// "All Files|*.*|Log Files|*.log" as description/pattern pairs in Qt's filter form.
QStringList filterToNameFilters(const QString& filter);

// Answers every file dialog instead of the user (tests); an empty answer means cancel.
using FileDialogResponder = std::function<QString(const FileDialogRequest& request)>;
void setFileDialogResponder(FileDialogResponder responder);
