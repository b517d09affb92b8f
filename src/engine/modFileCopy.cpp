#include "modFileCopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <limits>
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

qint64 faultAfterBytes = -1;
int faultError = 0;

// Set once the program is ending; the data pump looks at it between chunks.
std::atomic<bool> cancelled = false;
bool copyRunning = false;
// Whether the data of the copy under way is still moving on its own thread.
std::atomic<bool> dataMoving = false;
// How long cancelling waits for that thread to stop between two chunks.
constexpr int cancelWaitMs = 1500;

// How many bytes the data copy may write before the injected fault strikes; everything when
// no fault is set.
qint64 copyLimit() {
    return faultAfterBytes >= 0 ? faultAfterBytes : std::numeric_limits<qint64>::max();
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

// Whatever copies to this destination left behind goes before the next one takes its space.
void removeLeftovers(const QByteArray& folder, const QByteArray& prefix) {
    DIR* listing = ::opendir(folder.constData());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        if (isTemporaryName(QByteArray(entry->d_name), prefix))
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

// The temporary file the data goes into; removed again unless it was renamed into place.
class TemporaryFile {
public:
    TemporaryFile(const QByteArray& folder, const QByteArray& prefix)
        : m_path(folder + (folder.endsWith('/') ? "" : "/") + prefix +
                 QByteArray(uniqueLength, 'X')),
          m_handle(::mkostemp(m_path.data(), O_CLOEXEC)), m_created(m_handle.valid()) {
        if (m_created)
            inUse() = this;
    }
    ~TemporaryFile() {
        if (inUse() == this)
            inUse() = nullptr;
        discard(true);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    FileHandle& handle() { return m_handle; }
    const QByteArray& path() const { return m_path; }
    void keep() { m_kept = true; }
    // Removes the file now; closed first unless another thread may still be writing to it.
    void discard(bool close) {
        if (close)
            m_handle.reset();
        if (m_created && !m_kept)
            ::unlink(m_path.constData());
        m_created = false;
    }
    // The temporary file of the copy under way, if any.
    static TemporaryFile*& inUse() {
        static TemporaryFile* file = nullptr;
        return file;
    }

private:
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

// Chunks small enough that a cancel is seen within a moment, even on a slow stick.
constexpr qint64 chunkSize = qint64(4) << 20;

// Moves up to limit bytes from in to out at their current offsets, counting them in moved.
// Returns 0 or the error; ECANCELED once the copies are cancelled.
int pumpData(int in, int out, qint64 limit, std::atomic<qint64>& moved) {
    qint64 left = limit;
    const auto count = [&](qint64 bytes) {
        left -= bytes;
        moved += bytes;
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
    return error == 0 && faultAfterBytes >= 0 ? faultError : error;
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
// it then holds is stored in kept.
int fillTemporary(int in, int out, const struct stat& source, const Destination& destination,
                  struct timespec& kept, std::atomic<qint64>& moved) {
    int error = copyData(in, out, moved);
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

// Tells the caller how far a copy has come once it has run for about a second.
class ProgressReport {
public:
    ProgressReport(const std::atomic<qint64>& moved, qint64 total, const CopyProgress& progress)
        : m_moved(moved), m_total(std::max<qint64>(total, 1)), m_progress(progress) {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { report(); });
        m_timer.start(250);
    }
    ~ProgressReport() {
        if (m_shown)
            m_progress(-1);
    }
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

private:
    void report() {
        if (!m_progress || m_clock.elapsed() < 1000)
            return;
        m_shown = true;
        m_progress(int(std::min<qint64>(m_moved * 100 / m_total, 100)));
    }

    const std::atomic<qint64>& m_moved;
    qint64 m_total;
    const CopyProgress& m_progress;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_shown = false;
};

// The data goes on a thread of its own while this thread runs its event loop until it is done;
// without an application there is no loop to keep running and it goes here.
int fillAside(int in, int out, const struct stat& source, const Destination& destination,
              struct timespec& kept, const CopyProgress& progress) {
    std::atomic<qint64> moved = 0;
    if (!QCoreApplication::instance())
        return fillTemporary(in, out, source, destination, kept, moved);
    QEventLoop loop;
    int error = 0;
    dataMoving = true;
    std::thread worker([&] {
        error = fillTemporary(in, out, source, destination, kept, moved);
        dataMoving = false;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    {
        const ProgressReport report(moved, source.st_size, progress);
        loop.exec();
        // Quitting the application ends this loop too: the program is ending.
        if (dataMoving)
            cancelCopies();
        worker.join();
    }
    return error;
}

Status writeReplacement(int in, const struct stat& source, const Destination& destination,
                        const CopyProgress& progress) {
    const QByteArray prefix =
        temporaryPrefix(destination.path.mid(destination.path.lastIndexOf('/') + 1));
    removeLeftovers(destination.folder, prefix);
    TemporaryFile temporary(destination.folder, prefix);
    if (!temporary.handle().valid())
        return errnoFailure(errno);
    struct timespec kept {};
    int error = fillAside(in, temporary.handle().get(), source, destination, kept, progress);
    if (error == 0 && cancelled)
        error = ECANCELED;
    if (error == 0)
        error = temporary.handle().close();
    if (error == 0 && ::rename(temporary.path().constData(), destination.path.constData()) != 0)
        error = errno;
    if (error != 0)
        return errnoFailure(error);
    temporary.keep();
    error = restoreModificationTime(destination.path, source, kept);
    flushFolder(destination.folder);
    return error == 0 ? Status::success() : errnoFailure(error);
}

// A program ended by its session does not get back to the copy under way to clean up: its
// temporary file goes now, once its thread has stopped between two chunks (a thread held up by
// the disk has the file taken away from under it).
void discardTemporaryInUse() {
    TemporaryFile* temporary = TemporaryFile::inUse();
    if (!temporary)
        return;
    QElapsedTimer waited;
    waited.start();
    while (dataMoving && waited.elapsed() < cancelWaitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    temporary->discard(!dataMoving);
}

#else

void discardTemporaryInUse() {}

#endif

} // namespace

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

namespace {

#if defined(Q_OS_UNIX)

// Not blocking: a named pipe given as the source must not hang the program; it is refused
// below like every other file that is not a plain file.
Status copyOneFile(const QString& source, const QString& destination,
                   const CopyProgress& progress) {
    FileHandle in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in.valid())
        return errno == ENOENT || errno == ENOTDIR ? Status::failure(sourceMissing)
                                                   : errnoFailure(errno);
    struct stat sourceInfo {};
    if (::fstat(in.get(), &sourceInfo) != 0)
        return errnoFailure(errno);
    if (!S_ISREG(sourceInfo.st_mode))
        return Status::failure(sourceMissing);
    const Result<Destination> target = findDestination(destination, sourceInfo);
    if (!target)
        return target.status();
    return writeReplacement(in.get(), sourceInfo, target.value(), progress);
}

#else

// Elsewhere Qt's save file gives the same write-aside-then-rename behaviour.
Status copyOneFile(const QString& source, const QString& destination, const CopyProgress&) {
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile())
        return Status::failure(sourceMissing);
    const QFileInfo destinationInfo(destination);
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
    QFile in(source);
    QSaveFile out(destination);
    out.setDirectWriteFallback(false);
    if (!in.open(QIODevice::ReadOnly))
        return Status::failure(in.errorString());
    if (!out.open(QIODevice::WriteOnly))
        return Status::failure(out.errorString());
    qint64 left = copyLimit();
    while (left > 0 && !in.atEnd()) {
        const QByteArray chunk = in.read(std::min<qint64>(left, qint64(4) << 20));
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return Status::failure(in.errorString());
        if (out.write(chunk) != chunk.size())
            return Status::failure(out.errorString());
        left -= chunk.size();
    }
    if (faultAfterBytes >= 0)
        return Status::failure(errorDescription(faultError));
    if (!out.setFileTime(sourceInfo.lastModified(), QFileDevice::FileModificationTime) ||
        !out.commit())
        return Status::failure(out.errorString());
    return Status::success();
}

#endif

} // namespace

Status copyFileOver(const QString& source, const QString& destination,
                    const CopyProgress& progress) {
    if (cancelled)
        return Status::failure(errorDescription(ECANCELED));
    if (copyRunning)
        return Status::failure(QStringLiteral("Another file is being copied."));
    copyRunning = true;
    const Status copied = copyOneFile(source, destination, progress);
    copyRunning = false;
    return copied;
}
