// The copy on Linux: the data goes into a temporary file beside the destination, in the kernel
// where it can, keeping holes and sharing blocks where the file system allows, and the finished
// file is renamed over the destination.
#include <QtGlobal>

#if defined(Q_OS_LINUX)

#include "copyChecks.h"
#include "copyJob.h"
#include "modFileVersionInfo.h"
#include "modSetAside.h"
#include "temporaryFiles.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <linux/fs.h>
#include <new>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct Destination {
    QByteArray path;   // the file to replace; a symbolic link is followed to its target
    QByteArray folder; // where the temporary file goes
    bool exists = false;
    struct stat info {};
    qint64 room = 0; // what its volume has free for the data
};

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
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

// A sparse file keeps its holes in the copy, so only its data needs room.
bool isSparse(const struct stat& source) {
    return qint64(source.st_blocks) * 512 < qint64(source.st_size);
}

// The destination's volume must take the name and the size, and have room for the data.
Status checkVolume(Destination& destination, const struct stat& source) {
    struct stat folder {};
    if (::stat(destination.folder.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return Status::failure(folderMissingLine);
    const QString folderName = QFile::decodeName(destination.folder);
    const Volume volume = VolumeTable().volumeOf(folderName, quint64(folder.st_dev));
    if (const Status takes =
            checkVolumeTakes(volume, QFile::decodeName(nameOf(destination.path)), source.st_size);
        !takes)
        return takes;
    destination.room = freeBytes(folderName);
    const qint64 data = isSparse(source) ? qint64(source.st_blocks) * 512 : qint64(source.st_size);
    return checkFreeSpace(folderName, data);
}

Result<Destination> findDestination(const QString& name, const struct stat& source) {
    if (name.isEmpty())
        return Status::failure(folderMissingLine);
    Destination destination;
    const Result<QByteArray> followed = followLink(QFile::encodeName(name));
    if (!followed)
        return followed.status();
    destination.path = followed.value();
    destination.folder = folderOf(destination.path);
    const FileLook look = lookAt(QFile::decodeName(destination.path));
    if (look.error != 0)
        return errnoFailure(look.error);
    if (const Status allowed = checkDestination(name, look); !allowed)
        return allowed;
    if (look.kind == FileKind::regular &&
        ::stat(destination.path.constData(), &destination.info) == 0) {
        destination.exists = true;
        if (destination.info.st_dev == source.st_dev && destination.info.st_ino == source.st_ino)
            return Status::failure(sameFileLine);
        if (isReadOnly(destination))
            return Status::failure(accessDeniedLine);
    }
    if (const Status fits = checkVolume(destination, source); !fits)
        return fits;
    return destination;
}

// Chunks small enough that a cancel is seen within a moment, even on a slow stick; smaller
// still while a test slows the copy down.
constexpr qint64 fullChunk = qint64(4) << 20;
constexpr qint64 slowChunk = qint64(64) << 10;
// Not an error: the bytes allowed were written and the source holds more.
constexpr int roomUsedUp = INT_MIN;

// What the data copy may still write, and what it has written.
struct Budget {
    qint64 left;
    std::atomic<qint64>& moved;
    int delayMs;
    void count(qint64 bytes) {
        left -= bytes;
        moved += bytes;
        if (delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
};

// One chunk through a buffer of our own: the bytes read and written, 0 at the end, -1 on error.
ssize_t readAndWrite(int in, int out, QByteArray& buffer, size_t size) {
    if (buffer.isEmpty())
        buffer.resize(fullChunk);
    const ssize_t got = ::read(in, buffer.data(), std::min(size, size_t(buffer.size())));
    for (ssize_t written = 0; got > 0 && written < got;) {
        const ssize_t put = ::write(out, buffer.constData() + written, size_t(got - written));
        if (put < 0 && errno != EINTR)
            return -1;
        written += std::max<ssize_t>(put, 0);
    }
    return got;
}

// Moves length bytes (to the end where negative) from in to out at their current offsets, in
// the kernel while it takes them (it gives nothing for files that state no size, such as those
// under /proc). Returns 0 or the error, ECANCELED once the copies are cancelled.
int streamData(int in, int out, qint64 length, bool inKernel, Budget& budget) {
    const qint64 chunk = budget.delayMs > 0 ? slowChunk : fullChunk;
    QByteArray buffer;
    for (qint64 wanted = length < 0 ? std::numeric_limits<qint64>::max() : length; wanted > 0;) {
        if (copyCancelled())
            return ECANCELED;
        if (budget.left <= 0) {
            // Some files are read in whole records only (8 bytes for /proc/self/pagemap).
            char probe[4096];
            return length >= 0 || ::read(in, probe, sizeof probe) != 0 ? roomUsedUp : 0;
        }
        const size_t step = size_t(std::min({wanted, budget.left, chunk}));
        const ssize_t got = inKernel ? ::copy_file_range(in, nullptr, out, nullptr, step, 0)
                                     : readAndWrite(in, out, buffer, step);
        if (got == 0)
            return 0;
        if (got > 0) {
            wanted -= got;
            budget.count(got);
        } else if (inKernel && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                errno == EOPNOTSUPP || errno == EBADF)) {
            inKernel = false;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// The data parts of a sparse source, each at its own offset; the holes between stay holes.
int copySparse(int in, int out, const struct stat& source, Budget& budget) {
    for (off_t at = 0; at < source.st_size;) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break;
        const off_t hole = data < 0 ? -1 : ::lseek(in, data, SEEK_HOLE);
        if (hole < 0 || ::lseek(in, data, SEEK_SET) < 0 || ::lseek(out, data, SEEK_SET) < 0)
            return errno;
        if (const int error = streamData(in, out, hole - data, true, budget); error != 0)
            return error;
        at = hole;
    }
    return ::ftruncate(out, source.st_size) == 0 ? 0 : errno;
}

// Shares the source's blocks where the file system can (btrfs, XFS), else moves the data.
int pumpData(int in, int out, const struct stat& source, qint64 limit, std::atomic<qint64>& moved,
             int delayMs) {
    Budget budget{limit, moved, delayMs};
    if (limit >= source.st_size && delayMs == 0 && source.st_size > 0 &&
        ::ioctl(out, FICLONE, in) == 0) {
        moved += source.st_size;
        return 0;
    }
    if (isSparse(source)) {
        const int error = copySparse(in, out, source, budget);
        if (error != EINVAL)
            return error;
        if (::lseek(in, 0, SEEK_SET) < 0 || ::lseek(out, 0, SEEK_SET) < 0)
            return errno;
    }
    return streamData(in, out, -1, source.st_size > 0, budget);
}

// The data, or the fault a test asked for once its bytes are written.
int copyData(int in, int out, const struct stat& source, qint64 room, std::atomic<qint64>& moved) {
    CopyFaults* const fault = faults();
    const qint64 faultAfter = fault ? fault->dataAfterBytes.load() : -1;
    const int error = pumpData(in, out, source, faultAfter >= 0 ? faultAfter : room, moved,
                               fault ? fault->delayPerChunkMs.load() : 0);
    if (faultAfter < 0 || (error != 0 && error != roomUsedUp))
        return error == roomUsedUp ? sourceOutgrewRoomError : error;
    if (fault->dataError == ENOMEM)
        throw std::bad_alloc();
    return fault->dataError;
}

bool sameState(const struct stat& before, const struct stat& after) {
    return fileStateOf(before) == fileStateOf(after);
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
    int error = copyData(in, out, source, destination.room, moved);
    if (error == 0)
        error = checkSourceKept(in, source, version);
    if (error == 0)
        error = applyAttributes(out, source, destination);
    struct stat written {};
    if (error == 0)
        error = ::fstat(out, &written) == 0 ? 0 : errno;
    kept = written.st_mtim;
    if (error == 0 && copyCancelled())
        error = ECANCELED;
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    return error;
}

int renameIntoPlace(const QByteArray& from, const QByteArray& to) {
    if (CopyFaults* const fault = faults(); fault && fault->renameError != 0)
        return fault->renameError;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// A newer destination is set aside only once the new data is ready to take its place, and put
// back when the copy then does not take it: cancelled, or the rename failing.
Result<CopiedSource> writeReplacement(int in, const struct stat& source,
                                      const Destination& destination, CopyJob& job) {
    const QString destinationName = QFile::decodeName(destination.path);
    removeLeftovers(destination.folder, nameOf(destination.path), job.burst);
    const SetAsidePlan plan = job.newer == NewerDestination::setAside
                                  ? planSetAside(job.source, destinationName, job.givenNs)
                                  : SetAsidePlan();
    TemporaryFile temporary(destination.folder, nameOf(destination.path));
    if (!temporary.handle().valid())
        return errnoFailure(errno);
    struct timespec kept {};
    CopiedSource copied{fileStateOf(source), QString(), QString()};
    int error = fillTemporary(in, temporary.handle().get(), source, destination, kept,
                              copied.version, job.moved);
    if (error == 0)
        error = temporary.handle().close();
    if (error != 0)
        return errnoFailure(error);
    const Result<QString> setAsideTo = setAside(plan, destinationName);
    if (!setAsideTo)
        return setAsideTo.status();
    copied.setAsideTo = setAsideTo.value();
    if (CopyFaults* const fault = faults(); fault && fault->atSetAside && plan.wanted)
        fault->atSetAside.load()();
    error = copyCancelled() ? ECANCELED : renameIntoPlace(temporary.path(), destination.path);
    if (error != 0) {
        putBackSetAside(copied.setAsideTo, destinationName);
        return errnoFailure(error);
    }
    temporary.keep();
    error = restoreModificationTime(destination.path, source, kept);
    flushFolder(destination.folder);
    if (error != 0)
        return errnoFailure(error);
    return copied;
}

} // namespace

// The source is looked at before it is opened: a pipe or a device is never read. Opened without
// blocking, so that one put in its place meanwhile cannot hang the copy either.
Result<CopiedSource> copyOneFile(CopyJob& job) {
    if (const Status kind = checkSourceKind(lookAt(job.source)); !kind)
        return kind;
    FileHandle in(
        ::open(QFile::encodeName(job.source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in.valid())
        return errno == ENOENT || errno == ENOTDIR ? Status::failure(sourceMissingLine)
                                                   : errnoFailure(errno);
    struct stat sourceInfo {};
    if (::fstat(in.get(), &sourceInfo) != 0)
        return errnoFailure(errno);
    if (const Status kind = checkSourceKind({fileKindOf(sourceInfo), {}, 0}); !kind)
        return kind;
    job.total = sourceInfo.st_size;
    const Result<Destination> target = findDestination(job.destination, sourceInfo);
    if (!target)
        return target.status();
    return writeReplacement(in.get(), sourceInfo, target.value(), job);
}

#endif
