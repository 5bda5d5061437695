// Evaluation allocates nothing: every node over a few thousand evaluates of
// each of its outputs, with every input connected and on its stored
// defaults, the caches also refreshing; and whole networks rendered, whose
// allocations (per frame, per row) do not grow with the samples of a row.
#include "tests/allocations/allocation_count.h"
#include "tests/fixtures/module_fixture.h"
#include "refhost/network/render.h"
#include "qvhost/network_toml.h"

using namespace qvtest;

namespace {

namespace fs = std::filesystem;

constexpr int kEvaluates = 2000;

// A constant of an input's type, as the host feeds one.
refhost::Value constant_for(int type) {
    refhost::Value v;
    v.type = type;
    switch (type) {
    case QV_TYPE_INTEGER: return refhost::Value::integer(1);
    case QV_TYPE_SCALAR: return refhost::Value::scalar(0.5);
    default:
        for (std::size_t k = 0; k < refhost::type_size(type) / sizeof(double); ++k) v.doubles()[k] = 0.25 * (k + 1);
        return v;
    }
}

class Allocations : public NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        ASSERT_TRUE(shared_module());
        if (!qvalloc::watch_module(&shared_module()->descriptor())) QV_SKIP("allocations cannot be counted here");
        counting = true;
    }
    bool counting = false;
};

}  // namespace

// The count is not vacuous: the module's own allocation (a node's record)
// and the program's are both seen.
TEST_F(Allocations, AreCounted) {
    if (!counting) return;
    long before = qvalloc::allocations();
    make("QvMs_SIN");
    EXPECT_GT(qvalloc::allocations(), before) << qvalloc::counting_method();
    before = qvalloc::allocations();
    auto p = std::make_unique<double>(1.0);
    EXPECT_GT(qvalloc::allocations(), before) << qvalloc::counting_method();
}

TEST_F(Allocations, NoneInAnyEvaluate) {
    if (!counting) return;
    int evaluated = 0;
    for (const QvServerRecord *record : shared_module()->servers()) {
        if (std::string(record->server_class) != "NodeHandler") continue;
        for (const bool connected : {true, false}) {
            SCOPED_TRACE(std::string(record->name) + (connected ? " connected" : " on its stored defaults"));
            net = std::make_unique<refhost::Network>(shared_module());
            refhost::HostNode *n = make(record->name);
            ASSERT_NE(n, nullptr);
            if (n->handler.evaluate == nullptr) continue;  // a viewer: it draws, and evaluates nothing
            std::string error;
            for (std::size_t i = 0; connected && i < n->inputs.size(); ++i)
                ASSERT_NE(net->feed_input(n->id, i, constant_for(n->inputs[i]->type), error), nullptr) << error;
            net->set_counting(false);
            net->set_constant_copies(true);
            net->render_init();
            net->new_time(12, 0.4);
            refhost::HostSample sample = refhost::HostSample::at(0.25, 0.75, 4.5, 12.5, 0.4, 12);
            refhost::Value v;
            for (const auto &out : n->outputs) {
                refhost::evaluate_output(*out, &sample.access, v);  // anything done once, done first
                const long before = qvalloc::allocations();
                for (int k = 0; k < kEvaluates; ++k) {
                    if (k % 100 == 0) net->new_time(12 + k / 100, 0.4 + k / 100);  // the caches refresh
                    refhost::evaluate_output(*out, &sample.access, v);
                }
                EXPECT_EQ(qvalloc::allocations() - before, 0) << "output " << out->name;
            }
            ++evaluated;
        }
    }
    EXPECT_EQ(evaluated, 2 * 88) << "every node but the four viewers, both ways";
}

// One thread, a few rows: the allocations of a render of the same rows 4
// and 32 samples wide are the same, so none is made per sample.  Every
// output of every example is rendered.
TEST_F(Allocations, NonePerSampleInARender) {
    if (!counting) return;
    int rendered = 0;
    for (const auto &entry : fs::directory_iterator(source_dir() / "examples")) {
        if (entry.path().extension() != ".toml") continue;
        SCOPED_TRACE(entry.path().filename().string());
        qvhost::NetworkFile file;
        std::vector<std::string> problems;
        ASSERT_TRUE(qvhost::read_network_file(entry.path().string(), shared_module(), file, problems))
            << (problems.empty() ? "" : problems[0]);
        file.network->render_init();
        refhost::start_frame(*file.network, 5, 30.0);
        for (const auto &node : file.network->nodes())
            for (const auto &out : node->outputs) {
                if (refhost::value_channels(out->type) == 0) continue;
                SCOPED_TRACE(file.name_of(node->id) + "." + out->name);
                qvhost::OutputRef ref;
                std::string error;
                ASSERT_TRUE(qvhost::resolve_output(file, file.name_of(node->id) + "." + out->name, ref, error))
                    << error;
                refhost::RenderControl control;
                long per_width[2] = {0, 0};
                for (int pass = 0; pass < 3; ++pass) {  // the first pass may set up what lasts
                    const int width = pass == 1 ? 32 : 4;
                    refhost::ValueImage image;
                    const long before = qvalloc::allocations();
                    ASSERT_TRUE(refhost::render_grid(ref.network(), *ref.output, ref.text, width, 3,
                                                     refhost::frame_time(5, 30.0), 5, control, image, error))
                        << error;
                    if (pass > 0) per_width[pass - 1] = qvalloc::allocations() - before;
                }
                EXPECT_EQ(per_width[0], per_width[1]) << "32 samples a row against 4";
                ++rendered;
            }
        file.network->render_cleanup();
    }
    EXPECT_GT(rendered, 20);
}
