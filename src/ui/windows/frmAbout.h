#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;

// "1.04" for version 1.0 revision 4: the minor number and the revision follow each other.
QString versionText(int major, int minor, int revision);
// The version text of this program.
QString programVersionText();

// The desktop's system-information tools, tried in this order.
QStringList systemInfoTools();

// Starts the first of the tools found in PATH without waiting for it; says so when none can be
// started. True when one was started.
bool startSysInfo(QWidget* parent, const QStringList& tools = systemInfoTools());

// The program's name and version, its makers and their addresses.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* lblTitle;
    QLabel* lblDescription;
    QLabel* lblMoreInfo;
    QLabel* lblWebsiteURL;
    QLabel* lblEMail;
    QLabel* lblEMailURL;
    QPushButton* cmdSysInfo;
    QPushButton* cmdOK;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
};

// Opens a fresh About window, modal.
void showAbout(QWidget* parent);
