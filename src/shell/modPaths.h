#pragma once

#include <QChar>
#include <QString>

// The separator between folder and file name in this platform's paths.
QChar pathSeparator();

// The path up to and including its last separator; empty when it holds none.
QString folderPart(const QString& path);
// The part of the path after its last separator; empty when it holds none.
QString fileNamePart(const QString& path);

// The folder of the executable, or the folder named by TIDEWELL_HOME when that is set.
QString applicationFolder();
// A file in the application folder, joined with exactly one separator.
QString applicationFile(const QString& fileName);
