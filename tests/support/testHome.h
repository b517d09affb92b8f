#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// A fresh application folder for one test: TIDEWELL_HOME points at a temporary folder that is
// removed afterwards, and settings go to Qt's test location instead of the user's own.
class TestHome {
public:
    TestHome() {
        QStandardPaths::setTestModeEnabled(true);
        // Each test starts like a fresh account: no settings left by an earlier test.
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
             QStringLiteral("/Kestrelmoor"))
            .removeRecursively();
        qputenv("TIDEWELL_HOME", QDir::toNativeSeparators(m_dir.path()).toLocal8Bit());
    }
    ~TestHome() { qunsetenv("TIDEWELL_HOME"); }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// A file in the test's application folder with the given contents; its full path.
inline QString makeFile(const TestHome& home, const QString& name,
                        const QByteArray& data = "data") {
    QFile file(home.file(name));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create a test file");
    file.write(data);
    return file.fileName();
}

// What a file holds, empty when it cannot be read.
inline QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
