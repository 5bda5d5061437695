// Rendering the demo network (examples/demo.qvn.toml, 24 nodes, its colour
// output "centre.Out") over 256 x 256 samples through the module and the
// reference host, against a loop written by hand that computes the same
// values without them, on one thread and on two.  Reported as samples per
// second; the ratio of the two is printed at the end of the run.
#include "bench/bench_ratios.h"
#include "refhost/noise.h"
#include "tools/demo_network.h"
#include "tools/evaluation.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#ifdef QV_HAVE_TBB
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#endif

namespace {

constexpr int kSize = 256;
constexpr int kFrame = 24;
constexpr double kFps = 30.0;

// The demo's colour at one sample, written out by hand: the same formulas in
// the same order as its nodes, the noisy channel held for the frame.
void demo_colour(double u, double v, double t, double jitter, float out[3]) {
    const double cx = u - 0.5, cy = v - 0.5;
    const double radius = std::sqrt(cx * cx + cy * cy);
    const double wave = std::sin(radius * 40.0 - t * 6.0);
    const double bands = (1.0 - 0.0) / (1.0 - -1.0) * (wave - -1.0) + 0.0;
    // The signed angle of (cx, cy), through its cosine.
    double swirl = 0.0;
    const double s = cy * cy + cx * cx;
    if (s > 0.0) {
        const double k = 1.0 / std::sqrt(s);
        const double x = cx * k, y = cy * k;
        swirl = std::acos(x);
        if (y > 0.0) swirl = -swirl;
    }
    const double hue = (1.0 - 0.0) / (1.0 - -1.0) * (std::cos(swirl) - -1.0) + 0.0;
    double glow = hue + jitter;
    glow = glow > 0.0 ? glow : 0.0;
    glow = glow < 1.0 ? glow : 1.0;
    const double blue = bands * radius;
    out[0] = static_cast<float>(bands * 2.0 - 1.0);
    out[1] = static_cast<float>(glow * 2.0 - 1.0);
    out[2] = static_cast<float>(blue * 2.0 - 1.0);
}

double demo_jitter(double t) {
    double p[3] = {(t - 0.0) * 0.5 * 10.0, 0.0, 20.0};
    return (refhost::texture_noise(p) - 0.5) * 0.4 + 0.0;
}

void hand_written(int threads, qvhost::ValueImage &image) {
    const double t = qvhost::frame_time(kFrame, kFps);
    const double jitter = demo_jitter(t);
    auto rows = [&](int first, int last) {
        for (int py = first; py < last; ++py)
            for (int px = 0; px < kSize; ++px) {
                const double u = (px + 0.5) / kSize, v = 1.0 - (py + 0.5) / kSize;
                demo_colour(u, v, t, jitter, &image.values[(static_cast<std::size_t>(py) * kSize + px) * 3]);
            }
    };
#ifdef QV_HAVE_TBB
    if (threads > 1) {
        tbb::task_arena arena(threads);
        arena.execute([&] {
            tbb::parallel_for(tbb::blocked_range<int>(0, kSize),
                              [&](const tbb::blocked_range<int> &r) { rows(r.begin(), r.end()); });
        });
        return;
    }
#endif
    (void)threads;
    rows(0, kSize);
}

struct Demo {
    qvhost::NetworkFile file;
    qvhost::OutputRef output;
};

Demo &demo() {
    static Demo d = [] {
        Demo made;
        std::vector<std::string> problems;
        std::string error;
        if (!qvhost::read_network_toml(qvhost::kDemoNetwork, "demo.qvn.toml", bench::module(), made.file, problems) ||
            !qvhost::resolve_output(made.file, "centre.Out", made.output, error)) {
            std::fprintf(stderr, "qv_bench: the demo network: %s\n", problems.empty() ? error.c_str() : problems[0].c_str());
            std::exit(1);
        }
        made.file.network->render_init();
        qvhost::start_frame(*made.file.network, kFrame, kFps);
        return made;
    }();
    return d;
}

void BM_Render_Demo(benchmark::State &state) {
    Demo &d = demo();
    qvhost::RenderControl control;
    control.threads = static_cast<int>(state.range(0));
    qvhost::ValueImage image;
    std::string error;
    for (auto _ : state) {
        qvhost::render_grid(d.output, kSize, kSize, qvhost::frame_time(kFrame, kFps), kFrame, control, image, error);
        benchmark::DoNotOptimize(image.values.data());
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);

    // The hand-written loop must give the values the module gives.
    qvhost::ValueImage by_hand = image;
    hand_written(1, by_hand);
    for (std::size_t k = 0; k < image.values.size(); ++k)
        if (std::fabs(image.values[k] - by_hand.values[k]) > 1e-6f) {
            state.SkipWithError("the hand-written loop differs from the network");
            break;
        }
}

void BM_Render_HandWritten(benchmark::State &state) {
    qvhost::ValueImage image;
    image.width = image.height = kSize;
    image.channels = 3;
    image.values.assign(static_cast<std::size_t>(kSize) * kSize * 3, 0.0f);
    for (auto _ : state) {
        hand_written(static_cast<int>(state.range(0)), image);
        benchmark::DoNotOptimize(image.values.data());
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

BENCHMARK(BM_Render_Demo)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_HandWritten)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

const bool kRatios = bench::compare("BM_Render_Demo/1/real_time", "BM_Render_HandWritten/1/real_time") &&
                     bench::compare("BM_Render_Demo/2/real_time", "BM_Render_HandWritten/2/real_time") &&
                     bench::compare("BM_Render_Demo/1/real_time", "BM_Render_Demo/2/real_time");

}  // namespace
