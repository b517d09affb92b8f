#pragma once

// The temporary file a copy writes beside its destination before it takes the destination's
// place, and the leftovers of copies cut short.

#include <QByteArray>
#include <QtGlobal>

// An open file descriptor, closed with its owner.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : m_fd(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports the close's own error, which can be a delayed write failure.
    int close();
    void reset();

private:
    int m_fd;
};

// The temporary file the data goes into, in the destination's folder and named after it;
// removed again unless it was renamed into place.
class TemporaryFile {
public:
    TemporaryFile(const QByteArray& folder, const QByteArray& destinationName);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    FileHandle& handle() { return m_handle; }
    const QByteArray& path() const { return m_path; }
    // It is in place: it is not removed.
    void keep();

private:
    QByteArray m_path;
    FileHandle m_handle;
    bool m_created;
    bool m_kept = false;
};

// Whatever copies to this destination left behind goes before the next one takes its space. A
// burst (not 0) lists each folder once and keeps what it found for the copies that follow.
void removeLeftovers(const QByteArray& folder, const QByteArray& destinationName, quint64 burst);

// The program is ending and the copy under way did not stop in time: its temporary file goes now.
void discardTemporaryInUse();
