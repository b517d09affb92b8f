#include "benchSupport.h"
#include "guiBenchmarkMain.h"
#include "modDatabaseBinary.h"
#include "modFileCopy.h"
#include "modFileDateTime.h"
#include "modRules.h"
#include "taskEngine.h"
#include "taskTable.h"
#include "testHome.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace db = modDatabaseBinary;

namespace {

// A window that is never needed: no task is due.
class IdleHost : public EngineHost {
public:
    bool confirmTask(const QString&, const QString&) override { std::abort(); }
    void showMainWindow() override {}
    void fillTaskList() override { std::abort(); }
};

QByteArray taskCell(int slot, int recordNumber, const QString& value) {
    return QByteArray(1, char(slot)) + QByteArray(1, '\0') +
           db::encodeRecordNumber(recordNumber).value() +
           db::padValue(value, taskFieldWidth(slot)).value();
}

// Tasks under "When the source file is changed", each with its own source, all copied already.
class CycleFixture {
public:
    explicit CycleFixture(int tasks) {
        openTaskTable();
        db::databaseFile = m_home.file("tasks.dat");
        QByteArray image;
        for (int n = 0; n < tasks; ++n) {
            const QString source = m_home.file(QStringLiteral("source%1.txt").arg(n));
            QFile file(source);
            if (!file.open(QIODevice::WriteOnly) || file.write("content") != 7)
                std::abort();
            file.close();
            m_sources << QFile::encodeName(source);
            const QString values[taskFieldCount] = {QStringLiteral("Task %1").arg(n),
                                                    QStringLiteral("05/03/2024"),
                                                    source,
                                                    source + QStringLiteral(".copy"),
                                                    ruleTexts()[ruleSourceChanged],
                                                    getFileDate(source),
                                                    getFileTime(source),
                                                    QString(),
                                                    QStringLiteral("0"),
                                                    QString(),
                                                    QString()};
            for (int slot = 0; slot < taskFieldCount; ++slot)
                image += taskCell(slot, n, values[slot]);
        }
        QFile table(db::databaseFile);
        if (!table.open(QIODevice::WriteOnly) || table.write(image) != image.size())
            std::abort();
        table.close();
        // The store trusts its image only once the file's time stamp is safely in the past.
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }

    const QList<QByteArray>& sources() const { return m_sources; }

private:
    TestHome m_home;
    QList<QByteArray> m_sources;
};

// One fixture at a time, kept while the same size is measured.
CycleFixture& fixtureFor(int tasks) {
    static std::unique_ptr<CycleFixture> fixture;
    static int size = -1;
    if (size != tasks) {
        fixture.reset();
        fixture = std::make_unique<CycleFixture>(tasks);
        size = tasks;
    }
    return *fixture;
}

// Nanoseconds per iteration of the physical limit, by task count, for the ratio.
std::map<int, double> limitNanoseconds;

// The least a cycle can do: read the table once and look at every source once.
void BM_TableReadAndStat(benchmark::State& state) {
    const int tasks = int(state.range(0));
    const CycleFixture& fixture = fixtureFor(tasks);
    limitNanoseconds[tasks] = timedLoop(state, [&] {
        QFile table(db::databaseFile);
        if (!table.open(QIODevice::ReadOnly))
            std::abort();
        benchmark::DoNotOptimize(table.readAll());
        for (const QByteArray& source : fixture.sources()) {
            struct stat info {};
            benchmark::DoNotOptimize(::stat(source.constData(), &info));
        }
    });
}

void BM_CheckCycleNoneDue(benchmark::State& state) {
    const int tasks = int(state.range(0));
    fixtureFor(tasks);
    IdleHost host;
    TaskEngine engine(host);
    const double spent = timedLoop(state, [&] {
        engine.runCheckCycle();
        while (engine.performingUnderway())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    });
    if (limitNanoseconds.count(tasks))
        state.counters["ratio_to_limit"] = spent / limitNanoseconds[tasks];
}

// --- Copying a large file --------------------------------------------------------------------

class CopyFixture {
public:
    CopyFixture()
        : m_source(largeFile(m_home, (shortRun() ? qint64(64) : qint64(1024)) << 20)),
          m_destination(m_home.file("copy.bin")) {}
    const QString& source() const { return m_source; }
    const QString& destination() const { return m_destination; }
    void removeDestination() const { QFile::remove(m_destination); }

private:
    TestHome m_home;
    QString m_source;
    QString m_destination;
};

const CopyFixture& copyFixture() {
    static const CopyFixture fixture;
    return fixture;
}

void runShell(const QString& command) {
    if (std::system(command.toLocal8Bit().constData()) != 0)
        std::abort();
}

void BM_CopyFileOver(benchmark::State& state) {
    const CopyFixture& fixture = copyFixture();
    for (auto _ : state) {
        state.PauseTiming();
        fixture.removeDestination();
        state.ResumeTiming();
        if (!copyFileOver(fixture.source(), fixture.destination()).ok())
            std::abort();
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(fixture.source()).size());
}

// cp as the yardstick; it does not flush to the disk, so it is also measured followed by sync.
void BM_CpReflinkNever(benchmark::State& state) {
    const CopyFixture& fixture = copyFixture();
    const bool flushed = state.range(0) != 0;
    const QString command =
        QStringLiteral("cp --reflink=never '%1' '%2'%3")
            .arg(fixture.source(), fixture.destination(),
                 flushed ? QStringLiteral(" && sync '%1'").arg(fixture.destination()) : QString());
    for (auto _ : state) {
        state.PauseTiming();
        fixture.removeDestination();
        state.ResumeTiming();
        runShell(command);
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(fixture.source()).size());
}

} // namespace

BENCHMARK(BM_TableReadAndStat)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(1276)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckCycleNoneDue)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(1276)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyFileOver)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpReflinkNever)
    ->ArgName("sync")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

TIDEWELL_GUI_BENCHMARK_MAIN()
