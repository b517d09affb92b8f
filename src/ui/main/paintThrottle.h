#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <initializer_list>

// While one lives, the windows it is given paint at most once per interval: a burst of work
// that changes them for every item (rows, log lines, the progress bar) lays out and draws what
// it changed a few dozen times a second, not once per item. What is still unpainted when it
// ends is painted then, so the windows end up showing exactly what they would have.
class PaintThrottle : public QObject {
public:
    static constexpr int interval = 40;

    explicit PaintThrottle(std::initializer_list<QWidget*> windows);
    ~PaintThrottle() override;
    PaintThrottle(const PaintThrottle&) = delete;
    PaintThrottle& operator=(const PaintThrottle&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintHeld();

    QList<QPointer<QWidget>> m_windows;
    QList<QPointer<QWidget>> m_held;
    QElapsedTimer m_sincePaint;
    QTimer m_release;
    bool m_releasing = false;
};
