#include "modDateText.h"
#include "modFileDateTime.h"
#include "testHome.h"

#include <QFile>
#include <QLocale>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

void makeFile(const QString& path, const QDateTime& modified = QDateTime()) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("content");
    // Written out first, or closing the file would stamp it anew.
    QVERIFY(file.flush());
    if (modified.isValid())
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

// Locales with a 12-hour clock, a 24-hour clock, the year first, other separators, their own
// digits, and literal words in their formats.
void addLocaleColumn() {
    QTest::addColumn<QString>("locale");
    for (const char* name :
         {"en_US", "de_DE", "ja_JP", "es_ES", "fi_FI", "ko_KR", "ar_EG", "fr_CA", "bg_BG", "hu_HU"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

} // namespace

class TestProbes : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void dateTextsRoundTrip_data() { addLocaleColumn(); }

    // Every date reads back as itself and fits the 25 bytes of its task field.
    void dateTextsRoundTrip() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        for (QDate date = QDate(2001, 12, 25); date <= QDate(2003, 1, 5); date = date.addDays(1)) {
            const QString text = dateText(date);
            QVERIFY2(text.toUtf8().size() <= 25, qPrintable(text));
            QCOMPARE(readDateText(text), std::optional(date));
        }
        const QString leapDay = dateText(QDate(2024, 2, 29));
        QCOMPARE(readDateText(leapDay), std::optional(QDate(2024, 2, 29)));
        QCOMPARE(readDateText(dateText(QDate(1999, 12, 31))), std::optional(QDate(1999, 12, 31)));
    }

    void timeTextsRoundTrip_data() { addLocaleColumn(); }

    // Every second of the day reads back as itself and fits the 10 bytes of its task field.
    void timeTextsRoundTrip() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        for (int second = 0; second < 24 * 3600; second += 59) {
            const QTime time = QTime(0, 0).addSecs(second);
            const QString text = timeText(time);
            QVERIFY2(text.toUtf8().size() <= 10, qPrintable(text));
            QCOMPARE(readTimeText(text), std::optional(time));
        }
        QCOMPARE(readTimeText(timeText(QTime(23, 59, 59))), std::optional(QTime(23, 59, 59)));
    }

    void textsOfOneMoment_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("midnight");
        QTest::newRow("es_ES d/M/yyyy") << "es_ES"
                                        << "3/5/2002"
                                        << "14:22:10"
                                        << "0:00:00";
        QTest::newRow("en_US 12-hour clock") << "en_US"
                                             << "5/3/2002"
                                             << "14:22:10"
                                             << "00:00:00";
        QTest::newRow("de_DE") << "de_DE"
                               << "03.05.2002"
                               << "14:22:10"
                               << "00:00:00";
        QTest::newRow("ja_JP") << "ja_JP"
                               << "2002/05/03"
                               << "14:22:10"
                               << "0:00:00";
        QTest::newRow("fi_FI") << "fi_FI"
                               << "3.5.2002"
                               << "14.22.10"
                               << "0.00.00";
        QTest::newRow("fr_CA words between the fields") << "fr_CA"
                                                        << "2002-05-03"
                                                        << "14:22:10"
                                                        << "00:00:00";
    }

    // 3 May 2002 at 14:22:10: the short date with four year digits, the time with seconds.
    void textsOfOneMoment() {
        QFETCH(QString, locale);
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, midnight);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(dateText(QDate(2002, 5, 3)), date);
        QCOMPARE(timeText(QTime(14, 22, 10)), time);
        QCOMPARE(timeText(QTime(0, 0)), midnight);
    }

    void unreadableTextsGiveNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("word") << QStringLiteral("yesterday");
        QTest::newRow("hour 25") << QStringLiteral("25:00:00");
        QTest::newRow("30 February") << QStringLiteral("30.02.2002");
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
        QTest::newRow("plain file") << "plain.txt" << true;
        QTest::newRow("empty path") << QString() << false;
        QTest::newRow("missing") << "missing.txt" << false;
        QTest::newRow("hidden") << ".hidden" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("file in hidden folder") << ".config/inner.txt" << true;
        QTest::newRow("star in name") << "a*b.txt" << true;
        QTest::newRow("star as pattern") << "*.txt" << false;
        QTest::newRow("question mark as pattern") << "plain.tx?" << false;
        QTest::newRow("link to file") << "link-to-plain" << true;
        QTest::newRow("hidden link to file") << ".link-to-plain" << false;
        QTest::newRow("link to hidden file") << "link-to-hidden" << true;
        QTest::newRow("link to folder") << "link-to-folder" << false;
        QTest::newRow("dangling link") << "dangling" << false;
        QTest::newRow("through a file") << "plain.txt/inner.txt" << false;
        QTest::newRow("trailing separator") << "plain.txt/" << false;
        QTest::newRow("name too long") << QString(300, QLatin1Char('n')) << false;
#ifdef Q_OS_UNIX
        QTest::newRow("pipe") << "pipe" << false;
#endif
    }

    // A plain file that is not hidden, at exactly this path; everything else is missing.
    void existence() {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        TestHome home;
        QDir dir(home.path());
        QVERIFY(dir.mkpath(QStringLiteral("folder")) && dir.mkpath(QStringLiteral(".config")));
        for (const char* file : {"plain.txt", ".hidden", "a*b.txt", ".config/inner.txt"})
            makeFile(home.file(QString::fromLatin1(file)));
        QVERIFY(QFile::link(home.file(QStringLiteral("plain.txt")),
                            home.file(QStringLiteral("link-to-plain"))));
        QVERIFY(QFile::link(home.file(QStringLiteral("plain.txt")),
                            home.file(QStringLiteral(".link-to-plain"))));
        QVERIFY(QFile::link(home.file(QStringLiteral(".hidden")),
                            home.file(QStringLiteral("link-to-hidden"))));
        QVERIFY(QFile::link(home.file(QStringLiteral("folder")),
                            home.file(QStringLiteral("link-to-folder"))));
        QVERIFY(
            QFile::link(home.file(QStringLiteral("gone")), home.file(QStringLiteral("dangling"))));
#ifdef Q_OS_UNIX
        QCOMPARE(mkfifo(QFile::encodeName(home.file(QStringLiteral("pipe"))).constData(), 0600), 0);
#endif
        const QString path = name.isEmpty() ? QString() : home.file(name);
        QCOMPARE(fileExists(path), exists);
        QCOMPARE(getFileDate(path).isEmpty(), !exists);
        QCOMPARE(getFileTime(path).isEmpty(), !exists);
    }

    // A file the program may not examine is missing to it.
    void fileInUnreadableFolderIsMissing() {
#ifdef Q_OS_UNIX
        if (geteuid() == 0)
            QSKIP("the superuser examines every folder");
        TestHome home;
        QDir(home.path()).mkdir(QStringLiteral("locked"));
        const QString path = home.file(QStringLiteral("locked/inner.txt"));
        makeFile(path);
        QVERIFY(fileExists(path));
        QVERIFY(
            QFile::setPermissions(home.file(QStringLiteral("locked")), QFileDevice::WriteOwner));
        const bool existsLocked = fileExists(path);
        const QString dateLocked = getFileDate(path);
        QFile::setPermissions(home.file(QStringLiteral("locked")), QFileDevice::ReadOwner |
                                                                       QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner);
        QVERIFY(!existsLocked);
        QCOMPARE(dateLocked, QString());
#else
        QSKIP("folder permissions are a Unix matter");
#endif
    }

    void fileTimeStampTexts_data() {
        QTest::addColumn<QDateTime>("modified");
        QTest::newRow("afternoon") << QDateTime(QDate(2002, 5, 3), QTime(14, 22, 10));
        QTest::newRow("midnight") << QDateTime(QDate(2002, 5, 3), QTime(0, 0));
        QTest::newRow("last second of a year")
            << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999));
    }

    // The local date and time of the last change, to the second, the same at every call.
    void fileTimeStampTexts() {
        QFETCH(QDateTime, modified);
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        TestHome home;
        const QString path = home.file(QStringLiteral("stamped.txt"));
        makeFile(path, modified);
        QCOMPARE(getFileDate(path), dateText(modified.date()));
        QCOMPARE(getFileTime(path), timeText(modified.time()));
        QCOMPARE(readTimeText(getFileTime(path)),
                 std::optional(QTime(modified.time().hour(), modified.time().minute(),
                                     modified.time().second())));
        QCOMPARE(getFileTime(path), getFileTime(path));

        const std::optional<FileStamp> stamp = getFileStamp(path);
        QVERIFY(stamp);
        QCOMPARE(stamp->date, getFileDate(path));
        QCOMPARE(stamp->time, getFileTime(path));
        QVERIFY(!getFileStamp(home.file(QStringLiteral("missing.txt"))));
        QVERIFY(!getFileStamp(home.path()));
    }

    void spanishExampleFromAFile() {
        QLocale::setDefault(QLocale(QStringLiteral("es_ES")));
        TestHome home;
        const QString path = home.file(QStringLiteral("report.doc"));
        makeFile(path, QDateTime(QDate(2002, 5, 3), QTime(14, 22, 10)));
        QCOMPARE(getFileDate(path), QStringLiteral("3/5/2002"));
        QCOMPARE(getFileTime(path), QStringLiteral("14:22:10"));
    }
};

QTEST_GUILESS_MAIN(TestProbes)
#include "tst_probes.moc"
