#include "fileDialogAnswers.h"
#include "frmTaskWizard.h"
#include "taskTableBuilder.h"
#include "windowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace db = modDatabaseBinary;

namespace {

// A fresh task table; message boxes and file dialogs are answered by the test.
struct Table {
    TestHome home;
    MessageCatcher messages;
    FileDialogAnswers dialogs;
    Table() { openTaskTable(); }
};

} // namespace

class TestTaskWizard : public QObject {
    Q_OBJECT

private slots:
    // Each page refuses to be left until it is complete, and Finish refuses a missing or too
    // long name, in this order; the newer rule skips the confirmation page going forward only.
    void refusalsInTheirOrder() {
        Table t;
        frmTaskWizard w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(!w.cmdPrevious->isEnabled() && !w.cmdFinish->isEnabled());
        const QString source = makeFile(t.home, "a.txt");
        for (const QString& typed : {QString(), t.home.path(), source}) {
            w.txtSource->setText(typed);
            w.cmdNext->click();
        }
        w.cmdNext->click();
        t.dialogs.answers = {source, t.home.file(QString(250, 'x')), t.home.file("one.txt"),
                             t.home.file("two.txt")};
        for (int i = 0; i < 5; ++i)
            w.cmdAdd->click();
        // The save dialog starts from the source's folder and name.
        QCOMPARE(t.dialogs.requests.first().initialPath, source);
        w.lstDestination->setCurrentRow(0);
        emit w.lstDestination->itemClicked(w.lstDestination->item(0));
        w.cmdRemove->click();
        w.cmdRemove->click();
        QCOMPARE(w.lstDestination->count(), 1);
        QCOMPARE(w.lstDestination->item(0)->text(), t.home.file("two.txt"));
        w.cmdNext->click();
        w.cboRule->setCurrentText("When the source file's version changes");
        w.cmdNext->click();
        w.cboRule->setCurrentText("When the source file is newer than the destination file");
        w.cmdNext->click();
        QVERIFY(w.cboName->hasFocus()); // not the greyed-out Next
        w.cmdFinish->click();
        w.cboName->setEditText(QString(255, 'n'));
        QVERIFY(w.checkNameLength());
        w.cboName->setEditText(QString(128, QChar(0x00e9)));
        w.cmdFinish->click();
        QCOMPARE(w.cboName->lineEdit()->selectedText(), QString(127, QChar(0x00e9)));
        QCOMPARE(t.messages.refusals(),
                 QStringList({"You have not entered a source file.  Please check and try again.",
                              "The source file you have selected cannot be found.  Please check "
                              "and try again.",
                              "You have not selected any destination files.  Please use the add "
                              "button to add destinations.",
                              "The file that you have selected is the same as the source file.  "
                              "Please choose a different file and try again.",
                              "The path of the file you have selected is over 255 characters "
                              "long.  Please choose a different file and try again.",
                              "A version number could not be extracted from the source file "
                              "you selected.  Please choose a different rule.",
                              "You have not entered a name for this task.  Please check and try "
                              "again.",
                              "The task name must be under 255 characters long."}));
        w.cmdPrevious->click();
        QCOMPARE(w.currentPage, qint16(3));
        QCOMPARE(helpKeysOnHover({w.txtSource, w.cmdSource, w.grpName, w.cmdFinish}),
                 QStringList({"tasksourcefile", "browse", "taskname", "finish"}));
    }

    // Existing names are offered once each; a name typed as the start of one is stored as
    // typed, also through Enter, with Finish pressed by Enter (Esc cancels), in one task per
    // destination under the lowest free numbers, each in seven cells. A cancelled task, or one
    // whose last field cannot be stored, leaves the table as it was (empty here).
    void finishStoresWholeTasks_data() {
        QTest::addColumn<int>("question"); // its length
        QTest::addColumn<int>("added");    // none with a short question: cancelled
        QTest::newRow("finished") << 10 << 3;
        QTest::newRow("cancelled") << 10 << 0;
        QTest::newRow("question past its width") << 300 << 0;
    }
    void finishStoresWholeTasks() {
        QFETCH(int, question);
        QFETCH(int, added);
        Table t;
        for (const int n : added ? QList{0, 1, 3} : QList<int>())
            storeTask(n, n == 1 ? "existing" : "Other", "s", "d");
        const qsizetype before = taskTableBytes().size();
        frmTaskWizard w;
        w.txtSource->setText(makeFile(t.home, "a.txt"));
        t.dialogs.answers = {t.home.file("d1.txt"), t.home.file("d2.txt"), t.home.file("d3.txt")};
        for (QPushButton* button : {w.cmdNext, w.cmdAdd, w.cmdAdd, w.cmdAdd})
            button->click();
        QVERIFY(!w.cmdRemove->isEnabled());
        w.lstDestination->setCurrentRow(1); // as the arrow keys choose
        QVERIFY(w.cmdRemove->isEnabled());
        for (QPushButton* button : {w.cmdNext, w.cmdNext})
            button->click();
        w.chkConfirm->click();
        w.txtConfirmTitle->setText("Ask");
        w.txtConfirmQuestion->setText(QString(question, 'q')); // past the box's own limit
        w.cmdNext->click();
        QCOMPARE(w.cboName->count(), added ? 2 : 0);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.cboName->setFocus();
        QTest::keyClicks(w.cboName->lineEdit(), "EXIST");
        QTest::keyClick(w.cboName->lineEdit(), Qt::Key_Return);
        const bool cancel = !added && question < 256;
        // Esc cancels; Enter presses the button it is on.
        w.cmdFinish->setFocus();
        QTest::keyClick(cancel ? static_cast<QWidget*>(&w) : w.cmdFinish,
                        cancel ? Qt::Key_Escape : Qt::Key_Return);
        QCOMPARE(w.result(), int(cancel ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(t.messages.refusals().filter("Nothing was written").size(), question / 256);
        QVERIFY(db::listRecords().ok());
        QCOMPARE(db::resultCount, 2 * added); // the three there were and as many more
        for (int i = 0; i < added; ++i) {
            QVERIFY(db::readRecord(QList{2, 4, 5}[i]).ok());
            QStringList stored(db::fieldValues.begin(), db::fieldValues.begin() + slotRule + 1);
            stored << db::fieldValues[slotConfirmationOn] << db::fieldValues[slotConfirmationTitle];
            QCOMPARE(stored, QStringList({"EXIST", "", t.home.file("a.txt"),
                                          t.home.file(QString("d%1.txt").arg(i + 1)),
                                          "When the source file is changed", "1", "Ask"}));
        }
        int cells = 0;
        for (int slot : {slotTaskName, slotSourceFile, slotDestinationFile, slotRule,
                         slotConfirmationOn, slotConfirmationTitle, slotConfirmationQuestion})
            cells += 7 + taskFieldWidth(slot);
        // Those seven fields and no others; how a cell is laid out is the store's test.
        if (question < 256)
            QCOMPARE(int(taskTableBytes().size() - before), added * cells);
    }
};

QTEST_MAIN(TestTaskWizard)
#include "tst_taskwizard.moc"
