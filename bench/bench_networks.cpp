// Whole networks rendered through the reference host's render path
// (refhost::render_grid), in samples per second:
//   - shared upstream nodes: a fan-out (one sine of u feeding the eight
//     inputs of two four-input sums, added) and a diamond chain ten deep
//     (each level a sine and a cosine of the level below, added), each
//     output evaluated again for every input it feeds, as the application
//     does, against evaluated once per sample and reused; with the number
//     of node evaluations per sample both ways;
//   - growth: chains of 1, 2, 5, 10, 20 and 50 sums (each adding a constant
//     to the one before, the first to u), on two threads against one; and
//     the control: two copies of the loop by hand of 20 sines side by side
//     against one, which shares nothing and shows what the machine gives a
//     second thread;
//   - depth: each chain from 1 to 10,000 sums against a balanced tree of as
//     many sums, which nests log2(N) deep instead of N, both evaluated in
//     order (upstream first); each chain against the chain of 1 evaluating
//     as many nodes (the cost per node over the size); and each chain
//     evaluated when its inputs ask (the way before the order) against in
//     order;
//   - a chain of 20 sines rendered against the loop that computes the same
//     20 sines written by hand;
//   - loading: a chain of 10^3, 10^4 and 10^5 sines read from TOML listed
//     from its first node against listed from its last, per node;
//   - the ladder: 21 adders each reading the one before twice, one sample
//     evaluated again for every reader against once per sample.
#include "bench/bench_ratios.h"
#include "bench/generated_networks.h"
#include "qvhost/network_toml.h"
#include "refhost/network/render.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kFrame = 0;

// A network built in code, with the output to render.
struct Built {
    std::unique_ptr<refhost::Network> net;
    qvhost::OutputRef output;
};

class Builder {
public:
    Builder() : net_(std::make_unique<refhost::Network>(bench::module())) {}
    int node(const std::string &server) {
        refhost::HostNode *n = net_->create(server, error_);
        check(n != nullptr);
        return n->id;
    }
    // Generated networks close no loop: none is looked for, which would take
    // a walk upstream at every connection of a long chain.
    void wire(int from, const std::string &output, int to, const std::string &input) {
        check(net_->connect(from, output, to, input, error_, refhost::Network::LoopCheck::later));
    }
    void feed(int to, const std::string &input, double v) {
        check(net_->feed(to, input, refhost::Value::scalar(v), error_) != nullptr);
    }
    void feed_u(int to) { check(net_->feed_sample(to, 0, refhost::SampleSource::u, error_) != nullptr); }
    Built finish(int node, const std::string &output) {
        net_->set_counting(false);
        net_->set_constant_copies(true);
        net_->render_init();
        refhost::start_frame(*net_, kFrame, 30.0);
        Built b;
        b.output.text = output;
        b.output.node = node;
        b.output.output = net_->node(node)->output(output);
        b.output.net = net_.get();
        b.net = std::move(net_);
        return b;
    }

private:
    void check(bool ok) {
        if (ok) return;
        std::fprintf(stderr, "qv_bench: building a network: %s\n", error_.c_str());
        std::exit(1);
    }
    std::unique_ptr<refhost::Network> net_;
    std::string error_;
};

Built fan_out() {
    Builder b;
    const int up = b.node("QvMs_SIN");
    b.feed_u(up);
    const int left = b.node("QvMs_ADD4"), right = b.node("QvMs_ADD4"), sum = b.node("QvMs_ADD");
    for (const char *in : {"In1", "In2", "In3", "In4"}) {
        b.wire(up, "Out", left, in);
        b.wire(up, "Out", right, in);
    }
    b.wire(left, "Out", sum, "In1");
    b.wire(right, "Out", sum, "In2");
    return b.finish(sum, "Out");
}

Built diamond(int depth) {
    Builder b;
    int below = b.node("QvMs_SIN");
    b.feed_u(below);
    for (int level = 0; level < depth; ++level) {
        const int s = b.node("QvMs_SIN"), c = b.node("QvMs_COS"), sum = b.node("QvMs_ADD");
        b.wire(below, "Out", s, "In");
        b.wire(below, "Out", c, "In");
        b.wire(s, "Out", sum, "In1");
        b.wire(c, "Out", sum, "In2");
        below = sum;
    }
    return b.finish(below, "Out");
}

Built chain(int length) {
    Builder b;
    int last = b.node("QvMs_ADD");
    b.feed_u(last);
    b.feed(last, "In2", 0.001);
    for (int k = 1; k < length; ++k) {
        const int next = b.node("QvMs_ADD");
        b.wire(last, "Out", next, "In1");
        b.feed(next, "In2", 0.001);
        last = next;
    }
    return b.finish(last, "Out");
}

// N sums as a balanced binary tree: sum k adds sums 2k and 2k + 1 where
// there are such, else u and the constant.  As many nodes as a chain of N,
// nested only log2(N) deep.
Built tree(int nodes) {
    Builder b;
    std::vector<int> id(static_cast<std::size_t>(nodes) + 1);
    for (int k = 1; k <= nodes; ++k) id[static_cast<std::size_t>(k)] = b.node("QvMs_ADD");
    for (int k = 1; k <= nodes; ++k) {
        const int self = id[static_cast<std::size_t>(k)];
        if (2 * k <= nodes)
            b.wire(id[static_cast<std::size_t>(2 * k)], "Out", self, "In1");
        else
            b.feed_u(self);
        if (2 * k + 1 <= nodes)
            b.wire(id[static_cast<std::size_t>(2 * k + 1)], "Out", self, "In2");
        else
            b.feed(self, "In2", 0.001);
    }
    return b.finish(id[1], "Out");
}

// A chain of `length` sines, the first reading u.
Built sine_chain(int length) {
    Builder b;
    int last = b.node("QvMs_SIN");
    b.feed_u(last);
    for (int k = 1; k < length; ++k) {
        const int next = b.node("QvMs_SIN");
        b.wire(last, "Out", next, "In");
        last = next;
    }
    return b.finish(last, "Out");
}

// Renders one frame on a width x height grid; the evaluations it made are
// added to `evaluations`.
void render_wide(const Built &b, int width, int height, int threads, bool reuse, refhost::ValueImage &image,
                 long &evaluations, bool in_order = true) {
    refhost::RenderControl control;
    control.threads = threads;
    control.reuse = reuse;
    control.in_order = in_order;
    std::atomic<long> counted{0};
    control.evaluations = &counted;
    std::string error;
    if (!refhost::render_grid(b.output.network(), *b.output.output, b.output.text, width, height,
                              refhost::frame_time(kFrame, 30.0), kFrame, control, image, error)) {
        std::fprintf(stderr, "qv_bench: %s\n", error.c_str());
        std::exit(1);
    }
    evaluations += counted.load();
}

// The same on a square size x size grid.
void render(const Built &b, int size, int threads, bool reuse, refhost::ValueImage &image, long &evaluations,
            bool in_order = true) {
    render_wide(b, size, size, threads, reuse, image, evaluations, in_order);
}

// Evaluating again for every input (measured, the application's way)
// against reuse (baseline), one thread: the ratio is how many times faster
// reuse is.  Counters: samples per second and evaluations per sample, each
// both ways.
void run_shared(benchmark::State &state, Built (*make)(), int size) {
    const Built b = make();
    refhost::ValueImage reused, again;
    long reused_evaluations = 0, again_evaluations = 0;
    bench::alternate<bench::ThreadClock>(
        state, static_cast<double>(size) * size, [&] { render(b, size, 1, false, again, again_evaluations); },
        [&] { render(b, size, 1, true, reused, reused_evaluations); });
    if (reused.values != again.values) state.SkipWithError("reuse changed the values");
    const double samples = static_cast<double>(state.iterations()) * size * size;
    state.counters["again_samples_per_s"] = 1e9 / state.counters["time_ns"];
    state.counters["reuse_samples_per_s"] = 1e9 / state.counters["baseline_ns"];
    state.counters["again_evaluations"] = static_cast<double>(again_evaluations) / samples;
    state.counters["reuse_evaluations"] = static_cast<double>(reused_evaluations) / samples;
}

Built diamond10() { return diamond(10); }

void sines_by_hand(int length, int size, std::vector<float> &out);
void two_copies_by_hand(std::vector<float> &a, std::vector<float> &b);
void one_copy_by_hand(std::vector<float> &out);

// Two threads (measured) against one (baseline), with reuse.  After each
// pair of frames, the control (run_threads_control) is measured too, so
// that the speedup relative to what the machine gave a second thread is
// taken from the same moments: counters "control_speedup" and "relative".
void run_growth(benchmark::State &state) {
    const int length = static_cast<int>(state.range(0));
    // A grid large enough that starting the second thread is a small part
    // of the render: about two million node evaluations.
    int size = 128;
    while (size < 2048 && static_cast<long>(size) * size * length < (1L << 21)) size *= 2;
    const Built b = chain(length);
    refhost::ValueImage one, two;
    long evaluations = 0;
    std::vector<float> copy_a, copy_b, copy_one;
    std::vector<double> control, relative;
    // One untimed frame and control first: the machine is slow to give a
    // second thread its share after the first thread ran alone.
    render(b, size, 2, true, two, evaluations);
    two_copies_by_hand(copy_a, copy_b);
    bench::alternate(
        state, static_cast<double>(size) * size, [&] { render(b, size, 2, true, two, evaluations); },
        [&] { render(b, size, 1, true, one, evaluations); },
        [&](double two_threads, double one_thread) {
            const double t0 = bench::WallClock::now();
            two_copies_by_hand(copy_a, copy_b);
            const double t1 = bench::WallClock::now();
            one_copy_by_hand(copy_one);
            const double t2 = bench::WallClock::now();
            if (t1 <= t0 || two_threads <= 0) return;
            control.push_back(2 * (t2 - t1) / (t1 - t0));
            relative.push_back(one_thread / two_threads / control.back());
        });
    if (one.values != two.values) state.SkipWithError("two threads gave other values than one");
    state.counters["control_speedup"] = bench::median(control);
    state.counters["relative"] = bench::median(relative);
    state.counters["nodes"] = length;
    state.counters["two_threads_samples_per_s"] = 1e9 / state.counters["time_ns"];
    state.counters["one_thread_samples_per_s"] = 1e9 / state.counters["baseline_ns"];
}

// The loop by hand of a chain of `length` sines over a size x size grid:
// the first sine reads u, as in sine_chain.
void sines_by_hand(int length, int size, std::vector<float> &out) {
    out.resize(static_cast<std::size_t>(size) * size);
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            double v = (px + 0.5) / size;
            for (int k = 0; k < length; ++k) v = std::sin(v);
            out[static_cast<std::size_t>(py) * size + px] = static_cast<float>(v);
        }
    benchmark::DoNotOptimize(out.data());
}

constexpr int kByHandLength = 20, kByHandSize = 128;

// The control of two threads against one: two copies of the loop by hand of
// a chain of 20 sines, side by side on two threads (measured), against one
// copy on one (baseline).  Nothing is shared, so twice the ratio's inverse
// is the speedup the machine gives two threads now.
void two_copies_by_hand(std::vector<float> &a, std::vector<float> &b) {
    std::thread other([&] { sines_by_hand(kByHandLength, kByHandSize, b); });
    sines_by_hand(kByHandLength, kByHandSize, a);
    other.join();
}

void one_copy_by_hand(std::vector<float> &out) { sines_by_hand(kByHandLength, kByHandSize, out); }

void run_threads_control(benchmark::State &state) {
    std::vector<float> one, two_a, two_b;
    bench::alternate(
        state, static_cast<double>(kByHandSize) * kByHandSize, [&] { two_copies_by_hand(two_a, two_b); },
        [&] { one_copy_by_hand(one); });
    if (two_a != one || two_b != one) state.SkipWithError("the copies differ");
}

// The size of the square grid on which a network of `nodes` is rendered:
// 128 x 128, fewer samples for the largest networks, so that each render
// evaluates about as many nodes.
int grid_for(int nodes) {
    int size = 128;
    while (size > 8 && static_cast<long>(size) * size * nodes > (1L << 22)) size /= 2;
    return size;
}

// The chain (measured) against the tree of as many nodes (baseline), one
// thread, both in order: what nesting costs beyond the nodes themselves.
void run_depth(benchmark::State &state) {
    const int nodes = static_cast<int>(state.range(0));
    const int size = grid_for(nodes);
    const Built deep = chain(nodes), shallow = tree(nodes);
    refhost::ValueImage a, b;
    long evaluations = 0;
    bench::alternate<bench::ThreadClock>(
        state, static_cast<double>(size) * size, [&] { render(deep, size, 1, true, a, evaluations); },
        [&] { render(shallow, size, 1, true, b, evaluations); });
    state.counters["nodes"] = nodes;
    state.counters["size"] = size;
}

// The cost per node over the size: the chain of `nodes` (measured) against
// the chain of 1 (baseline), each rendered on one thread in order with as
// many node evaluations (the chain of 1 on a grid `nodes` times as wide), so
// that the ratio is the one's cost per node over the other's.
void run_flat(benchmark::State &state) {
    const int nodes = static_cast<int>(state.range(0));
    const int size = grid_for(nodes);
    const Built long_chain = chain(nodes), one = chain(1);
    refhost::ValueImage a, b;
    long evaluations = 0;
    bench::alternate<bench::ThreadClock>(
        state, static_cast<double>(size) * size * nodes,
        [&] { render_wide(long_chain, size, size, 1, true, a, evaluations); },
        [&] { render_wide(one, size * nodes, size, 1, true, b, evaluations); });
    state.counters["nodes"] = nodes;
    state.counters["size"] = size;
}

// The chain evaluated when its inputs ask, each level nesting in the one
// below (measured, the way before the order), against in order (baseline),
// one thread.
void run_order(benchmark::State &state) {
    const int nodes = static_cast<int>(state.range(0));
    const int size = grid_for(nodes);
    const Built b = chain(nodes);
    refhost::ValueImage nested, ordered;
    long evaluations = 0;
    bench::alternate<bench::ThreadClock>(
        state, static_cast<double>(size) * size, [&] { render(b, size, 1, true, nested, evaluations, false); },
        [&] { render(b, size, 1, true, ordered, evaluations, true); });
    if (nested.values != ordered.values) state.SkipWithError("the order changed the values");
    state.counters["nodes"] = nodes;
    state.counters["size"] = size;
}

// A chain of 20 sines rendered in order (measured; when asked with
// "in_order:0") against the same sines by hand (baseline), one thread.
void run_chain_by_hand(benchmark::State &state) {
    const bool in_order = state.range(0) != 0;
    const Built b = sine_chain(kByHandLength);
    refhost::ValueImage image;
    std::vector<float> by_hand;
    long evaluations = 0;
    bench::alternate<bench::ThreadClock>(
        state, static_cast<double>(kByHandSize) * kByHandSize,
        [&] { render(b, kByHandSize, 1, true, image, evaluations, in_order); },
        [&] { sines_by_hand(kByHandLength, kByHandSize, by_hand); });
    if (image.values != by_hand) state.SkipWithError("the loop by hand differs from the network");
    state.counters["nodes"] = kByHandLength;
}

// Reads a network from TOML text; exits on any problem.
qvhost::NetworkFile read_toml(const std::string &text) {
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    if (!qvhost::read_network_toml(text, "bench.toml", bench::module(), file, problems)) {
        std::fprintf(stderr, "qv_bench: %s\n", problems.empty() ? "?" : problems[0].c_str());
        std::exit(1);
    }
    return file;
}

// A chain listed from its first node (measured) against listed from its
// last (baseline): time per node.
void run_load(benchmark::State &state) {
    const int nodes = static_cast<int>(state.range(0));
    const std::string forwards = qvgen::toml_chain(nodes, false), backwards = qvgen::toml_chain(nodes, true);
    bench::alternate<bench::ThreadClock>(
        state, nodes, [&] { benchmark::DoNotOptimize(read_toml(forwards)); },
        [&] { benchmark::DoNotOptimize(read_toml(backwards)); });
    state.counters["nodes"] = nodes;
}

// One sample of the ladder's last node, evaluated again for every reader
// (measured, the application's way) against once (baseline).
void run_ladder(benchmark::State &state) {
    constexpr int kDepth = 20;
    qvhost::NetworkFile file = read_toml(qvgen::ladder(kDepth));
    const refhost::HostOutput &out = *file.network->node(file.find("n20")->id)->output("Out");
    long evaluations[2] = {0, 0};
    auto sample = [&](bool reuse) {
        file.network->set_reuse(reuse);
        refhost::SampleMemo memo = file.network->make_memo();
        refhost::HostSample s = refhost::HostSample::at(0.5, 0.5, 0.5, 0.5, 0.0, kFrame);
        memo.start(s);
        benchmark::DoNotOptimize(memo.value(out, &s.access));
        evaluations[reuse ? 1 : 0] = memo.evaluations();
    };
    bench::alternate<bench::ThreadClock>(
        state, 1, [&] { sample(false); }, [&] { sample(true); });
    state.counters["again_evaluations"] = static_cast<double>(evaluations[0]);
    state.counters["reuse_evaluations"] = static_cast<double>(evaluations[1]);
}

const bool kRegistered = [] {
    benchmark::RegisterBenchmark("network/fan_out_8", [](benchmark::State &s) { run_shared(s, fan_out, 128); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("network/diamond_10", [](benchmark::State &s) { run_shared(s, diamond10, 16); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    // Two threads against one, and their control.
    benchmark::RegisterBenchmark("network/chain", run_growth)
        ->ArgName("nodes")
        ->Arg(1)
        ->Arg(2)
        ->Arg(5)
        ->Arg(10)
        ->Arg(20)
        ->Arg(50)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("network/threads_control", run_threads_control)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    // Depth, and the order against nesting, from 1 to 10,000 nodes.
    for (auto *b : {benchmark::RegisterBenchmark("network/depth", run_depth),
                    benchmark::RegisterBenchmark("network/flat", run_flat),
                    benchmark::RegisterBenchmark("network/order", run_order)})
        for (const int nodes : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000})
            b->ArgName("nodes")->Arg(nodes)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("network/chain_20_by_hand", run_chain_by_hand)
        ->ArgName("in_order")
        ->Arg(1)
        ->Arg(0)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("network/load", run_load)
        ->ArgName("nodes")
        ->Arg(1000)
        ->Arg(10000)
        ->Arg(100000)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("network/ladder_20", run_ladder)
        ->Iterations(5)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
