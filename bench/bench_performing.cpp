// Performing at scale and while the data of a large copy moves. Targets: Perform All of 1000
// small tasks, with the window shown and the log going to a file, within 3 times a plain
// safe-copy loop over the same files (ratio_to_safe_copy); the event loop never held up for more
// than 100 ms during a 2 GiB copy (worst_stall_ms). 1276 tasks is a full table: a curve that
// bends between 1000 and 1276 shows work that grows faster than the number of tasks.
#include "benchSupport.h"
#include "frmMain.h"
#include "guiBenchmarkMain.h"
#include "modDatabaseBinary.h"
#include "modFileCopy.h"
#include "modRegistry.h"
#include "taskEngine.h"
#include "taskListView.h"
#include "taskTable.h"
#include "testHome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <optional>
#include <unistd.h>

namespace db = modDatabaseBinary;

namespace {

// Small tasks under "Only when I select to perform the task", each with its own source, with
// the seven fields the task editor writes; the action log goes to its file.
class TaskFixture {
public:
    explicit TaskFixture(int tasks) {
        openTaskTable();
        writeSetting(Setting::LogToFile, "1");
        for (int n = 0; n < tasks; ++n) {
            const QString number = QString::number(n);
            m_sources << makeFile(m_home, "source" + number + ".txt", "content " + number.toUtf8());
            m_destinations << m_home.file("copy" + number + ".txt");
            const Status written =
                db::writeFields(n, {{TaskField::TaskName, "Task " + number},
                                    {TaskField::SourceFile, m_sources.last()},
                                    {TaskField::DestinationFile, m_destinations.last()},
                                    {TaskField::Rule, "Only when I select to perform the task"},
                                    {TaskField::ConfirmationOn, "0"},
                                    {TaskField::ConfirmationTitle, "Confirm"},
                                    {TaskField::ConfirmationQuestion, "Copy it now?"}});
            if (!written)
                std::abort();
        }
    }
    const QStringList& sources() const { return m_sources; }
    const QStringList& destinations() const { return m_destinations; }

private:
    TestHome m_home;
    QStringList m_sources;
    QStringList m_destinations;
};

// The short run of the test script performs a hundredth of the tasks.
int taskCount(const benchmark::State& state) {
    return int(state.range(0)) / (shortRun() ? 100 : 1);
}

// Nanoseconds per iteration of the safe-copy loop, by task count, for the ratio.
std::map<int, double> yardstickNanoseconds;

// The least a safe copy does: temporary file, write, flush, rename, flush of the folder.
void safeCopy(const QString& source, const QString& destination, const QString& folder) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray data = in.readAll();
    const QByteArray temporary = QFile::encodeName(destination + ".tmp");
    const int out = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || ::write(out, data.constData(), size_t(data.size())) != data.size() ||
        ::fsync(out) != 0 || ::close(out) != 0 ||
        ::rename(temporary.constData(), QFile::encodeName(destination).constData()) != 0)
        std::abort();
    const int directory = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    ::fsync(directory);
    ::close(directory);
}

void BM_SafeCopyLoop(benchmark::State& state) {
    const int tasks = taskCount(state);
    const TaskFixture fixture(tasks);
    const QString folder = QFileInfo(fixture.sources().first()).path();
    yardstickNanoseconds[tasks] = timedLoop(state, [&] {
        for (int n = 0; n < tasks; ++n)
            safeCopy(fixture.sources()[n], fixture.destinations()[n], folder);
    });
}

void BM_PerformAll(benchmark::State& state) {
    const int tasks = taskCount(state);
    const TaskFixture fixture(tasks);
    frmMain window;
    window.show();
    window.load();
    const double spent = timedLoop(state, [&] {
        window.performAllTasks();
        while (window.engine->performingUnderway())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    });
    if (window.lvwTasks->count() != tasks)
        std::abort();
    if (yardstickNanoseconds.count(tasks))
        state.counters["ratio_to_safe_copy"] = spent / yardstickNanoseconds[tasks];
}

// --- The event loop during a large copy ------------------------------------------------------

// A timer that should fire every 5 ms notes the longest gap between two of its ticks.
void BM_EventLoopDuringCopy(benchmark::State& state) {
    const TestHome home;
    const QString source = largeFile(home, (shortRun() ? qint64(64) : qint64(2048)) << 20);
    const QString destination = home.file("copy.bin");
    qint64 worstNs = 0;
    for (auto _ : state) {
        QElapsedTimer sinceTick;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            worstNs = std::max(worstNs, sinceTick.nsecsElapsed());
            sinceTick.start();
        });
        probe.start(5);
        sinceTick.start();
        std::optional<bool> copied;
        const Status started =
            startCopy(&probe, source, destination,
                      [&](const Result<CopiedSource>& done) { copied = done.ok(); });
        while (started && !copied)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!started || !*copied)
            std::abort();
        worstNs = std::max(worstNs, sinceTick.nsecsElapsed());
    }
    state.counters["worst_stall_ms"] = double(worstNs) / 1e6;
    state.SetBytesProcessed(state.iterations() * QFileInfo(source).size());
}

} // namespace

BENCHMARK(BM_SafeCopyLoop)->Arg(100)->Arg(1000)->Arg(1276)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerformAll)->Arg(100)->Arg(1000)->Arg(1276)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EventLoopDuringCopy)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

TIDEWELL_GUI_BENCHMARK_MAIN()
