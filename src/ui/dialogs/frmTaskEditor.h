#pragma once
#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// Refuses typed or pasted text whose UTF-8 form would exceed the field's byte width, so no
// entry field can hold more than its task field stores.
void limitToBytes(QLineEdit* edit, int width);

// Whether two path texts name one file, compared the way this platform compares paths: redundant
// folder steps, symbolic links and hard links to one file all count as the same file.
bool isSameFile(const QString& first, const QString& second);

// Why a destination cannot be used whatever its source, or nothing: a path without its full
// folder would be written wherever the program happens to have been started.
QString destinationFault(const QString& destination);

// The modal window in which one task is added or changed. It checks the entry on OK and hands
// the accepted fields back through Tag ("ok"); it never touches the task table itself.
class frmTaskEditor : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString Tag MEMBER Tag)

public:
    explicit frmTaskEditor(QWidget* parent = nullptr);

    // Fills the fields from a stored task; the rule is matched without regard to case and an
    // unknown rule leaves the first one selected.
    void fillFields(const QString& name, const QString& source, const QString& destination,
                    const QString& rule, bool confirmationOn, const QString& confirmTitle,
                    const QString& confirmQuestion);
    // "1" or "0", as the task field stores it.
    QString confirmationText() const;

    QString Tag = QStringLiteral("cancel");

    QLineEdit* txtName;
    QLineEdit* txtSource;
    QLineEdit* txtDestination;
    QComboBox* cboRule;
    QCheckBox* chkConfirm;
    QLineEdit* txtConfirmTitle;
    QLineEdit* txtConfirmQuestion;
    QPushButton* cmdSource;
    QPushButton* cmdDestination;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QGroupBox* grpName;
    QGroupBox* grpFiles;
    QGroupBox* grpRule;
    QGroupBox* grpConfirm;

    // Runs the checks of OK in their fixed order; accepts the window when all pass.
    void okCheck();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildLayout();
    void connectEvents();
    void attachHelpKeys();
    void updateConfirmBoxes();
    void browseSource();
    void browseDestination();
    bool refuse(const QString& text, QWidget* focus);
};
