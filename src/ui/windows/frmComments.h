#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The request of the comments page for the two prepared texts, in the order and with the
// literal parts the server reads: "comments.asp?AppName='Tidewell'&AppVersion='v1.00'&...".
QString commentsRequest(bool displayOnSite, const QString& comments, const QString& suggestions);

// Sends the user's comments and suggestions to Kestrelmoor. The two texts are kept in the
// settings "Comments" and "Suggestions" when the window closes and shown again when it opens.
class frmComments : public QDialog {
    Q_OBJECT
public:
    explicit frmComments(QWidget* parent = nullptr);

    // Keeps the texts, unless a request is still running: then the window stays open.
    void done(int result) override;

    QGroupBox* grpIntroduction;
    QLabel* imgIntroduction;
    QLabel* lblIntroduction;
    QGroupBox* grpComments;
    QPlainTextEdit* txtComments;
    QGroupBox* grpSuggestions;
    QPlainTextEdit* txtSuggestions;
    QCheckBox* chkDoNotDisplay;
    QPushButton* cmdSend;
    QPushButton* cmdClose;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void send();
    void setSending(bool on);

    bool m_sending = false;
};

// Opens a fresh comments window, modal.
void showComments(QWidget* parent);
