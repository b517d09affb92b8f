#include "helpHover.h"

#include <QAction>
#include <QEvent>
#include <QObject>
#include <QWidget>

namespace {

HelpHandler& handler() {
    static HelpHandler installed;
    return installed;
}

// Hover moves reach the widget also while the mouse is over one of its children; the main
// window ignores an entry that is already on show, so a move costs nothing visible.
class HelpOnHover : public QObject {
public:
    HelpOnHover(QWidget* widget, QString key) : QObject(widget), m_key(std::move(key)) {
        widget->setAttribute(Qt::WA_Hover);
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Enter || event->type() == QEvent::HoverMove)
            showHelpFor(m_key);
        return QObject::eventFilter(watched, event);
    }

private:
    QString m_key;
};

} // namespace

void setHelpHandler(HelpHandler newHandler) {
    handler() = std::move(newHandler);
}

void showHelpFor(const QString& key) {
    if (handler())
        handler()(key);
}

void attachHelp(QWidget* widget, const QString& key) {
    new HelpOnHover(widget, key);
}

void attachHelp(QAction* action, const QString& key) {
    QObject::connect(action, &QAction::hovered, action, [key] { showHelpFor(key); });
}
