#include "fileDialogAnswers.h"
#include "messageCatcher.h"
#include "testHome.h"

#include <QApplication>
#include <QFileDialog>
#include <QTest>
#include <QTimer>

class TestFileDialogs : public QObject {
    Q_OBJECT

private slots:
    // Names without a dot (notes, Makefile) are files too, and a filter's odd tail is dropped.
    // The answer comes back trimmed; without a folder the dialog starts on the desktop; a file
    // to write must go into a folder that exists, so the dialog comes back until it does.
    void requestsAndAnswers() {
        TestHome home;
        MessageCatcher messages;
        FileDialogAnswers dialogs(
            {"  " + home.file("chosen.txt") + " ", home.file("missing/x.txt"), home.file("x.txt")});
        QCOMPARE(showSaveDialog(nullptr, "Log File", "All Files|*.*|Log Files|*.log", "log",
                                "Tidewell.log", home.path()),
                 home.file("chosen.txt"));
        QCOMPARE(showSaveDialog(nullptr, "Destination File", "All Files|*.*", "", ""),
                 home.file("x.txt"));
        QCOMPARE(showOpenDialog(nullptr, "Source File", "All Files|*.*", "", ""), QString());
        QCOMPARE(filterToNameFilters("Text|*.txt|Broken"), QStringList("Text (*.txt)"));
        const FileDialogRequest& save = dialogs.requests.first();
        QCOMPARE(QStringList({save.title, save.nameFilters, save.selectedFilter,
                              save.defaultExtension, save.initialPath}),
                 QStringList({"Log File", "All Files (*);;Log Files (*.log)", "Log Files (*.log)",
                              "log", QDir(home.path()).filePath("Tidewell.log")}));
        QVERIFY(dialogs.requests.size() == 4 && dialogs.requests[3].kind == FileDialogKind::open);
        QCOMPARE(dialogs.requests[3].initialPath,
                 QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        QCOMPARE(messages.refusals(),
                 QStringList("The folder " + QDir::toNativeSeparators(home.file("missing")) +
                             " does not exist.  Please choose a folder that exists."));
    }

    // The real dialog, worked as a user would: a chosen file comes back, Cancel gives nothing.
    void theRealDialogAnswersWithThePathOrNothing() {
        TestHome home;
        const QString file = makeFile(home, "pick me.txt");
        for (const bool accept : {true, false}) {
            QTimer::singleShot(0, [accept, file] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->selectFile(file);
                QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
            });
            QCOMPARE(showOpenDialog(nullptr, "Source File", "All Files|*.*", "", "", home.path()),
                     accept ? QDir::toNativeSeparators(file) : QString());
        }
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
