// The reference host's input path: what evaluating a connected input costs
// next to evaluating the upstream node itself.  Upstream is a sine node fed
// by a constant, or (the host's share larger) a sum of two constants;
// downstream a sine node whose "In" is wired to it.  The
// measured loop is the module's call for that input (the input service's
// evaluate input), once per sample; the baseline calls the upstream node's
// evaluate directly.  Measured twice: on the render path (a sample memo per
// thread, a new sample each time) and without a memo (Network::evaluate, a
// record made without the render loop).
#include "bench/bench_ratios.h"
#include "refhost/network/network.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kBlock = 512;

struct Wired {
    std::unique_ptr<refhost::Network> net;
    refhost::HostNode *upstream = nullptr, *downstream = nullptr;
};

Wired make_wired(const std::string &upstream) {
    Wired w;
    w.net = std::make_unique<refhost::Network>(bench::module());
    std::string error;
    w.upstream = w.net->create(upstream, error);
    w.downstream = w.upstream != nullptr ? w.net->create("QvMs_SIN", error) : nullptr;
    bool fed = w.downstream != nullptr;
    for (std::size_t i = 0; fed && i < w.upstream->inputs.size(); ++i)
        fed = w.net->feed_input(w.upstream->id, i, refhost::Value::scalar(0.25 * (i + 1)), error) != nullptr;
    if (!fed || !w.net->connect(w.upstream->id, "Out", w.downstream->id, "In", error)) {
        std::fprintf(stderr, "qv_bench: %s\n", error.c_str());
        std::exit(1);
    }
    w.net->set_counting(false);
    w.net->set_constant_copies(true);
    w.net->render_init();
    return w;
}

void run_input(benchmark::State &state, const std::string &upstream, bool memo) {
    Wired w = make_wired(upstream);
    refhost::SampleMemo sample_memo = w.net->make_memo();
    refhost::HostSample sample = refhost::HostSample::at(0.5, 0.5, 0.5, 0.5, 0.0, 0);
    if (memo) sample.extras.memo = &sample_memo;
    const QvNodeInputFuncs &input = refhost::input_funcs();
    refhost::HostInput *in = w.downstream->inputs[0].get();
    refhost::HostOutput *out = w.upstream->outputs[0].get();
    const refhost::HostNode &up = *w.upstream;
    double via_input = 0.0;
    refhost::Value direct;
    refhost::HostValueSlot slot{out->type, &direct};
    bench::alternate(
        state, kBlock,
        [&] {
            for (int k = 0; k < kBlock; ++k) {
                sample_memo.next();
                input.evaluate(in, &sample.access, &via_input);
            }
            benchmark::DoNotOptimize(via_input);
        },
        [&] {
            for (int k = 0; k < kBlock; ++k) up.handler.evaluate(up.instance, &sample.access, out, &slot);
            benchmark::DoNotOptimize(direct);
        });
    if (via_input != direct.as_scalar()) state.SkipWithError("the input gave another value than its upstream node");
}

const bool kRegistered = [] {
    for (const char *upstream : {"QvMs_SIN", "QvMs_ADD"})
        for (const bool memo : {true, false}) {
            const std::string name = std::string("refhost/input/") + upstream + (memo ? "/memo" : "/no_memo");
            benchmark::RegisterBenchmark(name.c_str(), [upstream, memo](benchmark::State &s) {
                run_input(s, upstream, memo);
            })->UseManualTime();
        }
    return true;
}();

}  // namespace
