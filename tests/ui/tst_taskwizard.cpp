#include "frmTaskEditor.h"
#include "frmTaskWizard.h"
#include "helpHover.h"
#include "modCommonDialogAPI.h"
#include "modDatabaseBinary.h"
#include "modMessageBox.h"
#include "modRules.h"
#include "taskTable.h"
#include "testHome.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace db = modDatabaseBinary;

namespace {

QByteArray tableBytes() {
    QFile file(db::databaseFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString newerRule = "When the source file is newer than the destination file";

} // namespace

class TestTaskWizard : public QObject {
    Q_OBJECT

    QStringList refusals;
    QStringList answers; // paths the file dialogs answer, in turn
    QList<FileDialogRequest> requests;

    // Page 0 filled and left, page 1 with the destinations added through the save dialog.
    void fillToRules(frmTaskWizard& w, const QString& source, const QStringList& destinations) {
        w.txtSource->setText(source);
        w.cmdNext->click();
        answers = destinations;
        for (int i = 0; i < destinations.size(); ++i)
            w.cmdAdd->click();
        w.cmdNext->click();
    }

private slots:
    void init() {
        refusals.clear();
        answers.clear();
        requests.clear();
        setMessageResponder([this](MessageKind, const QString&, const QString& text) {
            refusals << text;
            return true;
        });
        setFileDialogResponder([this](const FileDialogRequest& request) {
            requests << request;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    void cleanup() {
        setMessageResponder(nullptr);
        setFileDialogResponder(nullptr);
        setHelpHandler(nullptr);
    }

    void opensOnTheFirstPage() {
        TestHome home;
        openTaskTable();
        frmTaskWizard w;
        QCOMPARE(w.currentPage, qint16(0));
        QVERIFY(!w.picFrame[0]->isHidden());
        for (int page = 1; page < 5; ++page)
            QVERIFY(w.picFrame[page]->isHidden());
        QVERIFY(!w.cmdPrevious->isEnabled());
        QVERIFY(!w.cmdFinish->isEnabled());
        QVERIFY(w.cmdNext->isEnabled());
        QVERIFY(!w.cmdRemove->isEnabled());
        QCOMPARE(w.cboRule->currentIndex(), 0);
        QCOMPARE(w.cboRule->count(), 5);
        QCOMPARE(w.txtConfirmTitle->text(), QString("Tidewell"));
        QVERIFY(!w.txtConfirmTitle->isEnabled());
        QVERIFY(!w.txtConfirmQuestion->isEnabled());
        QCOMPARE(w.windowTitle(), QString("Kestrelmoor Tidewell"));
    }

    void eachPageChecksBeforeLeaving() {
        TestHome home;
        openTaskTable();
        frmTaskWizard w;
        w.cmdNext->click();
        w.txtSource->setText(home.file("missing.txt"));
        w.cmdNext->click();
        w.txtSource->setText(home.path());
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(0));
        w.txtSource->setText(makeFile(home, "a.txt"));
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(1));
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(1));
        answers = {home.file("b.txt")};
        w.cmdAdd->click();
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(2));
        w.cboRule->setCurrentText("When the source file's version changes");
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(2));
        QCOMPARE(refusals,
                 QStringList({"You have not entered a source file.  Please check and try again.",
                              "The source file you have selected cannot be found.  Please check "
                              "and try again.",
                              "The source file you have selected cannot be found.  Please check "
                              "and try again.",
                              "You have not selected any destination files.  Please use the add "
                              "button to add destinations.",
                              "A version number could not be extracted from the source file "
                              "you selected.  Please choose a different rule."}));
        w.cboRule->setCurrentIndex(0);
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(3));
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(4));
        QVERIFY(w.cmdFinish->isEnabled());
        QVERIFY(!w.cmdNext->isEnabled());
    }

    void theNewerRuleSkipsConfirmationOnlyGoingForward() {
        TestHome home;
        openTaskTable();
        frmTaskWizard w;
        fillToRules(w, makeFile(home, "a.txt"), {home.file("b.txt")});
        w.cboRule->setCurrentText(newerRule);
        w.cmdNext->click();
        QCOMPARE(w.currentPage, qint16(4));
        w.cmdPrevious->click();
        QCOMPARE(w.currentPage, qint16(3));
        w.cmdPrevious->click();
        w.cmdPrevious->click();
        w.cmdPrevious->click();
        QCOMPARE(w.currentPage, qint16(0));
        QVERIFY(!w.cmdPrevious->isEnabled());
    }

    void destinationsAreCheckedAndRemovable() {
        TestHome home;
        openTaskTable();
        frmTaskWizard w;
        const QString source = makeFile(home, "My File.txt");
        w.txtSource->setText(source);
        w.cmdNext->click();
        answers = {source, home.file(QString(250, 'x')), home.file("one.txt"),
                   home.file("two.txt")};
        for (int i = 0; i < 5; ++i)
            w.cmdAdd->click();
        QCOMPARE(refusals,
                 QStringList({"The file that you have selected is the same as the source file.  "
                              "Please choose a different file and try again.",
                              "The path of the file you have selected is over 255 characters "
                              "long.  Please choose a different file and try again."}));
        QCOMPARE(w.lstDestination->count(), 2);
        // The save dialog starts from the source's folder and name.
        QCOMPARE(requests.first().title, QString("Destination File"));
        QVERIFY(requests.first().initialPath.endsWith("My File.txt"));

        w.lstDestination->setCurrentRow(0);
        emit w.lstDestination->itemClicked(w.lstDestination->item(0));
        QVERIFY(w.cmdRemove->isEnabled());
        w.cmdRemove->click();
        QCOMPARE(w.lstDestination->count(), 1);
        w.cmdRemove->click();
        QCOMPARE(w.lstDestination->count(), 1);
        QCOMPARE(w.lstDestination->item(0)->text(), home.file("two.txt"));
    }

    void finishWritesOneTaskPerDestinationUnderTheLowestFreeNumbers() {
        TestHome home;
        openTaskTable();
        for (int n = 0; n < 4; ++n)
            QVERIFY(db::writeField(TaskField::TaskName, n, n == 1 ? "existing" : "Other").ok());
        QVERIFY(db::deleteRecord(2).ok());
        frmTaskWizard w;
        const QString source = makeFile(home, "a.txt");
        fillToRules(w, source, {home.file("d1.txt"), home.file("d2.txt"), home.file("d3.txt")});
        w.cboRule->setCurrentIndex(3);
        w.cmdNext->click();
        w.chkConfirm->click();
        QVERIFY(w.txtConfirmTitle->isEnabled());
        w.txtConfirmTitle->setText("Ask");
        w.cmdNext->click();
        // Existing names are offered once each, whatever their case.
        QCOMPARE(w.cboName->count(), 2);
        w.cmdFinish->click();
        QCOMPARE(refusals, QStringList({"You have not entered a name for this task.  Please "
                                        "check and try again."}));
        // Typed as the start of an existing name, kept as typed, also through Enter.
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.cboName->setFocus();
        QTest::keyClicks(w.cboName->lineEdit(), "EXIST");
        QTest::keyClick(w.cboName->lineEdit(), Qt::Key_Return);
        w.cmdFinish->click();
        QCOMPARE(w.result(), int(QDialog::Accepted));

        QVERIFY(db::listRecords().ok());
        QStringList live = db::resultList;
        std::sort(live.begin(), live.end());
        QCOMPARE(live, QStringList({"0", "1", "2", "3", "4", "5"}));
        const QStringList destinations = {home.file("d1.txt"), home.file("d2.txt"),
                                          home.file("d3.txt")};
        const int numbers[] = {2, 4, 5};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(db::readRecord(numbers[i]).ok());
            QCOMPARE(db::fieldValues[slotTaskName], QString("EXIST"));
            QCOMPARE(db::fieldValues[slotSourceFile], source);
            QCOMPARE(db::fieldValues[slotDestinationFile], destinations[i]);
            QCOMPARE(db::fieldValues[slotRule], QString("Every day"));
            QCOMPARE(db::fieldValues[slotConfirmationOn], QString("1"));
            QCOMPARE(db::fieldValues[slotConfirmationTitle], QString("Ask"));
            QVERIFY(db::fieldValues[slotLastUpdated].isEmpty());
        }
    }

    void aTaskIsStoredByteForByte() {
        TestHome home;
        openTaskTable();
        frmTaskWizard w;
        const QString source = makeFile(home, "a.txt");
        fillToRules(w, source, {home.file("b.txt")});
        w.cmdNext->click();
        w.cmdNext->click();
        w.cboName->setEditText("N");
        w.cmdFinish->click();
        const QByteArray stored = tableBytes();
        // Seven cells of the new task: field, live flag, record number, padded value.
        int expected = 0;
        for (int slot : {slotTaskName, slotSourceFile, slotDestinationFile, slotRule,
                         slotConfirmationOn, slotConfirmationTitle, slotConfirmationQuestion})
            expected += 7 + taskFieldWidth(slot);
        QCOMPARE(stored.size(), expected);
        QCOMPARE(stored.left(2), QByteArray("\x00\x00", 2));
        QCOMPARE(stored.mid(7, 2), QByteArray("N\0", 2));
    }

    void aFailedWriteLeavesNoHalfTask() {
        TestHome home;
        openTaskTable();
        frmTaskWizard w;
        fillToRules(w, makeFile(home, "a.txt"), {home.file("b.txt"), home.file("c.txt")});
        w.cmdNext->click();
        // Set past the box's own limit, so the last field of the task cannot be stored.
        w.txtConfirmQuestion->setText(QString(300, 'q'));
        w.cmdNext->click();
        w.cboName->setEditText("N");
        w.cmdFinish->click();
        QCOMPARE(refusals.size(), 1);
        QVERIFY(refusals.first().contains("Nothing was written"));
        QVERIFY(db::listRecords().ok());
        QCOMPARE(db::resultCount, 0);
    }

    void cancelOnAnyPageStoresNothing_data() {
        QTest::addColumn<int>("page");
        for (int page = 0; page < 5; ++page)
            QTest::newRow(qPrintable(QString("page %1").arg(page))) << page;
    }
    void cancelOnAnyPageStoresNothing() {
        QFETCH(int, page);
        TestHome home;
        openTaskTable();
        QVERIFY(db::writeField(TaskField::TaskName, 0, "kept").ok());
        const QByteArray before = tableBytes();
        frmTaskWizard w;
        if (page > 0) {
            w.txtSource->setText(makeFile(home, "a.txt"));
            w.cmdNext->click();
            answers = {home.file("b.txt")};
            w.cmdAdd->click();
        }
        while (w.currentPage < page)
            w.cmdNext->click();
        if (page == 0)
            w.txtSource->setText("typed");
        w.cboName->setEditText("never");
        QCOMPARE(int(w.currentPage), page);
        w.cmdCancel->click();
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(tableBytes(), before);
    }

    void aNameOverItsWidthIsRefusedOnLeavingTheBox() {
        TestHome home;
        openTaskTable();
        frmTaskWizard w;
        w.cboName->setEditText(QString(255, 'n'));
        QVERIFY(w.checkNameLength());
        w.cboName->setEditText(QString(128, QChar(0x00e9)));
        QVERIFY(!w.checkNameLength());
        QCOMPARE(refusals, QStringList({"The task name must be under 255 characters long."}));
        QCOMPARE(w.cboName->lineEdit()->selectedText(), QString(127, QChar(0x00e9)));
    }

    // Pictures of the editor and of every page, for a person to look at.
    void picturesOfEveryPage() {
        const QString folder = qEnvironmentVariable("TIDEWELL_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("TIDEWELL_SCREENSHOTS names no folder for the pictures");
        TestHome home;
        openTaskTable();
        frmTaskEditor editor;
        editor.show();
        QVERIFY(editor.grab().save(folder + "/editor.png"));
        frmTaskWizard w;
        w.show();
        w.txtSource->setText(makeFile(home, "report.txt"));
        answers = {home.file("copy one.txt"), home.file("copy two.txt")};
        for (int page = 0; page < 5; ++page) {
            if (page == 1) {
                w.cmdAdd->click();
                w.cmdAdd->click();
            }
            if (page == 3)
                w.chkConfirm->click();
            QTest::qWait(20);
            QVERIFY(w.grab().save(folder + QString("/wizard-page%1.png").arg(page)));
            w.cmdNext->click();
        }
    }

    void controlsExplainThemselves() {
        TestHome home;
        openTaskTable();
        QStringList keys;
        setHelpHandler([&keys](const QString& key) { keys << key; });
        frmTaskWizard w;
        for (QWidget* control :
             {static_cast<QWidget*>(w.txtSource), static_cast<QWidget*>(w.cmdSource),
              static_cast<QWidget*>(w.grpName), static_cast<QWidget*>(w.cmdFinish)}) {
            QEvent enter(QEvent::Enter);
            QApplication::sendEvent(control, &enter);
        }
        QCOMPARE(keys, QStringList({"tasksourcefile", "browse", "taskname", "finish"}));
    }
};

QTEST_MAIN(TestTaskWizard)
#include "tst_taskwizard.moc"
