#include "modDatabaseBinary.h"
#include "taskTable.h"
#include "testHome.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace db = modDatabaseBinary;

namespace {

QByteArray taskCell(int slot, int recordNumber, const QString& value) {
    return QByteArray(1, char(slot)) + QByteArray(1, '\0') +
           db::encodeRecordNumber(recordNumber).value() +
           db::padValue(value, taskFieldWidth(slot)).value();
}

// A tasks.dat of complete tasks, written in one go, and the store pointed at it.
class TaskFile {
public:
    explicit TaskFile(int tasks) {
        openTaskTable();
        db::databaseFile = m_home.file("tasks.dat");
        QByteArray image;
        for (int n = 0; n < tasks; ++n) {
            for (int slot = 0; slot < taskFieldCount; ++slot)
                image += taskCell(slot, n, slot == slotConfirmationOn ? "0" : "value");
        }
        QFile file(db::databaseFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
            std::abort();
        file.close();
        // A file written a moment ago is read again at every operation until its time stamp
        // is safely in the past; the steady state is what a running program mostly sees.
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }

private:
    TestHome m_home;
};

void loadTaskList(int tasks) {
    if (!db::listRecords().ok() || db::resultCount != tasks)
        std::abort();
    const QStringList numbers = db::resultList.mid(0, db::resultCount);
    for (const QString& n : numbers) {
        if (!db::readRecord(n.toInt()).ok())
            std::abort();
        benchmark::DoNotOptimize(db::fieldValues[slotTaskName]);
    }
}

void BM_LoadTaskList(benchmark::State& state) {
    const TaskFile file(int(state.range(0)));
    for (auto _ : state)
        loadTaskList(int(state.range(0)));
}

// The task list filled right after a write of our own, which needs no new read of the file.
void BM_LoadTaskListAfterWrite(benchmark::State& state) {
    const TaskFile file(int(state.range(0)));
    for (auto _ : state) {
        if (!db::writeField(TaskField::FileTime, 0, "10:11:12").ok())
            std::abort();
        loadTaskList(int(state.range(0)));
    }
}

// A state recorded after a copy, and (second argument 1) a user's edit, which waits for the disk.
void BM_WriteFieldInPlace(benchmark::State& state) {
    const TaskFile file(int(state.range(0)));
    const int last = int(state.range(0)) - 1;
    const auto flush = state.range(1) ? db::Flush::durable : db::Flush::lazy;
    int round = 0;
    for (auto _ : state) {
        const QString time = QString::number(round++ % 100000);
        if (!db::writeFields(last, {{TaskField::FileTime, time}}, flush).ok())
            std::abort();
    }
}

void BM_NextRecordNumber(benchmark::State& state) {
    const TaskFile file(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(db::nextRecordNumber().value());
}

} // namespace

BENCHMARK(BM_LoadTaskList)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTaskListAfterWrite)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFieldInPlace)
    ->ArgsProduct({{10, 100, 1000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextRecordNumber)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
