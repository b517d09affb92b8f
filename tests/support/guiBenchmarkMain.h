#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

// main() for benchmarks of windows: an application object, offscreen unless told otherwise.
#define TIDEWELL_GUI_BENCHMARK_MAIN()                                                              \
    int main(int argc, char** argv) {                                                              \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))                                         \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        benchmark::Initialize(&argc, argv);                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                       \
        benchmark::Shutdown();                                                                     \
        return 0;                                                                                  \
    }
