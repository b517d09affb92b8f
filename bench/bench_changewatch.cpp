#include "modChangeWatch.h"
#include "testHome.h"

#include <QCoreApplication>
#include <QDir>

#include <benchmark/benchmark.h>

namespace {

// Sources of the given number of tasks, spread over three folders.
QStringList sourcesInThreeFolders(const QTemporaryDir& dir, int tasks) {
    QStringList files;
    for (int n = 0; n < 3; ++n)
        QDir(dir.path()).mkdir(QString("folder%1").arg(n));
    for (int n = 0; n < tasks; ++n)
        files << dir.filePath(QString("folder%1/file%2.txt").arg(n % 3).arg(n));
    return files;
}

// Two rebuilds of an unchanged task list: nothing is watched anew.
void BM_FollowUnchanged(benchmark::State& state) {
    TestHome home;
    QTemporaryDir dir;
    const QStringList files = sourcesInThreeFolders(dir, static_cast<int>(state.range(0)));
    // Each rebuild reads the sources afresh: texts equal to the last ones, but not shared.
    QStringList again;
    for (const QString& file : files)
        again << QString(file.constData(), file.size());
    ChangeWatch watch([] {});
    for (auto _ : state) {
        watch.follow(files);
        watch.follow(again);
    }
    state.counters["watches"] = watch.watchCount();
}
BENCHMARK(BM_FollowUnchanged)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// A task list emptied and filled again: all folders are let go and watched again.
void BM_FollowChanged(benchmark::State& state) {
    TestHome home;
    QTemporaryDir dir;
    const QStringList files = sourcesInThreeFolders(dir, static_cast<int>(state.range(0)));
    ChangeWatch watch([] {});
    for (auto _ : state) {
        watch.follow(files);
        watch.follow({});
    }
}
BENCHMARK(BM_FollowChanged)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
