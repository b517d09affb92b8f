#pragma once

#include <QDialog>
#include <QLabel>
#include <QSize>

// Pieces the task dialogs and the preferences share.

// The frame of a dialog drawn with a title and a close button only: no minimise or maximise.
// X11 window managers read the customised hints; the fixed size, at least the given one and
// never less than the contents need, keeps every window manager and Wayland compositor from
// maximising it.
inline void setFixedDialogFrame(QDialog* dialog, QSize designSize) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    dialog->setFixedSize(designSize.expandedTo(dialog->sizeHint()));
}

// A caption that names the field below it, to the eye and to a screen reader.
inline QLabel* buddyLabel(const QString& text, QWidget* field) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    return label;
}
