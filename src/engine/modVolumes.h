#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The volumes this machine has mounted, read from the system's own table rather than from the
// volumes themselves, so that telling which volume a path is on never waits for one that hangs.
struct Volume {
    QString mountPoint; // "/" for the root; a drive or share root elsewhere
    QString type;       // the file system's type, as the mount table names it
    quint64 device = 0; // the device number its files carry

    // The seconds within which the volume keeps a time stamp it is given: 1 where it keeps them
    // exactly, 2 where it may round them (FAT keeps two seconds, and network, FUSE and unknown
    // file systems are taken to do the same).
    int timeResolution() const;
    // FAT keeps local time, so that a change of summer time moves every time stamp on it.
    bool keepsLocalTime() const;
    // The largest file the volume can hold: 4 GiB less one byte on FAT, unbounded elsewhere.
    qint64 largestFile() const;
    // Whether a file may have this name there: FAT and exFAT take no " * : < > ? \ | or control
    // characters, nor a dot or blank at the end of a name.
    bool takesName(const QString& name) const;
};

class VolumeTable {
public:
    // Reads the mount table now.
    VolumeTable();
    // The volume holding the path, by the longest mount point that contains it.
    Volume volumeOf(const QString& path) const;
    // The volume a file found at the path is on, by the device number it carries: the one a link
    // leads to. The path's own volume when none has that number.
    Volume volumeOf(const QString& path, quint64 device) const;

private:
    std::vector<Volume> m_volumes; // longest mount point first
};
