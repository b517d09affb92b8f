#include "frmPreferences.h"
#include "modAutostart.h"
#include "modCommonDialogAPI.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modRegistry.h"
#include "testHome.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

class TestPreferences : public QObject {
    Q_OBJECT

    static QStringList stored() {
        QStringList values;
        for (const char* name : {"DeleteConfirmation", "QuitConfirmation", "TaskAction",
                                 "LogToFile", "LogFile", "NotifyFailures"})
            values << readSetting(name, "<missing>");
        return values;
    }
    static QString defaultLog() { return applicationFile("Tidewell.log"); }
    static QByteArray entry() {
        QFile file(autostartEntryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir config; // the session's autostart folder lives here, never in the user's own

private slots:
    void init() {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        QFile::remove(autostartEntryPath());
    }
    void cleanup() {
        setMessageResponder(nullptr);
        setFileDialogResponder(nullptr);
    }

    void freshStoreShowsAndStoresTheDefaults() {
        TestHome home;
        frmPreferences w;
        QVERIFY(w.chkConfirmDelete->isChecked());
        QVERIFY(w.chkConfirmQuit->isChecked());
        QVERIFY(w.chkNotifyFailures->isChecked());
        QVERIFY(!w.chkStartAtLogin->isChecked());
        QVERIFY(w.optEdit->isChecked());
        QVERIFY(!w.chkLogging->isChecked());
        QVERIFY(!w.txtLogging->isEnabled());
        QVERIFY(!w.cmdLogging->isEnabled());
        QCOMPARE(w.txtLogging->text(), defaultLog());
        QCOMPARE(QDir::fromNativeSeparators(w.txtLogging->text()),
                 QDir(home.path()).filePath("Tidewell.log"));
        w.cmdOK->click();
        QCOMPARE(stored(), QStringList({"true", "true", "edit", "0", defaultLog(), "1"}));
        QCOMPARE(entry(), QByteArray());
    }

    void storedValuesAreReadExactly_data() {
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("logToFile");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("logging");
        QTest::addColumn<QByteArray>("entry"); // the autostart file; empty when there is none
        QTest::addColumn<bool>("startsAtLogin");
        const QByteArray other =
            "[Desktop Entry]\nType=Application\nExec=/opt/tw/tidewell /startup\n";
        QTest::newRow("all on") << "true"
                                << "run"
                                << "1" << true << "optRun" << true << other << true;
        QTest::newRow("capital True")
            << "True"
            << "perform"
            << "0" << false << "optPerform" << false << QByteArray() << false;
        QTest::newRow("unknown action") << "false"
                                        << "Edit"
                                        << "yes" << false << "" << false << other + "Hidden=true\n"
                                        << false;
        QTest::newRow("log 2") << "TRUE"
                               << "edit"
                               << "2" << false << "optEdit" << false
                               << other + "X-GNOME-Autostart-enabled=false\n"
                               << false;
    }
    void storedValuesAreReadExactly() {
        QFETCH(QString, confirm);
        QFETCH(QString, action);
        QFETCH(QString, logToFile);
        QFETCH(bool, checked);
        QFETCH(QString, option);
        QFETCH(bool, logging);
        QFETCH(QByteArray, entry);
        QFETCH(bool, startsAtLogin);
        TestHome home;
        writeSetting("DeleteConfirmation", confirm);
        writeSetting("QuitConfirmation", confirm);
        writeSetting("TaskAction", action);
        writeSetting("LogToFile", logToFile);
        writeSetting("NotifyFailures", logToFile);
        if (!entry.isEmpty()) {
            QDir().mkpath(config.filePath("autostart"));
            QFile file(autostartEntryPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(entry);
        }
        frmPreferences w;
        QCOMPARE(w.chkStartAtLogin->isChecked(), startsAtLogin);
        QCOMPARE(w.chkNotifyFailures->isChecked(), logging);
        QCOMPARE(w.chkConfirmDelete->isChecked(), checked);
        QCOMPARE(w.chkConfirmQuit->isChecked(), checked);
        for (QRadioButton* o : {w.optEdit, w.optPerform, w.optRun})
            QCOMPARE(o->isChecked(), o->objectName() == option);
        QCOMPARE(w.chkLogging->isChecked(), logging);
        QCOMPARE(w.txtLogging->isEnabled(), logging);
        w.cmdOK->click();
        const QString flag = checked ? "true" : "false";
        const QString on = logging ? "1" : "0";
        QCOMPARE(stored().mid(0, 4), QStringList({flag, flag, action, on}));
        QCOMPARE(stored().last(), on);
        QCOMPARE(this->entry(), entry); // left as it was, also when it names another copy
    }

    void changesAreWrittenOnOkOnly() {
        TestHome home;
        const QString log = home.file("events.log");
        {
            frmPreferences w;
            w.chkConfirmQuit->click();
            w.optPerform->click();
            w.chkLogging->click();
            QVERIFY(w.txtLogging->isEnabled());
            w.txtLogging->setText(log);
            w.chkNotifyFailures->click();
            w.chkStartAtLogin->click();
            w.cmdCancel->click();
        }
        QCOMPARE(stored(), QStringList(6, "<missing>"));
        QCOMPARE(entry(), QByteArray());
        {
            frmPreferences w;
            w.chkNotifyFailures->click();
            w.chkStartAtLogin->click();
            w.cmdOK->click();
        }
        QCOMPARE(readSetting("NotifyFailures", ""), QStringLiteral("0"));
        QVERIFY(entry().contains("\nExec=env TIDEWELL_HOME=" + home.path().toLocal8Bit() + ' ' +
                                 QCoreApplication::applicationFilePath().toLocal8Bit() +
                                 " /startup\n"));
        frmPreferences w;
        QVERIFY(w.chkStartAtLogin->isChecked());
        w.chkStartAtLogin->click();
        w.chkConfirmQuit->click();
        w.optPerform->click();
        w.chkLogging->click();
        w.txtLogging->setText(log);
        w.chkLogging->click(); // off again: the path stays and is still stored
        QCOMPARE(w.txtLogging->text(), log);
        w.cmdOK->click();
        QCOMPARE(stored(), QStringList({"true", "false", "perform", "0", log, "0"}));
        QVERIFY(!QFile::exists(log));
        QVERIFY(!QFile::exists(autostartEntryPath()));
    }

    void unwritableLogKeepsThePreviousOne() {
        TestHome home;
        const QString old = home.file("old.log");
        writeSetting("LogFile", old);
        QStringList refusals;
        setMessageResponder([&](MessageKind kind, const QString&, const QString& text) {
            if (kind == MessageKind::refusal)
                refusals << text;
            return true;
        });
        frmPreferences w;
        w.chkLogging->click();
        w.txtLogging->setText(home.file("no/such/folder/x.log"));
        w.cmdOK->click();
        QCOMPARE(refusals.size(), 1);
        QVERIFY(refusals.first().contains("x.log"));
        QCOMPARE(readSetting("LogFile", ""), old);
        QCOMPARE(readSetting("LogToFile", ""), QStringLiteral("1"));
    }

    void browseAsksForASaveName() {
        TestHome home;
        writeSetting("LogToFile", "1");
        writeSetting("LogFile", home.file("a.log"));
        FileDialogRequest seen;
        QString answer = home.file("b.log");
        setFileDialogResponder([&](const FileDialogRequest& request) {
            seen = request;
            return answer;
        });
        frmPreferences w;
        w.cmdLogging->click();
        QCOMPARE(seen.kind, FileDialogKind::save);
        QCOMPARE(seen.title, QStringLiteral("Log File"));
        QCOMPARE(seen.defaultExtension, QStringLiteral("log"));
        QVERIFY(seen.initialPath.endsWith("a.log"));
        QCOMPARE(w.txtLogging->text(), home.file("b.log"));
        answer.clear(); // cancelled: the text stays
        w.cmdLogging->click();
        QCOMPARE(w.txtLogging->text(), home.file("b.log"));
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
