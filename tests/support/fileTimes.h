#pragma once

#include <QFile>
#include <QString>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

// The file's status as stat gives it, all zeros when there is none.
inline struct stat statOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

// Sets both time stamps of a file, to the nanosecond; the test fails if it cannot.
inline void setModified(const QString& path, const timespec& time) {
    const timespec times[2] = {time, time};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}
