// Refilling the task list widget, shown and sorted, including the layout and painting that
// follow. Target: under 100 ms for 1000 tasks in the details view.
#include "guiBenchmarkMain.h"
#include "taskListView.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

QList<TaskListItem> manyTasks(int count) {
    const char* const keys[] = {"txt", "exe", "dll", "bmp", "web", "none"};
    QList<TaskListItem> items;
    for (int n = 0; n < count; ++n) {
        const QString number = QString::number(n);
        items.append({"key" + number,
                      "Task " + QString::number((n * 7919) % count),
                      keys[n % 6],
                      {n % 3 ? QString("2024/%1/%2")
                                   .arg(n % 12 + 1, 2, 10, QChar('0'))
                                   .arg(n % 28 + 1, 2, 10, QChar('0'))
                             : QString(),
                       "C:\\Source\\file" + number + ".txt", "D:\\Copies\\file" + number + ".txt",
                       "When the source file is changed"}});
    }
    return items;
}

void refill(benchmark::State& state, TaskViewMode mode) {
    const QList<TaskListItem> items = manyTasks(int(state.range(0)));
    TaskListView list;
    list.resize(800, 500);
    list.setViewMode(mode);
    list.setSortKey(0);
    list.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        list.setItems(items);
        QCoreApplication::processEvents();
    }
    state.counters["tasks"] = double(list.count());
}

void BM_SetItemsDetails(benchmark::State& state) {
    refill(state, TaskViewMode::details);
}

void BM_SetItemsLargeIcons(benchmark::State& state) {
    refill(state, TaskViewMode::largeIcons);
}

} // namespace

BENCHMARK(BM_SetItemsDetails)->Arg(100)->Arg(1000)->Arg(1276)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetItemsLargeIcons)->Arg(1000)->Unit(benchmark::kMillisecond);

TIDEWELL_GUI_BENCHMARK_MAIN()
