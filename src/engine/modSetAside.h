#pragma once

#include "Status.h"

#include <QString>

// Called just before a task's copy replaces its destination. A destination newer than the
// source by more than its file system keeps time to, and holding something else, is work done
// on the copy itself (edited by hand on another computer, say): unless the preference is off it
// goes to the desktop's trash, a trash folder on a stick of its own included, and the log says
// where. Success when nothing needed doing or the old file is in the trash; a failure (the
// trash cannot take it) means the copy must not be made.
Status setAsideNewerDestination(const QString& taskName, const QString& source,
                                const QString& destination);
