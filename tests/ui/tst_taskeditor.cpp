#include "fileDialogAnswers.h"
#include "frmTaskEditor.h"
#include "modRules.h"
#include "windowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <unistd.h>

class TestTaskEditor : public QObject {
    Q_OBJECT

private slots:
    // "fields" are the name, source, destination and rule (none: the first); "$" stands for the
    // test's folder, which holds s.txt; a stored rule is matched without regard to case. The
    // question is answered Yes when the row ends accepted ("ok" and the confirmation); a
    // refusal focuses the field at fault.
    void okChecksInOrder_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("result");
        const QString missing = "The source file you have entered does not exist.  Are you sure "
                                "that you want to use this file?";
        const QString same = "The source file that you have selected is the same as the "
                             "destination file.  Please check and try again.";
        const QString versionRule = ruleTexts().at(ruleVersionChanged);
        const auto row = [](const char* tag, const QStringList& fields, const QString& message,
                            const QString& result) {
            QTest::newRow(tag) << fields << message << result;
        };
        row("everything empty: name first", {"", "", "", ""},
            "You have not entered a name.  All tasks must have a name associated with them.  "
            "This name is used to identify the task.",
            "txtName");
        row("no source", {"n", "", "d", ""},
            "You have not entered a source file.  Please check and try again.", "txtSource");
        row("no destination", {"n", "s", "", ""},
            "You have not entered a destination file.  Please check and try again.",
            "txtDestination");
        row("destination without its folder", {"n", "$/s.txt", "s.txt", ""},
            "The destination file must include its full folder, not just a file name.  Please "
            "check and try again.",
            "txtDestination");
        row("same file, before the version", {"n", "$/sub/../s.txt", "$/s.txt", versionRule}, same,
            "txtDestination");
        row("same file through a link", {"n", "$/s.txt", "$/link.txt", ""}, same, "txtDestination");
        row("same file through a hard link", {"n", "$/hard.txt", "$/s.txt", ""}, same,
            "txtDestination");
        // On this platform upper and lower case name different files.
        row("case tells files apart", {"n", "$/s.txt", "$/S.txt", ""}, "", "ok1");
        row("version rule, missing source", {"n", "$/x.exe", "$/d", versionRule},
            "A version number could not be extracted from the source file you selected.  Please "
            "choose a different file and try again.",
            "txtSource");
        row("name past its width", {QString(200, QChar(0x00e9)), "$/s.txt", "$/d", ""},
            "The text entered for TaskName is longer than 255 bytes.  Please shorten it and try "
            "again.",
            "txtName");
        row("blank name, missing source: yes", {"  ", "$/x", "$/d", ""}, missing, "ok1");
        row("missing source: no", {"n", "$/x", "$/d", ""}, missing, "txtSource");
        row("newer rule turns confirmation off",
            {"n", "$/s.txt", "$/d", ruleTexts().at(ruleSourceNewer).toUpper()},
            "Because of the nature of the update rule you have selected, confirmation cannot be "
            "enabled.  Confirmation will be turned off.",
            "ok0");
        row("other rules keep confirmation", {"n", "$/s.txt", "$/d", "every DAY"}, "", "ok1");
    }
    void okChecksInOrder() {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        QFETCH(QString, result);
        WindowFixture<frmTaskEditor> f;
        const QByteArray source = QFile::encodeName(makeFile(f.home, "s.txt"));
        QVERIFY(QFile::link(source, f.home.file("link.txt")));
        QVERIFY(::link(source.constData(),
                       QFile::encodeName(f.home.file("hard.txt")).constData()) == 0);
        const bool accepted = f.messages.answer = result.startsWith("ok");
        fields.replaceInStrings("$", f.home.path());
        f.w.fillFields(fields[0], fields[1], fields[2], fields[3], true, "T", "Q");
        f.w.show();
        QTest::mouseClick(f.w.cmdOK, Qt::LeftButton);
        QCOMPARE(f.messages.shown.size(), int(!message.isEmpty()));
        QCOMPARE(f.messages.shown.value(0).text, message);
        QCOMPARE(f.w.isVisible(), !accepted);
        QCOMPARE(accepted ? f.w.Tag + f.w.confirmationText() : f.w.focusWidget()->objectName(),
                 result);
    }

    // Tab follows the layout; a click on a label focuses its field; Enter in the rule list runs
    // OK, on a button presses it. Typed or pasted text whose UTF-8 form passes a field's width is
    // refused whole. The destination's dialog starts from the source while there is no destination;
    // a cancelled dialog leaves the box as it was. Cancel and the frame's close box leave Tag as it
    // was; hover help follows the mouse. The question shows its start.
    void keyboardMouseAndLeaving() {
        WindowFixture<frmTaskEditor> f;
        QCOMPARE(f.w.txtConfirmQuestion->cursorPosition(), 0);
        QStringList order;
        for (QWidget* w = f.w.txtName; !order.contains(w->objectName()); w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->objectName();
        QCOMPARE(order, QStringList({"txtName", "txtSource", "cmdSource", "txtDestination",
                                     "cmdDestination", "cboRule", "chkConfirm", "txtConfirmTitle",
                                     "txtConfirmQuestion", "cmdOK", "cmdCancel"}));
        for (QLabel* label : f.w.grpFiles->findChildren<QLabel*>()) {
            QTest::mouseClick(label, Qt::LeftButton);
            QCOMPARE(f.w.focusWidget(), label->buddy());
        }
        f.w.show();
        QTest::keyClick(f.w.cboRule, Qt::Key_Return);
        QCOMPARE(f.messages.refusals().size(), 1);
        const QString nearlyFull(127, QChar(0x00e9)); // 254 bytes
        for (const QString& typed : {nearlyFull, QString(QChar(0x00e9)), QString("a")})
            f.w.txtName->insert(typed);
        QCOMPARE(f.w.txtName->text(), nearlyFull + "a");
        for (const QString& typed : {QString(255, QChar(0x20ac)), QString("/data/src.txt")})
            f.w.txtSource->insert(typed);
        FileDialogAnswers dialogs({"/tmp/d", "/tmp/s"});
        for (QPushButton* button : {f.w.cmdDestination, f.w.cmdSource, f.w.cmdSource})
            QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(dialogs.requests[0].kind == FileDialogKind::save &&
                dialogs.requests[1].kind == FileDialogKind::open);
        QCOMPARE(dialogs.requests[0].initialPath, QStringLiteral("/data/src.txt"));
        QCOMPARE(f.w.txtDestination->text() + f.w.txtSource->text(), "/tmp/d/tmp/s");
        f.w.cmdCancel->setFocus();
        QTest::keyClick(f.w.cmdCancel, Qt::Key_Return);
        QVERIFY(!f.w.isVisible());
        f.w.show();
        f.w.close();
        QVERIFY(!f.w.isVisible());
        QCOMPARE(f.w.Tag, QStringLiteral("cancel"));
        QCOMPARE(helpKeysOnHover({f.w.txtName, f.w.cmdSource, f.w.grpRule, f.w.chkConfirm}),
                 QStringList({"taskname", "browse", "taskrule", "taskconfirm"}));
    }
};

QTEST_MAIN(TestTaskEditor)
#include "tst_taskeditor.moc"
