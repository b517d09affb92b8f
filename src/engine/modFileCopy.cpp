#include "modFileCopy.h"

#include "modFileVersionInfo.h"
#include "modSetAside.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#if defined(Q_OS_UNIX)
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(Q_OS_LINUX)
#include <sys/sendfile.h>
#endif
#else
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#endif

namespace {

std::atomic<qint64> faultAfterBytes = -1;
std::atomic<int> faultError = 0;
std::atomic<int> delayPerChunk = 0;

// Set once the program is ending; the data pump looks at it between chunks.
std::atomic<bool> cancelled = false;
// One copy at a time, whichever thread runs it.
std::mutex copyLock;
// Whether a copy is under way on any thread.
std::atomic<bool> copyUnderWay = false;
// How long cancelling waits for the copy under way to stop between two chunks.
constexpr int cancelWaitMs = 1500;
// The burst the copies started now belong to.
std::atomic<quint64> currentBurst = 0;
// Chunks small enough that a cancel is seen within a moment, even on a slow stick.
constexpr qint64 fullChunk = qint64(4) << 20;
// Not an error number: the source was written to while its data was read.
constexpr int sourceChangedError = -1;

// What one copy is given and what it moves, shared by the thread that runs it and the one that
// watches its progress.
struct CopyJob {
    QString source;
    QString destination;
    NewerDestination newer = NewerDestination::replace;
    quint64 burst = 0;
    std::atomic<qint64> total = 0;
    std::atomic<qint64> moved = 0;
};

// A task's copy sets a newer destination aside only once its own data is ready to take the
// place, so that a copy that fails before leaves the destination where it was.
Result<QString> setAsideIfNewer(const CopyJob& job, const QString& destination) {
    if (job.newer != NewerDestination::setAside)
        return QString();
    return setAsideNewerDestination(job.source, destination);
}

// How many bytes the data copy may write before the injected fault strikes; everything when
// no fault is set.
qint64 copyLimit() {
    return faultAfterBytes >= 0 ? faultAfterBytes.load() : std::numeric_limits<qint64>::max();
}

const QString sourceMissing = QStringLiteral("The source file does not exist.");
const QString folderMissing = QStringLiteral("The destination folder does not exist.");
const QString destinationIsFolder = QStringLiteral("The destination is a folder.");
const QString sameFile = QStringLiteral("The source and destination are the same file.");
const QString accessDenied = QStringLiteral("Access is denied.");

QString errorDescription(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return accessDenied;
    case ENOSPC:
#if defined(EDQUOT)
    case EDQUOT:
#endif
        return QStringLiteral("There is not enough space on the disk.");
    case EROFS:
        return QStringLiteral("The disk is write-protected.");
    case EIO:
        return QStringLiteral("A device input/output error occurred.");
    case EBUSY:
#if defined(ETXTBSY)
    case ETXTBSY:
#endif
        return QStringLiteral("The file is in use by another process.");
    case ENAMETOOLONG:
        return QStringLiteral("The file name is too long.");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Too many files are open.");
    case ECANCELED:
        return QStringLiteral("The copy was stopped because Tidewell is closing.");
    case ENOMEM:
        return QStringLiteral("There is not enough memory to copy the file.");
    case sourceChangedError:
        return QStringLiteral("The source file changed while it was being copied.");
    default:
        return QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.');
    }
}

#if defined(Q_OS_UNIX)

Status errnoFailure(int error) {
    return Status::failure(errorDescription(error));
}

class FileHandle {
public:
    explicit FileHandle(int fd = -1) : m_fd(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports the close's own error, which can be a delayed write failure.
    int close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }
    void reset() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

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

// A burst lists each destination folder once: the leftovers found there are kept until the
// copies to their destinations take them away. Burst 0 is no burst.
quint64 sweptBurst = 0;
QHash<QByteArray, QList<QByteArray>> leftoversByFolder;

// Whatever copies to this destination left behind goes before the next one takes its space.
void removeLeftovers(const QByteArray& folder, const QByteArray& prefix, quint64 burst) {
    if (burst != sweptBurst || burst == 0) {
        leftoversByFolder.clear();
        sweptBurst = burst;
    }
    auto found = leftoversByFolder.find(folder);
    if (found == leftoversByFolder.end())
        found = leftoversByFolder.insert(folder, temporaryNamesIn(folder));
    found->removeIf([&](const QByteArray& name) {
        if (!isTemporaryName(name, prefix))
            return false;
        ::unlink((folder + '/' + name).constData());
        return true;
    });
}

// The path of the temporary file of the copy under way, for cancelling to remove.
std::mutex temporaryLock;
QByteArray temporaryInUse;

// The temporary file the data goes into; removed again unless it was renamed into place.
class TemporaryFile {
public:
    TemporaryFile(const QByteArray& folder, const QByteArray& prefix)
        : m_path(folder + (folder.endsWith('/') ? "" : "/") + prefix +
                 QByteArray(uniqueLength, 'X')),
          m_handle(::mkostemp(m_path.data(), O_CLOEXEC)), m_created(m_handle.valid()) {
        if (m_created)
            setInUse(m_path);
    }
    ~TemporaryFile() {
        setInUse({});
        m_handle.reset();
        if (m_created && !m_kept)
            ::unlink(m_path.constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    FileHandle& handle() { return m_handle; }
    const QByteArray& path() const { return m_path; }
    void keep() {
        m_kept = true;
        setInUse({});
    }

private:
    static void setInUse(const QByteArray& path) {
        const std::scoped_lock lock(temporaryLock);
        temporaryInUse = path;
    }

    QByteArray m_path;
    FileHandle m_handle;
    bool m_created;
    bool m_kept = false;
};

struct Destination {
    QByteArray path;   // the file to replace; a symbolic link is followed to its target
    QByteArray folder; // where the temporary file goes
    bool exists = false;
    struct stat info {};
};

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// The kernel follows a link in a folder that is sticky and writable by all only when the link is
// the user's own or belongs to the folder's owner, so that another user cannot aim a write with
// one planted there; realpath does not ask, so the same test is made here.
bool mayFollow(const QByteArray& link, const struct stat& info) {
    if (info.st_uid == ::geteuid())
        return true;
    struct stat folder {};
    if (::stat(folderOf(link).constData(), &folder) != 0)
        return false;
    constexpr mode_t shared = S_ISVTX | S_IWOTH;
    return (folder.st_mode & shared) != shared || folder.st_uid == info.st_uid;
}

// A link is replaced through its target, so the link itself survives the copy. Every link on the
// way to the file must pass the kernel's test.
Result<QByteArray> followLink(const QByteArray& path) {
    QByteArray hop = path;
    for (int links = 0; links < 40; ++links) {
        struct stat info {};
        if (::lstat(hop.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            break;
        if (!mayFollow(hop, info))
            return Status::failure(QStringLiteral("The destination is a link that another user "
                                                  "planted in a shared folder; it was not "
                                                  "followed."));
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(hop.constData(), target.data(), size_t(target.size()));
        if (length <= 0)
            break;
        target.truncate(length);
        hop = target.startsWith('/') ? target : folderOf(hop) + '/' + target;
    }
    char* resolved = hop == path ? nullptr : ::realpath(path.constData(), nullptr);
    if (!resolved)
        return path;
    QByteArray followed(resolved);
    ::free(resolved);
    return followed;
}

bool isReadOnly(const Destination& destination) {
    constexpr mode_t anyWrite = S_IWUSR | S_IWGRP | S_IWOTH;
    return (destination.info.st_mode & anyWrite) == 0 ||
           ::access(destination.path.constData(), W_OK) != 0;
}

Result<Destination> findDestination(const QString& name, const struct stat& source) {
    if (name.isEmpty())
        return Status::failure(folderMissing);
    Destination destination;
    const Result<QByteArray> followed = followLink(QFile::encodeName(name));
    if (!followed)
        return followed.status();
    destination.path = followed.value();
    destination.folder = folderOf(destination.path);
    if (::stat(destination.path.constData(), &destination.info) == 0) {
        destination.exists = true;
        if (S_ISDIR(destination.info.st_mode))
            return Status::failure(destinationIsFolder);
        if (destination.info.st_dev == source.st_dev && destination.info.st_ino == source.st_ino)
            return Status::failure(sameFile);
        if (isReadOnly(destination))
            return Status::failure(accessDenied);
        return destination;
    }
    if (errno != ENOENT && errno != ENOTDIR)
        return errnoFailure(errno);
    struct stat folder {};
    if (::stat(destination.folder.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return Status::failure(folderMissing);
    return destination;
}

// Small chunks while a test slows the copy down.
constexpr qint64 slowChunk = qint64(64) << 10;

// Moves up to limit bytes from in to out at their current offsets, counting them in moved.
// Returns 0 or the error; ECANCELED once the copies are cancelled.
int pumpData(int in, int out, qint64 limit, std::atomic<qint64>& moved) {
    qint64 left = limit;
    const int delay = delayPerChunk;
    const qint64 chunkSize = delay > 0 ? slowChunk : fullChunk;
    const auto count = [&](qint64 bytes) {
        left -= bytes;
        moved += bytes;
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    };
#if defined(Q_OS_LINUX)
    // In the kernel first; both calls move the file offsets, so each fallback goes on from
    // where the previous one stopped.
    bool copyRange = true;
    while (copyRange && left > 0) {
        if (cancelled)
            return ECANCELED;
        const ssize_t got =
            ::copy_file_range(in, nullptr, out, nullptr, size_t(std::min(left, chunkSize)), 0);
        if (got == 0)
            return 0;
        if (got > 0) {
            count(got);
        } else if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                   errno == EBADF) {
            copyRange = false;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    bool sendFile = true;
    while (sendFile && left > 0) {
        if (cancelled)
            return ECANCELED;
        const ssize_t got = ::sendfile(out, in, nullptr, size_t(std::min(left, chunkSize)));
        if (got == 0)
            return 0;
        if (got > 0)
            count(got);
        else if (errno == EINVAL || errno == ENOSYS)
            sendFile = false;
        else if (errno != EINTR)
            return errno;
    }
#endif
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    while (left > 0) {
        if (cancelled)
            return ECANCELED;
        const ssize_t got = ::read(in, buffer.data(), size_t(std::min(left, chunkSize)));
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = ::write(out, buffer.constData() + written, size_t(got - written));
            if (put < 0 && errno != EINTR)
                return errno;
            written += std::max<ssize_t>(put, 0);
        }
        count(got);
    }
    return 0;
}

int copyData(int in, int out, std::atomic<qint64>& moved) {
    const int error = pumpData(in, out, copyLimit(), moved);
    if (error != 0 || faultAfterBytes < 0)
        return error;
    if (faultError == ENOMEM)
        throw std::bad_alloc();
    return faultError;
}

bool sameState(const struct stat& before, const struct stat& after) {
    const auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return before.st_dev == after.st_dev && before.st_ino == after.st_ino &&
           before.st_size == after.st_size && same(before.st_mtim, after.st_mtim) &&
           same(before.st_ctim, after.st_ctim);
}

// The version of the bytes read, and whether the open source is still as it was when its data
// began to move: a write in place, a cut or growth shows in its size or times.
int checkSourceKept(int in, const struct stat& source, QString& version) {
    // Only a file that begins as a program does can hold a version: most are looked at no further.
    char start[2] = {};
    QFile reader;
    if (::pread(in, start, sizeof start, 0) == qint64(sizeof start) && start[0] == 'M' &&
        start[1] == 'Z' &&
        reader.open(in, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        version = fileVersionOf(reader);
    struct stat after {};
    if (::fstat(in, &after) != 0)
        return errno;
    return sameState(source, after) ? 0 : sourceChangedError;
}

mode_t newFileMode(const struct stat& source) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return source.st_mode & 0777 & ~mask;
}

// FAT, exFAT and NTFS volumes, SMB shares and many FUSE file systems hold no owner or mode, or
// refuse to flush a folder; the data written there is still a good copy.
bool notHeldHere(int error) {
    return error == ENOSYS || error == EPERM || error == ENOTSUP || error == EOPNOTSUPP ||
           error == EINVAL;
}

// Ownership, permissions and times of the finished copy, set on the open temporary file.
// Only a privileged user can hand the file to another owner; otherwise it stays ours.
int applyAttributes(int out, const struct stat& source, const Destination& destination) {
    if (destination.exists &&
        ::fchown(out, destination.info.st_uid, destination.info.st_gid) != 0 && !notHeldHere(errno))
        return errno;
    const mode_t mode = destination.exists ? destination.info.st_mode & 07777 : newFileMode(source);
    if (::fchmod(out, mode) != 0 && !notHeldHere(errno))
        return errno;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return ::futimens(out, times) == 0 ? 0 : errno;
}

// Some file systems set the time of the rename on the renamed file: the time the temporary file
// held, as the file system rounded it, is given again to the final file.
int restoreModificationTime(const QByteArray& path, const struct stat& source,
                            const struct timespec& kept) {
    struct stat now {};
    if (::stat(path.constData(), &now) != 0)
        return errno;
    if (now.st_mtim.tv_sec == kept.tv_sec && now.st_mtim.tv_nsec == kept.tv_nsec)
        return 0;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return ::utimensat(AT_FDCWD, path.constData(), times, 0) == 0 ? 0 : errno;
}

// The rename is only durable once the folder's entry is on the disk too; a folder that cannot
// be flushed does not undo a copy that is already in place.
void flushFolder(const QByteArray& folder) {
    FileHandle handle(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.valid())
        ::fsync(handle.get());
}

// Data, attributes and a flush of the data to the disk, on the open temporary file; the time
// it then holds is stored in kept, the version of the data in version.
int fillTemporary(int in, int out, const struct stat& source, const Destination& destination,
                  struct timespec& kept, QString& version, std::atomic<qint64>& moved) {
    int error = copyData(in, out, moved);
    if (error == 0)
        error = checkSourceKept(in, source, version);
    if (error == 0)
        error = applyAttributes(out, source, destination);
    struct stat written {};
    if (error == 0)
        error = ::fstat(out, &written) == 0 ? 0 : errno;
    kept = written.st_mtim;
    if (error == 0 && cancelled)
        error = ECANCELED;
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    return error;
}

Result<CopiedSource> writeReplacement(int in, const struct stat& source,
                                      const Destination& destination, CopyJob& job) {
    const QByteArray prefix =
        temporaryPrefix(destination.path.mid(destination.path.lastIndexOf('/') + 1));
    removeLeftovers(destination.folder, prefix, job.burst);
    TemporaryFile temporary(destination.folder, prefix);
    if (!temporary.handle().valid())
        return errnoFailure(errno);
    struct timespec kept {};
    CopiedSource copied{fileStateOf(source), QString(), QString()};
    int error = fillTemporary(in, temporary.handle().get(), source, destination, kept,
                              copied.version, job.moved);
    if (error == 0 && cancelled)
        error = ECANCELED;
    if (error == 0)
        error = temporary.handle().close();
    if (error != 0)
        return errnoFailure(error);
    const Result<QString> setAside = setAsideIfNewer(job, QFile::decodeName(destination.path));
    if (!setAside)
        return setAside.status();
    copied.setAsideTo = setAside.value();
    if (::rename(temporary.path().constData(), destination.path.constData()) != 0) {
        error = errno;
        putBackSetAside(copied.setAsideTo, QFile::decodeName(destination.path));
        return errnoFailure(error);
    }
    temporary.keep();
    error = restoreModificationTime(destination.path, source, kept);
    flushFolder(destination.folder);
    if (error != 0)
        return errnoFailure(error);
    return copied;
}

// A program ended by its session does not get back to the copy under way to clean up: its
// temporary file goes now, once the copy has stopped between two chunks (a copy held up by
// the disk has the file taken away from under it).
void discardTemporaryInUse() {
    QElapsedTimer waited;
    waited.start();
    while (copyUnderWay && waited.elapsed() < cancelWaitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::scoped_lock lock(temporaryLock);
    if (!temporaryInUse.isEmpty())
        ::unlink(temporaryInUse.constData());
}

#else

void discardTemporaryInUse() {}

#endif

} // namespace

namespace {

// --- Running one copy ------------------------------------------------------------------------

#if defined(Q_OS_UNIX)

// Not blocking: a named pipe given as the source must not hang the program; it is refused
// below like every other file that is not a plain file.
Result<CopiedSource> copyOneFile(CopyJob& job) {
    FileHandle in(
        ::open(QFile::encodeName(job.source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in.valid())
        return errno == ENOENT || errno == ENOTDIR ? Status::failure(sourceMissing)
                                                   : errnoFailure(errno);
    struct stat sourceInfo {};
    if (::fstat(in.get(), &sourceInfo) != 0)
        return errnoFailure(errno);
    if (!S_ISREG(sourceInfo.st_mode))
        return Status::failure(sourceMissing);
    job.total = sourceInfo.st_size;
    const Result<Destination> target = findDestination(job.destination, sourceInfo);
    if (!target)
        return target.status();
    return writeReplacement(in.get(), sourceInfo, target.value(), job);
}

#else

// Elsewhere Qt's save file gives the same write-aside-then-rename behaviour.
Result<CopiedSource> copyOneFile(CopyJob& job) {
    const QFileInfo sourceInfo(job.source);
    if (!sourceInfo.isFile())
        return Status::failure(sourceMissing);
    const QFileInfo destinationInfo(job.destination);
    if (!destinationInfo.absoluteDir().exists())
        return Status::failure(folderMissing);
    if (destinationInfo.isDir())
        return Status::failure(destinationIsFolder);
    if (destinationInfo.exists()) {
        if (destinationInfo.canonicalFilePath() == sourceInfo.canonicalFilePath())
            return Status::failure(sameFile);
        if (!destinationInfo.isWritable())
            return Status::failure(accessDenied);
    }
    QFile in(job.source);
    QSaveFile out(job.destination);
    out.setDirectWriteFallback(false);
    if (!in.open(QIODevice::ReadOnly))
        return Status::failure(in.errorString());
    if (!out.open(QIODevice::WriteOnly))
        return Status::failure(out.errorString());
    CopiedSource copied{lookAt(job.source).state, fileVersionOf(in), QString()};
    in.seek(0);
    qint64 left = copyLimit();
    while (left > 0 && !in.atEnd()) {
        const QByteArray chunk = in.read(std::min<qint64>(left, fullChunk));
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return Status::failure(in.errorString());
        if (out.write(chunk) != chunk.size())
            return Status::failure(out.errorString());
        job.moved += chunk.size();
        left -= chunk.size();
    }
    if (faultAfterBytes >= 0)
        return Status::failure(errorDescription(faultError));
    if (QFileInfo(job.source).lastModified() != sourceInfo.lastModified())
        return Status::failure(errorDescription(sourceChangedError));
    if (!out.setFileTime(sourceInfo.lastModified(), QFileDevice::FileModificationTime))
        return Status::failure(out.errorString());
    const Result<QString> setAside = setAsideIfNewer(job, job.destination);
    if (!setAside)
        return setAside.status();
    copied.setAsideTo = setAside.value();
    if (!out.commit()) {
        putBackSetAside(copied.setAsideTo, job.destination);
        return Status::failure(out.errorString());
    }
    return copied;
}

#endif

// Runs one copy on this thread. Nothing escapes it: a copy that throws, an allocation that
// fails included, is one failed copy.
Result<CopiedSource> runCopy(CopyJob& job) {
    if (cancelled)
        return Status::failure(errorDescription(ECANCELED));
    const std::scoped_lock lock(copyLock);
    copyUnderWay = true;
    Result<CopiedSource> copied = Status::failure(errorDescription(ENOMEM));
    try {
        copied = copyOneFile(job);
    } catch (const std::bad_alloc&) {
    } catch (const std::exception& fault) {
        copied = Status::failure(QString::fromLocal8Bit(fault.what()));
    } catch (...) {
        copied = Status::failure(QStringLiteral("The copy stopped on an unexpected fault."));
    }
    copyUnderWay = false;
    return copied;
}

// --- The worker thread ---------------------------------------------------------------------

// The one long-lived thread that runs the started copies in turn. It is started by the first
// copy and again after a start that failed; it stops when the application ends.
class CopyWorker {
public:
    static CopyWorker& instance() {
        static CopyWorker worker;
        return worker;
    }

    Status submit(std::function<void()> job) {
        std::unique_lock lock(m_lock);
        if (!m_thread.joinable()) {
            if (m_startFault != 0)
                return notStarted(m_startFault);
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error& fault) {
                return notStarted(fault.code().value());
            }
            qAddPostRoutine([] { CopyWorker::instance().stop(); });
        }
        m_jobs.push_back(std::move(job));
        m_wake.notify_one();
        return Status::success();
    }

    void stop() {
        {
            const std::scoped_lock lock(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        const std::scoped_lock lock(m_lock);
        m_thread = std::thread();
        m_stopping = false;
    }

    void setStartFault(int error) {
        stop();
        const std::scoped_lock lock(m_lock);
        m_startFault = error;
    }

private:
    CopyWorker() = default;
    ~CopyWorker() { stop(); }

    static Status notStarted(int error) {
        return Status::failure(QStringLiteral("The copy could not be started.  ") +
                               errorDescription(error));
    }

    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_lock);
                m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::thread m_thread;
    bool m_stopping = false;
    int m_startFault = 0;
};

// A started copy as its starting thread sees it: it tells how far the data has come once the
// copy has run for about a second, and hands the outcome over when the worker is done.
class StartedCopy : public QObject {
public:
    StartedCopy(CopyDone done, CopyProgress progress)
        : QObject(QCoreApplication::instance()), m_done(std::move(done)),
          m_progress(std::move(progress)) {
        m_clock.start();
        if (m_progress) {
            QObject::connect(&m_timer, &QTimer::timeout, this, [this] { report(); });
            m_timer.start(250);
        }
    }

    std::shared_ptr<CopyJob> job = std::make_shared<CopyJob>();

    // On the starting thread: the copy has ended.
    void finish(const Result<CopiedSource>& copied) {
        m_timer.stop();
        if (m_shown)
            m_progress(-1);
        const CopyDone done = std::move(m_done);
        delete this;
        done(copied);
    }

private:
    void report() {
        if (m_clock.elapsed() < 1000)
            return;
        m_shown = true;
        const qint64 total = std::max<qint64>(job->total, 1);
        m_progress(int(std::min<qint64>(job->moved * 100 / total, 100)));
    }

    CopyDone m_done;
    CopyProgress m_progress;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_shown = false;
};

} // namespace

Result<CopiedSource> copyFileOver(const QString& source, const QString& destination) {
    CopyJob job;
    job.source = source;
    job.destination = destination;
    return runCopy(job);
}

Status startCopy(const QString& source, const QString& destination, const CopyDone& done,
                 const CopyProgress& progress, NewerDestination newer) {
    if (cancelled)
        return Status::failure(errorDescription(ECANCELED));
    auto* started = new StartedCopy(done, progress);
    const std::shared_ptr<CopyJob> job = started->job;
    job->source = source;
    job->destination = destination;
    job->newer = newer;
    job->burst = currentBurst;
    const Status submitted = CopyWorker::instance().submit([job, started] {
        const Result<CopiedSource> copied = runCopy(*job);
        QMetaObject::invokeMethod(
            started, [started, copied] { started->finish(copied); }, Qt::QueuedConnection);
    });
    if (!submitted)
        delete started;
    return submitted;
}

void beginCopyBurst() {
    ++currentBurst;
}

void cancelCopies() {
    cancelled = true;
    discardTemporaryInUse();
}

bool copiesCancelled() {
    return cancelled;
}

void allowCopiesAgain() {
    cancelled = false;
}

void injectCopyFault(qint64 afterBytes, int errorNumber) {
    faultAfterBytes = afterBytes;
    faultError = errorNumber;
}

void injectCopyDelay(int millisecondsPerChunk) {
    delayPerChunk = millisecondsPerChunk;
}

void injectWorkerFault(int errorNumber) {
    CopyWorker::instance().setStartFault(errorNumber);
}
