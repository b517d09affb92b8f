#pragma once

#include "Status.h"

#include <QString>

// Called by a task's copy once its data is ready beside the destination, just before it takes
// the destination's place. A destination newer than the source by more than its file system
// keeps time to, and holding something else, is work done on the copy itself (edited by hand on
// another computer, say): unless the preference is off it goes to the desktop's trash, a trash
// folder on a stick of its own included. Gives where it went, or an empty text when it stays; a
// failure (the trash cannot take it) means the copy must not be put in place. Runs on any thread.
Result<QString> setAsideNewerDestination(const QString& source, const QString& destination);
// The copy that set the destination aside could not take its place: the old file goes back
// there from the trash, unless something else stands there meanwhile.
void putBackSetAside(const QString& trashed, const QString& destination);
