#pragma once

#include "modMessageBox.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One message box as the user would have seen it.
struct ShownMessage {
    MessageKind kind;
    QString title;
    QString text;
    bool operator==(const ShownMessage&) const = default;
};

// Answers every message box instead of the user, for as long as it lives, and keeps what each
// box said. `whileShown` runs while a box is open, as if the user acted behind it.
class MessageCatcher {
public:
    explicit MessageCatcher(bool answer = true) : answer(answer) {
        setMessageResponder([this](MessageKind kind, const QString& title, const QString& text) {
            shown << ShownMessage{kind, title, text};
            if (whileShown)
                whileShown();
            return this->answer;
        });
    }
    ~MessageCatcher() { setMessageResponder(nullptr); }
    MessageCatcher(const MessageCatcher&) = delete;
    MessageCatcher& operator=(const MessageCatcher&) = delete;

    // The texts of the boxes of one kind, or of every box but questions, in their order.
    QStringList texts(MessageKind kind) const {
        QStringList result;
        for (const ShownMessage& message : shown)
            if (message.kind == kind)
                result << message.text;
        return result;
    }
    QStringList refusals() const { return texts(MessageKind::refusal); }

    QList<ShownMessage> shown;
    bool answer;
    std::function<void()> whileShown;
};
