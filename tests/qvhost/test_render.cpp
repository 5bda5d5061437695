// Rendering networks: every pixel's value against the same value computed
// here, the images read back, one thread against several, reuse and the
// order of evaluation against evaluating when asked, and every
// example through check, eval and render with one value of each computed
// independently.
#include "bench/generated_networks.h"
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "qvhost/network_toml.h"
#include "qvhost/pictures/pictures.h"
#include "qvhost/qvhost.h"
#include "refhost/draw.h"
#include "refhost/network/render.h"

#include <fstream>
#include <sstream>

using namespace qvtest;

namespace {

namespace fs = std::filesystem;

qvhost::NetworkFile load_text(const std::string &text) {
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    EXPECT_TRUE(qvhost::read_network_toml(text, "net.toml", shared_module(), file, problems))
        << (problems.empty() ? "" : problems[0]);
    return file;
}

qvhost::NetworkFile load_example(const std::string &name) {
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    const std::string path = (source_dir() / "examples" / name).string();
    EXPECT_TRUE(qvhost::read_network_file(path, shared_module(), file, problems))
        << (problems.empty() ? "" : problems[0]);
    return file;
}

refhost::ValueImage render(qvhost::NetworkFile &file, const std::string &output, int size, int frame, int threads) {
    qvhost::OutputRef ref;
    std::string error;
    EXPECT_TRUE(qvhost::resolve_output(file, output, ref, error)) << error;
    refhost::ValueImage image;
    if (ref.output == nullptr) return image;
    file.network->render_init();
    refhost::start_frame(*file.network, frame, 30.0);
    refhost::RenderControl control;
    control.threads = threads;
    EXPECT_TRUE(refhost::render_grid(ref.network(), *ref.output, ref.text, size, size, refhost::frame_time(frame, 30.0),
                                     frame, control, image, error))
        << error;
    file.network->render_cleanup();
    return image;
}

int run(const std::vector<std::string> &args, std::string *out = nullptr) {
    std::ostringstream o, e;
    const int code = qvhost::run(args, o, e, kModuleFile);
    refhost::Application::get().reset_config();
    if (out != nullptr) *out = o.str();
    EXPECT_EQ(code, 0) << e.str();
    return code;
}

// How a render evaluates: again for every reader, once when an input asks,
// once in order.
enum class Way { again, when_asked, in_order };

// Frames 0 to 2 of `output` at 19 x 16 on one thread (so that a cache takes
// the same sample every time), all in one image; `evaluations` counts the
// outputs evaluated.  A row of 19 is a whole block of samples and part of one.
refhost::ValueImage render_frames(qvhost::NetworkFile file, const std::string &output, Way way, long &evaluations) {
    qvhost::OutputRef ref;
    std::string error;
    EXPECT_TRUE(qvhost::resolve_output(file, output, ref, error)) << error;
    refhost::ValueImage all;
    if (ref.output == nullptr) return all;
    std::atomic<long> counted{0};
    refhost::RenderControl control;
    control.reuse = way != Way::again;
    control.in_order = way == Way::in_order;
    control.evaluations = &counted;
    file.network->render_init();
    for (int frame = 0; frame < 3; ++frame) {
        refhost::start_frame(*file.network, frame, 30.0);
        refhost::ValueImage image;
        EXPECT_TRUE(refhost::render_grid(ref.network(), *ref.output, ref.text, 19, 16,
                                         refhost::frame_time(frame, 30.0), frame, control, image, error))
            << error;
        all.values.insert(all.values.end(), image.values.begin(), image.values.end());
    }
    file.network->render_cleanup();
    evaluations = counted.load();
    return all;
}

// A sine of u feeding the eight inputs of two four-input sums, added.
const char *const kFanOut =
    "[node.s]\nserver = \"QvMs_SIN\"\nIn = \"@u\"\n"
    "[node.l]\nserver = \"QvMs_ADD4\"\nIn1 = \"s.Out\"\nIn2 = \"s.Out\"\nIn3 = \"s.Out\"\nIn4 = \"s.Out\"\n"
    "[node.r]\nserver = \"QvMs_ADD4\"\nIn1 = \"s.Out\"\nIn2 = \"s.Out\"\nIn3 = \"s.Out\"\nIn4 = \"s.Out\"\n"
    "[node.sum]\nserver = \"QvMs_ADD\"\nIn1 = \"l.Out\"\nIn2 = \"r.Out\"\n";

// A switch routing, by u > 0.5, a cosine of v or a cache of u that a sine
// reads; the cache is first evaluated at the first sample with u past 0.5.
// A sine of the routed value follows.
const char *const kRoutedCache =
    "[node.pick]\nserver = \"QvT_LGC1\"\nA1 = \"@u\"\nB1 = 0.5\nTrue = 1\nFalse = 0\npanel = { Ope = \"A > B\" }\n"
    "[node.held]\nserver = \"QvC_SCL\"\nIn = \"@u\"\n"
    "[node.wave]\nserver = \"QvMs_SIN\"\nIn = \"held.Out\"\n"
    "[node.other]\nserver = \"QvMs_COS\"\nIn = \"@v\"\n"
    "[node.sw]\nserver = \"QvT_SWCHS\"\nBool = \"pick.Out\"\nTrue1 = \"wave.Out\"\nfalse1 = \"other.Out\"\n"
    "[node.after]\nserver = \"QvMs_SIN\"\nIn = \"sw.out1\"\n";

const char *const kDistance =
    "[node.d]\nserver = \"QvMs_DIST\"\nAx = \"@u\"\nAy = \"@v\"\nBx = 0.25\nBy = 0.75\n"
    "[node.x]\nserver = \"QvMs_ADD\"\nIn1 = \"@x\"\nIn2 = \"@y\"\n";

}  // namespace

// Each pixel holds the value at its centre: u = (px + 0.5) / w, v up.
TEST(Render, EveryPixelIsItsOwnSample) {
    qvhost::NetworkFile file = load_text(kDistance);
    const refhost::ValueImage d = render(file, "d.Out", 16, 0, 1);
    const refhost::ValueImage xy = render(file, "x.Out", 16, 0, 1);
    ASSERT_EQ(d.values.size(), 256u);
    for (int py = 0; py < 16; ++py)
        for (int px = 0; px < 16; ++px) {
            const double u = (px + 0.5) / 16, v = 1.0 - (py + 0.5) / 16;
            const double dx = u - 0.25, dy = v - 0.75;
            EXPECT_EQ(d.at(px, py), static_cast<float>(std::sqrt(dx * dx + dy * dy))) << px << "," << py;
            EXPECT_EQ(xy.at(px, py), static_cast<float>((px + 0.5) + (py + 0.5))) << px << "," << py;
        }
}

TEST(Render, ImagesReadBack) {
    const TempDir temp;
    const fs::path dir = temp.path();
    const std::string net = (dir / "d.qvn.toml").string();
    std::ofstream(net) << kDistance;
    qvhost::NetworkFile file = load_text(kDistance);
    const refhost::ValueImage d = render(file, "d.Out", 16, 0, 1);
    std::string error;
    if (qvhost::have_exr()) {
        const std::string exr = (dir / "d.exr").string();
        run({"render", net, "d.Out", "--size", "16x16", "--quiet", "-o", exr});
        refhost::ValueImage back;
        ASSERT_TRUE(qvhost::read_value_exr(exr, back, error)) << error;
        EXPECT_EQ(back.values, d.values);
    }
    if (refhost::have_cairo()) {
        const std::string png = (dir / "d.png").string();
        run({"render", net, "d.Out", "--size", "16x16", "--range", "0,0.5", "--quiet", "-o", png});
        refhost::ValueImage back;
        ASSERT_TRUE(qvhost::read_png_rgb(png, back, error)) << error;
        ASSERT_EQ(back.channels, 3);
        for (int py = 0; py < 16; ++py)
            for (int px = 0; px < 16; ++px) {
                const double t = std::min(1.0, d.at(px, py) / 0.5);
                EXPECT_EQ(back.at(px, py, 1), static_cast<int>(t * 255 + 0.5)) << px << "," << py;
            }
    }
    fs::remove_all(dir);
}

// The caches hold the first sample of the frame whatever the thread count,
// so every example renders the same with one thread or several.
TEST(Render, ThreadsGiveTheSameValues) {
    const struct {
        const char *example, *output;
    } cases[] = {{"demo.qvn.toml", "centre.Out"},     {"texture.qvn.toml", "out.out1"},
                 {"rotation.qvn.toml", "turned.Out"}, {"logic.qvn.toml", "pick.out2"},
                 {"caches.qvn.toml", "drift.Out"},    {"caches.qvn.toml", "rows.Rgt"},
                 {"motion.qvn.toml", "path.Out"},     {"colour_split.qvn.toml", "split.Luma"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.example) + " " + c.output);
        qvhost::NetworkFile one = load_example(c.example);
        const refhost::ValueImage a = render(one, c.output, 24, 7, 1);
        for (int threads : {2, 4}) {
            qvhost::NetworkFile many = load_example(c.example);
            const refhost::ValueImage b = render(many, c.output, 24, 7, threads);
            ASSERT_EQ(a.values.size(), b.values.size());
            EXPECT_EQ(std::memcmp(a.values.data(), b.values.data(), a.values.size() * sizeof(float)), 0) << threads;
        }
    }
}

// Evaluating an output once per sample and handing it to every input it
// feeds gives the values of evaluating it again for each: every example the
// same either way, with no more evaluations, and a sine feeding both inputs
// of a sum evaluated once per sample instead of twice.
TEST(Render, ReuseGivesTheSameValuesWithFewerEvaluations) {
    const struct {
        const char *example, *output;
    } cases[] = {{"demo.qvn.toml", "centre.Out"},
                 {"texture.qvn.toml", "out.out1"},
                 {"logic.qvn.toml", "pick.out2"},
                 {"caches.qvn.toml", "drift.Out"},
                 {"rotation.qvn.toml", "turned.Out"}};
    auto rendered = [](qvhost::NetworkFile &file, const std::string &output, bool reuse, long &evaluations) {
        qvhost::OutputRef ref;
        std::string error;
        EXPECT_TRUE(qvhost::resolve_output(file, output, ref, error)) << error;
        file.network->render_init();
        refhost::start_frame(*file.network, 7, 30.0);
        refhost::RenderControl control;
        control.reuse = reuse;
        std::atomic<long> counted{0};
        control.evaluations = &counted;
        refhost::ValueImage image;
        EXPECT_TRUE(refhost::render_grid(ref.network(), *ref.output, ref.text, 12, 12, refhost::frame_time(7, 30.0), 7,
                                         control, image, error))
            << error;
        file.network->render_cleanup();
        evaluations = counted.load();
        return image;
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.example) + " " + c.output);
        qvhost::NetworkFile once = load_example(c.example), again = load_example(c.example);
        long reused = 0, repeated = 0;
        const refhost::ValueImage a = rendered(once, c.output, true, reused);
        const refhost::ValueImage b = rendered(again, c.output, false, repeated);
        ASSERT_EQ(a.values.size(), b.values.size());
        EXPECT_EQ(std::memcmp(a.values.data(), b.values.data(), a.values.size() * sizeof(float)), 0);
        EXPECT_LE(reused, repeated);
        EXPECT_GT(reused, 0);
    }
    const char *const kShared =
        "[node.s]\nserver = \"QvMs_SIN\"\nIn = \"@u\"\n"
        "[node.sum]\nserver = \"QvMs_ADD\"\nIn1 = \"s.Out\"\nIn2 = \"s.Out\"\n";
    qvhost::NetworkFile once = load_text(kShared), again = load_text(kShared);
    long reused = 0, repeated = 0;
    rendered(once, "sum.Out", true, reused);
    rendered(again, "sum.Out", false, repeated);
    EXPECT_EQ(reused, 2 * 144);
    EXPECT_EQ(repeated, 3 * 144);
}

// Evaluating each sample's outputs upstream first gives the same values,
// bit for bit, and the same number of evaluations as evaluating each output
// when an input asks for it, on networks that share, route and hold values.
TEST(EvaluationOrder, GivesTheValuesAndCountsOfEvaluatingWhenAsked) {
    const struct {
        const char *name;
        std::string text;  // or the example of this name
        const char *output;
    } cases[] = {
        {"ladder", qvgen::ladder(12), "n12.Out"},
        {"chain", qvgen::toml_chain(300, true), "n299.Out"},
        {"fan-out", kFanOut, "sum.Out"},
        {"a cache behind a switch", kRoutedCache, "after.Out"},
        {"caches.qvn.toml", "", "drift.Out"},
        {"logic.qvn.toml", "", "pick.out2"},
        {"demo.qvn.toml", "", "centre.Out"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto load = [&c] { return c.text.empty() ? load_example(c.name) : load_text(c.text); };
        long in_order = 0, when_asked = 0, again = 0;
        const refhost::ValueImage a = render_frames(load(), c.output, Way::in_order, in_order);
        const refhost::ValueImage b = render_frames(load(), c.output, Way::when_asked, when_asked);
        const refhost::ValueImage d = render_frames(load(), c.output, Way::again, again);
        ASSERT_EQ(a.values.size(), b.values.size());
        ASSERT_EQ(a.values.size(), d.values.size());
        EXPECT_EQ(std::memcmp(a.values.data(), b.values.data(), a.values.size() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(a.values.data(), d.values.data(), a.values.size() * sizeof(float)), 0);
        EXPECT_EQ(in_order, when_asked);
        EXPECT_LE(in_order, again);
    }
    // One evaluation per node and sample.
    long ladder = 0;
    render_frames(load_text(qvgen::ladder(12)), "n12.Out", Way::in_order, ladder);
    EXPECT_EQ(ladder, 13 * 19 * 16 * 3);
}

// Every example checks, evaluates and renders; one value of each, computed
// here from what the example says it does.
TEST(Examples, RunAndGiveTheirValues) {
    const fs::path examples = source_dir() / "examples";
    int count = 0;
    for (const auto &entry : fs::directory_iterator(examples)) {
        if (entry.path().extension() != ".toml") continue;
        ++count;
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        std::string out;
        run({"check", path}, &out);
        EXPECT_NE(out.find("no problems"), std::string::npos) << out;
        qvhost::NetworkFile file = load_example(entry.path().filename().string());
        ASSERT_FALSE(file.nodes.empty());
        const std::string last = file.nodes.back().name;
        const refhost::HostNode *n = file.network->node(file.nodes.back().id);
        if (n->outputs.empty()) continue;  // a viewer
        run({"eval", path, last + "." + n->outputs[0]->name, "--frames", "0-2"});
    }
    EXPECT_GE(count, 7);

    auto value = [](const std::string &example, const std::string &output, int frame, double u, double v) {
        qvhost::NetworkFile file = load_example(example);
        qvhost::OutputRef ref;
        std::string error;
        EXPECT_TRUE(qvhost::resolve_output(file, output, ref, error)) << error;
        file.network->render_init();
        refhost::start_frame(*file.network, frame, 30.0);
        refhost::HostSample s = refhost::HostSample::at(u, v, u, v, frame / 30.0, frame);
        refhost::Value r;
        if (ref.output != nullptr) refhost::evaluate_output(*ref.output, &s.access, r);
        return r;
    };

    // demo: sin(40 r - 6 t) at (0.25, 0.75), frame 3.
    const double r = std::sqrt(0.25 * 0.25 + 0.25 * 0.25);
    EXPECT_TRUE(
        near_ulps(std::sin(40 * r - 6 * (3 / 30.0)), value("demo.qvn.toml", "wave.Out", 3, 0.25, 0.75).as_scalar()));
    // texture: the top quarter reflects; u = 0.95 maps to 0.95 and folds back from 0.75 to 0.55.
    EXPECT_TRUE(near_ulps(0.55, value("texture.qvn.toml", "out.out1", 0, 0.95, 0.9).as_scalar(), 4));
    // rotation: (u, v, 1) times the Euler matrix of heading pi/2 t, pitch a third of it.
    {
        const double h = 1.5707963267948966 * (6 / 30.0), p = h * 0.3333333333333333;
        const double x = 0.25, y = 0.5, z = 1.0;
        const double ex = x * std::cos(h) + y * std::sin(h) * std::sin(p) + z * std::sin(h) * std::cos(p);
        const double ey = y * std::cos(p) - z * std::sin(p);
        const double ez = -x * std::sin(h) + y * std::cos(h) * std::sin(p) + z * std::cos(h) * std::cos(p);
        const refhost::Value t = value("rotation.qvn.toml", "turned.Out", 6, x, y);
        EXPECT_TRUE(near_vector({ex, ey, ez}, {t.doubles()[0], t.doubles()[1], t.doubles()[2]}));
    }
    // logic: at frame 40 the sine is positive and the time past one second.
    EXPECT_TRUE(same_double(2.0, value("logic.qvn.toml", "both.Out", 40, 0.5, 0.5).as_scalar()));
    EXPECT_TRUE(same_double(-1.0, value("logic.qvn.toml", "square.Out", 100, 0.5, 0.5).as_scalar()));  // sin(3.33) < 0
    // caches: the held value is the first sample's u plus the time.
    EXPECT_TRUE(same_double(0.3 + 2 / 30.0, value("caches.qvn.toml", "held.Out", 2, 0.3, 0.6).as_scalar()));
    // motion: frame 12 at 30 frames per second.
    EXPECT_TRUE(same_double(12 / 30.0, value("motion.qvn.toml", "clock.Time", 12, 0.5, 0.5).as_scalar()));
    // vectors: the direction from (0.5, 0.5, -0.35) to (0.1, 0.5, 0), scaled to length 1.
    {
        const double len = std::sqrt(0.4 * 0.4 + 0.35 * 0.35);
        const refhost::Value n = value("vectors.qvn.toml", "normal.out1", 0, 0.1, 0.5);
        EXPECT_TRUE(near_vector({-0.4 / len, 0.0, 0.35 / len}, {n.doubles()[0], n.doubles()[1], n.doubles()[2]}));
    }
    // colour split: the luma of (1, 0.5, 0).
    EXPECT_TRUE(same_double((0.298912 * 1.0 + 0.586611 * 0.5) + 0.114478 * 0.0,
                            value("colour_split.qvn.toml", "split.Luma", 0, 1.0, 0.5).as_scalar()));

    // A small render of each example's first output that gives an image.
    const TempDir temp;
    const fs::path dir = temp.path();
    if (refhost::have_cairo()) {
        for (const char *example : {"demo.qvn.toml", "texture.qvn.toml", "caches.qvn.toml"}) {
            const std::string png = (dir / (std::string(example) + ".png")).string();
            const char *output = std::string(example) == "demo.qvn.toml"      ? "centre.Out"
                                 : std::string(example) == "texture.qvn.toml" ? "out.out1"
                                                                              : "held.Out";
            run({"render", (examples / example).string(), output, "--size", "8x8", "--quiet", "-o", png});
            EXPECT_TRUE(fs::exists(png));
        }
    }
    fs::remove_all(dir);
}

// A render stopped (Ctrl-C) between rows reports it and gives no image.
TEST(Render, ACancelledRenderStops) {
    qvhost::NetworkFile file = load_text(kDistance);
    qvhost::OutputRef ref;
    std::string error;
    ASSERT_TRUE(qvhost::resolve_output(file, "d.Out", ref, error)) << error;
    const std::atomic<bool> cancel{true};
    for (int threads : {1, 2}) {
        refhost::RenderControl control;
        control.threads = threads;
        control.cancel = &cancel;
        refhost::ValueImage image;
        EXPECT_FALSE(refhost::render_grid(ref.network(), *ref.output, ref.text, 64, 64, 0.0, 0, control, image, error));
        EXPECT_EQ(error, "interrupted");
    }
}

// A PNG maps each channel from --range, or from the output type's own range:
// a vector's -1..1, a scalar's 0..1.
TEST(Render, RangeMapsEveryChannel) {
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml",
                                     "[node.v]\nserver = \"QvT_MVEC\"\nX = 0.05\nY = 0.1\nZ = 0.45\n"
                                     "[node.s]\nserver = \"QvMs_ADD\"\nIn1 = 0.25\nIn2 = 0.25\n");
    const struct {
        const char *output;
        std::vector<std::string> range;
        std::vector<int> rgb;
    } cases[] = {
        {"v.Out", {}, {134, 140, 185}},
        {"v.Out", {"--range", "-1,1"}, {134, 140, 185}},
        {"v.Out", {"--range", "0,1"}, {13, 26, 115}},
        {"s.Out", {}, {128, 128, 128}},
        {"s.Out", {"--range", "-1,1"}, {191, 191, 191}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.output) + (c.range.empty() ? "" : " --range " + c.range[1]));
        const std::string png = dir.file("out.png");
        std::vector<std::string> args = {"render", net, c.output, "--size", "1x1", "--quiet", "-o", png};
        args.insert(args.end(), c.range.begin(), c.range.end());
        ASSERT_EQ(run(args), 0);
        refhost::ValueImage back;
        std::string error;
        ASSERT_TRUE(qvhost::read_png_rgb(png, back, error)) << error;
        EXPECT_EQ(std::vector<int>(back.values.begin(), back.values.end()), c.rgb);
    }
}

// More threads than the machine runs at once: rendered on as many as it has,
// with our own word on it.
TEST(Render, MoreThreadsThanCoresAreNamed) {
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml", kDistance);
    const CliResult r = qvhost_run({"render", net, "d.Out", "--size", "4x4", "--threads", "256", "-o",
                                    dir.file("out.png")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("--threads 256: this machine runs " + std::to_string(refhost::available_threads()) +
                         " threads at once; rendering on"),
              std::string::npos)
        << r.err;
}

// On a terminal the progress bar is taken off its line when the render ends,
// so that nothing after it starts behind the bar.
TEST(Render, TheProgressBarIsClearedAtTheEnd) {
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml", kDistance);
    std::ostringstream out, err;
    const int code = qvhost::run({"render", net, "d.Out", "--size", "8x8", "-o", dir.file("out.png")}, out, err,
                                 kModuleFile, true);
    refhost::Application::get().reset_config();
    EXPECT_EQ(code, 0) << err.str();
    const std::string e = err.str();
    EXPECT_NE(e.find("\r["), std::string::npos) << e;
    const std::string clear = "\r\x1b[K";
    ASSERT_GE(e.size(), clear.size());
    EXPECT_EQ(e.substr(e.size() - clear.size()), clear);
}
