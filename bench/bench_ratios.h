// What the benchmark programs share: the module, loaded once as the
// application loads it, and the ratios printed at the end of a run.
//
// A ratio is measured one of two ways.  compare() names two benchmarks of
// the run (their medians are divided).  alternate() measures a loop and its
// baseline inside one benchmark, in blocks taken in turn, and keeps the
// median of the block-by-block ratios: on a shared machine a pause hits one
// block, not a whole benchmark, and both sides see the same load, so the
// ratio is far steadier than one of two separate medians.
#pragma once

#include "refhost/module_loader.h"
#include "tests/allocations/allocation_count.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <ctime>

namespace bench {

std::shared_ptr<refhost::Module> module();

// The clocks a block is timed by, in seconds.  The wall clock for blocks
// that run on several threads; the processor time of the calling thread for
// blocks that run on it alone, which does not count the time other programs
// take the processor from it: on a machine shared with builds, that time is
// most of the wall time.
struct WallClock {
    static double now() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};
struct ThreadClock {
    static double now() {
#if defined(CLOCK_THREAD_CPUTIME_ID) && !defined(_WIN32)
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#else
        return WallClock::now();
#endif
    }
};

// The median of `v` (reordered), 0 for none.
inline double median(std::vector<double> &v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Registers a ratio to print: the time of `benchmark` over that of
// `baseline` (full run names, "BM_X/2/real_time").  Returns true, so that a
// registration can initialise a constant.
bool compare(const std::string &benchmark, const std::string &baseline);

// Runs one block of `measured` and one of `baseline` per iteration, in the
// other order every second iteration, each block doing `items` items (an
// evaluate, a sample).  The benchmark's own time is the measured blocks'
// (register it with UseManualTime).  Counters, per item: "time_ns" and
// "baseline_ns" (medians over the blocks), "ratio" (the median of measured
// over baseline, block pair by block pair) and "allocs" (heap allocations
// during the measured blocks; "baseline_allocs" for the others).  Timed by
// the wall clock unless told (alternate<ThreadClock>(...)).  After each
// pair, on_pair(measured seconds, baseline seconds).
template <typename Clock = WallClock, typename Measured, typename Baseline, typename OnPair>
void alternate(benchmark::State &state, double items, Measured &&measured, Baseline &&baseline, OnPair &&on_pair) {
    std::vector<double> times, baseline_times, ratios;
    const auto blocks = static_cast<std::size_t>(state.max_iterations);
    times.reserve(blocks);
    baseline_times.reserve(blocks);
    ratios.reserve(blocks);
    long allocations = 0, baseline_allocations = 0;
    auto timed = [](auto &&block, long &allocated) {
        const long before = qvalloc::allocations();
        const double t0 = Clock::now();
        block();
        const double t1 = Clock::now();
        allocated += qvalloc::allocations() - before;
        return t1 - t0;
    };
    bool measured_first = true;
    for (auto _ : state) {
        double a, b;
        if (measured_first) {
            a = timed(measured, allocations);
            b = timed(baseline, baseline_allocations);
        } else {
            b = timed(baseline, baseline_allocations);
            a = timed(measured, allocations);
        }
        measured_first = !measured_first;
        state.SetIterationTime(a);
        times.push_back(a);
        baseline_times.push_back(b);
        if (b > 0) ratios.push_back(a / b);
        on_pair(a, b);
    }
    const double n = static_cast<double>(state.iterations()) * items;
    state.counters["time_ns"] = median(times) / items * 1e9;
    state.counters["baseline_ns"] = median(baseline_times) / items * 1e9;
    state.counters["ratio"] = median(ratios);
    state.counters["allocs"] = n > 0 ? static_cast<double>(allocations) / n : 0.0;
    state.counters["baseline_allocs"] = n > 0 ? static_cast<double>(baseline_allocations) / n : 0.0;
}

template <typename Clock = WallClock, typename Measured, typename Baseline>
void alternate(benchmark::State &state, double items, Measured &&measured, Baseline &&baseline) {
    alternate<Clock>(state, items, measured, baseline, [](double, double) {});
}

}  // namespace bench
