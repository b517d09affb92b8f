#include "../fixtures/peFixtureWriter.h"
#include "frmFileInfo.h"
#include "modFileDateTime.h"
#include "modRegistry.h"
#include "windowFixture.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

// Name, date, time and version of the source, then of the destination.
QStringList shown(const frmFileInfo& w) {
    QStringList texts;
    for (const QLabel* label :
         {w.lblSourceName, w.lblSourceDate, w.lblSourceTime, w.lblSourceVersion, w.lblDestName,
          w.lblDestDate, w.lblDestTime, w.lblDestVersion})
        texts << label->text();
    return texts;
}

const QStringList notFound{"(Not Found)", "", "", ""};

} // namespace

class TestFileInfo : public QObject {
    Q_OBJECT

private slots:
    void sidesShowTheirOwnFiles() {
        WindowFixture<frmFileInfo> f;
        QCOMPARE(f.w.lblSourceName->text(), "*");
        f.w.cmdGet->click();
        QCOMPARE(shown(f.w), notFound + notFound);

        const QString exe =
            makeFile(f.home, "tool.exe", PeFixture(false, 0x00010002, 0x00030004).bytes);
        const QString plain = makeFile(f.home, "notes.txt");
        f.w.setSourceFile(exe);
        f.w.setDestinationFile(plain);
        f.w.updateScreen();
        QVERIFY(!getFileDate(exe).isEmpty());
        QCOMPARE(shown(f.w),
                 QStringList({"tool.exe", getFileDate(exe), getFileTime(exe), "1.02.03.04",
                              "notes.txt", getFileDate(plain), getFileTime(plain), ""}));
        // Files that are gone by the next refresh are no longer shown.
        QVERIFY(QFile::remove(exe));
        f.w.setDestinationFile(f.home.file("copy/tool.exe"));
        f.w.updateScreen();
        QCOMPARE(shown(f.w), notFound + notFound);

        f.w.show();
        f.w.cmdClose->click();
        QVERIFY(f.w.isHidden());
        QCOMPARE(f.w.lblSourceFile->text(), exe);
        QCOMPARE(f.w.windowTitle(), "File Comparison");
    }

    // Hidden or not, the window refreshes on a new file only with the box ticked; the next
    // window starts as the box was left.
    void autoUpdateFollowsTheCheckBox() {
        WindowFixture<frmFileInfo> f;
        const QString a = makeFile(f.home, "a.txt");
        const QString b = makeFile(f.home, "b.txt");
        QVERIFY(!f.w.chkAutoUpdate->isChecked());
        f.w.setSourceFile(a);
        QCOMPARE(f.w.lblSourceName->text(), "*");

        f.w.chkAutoUpdate->click();
        QCOMPARE(readSetting("InfoAutoUpdate", "x"), "1");
        QVERIFY(frmFileInfo().chkAutoUpdate->isChecked());
        f.w.setSourceFile(b);
        f.w.setDestinationFile(a);
        QCOMPARE(shown(f.w)[0] + shown(f.w)[4], "b.txta.txt");

        f.w.chkAutoUpdate->click();
        QCOMPARE(readSetting("InfoAutoUpdate", "x"), "0");
        QVERIFY(!frmFileInfo().chkAutoUpdate->isChecked());
        f.w.setSourceFile(a);
        QCOMPARE(f.w.lblSourceName->text(), "b.txt");
    }
};

QTEST_MAIN(TestFileInfo)
#include "tst_fileinfo.moc"
