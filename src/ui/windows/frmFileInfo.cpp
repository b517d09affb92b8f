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
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString autoUpdateSetting = QStringLiteral("InfoAutoUpdate");

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}
} // namespace

frmFileInfo::frmFileInfo(QWidget* parent)
    : QDialog(parent), lblSourceFile(namedLabel("lblSourceFile", "(none)", this)),
      lblDestinationFile(namedLabel("lblDestinationFile", "(none)", this)),
      lblSourceName(namedLabel("lblSourceName", "*", this)),
      lblSourceDate(namedLabel("lblSourceDate", "*", this)),
      lblSourceTime(namedLabel("lblSourceTime", "*", this)),
      lblSourceVersion(namedLabel("lblSourceVersion", "*", this)),
      lblDestName(namedLabel("lblDestName", "*", this)),
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
    side.name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    side.name->setMinimumWidth(180);
    return frame;
}

void frmFileInfo::showFile(const QString& path, const Side& side) {
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
