#include "fileDialogAnswers.h"
#include "frmPreferences.h"
#include "modAutostart.h"
#include "modRegistry.h"
#include "windowFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

QStringList stored() {
    QStringList values;
    for (const char* name : {"DeleteConfirmation", "QuitConfirmation", "TaskAction", "LogToFile",
                             "LogFile", "NotifyFailures", "TrashNewerDestinations"})
        values << readSetting(name, "<missing>");
    return values;
}

QByteArray entry() {
    QFile file(autostartEntryPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The boxes ticked, in the window's order: delete, quit, notify, trash, login, logging, and the
// three task actions edit, perform, run.
QString ticked(const frmPreferences& w) {
    QString marks;
    for (const QAbstractButton* box : std::initializer_list<const QAbstractButton*>{
             w.chkConfirmDelete, w.chkConfirmQuit, w.chkNotifyFailures, w.chkTrashNewer,
             w.chkStartAtLogin, w.chkLogging, w.optEdit, w.optPerform, w.optRun})
        marks += box->isChecked() ? 'x' : '-';
    return marks;
}

} // namespace

class TestPreferences : public QObject {
    Q_OBJECT

    QTemporaryDir config; // the home whose autostart folder is used, never the user's own

private slots:
    // No XDG_CONFIG_HOME: the entry goes to the home's .config, as desktops expect.
    void init() {
        qputenv("HOME", config.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        QFile::remove(autostartEntryPath());
        QDir().mkpath(QFileInfo(autostartEntryPath()).path());
    }

    void storedValuesAreReadExactly_data() {
        QTest::addColumn<QString>("stored");   // confirmations, task action, logging and notifying
        QTest::addColumn<QByteArray>("entry"); // the autostart file; empty when there is none
        QTest::addColumn<QString>("ticked");
        const QByteArray other =
            "[Desktop Entry]\nType=Application\nExec=/opt/tw/tidewell /startup\n";
        QTest::newRow("nothing stored") << ",," << QByteArray() << "xxxx--x--";
        QTest::newRow("all on") << "true,run,1" << other << "xxxxxx--x";
        QTest::newRow("capital True") << "True,perform,0" << QByteArray() << "-------x-";
        QTest::newRow("unknown action, hidden entry") << "false,Edit,yes" << other + "Hidden=true\n"
                                                      << "---------";
        QTest::newRow("log 2, entry switched off")
            << "TRUE,edit,2" << other + "X-GNOME-Autostart-enabled=false\n"
            << "------x--";
    }
    // OK stores what was read; an autostart entry is left as it was, also when it names
    // another copy of the program.
    void storedValuesAreReadExactly() {
        QFETCH(QString, stored);
        QFETCH(QByteArray, entry);
        QFETCH(QString, ticked);
        TestHome home;
        const QStringList values = stored.split(',');
        const std::pair<const char*, int> columns[] = {
            {"DeleteConfirmation", 0}, {"QuitConfirmation", 0}, {"TaskAction", 1},
            {"LogToFile", 2},          {"NotifyFailures", 2},   {"TrashNewerDestinations", 2}};
        for (const auto& [name, column] : columns)
            writeSetting(name, values[column]);
        if (!entry.isEmpty()) {
            QDir().mkpath(config.filePath("autostart"));
            QFile file(autostartEntryPath());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(entry) == entry.size());
        }
        frmPreferences w;
        QCOMPARE(::ticked(w), ticked);
        QCOMPARE(w.txtLogging->isEnabled(), w.chkLogging->isChecked());
        QCOMPARE(w.txtLogging->text(), home.file("Tidewell.log"));
        w.cmdOK->click();
        const QString flag = ticked[0] == 'x' ? "true" : "false";
        QCOMPARE(::stored(),
                 QStringList({flag, flag, values[1].isEmpty() ? "edit" : values[1],
                              ticked[5] == 'x' ? "1" : "0", home.file("Tidewell.log"),
                              ticked[2] == 'x' ? "1" : "0", ticked[3] == 'x' ? "1" : "0"}));
        QCOMPARE(::entry(), entry);
    }

    // Cancel stores nothing; OK stores every change, and the login entry starts this copy on
    // this application folder. A path set while logging was on stays after it is switched off.
    void changesAreWrittenOnOkOnly() {
        TestHome home;
        const QString log = home.file("events.log");
        for (const bool ok : {false, true}) {
            frmPreferences w;
            for (QAbstractButton* box : std::initializer_list<QAbstractButton*>{
                     w.chkConfirmQuit, w.optPerform, w.chkLogging, w.chkNotifyFailures,
                     w.chkTrashNewer, w.chkStartAtLogin})
                box->click();
            w.txtLogging->setText(log);
            w.chkLogging->click();
            (ok ? w.cmdOK : w.cmdCancel)->click();
            if (!ok)
                QCOMPARE(stored() << QString::fromUtf8(entry()), QStringList(7, "<missing>") << "");
        }
        QCOMPARE(stored(), QStringList({"true", "false", "perform", "0", log, "0", "0"}));
        QVERIFY(entry().contains("\nExec=env TIDEWELL_HOME=" + home.path().toLocal8Bit() + ' ' +
                                 QCoreApplication::applicationFilePath().toLocal8Bit() +
                                 " /startup\n"));
        QVERIFY(!QFile::exists(log));
        frmPreferences w;
        w.chkStartAtLogin->click();
        w.cmdOK->click();
        QVERIFY(!QFile::exists(autostartEntryPath()));
        // The installed starter, at a path the entry has to quote and escape twice.
        qputenv("TIDEWELL_STARTER", "/opt/my $tw%/tidewell");
        frmPreferences installed;
        installed.chkStartAtLogin->click();
        installed.cmdOK->click();
        qunsetenv("TIDEWELL_STARTER");
        QVERIFY(entry().contains("\nExec=\"/opt/my \\\\$tw%%/tidewell\" /startup\n"));
    }

    // Browse asks for a log file to save, starting from the one given, and Cancel keeps it; a
    // log that cannot be written is refused and the previous one kept, and so is a login entry
    // that cannot be written.
    void logFileIsChosenAndChecked() {
        TestHome home;
        MessageCatcher messages;
        writeSetting("LogToFile", "1");
        writeSetting("LogFile", home.file("a.log"));
        FileDialogAnswers dialogs({home.file("b.log")});
        frmPreferences w;
        w.cmdLogging->click();
        w.cmdLogging->click();
        QVERIFY(dialogs.requests[0].kind == FileDialogKind::save &&
                dialogs.requests[0].defaultExtension == "log");
        QCOMPARE(dialogs.requests[0].initialPath, home.file("a.log"));
        QCOMPARE(w.txtLogging->text(), home.file("b.log"));
        w.txtLogging->setText(home.file("no/such/folder/x.log"));
        qputenv("XDG_CONFIG_HOME", makeFile(home, "not a folder").toLocal8Bit());
        w.chkStartAtLogin->click();
        w.cmdOK->click();
        QCOMPARE(messages.refusals().size(), 2);
        QVERIFY(messages.refusals().first().contains("x.log"));
        QCOMPARE(messages.refusals().last(),
                 "Tidewell could not change whether it starts when you log in.");
        QCOMPARE(readSetting("LogFile", "") + readSetting("LogToFile", ""),
                 home.file("a.log") + "1");
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
