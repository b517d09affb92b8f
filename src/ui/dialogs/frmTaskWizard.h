#pragma once
#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The five-page window that creates new tasks step by step: one source, any number of
// destinations, a rule, the confirmation settings and a name. Finish writes one task per
// destination straight into the task table.
class frmTaskWizard : public QDialog {
    Q_OBJECT

public:
    explicit frmTaskWizard(QWidget* parent = nullptr);

    static constexpr int pageCount = 5;
    qint16 currentPage = 0;
    QList<QWidget*> picFrame;
    QStackedWidget* pageStack;

    QLineEdit* txtSource;
    QPushButton* cmdSource;
    QListWidget* lstDestination;
    QPushButton* cmdAdd;
    QPushButton* cmdRemove;
    QGroupBox* grpRule;
    QComboBox* cboRule;
    QCheckBox* chkConfirm;
    QLineEdit* txtConfirmTitle;
    QLineEdit* txtConfirmQuestion;
    QGroupBox* grpName;
    QComboBox* cboName;
    QPushButton* cmdCancel;
    QPushButton* cmdPrevious;
    QPushButton* cmdNext;
    QPushButton* cmdFinish;

    void next();
    void previous();
    void addDestination();
    void removeDestination();
    void finish();
    // The name-length check run when the name box loses the focus; false when refused.
    bool checkNameLength();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* makePage(const QString& prompt, QWidget* content);
    void buildPages();
    void attachHelpKeys();
    void loadNames();
    void showPage();
    void focusFirstOnPage();
    bool checkPageBeforeLeaving();
    bool refuse(const QString& text, QWidget* focus);
    void writeTasks();
};

// Opens a fresh wizard, modal; the tasks it makes are already stored when it returns.
void showTaskWizard(QWidget* parent);
