#include "portableCopy.h"

#include "copyChecks.h"
#include "modFileVersionInfo.h"
#include "modSetAside.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

namespace {

constexpr qint64 fullChunk = qint64(4) << 20;
constexpr qint64 slowChunk = qint64(64) << 10;

Status checkDestinationFile(CopyJob& job, const FileLook& source) {
    const FileLook look = lookAt(job.destination);
    if (const Status allowed = checkDestination(job.destination, look); !allowed)
        return allowed;
    const QFileInfo destination(job.destination);
    if (!destination.absoluteDir().exists())
        return Status::failure(folderMissingLine);
    if (look.kind == FileKind::regular) {
        if (destination.canonicalFilePath() == QFileInfo(job.source).canonicalFilePath())
            return Status::failure(sameFileLine);
        if (!destination.isWritable())
            return Status::failure(accessDeniedLine);
    }
    const QString folder = destination.absolutePath();
    if (const Status takes = checkVolumeTakes(VolumeTable().volumeOf(folder),
                                              destination.fileName(), source.state.size);
        !takes)
        return takes;
    return checkFreeSpace(folder, source.state.size);
}

// The data, bounded by the room the destination's volume has, or the fault a test asked for.
int copyData(QFile& in, QSaveFile& out, qint64 room, std::atomic<qint64>& moved) {
    CopyFaults* const fault = faults();
    const qint64 faultAfter = fault ? fault->dataAfterBytes.load() : -1;
    const int delayMs = fault ? fault->delayPerChunkMs.load() : 0;
    for (qint64 left = faultAfter >= 0 ? faultAfter : room; !in.atEnd();) {
        if (copyCancelled())
            return ECANCELED;
        if (left <= 0 && faultAfter < 0)
            return sourceOutgrewRoomError;
        if (left <= 0)
            break;
        const QByteArray chunk = in.read(std::min(left, delayMs > 0 ? slowChunk : fullChunk));
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return EIO;
        if (out.write(chunk) != chunk.size())
            return EIO;
        moved += chunk.size();
        left -= chunk.size();
        if (delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
    if (faultAfter < 0)
        return 0;
    if (fault->dataError == ENOMEM)
        throw std::bad_alloc();
    return fault->dataError;
}

Status commit(QSaveFile& out) {
    if (CopyFaults* const fault = faults(); fault && fault->renameError != 0) {
        out.cancelWriting();
        out.commit();
        return errnoFailure(fault->renameError);
    }
    return out.commit() ? Status::success() : Status::failure(out.errorString());
}

} // namespace

Result<CopiedSource> copyPortably(CopyJob& job) {
    const FileLook source = lookAt(job.source);
    if (const Status kind = checkSourceKind(source); !kind)
        return kind;
    if (const Status allowed = checkDestinationFile(job, source); !allowed)
        return allowed;
    const SetAsidePlan plan = job.newer == NewerDestination::setAside
                                  ? planSetAside(job.source, job.destination, job.givenNs)
                                  : SetAsidePlan();
    QFile in(job.source);
    QSaveFile out(job.destination);
    out.setDirectWriteFallback(false);
    if (!in.open(QIODevice::ReadOnly))
        return Status::failure(in.errorString());
    if (!out.open(QIODevice::WriteOnly))
        return Status::failure(out.errorString());
    job.total = source.state.size;
    if (const int error =
            copyData(in, out, freeBytes(QFileInfo(job.destination).absolutePath()), job.moved))
        return errnoFailure(error);
    CopiedSource copied{source.state, QString(), QString()};
    copied.version = in.seek(0) ? fileVersionOf(in) : QString();
    if (lookAt(job.source).state != source.state)
        return errnoFailure(sourceChangedError);
    const QDateTime modified = QDateTime::fromMSecsSinceEpoch(source.state.modifiedMs());
    if (!out.flush() || !out.setFileTime(modified, QFileDevice::FileModificationTime))
        return Status::failure(out.errorString());
    const Result<QString> setAsideTo = setAside(plan, job.destination);
    if (!setAsideTo)
        return setAsideTo.status();
    copied.setAsideTo = setAsideTo.value();
    const Status committed = copyCancelled() ? errnoFailure(ECANCELED) : commit(out);
    if (!committed) {
        putBackSetAside(copied.setAsideTo, job.destination);
        return committed;
    }
    return copied;
}

#if !defined(Q_OS_LINUX)
Result<CopiedSource> copyOneFile(CopyJob& job) {
    return copyPortably(job);
}
#endif
