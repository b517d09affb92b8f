#include "frmTaskEditor.h"
#include "helpHover.h"
#include "modCommonDialogAPI.h"
#include "modMessageBox.h"
#include "modRules.h"
#include "testHome.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

namespace {

struct Shown {
    MessageKind kind;
    QString text;
};

QString missingFile(const TestHome& home) {
    return home.file(QStringLiteral("missing.txt"));
}

} // namespace

class TestTaskEditor : public QObject {
    Q_OBJECT

private:
    QList<Shown> shown;
    bool answer = true;

    void recordMessages() {
        shown.clear();
        setMessageResponder([this](MessageKind kind, const QString&, const QString& text) {
            shown.append({kind, text});
            return answer;
        });
    }

private slots:
    void init() {
        answer = true;
        recordMessages();
    }
    void cleanup() {
        setMessageResponder({});
        setFileDialogResponder({});
    }

    void startsFromInitialStates() {
        frmTaskEditor editor;
        QCOMPARE(editor.Tag, QStringLiteral("cancel"));
        QCOMPARE(editor.cboRule->count(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(editor.cboRule->itemText(i), ruleTexts().at(i));
        QCOMPARE(editor.cboRule->currentIndex(), 0);
        QVERIFY(!editor.chkConfirm->isChecked());
        QVERIFY(!editor.txtConfirmTitle->isEnabled());
        QCOMPARE(editor.txtConfirmTitle->text(), QStringLiteral("Tidewell"));
        QVERIFY(editor.findChild<QLineEdit*>(QStringLiteral("txtConfirmQuestion")));
        QVERIFY(editor.findChild<QPushButton*>(QStringLiteral("cmdOK")));
    }

    void okChecksInOrder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("rule");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        const QString noName =
            "You have not entered a name.  All tasks must have a name associated with them.  "
            "This name is used to identify the task.";
        QTest::newRow("everything empty: name first") << ""
                                                      << ""
                                                      << "" << 0 << noName << "txtName";
        QTest::newRow("no source") << "n"
                                   << ""
                                   << "d" << 0
                                   << "You have not entered a source file.  Please check and "
                                      "try again."
                                   << "txtSource";
        QTest::newRow("no destination") << "n"
                                        << "s"
                                        << "" << 0
                                        << "You have not entered a destination file.  Please "
                                           "check and try again."
                                        << "txtDestination";
        QTest::newRow("same file") << "n"
                                   << "/tmp/a/../same"
                                   << "/tmp/same" << 1
                                   << "The source file that you have selected is the same as "
                                      "the destination file.  Please check and try again."
                                   << "txtDestination";
        QTest::newRow("version rule, missing source")
            << "n"
            << "/nonexistent/x.exe"
            << "/tmp/y" << 1
            << "A version number could not be extracted from the source file you selected.  "
               "Please choose a different file and try again."
            << "txtSource";
    }
    void okChecksInOrder() {
        QFETCH(QString, name);
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(int, rule);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        frmTaskEditor editor;
        editor.show();
        editor.txtName->setText(name);
        editor.txtSource->setText(source);
        editor.txtDestination->setText(destination);
        editor.cboRule->setCurrentIndex(rule);
        QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, MessageKind::refusal);
        QCOMPARE(shown.first().text, message);
        QCOMPARE(editor.Tag, QStringLiteral("cancel"));
        QVERIFY(editor.isVisible());
        QCOMPARE(editor.focusWidget() ? editor.focusWidget()->objectName() : QString(), focus);
    }

    void blankNameAndMissingSourceAcceptedOnYes() {
        TestHome home;
        frmTaskEditor editor;
        editor.txtName->setText(QStringLiteral("   "));
        editor.txtSource->setText(missingFile(home));
        editor.txtDestination->setText(home.file(QStringLiteral("dest.txt")));
        editor.okCheck();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, MessageKind::question);
        QCOMPARE(shown.first().text, QStringLiteral("The source file you have entered does not "
                                                    "exist.  Are you sure that you want to use "
                                                    "this file?"));
        QCOMPARE(editor.Tag, QStringLiteral("ok"));
    }

    void missingSourceNoKeepsWindowOpen() {
        TestHome home;
        answer = false;
        frmTaskEditor editor;
        editor.show();
        editor.txtName->setText(QStringLiteral("n"));
        editor.txtSource->setText(missingFile(home));
        editor.txtDestination->setText(home.file(QStringLiteral("dest.txt")));
        editor.okCheck();
        QCOMPARE(editor.Tag, QStringLiteral("cancel"));
        QVERIFY(editor.isVisible());
        QCOMPARE(editor.focusWidget(), editor.txtSource);
    }

    void sameFileFollowsThePlatform() {
        TestHome home;
        const QString source = makeFile(home, QStringLiteral("a.txt"));
        const QString link = home.file(QStringLiteral("link.txt"));
        QVERIFY(QFile::link(source, link));
        const QString hard = home.file(QStringLiteral("hard.txt"));
        QVERIFY(::link(QFile::encodeName(source).constData(),
                       QFile::encodeName(hard).constData()) == 0);
        QVERIFY(isSameFile(source, link));
        QVERIFY(isSameFile(source, hard));
        QVERIFY(isSameFile(source, home.path() + QStringLiteral("/sub/../a.txt")));
        // On this platform upper and lower case name different files.
        QVERIFY(!isSameFile(source, home.file(QStringLiteral("A.txt"))));
        QVERIFY(!isSameFile(source, home.file(QStringLiteral("b.txt"))));
    }

    void newerRuleTurnsConfirmationOff() {
        TestHome home;
        frmTaskEditor editor;
        editor.fillFields(QStringLiteral("n"), makeFile(home, QStringLiteral("s.txt")),
                          home.file(QStringLiteral("d.txt")), ruleTexts().at(ruleSourceNewer), true,
                          QStringLiteral("T"), QStringLiteral("Q"));
        QVERIFY(editor.txtConfirmTitle->isEnabled());
        editor.okCheck();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, MessageKind::notice);
        QCOMPARE(shown.first().text,
                 QStringLiteral("Because of the nature of the update rule you have selected, "
                                "confirmation cannot be enabled.  Confirmation will be turned "
                                "off."));
        QCOMPARE(editor.Tag, QStringLiteral("ok"));
        QCOMPARE(editor.confirmationText(), QStringLiteral("0"));
        QVERIFY(!editor.txtConfirmTitle->isEnabled());
    }

    void otherRulesKeepConfirmation() {
        TestHome home;
        frmTaskEditor editor;
        editor.fillFields(QStringLiteral("n"), makeFile(home, QStringLiteral("s.txt")),
                          home.file(QStringLiteral("d.txt")), ruleTexts().at(ruleEveryDay), true,
                          QStringLiteral("T"), QStringLiteral("Q"));
        editor.okCheck();
        QVERIFY(shown.isEmpty());
        QCOMPARE(editor.confirmationText(), QStringLiteral("1"));
    }

    void unknownStoredRuleSelectsFirst() {
        frmTaskEditor editor;
        editor.fillFields({}, {}, {}, QStringLiteral("every DAY"), false, {}, {});
        QCOMPARE(editor.cboRule->currentIndex(), int(ruleEveryDay));
        editor.fillFields({}, {}, {}, QStringLiteral("no such rule"), false, {}, {});
        QCOMPARE(editor.cboRule->currentIndex(), 0);
    }

    void enterInRuleListRunsOk() {
        frmTaskEditor editor;
        editor.show();
        editor.cboRule->setFocus();
        QTest::keyClick(editor.cboRule, Qt::Key_Return);
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().text.startsWith(QStringLiteral("You have not entered a name.")));
    }

    void cancelAndCloseKeepTag() {
        frmTaskEditor editor;
        editor.show();
        QTest::mouseClick(editor.cmdCancel, Qt::LeftButton);
        QVERIFY(!editor.isVisible());
        editor.show();
        editor.close();
        QVERIFY(!editor.isVisible());
        QCOMPARE(editor.Tag, QStringLiteral("cancel"));
    }

    void fieldsRefuseInputPastTheirByteWidth() {
        frmTaskEditor editor;
        // Typing or pasting both go through insert(): 127 two-byte characters fill 254 bytes,
        // so one more needs 256 and is refused while a one-byte character still fits.
        const QString nearlyFull(127, QChar(0x00e9));
        editor.txtName->insert(nearlyFull);
        QCOMPARE(editor.txtName->text().toUtf8().size(), 254);
        editor.txtName->insert(QString(QChar(0x00e9)));
        QCOMPARE(editor.txtName->text(), nearlyFull);
        editor.txtName->insert(QStringLiteral("a"));
        QCOMPARE(editor.txtName->text().toUtf8().size(), 255);
        // 255 three-byte characters pasted at once are refused whole, never cut.
        editor.txtSource->insert(QString(255, QChar(0x20ac)));
        QVERIFY(editor.txtSource->text().isEmpty());
        editor.txtConfirmTitle->clear();
        editor.txtConfirmTitle->insert(QString(51, QLatin1Char('x')));
        QVERIFY(editor.txtConfirmTitle->text().isEmpty());
        editor.txtConfirmTitle->insert(QString(50, QLatin1Char('x')));
        QCOMPARE(editor.txtConfirmTitle->text().size(), 50);
    }

    void okRefusesTextSetPastTheWidth() {
        TestHome home;
        frmTaskEditor editor;
        editor.fillFields(QString(200, QChar(0x00e9)), makeFile(home, QStringLiteral("s.txt")),
                          home.file(QStringLiteral("d.txt")), {}, false, {}, {});
        editor.okCheck();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().text.contains(QStringLiteral("TaskName")));
        QCOMPARE(editor.Tag, QStringLiteral("cancel"));
    }

    void browseButtonsPreFillFromTheirBoxes() {
        QList<FileDialogRequest> requests;
        const QString chosen = QDir::temp().filePath(QStringLiteral("chosen"));
        setFileDialogResponder([&](const FileDialogRequest& request) {
            requests.append(request);
            return chosen;
        });
        frmTaskEditor editor;
        editor.txtSource->setText(QStringLiteral("/data/src.txt"));
        QTest::mouseClick(editor.cmdDestination, Qt::LeftButton);
        QCOMPARE(requests.last().kind, FileDialogKind::save);
        QCOMPARE(requests.last().title, QStringLiteral("Destination File"));
        QCOMPARE(requests.last().initialPath, QStringLiteral("/data/src.txt"));
        QCOMPARE(editor.txtDestination->text(), chosen);
        QTest::mouseClick(editor.cmdSource, Qt::LeftButton);
        QCOMPARE(requests.last().kind, FileDialogKind::open);
        QCOMPARE(requests.last().title, QStringLiteral("Source File"));
        QCOMPARE(editor.txtSource->text(), chosen);
        setFileDialogResponder([](const FileDialogRequest&) { return QString(); });
        QTest::mouseClick(editor.cmdSource, Qt::LeftButton);
        QCOMPARE(editor.txtSource->text(), chosen);
    }

    void keyboardFollowsTheLayout() {
        frmTaskEditor editor;
        QStringList order;
        QWidget* widget = editor.txtName;
        for (int step = 0; step < 40 && order.size() < 11; ++step) {
            if (widget->focusPolicy() & Qt::TabFocus)
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        }
        QCOMPARE(order, QStringList({"txtName", "txtSource", "cmdSource", "txtDestination",
                                     "cmdDestination", "cboRule", "chkConfirm", "txtConfirmTitle",
                                     "txtConfirmQuestion", "cmdOK", "cmdCancel"}));
        for (QLabel* label : editor.grpFiles->findChildren<QLabel*>()) {
            QTest::mouseClick(label, Qt::LeftButton);
            QCOMPARE(editor.focusWidget(), label->buddy());
        }
    }

    void hoverHelpKeys() {
        QStringList keys;
        setHelpHandler([&](const QString& key) { keys.append(key); });
        frmTaskEditor editor;
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        const QList<QWidget*> hovered = {editor.txtName, editor.cmdSource, editor.grpRule,
                                         editor.chkConfirm};
        for (QWidget* widget : hovered) {
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QApplication::sendEvent(widget, &enter);
        }
        setHelpHandler({});
        QCOMPARE(keys, (QStringList{"taskname", "browse", "taskrule", "taskconfirm"}));
        if (!qEnvironmentVariableIsEmpty("TIDEWELL_SCREENSHOTS"))
            editor.grab().save(QStringLiteral("/tmp/tidewell-editor.png"));
    }
};

QTEST_MAIN(TestTaskEditor)
#include "tst_taskeditor.moc"
