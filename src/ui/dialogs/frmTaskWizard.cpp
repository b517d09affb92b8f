#include "frmTaskWizard.h"

#include "dialogParts.h"
#include "frmTaskEditor.h"
#include "helpHover.h"
#include "modCommonDialogAPI.h"
#include "modDatabaseBinary.h"
#include "modFileDateTime.h"
#include "modFileVersionInfo.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modRules.h"
#include "taskTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

namespace db = modDatabaseBinary;

namespace {

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* plainButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = named(new QPushButton(text, parent), name);
    button->setAutoDefault(false);
    return button;
}

// The longest start of the text whose UTF-8 form fits the width.
int fittingLength(const QString& text, int width) {
    int length = int(text.size());
    while (length > 0 && text.left(length).toUtf8().size() > width)
        --length;
    return length;
}

} // namespace

frmTaskWizard::frmTaskWizard(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTaskWizard"));
    setWindowTitle(QStringLiteral("Kestrelmoor Tidewell"));
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildPages();
    attachHelpKeys();
    currentPage = 0;
    showPage();
    setFixedDialogFrame(this, {520, 320});
    cboRule->setCurrentIndex(0);
    loadNames();
}

QWidget* frmTaskWizard::makePage(const QString& prompt, QWidget* content) {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    if (!prompt.isEmpty()) {
        auto* label = new QLabel(prompt, page);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    content->setParent(page);
    layout->addWidget(content);
    layout->addStretch();
    return page;
}

void frmTaskWizard::buildPages() {
    txtSource = named(new QLineEdit, "txtSource");
    limitToBytes(txtSource, taskFieldWidth(slotSourceFile));
    cmdSource = plainButton(this, "cmdSource", QStringLiteral("&Browse"));
    auto* sourceFrame = named(new QGroupBox(QStringLiteral("Source File")), "grpSource");
    auto* sourceRow = new QHBoxLayout(sourceFrame);
    sourceRow->addWidget(txtSource);
    sourceRow->addWidget(cmdSource);

    lstDestination = named(new QListWidget, "lstDestination");
    lstDestination->setSelectionMode(QAbstractItemView::SingleSelection);
    // A list, unlike a text box, does not take its name from the frame around it.
    lstDestination->setAccessibleName(QStringLiteral("Destination Files"));
    cmdAdd = plainButton(this, "cmdAdd", QStringLiteral("Add"));
    cmdRemove = plainButton(this, "cmdRemove", QStringLiteral("Remove"));
    cmdRemove->setEnabled(false);
    auto* destinationFrame =
        named(new QGroupBox(QStringLiteral("Destination Files")), "grpDestination");
    auto* destinationGrid = new QGridLayout(destinationFrame);
    destinationGrid->addWidget(lstDestination, 0, 0, 3, 1);
    destinationGrid->addWidget(cmdAdd, 0, 1);
    destinationGrid->addWidget(cmdRemove, 1, 1);

    cboRule = named(new QComboBox, "cboRule");
    cboRule->addItems(ruleTexts());
    // Drop-down lists say their choice as their name unless given their frame's caption.
    cboRule->setAccessibleName(QStringLiteral("Update Rule"));
    grpRule = named(new QGroupBox(QStringLiteral("Update Rule")), "grpRule");
    (new QVBoxLayout(grpRule))->addWidget(cboRule);

    chkConfirm =
        named(new QCheckBox(QStringLiteral("Confirm Before Performing Task")), "chkConfirm");
    txtConfirmTitle = named(new QLineEdit(QStringLiteral("Tidewell")), "txtConfirmTitle");
    limitToBytes(txtConfirmTitle, taskFieldWidth(slotConfirmationTitle));
    txtConfirmQuestion = named(new QLineEdit, "txtConfirmQuestion");
    limitToBytes(txtConfirmQuestion, taskFieldWidth(slotConfirmationQuestion));
    setTextFromStart(txtConfirmQuestion,
                     QStringLiteral("Tidewell has detected that one of your files are out of "
                                    "date.  Would you like to update it now?"));
    txtConfirmTitle->setEnabled(false);
    txtConfirmQuestion->setEnabled(false);
    auto* confirmFrame = named(new QGroupBox, "grpConfirm");
    auto* confirm = new QVBoxLayout(confirmFrame);
    confirm->addWidget(chkConfirm);
    confirm->addWidget(buddyLabel(QStringLiteral("Confirmation Title:"), txtConfirmTitle));
    confirm->addWidget(txtConfirmTitle);
    confirm->addWidget(buddyLabel(QStringLiteral("Confirmation Question:"), txtConfirmQuestion));
    confirm->addWidget(txtConfirmQuestion);

    cboName = named(new QComboBox, "cboName");
    cboName->setAccessibleName(QStringLiteral("Task Name"));
    cboName->setEditable(true);
    cboName->setInsertPolicy(QComboBox::NoInsert);
    // The box keeps what was typed; the existing names stay in its drop-down.
    cboName->setCompleter(nullptr);
    grpName = named(new QGroupBox(QStringLiteral("Task Name")), "grpName");
    (new QVBoxLayout(grpName))->addWidget(cboName);

    picFrame = {
        makePage(QStringLiteral("Which file would you like to distribute?"), sourceFrame),
        makePage(QStringLiteral("Where would you like to distribute the file to?"),
                 destinationFrame),
        makePage(QStringLiteral("When would you like to distribute the source file?"), grpRule),
        makePage(QString(), confirmFrame),
        makePage(QStringLiteral("What would you like to call this task?"), grpName)};

    auto* heading = new QWidget(this);
    heading->setAutoFillBackground(true);
    heading->setBackgroundRole(QPalette::Base);
    auto* headingRow = new QHBoxLayout(heading);
    auto* title = new QLabel(QStringLiteral("Task Creation Wizard"), heading);
    // The design's 14.25 point heading over 8 point text, in the desktop's font and size.
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 14.25 / 8);
    title->setFont(titleFont);
    auto* icon = new QLabel(heading);
    icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogNewFolder).pixmap(32, 32));
    headingRow->addWidget(title);
    headingRow->addStretch();
    headingRow->addWidget(icon);

    cmdCancel = plainButton(this, "cmdCancel", QStringLiteral("Cancel"));
    cmdPrevious = plainButton(this, "cmdPrevious", QStringLiteral("< Previous"));
    cmdNext = plainButton(this, "cmdNext", QStringLiteral("Next >"));
    cmdFinish = plainButton(this, "cmdFinish", QStringLiteral("Finish"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdCancel);
    buttons->addStretch();
    buttons->addWidget(cmdPrevious);
    buttons->addWidget(cmdNext);
    buttons->addWidget(cmdFinish);

    // One page shows at a time, in room for the largest.
    pageStack = new QStackedWidget(this);
    for (QWidget* page : std::as_const(picFrame))
        pageStack->addWidget(page);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(pageStack);
    layout->addLayout(buttons);

    connect(cmdSource, &QPushButton::clicked, this, [this] {
        const QString chosen =
            showOpenDialog(this, QStringLiteral("Source File"), QStringLiteral("All Files|*.*"),
                           QString(), QString(), QString());
        if (!chosen.isEmpty())
            txtSource->setText(chosen);
    });
    connect(cmdAdd, &QPushButton::clicked, this, &frmTaskWizard::addDestination);
    connect(cmdRemove, &QPushButton::clicked, this, &frmTaskWizard::removeDestination);
    // An entry chosen with the keys as well as with the mouse.
    connect(lstDestination, &QListWidget::itemSelectionChanged, cmdRemove, [this] {
        if (!lstDestination->selectedItems().isEmpty())
            cmdRemove->setEnabled(true);
    });
    connect(chkConfirm, &QCheckBox::toggled, this, [this](bool checked) {
        txtConfirmTitle->setEnabled(checked);
        txtConfirmQuestion->setEnabled(checked);
    });
    connect(cmdNext, &QPushButton::clicked, this, &frmTaskWizard::next);
    connect(cmdPrevious, &QPushButton::clicked, this, &frmTaskWizard::previous);
    connect(cmdFinish, &QPushButton::clicked, this, &frmTaskWizard::finish);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    cboName->lineEdit()->installEventFilter(this);
}

void frmTaskWizard::attachHelpKeys() {
    attachHelp(txtSource, QStringLiteral("tasksourcefile"));
    attachHelp(cmdSource, QStringLiteral("browse"));
    attachHelp(lstDestination, QStringLiteral("taskdestinationlist"));
    attachHelp(cmdAdd, QStringLiteral("taskdestinationadd"));
    attachHelp(cmdRemove, QStringLiteral("taskdestinationdelete"));
    attachHelp(grpRule, QStringLiteral("taskrule"));
    attachHelp(chkConfirm, QStringLiteral("taskconfirm"));
    attachHelp(txtConfirmTitle, QStringLiteral("taskconfirmtitle"));
    attachHelp(txtConfirmQuestion, QStringLiteral("taskconfirmmessage"));
    attachHelp(grpName, QStringLiteral("taskname"));
    attachHelp(cmdNext, QStringLiteral("next"));
    attachHelp(cmdPrevious, QStringLiteral("previous"));
    attachHelp(cmdFinish, QStringLiteral("finish"));
    attachHelp(cmdCancel, QStringLiteral("cancel"));
}

void frmTaskWizard::loadNames() {
    // A table that cannot be read offers no names; the wizard still creates tasks.
    if (!db::listFieldValues(QString::fromLatin1(TaskField::TaskName)))
        return;
    for (int i = 0; i < db::resultCount && i < db::resultList.size(); ++i) {
        const QString& name = db::resultList.at(i);
        if (cboName->findText(name, Qt::MatchFixedString) < 0)
            cboName->addItem(name);
    }
    cboName->setCurrentIndex(-1);
    cboName->setEditText(QString());
}

void frmTaskWizard::showPage() {
    pageStack->setCurrentIndex(currentPage);
    const bool last = currentPage == pageCount - 1;
    cmdPrevious->setEnabled(currentPage != 0);
    cmdFinish->setEnabled(last);
    cmdNext->setEnabled(!last);
    focusFirstOnPage();
}

// Whoever goes on with the keyboard lands in the page's first box, not on a button that may
// have just greyed out (Next on the last page).
void frmTaskWizard::focusFirstOnPage() {
    for (QWidget* child : picFrame.at(currentPage)->findChildren<QWidget*>()) {
        if (child->isEnabled() && (child->focusPolicy() & Qt::TabFocus)) {
            child->setFocus();
            return;
        }
    }
}

bool frmTaskWizard::refuse(const QString& text, QWidget* focus) {
    showRefusal(this, text);
    focus->setFocus();
    return false;
}

bool frmTaskWizard::checkPageBeforeLeaving() {
    if (currentPage == 0) {
        if (txtSource->text().isEmpty())
            return refuse(QStringLiteral("You have not entered a source file.  Please check "
                                         "and try again."),
                          txtSource);
        if (!fileExists(txtSource->text()))
            return refuse(QStringLiteral("The source file you have selected cannot be found.  "
                                         "Please check and try again."),
                          txtSource);
    } else if (currentPage == 1) {
        if (lstDestination->count() == 0)
            return refuse(QStringLiteral("You have not selected any destination files.  Please "
                                         "use the add button to add destinations."),
                          cmdAdd);
    } else if (currentPage == 2) {
        if (cboRule->currentIndex() < 0)
            return refuse(QStringLiteral("You have not selected a rule to use.  Please check "
                                         "and try again."),
                          cboRule);
        const RulePosition rule = rulePosition(cboRule->currentText());
        if (rule == ruleVersionChanged && getFileVersion(txtSource->text()).isEmpty())
            return refuse(QStringLiteral("A version number could not be extracted from the "
                                         "source file you selected.  Please choose a different "
                                         "rule."),
                          cboRule);
        // Confirmation makes no sense for this rule: the move skips its page.
        if (rule == ruleSourceNewer)
            ++currentPage;
    }
    return true;
}

void frmTaskWizard::next() {
    if (!checkPageBeforeLeaving())
        return;
    ++currentPage;
    showPage();
}

void frmTaskWizard::previous() {
    if (currentPage == 0)
        return;
    --currentPage;
    showPage();
}

void frmTaskWizard::addDestination() {
    const QString source = txtSource->text();
    const QString chosen =
        showSaveDialog(this, QStringLiteral("Destination File"), QStringLiteral("All Files|*.*"),
                       QString(), fileNamePart(source), folderPart(source));
    if (chosen.isEmpty())
        return;
    if (const QString fault = destinationFault(chosen); !fault.isEmpty()) {
        refuse(fault, cmdAdd);
        return;
    }
    if (isSameFile(chosen, source)) {
        refuse(QStringLiteral("The file that you have selected is the same as the source file.  "
                              "Please choose a different file and try again."),
               cmdAdd);
        return;
    }
    if (chosen.toUtf8().size() > taskFieldWidth(slotDestinationFile)) {
        refuse(QStringLiteral("The path of the file you have selected is over 255 characters "
                              "long.  Please choose a different file and try again."),
               cmdAdd);
        return;
    }
    lstDestination->addItem(chosen);
}

void frmTaskWizard::removeDestination() {
    const QList<QListWidgetItem*> selected = lstDestination->selectedItems();
    if (selected.isEmpty())
        return;
    delete selected.first();
    lstDestination->clearSelection();
    if (lstDestination->count() == 0)
        cmdRemove->setEnabled(false);
}

bool frmTaskWizard::checkNameLength() {
    const QString name = cboName->currentText();
    if (name.toUtf8().size() <= taskFieldWidth(slotTaskName))
        return true;
    showRefusal(this, QStringLiteral("The task name must be under 255 characters long."));
    cboName->setFocus();
    cboName->lineEdit()->setSelection(0, fittingLength(name, taskFieldWidth(slotTaskName)));
    return false;
}

// The new tasks, one per destination, all written in one go or none.
void frmTaskWizard::writeTasks() {
    std::vector<db::FieldList> tasks;
    for (int row = 0; row < lstDestination->count(); ++row)
        tasks.push_back({{TaskField::TaskName, cboName->currentText()},
                         {TaskField::SourceFile, txtSource->text()},
                         {TaskField::DestinationFile, lstDestination->item(row)->text()},
                         {TaskField::Rule, cboRule->currentText()},
                         {TaskField::ConfirmationOn,
                          chkConfirm->isChecked() ? QStringLiteral("1") : QStringLiteral("0")},
                         {TaskField::ConfirmationTitle, txtConfirmTitle->text()},
                         {TaskField::ConfirmationQuestion, txtConfirmQuestion->text()}});
    if (const auto added = db::addRecords(tasks); !added)
        showRefusal(this, added.message());
}

void frmTaskWizard::finish() {
    if (cboName->currentText().isEmpty()) {
        refuse(QStringLiteral("You have not entered a name for this task.  Please check and "
                              "try again."),
               cboName);
        return;
    }
    if (!checkNameLength())
        return;
    writeTasks();
    accept();
}

bool frmTaskWizard::eventFilter(QObject* watched, QEvent* event) {
    // Only a move within the wizard leaves the box; another window coming up does not.
    if (watched == cboName->lineEdit() && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            checkNameLength();
    }
    return QDialog::eventFilter(watched, event);
}

void frmTaskWizard::keyPressEvent(QKeyEvent* event) {
    // Esc is Cancel. Enter presses the button it is on, and no other button by itself.
    if (pressFocusedButton(this, event) || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void showTaskWizard(QWidget* parent) {
    frmTaskWizard wizard(parent);
    wizard.exec();
}
