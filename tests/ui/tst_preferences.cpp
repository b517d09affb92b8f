#include "frmPreferences.h"
#include "modCommonDialogAPI.h"
#include "modMessageBox.h"
#include "modPaths.h"
#include "modRegistry.h"
#include "testHome.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

class TestPreferences : public QObject {
    Q_OBJECT

    static QStringList stored() {
        QStringList values;
        for (const char* name :
             {"DeleteConfirmation", "QuitConfirmation", "TaskAction", "LogToFile", "LogFile"})
            values << readSetting(name, "<missing>");
        return values;
    }
    static QString defaultLog() { return applicationFile("Tidewell.log"); }

private slots:
    void cleanup() {
        setMessageResponder(nullptr);
        setFileDialogResponder(nullptr);
    }

    void freshStoreShowsAndStoresTheDefaults() {
        TestHome home;
        frmPreferences w;
        QVERIFY(w.chkConfirmDelete->isChecked());
        QVERIFY(w.chkConfirmQuit->isChecked());
        QVERIFY(w.optEdit->isChecked());
        QVERIFY(!w.chkLogging->isChecked());
        QVERIFY(!w.txtLogging->isEnabled());
        QVERIFY(!w.cmdLogging->isEnabled());
        QCOMPARE(w.txtLogging->text(), defaultLog());
        QCOMPARE(QDir::fromNativeSeparators(w.txtLogging->text()),
                 QDir(home.path()).filePath("Tidewell.log"));
        w.cmdOK->click();
        QCOMPARE(stored(), QStringList({"true", "true", "edit", "0", defaultLog()}));
    }

    void storedValuesAreReadExactly_data() {
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("logToFile");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("logging");
        QTest::newRow("all on") << "true"
                                << "run"
                                << "1" << true << "optRun" << true;
        QTest::newRow("capital True") << "True"
                                      << "perform"
                                      << "0" << false << "optPerform" << false;
        QTest::newRow("unknown action") << "false"
                                        << "Edit"
                                        << "yes" << false << "" << false;
        QTest::newRow("log 2") << "TRUE"
                               << "edit"
                               << "2" << false << "optEdit" << false;
    }
    void storedValuesAreReadExactly() {
        QFETCH(QString, confirm);
        QFETCH(QString, action);
        QFETCH(QString, logToFile);
        QFETCH(bool, checked);
        QFETCH(QString, option);
        QFETCH(bool, logging);
        TestHome home;
        writeSetting("DeleteConfirmation", confirm);
        writeSetting("QuitConfirmation", confirm);
        writeSetting("TaskAction", action);
        writeSetting("LogToFile", logToFile);
        frmPreferences w;
        QCOMPARE(w.chkConfirmDelete->isChecked(), checked);
        QCOMPARE(w.chkConfirmQuit->isChecked(), checked);
        for (QRadioButton* o : {w.optEdit, w.optPerform, w.optRun})
            QCOMPARE(o->isChecked(), o->objectName() == option);
        QCOMPARE(w.chkLogging->isChecked(), logging);
        QCOMPARE(w.txtLogging->isEnabled(), logging);
        w.cmdOK->click();
        const QString flag = checked ? "true" : "false";
        QCOMPARE(stored().mid(0, 4), QStringList({flag, flag, action, logging ? "1" : "0"}));
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
            w.cmdCancel->click();
        }
        QCOMPARE(stored(), QStringList(5, "<missing>"));
        frmPreferences w;
        w.chkConfirmQuit->click();
        w.optPerform->click();
        w.chkLogging->click();
        w.txtLogging->setText(log);
        w.chkLogging->click(); // off again: the path stays and is still stored
        QCOMPARE(w.txtLogging->text(), log);
        w.cmdOK->click();
        QCOMPARE(stored(), QStringList({"true", "false", "perform", "0", log}));
        QVERIFY(!QFile::exists(log));
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
