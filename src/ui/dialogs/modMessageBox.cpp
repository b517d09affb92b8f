#include "modMessageBox.h"

#include <QMessageBox>

namespace {

MessageResponder& responder() {
    static MessageResponder installed;
    return installed;
}

bool showBox(QWidget* parent, MessageKind kind, const QString& title, const QString& text) {
    if (responder())
        return responder()(kind, title, text);
    switch (kind) {
    case MessageKind::refusal:
        QMessageBox::warning(parent, title, text);
        return true;
    case MessageKind::notice:
        QMessageBox::information(parent, title, text);
        return true;
    case MessageKind::failure:
        QMessageBox::critical(parent, title, text);
        return true;
    case MessageKind::question:
        break;
    }
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No) !=
           QMessageBox::No;
}

} // namespace

void showRefusal(QWidget* parent, const QString& text) {
    showBox(parent, MessageKind::refusal, QString::fromLatin1(applicationTitle), text);
}

void showNotice(QWidget* parent, const QString& text) {
    showBox(parent, MessageKind::notice, QString::fromLatin1(applicationTitle), text);
}

bool askQuestion(QWidget* parent, const QString& text) {
    return askQuestion(parent, QString::fromLatin1(applicationTitle), text);
}

bool askQuestion(QWidget* parent, const QString& title, const QString& text) {
    return showBox(parent, MessageKind::question, title, text);
}

bool showMessage(QWidget* parent, MessageKind kind, const QString& title, const QString& text) {
    return showBox(parent, kind, title, text);
}

void setMessageResponder(MessageResponder newResponder) {
    responder() = std::move(newResponder);
}
