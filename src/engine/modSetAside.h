#pragma once

#include "Status.h"

#include <QString>

#include <optional>

// A destination newer than its source by more than its file system keeps time to, and holding
// something else, is work done on the copy itself (edited by hand on another computer, say):
// unless the preference is off, a task's copy sets it aside before it takes its place. It goes
// to the desktop's trash, a trash folder on a stick or share of its own included; where no trash
// on its volume can take it (a share whose top folder is not the user's), it is kept beside the
// destination under a name that says what it is and when.
struct SetAsidePlan {
    bool wanted = false;
    bool toTrash = false;
};

// Looked at before the copy sends any data, so that where the destination goes is known first.
// A destination with the time its last copy gave it (givenNs) is that copy, not later work.
SetAsidePlan planSetAside(const QString& source, const QString& destination,
                          std::optional<qint64> givenNs);
// Called once the new data is ready beside the destination, just before it takes the place.
// Gives where the destination went, or an empty text when nothing was wanted; a failure means
// the copy must not be put in place. Runs on any thread.
Result<QString> setAside(const SetAsidePlan& plan, const QString& destination);
// The copy that set the destination aside could not take its place: the old file goes back
// there, unless something else stands there meanwhile.
void putBackSetAside(const QString& setAsideTo, const QString& destination);
