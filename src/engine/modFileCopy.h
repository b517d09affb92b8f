#pragma once

#include "Status.h"

#include <QString>
#include <QtGlobal>

#include <functional>

// Called on the caller's thread a few times a second while a copy that has run longer than
// about a second moves its data: the share done in percent; once more with -1 when it ends.
using CopyProgress = std::function<void(int percent)>;

// Copies the source over the destination without ever leaving a half-written destination: the
// data goes into a temporary file in the destination's folder, named after the destination,
// which takes the source's modification time, is flushed to the disk and then renamed over the
// destination; the time is given again where the rename changed it. On failure the temporary
// file is removed, the old destination is untouched and the message is one short line;
// temporary files of this destination that an earlier copy cut short are removed by the next.
// Folders are not created; an existing destination keeps its permissions where its file system
// holds any. Source and destination naming the same file, by whatever path, is refused.
// The data moves on a thread of its own while the caller's thread runs its event loop, so a
// window stays responsive; one copy runs at a time.
Status copyFileOver(const QString& source, const QString& destination,
                    const CopyProgress& progress = {});

// Stops the copy under way between two chunks of its data and refuses every later copy: the
// program is ending. The stopped copy fails like any other, leaving the old destination.
void cancelCopies();
bool copiesCancelled();
// Lets copies run again after cancelCopies: a main window loaded after another was unloaded.
void allowCopiesAgain();

// Makes the data copy of every following copyFileOver fail with the error number once it has
// written afterBytes bytes, as a full or failing disk would; a negative count switches it off.
// For tests.
void injectCopyFault(qint64 afterBytes, int errorNumber);
