// What a trace statement and a function scope cost with tracing off, next to an empty loop.
//
// EmptyLoop runs first and leaves its time per iteration behind; every traced benchmark
// times its own loop the same way and reports the ratio as the counter "x_empty_loop", so
// the figure compares two loops of the same run rather than absolute times. Run the whole
// set (no filter that drops EmptyLoop), or the ratio reads 0.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "trace/ov_trace.h"

namespace {

using ov::trace::EndLine;
using ov::trace::OvTrace;
using ov::trace::OvTraceFunction;

const std::wstring g_serviceName = L"OvSharedEngine";
double g_emptyLoopSeconds = 0;  // per iteration, from the last EmptyLoop run

// Runs the benchmark's loop around body and returns the seconds per iteration it took.
template <typename Body>
double TimedLoop(benchmark::State& state, Body body) {
  std::int64_t i = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) body(i++);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return state.iterations() > 0 ? seconds / static_cast<double>(state.iterations()) : 0;
}

void EmptyLoop(benchmark::State& state) {
  g_emptyLoopSeconds = TimedLoop(state, [](std::int64_t i) { benchmark::DoNotOptimize(i); });
}

template <typename Body>
void ReportAgainstEmptyLoop(benchmark::State& state, Body body) {
  const double perIteration = TimedLoop(state, body);
  state.counters["x_empty_loop"] = g_emptyLoopSeconds > 0 ? perIteration / g_emptyLoopSeconds : 0;
}

void DisabledStatement(benchmark::State& state) {
  ReportAgainstEmptyLoop(state, [](std::int64_t i) {
    OvTrace trace(true);
    trace << L"Stopping service " << g_serviceName << L", attempt " << static_cast<int>(i) << EndLine;
  });
}

void DisabledFunctionScope(benchmark::State& state) {
  ReportAgainstEmptyLoop(state, [](std::int64_t i) {
    std::int32_t result = static_cast<std::int32_t>(i);
    OvTraceFunction scope(L"Fn", ov::trace::kReturnInt32, &result, true);
    benchmark::DoNotOptimize(result);
  });
}

// A realistic function name does not fit a short-string buffer: storing it is the one
// allocation a scope makes with tracing off.
void DisabledFunctionScopeLongName(benchmark::State& state) {
  ReportAgainstEmptyLoop(state, [](std::int64_t) {
    OvTraceFunction scope(L"RestartServiceAndRunningDependents", ov::trace::kReturnNone, nullptr, true);
  });
}

}  // namespace

BENCHMARK(EmptyLoop);
BENCHMARK(DisabledStatement);
BENCHMARK(DisabledFunctionScope);
BENCHMARK(DisabledFunctionScopeLongName);

BENCHMARK_MAIN();
