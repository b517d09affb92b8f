#pragma once

#include "Status.h"
#include "fileState.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class QObject;

// What a copy took from its source: the state of the open file while its data was read (the
// same before and after, or the copy is not put in place) and the version of the bytes copied.
struct CopiedSource {
    FileState source;
    QString version;
    // Where a newer destination went (the trash, or a kept file beside it) before the copy took
    // its place; empty when it was simply replaced.
    QString setAsideTo;
};

// What a task's copy does with a destination that is newer than its source: it is replaced, or
// set aside (modSetAside.h) once the new data is ready to take its place.
enum class NewerDestination { replace, setAside };

// Called on the receiver's thread a few times a second while a copy that has run longer than
// about a second moves its data: the share done in percent; once more with -1 when it ends.
using CopyProgress = std::function<void(int percent)>;
// Called on the receiver's thread, from its event loop, once a started copy has ended.
using CopyDone = std::function<void(const Result<CopiedSource>& copied)>;

// Copies the source over the destination without ever leaving a half-written destination: the
// data goes into a temporary file in the destination's folder, named after the destination,
// which takes the source's modification time, is flushed to the disk and then renamed over the
// destination; the time is given again where the rename changed it. A source written to while
// its data is read is not put in place. On failure the temporary file is removed, the old
// destination is untouched and the message is one short line; temporary files of this
// destination that an earlier copy cut short are removed by the next. Folders are not created;
// an existing destination keeps its permissions where its file system holds any. Source and
// destination naming the same file, by whatever path, is refused.
// Only files are copied, and only over files: a source or destination that is a pipe, a device
// or a socket, a destination that is a folder, one of the program's own files or a name without
// its folder, a size or a name the destination's volume cannot hold, are lasting failures,
// refused before anything is written; so is a copy the volume has no room for, which may pass.
// Holes of a sparse source stay holes; blocks are shared where the file system can.
// This one runs on the caller's thread and returns when the copy has ended.
Result<CopiedSource> copyFileOver(const QString& source, const QString& destination);

// The same on the copies' one worker thread, one copy after another, so that the caller's
// thread goes on with its event loop; done and progress are called on the receiver's thread,
// and not at all once the receiver is gone. A failure here means the copy could not be started
// (done is then never called). A destination set aside whose copy then fails is put back. A
// destination that still has the time its last copy gave it (givenNs), as read across a change of
// summer time included, is that copy and never set aside.
Status startCopy(QObject* receiver, const QString& source, const QString& destination,
                 const CopyDone& done, const CopyProgress& progress = {},
                 NewerDestination newer = NewerDestination::replace,
                 std::optional<qint64> givenNs = {});
// The copies started from now on look for the leftovers of each destination folder once, until
// the next burst begins, instead of listing the folder for every copy.
void beginCopyBurst();

// Stops the copy under way between two chunks of its data and refuses every later copy: the
// program is ending. The stopped copy fails like any other, leaving the old destination, and a
// destination it had set aside back in its place.
void cancelCopies();
// Lets copies run again after cancelCopies: a main window loaded after another was unloaded.
void allowCopiesAgain();
