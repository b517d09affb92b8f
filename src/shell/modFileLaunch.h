#pragma once

#include <QString>

inline constexpr int SW_SHOWNORMAL = 1;

// Asks the desktop to apply the verb to the file; never waits and never reports a failure.
void shellExecuteVerb(const QString& verb, const QString& file, const QString& parameters,
                      const QString& workingDirectory, int showCommand);
// Opens a file, document or web address with the program the desktop associates with it.
void openDocument(const QString& file);
