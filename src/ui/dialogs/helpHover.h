#pragma once

#include <QString>

#include <functional>

class QAction;
class QWidget;

// Hover help: every window sends the help key of whatever the mouse is over to the main
// window's help panel. The main window installs the handler; tests can install their own.
using HelpHandler = std::function<void(const QString& key)>;
void setHelpHandler(HelpHandler handler);

// Sends a help key to the handler, if there is one.
void showHelpFor(const QString& key);

// Sends the key each time the mouse enters or moves over the widget or one of its children.
void attachHelp(QWidget* widget, const QString& key);
// Sends the key each time the menu item or button action is hovered.
void attachHelp(QAction* action, const QString& key);
