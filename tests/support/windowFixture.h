#pragma once

#include "helpHover.h"
#include "messageCatcher.h"
#include "testHome.h"

#include <QApplication>
#include <QHoverEvent>
#include <QStringList>
#include <QTest>
#include <QWidget>

// A window on a fresh application folder whose message boxes are answered by the test; a
// window that loads its state does so as at the program's start.
template <class Window> struct WindowFixture {
    TestHome home;
    MessageCatcher messages;
    Window w;

    WindowFixture() {
        if constexpr (requires { w.load(); }) {
            w.load();
            // The first check, which start-up leaves to the event loop.
            QCoreApplication::processEvents();
        }
    }
};

// "name=text" for each named control (its text, or a frame's title; "windowTitle" is the
// window's own), so that all the captions of a window are compared in one pass.
inline QStringList captionsOf(const QWidget& window, const QStringList& names) {
    QStringList captions;
    for (const QString& name : names) {
        const QObject* control = window.findChild<QObject*>(name);
        QString text = QStringLiteral("(missing)");
        if (name == QLatin1String("windowTitle"))
            text = window.windowTitle();
        else if (control)
            text = control->property("text").isValid() ? control->property("text").toString()
                                                       : control->property("title").toString();
        captions << name + QLatin1Char('=') + text;
    }
    return captions;
}

// The help keys sent while the mouse moves over each of the controls in turn.
inline QStringList helpKeysOnHover(const QList<QWidget*>& controls) {
    QStringList keys;
    setHelpHandler([&keys](const QString& key) { keys << key; });
    for (QWidget* control : controls) {
        QHoverEvent move(QEvent::HoverMove, QPointF(2, 2), QPointF(2, 2), QPointF(1, 1));
        QApplication::sendEvent(control, &move);
    }
    setHelpHandler(nullptr);
    return keys;
}
