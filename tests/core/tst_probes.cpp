#include "modDateText.h"
#include "modFileDateTime.h"
#include "testHome.h"

#include <QScopeGuard>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestProbes : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Day first, month first with a 12-hour clock, year first, dots in the time, the locale's
    // own digits, a word in the format: the texts of 3 May 2002, 14:22:10, and of midnight.
    void texts_data() {
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("de_DE") << QStringList{"03.05.2002", "14:22:10", "00:00:00"};
        QTest::newRow("en_US") << QStringList{"5/3/2002", "14:22:10", "00:00:00"};
        QTest::newRow("ja_JP") << QStringList{"2002/05/03", "14:22:10", "0:00:00"};
        QTest::newRow("fi_FI") << QStringList{"3.5.2002", "14.22.10", "0.00.00"};
        QTest::newRow("ar_EG") << QStringList{"\u0663\u200F/\u0665\u200F/\u0662\u0660\u0660\u0662",
                                              "14:22:10", "00:00:00"};
        QTest::newRow("bg_BG") << QStringList{"3.05.2002 \u0433.", "14:22:10", "00:00:00"};
    }
    // A file's date and time are the short date with four year digits and the time with
    // seconds; every date and time reads back as itself and fits its task field (25 and 10
    // bytes); texts that are no date or time read as nothing.
    void texts() {
        QFETCH(QStringList, expected);
        QLocale::setDefault(QLocale(QTest::currentDataTag()));
        QCOMPARE(QStringList({dateText(QDate(2002, 5, 3)), timeText(QTime(14, 22, 10)),
                              timeText(QTime(0, 0))}),
                 expected);
        TestHome home;
        QFile file(makeFile(home, "report.doc"));
        QVERIFY(file.open(QIODevice::Append) &&
                file.setFileTime(QDateTime(QDate(2002, 5, 3), QTime(14, 22, 10, 999)),
                                 QFileDevice::FileModificationTime));
        const FileStamp stamp =
            fileStampOf(file.fileName(), regularFileState(file.fileName()).value_or(FileState()));
        QCOMPARE(QStringList({getFileDate(file.fileName()), getFileTime(file.fileName()),
                              stamp.date, stamp.time}),
                 expected.first(2) + expected.first(2));
        // A year's days with a leap day and the turn of the century.
        for (QDate date(1999, 12, 25); date <= QDate(2001, 1, 5); date = date.addDays(1)) {
            QVERIFY2(dateText(date).toUtf8().size() <= 25, qPrintable(dateText(date)));
            QCOMPARE(readDateText(dateText(date)), std::optional(date));
        }
        for (int second = 0; second <= 24 * 3600; second += 59) {
            const QTime time = QTime(0, 0).addSecs(qMin(second, 24 * 3600 - 1));
            QVERIFY2(timeText(time).toUtf8().size() <= 10, qPrintable(timeText(time)));
            QCOMPARE(readTimeText(timeText(time)), std::optional(time));
        }
        for (const char* text : {"", "yesterday", "25:00:00", "30.02.2002"})
            QVERIFY2(!readDateText(text) && !readTimeText(text), text);
    }

    void existence_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        for (const char* name : {"plain.txt", ".config/inner.txt", "a*b.txt", "link-to-plain",
                                 "link-to-hidden", ".hidden", ".link-to-plain"})
            QTest::newRow(name) << QString(name) << true;
        for (const char* name : {"missing.txt", "folder", "*.txt", "link-to-folder", "dangling",
                                 "plain.txt/inner.txt", "plain.txt/", "pipe"})
            QTest::newRow(name) << QString(name) << false;
        QTest::newRow("empty path") << QString() << false;
        QTest::newRow("name too long") << QString(300, 'n') << false;
        // The superuser examines every folder.
        QTest::newRow("in a folder it may not examine") << "locked/inner.txt" << (geteuid() == 0);
    }
    // A plain file at exactly this path and open to examination, a dotfile too; everything else
    // is missing, and has neither date nor time nor state.
    void existence() {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        TestHome home;
        QDir dir(home.path());
        QVERIFY(dir.mkpath("folder") && dir.mkpath(".config") && dir.mkpath("locked"));
        for (const char* file :
             {"plain.txt", ".hidden", "a*b.txt", ".config/inner.txt", "locked/inner.txt"})
            makeFile(home, file);
        for (const auto& [target, link] : {std::pair{"plain.txt", "link-to-plain"},
                                           {"plain.txt", ".link-to-plain"},
                                           {".hidden", "link-to-hidden"},
                                           {"folder", "link-to-folder"},
                                           {"gone", "dangling"}})
            QVERIFY(QFile::link(home.file(target), home.file(link)));
        QCOMPARE(mkfifo(QFile::encodeName(home.file("pipe")).constData(), 0600), 0);
        const QFileDevice::Permissions open = QFile::permissions(home.file("locked"));
        QVERIFY(QFile::setPermissions(home.file("locked"), QFileDevice::WriteOwner));
        const auto unlock = qScopeGuard([&] { QFile::setPermissions(home.file("locked"), open); });
        const QString path = name.isEmpty() ? QString() : home.file(name);
        QCOMPARE(QList<bool>({fileExists(path), !getFileDate(path).isEmpty(),
                              !getFileTime(path).isEmpty(), regularFileState(path).has_value()}),
                 QList<bool>(4, exists));
    }
};

QTEST_GUILESS_MAIN(TestProbes)
#include "tst_probes.moc"
