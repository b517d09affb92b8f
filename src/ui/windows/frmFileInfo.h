#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

// Shows side by side what the file probes say about a task's source and destination file.
// The main window writes the two path holders; with automatic refresh on, each change of a
// holder refreshes the window, even while it is hidden.
class frmFileInfo : public QDialog {
    Q_OBJECT
public:
    explicit frmFileInfo(QWidget* parent = nullptr);

    // Refreshes both sides from the two path holders.
    void updateScreen();
    // Writes a path holder; the automatic refresh follows the text change.
    void setSourceFile(const QString& path);
    void setDestinationFile(const QString& path);

    QLabel* lblSourceFile;
    QLabel* lblDestinationFile;
    QLabel* lblSourceName;
    QLabel* lblSourceDate;
    QLabel* lblSourceTime;
    QLabel* lblSourceVersion;
    QLabel* lblDestName;
    QLabel* lblDestDate;
    QLabel* lblDestTime;
    QLabel* lblDestVersion;
    QCheckBox* chkAutoUpdate;
    QPushButton* cmdGet;
    QPushButton* cmdClose;

private:
    struct Side {
        QLabel* name;
        QLabel* date;
        QLabel* time;
        QLabel* version;
    };
    QWidget* buildSide(const QString& title, Side side);
    static void showFile(const QString& path, const Side& side);
    void setHolder(QLabel* holder, const QString& path);
    void autoUpdate();
};
