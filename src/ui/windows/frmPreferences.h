#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The user preferences: read from the settings store, and the login start from the session's
// own entry, on open; all written back on OK; Cancel writes nothing.
class frmPreferences : public QDialog {
    Q_OBJECT
public:
    explicit frmPreferences(QWidget* parent = nullptr);

    QCheckBox* chkConfirmDelete;
    QCheckBox* chkConfirmQuit;
    QCheckBox* chkNotifyFailures;
    QCheckBox* chkTrashNewer;
    QCheckBox* chkStartAtLogin;
    QRadioButton* optEdit;
    QRadioButton* optPerform;
    QRadioButton* optRun;
    QCheckBox* chkLogging;
    QLineEdit* txtLogging;
    QPushButton* cmdLogging;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    void buildLayout();
    void attachHelpKeys();
    void load();
    void updateLoggingControls();
    void browseLogFile();
    void save();
};

// Opens a fresh preferences window, modal.
void showPreferences(QWidget* parent);
