#pragma once

#include "copyJob.h"

// The copy through Qt's save file, for systems without the Linux copy: the data goes into the
// save file's temporary file and is committed over the destination. Makes the same checks and
// keeps the same promises, on the source's state before and after and the version of the bytes
// copied; it keeps no holes and shares no blocks.
Result<CopiedSource> copyPortably(CopyJob& job);
