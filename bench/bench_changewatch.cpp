#include "benchSupport.h"
#include "modChangeWatch.h"
#include "modDatabaseBinary.h"
#include "modRules.h"
#include "taskEngine.h"
#include "taskTable.h"
#include "testHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

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

// --- From a save to its copy ------------------------------------------------------------------

// Performs whatever is due without asking; the task list is not shown.
class QuietHost : public EngineHost {
public:
    bool confirmTask(const QString&, const QString&) override { return true; }
    void showMainWindow() override {}
    void fillTaskList() override {}
};

enum Saver { inPlace, renamedIntoPlace, renamedAwayMadeAnew };

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        std::abort();
}

void renameOver(const QString& from, const QString& to) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        std::abort();
}

void save(Saver saver, const QString& source, const QByteArray& content) {
    if (saver == renamedAwayMadeAnew)
        renameOver(source, source + "~");
    writeFile(saver == renamedIntoPlace ? source + ".tmp" : source, content);
    if (saver == renamedIntoPlace)
        renameOver(source + ".tmp", source);
}

// Runs the event loop until the file holds the content, looking every 2 ms; false after 5 s.
bool waitForContent(const QString& path, const QByteArray& content) {
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (fileContents(path) == content)
            loop.quit();
    });
    QTimer::singleShot(5000, &loop, [&] { loop.exit(1); });
    look.start(2);
    return loop.exec() == 0;
}

// Milliseconds from the end of a save to the destination holding it, through the change watch
// and the engine with no tick, for three ways of saving: median and worst.
void BM_SaveToCopy(benchmark::State& state) {
    const auto saver = Saver(state.range(0));
    TestHome home;
    openTaskTable();
    const QString source = home.file("source.txt");
    const QString destination = home.file("copy.txt");
    const std::pair<const char*, QString> fields[] = {
        {TaskField::TaskName, "Saved"},
        {TaskField::SourceFile, source},
        {TaskField::DestinationFile, destination},
        {TaskField::Rule, ruleTexts()[ruleSourceChanged]},
        {TaskField::ConfirmationOn, "0"}};
    for (const auto& [field, value] : fields) {
        if (!modDatabaseBinary::writeField(field, 0, value))
            std::abort();
    }
    QuietHost host;
    TaskEngine engine(host);
    ChangeWatch watch([&engine] { engine.checkSoon(); });
    watch.follow({source});
    save(inPlace, source, "first");
    if (!waitForContent(destination, "first"))
        std::abort();
    std::vector<double> spent;
    for (auto _ : state) {
        const QByteArray content = "save " + QByteArray::number(qint64(spent.size()));
        save(saver, source, content);
        const auto saved = std::chrono::steady_clock::now();
        if (!waitForContent(destination, content)) {
            state.SkipWithError("a save was not copied within 5 s");
            return;
        }
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - saved;
        spent.push_back(took.count());
        while (engine.performingUnderway())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // Saves apart, as a user's are.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::sort(spent.begin(), spent.end());
    state.counters["median_ms"] = spent[spent.size() / 2];
    state.counters["worst_ms"] = spent.back();
}
BENCHMARK(BM_SaveToCopy)
    ->ArgName("saver") // in place, renamed into place, renamed away and made anew
    ->DenseRange(inPlace, renamedAwayMadeAnew)
    ->Iterations(shortRun() ? 3 : 25)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
