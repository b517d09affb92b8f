#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <sys/statvfs.h>

// A small memory file system mounted on `path` for as long as the object lives, to fill a disk
// for real; mounting needs the right to do so.
class SmallVolume {
public:
    SmallVolume(const QString& path, const char* size) : m_path(QFile::encodeName(path)) {
        m_mounted = QDir().mkpath(path) && ::mount("tmpfs", m_path, "tmpfs", 0, size) == 0;
    }
    ~SmallVolume() {
        if (m_mounted)
            ::umount2(m_path, MNT_DETACH);
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    bool mounted() const { return m_mounted; }
    static const char* unavailable() { return "A small file system cannot be mounted here."; }
    // Gives the volume room again, keeping what it holds.
    bool resize(const char* size) {
        return ::mount("tmpfs", m_path, "tmpfs", MS_REMOUNT, size) == 0;
    }
    qint64 capacity() const {
        struct statvfs info {};
        return ::statvfs(m_path, &info) == 0 ? qint64(info.f_blocks * info.f_frsize) : -1;
    }

private:
    QByteArray m_path;
    bool m_mounted = false;
};
