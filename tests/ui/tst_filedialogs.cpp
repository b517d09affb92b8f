#include "modCommonDialogAPI.h"
#include "modMessageBox.h"
#include "testHome.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

class TestFileDialogs : public QObject {
    Q_OBJECT

    QList<FileDialogRequest> requests;
    QString answer;

    void script() {
        requests.clear();
        setFileDialogResponder([this](const FileDialogRequest& request) {
            requests << request;
            return answer;
        });
    }

private slots:
    void cleanup() { setFileDialogResponder(nullptr); }

    void filtersBecomeQtNameFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        // Names without a dot (notes, Makefile) are files too.
        QTest::newRow("one pair") << "All Files|*.*" << QStringList({"All Files (*)"});
        QTest::newRow("two pairs") << "All Files|*.*|Log Files|*.log"
                                   << QStringList({"All Files (*)", "Log Files (*.log)"});
        QTest::newRow("odd tail dropped") << "Text|*.txt|Broken" << QStringList({"Text (*.txt)"});
        QTest::newRow("empty") << "" << QStringList();
    }
    void filtersBecomeQtNameFilters() {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(filterToNameFilters(filter), expected);
    }

    void requestsCarryTitleFilterAndStartingPlace() {
        TestHome home;
        script();
        answer = "  " + home.file("chosen.txt") + " ";
        QCOMPARE(showSaveDialog(nullptr, "Log File", "All Files|*.*|Log Files|*.log", "log",
                                "Tidewell.log", home.path()),
                 home.file("chosen.txt"));
        QCOMPARE(requests.size(), 1);
        const FileDialogRequest& save = requests.first();
        QCOMPARE(save.kind, FileDialogKind::save);
        QCOMPARE(save.title, QString("Log File"));
        QCOMPARE(save.selectedFilter, QString("Log Files (*.log)"));
        QCOMPARE(save.defaultExtension, QString("log"));
        QCOMPARE(save.initialPath, QDir(home.path()).filePath("Tidewell.log"));
    }

    void withoutAFolderTheDialogStartsOnTheDesktop() {
        TestHome home;
        script();
        answer.clear();
        QCOMPARE(showOpenDialog(nullptr, "Source File", "All Files|*.*", "", ""), QString());
        QCOMPARE(requests.first().kind, FileDialogKind::open);
        QCOMPARE(requests.first().initialPath,
                 QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        QCOMPARE(requests.first().selectedFilter, QString("All Files (*)"));
    }

    void aFileToWriteNeedsAnExistingFolder() {
        TestHome home;
        QStringList said;
        setMessageResponder([&said](MessageKind, const QString&, const QString& text) {
            said << text;
            return true;
        });
        QStringList answers{home.file("missing/x.txt"), home.file("x.txt")};
        setFileDialogResponder(
            [&answers](const FileDialogRequest&) { return answers.takeFirst(); });
        QCOMPARE(showSaveDialog(nullptr, "Destination File", "All Files|*.*", "", ""),
                 home.file("x.txt"));
        setMessageResponder(nullptr);
        QCOMPARE(said, QStringList("The folder " + QDir::toNativeSeparators(home.file("missing")) +
                                   " does not exist.  Please choose a folder that exists."));
    }

    // The real dialog, worked as a user would: a chosen file comes back, Cancel gives nothing.
    void theRealDialogAnswersWithThePathOrNothing() {
        TestHome home;
        QFile file(home.file("pick me.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const auto work = [](bool accept, const QString& path) {
            QTimer::singleShot(0, [accept, path] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                if (!accept) {
                    dialog->reject();
                    return;
                }
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept");
            });
        };
        work(true, file.fileName());
        QCOMPARE(showOpenDialog(nullptr, "Source File", "All Files|*.*", "", "", home.path()),
                 QDir::toNativeSeparators(file.fileName()));
        work(false, {});
        QCOMPARE(showOpenDialog(nullptr, "Source File", "All Files|*.*", "", "", home.path()),
                 QString());
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
