// Rendering the demo network (examples/demo.qvn.toml, 24 nodes, its colour
// output "centre.Out") over 256 x 256 samples through the module and the
// reference host, against a loop written by hand that computes the same
// values without them, on one thread and on two; and two threads against
// one, for the network and for the hand-written loop.
#include "bench/bench_ratios.h"
#include "refhost/noise.h"
#include "qvhost/demo_network.h"
#include "refhost/network/render.h"
#include "qvhost/network_toml.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

void hand_written(int threads, refhost::ValueImage &image) {
    const double t = refhost::frame_time(kFrame, kFps);
    const double jitter = demo_jitter(t);
    auto rows = [&](int first, int last) {
        for (int py = first; py < last; ++py)
            for (int px = 0; px < kSize; ++px) {
                const double u = (px + 0.5) / kSize, v = 1.0 - (py + 0.5) / kSize;
                demo_colour(u, v, t, jitter, &image.values[(static_cast<std::size_t>(py) * kSize + px) * 3]);
            }
    };
    // The renders' own scheduler, so that the two compare as they run.
    refhost::schedule_rows(kSize, threads, [&](int first, int last, int) { rows(first, last); });
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
            std::fprintf(stderr, "qv_bench: the demo network: %s\n",
                         problems.empty() ? error.c_str() : problems[0].c_str());
            std::exit(1);
        }
        made.file.network->render_init();
        refhost::start_frame(*made.file.network, kFrame, kFps);
        return made;
    }();
    return d;
}

// The module's values must be the hand-written loop's.
bool same_values(const refhost::ValueImage &a, const refhost::ValueImage &b) {
    if (a.values.size() != b.values.size()) return false;
    for (std::size_t k = 0; k < a.values.size(); ++k)
        if (std::fabs(a.values[k] - b.values[k]) > 1e-6f) return false;
    return true;
}

void render_demo(int threads, refhost::ValueImage &image) {
    Demo &d = demo();
    refhost::RenderControl control;
    control.threads = threads;
    std::string error;
    refhost::render_grid(d.output.network(), *d.output.output, d.output.text, kSize, kSize,
                         refhost::frame_time(kFrame, kFps), kFrame, control, image, error);
}

refhost::ValueImage blank_image() {
    refhost::ValueImage image;
    image.width = image.height = kSize;
    image.channels = 3;
    image.values.assign(static_cast<std::size_t>(kSize) * kSize * 3, 0.0f);
    return image;
}

// The network against the hand-written loop, both on `threads` threads.
void BM_Render_Demo(benchmark::State &state) {
    const int threads = static_cast<int>(state.range(0));
    refhost::ValueImage image, by_hand = blank_image();
    bench::alternate(
        state, kSize * kSize, [&] { render_demo(threads, image); }, [&] { hand_written(threads, by_hand); });
    if (!same_values(image, by_hand)) state.SkipWithError("the hand-written loop differs from the network");
}

// Two threads against one: the network, and the hand-written loop (what the
// machine gives two threads at the time).
void BM_Render_Threads(benchmark::State &state) {
    const bool network = state.range(0) != 0;
    refhost::ValueImage one = blank_image(), two = blank_image();
    bench::alternate(
        state, kSize * kSize,
        [&] {
            if (network)
                render_demo(2, two);
            else
                hand_written(2, two);
        },
        [&] {
            if (network)
                render_demo(1, one);
            else
                hand_written(1, one);
        });
    if (!same_values(one, two)) state.SkipWithError("two threads gave other values than one");
}

BENCHMARK(BM_Render_Demo)->ArgName("threads")->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_Threads)->ArgName("network")->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
