#include "frmTaskEditor.h"

#include "copyChecks.h"
#include "dialogParts.h"
#include "helpHover.h"
#include "modCommonDialogAPI.h"
#include "modFileDateTime.h"
#include "modFileVersionInfo.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modRules.h"
#include "taskTable.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#include <QValidator>

namespace {

class ByteWidthValidator : public QValidator {
public:
    ByteWidthValidator(int width, QObject* parent) : QValidator(parent), m_width(width) {}
    State validate(QString& input, int&) const override {
        return input.toUtf8().size() <= m_width ? Acceptable : Invalid;
    }

private:
    int m_width;
};

const QString defaultConfirmTitle = QStringLiteral("Tidewell");
const QString defaultConfirmQuestion =
    QStringLiteral("Tidewell has detected that one of your files are out of date.  Would you "
                   "like to update it now?");

QLineEdit* fieldEdit(QWidget* parent, const char* name, int slot) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    limitToBytes(edit, taskFieldWidth(slot));
    return edit;
}

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity pathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity pathCase = Qt::CaseSensitive;
#endif

QString cleanAbsolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

bool isSameInode(const QString& first, const QString& second) {
#ifdef Q_OS_UNIX
    struct stat a {};
    struct stat b {};
    return ::stat(QFile::encodeName(first).constData(), &a) == 0 &&
           ::stat(QFile::encodeName(second).constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
#else
    Q_UNUSED(first);
    Q_UNUSED(second);
    return false;
#endif
}

} // namespace

bool isSameFile(const QString& first, const QString& second) {
    if (cleanAbsolute(first).compare(cleanAbsolute(second), pathCase) == 0)
        return true;
    const QString canonicalFirst = QFileInfo(first).canonicalFilePath();
    const QString canonicalSecond = QFileInfo(second).canonicalFilePath();
    if (!canonicalFirst.isEmpty() && canonicalFirst.compare(canonicalSecond, pathCase) == 0)
        return true;
    return isSameInode(first, second);
}

QString destinationFault(const QString& destination) {
    if (namesItsFolder(destination))
        return QString();
    return QStringLiteral("The destination file must include its full folder, not just a file "
                          "name.  Please check and try again.");
}

void limitToBytes(QLineEdit* edit, int width) {
    edit->setValidator(new ByteWidthValidator(width, edit));
}

frmTaskEditor::frmTaskEditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTaskEditor"));
    setWindowTitle(QStringLiteral("Task Editor"));
    setModal(true);
    buildLayout();
    setFixedDialogFrame(this, {480, 0});
    connectEvents();
    attachHelpKeys();
    cboRule->setCurrentIndex(0);
    updateConfirmBoxes();
}

void frmTaskEditor::buildLayout() {
    txtName = fieldEdit(this, "txtName", slotTaskName);
    txtSource = fieldEdit(this, "txtSource", slotSourceFile);
    txtDestination = fieldEdit(this, "txtDestination", slotDestinationFile);
    txtConfirmTitle = fieldEdit(this, "txtConfirmTitle", slotConfirmationTitle);
    txtConfirmQuestion = fieldEdit(this, "txtConfirmQuestion", slotConfirmationQuestion);
    txtConfirmTitle->setText(defaultConfirmTitle);
    setTextFromStart(txtConfirmQuestion, defaultConfirmQuestion);

    cboRule = new QComboBox(this);
    cboRule->setObjectName(QStringLiteral("cboRule"));
    cboRule->addItems(ruleTexts());
    // A drop-down list says its choice as its name unless it is given the frame's caption.
    cboRule->setAccessibleName(QStringLiteral("Update Rule"));
    chkConfirm = new QCheckBox(QStringLiteral("Confirm Before Performing Task"), this);
    chkConfirm->setObjectName(QStringLiteral("chkConfirm"));

    auto button = [this](const char* name, const QString& text) {
        auto* pushButton = new QPushButton(text, this);
        pushButton->setObjectName(QLatin1String(name));
        pushButton->setAutoDefault(false);
        return pushButton;
    };
    cmdSource = button("cmdSource", QStringLiteral("&Browse"));
    cmdDestination = button("cmdDestination", QStringLiteral("B&rowse"));
    cmdOK = button("cmdOK", QStringLiteral("&OK"));
    cmdCancel = button("cmdCancel", QStringLiteral("&Cancel"));

    grpName = new QGroupBox(QStringLiteral("&Task Name"), this);
    grpName->setObjectName(QStringLiteral("grpName"));
    (new QVBoxLayout(grpName))->addWidget(txtName);

    grpFiles = new QGroupBox(QStringLiteral("File Details"), this);
    grpFiles->setObjectName(QStringLiteral("grpFiles"));
    auto* files = new QGridLayout(grpFiles);
    auto* lblSource = new QLabel(QStringLiteral("&Source File:"), grpFiles);
    lblSource->setBuddy(txtSource);
    auto* lblDestination = new QLabel(QStringLiteral("&Destination File:"), grpFiles);
    lblDestination->setBuddy(txtDestination);
    files->addWidget(lblSource, 0, 0, 1, 2);
    files->addWidget(txtSource, 1, 0);
    files->addWidget(cmdSource, 1, 1);
    files->addWidget(lblDestination, 2, 0, 1, 2);
    files->addWidget(txtDestination, 3, 0);
    files->addWidget(cmdDestination, 3, 1);

    grpRule = new QGroupBox(QStringLiteral("&Update Rule"), this);
    grpRule->setObjectName(QStringLiteral("grpRule"));
    (new QVBoxLayout(grpRule))->addWidget(cboRule);

    grpConfirm = new QGroupBox(this);
    grpConfirm->setObjectName(QStringLiteral("grpConfirm"));
    auto* confirm = new QVBoxLayout(grpConfirm);
    confirm->addWidget(chkConfirm);
    confirm->addWidget(buddyLabel(QStringLiteral("Confirmation Title:"), txtConfirmTitle));
    confirm->addWidget(txtConfirmTitle);
    confirm->addWidget(buddyLabel(QStringLiteral("Confirmation Question:"), txtConfirmQuestion));
    confirm->addWidget(txtConfirmQuestion);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grpName);
    layout->addWidget(grpFiles);
    layout->addWidget(grpRule);
    layout->addWidget(grpConfirm);
    layout->addLayout(buttons);

    // The keyboard follows the layout, each Browse button right after its field.
    const QList<QWidget*> tabOrder = {
        txtName,    txtSource,       cmdSource,          txtDestination, cmdDestination, cboRule,
        chkConfirm, txtConfirmTitle, txtConfirmQuestion, cmdOK,          cmdCancel};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i), tabOrder.at(i + 1));

    // Clicking a frame caption puts the focus into its field.
    grpName->installEventFilter(this);
    grpFiles->installEventFilter(this);
    grpRule->installEventFilter(this);
    cboRule->installEventFilter(this);
    lblSource->installEventFilter(this);
    lblDestination->installEventFilter(this);
}

void frmTaskEditor::connectEvents() {
    connect(cmdOK, &QPushButton::clicked, this, &frmTaskEditor::okCheck);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::hide);
    connect(chkConfirm, &QCheckBox::toggled, this, &frmTaskEditor::updateConfirmBoxes);
    connect(cmdSource, &QPushButton::clicked, this, &frmTaskEditor::browseSource);
    connect(cmdDestination, &QPushButton::clicked, this, &frmTaskEditor::browseDestination);
    // Enter moves along the main fields.
    connect(txtName, &QLineEdit::returnPressed, txtSource, qOverload<>(&QWidget::setFocus));
    connect(txtSource, &QLineEdit::returnPressed, txtDestination, qOverload<>(&QWidget::setFocus));
    connect(txtDestination, &QLineEdit::returnPressed, cboRule, qOverload<>(&QWidget::setFocus));
}

void frmTaskEditor::attachHelpKeys() {
    attachHelp(txtName, QStringLiteral("taskname"));
    attachHelp(txtSource, QStringLiteral("tasksourcefile"));
    attachHelp(txtDestination, QStringLiteral("taskdestinationfile"));
    attachHelp(cmdSource, QStringLiteral("browse"));
    attachHelp(cmdDestination, QStringLiteral("browse"));
    attachHelp(grpRule, QStringLiteral("taskrule"));
    attachHelp(chkConfirm, QStringLiteral("taskconfirm"));
    attachHelp(txtConfirmTitle, QStringLiteral("taskconfirmtitle"));
    attachHelp(txtConfirmQuestion, QStringLiteral("taskconfirmmessage"));
    attachHelp(cmdOK, QStringLiteral("ok"));
    attachHelp(cmdCancel, QStringLiteral("cancel"));
}

void frmTaskEditor::fillFields(const QString& name, const QString& source,
                               const QString& destination, const QString& rule, bool confirmationOn,
                               const QString& confirmTitle, const QString& confirmQuestion) {
    txtName->setText(name);
    txtSource->setText(source);
    txtDestination->setText(destination);
    cboRule->setCurrentIndex(0);
    for (int index = 0; index < ruleTexts().size(); ++index) {
        if (ruleTexts().at(index).compare(rule, Qt::CaseInsensitive) == 0) {
            cboRule->setCurrentIndex(index);
            break;
        }
    }
    chkConfirm->setChecked(confirmationOn);
    setTextFromStart(txtConfirmTitle, confirmTitle);
    setTextFromStart(txtConfirmQuestion, confirmQuestion);
}

QString frmTaskEditor::confirmationText() const {
    return chkConfirm->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void frmTaskEditor::updateConfirmBoxes() {
    txtConfirmTitle->setEnabled(chkConfirm->isChecked());
    txtConfirmQuestion->setEnabled(chkConfirm->isChecked());
}

void frmTaskEditor::browseSource() {
    const QString text = txtSource->text();
    const QString chosen =
        showOpenDialog(this, QStringLiteral("Source File"), QStringLiteral("All Files|*.*"),
                       QString(), fileNamePart(text), folderPart(text));
    if (!chosen.isEmpty())
        txtSource->setText(chosen);
}

void frmTaskEditor::browseDestination() {
    const QString text =
        txtDestination->text().isEmpty() ? txtSource->text() : txtDestination->text();
    const QString chosen =
        showSaveDialog(this, QStringLiteral("Destination File"), QStringLiteral("All Files|*.*"),
                       QString(), fileNamePart(text), folderPart(text));
    if (!chosen.isEmpty())
        txtDestination->setText(chosen);
}

bool frmTaskEditor::refuse(const QString& text, QWidget* focus) {
    showRefusal(this, text);
    focus->setFocus();
    return false;
}

void frmTaskEditor::okCheck() {
    if (txtName->text().isEmpty()) {
        refuse(QStringLiteral("You have not entered a name.  All tasks must have a name "
                              "associated with them.  This name is used to identify the task."),
               txtName);
        return;
    }
    if (txtSource->text().isEmpty()) {
        refuse(QStringLiteral("You have not entered a source file.  Please check and try again."),
               txtSource);
        return;
    }
    if (txtDestination->text().isEmpty()) {
        refuse(
            QStringLiteral("You have not entered a destination file.  Please check and try again."),
            txtDestination);
        return;
    }
    if (const QString fault = destinationFault(txtDestination->text()); !fault.isEmpty()) {
        refuse(fault, txtDestination);
        return;
    }
    if (isSameFile(txtSource->text(), txtDestination->text())) {
        refuse(QStringLiteral("The source file that you have selected is the same as the "
                              "destination file.  Please check and try again."),
               txtDestination);
        return;
    }
    if (cboRule->currentIndex() < 0) {
        refuse(QStringLiteral("You have not selected an update rule.  Please check and try again."),
               cboRule);
        return;
    }
    const RulePosition rule = rulePosition(cboRule->currentText());
    if (rule == ruleVersionChanged && getFileVersion(txtSource->text()).isEmpty()) {
        refuse(QStringLiteral("A version number could not be extracted from the source file "
                              "you selected.  Please choose a different file and try again."),
               txtSource);
        return;
    }
    if (rule == ruleSourceNewer && chkConfirm->isChecked()) {
        showNotice(this, QStringLiteral("Because of the nature of the update rule you have "
                                        "selected, confirmation cannot be enabled.  "
                                        "Confirmation will be turned off."));
        chkConfirm->setChecked(false);
    }
    // Stored texts are byte-limited; a text set by the caller past the width is refused here
    // rather than cut by the store.
    struct Width {
        QLineEdit* edit;
        int slot;
        const char* field;
    };
    const Width widths[] = {
        {txtName, slotTaskName, TaskField::TaskName},
        {txtSource, slotSourceFile, TaskField::SourceFile},
        {txtDestination, slotDestinationFile, TaskField::DestinationFile},
        {txtConfirmTitle, slotConfirmationTitle, TaskField::ConfirmationTitle},
        {txtConfirmQuestion, slotConfirmationQuestion, TaskField::ConfirmationQuestion}};
    for (const Width& width : widths) {
        if (width.edit->text().toUtf8().size() > taskFieldWidth(width.slot)) {
            refuse(QStringLiteral("The text entered for %1 is longer than %2 bytes.  Please "
                                  "shorten it and try again.")
                       .arg(QLatin1String(width.field))
                       .arg(taskFieldWidth(width.slot)),
                   width.edit);
            return;
        }
    }
    if (!fileExists(txtSource->text()) &&
        !askQuestion(this, QStringLiteral("The source file you have entered does not exist.  "
                                          "Are you sure that you want to use this file?"))) {
        txtSource->setFocus();
        return;
    }
    Tag = QStringLiteral("ok");
    hide();
}

bool frmTaskEditor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        // A label's click would otherwise reach the frame around it.
        if (const auto* label = qobject_cast<QLabel*>(watched); label && label->buddy()) {
            label->buddy()->setFocus();
            return true;
        }
        if (watched == grpName)
            txtName->setFocus();
        else if (watched == grpFiles)
            txtSource->setFocus();
        else if (watched == grpRule)
            cboRule->setFocus();
    }
    if (watched == cboRule && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            okCheck();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmTaskEditor::closeEvent(QCloseEvent* event) {
    // Closing by the frame counts as Cancel: Tag stays as the caller set it.
    event->ignore();
    hide();
}

void frmTaskEditor::keyPressEvent(QKeyEvent* event) {
    // Esc is Cancel; Enter presses the button it is on, and does nothing by itself outside the
    // fields that handle it.
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    if (pressFocusedButton(this, event) || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}
