#include "modDateText.h"
#include "modFileDateTime.h"
#include "testHome.h"

#include <QFile>
#include <QLocale>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestProbes : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Locales with a 12-hour clock, a 24-hour clock, the year first, other separators, their
    // own digits, and literal words in their formats.
    void textsRoundTrip_data() {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"en_US", "de_DE", "ja_JP", "es_ES", "fi_FI", "ko_KR", "ar_EG",
                                 "fr_CA", "bg_BG", "hu_HU"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    // Every date and time reads back as itself and fits its task field: 25 and 10 bytes.
    void textsRoundTrip() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        QList<QDate> dates{QDate(2024, 2, 29), QDate(1999, 12, 31)};
        for (QDate date = QDate(2001, 12, 25); date <= QDate(2003, 1, 5); date = date.addDays(1))
            dates << date;
        for (const QDate& date : dates) {
            QVERIFY2(dateText(date).toUtf8().size() <= 25, qPrintable(dateText(date)));
            QCOMPARE(readDateText(dateText(date)), std::optional(date));
        }
        for (int second = 0; second < 24 * 3600; second += 59) {
            const QTime time = QTime(0, 0).addSecs(second);
            QVERIFY2(timeText(time).toUtf8().size() <= 10, qPrintable(timeText(time)));
            QCOMPARE(readTimeText(timeText(time)), std::optional(time));
        }
        QCOMPARE(readTimeText(timeText(QTime(23, 59, 59))), std::optional(QTime(23, 59, 59)));
    }

    void textsOfOneMoment_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("midnight");
        const auto row = [](const char* locale, const char* date, const char* time,
                            const char* midnight) {
            QTest::newRow(locale) << QString(locale) << QString(date) << QString(time)
                                  << QString(midnight);
        };
        row("es_ES", "3/5/2002", "14:22:10", "0:00:00");
        row("en_US", "5/3/2002", "14:22:10", "00:00:00");
        row("de_DE", "03.05.2002", "14:22:10", "00:00:00");
        row("ja_JP", "2002/05/03", "14:22:10", "0:00:00");
        row("fi_FI", "3.5.2002", "14.22.10", "0.00.00");
        row("fr_CA", "2002-05-03", "14:22:10", "00:00:00");
    }
    // 3 May 2002 at 14:22:10: the short date with four year digits, the time with seconds
    // on a 24-hour clock, as the dates and times of a file show them.
    void textsOfOneMoment() {
        QFETCH(QString, locale);
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, midnight);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(dateText(QDate(2002, 5, 3)), date);
        QCOMPARE(timeText(QTime(14, 22, 10)), time);
        QCOMPARE(timeText(QTime(0, 0)), midnight);
        TestHome home;
        const QString path = makeFile(home, "report.doc");
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append) &&
                file.setFileTime(QDateTime(QDate(2002, 5, 3), QTime(14, 22, 10, 999)),
                                 QFileDevice::FileModificationTime));
        QCOMPARE(getFileDate(path), date);
        QCOMPARE(getFileTime(path), time);
        const std::optional<FileStamp> stamp = getFileStamp(path);
        QVERIFY(stamp && stamp->date == date && stamp->time == time);
    }

    void unreadableTextsGiveNothing_data() {
        QTest::addColumn<QString>("text");
        for (const char* text : {"", "yesterday", "25:00:00", "30.02.2002"})
            QTest::newRow(*text ? text : "empty") << QString(text);
    }
    void unreadableTextsGiveNothing() {
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        QCOMPARE(readDateText(text), std::nullopt);
        QCOMPARE(readTimeText(text), std::nullopt);
    }

    void existence_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        for (const char* name :
             {"plain.txt", ".config/inner.txt", "a*b.txt", "link-to-plain", "link-to-hidden"})
            QTest::newRow(name) << QString(name) << true;
        for (const char* name :
             {"missing.txt", ".hidden", "folder", "*.txt", "plain.tx?", ".link-to-plain",
              "link-to-folder", "dangling", "plain.txt/inner.txt", "plain.txt/", "pipe"})
            QTest::newRow(name) << QString(name) << false;
        QTest::newRow("empty path") << QString() << false;
        QTest::newRow("name too long") << QString(300, 'n') << false;
    }
    // A plain file that is not hidden, at exactly this path; everything else is missing, and
    // has neither date nor time nor stamp.
    void existence() {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        TestHome home;
        QDir dir(home.path());
        QVERIFY(dir.mkpath("folder") && dir.mkpath(".config"));
        for (const char* file : {"plain.txt", ".hidden", "a*b.txt", ".config/inner.txt"})
            makeFile(home, file);
        const QList<std::pair<const char*, const char*>> links = {{"plain.txt", "link-to-plain"},
                                                                  {"plain.txt", ".link-to-plain"},
                                                                  {".hidden", "link-to-hidden"},
                                                                  {"folder", "link-to-folder"},
                                                                  {"gone", "dangling"}};
        for (const auto& [target, link] : links)
            QVERIFY(QFile::link(home.file(target), home.file(link)));
        QCOMPARE(mkfifo(QFile::encodeName(home.file("pipe")).constData(), 0600), 0);
        const QString path = name.isEmpty() ? QString() : home.file(name);
        QCOMPARE(fileExists(path), exists);
        QCOMPARE(getFileDate(path).isEmpty(), !exists);
        QCOMPARE(getFileTime(path).isEmpty(), !exists);
        QCOMPARE(getFileStamp(path).has_value(), exists);
    }

    // A file the program may not examine is missing to it.
    void fileInUnreadableFolderIsMissing() {
        if (geteuid() == 0)
            QSKIP("the superuser examines every folder");
        TestHome home;
        QDir(home.path()).mkdir("locked");
        const QString path = makeFile(home, "locked/inner.txt");
        QVERIFY(fileExists(path));
        QVERIFY(QFile::setPermissions(home.file("locked"), QFileDevice::WriteOwner));
        const bool existsLocked = fileExists(path);
        const QString dateLocked = getFileDate(path);
        QFile::setPermissions(home.file("locked"), QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
        QVERIFY(!existsLocked);
        QCOMPARE(dateLocked, QString());
    }
};

QTEST_GUILESS_MAIN(TestProbes)
#include "tst_probes.moc"
