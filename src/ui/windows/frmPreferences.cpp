#include "frmPreferences.h"

#include "dialogParts.h"
#include "helpHover.h"
#include "modAutostart.h"
#include "modCommonDialogAPI.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modRegistry.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
QString flagText(bool on) {
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

// Opening for appending proves the log can be written without touching what it holds; a file
// made only for the test is removed again.
bool canWriteLog(const QString& path) {
    if (path.isEmpty())
        return true;
    const bool existed = QFile::exists(path);
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return false;
    file.close();
    if (!existed)
        QFile::remove(path);
    return true;
}

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}
} // namespace

frmPreferences::frmPreferences(QWidget* parent)
    : QDialog(parent),
      chkConfirmDelete(
          named(new QCheckBox(tr("Confirm when &deleting tasks"), this), "chkConfirmDelete")),
      chkConfirmQuit(named(new QCheckBox(tr("Confirm when &quitting"), this), "chkConfirmQuit")),
      chkNotifyFailures(named(new QCheckBox(tr("Show a notification when a task fails"), this),
                              "chkNotifyFailures")),
      chkTrashNewer(named(new QCheckBox(tr("Move a destination that is newer than its source "
                                           "to the trash before replacing it"),
                                        this),
                          "chkTrashNewer")),
      chkStartAtLogin(
          named(new QCheckBox(tr("Start Tidewell when I log in"), this), "chkStartAtLogin")),
      optEdit(named(new QRadioButton(tr("&Edit it"), this), "optEdit")),
      optPerform(named(new QRadioButton(tr("&Perform it"), this), "optPerform")),
      optRun(named(new QRadioButton(tr("&Run the source file"), this), "optRun")),
      chkLogging(named(new QCheckBox(tr("Log Events to File:"), this), "chkLogging")),
      txtLogging(named(new QLineEdit(this), "txtLogging")),
      cmdLogging(named(new QPushButton(tr("&Browse"), this), "cmdLogging")),
      cmdOK(named(new QPushButton(tr("&OK"), this), "cmdOK")),
      cmdCancel(named(new QPushButton(tr("&Cancel"), this), "cmdCancel")) {
    setObjectName("frmPreferences");
    setWindowTitle(tr("Preferences"));
    buildLayout();
    setFixedDialogFrame(this, {});
    attachHelpKeys();
    load();
    connect(chkLogging, &QCheckBox::clicked, this, &frmPreferences::updateLoggingControls);
    connect(cmdLogging, &QPushButton::clicked, this, &frmPreferences::browseLogFile);
    connect(cmdOK, &QPushButton::clicked, this, &frmPreferences::save);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmPreferences::buildLayout() {
    // The options form one group even though none needs to be selected.
    auto* options = new QButtonGroup(this);
    for (QRadioButton* option : {optEdit, optPerform, optRun})
        options->addButton(option);

    auto* general = new QGroupBox(tr("General Setup"), this);
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(chkConfirmDelete);
    generalLayout->addWidget(chkConfirmQuit);
    generalLayout->addWidget(chkNotifyFailures);
    generalLayout->addWidget(chkTrashNewer);
    generalLayout->addWidget(chkStartAtLogin);
    generalLayout->addWidget(new QLabel(tr("When double clicking on a task:"), general));
    for (QRadioButton* option : {optEdit, optPerform, optRun})
        generalLayout->addWidget(option);

    auto* logging = new QGroupBox(this);
    auto* loggingLayout = new QVBoxLayout(logging);
    loggingLayout->addWidget(chkLogging);
    auto* pathRow = new QHBoxLayout;
    // The check box heading the frame is no caption of the box, which says what it holds.
    txtLogging->setAccessibleName(tr("Log File"));
    pathRow->addWidget(txtLogging);
    pathRow->addWidget(cmdLogging);
    loggingLayout->addLayout(pathRow);

    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(logging);
    layout->addLayout(buttons);
    txtLogging->setMinimumWidth(320);
}

void frmPreferences::attachHelpKeys() {
    attachHelp(chkConfirmDelete, "setupdelete");
    attachHelp(chkConfirmQuit, "setupquit");
    attachHelp(chkNotifyFailures, "setupnotify");
    attachHelp(chkTrashNewer, "setuptrash");
    attachHelp(chkStartAtLogin, "setupautostart");
    attachHelp(optEdit, "setupedit");
    attachHelp(optPerform, "setupperform");
    attachHelp(optRun, "setuprun");
    attachHelp(chkLogging, "setuplog");
    attachHelp(txtLogging, "setuplogfile");
    attachHelp(cmdLogging, "browse");
    attachHelp(cmdOK, "ok");
    attachHelp(cmdCancel, "cancel");
}

void frmPreferences::load() {
    chkConfirmQuit->setChecked(
        readSetting(Setting::QuitConfirmation, SettingDefault::QuitConfirmation) == "true");
    chkConfirmDelete->setChecked(
        readSetting(Setting::DeleteConfirmation, SettingDefault::DeleteConfirmation) == "true");
    chkNotifyFailures->setChecked(
        readSetting(Setting::NotifyFailures, SettingDefault::NotifyFailures).toInt() == 1);
    chkTrashNewer->setChecked(
        readSetting(Setting::TrashNewerDestinations, SettingDefault::TrashNewerDestinations)
            .toInt() == 1);
    chkStartAtLogin->setChecked(startsAtLogin());
    const QString action = readSetting(Setting::TaskAction, SettingDefault::TaskAction);
    optEdit->setChecked(action == "edit");
    optPerform->setChecked(action == "perform");
    optRun->setChecked(action == "run");
    chkLogging->setChecked(readSetting(Setting::LogToFile, SettingDefault::LogToFile).toInt() == 1);
    txtLogging->setText(readSetting(Setting::LogFile, SettingDefault::logFile()));
    updateLoggingControls();
}

void frmPreferences::updateLoggingControls() {
    txtLogging->setEnabled(chkLogging->isChecked());
    cmdLogging->setEnabled(chkLogging->isChecked());
}

void frmPreferences::browseLogFile() {
    const QString path = txtLogging->text();
    const QString chosen = showSaveDialog(this, tr("Log File"), "All Files|*.*|Log Files|*.log",
                                          "log", fileNamePart(path), folderPart(path));
    if (!chosen.isEmpty())
        txtLogging->setText(chosen);
}

// All in one write of the settings.
void frmPreferences::save() {
    SettingValues values = {{Setting::DeleteConfirmation, flagText(chkConfirmDelete->isChecked())},
                            {Setting::QuitConfirmation, flagText(chkConfirmQuit->isChecked())}};
    if (optEdit->isChecked())
        values.emplaceBack(Setting::TaskAction, "edit");
    else if (optPerform->isChecked())
        values.emplaceBack(Setting::TaskAction, "perform");
    else if (optRun->isChecked())
        values.emplaceBack(Setting::TaskAction, "run");
    values.append({{Setting::NotifyFailures, chkNotifyFailures->isChecked() ? "1" : "0"},
                   {Setting::TrashNewerDestinations, chkTrashNewer->isChecked() ? "1" : "0"},
                   {Setting::LogToFile, chkLogging->isChecked() ? "1" : "0"}});
    const QString path = txtLogging->text();
    const bool logWritable = canWriteLog(path);
    if (logWritable)
        values.emplaceBack(Setting::LogFile, path);
    writeSettings(values);
    if (!logWritable)
        showRefusal(
            this,
            tr("The log file %1 cannot be written. The previous log file is kept.").arg(path));
    // An entry left unchanged is not rewritten, so it keeps pointing at the copy that wrote it.
    if (chkStartAtLogin->isChecked() != startsAtLogin() &&
        !setStartAtLogin(chkStartAtLogin->isChecked()))
        showRefusal(this, tr("Tidewell could not change whether it starts when you log in."));
    accept();
}

void showPreferences(QWidget* parent) {
    frmPreferences window(parent);
    window.exec();
}
