#include "modVolumes.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <limits>

#if defined(Q_OS_LINUX)
#include <sys/sysmacros.h>
#endif

namespace {

// The mount table escapes blanks, tabs, new lines and backslashes in octal.
QString unescapeMountField(const QByteArray& field) {
    QByteArray plain;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                plain += char(code);
                i += 3;
                continue;
            }
        }
        plain += field[i];
    }
    return QFile::decodeName(plain);
}

bool contains(const QString& mountPoint, const QString& path) {
    if (mountPoint == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path.startsWith(mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == QLatin1Char('/'));
}

#if defined(Q_OS_LINUX)
std::vector<Volume> readMountTable() {
    std::vector<Volume> volumes;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return volumes;
    for (const QByteArray& line : table.readAll().split('\n')) {
        // id parent major:minor root mount-point options [optional...] - type source options
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 5 || separator < 0 || separator + 1 >= fields.size())
            continue;
        const QList<QByteArray> numbers = fields[2].split(':');
        const quint64 device =
            numbers.size() == 2 ? quint64(makedev(numbers[0].toUInt(), numbers[1].toUInt())) : 0;
        volumes.push_back(
            {unescapeMountField(fields[4]), QString::fromLatin1(fields[separator + 1]), device});
    }
    return volumes;
}
#else
std::vector<Volume> readMountTable() {
    return {};
}
#endif

// A drive ("C:/") or a share ("//server/share/") where there is no mount table to ask.
QString rootOf(const QString& path) {
    if (path.startsWith(QLatin1String("//"))) {
        const qsizetype share = path.indexOf(QLatin1Char('/'), 2);
        const qsizetype end = share < 0 ? -1 : path.indexOf(QLatin1Char('/'), share + 1);
        return end < 0 ? path : path.left(end);
    }
    return path.left(path.indexOf(QLatin1Char('/')) + 1);
}

} // namespace

int Volume::timeResolution() const {
    static const QStringList exact = {"ext2",  "ext3", "ext4", "btrfs",  "xfs",
                                      "tmpfs", "f2fs", "zfs",  "overlay"};
    return exact.contains(type) ? 1 : 2;
}

bool Volume::keepsLocalTime() const {
    static const QStringList local = {"vfat",         "msdos",      "exfat",
                                      "fuse.fusefat", "fuse.exfat", "fuseblk.fusefat"};
    return local.contains(type);
}

qint64 Volume::largestFile() const {
    static const QStringList fat = {"vfat", "msdos", "fat", "fuse.fusefat", "fuseblk.fusefat"};
    return fat.contains(type) ? (qint64(1) << 32) - 1 : std::numeric_limits<qint64>::max();
}

bool Volume::takesName(const QString& name) const {
    static const QStringList windowsNames = {
        "vfat", "msdos", "fat", "exfat", "fuse.exfat", "fuse.fusefat", "fuseblk.fusefat"};
    if (!windowsNames.contains(type))
        return true;
    static const QString refused = QStringLiteral("\"*:<>?\\|");
    const bool badCharacter = std::any_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.unicode() < 0x20 || refused.contains(c);
    });
    return !badCharacter && !name.endsWith(QLatin1Char('.')) && !name.endsWith(QLatin1Char(' '));
}

VolumeTable::VolumeTable() : m_volumes(readMountTable()) {
    // The last mount on a point is the one in use: stable sort keeps the table's order.
    std::reverse(m_volumes.begin(), m_volumes.end());
    std::stable_sort(m_volumes.begin(), m_volumes.end(), [](const Volume& a, const Volume& b) {
        return a.mountPoint.size() > b.mountPoint.size();
    });
}

Volume VolumeTable::volumeOf(const QString& path) const {
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    for (const Volume& volume : m_volumes) {
        if (contains(volume.mountPoint, clean))
            return volume;
    }
    return {rootOf(clean), QString(), 0};
}

Volume VolumeTable::volumeOf(const QString& path, quint64 device) const {
    const auto found = std::find_if(m_volumes.begin(), m_volumes.end(), [device](const Volume& v) {
        return device != 0 && v.device == device;
    });
    return found != m_volumes.end() ? *found : volumeOf(path);
}
