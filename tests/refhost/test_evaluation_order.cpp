// Evaluating each sample's outputs upstream first: the same values, bit for
// bit, and the same number of evaluations as evaluating each output when an
// input asks for it, on networks that share, route and hold values; and no
// evaluation nesting inside another, however deep the network.
#include "bench/generated_networks.h"
#include "tests/fixtures/module_fixture.h"

#include "qvhost/network_toml.h"
#include "refhost/network/render.h"
#include "refhost/sanitizers.h"
#include "support/stack_thread.h"

#include <fstream>
#include <sstream>

using namespace qvtest;

namespace {

qvhost::NetworkFile load_text(const std::string &text) {
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    EXPECT_TRUE(qvhost::read_network_toml(text, "net.toml", shared_module(), file, problems))
        << (problems.empty() ? "" : problems[0]);
    return file;
}

std::string example(const std::string &name) {
    std::ifstream in(source_dir() / "examples" / name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// How a render evaluates: again for every reader, once when an input asks,
// once in order.
enum class Way { again, when_asked, in_order };

// Frames 0 to 2 of `output` at 16 x 16 on one thread (so that a cache takes
// the same sample every time), all in one image; `evaluations` counts the
// outputs evaluated.
refhost::ValueImage render_frames(const std::string &text, const std::string &output, Way way, long &evaluations) {
    qvhost::NetworkFile file = load_text(text);
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
        EXPECT_TRUE(refhost::render_grid(ref.network(), *ref.output, ref.text, 16, 16,
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

}  // namespace

TEST(EvaluationOrder, GivesTheValuesAndCountsOfEvaluatingWhenAsked) {
    const struct {
        const char *name;
        std::string text;
        const char *output;
    } cases[] = {
        {"ladder", qvgen::ladder(12), "n12.Out"},
        {"chain", qvgen::toml_chain(300, true), "n299.Out"},
        {"fan-out", kFanOut, "sum.Out"},
        {"a cache behind a switch", kRoutedCache, "after.Out"},
        {"caches example", example("caches.qvn.toml"), "drift.Out"},
        {"logic example", example("logic.qvn.toml"), "pick.out2"},
        {"demo", example("demo.qvn.toml"), "centre.Out"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        long in_order = 0, when_asked = 0, again = 0;
        const refhost::ValueImage a = render_frames(c.text, c.output, Way::in_order, in_order);
        const refhost::ValueImage b = render_frames(c.text, c.output, Way::when_asked, when_asked);
        const refhost::ValueImage d = render_frames(c.text, c.output, Way::again, again);
        ASSERT_EQ(a.values.size(), b.values.size());
        ASSERT_EQ(a.values.size(), d.values.size());
        EXPECT_EQ(std::memcmp(a.values.data(), b.values.data(), a.values.size() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(a.values.data(), d.values.data(), a.values.size() * sizeof(float)), 0);
        EXPECT_EQ(in_order, when_asked);
        EXPECT_LE(in_order, again);
    }
    // One evaluation per node and sample.
    long ladder = 0;
    render_frames(qvgen::ladder(12), "n12.Out", Way::in_order, ladder);
    EXPECT_EQ(ladder, 13 * 16 * 16 * 3);
}

// In order, a chain as deep as the host accepts evaluates on a stack far
// smaller than nesting its levels would take.
TEST(EvaluationOrder, DepthTakesNoStack) {
    refhost::Network net(shared_module());
    std::string error;
    const int depth = refhost::Network::max_depth;
    ASSERT_TRUE(net.load(qvgen::scene_chain(depth), "chain.qvn", error)) << error;
    const refhost::HostOutput &out = *net.node(depth)->output("Out");
    double in_order = 0.0;
    support::run_with_stack(std::size_t{1} << 20, [&] {
        refhost::SampleMemo memo = net.make_memo(true, true);
        refhost::HostSample sample = refhost::HostSample::at(0.5, 0.5, 0.5, 0.5, 0.0, 0);
        memo.start(sample);
        in_order = memo.value(out, &sample.access).as_scalar();
        EXPECT_EQ(memo.evaluations(), depth);
    });
    // The same value as evaluating when asked, nested, on the host's stack
    // (which ThreadSanitizer's own call stack for each thread cannot follow).
#ifndef QV_UNDER_TSAN
    double nested = 0.0;
    support::run_with_stack(refhost::Network::stack_bytes, [&] {
        refhost::SampleMemo memo = net.make_memo(true, false);
        refhost::HostSample sample = refhost::HostSample::at(0.5, 0.5, 0.5, 0.5, 0.0, 0);
        memo.start(sample);
        nested = memo.value(out, &sample.access).as_scalar();
    });
    EXPECT_TRUE(same_double(nested, in_order));
#endif
}
