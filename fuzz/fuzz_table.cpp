#include "modDatabaseBinary.h"
#include "taskTable.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace db = modDatabaseBinary;

namespace {

const QTemporaryDir folder;

void expect(bool holds) {
    if (!holds)
        std::abort();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    expect(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("TIDEWELL_HOME", folder.path().toLocal8Bit());
    openTaskTable();
    return 0;
}

// Any bytes as tasks.dat, read and written the way the program does. Readers take every whole
// cell; writers change a whole table without damaging it and never touch a damaged one.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray image(reinterpret_cast<const char*>(data), qsizetype(size));
    QFile file(db::databaseFile);
    expect(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();

    const bool whole = db::checkTable().ok();
    expect(db::listRecords().ok());
    const QStringList numbers = db::resultList.mid(0, db::resultCount);
    for (const QString& number : numbers)
        expect(db::readRecord(number.toInt()).ok());
    expect(db::listFieldValues(QString::fromLatin1(TaskField::FileVersion)).ok());
    static_cast<void>(db::nextRecordNumber()); // fails only when every number is taken
    const int first = numbers.isEmpty() ? 0 : numbers.first().toInt();
    expect(db::readField(QString::fromLatin1(TaskField::TaskName), first).ok());

    const Status written =
        db::writeField(QString::fromLatin1(TaskField::FileTime), first, QStringLiteral("10:11:12"));
    const Status duplicated = db::duplicateRecord(first);
    const Status deleted = db::deleteRecord(first);
    if (whole)
        expect(written.ok() && deleted.ok() && db::checkTable().ok());
    else
        expect(!written.ok() && !duplicated.ok() && !deleted.ok() &&
               readAll(db::databaseFile) == image);
    return 0;
}
