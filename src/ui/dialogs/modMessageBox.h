#pragma once

#include <QString>

#include <functional>

class QWidget;

// The program's message boxes, all titled "Tidewell" unless a task or window brings its own title.
enum class MessageKind {
    refusal,  // exclamation icon, OK
    question, // question icon, Yes and No
    notice,   // information icon, OK
    failure,  // critical icon, OK
};

inline constexpr char applicationTitle[] = "Tidewell";

void showRefusal(QWidget* parent, const QString& text);
void showNotice(QWidget* parent, const QString& text);
// True unless the user answers No.
bool askQuestion(QWidget* parent, const QString& text);
bool askQuestion(QWidget* parent, const QString& title, const QString& text);
// A box of any kind under a title of its own; true for Yes/OK, false for No.
bool showMessage(QWidget* parent, MessageKind kind, const QString& title, const QString& text);

// Answers every message box instead of the user (tests): returns true for Yes/OK, false for No.
using MessageResponder =
    std::function<bool(MessageKind kind, const QString& title, const QString& text)>;
void setMessageResponder(MessageResponder responder);
