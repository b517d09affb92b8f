#include "../fixtures/peFixtureWriter.h"
#include "frmFileInfo.h"
#include "modFileDateTime.h"
#include "modRegistry.h"
#include "testHome.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestFileInfo : public QObject {
    Q_OBJECT

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    static QStringList side(QLabel* name, QLabel* date, QLabel* time, QLabel* version) {
        return {name->text(), date->text(), time->text(), version->text()};
    }
    static QStringList source(const frmFileInfo& w) {
        return side(w.lblSourceName, w.lblSourceDate, w.lblSourceTime, w.lblSourceVersion);
    }
    static QStringList destination(const frmFileInfo& w) {
        return side(w.lblDestName, w.lblDestDate, w.lblDestTime, w.lblDestVersion);
    }
    static const QStringList notFound() { return {"(Not Found)", "", "", ""}; }

private slots:
    void refreshBeforeAnyTaskShowsNotFound() {
        TestHome home;
        frmFileInfo w;
        QCOMPARE(w.lblSourceName->text(), QStringLiteral("*"));
        w.cmdGet->click();
        QCOMPARE(source(w), notFound());
        QCOMPARE(destination(w), notFound());
    }

    void sidesShowTheirOwnFiles() {
        TestHome home;
        const QString exe = home.file("tool.exe");
        const QString plain = home.file("notes.txt");
        writeFile(exe, PeFixture(false, 0x00010002, 0x00030004).bytes);
        writeFile(plain, "no version here");
        frmFileInfo w;
        w.setSourceFile(exe);
        w.setDestinationFile(plain);
        w.updateScreen();
        QCOMPARE(source(w),
                 QStringList({"tool.exe", getFileDate(exe), getFileTime(exe), "1.02.03.04"}));
        QVERIFY(!w.lblSourceDate->text().isEmpty());
        QCOMPARE(destination(w),
                 QStringList({"notes.txt", getFileDate(plain), getFileTime(plain), ""}));
    }

    void missingDestinationEmptiesItsValues() {
        TestHome home;
        const QString exe = home.file("tool.exe");
        writeFile(exe, PeFixture(true, 0x00050001, 0).bytes);
        frmFileInfo w;
        w.setSourceFile(exe);
        w.setDestinationFile(home.file("copy/tool.exe"));
        w.updateScreen();
        QCOMPARE(w.lblSourceVersion->text(), QStringLiteral("5.01.0000"));
        QCOMPARE(destination(w), notFound());
        // A file that disappears between two refreshes is no longer shown.
        QVERIFY(QFile::remove(exe));
        w.updateScreen();
        QCOMPARE(source(w), notFound());
    }

    void autoUpdateFollowsTheCheckBox() {
        TestHome home;
        const QString a = home.file("a.txt");
        const QString b = home.file("b.txt");
        writeFile(a, "a");
        writeFile(b, "b");
        frmFileInfo w;
        QVERIFY(!w.chkAutoUpdate->isChecked());
        w.setSourceFile(a);
        QCOMPARE(w.lblSourceName->text(), QStringLiteral("*"));

        w.chkAutoUpdate->click();
        QCOMPARE(readSetting("InfoAutoUpdate", "x"), QStringLiteral("1"));
        w.setSourceFile(b);
        QCOMPARE(w.lblSourceName->text(), QStringLiteral("b.txt"));
        // Hidden windows refresh too.
        QVERIFY(w.isHidden());
        w.setDestinationFile(a);
        QCOMPARE(w.lblDestName->text(), QStringLiteral("a.txt"));

        w.chkAutoUpdate->click();
        QCOMPARE(readSetting("InfoAutoUpdate", "x"), QStringLiteral("0"));
        w.setSourceFile(a);
        QCOMPARE(w.lblSourceName->text(), QStringLiteral("b.txt"));
    }

    void nextWindowStartsWithTheStoredState() {
        TestHome home;
        writeSetting("InfoAutoUpdate", "1");
        QVERIFY(frmFileInfo().chkAutoUpdate->isChecked());
        writeSetting("InfoAutoUpdate", "0");
        QVERIFY(!frmFileInfo().chkAutoUpdate->isChecked());
    }

    void closeHidesAndKeepsThePaths() {
        TestHome home;
        frmFileInfo w;
        w.setSourceFile(home.file("x"));
        w.show();
        w.cmdClose->click();
        QVERIFY(w.isHidden());
        QCOMPARE(w.lblSourceFile->text(), home.file("x"));
        QCOMPARE(w.windowTitle(), QStringLiteral("File Comparison"));
    }
};

QTEST_MAIN(TestFileInfo)
#include "tst_fileinfo.moc"
