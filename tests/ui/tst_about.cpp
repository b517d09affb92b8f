#include "appVersion.h"
#include "frmAbout.h"
#include "modMessageBox.h"
#include "testHome.h"
#include "urlCatcher.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class TestAbout : public QObject {
    Q_OBJECT

    struct Shown {
        MessageKind kind;
        QString title;
        QString text;
    };
    QList<Shown> shown;
    QByteArray savedPath;

    void catchMessages() {
        setMessageResponder([this](MessageKind kind, const QString& title, const QString& text) {
            shown << Shown{kind, title, text};
            return true;
        });
    }

    // A PATH that holds only the given folder.
    void usePath(const QString& folder) { qputenv("PATH", QFile::encodeName(folder)); }

    // An executable script that leaves a marker file when it runs.
    static void writeTool(const QString& folder, const QString& name, const QString& marker) {
        QFile tool(folder + '/' + name);
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\necho started > '" + QFile::encodeName(marker) + "'\n");
        tool.close();
        QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

private slots:
    void init() {
        shown.clear();
        savedPath = qgetenv("PATH");
        catchMessages();
    }
    void cleanup() {
        setMessageResponder(nullptr);
        qputenv("PATH", savedPath);
    }

    void versionTextJoinsMinorAndRevision_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.0 revision 4") << 1 << 0 << 4 << "1.04";
        QTest::newRow("2.1 revision 12") << 2 << 1 << 12 << "2.112";
        QTest::newRow("1.0 revision 0") << 1 << 0 << 0 << "1.00";
        QTest::newRow("10.20 revision 30") << 10 << 20 << 30 << "10.2030";
    }
    void versionTextJoinsMinorAndRevision() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, text);
        QCOMPARE(versionText(major, minor, revision), text);
    }

    void captionAndTitleCarryTheProgramVersion() {
        TestHome home;
        frmAbout w;
        const QString version = QString::number(appVersionMajor) + '.' +
                                QString::number(appVersionMinor) +
                                QString::number(appVersionRevision);
        QCOMPARE(programVersionText(), version);
        QCOMPARE(w.windowTitle(), "About Tidewell v" + version);
        QCOMPARE(w.lblTitle->text(), "Tidewell v" + version);
    }

    void controlsCarryTheirNamesAndTexts() {
        TestHome home;
        frmAbout w;
        const QList<QPair<const char*, QString>> expected = {
            {"lblMoreInfo", "For more information on this or any of our freeware and shareware "
                            "products, please visit our website at:"},
            {"lblEMail", "Or e-mail Kestrelmoor on:"},
            {"lblWebsiteURL", QString::fromLatin1(homePageUrl)},
        };
        for (const auto& [name, text] : expected) {
            auto* label = w.findChild<QLabel*>(name);
            QVERIFY2(label, name);
            QCOMPARE(label->text(), text);
        }
        QVERIFY(!w.findChild<QLabel*>("lblDescription")->text().isEmpty());
        QVERIFY(w.findChild<QLabel*>("lblEMailURL")->text().contains('@'));
        QCOMPARE(w.findChild<QPushButton*>("cmdSysInfo")->text(), "&System Info...");
        QCOMPARE(w.findChild<QPushButton*>("cmdOK")->text(), "OK");
    }

    void linksOpenTheWebsiteAndAMailTo() {
        TestHome home;
        UrlCatcher catcher({"http", "https", "mailto"});
        frmAbout w;
        w.show();
        QTest::mouseClick(w.lblWebsiteURL, Qt::LeftButton);
        QTest::mouseClick(w.lblEMailURL, Qt::LeftButton);
        QTest::mouseClick(w.lblEMailURL, Qt::RightButton);
        QCOMPARE(catcher.opened.size(), 2);
        QCOMPARE(catcher.opened[0], QUrl(QString::fromLatin1(homePageUrl)));
        QCOMPARE(catcher.opened[1], QUrl("mailto:" + w.lblEMailURL->text()));
    }

    void okClosesTheWindow() {
        TestHome home;
        frmAbout w;
        w.show();
        w.cmdOK->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
    }

    void sysInfoStartsTheFirstToolFoundInPath() {
        TestHome home;
        QTemporaryDir bin;
        const QString marker = home.file("started");
        const QString other = home.file("other started");
        const QStringList tools = systemInfoTools();
        QVERIFY(tools.size() >= 3);
        // The second and third tools are there; the second one must be the one started.
        writeTool(bin.path(), tools[1], marker);
        writeTool(bin.path(), tools[2], other);
        usePath(bin.path());
        frmAbout w;
        w.show();
        w.cmdSysInfo->click();
        QTRY_VERIFY(QFile::exists(marker));
        QVERIFY(shown.isEmpty());
        QVERIFY(w.isVisible());
        QTest::qWait(200);
        QVERIFY(!QFile::exists(other));
    }

    void sysInfoWithoutAToolSaysSo() {
        TestHome home;
        QTemporaryDir bin;
        // A file that is not executable is no tool.
        QFile plain(bin.path() + '/' + systemInfoTools().first());
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        usePath(bin.path());
        frmAbout w;
        w.show();
        w.cmdSysInfo->click();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageKind::refusal);
        QCOMPARE(shown[0].title, "Tidewell");
        QCOMPARE(shown[0].text,
                 "System Information is currently unavailable.  Please try again later.");
        QVERIFY(w.isVisible());
    }

    void screenshot() {
        const QByteArray folder = qgetenv("TIDEWELL_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TIDEWELL_SCREENSHOTS names no folder");
        TestHome home;
        frmAbout w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.grab().save(QFile::decodeName(folder) + "/about.png"));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
