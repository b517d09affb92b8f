#include "modFileVersionInfo.h"

#include "modFileDateTime.h"
#include "peVersionResource.h"

#include <QFile>

namespace {

QString atLeastTwoDigits(quint16 value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString versionText(const PeFileVersion& version) {
    QString text = QString::number(hiWord(version.versionMS)) + QLatin1Char('.') +
                   atLeastTwoDigits(loWord(version.versionMS)) + QLatin1Char('.');
    if (version.versionLS == 0)
        return text + QStringLiteral("0000");
    return text + atLeastTwoDigits(hiWord(version.versionLS)) + QLatin1Char('.') +
           atLeastTwoDigits(loWord(version.versionLS));
}

} // namespace

QString getFileVersion(const QString& path) {
    if (!fileExists(path))
        return QString();
    // Unbuffered: the reader seeks to a handful of small ranges and reads nothing else.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QString();
    return fileVersionOf(file);
}

QString fileVersionOf(QIODevice& device) {
    const std::optional<PeFileVersion> version = readPeFileVersion(device);
    return version ? versionText(*version) : QString();
}

quint16 hiWord(quint32 value) {
    return quint16(value >> 16);
}

quint16 loWord(quint32 value) {
    return quint16(value & 0xFFFF);
}
