#include "../fixtures/peFixtureWriter.h"
#include "frmFileInfo.h"
#include "modFileDateTime.h"
#include "modRegistry.h"
#include "windowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

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
    // Each side shows its own file; files gone by the next refresh are no longer shown. Without
    // the box ticked a new file waits for the next refresh; the next window starts as the box
    // was left.
    void sidesShowTheirOwnFiles() {
        WindowFixture<frmFileInfo> f;
        const QString exe =
            makeFile(f.home, "tool.exe", PeFixture(false, 0x00010002, 0x00030004).bytes);
        const QString plain = makeFile(f.home, "notes.txt");
        f.w.setSourceFile(exe);
        QCOMPARE(f.w.lblSourceName->text(), "*");
        f.w.chkAutoUpdate->click();
        QCOMPARE(readSetting("InfoAutoUpdate", "x"), "1");
        f.w.setDestinationFile(plain);
        QCOMPARE(shown(f.w),
                 QStringList({"tool.exe", getFileDate(exe), getFileTime(exe), "1.02.03.04",
                              "notes.txt", getFileDate(plain), getFileTime(plain), ""}));
        QVERIFY(frmFileInfo().chkAutoUpdate->isChecked());
        f.w.chkAutoUpdate->click();
        QVERIFY(!frmFileInfo().chkAutoUpdate->isChecked());
        QVERIFY(QFile::remove(exe));
        f.w.setDestinationFile(f.home.file("copy/tool.exe"));
        QCOMPARE(shown(f.w)[4], "notes.txt");
        f.w.cmdGet->click();
        QCOMPARE(shown(f.w), notFound + notFound);
        QCOMPARE(f.w.lblSourceFile->text(), exe);
    }
};

QTEST_MAIN(TestFileInfo)
#include "tst_fileinfo.moc"
