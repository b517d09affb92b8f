#include "modFileLaunch.h"
#include "modPaths.h"
#include "testHome.h"
#include "urlCatcher.h"

#include <QtTest>

class TestPaths : public QObject {
    Q_OBJECT

private slots:
    void splitting_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fileName");
        const auto row = [](const char* name, const QString& path, const QString& folder,
                            const QString& fileName) {
            QTest::newRow(name) << path << folder << fileName;
        };
        row("file in folder", "/Data/report.doc", "/Data/", "report.doc");
        row("root", "/", "/", "");
        row("network style", "//server/share/a.txt", "//server/share/", "a.txt");
        row("folder with trailing separator", "/Data/sub/", "/Data/sub/", "");
        row("bare name", "report.doc", "", "");
        row("empty", "", "", "");
        row("backslashes are no separator", "C:\\Data\\report.doc", "", "");
        row("backslash in a name", "/Data/a\\b.doc", "/Data/", "a\\b.doc");
        row("name with dots", "/a.b/c.d.e", "/a.b/", "c.d.e");
        const QString longest = '/' + QString(32766, 'x');
        row("longest that is split", longest, "/", longest.mid(1));
        row("too long to split", longest + 'x', "", "");
    }
    void splitting() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, fileName);
        QCOMPARE(folderPart(path), folder);
        QCOMPARE(fileNamePart(path), fileName);
    }

    // Exactly one separator before the name, whether the folder ends in one or not; without
    // TIDEWELL_HOME, the executable's folder.
    void applicationFileAndFolder() {
        TestHome home;
        for (const char* suffix : {"", "/"}) {
            qputenv("TIDEWELL_HOME", (home.path() + suffix).toLocal8Bit());
            QCOMPARE(::applicationFile("tasks.dat"), home.path() + "/tasks.dat");
        }
        qunsetenv("TIDEWELL_HOME");
        QCOMPARE(applicationFolder(), QCoreApplication::applicationDirPath());
        QCOMPARE(::applicationFile("notify.dat"),
                 QCoreApplication::applicationDirPath() + "/notify.dat");
    }

    // What is handed to the desktop: local paths as file addresses, addresses as they are;
    // verbs the desktop has no counterpart for open nothing.
    void openingHandsOverTheAddress_data() {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QUrl>("opened");
        QTest::newRow("missing file")
            << "open"
            << "/no/such/folder/report.doc" << QUrl::fromLocalFile("/no/such/folder/report.doc");
        QTest::newRow("odd characters")
            << "open"
            << "/no/such/100% #1?.doc" << QUrl::fromLocalFile("/no/such/100% #1?.doc");
        QTest::newRow("web address")
            << "open"
            << "http://www.tidewell.example/a?b=c" << QUrl("http://www.tidewell.example/a?b=c");
        QTest::newRow("mail address")
            << "open"
            << "mailto:info@tidewell.example" << QUrl("mailto:info@tidewell.example");
        QTest::newRow("empty") << "open" << QString() << QUrl();
        QTest::newRow("print") << "print"
                               << "/no/such/report.doc" << QUrl();
    }
    void openingHandsOverTheAddress() {
        QFETCH(QString, verb);
        QFETCH(QString, target);
        QFETCH(QUrl, opened);
        UrlCatcher catcher({"file", "http", "mailto"});
        if (verb == "open")
            openDocument(target);
        else
            shellExecuteVerb(verb, target, QString(), QString(), SW_SHOWNORMAL);
        QCOMPARE(catcher.opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{opened});
    }

    // A runnable file is started in its own folder when it is a program, else opened.
    void openingARunnableFile_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("program") << QByteArray("#!/bin/sh\npwd > started\n");
        QTest::newRow("document") << QByteArray("not a program\n");
    }
    void openingARunnableFile() {
        QFETCH(QByteArray, contents);
        TestHome home;
        const QString file = makeFile(home, "report", contents);
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ExeOwner));
        UrlCatcher catcher({"file", "http", "mailto"});
        openDocument(file);
        if (contents.startsWith("#!")) {
            QTRY_COMPARE(QFileInfo(home.file("started")).size(),
                         qint64(home.path().toLocal8Bit().size() + 1));
            QVERIFY(catcher.opened.isEmpty());
        } else {
            QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(file)});
        }
    }
};

QTEST_MAIN(TestPaths)
#include "tst_paths.moc"
