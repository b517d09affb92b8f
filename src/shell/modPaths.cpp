#include "modPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace {

// Longer texts do not fit the path length the split was made for; both parts are then empty.
constexpr qsizetype longestSplitPath = 32767;

qsizetype lastSeparator(const QString& path) {
    if (path.size() > longestSplitPath)
        return -1;
    return path.lastIndexOf(pathSeparator());
}

} // namespace

QChar pathSeparator() {
    return QDir::separator();
}

QString folderPart(const QString& path) {
    const qsizetype at = lastSeparator(path);
    return at < 0 ? QString() : path.left(at + 1);
}

QString fileNamePart(const QString& path) {
    const qsizetype at = lastSeparator(path);
    return at < 0 ? QString() : path.mid(at + 1);
}

QString applicationFolder() {
    const QString home = qEnvironmentVariable("TIDEWELL_HOME");
    const QString folder = home.isEmpty() ? QCoreApplication::applicationDirPath() : home;
    return QDir::toNativeSeparators(folder);
}

QString applicationFile(const QString& fileName) {
    QString folder = applicationFolder();
    if (!folder.endsWith(pathSeparator()))
        folder += pathSeparator();
    return folder + fileName;
}
