#include "modFileVersionInfo.h"

#include "../tests/fixtures/peFixtureWriter.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A 20 MB image whose version resource lies behind a section of zeros, written once.
class LargeImage {
public:
    LargeImage() {
        const PeFixture fixture(true, 0x00060000, 0x0B540884, 20 << 20);
        QFile file(path());
        if (!file.open(QIODevice::WriteOnly) || file.write(fixture.bytes) != fixture.bytes.size())
            qFatal("cannot write %s", qPrintable(path()));
    }
    QString path() const { return m_dir.filePath(QStringLiteral("large.dll")); }

private:
    QTemporaryDir m_dir;
};

void getFileVersionOfLargeImage(benchmark::State& state) {
    static const LargeImage image;
    const QString path = image.path();
    if (getFileVersion(path) != QStringLiteral("6.00.2900.2180")) {
        state.SkipWithError("wrong version text");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(getFileVersion(path));
}
BENCHMARK(getFileVersionOfLargeImage)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
