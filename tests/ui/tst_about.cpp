#include "appVersion.h"
#include "frmAbout.h"
#include "urlCatcher.h"
#include "windowFixture.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestAbout : public QObject {
    Q_OBJECT

    QByteArray savedPath;

private slots:
    void init() { savedPath = qgetenv("PATH"); }
    void cleanup() { qputenv("PATH", savedPath); }

    void versionTextJoinsMinorAndRevision_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.0 revision 4") << 1 << 0 << 4 << "1.04";
        QTest::newRow("2.1 revision 12") << 2 << 1 << 12 << "2.112";
        QTest::newRow("10.20 revision 30") << 10 << 20 << 30 << "10.2030";
    }
    void versionTextJoinsMinorAndRevision() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, text);
        QCOMPARE(versionText(major, minor, revision), text);
    }

    // The version and the addresses people write to are read nowhere else.
    void captions() {
        WindowFixture<frmAbout> f;
        const QString version = versionText(appVersionMajor, appVersionMinor, appVersionRevision);
        QCOMPARE(programVersionText(), version);
        QCOMPARE(
            captionsOf(f.w, {"windowTitle", "lblTitle", "lblMoreInfo", "lblEMail", "lblWebsiteURL",
                             "cmdSysInfo", "cmdOK"}),
            QStringList({"windowTitle=About Tidewell v" + version, "lblTitle=Tidewell v" + version,
                         "lblMoreInfo=For more information on this or any of our freeware "
                         "and shareware products, please visit our website at:",
                         "lblEMail=Or e-mail Kestrelmoor on:",
                         "lblWebsiteURL=" + QString::fromLatin1(homePageUrl),
                         "cmdSysInfo=&System Info...", "cmdOK=OK"}));
        QVERIFY(!f.w.findChild<QLabel*>("lblDescription")->text().isEmpty());
    }

    // Left clicks open the website and a mail to the address shown; OK accepts.
    void linksAndOk() {
        WindowFixture<frmAbout> f;
        UrlCatcher catcher({"http", "https", "mailto"});
        savePicture(f.w, "about");
        f.w.show();
        QTest::mouseClick(f.w.lblWebsiteURL, Qt::LeftButton);
        QTest::mouseClick(f.w.lblEMailURL, Qt::LeftButton);
        QTest::mouseClick(f.w.lblEMailURL, Qt::RightButton);
        QVERIFY(f.w.lblEMailURL->text().contains('@'));
        QCOMPARE(catcher.opened, QList<QUrl>({QUrl(QString::fromLatin1(homePageUrl)),
                                              QUrl("mailto:" + f.w.lblEMailURL->text())}));
        f.w.cmdOK->click();
        QVERIFY(!f.w.isVisible());
        QCOMPARE(f.w.result(), int(QDialog::Accepted));
    }

    // One character per tool of systemInfoTools(): '-' absent, 'p' a plain file, 'x' runnable.
    void sysInfoStartsTheFirstToolFound_data() {
        QTest::addColumn<QString>("tools");
        QTest::addColumn<int>("started");
        QTest::newRow("second and third there") << "-xx" << 1;
        QTest::newRow("a plain file is no tool") << "px-" << 1;
        QTest::newRow("none runnable") << "p--" << -1;
    }
    void sysInfoStartsTheFirstToolFound() {
        QFETCH(QString, tools);
        QFETCH(int, started);
        WindowFixture<frmAbout> f;
        for (int i = 0; i < tools.size(); ++i) {
            const QString marker = f.home.file(QString::number(i));
            if (tools[i] != '-')
                QVERIFY(QFile(makeFile(f.home, systemInfoTools().at(i),
                                       "#!/bin/sh\necho > '" + QFile::encodeName(marker) + "'\n"))
                            .setPermissions(tools[i] == 'x' ? QFile::ReadOwner | QFile::ExeOwner
                                                            : QFile::ReadOwner));
        }
        qputenv("PATH", QFile::encodeName(f.home.path()));
        f.w.show();
        f.w.cmdSysInfo->click();
        if (started >= 0)
            QTRY_VERIFY(QFile::exists(f.home.file(QString::number(started))));
        QTest::qWait(200);
        for (int i = 0; i < tools.size(); ++i)
            QCOMPARE(QFile::exists(f.home.file(QString::number(i))), i == started);
        QCOMPARE(f.messages.shown,
                 started >= 0 ? QList<ShownMessage>()
                              : QList<ShownMessage>({{MessageKind::refusal, "Tidewell",
                                                      "System Information is currently "
                                                      "unavailable.  Please try again later."}}));
        QVERIFY(f.w.isVisible());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
