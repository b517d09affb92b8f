#include "frmProcessing.h"

#include "modMessageBox.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace {
// In average characters of the window's font, and in lines.
constexpr int barChars = 50;
} // namespace

frmProcessing::frmProcessing(QWidget* parent)
    : QDialog(parent), lblStatus(new QLabel(tr("Processing..."), this)),
      picProgress(new QFrame(this)), shpProgress(new QFrame(picProgress)),
      imgLogo(new QLabel(this)) {
    setObjectName("frmProcessing");
    setWindowTitle(QStringLiteral("Kestrelmoor ") + QLatin1String(applicationTitle));
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    lblStatus->setObjectName("lblStatus");
    QFont bold = lblStatus->font();
    bold.setBold(true);
    lblStatus->setFont(bold);

    picProgress->setObjectName("picProgress");
    picProgress->setFrameShape(QFrame::Box);
    const int barHeight = fontMetrics().height() + 4;
    picProgress->setFixedSize(fontMetrics().averageCharWidth() * barChars, barHeight);
    picProgress->hide();
    shpProgress->setObjectName("shpProgress");
    shpProgress->setAutoFillBackground(true);
    QPalette fill = shpProgress->palette();
    fill.setColor(QPalette::Window, palette().color(QPalette::Highlight));
    shpProgress->setPalette(fill);
    shpProgress->setGeometry(0, 0, 0, barHeight);

    imgLogo->setObjectName("imgLogo");
    imgLogo->setPixmap(windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(48, 48)
                           : windowIcon().pixmap(48, 48));

    auto* text = new QVBoxLayout;
    text->addWidget(lblStatus);
    text->addWidget(picProgress);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(imgLogo);
    layout->addLayout(text);
}

void frmProcessing::pBar(qint32 current, qint32 total) {
    if (!picProgress->isVisible())
        picProgress->show();
    const double width = double(current) / double(total) * double(picProgress->width());
    // The fill grows from the side where reading starts.
    shpProgress->setGeometry(QStyle::visualRect(layoutDirection(), picProgress->rect(),
                                                {0, 0, qRound(width), picProgress->height()}));
}

void frmProcessing::keyPressEvent(QKeyEvent* event) {
    // The window stays up until its caller has performed every task.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void frmProcessing::closeEvent(QCloseEvent* event) {
    // The frame's close box (some window managers show one regardless) cannot end the window
    // early either; only its caller closes it.
    if (event->spontaneous())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
