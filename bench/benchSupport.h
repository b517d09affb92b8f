#pragma once

#include "testHome.h"

#include <QFile>
#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

// The test script runs every benchmark once, briefly: sizes shrink so that it stays quick.
inline bool shortRun() {
    return qEnvironmentVariableIsSet("TIDEWELL_BENCH_SHORT");
}

// Wall-clock nanoseconds per iteration of the body, for ratios between two benchmarks.
template <class Body> double timedLoop(benchmark::State& state, Body body) {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        body();
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// A file of the given size in the test's folder, of bytes that no file system can compress.
inline QString largeFile(const TestHome& home, qint64 size) {
    const QString path = home.file("large.bin");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    QByteArray block(4 << 20, Qt::Uninitialized);
    quint32 seed = 2463534242u;
    for (char& byte : block) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = char(seed);
    }
    for (qint64 written = 0; written < size; written += block.size()) {
        if (file.write(block) != block.size())
            std::abort();
    }
    return path;
}
