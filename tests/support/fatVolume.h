#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/vfs.h>

// A FAT file system in an image file, mounted through FUSE for as long as the object lives: a
// USB stick's two-second time stamps, missing permissions and renames, without a stick.
class FatVolume {
public:
    // FAT16 on 16 MiB, or FAT32 on 64 MiB.
    explicit FatVolume(bool fat32 = false) {
        const QString image = m_dir.filePath(QStringLiteral("stick.img"));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(fat32 ? 64 : 16) << 20) ||
            !QDir(m_dir.path()).mkdir(QStringLiteral("stick")))
            return;
        file.close();
        const QStringList format =
            fat32 ? QStringList{QStringLiteral("-F"), QStringLiteral("32")} : QStringList{};
        m_mounted = run(QStringLiteral("mkfs.vfat"), format + QStringList{image}) &&
                    run(QStringLiteral("fusefat"),
                        {QStringLiteral("-o"), QStringLiteral("rw+"), image, path()}) &&
                    isFuse();
    }
    ~FatVolume() {
        if (m_mounted)
            run(QStringLiteral("fusermount"), {QStringLiteral("-u"), path()});
    }
    FatVolume(const FatVolume&) = delete;
    FatVolume& operator=(const FatVolume&) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.filePath(QStringLiteral("stick")); }
    static const char* unavailable() {
        return "No FAT volume can be mounted here (needs fusefat, mkfs.vfat and /dev/fuse).";
    }

private:
    static bool run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    bool isFuse() const {
        constexpr long fuseMagic = 0x65735546;
        struct statfs info {};
        return ::statfs(QFile::encodeName(path()).constData(), &info) == 0 &&
               long(info.f_type) == fuseMagic;
    }

    QTemporaryDir m_dir;
    bool m_mounted = false;
};
