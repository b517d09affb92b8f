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

class HelpOnEnter : public QObject {
public:
    HelpOnEnter(QWidget* widget, QString key) : QObject(widget), m_key(std::move(key)) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Enter)
            showHelpFor(m_key);
        return QObject::eventFilter(watched, event);
    }

private:
    QString m_key;
};

} // namespace

void setHelpHandler(HelpHandler newHandler) { handler() = std::move(newHandler); }

void showHelpFor(const QString& key) {
    if (handler())
        handler()(key);
}

void attachHelp(QWidget* widget, const QString& key) { new HelpOnEnter(widget, key); }

void attachHelp(QAction* action, const QString& key) {
    QObject::connect(action, &QAction::hovered, action, [key] { showHelpFor(key); });
}
