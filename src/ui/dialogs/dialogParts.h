#pragma once

#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSize>

// Pieces the task dialogs and the preferences share.

// At least the design size, as much as the contents ask for (wrapped texts as high as they
// wrap at that width), and no more than the screen.
inline QSize fittingSize(QWidget* window, QSize designSize) {
    const QSize screen = window->screen()->availableSize();
    const int width = qMin(designSize.expandedTo(window->sizeHint()).width(), screen.width());
    int height = qMax(designSize.height(), window->sizeHint().height());
    if (QLayout* layout = window->layout(); layout && layout->hasHeightForWidth())
        height = qMax(height, layout->totalHeightForWidth(width));
    return {width, qMin(height, screen.height())};
}

// The frame of a dialog drawn with a title and a close button only: no minimise or maximise.
// X11 window managers read the customised hints; the fixed size, at least the given one and
// never less than the contents need, keeps every window manager and Wayland compositor from
// maximising it.
inline void setFixedDialogFrame(QDialog* dialog, QSize designSize) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    dialog->setFixedSize(fittingSize(dialog, designSize));
}

// A caption that names the field below it, to the eye and to a screen reader.
inline QLabel* buddyLabel(const QString& text, QWidget* field) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    return label;
}

// A text set into a box reads from its start, not from where the cursor was left: its end.
inline void setTextFromStart(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    edit->setCursorPosition(0);
}

// Enter on a button that has the keyboard focus presses it, as Space does. True when it did.
inline bool pressFocusedButton(const QDialog* dialog, const QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    auto* button = qobject_cast<QPushButton*>(dialog->focusWidget());
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return true;
}
