#pragma once

#include <QDialog>

class QFrame;
class QLabel;

// A small progress window shown while all tasks are performed one after another; it has no
// buttons and its caller advances the bar before each task.
class frmProcessing : public QDialog {
    Q_OBJECT
public:
    explicit frmProcessing(QWidget* parent = nullptr);

    // Draws the bar at current out of total (total at least 1).
    void pBar(qint32 current, qint32 total);

    QLabel* lblStatus;
    QFrame* picProgress;
    QFrame* shpProgress;
    QLabel* imgLogo;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
