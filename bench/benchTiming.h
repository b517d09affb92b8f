#pragma once

#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

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
