#include "paintThrottle.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

PaintThrottle::PaintThrottle(std::initializer_list<QWidget*> windows) {
    m_release.setSingleShot(true);
    connect(&m_release, &QTimer::timeout, this, &PaintThrottle::paintHeld);
    for (QWidget* window : windows) {
        m_windows.append(window);
        window->installEventFilter(this);
    }
}

PaintThrottle::~PaintThrottle() {
    for (const QPointer<QWidget>& window : std::as_const(m_windows)) {
        if (window)
            window->removeEventFilter(this);
    }
    paintHeld();
}

// A window asks to be painted through one update request at a time, and asks again only once
// that request has been served: holding the request holds all of its painting.
bool PaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::UpdateRequest || m_releasing)
        return false;
    if (!m_sincePaint.isValid() || m_sincePaint.elapsed() >= interval) {
        m_sincePaint.start();
        return false;
    }
    auto* window = static_cast<QWidget*>(watched);
    if (!m_held.contains(window))
        m_held.append(window);
    if (!m_release.isActive())
        m_release.start(int(interval - m_sincePaint.elapsed()));
    return true;
}

void PaintThrottle::paintHeld() {
    const QList<QPointer<QWidget>> held = std::exchange(m_held, {});
    m_releasing = true;
    for (const QPointer<QWidget>& window : held) {
        if (!window)
            continue;
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(window, &request);
    }
    m_releasing = false;
    m_sincePaint.start();
}
