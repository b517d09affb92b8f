#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// Puts `content` into the file at `path` in place of what it held; the test fails if it cannot.
inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
             qPrintable(path));
}
