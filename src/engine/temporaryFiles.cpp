#include <QtGlobal>

#if defined(Q_OS_LINUX)

#include "temporaryFiles.h"

#include <QHash>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

// Temporary files are named after their destination, ".name.tidewell-" and six letters or
// digits, so that one left by a copy cut short (a crash, a kill, a power loss) is recognised by
// the next copy to the same destination and never mistaken for a file of someone else's.
const QByteArray temporaryMark = QByteArrayLiteral(".tidewell-");
constexpr qsizetype uniqueLength = 6;

// The name part the temporary names of this destination begin with; a long name is cut, on a
// character boundary, to leave room for the mark within the longest name a folder can hold.
QByteArray temporaryPrefix(const QByteArray& destinationName) {
    constexpr qsizetype longestName = 255;
    QByteArray name = destinationName;
    const qsizetype room = longestName - 1 - temporaryMark.size() - uniqueLength;
    if (name.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (uchar(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.truncate(cut);
    }
    return '.' + name + temporaryMark;
}

bool isTemporaryName(const QByteArray& name, const QByteArray& prefix) {
    if (name.size() != prefix.size() + uniqueLength || !name.startsWith(prefix))
        return false;
    // The letters and digits mkostemp puts in, whatever the locale counts as a letter.
    return std::all_of(name.cbegin() + prefix.size(), name.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

// A temporary name of some destination: the part before the letters is a prefix of its own.
bool isAnyTemporaryName(const QByteArray& name) {
    const qsizetype markAt = name.size() - uniqueLength - temporaryMark.size();
    return markAt > 1 && name.startsWith('.') &&
           name.mid(markAt, temporaryMark.size()) == temporaryMark &&
           isTemporaryName(name, name.left(markAt + temporaryMark.size()));
}

// The temporary names found in a folder, as the folder's listing gave them.
QList<QByteArray> temporaryNamesIn(const QByteArray& folder) {
    QList<QByteArray> names;
    DIR* listing = ::opendir(folder.constData());
    if (!listing)
        return names;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (isAnyTemporaryName(name))
            names.append(name);
    }
    ::closedir(listing);
    return names;
}

// Burst 0 is no burst. Copies run one at a time, so the worker alone touches these.
quint64 sweptBurst = 0;
QHash<QByteArray, QList<QByteArray>> leftoversByFolder;

// The path of the temporary file of the copy under way, for cancelling to remove.
std::mutex temporaryLock;
QByteArray temporaryInUse;

void setInUse(const QByteArray& path) {
    const std::scoped_lock lock(temporaryLock);
    temporaryInUse = path;
}

} // namespace

int FileHandle::close() {
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0 ? 0 : errno;
}

void FileHandle::reset() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

TemporaryFile::TemporaryFile(const QByteArray& folder, const QByteArray& destinationName)
    : m_path(folder + (folder.endsWith('/') ? "" : "/") + temporaryPrefix(destinationName) +
             QByteArray(uniqueLength, 'X')),
      m_handle(::mkostemp(m_path.data(), O_CLOEXEC)), m_created(m_handle.valid()) {
    if (m_created)
        setInUse(m_path);
}

TemporaryFile::~TemporaryFile() {
    setInUse({});
    m_handle.reset();
    if (m_created && !m_kept)
        ::unlink(m_path.constData());
}

void TemporaryFile::keep() {
    m_kept = true;
    setInUse({});
}

void removeLeftovers(const QByteArray& folder, const QByteArray& destinationName, quint64 burst) {
    if (burst != sweptBurst || burst == 0) {
        leftoversByFolder.clear();
        sweptBurst = burst;
    }
    auto found = leftoversByFolder.find(folder);
    if (found == leftoversByFolder.end())
        found = leftoversByFolder.insert(folder, temporaryNamesIn(folder));
    const QByteArray prefix = temporaryPrefix(destinationName);
    found->removeIf([&](const QByteArray& name) {
        if (!isTemporaryName(name, prefix))
            return false;
        ::unlink((folder + '/' + name).constData());
        return true;
    });
}

void discardTemporaryInUse() {
    const std::scoped_lock lock(temporaryLock);
    if (!temporaryInUse.isEmpty())
        ::unlink(temporaryInUse.constData());
}

#endif
