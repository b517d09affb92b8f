#include "modFileLaunch.h"
#include "modPaths.h"
#include "testHome.h"

#include <QDesktopServices>
#include <QtTest>

namespace {

// Stands in for the desktop's openers and keeps what they were asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() {
        for (const char* scheme : {"file", "http", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlCatcher() override {
        for (const char* scheme : {"file", "http", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

class TestPaths : public QObject {
    Q_OBJECT

private slots:
    void splitting_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("file in folder") << "/Data/report.doc"
                                        << "/Data/"
                                        << "report.doc";
        QTest::newRow("root") << "/"
                              << "/" << QString();
        QTest::newRow("network style") << "//server/share/a.txt"
                                       << "//server/share/"
                                       << "a.txt";
        QTest::newRow("folder with trailing separator") << "/Data/sub/"
                                                        << "/Data/sub/" << QString();
        QTest::newRow("bare name") << "report.doc" << QString() << QString();
        QTest::newRow("empty") << QString() << QString() << QString();
        QTest::newRow("backslashes are no separator")
            << "C:\\Data\\report.doc" << QString() << QString();
        QTest::newRow("backslash in a name") << "/Data/a\\b.doc"
                                             << "/Data/"
                                             << "a\\b.doc";
        QTest::newRow("name with dots") << "/a.b/c.d.e"
                                        << "/a.b/"
                                        << "c.d.e";
        const QString longest = QLatin1Char('/') + QString(32766, QLatin1Char('x'));
        QTest::newRow("longest that is split") << longest << "/" << longest.mid(1);
        QTest::newRow("too long to split") << longest + QLatin1Char('x') << QString() << QString();
    }

    void splitting() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, fileName);
        QCOMPARE(folderPart(path), folder);
        QCOMPARE(fileNamePart(path), fileName);
        if (!folder.isEmpty())
            QCOMPARE(folderPart(path) + fileNamePart(path), path);
    }

    void applicationFileJoinsWithOneSeparator_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("plain folder") << QString();
        QTest::newRow("trailing separator") << QStringLiteral("/");
    }

    void applicationFileJoinsWithOneSeparator() {
        QFETCH(QString, suffix);
        TestHome home;
        qputenv("TIDEWELL_HOME", (home.path() + suffix).toLocal8Bit());
        QCOMPARE(applicationFile(QStringLiteral("tasks.dat")),
                 home.path() + QStringLiteral("/tasks.dat"));
    }

    void applicationFolderIsTheExecutablesWithoutOverride() {
        qunsetenv("TIDEWELL_HOME");
        QCOMPARE(applicationFolder(), QCoreApplication::applicationDirPath());
        QCOMPARE(applicationFile(QStringLiteral("notify.dat")),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/notify.dat"));
    }

    // What is handed to the desktop: local paths as file addresses, addresses as they are.
    void openingHandsOverTheAddress_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QUrl>("opened");
        QTest::newRow("missing file") << QStringLiteral("/no/such/folder/report.doc")
                                      << QUrl::fromLocalFile("/no/such/folder/report.doc");
        QTest::newRow("odd characters") << QStringLiteral("/no/such/100% #1?.doc")
                                        << QUrl::fromLocalFile("/no/such/100% #1?.doc");
        QTest::newRow("web address") << QStringLiteral("http://www.tidewell.example/a?b=c")
                                     << QUrl("http://www.tidewell.example/a?b=c");
        QTest::newRow("mail address") << QStringLiteral("mailto:info@tidewell.example")
                                      << QUrl("mailto:info@tidewell.example");
        QTest::newRow("empty") << QString() << QUrl();
    }

    void openingHandsOverTheAddress() {
        QFETCH(QString, target);
        QFETCH(QUrl, opened);
        UrlCatcher catcher;
        openDocument(target);
        QCOMPARE(catcher.urls, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{opened});
    }

    // A program is started, not handed to an opener, in its own folder.
    void openingAProgramStartsIt() {
        TestHome home;
        const QString program = home.file(QStringLiteral("program"));
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\npwd > started\n");
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner));
        UrlCatcher catcher;
        openDocument(program);
        QTRY_VERIFY(QFile::exists(home.file(QStringLiteral("started"))));
        QTRY_COMPARE(QFileInfo(home.file(QStringLiteral("started"))).size(),
                     qint64(home.path().toLocal8Bit().size() + 1));
        QVERIFY(catcher.urls.isEmpty());
    }

    // A file that is marked runnable but is no program is opened like a document.
    void openingARunnableDocumentOpensIt() {
        TestHome home;
        const QString document = home.file(QStringLiteral("report.doc"));
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a program\n");
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner));
        UrlCatcher catcher;
        openDocument(document);
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(document)});
    }

    // Verbs the desktop has no counterpart for do nothing, and nothing reaches the caller.
    void otherVerbsOpenNothing() {
        UrlCatcher catcher;
        shellExecuteVerb(QStringLiteral("print"), QStringLiteral("/no/such/report.doc"), QString(),
                         QString(), SW_SHOWNORMAL);
        QVERIFY(catcher.urls.isEmpty());
    }
};

QTEST_MAIN(TestPaths)
#include "tst_paths.moc"
