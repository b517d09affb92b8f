// Rebuilding the main window's task list from tasks.dat, in the details view, with the check
// cycle that ends every rebuild. Target: under 100 ms for 1000 tasks.
#include "frmMain.h"
#include "guiBenchmarkMain.h"
#include "modDatabaseBinary.h"
#include "taskListView.h"
#include "taskTable.h"
#include "testHome.h"

#include <QAction>
#include <QApplication>

#include <benchmark/benchmark.h>

namespace db = modDatabaseBinary;

namespace {

// Tasks that are never due, so the rebuild's check cycle reads them all and copies nothing.
void storeTasks(int count) {
    openTaskTable();
    for (int n = 0; n < count; ++n) {
        const QString number = QString::number(n);
        (void)db::writeField(TaskField::TaskName, n, "Task " + number);
        (void)db::writeField(TaskField::SourceFile, n, "/nowhere/source" + number + ".txt");
        (void)db::writeField(TaskField::DestinationFile, n, "/nowhere/copy" + number + ".txt");
        (void)db::writeField(TaskField::Rule, n, "Only when I select to perform the task");
        (void)db::writeField(TaskField::LastUpdated, n, n % 2 ? "" : "not a date");
    }
}

void BM_FillTaskListDetails(benchmark::State& state) {
    TestHome home;
    storeTasks(int(state.range(0)));
    frmMain window;
    window.load();
    window.mnuViewDetails->trigger();
    window.show();
    for (auto _ : state)
        window.fillTaskList();
    state.counters["tasks"] = double(window.lvwTasks->count());
}

} // namespace

BENCHMARK(BM_FillTaskListDetails)->Arg(100)->Arg(1000)->Arg(1276)->Unit(benchmark::kMillisecond);

TIDEWELL_GUI_BENCHMARK_MAIN()
