#include "frmComments.h"

#include "frmAbout.h"
#include "modInternetSendMessage.h"
#include "modMessageBox.h"
#include "modRegistry.h"
#include "modStringToURL.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
const QString welcome = QStringLiteral("Kestrelmoor welcomes any comments and suggestions from "
                                       "its users.  Please fill in the boxes below and click on "
                                       "send.");
const QString anonymous = QStringLiteral("  This service is completely anonymous.");

QString messageTitle() {
    return QStringLiteral("Kestrelmoor ") + QString::fromLatin1(applicationTitle);
}

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The comments box takes no quotes from the keyboard.
bool isQuoteKey(const QKeyEvent& key) {
    return key.text().contains(QLatin1Char('"')) || key.text().contains(QLatin1Char('\''));
}
} // namespace

QString commentsRequest(bool displayOnSite, const QString& comments, const QString& suggestions) {
    return QStringLiteral("comments.asp?AppName='") + QString::fromLatin1(applicationTitle) +
           QStringLiteral("'&AppVersion='v") + programVersionText() +
           QStringLiteral("'&DisplayOnSite=") +
           (displayOnSite ? QStringLiteral("true") : QStringLiteral("false")) +
           QStringLiteral("&Comments='") + comments + QStringLiteral("'&Suggestions='") +
           suggestions + QStringLiteral("'");
}

frmComments::frmComments(QWidget* parent)
    : QDialog(parent),
      grpIntroduction(named(new QGroupBox(tr("Introduction"), this), "grpIntroduction")),
      imgIntroduction(named(new QLabel(grpIntroduction), "imgIntroduction")),
      lblIntroduction(named(new QLabel(welcome + anonymous, grpIntroduction), "lblIntroduction")),
      grpComments(named(new QGroupBox(tr("Comments"), this), "grpComments")),
      txtComments(named(new QPlainTextEdit(grpComments), "txtComments")),
      grpSuggestions(named(new QGroupBox(tr("Suggestions"), this), "grpSuggestions")),
      txtSuggestions(named(new QPlainTextEdit(grpSuggestions), "txtSuggestions")),
      chkDoNotDisplay(
          named(new QCheckBox(tr("Do not display my input on the Kestrelmoor website"), this),
                "chkDoNotDisplay")),
      cmdSend(named(new QPushButton(tr("&Send Now"), this), "cmdSend")),
      cmdClose(named(new QPushButton(tr("Close"), this), "cmdClose")) {
    setObjectName("frmComments");
    setWindowTitle(tr("Comments and Suggestions"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    buildLayout();
    txtComments->setPlainText(readSetting(Setting::Comments, SettingDefault::Comments));
    txtSuggestions->setPlainText(readSetting(Setting::Suggestions, SettingDefault::Suggestions));
    txtComments->installEventFilter(this);
    connect(cmdSend, &QPushButton::clicked, this, &frmComments::send);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

void frmComments::buildLayout() {
    imgIntroduction->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    imgIntroduction->setAlignment(Qt::AlignTop);
    lblIntroduction->setWordWrap(true);
    auto* introduction = new QHBoxLayout(grpIntroduction);
    introduction->addWidget(imgIntroduction, 0, Qt::AlignTop);
    introduction->addWidget(lblIntroduction, 1);

    for (auto [frame, text] :
         {std::pair{grpComments, txtComments}, {grpSuggestions, txtSuggestions}}) {
        text->setTabChangesFocus(true);
        auto* frameLayout = new QVBoxLayout(frame);
        frameLayout->addWidget(text);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chkDoNotDisplay);
    buttons->addStretch();
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grpIntroduction);
    layout->addWidget(grpComments, 1);
    layout->addWidget(grpSuggestions, 1);
    layout->addLayout(buttons);
    resize(520, 460);
}

bool frmComments::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtComments && event->type() == QEvent::KeyPress &&
        isQuoteKey(*static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void frmComments::done(int result) {
    if (m_sending)
        return;
    writeSetting(Setting::Comments, txtComments->toPlainText());
    writeSetting(Setting::Suggestions, txtSuggestions->toPlainText());
    QDialog::done(result);
}

void frmComments::setSending(bool on) {
    m_sending = on;
    for (QWidget* control :
         std::initializer_list<QWidget*>{txtComments, txtSuggestions, cmdClose, cmdSend})
        control->setEnabled(!on);
    lblIntroduction->setText(
        on ? QStringLiteral(
                 "Please wait while your information is being sent to the Kestrelmoor website...")
           : welcome);
    repaint();
}

void frmComments::send() {
    if (txtComments->toPlainText().isEmpty() && txtSuggestions->toPlainText().isEmpty()) {
        showMessage(this, MessageKind::refusal, messageTitle(),
                    QStringLiteral("You have not entered any information.  Please enter either a "
                                   "comment or suggestion into the space provided."));
        txtComments->setFocus();
        return;
    }
    setSending(true);
    const bool displayOnSite = !chkDoNotDisplay->isChecked();
    txtComments->setPlainText(stringToURL(txtComments->toPlainText()));
    txtSuggestions->setPlainText(stringToURL(txtSuggestions->toPlainText()));
    const bool sent = sendMessage(this, commentsRequest(displayOnSite, txtComments->toPlainText(),
                                                        txtSuggestions->toPlainText()));
    setSending(false);
    if (sent) {
        showMessage(this, MessageKind::notice, messageTitle(),
                    QStringLiteral("Your comments and suggestions have been sent to Kestrelmoor.  "
                                   "Thank you very much for your input."));
        accept();
    } else {
        showMessage(this, MessageKind::failure, messageTitle(),
                    QStringLiteral("There was a problem sending your information to Kestrelmoor. "
                                   " Please check you are connected to the internet correctly, "
                                   "and if the problem persists, try again later."));
    }
}

void showComments(QWidget* parent) {
    frmComments window(parent);
    window.exec();
}
