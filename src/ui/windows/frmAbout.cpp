#include "frmAbout.h"

#include "appVersion.h"
#include "dialogParts.h"
#include "modFileLaunch.h"
#include "modMessageBox.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

namespace {
const QString supportAddress = QStringLiteral("support@kestrelmoor.example");

QLabel* namedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    return label;
}

// A label that looks like a web link and takes the keyboard focus, with a frame to show it;
// its clicks and keys are caught by the window's event filter.
QLabel* linkLabel(const char* name, const QString& text, QWidget* parent) {
    QLabel* label = namedLabel(name, text, parent);
    label->setWordWrap(false);
    label->setCursor(Qt::PointingHandCursor);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setStyleSheet(QStringLiteral("QLabel { border: 1px dotted transparent; }"
                                        "QLabel:focus { border-color: palette(link); }"));
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    label->setPalette(palette);
    return label;
}
} // namespace

QString versionText(int major, int minor, int revision) {
    return QString::number(major) + '.' + QString::number(minor) + QString::number(revision);
}

QString programVersionText() {
    return versionText(appVersionMajor, appVersionMinor, appVersionRevision);
}

QStringList systemInfoTools() {
    return {"gnome-system-monitor", "kinfocenter", "hardinfo2",        "hardinfo",
            "mate-system-monitor",  "ksysguard",   "xfce4-taskmanager"};
}

bool startSysInfo(QWidget* parent, const QStringList& tools) {
    for (const QString& tool : tools) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (!program.isEmpty() && QProcess::startDetached(program, {}))
            return true;
    }
    showRefusal(parent, QStringLiteral("System Information is currently unavailable.  Please "
                                       "try again later."));
    return false;
}

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent), lblTitle(namedLabel("lblTitle", {}, this)),
      lblDescription(namedLabel(
          "lblDescription",
          tr("Tidewell keeps copies of your files up to date. Each task names a source file, a "
             "destination file and a rule that says when the source is copied over the "
             "destination; Tidewell watches the tasks from the notification area and performs "
             "each one when it is due. Tidewell is written and looked after by Kestrelmoor."),
          this)),
      lblMoreInfo(namedLabel("lblMoreInfo",
                             tr("For more information on this or any of our freeware and "
                                "shareware products, please visit our website at:"),
                             this)),
      lblWebsiteURL(linkLabel("lblWebsiteURL", QString::fromLatin1(homePageUrl), this)),
      lblEMail(namedLabel("lblEMail", tr("Or e-mail Kestrelmoor on:"), this)),
      lblEMailURL(linkLabel("lblEMailURL", supportAddress, this)),
      cmdSysInfo(new QPushButton(tr("&System Info..."), this)),
      cmdOK(new QPushButton(tr("OK"), this)) {
    setObjectName("frmAbout");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const QString titled = QString::fromLatin1(applicationTitle) + " v" + programVersionText();
    setWindowTitle("About " + titled);
    lblTitle->setText(titled);
    cmdSysInfo->setObjectName("cmdSysInfo");
    cmdOK->setObjectName("cmdOK");
    buildLayout();
    lblWebsiteURL->installEventFilter(this);
    lblEMailURL->installEventFilter(this);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { startSysInfo(this); });
}

void frmAbout::buildLayout() {
    QFont big = lblTitle->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    lblTitle->setFont(big);
    auto* logo = new QLabel(this);
    logo->setPixmap(windowIcon().isNull()
                        ? style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(48, 48)
                        : windowIcon().pixmap(48, 48));
    logo->setAlignment(Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblDescription);
    text->addSpacing(8);
    text->addWidget(lblMoreInfo);
    text->addWidget(lblWebsiteURL);
    text->addSpacing(8);
    text->addWidget(lblEMail);
    text->addWidget(lblEMailURL);
    auto* body = new QHBoxLayout;
    body->addWidget(logo, 0, Qt::AlignTop);
    body->addLayout(text, 1);

    cmdOK->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSysInfo);
    buttons->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addStretch();
    layout->addLayout(buttons);
    // The description wraps; the window is as high as it needs at its width.
    const QSize fitting = fittingSize(this, {fontMetrics().averageCharWidth() * 70, 0});
    setMinimumSize(fitting);
    resize(fitting);
}

// A left click, or Enter or Space while the link has the focus, opens it.
bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    const bool clicked = event->type() == QEvent::MouseButtonRelease &&
                         static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    const int key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event)->key() : 0;
    const bool pressed = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (!clicked && !pressed)
        return QDialog::eventFilter(watched, event);
    if (watched == lblEMailURL)
        openDocument("mailto:" + lblEMailURL->text());
    else if (watched == lblWebsiteURL)
        openDocument(lblWebsiteURL->text());
    else
        return QDialog::eventFilter(watched, event);
    return pressed;
}

void showAbout(QWidget* parent) {
    frmAbout window(parent);
    window.exec();
}
