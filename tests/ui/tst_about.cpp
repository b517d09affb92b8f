#include "appVersion.h"
#include "frmAbout.h"
#include "urlCatcher.h"
#include "windowFixture.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    // The version (minor number and revision joined: 1.0 revision 4 is "1.04") and the
    // addresses people write to are read nowhere else. Left clicks open the website and a mail
    // to the address shown; OK accepts.
    void versionLinksAndOk() {
        QCOMPARE(versionText(1, 0, 4) + ' ' + versionText(2, 1, 12) + ' ' + versionText(10, 20, 30),
                 "1.04 2.112 10.2030");
        WindowFixture<frmAbout> f;
        UrlCatcher catcher({"http", "https", "mailto"});
        const QString version = versionText(appVersionMajor, appVersionMinor, appVersionRevision);
        QCOMPARE(
            captionsOf(f.w, {"windowTitle", "lblTitle", "lblWebsiteURL"}),
            QStringList({"windowTitle=About Tidewell v" + version, "lblTitle=Tidewell v" + version,
                         "lblWebsiteURL=" + QString::fromLatin1(homePageUrl)}));
        f.w.show();
        QTest::mouseClick(f.w.lblWebsiteURL, Qt::LeftButton);
        QTest::mouseClick(f.w.lblEMailURL, Qt::LeftButton);
        QTest::mouseClick(f.w.lblEMailURL, Qt::RightButton);
        QCOMPARE(catcher.opened, QList<QUrl>({QUrl(QString::fromLatin1(homePageUrl)),
                                              QUrl("mailto:" + f.w.lblEMailURL->text())}));
        f.w.cmdOK->click();
        QCOMPARE(f.w.result(), int(QDialog::Accepted));
    }

    // One character per tool of systemInfoTools(), the only ones on the search path: '-' absent,
    // 'p' a plain file, 'x' runnable.
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
        QTest::qWait(200);
        for (int i = 0; i < tools.size(); ++i)
            QTRY_COMPARE(QFile::exists(f.home.file(QString::number(i))), i == started);
        const QString unavailable =
            "System Information is currently unavailable.  Please try again later.";
        QCOMPARE(f.messages.refusals(), QStringList(unavailable).mid(started >= 0 ? 1 : 0));
        QVERIFY(f.w.isVisible());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
