#include "frmFileInfo.h"

#include "modFileDateTime.h"
#include "modFileVersionInfo.h"
#include "modRegistry.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString autoUpdateSetting = QStringLiteral("InfoAutoUpdate");

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// A file name that does not fit is shown cut in its middle, so the window never grows past
// the screen; the whole name is in its tooltip.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override {
        return {fontMetrics().averageCharWidth() * 12, QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override {
        const QSize whole = QLabel::sizeHint();
        return {qMin(whole.width(), fontMetrics().averageCharWidth() * 40), whole.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.setPen(palette().color(foregroundRole()));
        painter.drawText(room, int(alignment()),
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
    }
};
template <class T> T* named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

frmFileInfo::frmFileInfo(QWidget* parent)
    : QDialog(parent), lblSourceFile(namedLabel("lblSourceFile", "(none)", this)),
      lblDestinationFile(namedLabel("lblDestinationFile", "(none)", this)),
      lblSourceName(named(new ElidedLabel("*", this), "lblSourceName")),
      lblSourceDate(namedLabel("lblSourceDate", "*", this)),
      lblSourceTime(namedLabel("lblSourceTime", "*", this)),
      lblSourceVersion(namedLabel("lblSourceVersion", "*", this)),
      lblDestName(named(new ElidedLabel("*", this), "lblDestName")),
      lblDestDate(namedLabel("lblDestDate", "*", this)),
      lblDestTime(namedLabel("lblDestTime", "*", this)),
      lblDestVersion(namedLabel("lblDestVersion", "*", this)),
      chkAutoUpdate(new QCheckBox(tr("&Update when I select a task"), this)),
      cmdGet(new QPushButton(tr("&Refresh"), this)), cmdClose(new QPushButton(tr("Close"), this)) {
    setObjectName("frmFileInfo");
    setWindowTitle(tr("File Comparison"));
    lblSourceFile->hide();
    lblDestinationFile->hide();
    chkAutoUpdate->setObjectName("chkAutoUpdate");
    cmdGet->setObjectName("cmdGet");
    cmdClose->setObjectName("cmdClose");

    auto* sides = new QHBoxLayout;
    sides->addWidget(buildSide(tr("Source File"),
                               {lblSourceName, lblSourceDate, lblSourceTime, lblSourceVersion}));
    sides->addWidget(
        buildSide(tr("Destination File"), {lblDestName, lblDestDate, lblDestTime, lblDestVersion}));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chkAutoUpdate);
    buttons->addStretch();
    buttons->addWidget(cmdGet);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sides);
    layout->addLayout(buttons);

    chkAutoUpdate->setChecked(readSetting(autoUpdateSetting, "0").toInt() == 1);
    connect(chkAutoUpdate, &QCheckBox::clicked, this,
            [](bool checked) { writeSetting(autoUpdateSetting, checked ? "1" : "0"); });
    connect(cmdGet, &QPushButton::clicked, this, &frmFileInfo::updateScreen);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::hide);
}

QWidget* frmFileInfo::buildSide(const QString& title, Side side) {
    auto* frame = new QGroupBox(title, this);
    auto* form = new QFormLayout(frame);
    form->addRow(tr("File Name:"), side.name);
    form->addRow(tr("Date:"), side.date);
    form->addRow(tr("Time:"), side.time);
    form->addRow(tr("Version:"), side.version);
    return frame;
}

void frmFileInfo::showFile(const QString& path, const Side& side) {
    side.name->setToolTip(path);
    if (!fileExists(path)) {
        side.name->setText(tr("(Not Found)"));
        side.date->clear();
        side.time->clear();
        side.version->clear();
        return;
    }
    side.name->setText(QFileInfo(path).fileName());
    side.date->setText(getFileDate(path));
    side.time->setText(getFileTime(path));
    side.version->setText(getFileVersion(path));
}

void frmFileInfo::updateScreen() {
    showFile(lblSourceFile->text(),
             {lblSourceName, lblSourceDate, lblSourceTime, lblSourceVersion});
    showFile(lblDestinationFile->text(), {lblDestName, lblDestDate, lblDestTime, lblDestVersion});
}

void frmFileInfo::setSourceFile(const QString& path) {
    setHolder(lblSourceFile, path);
}

void frmFileInfo::setDestinationFile(const QString& path) {
    setHolder(lblDestinationFile, path);
}

void frmFileInfo::setHolder(QLabel* holder, const QString& path) {
    if (holder->text() == path)
        return;
    holder->setText(path);
    autoUpdate();
}

void frmFileInfo::autoUpdate() {
    if (chkAutoUpdate->isChecked())
        updateScreen();
}
