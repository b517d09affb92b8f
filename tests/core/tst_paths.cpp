#include "modFileLaunch.h"
#include "modPaths.h"
#include "testHome.h"
#include "urlCatcher.h"

#include <QtTest>

class TestPaths : public QObject {
    Q_OBJECT

    TestHome m_home;

private slots:
    void splitting_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("dots") << "/a.b/c.d.e" << QStringList{"/a.b/", "c.d.e"};
        QTest::newRow("root") << "/" << QStringList{"/", ""};
        QTest::newRow("backslash is no separator") << "a\\b.doc" << QStringList{"", ""};
        QTest::newRow("longest") << '/' + QString(32766, 'x')
                                 << QStringList{"/", QString(32766, 'x')};
        QTest::newRow("too long to split") << '/' + QString(32767, 'x') << QStringList{"", ""};
    }
    void splitting() {
        QFETCH(QString, path);
        QFETCH(QStringList, parts);
        QCOMPARE(QStringList({folderPart(path), fileNamePart(path)}), parts);
    }

    // Exactly one separator before the name, whether the folder ends in one or not; without
    // TIDEWELL_HOME, the executable's folder.
    void applicationFile() {
        for (const char* suffix : {"", "/"}) {
            qputenv("TIDEWELL_HOME", (m_home.path() + suffix).toLocal8Bit());
            QCOMPARE(::applicationFile("tasks.dat"), m_home.path() + "/tasks.dat");
        }
        qunsetenv("TIDEWELL_HOME");
        QCOMPARE(::applicationFile("a"), QCoreApplication::applicationDirPath() + "/a");
    }

    // What is handed to the desktop: local paths as file addresses, addresses as they are. A
    // runnable file is started in its own folder when it is a program, else opened.
    void opening_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("runnable"); // what the target holds, made runnable
        QTest::addColumn<QUrl>("opened");
        const QString odd = "/no/such/100% #1?.doc", mail = "mailto:info@tidewell.example",
                      file = m_home.file("report");
        QTest::newRow("odd characters") << odd << QByteArray() << QUrl::fromLocalFile(odd);
        QTest::newRow("mail address") << mail << QByteArray() << QUrl(mail);
        QTest::newRow("empty") << QString() << QByteArray() << QUrl();
        QTest::newRow("program") << file << QByteArray("#!/bin/sh\npwd > started\n") << QUrl();
        QTest::newRow("document") << file << QByteArray("text\n") << QUrl::fromLocalFile(file);
    }
    void opening() {
        QFETCH(QString, target);
        QFETCH(QByteArray, runnable);
        QFETCH(QUrl, opened);
        if (!runnable.isNull())
            QVERIFY(QFile::setPermissions(makeFile(m_home, "report", runnable),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        UrlCatcher catcher({"file", "http", "mailto"});
        openDocument(target);
        QCOMPARE(catcher.opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{opened});
        if (runnable.startsWith("#!"))
            QTRY_COMPARE(fileContents(m_home.file("started")), m_home.path().toLocal8Bit() + '\n');
    }
};

QTEST_MAIN(TestPaths)
#include "tst_paths.moc"
