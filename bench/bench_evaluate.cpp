// Cost of one evaluate through the module, as ratios against the bare work
// it wraps, measured in the same run: the host's input and output services
// are part of every evaluate, so the baseline is a direct call of the same
// math plus a copy of the result.
//
//   qv_bench [--benchmark options]   run from the directory holding the module
#include "bench/bench_ratios.h"
#include "refhost/application.h"
#include "refhost/network.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

struct Evaluator {
    std::unique_ptr<refhost::Network> net;
    refhost::HostNode *node = nullptr;
    refhost::HostOutput *out = nullptr;
};

Evaluator make(const std::string &server, const char *input) {
    Evaluator e;
    e.net = std::make_unique<refhost::Network>(bench::module());
    std::string error;
    e.node = e.net->create(server, error);
    if (e.node == nullptr) {
        std::fprintf(stderr, "qv_bench: %s\n", error.c_str());
        std::exit(1);
    }
    if (input != nullptr) e.net->feed(e.node->id, input, refhost::Value::scalar(0.5), error);
    e.net->render_init();
    e.out = e.node->outputs[0].get();
    return e;
}

void run_node(benchmark::State &state, const char *server, const char *input) {
    Evaluator e = make(server, input);
    QvSampleAccess sa{};
    refhost::Value v;
    refhost::HostValueSlot slot{e.out->type, &v};
    for (auto _ : state) {
        e.node->handler.evaluate(e.node->instance, &sa, e.out, &slot);
        benchmark::DoNotOptimize(v);
    }
}

// The baseline: the same function on a value read through a pointer, the
// result copied out as the host's set-value does.
void BM_Baseline_Sin(benchmark::State &state) {
    volatile double in = 0.5;
    refhost::Value v;
    for (auto _ : state) {
        const double r = std::sin(in);
        std::memcpy(v.bytes, &r, sizeof r);
        benchmark::DoNotOptimize(v);
    }
}
void BM_Sin_Connected(benchmark::State &state) { run_node(state, "QvMs_SIN", "In"); }
void BM_Sin_Default(benchmark::State &state) { run_node(state, "QvMs_SIN", nullptr); }
void BM_Add4_Defaults(benchmark::State &state) { run_node(state, "QvMs_ADD4", nullptr); }
void BM_Dist_Defaults(benchmark::State &state) { run_node(state, "QvMs_DIST", nullptr); }

BENCHMARK(BM_Baseline_Sin);
BENCHMARK(BM_Sin_Connected);
BENCHMARK(BM_Sin_Default);
BENCHMARK(BM_Add4_Defaults);
BENCHMARK(BM_Dist_Defaults);

const bool kRatios = bench::compare("BM_Sin_Connected", "BM_Baseline_Sin") &&
                     bench::compare("BM_Sin_Default", "BM_Baseline_Sin") &&
                     bench::compare("BM_Add4_Defaults", "BM_Baseline_Sin") &&
                     bench::compare("BM_Dist_Defaults", "BM_Baseline_Sin");

}  // namespace
