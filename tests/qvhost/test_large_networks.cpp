// Networks of any size: long chains load in any order, loops are refused
// with their nodes, a network nesting deeper than the host evaluates is
// refused and the deepest it accepts evaluates (in order, on a small stack),
// each output is evaluated once per sample, and eval writes each row as soon
// as it has it.
#include "bench/generated_networks.h"
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "qvhost/network_toml.h"
#include "refhost/draw.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/network.h"
#include "refhost/sanitizers.h"
#include "support/number_text.h"
#include "support/stack_thread.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <initializer_list>

using namespace qvtest;
using namespace qvgen;

namespace {

// Evaluations of the ladder's last node for one sample at u = 0.5, with the
// network's memo reusing values or not.
long ladder_evaluations(int depth, bool reuse, double &value) {
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    EXPECT_TRUE(qvhost::read_network_toml(ladder(depth), "ladder.toml", shared_module(), file, problems));
    qvhost::OutputRef out;
    std::string error;
    EXPECT_TRUE(qvhost::resolve_output(file, "n" + std::to_string(depth) + ".Out", out, error)) << error;
    file.network->set_reuse(reuse);
    refhost::SampleMemo memo = file.network->make_memo();
    refhost::HostSample sample = refhost::HostSample::at(0.5, 0.5, 0.5, 0.5, 0.0, 0);
    memo.start(sample);
    value = memo.value(*out.output, &sample.access).as_scalar();
    return memo.evaluations();
}

// Evaluations for a viewer's preview showing the ladder's last node on two
// of its rows, with the network's memo reusing values or not.
long ladder_preview_evaluations(int depth, bool reuse, std::string &shown) {
    const std::string last = "n" + std::to_string(depth) + ".Out";
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    EXPECT_TRUE(qvhost::read_network_toml(ladder(depth) + "[node.view]\nserver = \"QvT_VIEWS\"\nScalar = \"" + last +
                                              "\"\n\"Scalar#2\" = \"" + last + "\"\n",
                                          "ladder.toml", shared_module(), file, problems));
    file.network->set_reuse(reuse);
    const refhost::Preview p = refhost::render_preview(*file.network, file.find("view")->id, 128, 80);
    EXPECT_TRUE(p.ok()) << p.error;
    shown = p.texts().empty() ? "" : p.texts().front();
    return p.evaluations;
}

// A stream that notes the scene's frame when it is first flushed: eval
// flushes after each row.
class FrameAtFirstRow : public std::stringbuf {
public:
    int frame = -1;

protected:
    int sync() override {
        if (frame < 0 && !str().empty()) frame = refhost::Application::get().time_info().frame;
        return 0;
    }
};

// A stream that presses Ctrl-C when it is first flushed.
class CtrlCAtFirstRow : public std::stringbuf {
protected:
    int sync() override {
        if (!pressed_ && !str().empty()) {
            pressed_ = true;
            std::raise(SIGINT);
        }
        return 0;
    }

private:
    bool pressed_ = false;
};

}  // namespace

TEST(LargeNetworks, LongChainsLoadInEitherOrder) {
    TempDir dir;
    for (const bool backwards : {false, true}) {
        SCOPED_TRACE(backwards ? "backwards" : "forwards");
        const std::string path = dir.file("chain.qvn.toml", toml_chain(10000, backwards));
        const CliResult r = qvhost_run({"check", path});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("10000 nodes"), std::string::npos);
        EXPECT_NE(r.out.find("<- n9998.Out"), std::string::npos);
    }
    refhost::Network net(shared_module());
    std::string error;
    ASSERT_TRUE(net.load(scene_chain(10000), "chain.qvn", error)) << error;
    EXPECT_EQ(net.node(10000)->inputs[0]->from->node, net.node(9999));
}

// A loop anywhere in a file is refused, naming its nodes in the order they
// feed each other; the editor refuses the closing connection at once.
TEST(LargeNetworks, LoopsAreRefusedWithTheirNodes) {
    // Node 5 feeds node 3 instead of node 2: 3 feeds 4 feeds 5 feeds 3.
    std::string scene = scene_chain(5) + "{ Connect\n  From 5 \"Out\"\n  To 3 \"In\"\n}\n";
    refhost::Network net(shared_module());
    std::string error;
    EXPECT_FALSE(net.load(scene, "loop.qvn", error));
    EXPECT_NE(error.find("loop.qvn: "), std::string::npos) << error;
    EXPECT_NE(error.find("would close a loop (nodes 3 -> 4 -> 5 -> 3)"), std::string::npos) << error;

    TempDir dir;
    std::string text = toml_chain(4, false);
    text.replace(text.find("\"@u\""), 4, "\"n3.Out\"");
    const CliResult r = qvhost_run({"check", dir.file("loop.qvn.toml", text)});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("would close a loop (nodes "), std::string::npos) << r.err;

    ASSERT_TRUE(net.load(scene_chain(3), "chain.qvn", error)) << error;
    EXPECT_FALSE(net.connect(3, "Out", 1, "In", error));
    EXPECT_EQ(error, "connecting node 3 to node 1 would close a loop");
}

// The deepest network the host evaluates evaluates on every command's own
// stack; one deeper is refused when it loads, naming its depth and the limit.
TEST(LargeNetworks, DepthIsLimitedAndTheLimitEvaluates) {
    const int limit = refhost::Network::max_depth;
    ASSERT_GE(limit, 100000);
    // ThreadSanitizer keeps a call stack of its own for every thread, of a
    // fixed size that far less depth overflows: there the deepest network
    // evaluated is a twentieth of the limit.
#ifdef QV_UNDER_TSAN
    const int evaluated = limit / 20;
#else
    const int evaluated = limit;
#endif
    TempDir dir;
    const std::string deepest = dir.file("deepest.qvn", scene_chain(evaluated));
    const std::string out = "n" + std::to_string(evaluated) + ".Out";
    const CliResult r = qvhost_run({"eval", deepest, out, "--format", "csv"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("frame,time," + out + "\n0,0,", 0), 0u) << r.out;

    refhost::Network net(shared_module());
    std::string error;
    EXPECT_FALSE(net.load(scene_chain(limit + 1), "deeper.qvn", error));
    EXPECT_EQ(error, "deeper.qvn: node 100001 (QvMs_SIN) nests 100001 levels deep, deeper than the limit of 100000");
}

// Every output is evaluated once per sample: a ladder costs one evaluation
// per node, where evaluating again for every reader doubles at every rung.
TEST(LargeNetworks, EachOutputIsEvaluatedOncePerSample) {
    double value = 0.0;
    EXPECT_EQ(ladder_evaluations(60, true, value), 61);
    EXPECT_EQ(value, std::ldexp(1.0, 60));
    EXPECT_EQ(ladder_evaluations(10, false, value), 2047);
    EXPECT_EQ(value, std::ldexp(1.0, 10));

    TempDir dir;
    const CliResult r = qvhost_run({"eval", dir.file("ladder.qvn.toml", ladder(60)), "n60.Out", "--format", "csv"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "frame,time,n60.Out\n0,0," + support::number_text(std::ldexp(1.0, 60)) + "\n");
}

// A viewer's preview evaluates what feeds it once per output too, however
// many of its rows show it.
TEST(LargeNetworks, PreviewEvaluatesEachOutputOnce) {
    std::string shown;
    EXPECT_EQ(ladder_preview_evaluations(60, true, shown), 61);
    EXPECT_EQ(shown, "0,0 #B0B0B0 +1.15292e+18");
    EXPECT_EQ(ladder_preview_evaluations(10, false, shown), 2 * 2047);
    EXPECT_EQ(shown, "0,0 #B0B0B0 +1024.00");
}

// In order, a chain as deep as the host accepts evaluates on a stack far
// smaller than nesting its levels would take.
TEST(EvaluationOrder, DepthTakesNoStack) {
    refhost::Network net(shared_module());
    std::string error;
    const int depth = refhost::Network::max_depth;
    ASSERT_TRUE(net.load(scene_chain(depth), "chain.qvn", error)) << error;
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

// eval writes each frame's row before it evaluates the next frame.
TEST(LargeNetworks, EvalWritesEachRowAsItGoes) {
    TempDir dir;
    const std::string path = dir.file("chain.qvn.toml", toml_chain(3, false));
    for (const char *format : {"csv", "json", "table"}) {
        SCOPED_TRACE(format);
        FrameAtFirstRow rows;
        std::ostream out(&rows);
        std::ostringstream err;
        const int code = qvhost::run({"eval", path, "n2.Out", "--frames", "0-20", "--format", format}, out, err,
                                     refhost::kModuleFile);
        refhost::Application::get().reset_config();
        EXPECT_EQ(code, 0) << err.str();
        EXPECT_EQ(rows.frame, 0);
    }
}

// Ctrl-C stops a command at once, whether it is loading or evaluating, with
// exit code 130 and nothing more written.
TEST(LargeNetworks, CtrlCStopsLoadingAndEvaluating) {
    TempDir dir;
    CtrlCAtFirstRow rows;
    std::ostream out(&rows);
    std::ostringstream err;
    const int code = qvhost::run({"eval", dir.file("chain.qvn.toml", toml_chain(3, false)), "n2.Out", "--frames",
                                  "0-9999999", "--format", "csv"},
                                 out, err, refhost::kModuleFile);
    refhost::Application::get().reset_config();
    EXPECT_EQ(code, 130);
    EXPECT_EQ(err.str(), "qvhost: interrupted\n");
    const std::string written = rows.str();
    EXPECT_EQ(written.rfind("frame,time,n2.Out\n0,0,", 0), 0u) << written;
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2) << written;

    const std::atomic<bool> pressed{true};
    refhost::set_cancel_flag(&pressed);
    refhost::Network net(shared_module());
    std::string error;
    EXPECT_FALSE(net.load(scene_chain(1000), "chain.qvn", error));
    EXPECT_EQ(error, "chain.qvn: interrupted");
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    EXPECT_FALSE(qvhost::read_network_toml(toml_chain(1000, false), "chain.toml", shared_module(), file, problems));
    EXPECT_EQ(problems, std::vector<std::string>{"chain.toml: interrupted"});
    refhost::set_cancel_flag(nullptr);
}

// Asked for every output of a long chain in one sample, first to last and
// last to first, the memo in order evaluates each once and gives the values
// evaluating when asked gives, bit for bit: past what it keeps of the plans,
// it walks upstream instead.
TEST(EvaluationOrder, EveryOutputOfAChainInOneSample) {
    constexpr int kNodes = 300;
    refhost::Network net(shared_module());
    std::string error;
    ASSERT_TRUE(net.load(scene_chain(kNodes), "chain.qvn", error)) << error;
    const auto every_output = [&](bool in_order, bool last_first) {
        refhost::SampleMemo memo = net.make_memo(true, in_order);
        refhost::HostSample sample = refhost::HostSample::at(0.3, 0.5, 0.3, 0.5, 0.0, 0);
        memo.start(sample);
        std::vector<double> values(kNodes);
        for (int k = 0; k < kNodes; ++k) {
            const int id = last_first ? kNodes - k : k + 1;
            values[static_cast<std::size_t>(id - 1)] =
                memo.value(*net.node(id)->output("Out"), &sample.access).as_scalar();
        }
        EXPECT_EQ(memo.evaluations(), kNodes);
        return values;
    };
    const std::vector<double> asked = every_output(false, false);
    for (const bool last_first : {false, true}) {
        SCOPED_TRACE(last_first ? "last to first" : "first to last");
        const std::vector<double> ordered = every_output(true, last_first);
        for (int k = 0; k < kNodes; ++k) EXPECT_TRUE(same_double(asked[k], ordered[k])) << "node " << k + 1;
    }
}

namespace {

// The values of the named nodes' "Out", in turn, for one sample (u 0.25,
// v 0.625, pixel (3, 5), time 1.5, frame 7) through one memo.
std::vector<double> outputs_in_one_sample(const qvhost::NetworkFile &file, std::initializer_list<const char *> names) {
    refhost::SampleMemo memo = file.network->make_memo();
    refhost::HostSample sample = refhost::HostSample::at(0.25, 0.625, 3.0, 5.0, 1.5, 7);
    memo.start(sample);
    std::vector<double> got;
    for (const char *name : names) {
        const refhost::Value &v = memo.value(*file.network->node(file.find(name)->id)->output("Out"), &sample.access);
        got.insert(got.end(), v.doubles(), v.doubles() + (v.type == QV_TYPE_SCALAR ? 1 : 3));
    }
    return got;
}

}  // namespace

// A fed input read straight while a render copies constants gives what
// reading it through its source gives: u, v and the time into scalars, the
// position into a vector, and u converted into a vector, from the record; a
// scalar, a vector and a scalar converted into a vector, from the input's
// own copy, which feeding the input again renews.  A wired scalar that the
// memo holds arrives converted at the vector inputs that read it (a, b).
TEST(EvaluationOrder, InputsGiveWhatTheirSourcesGive) {
    const std::string text =
        "[node.s]\nserver = \"QvMs_ADD\"\nIn1 = \"@u\"\nIn2 = \"@v\"\n"
        "[node.a]\nserver = \"QvMv_ADD\"\nIn1 = \"s.Out\"\nIn2 = [1, 2, 3]\n"
        "[node.b]\nserver = \"QvMv_MUL\"\nIn1 = \"s.Out\"\nIn2 = [2, 4, 8]\n"
        "[node.t]\nserver = \"QvMs_MUL\"\nIn1 = \"@time\"\nIn2 = \"s.Out\"\n"
        "[node.p]\nserver = \"QvMv_ADD\"\nIn1 = \"@position\"\nIn2 = \"@u\"\n"
        "[node.k]\nserver = \"QvMs_ADD\"\nIn1 = 0.25\nIn2 = 0.5\n"
        "[node.c]\nserver = \"QvMv_ADD\"\nIn1 = [1, 2, 3]\nIn2 = 0.125\n";
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    ASSERT_TRUE(qvhost::read_network_toml(text, "sources.toml", shared_module(), file, problems));
    const auto values = [&](bool copies) {
        file.network->set_constant_copies(copies);
        return outputs_in_one_sample(file, {"t", "p", "k", "c"});
    };
    const std::vector<double> through_sources = values(false);
    EXPECT_EQ(through_sources,
              (std::vector<double>{1.5 * (0.25 + 0.625), 0.5, 0.875, 0.25, 0.75, 1.125, 2.125, 3.125}));
    EXPECT_EQ(values(true), through_sources);
    EXPECT_EQ(outputs_in_one_sample(file, {"a", "b"}), (std::vector<double>{1.875, 2.875, 3.875, 1.75, 3.5, 7.0}));
    std::string error;
    ASSERT_NE(file.network->feed(file.find("k")->id, "In2", refhost::Value::scalar(2.0), error), nullptr) << error;
    ASSERT_NE(file.network->feed(file.find("c")->id, "In1", refhost::Value::triple(QV_TYPE_VECTOR, 4, 5, 6), error),
              nullptr)
        << error;
    EXPECT_EQ(values(true), (std::vector<double>{1.5 * (0.25 + 0.625), 0.5, 0.875, 0.25, 2.25, 4.125, 5.125, 6.125}));
}

// --no-memo evaluates again for every reader, as the application does: the
// same rows, from every evaluating command; a viewer alone refuses it.
TEST(LargeNetworks, NoMemoGivesTheSameValues) {
    TempDir dir;
    const std::string path = dir.file("ladder.qvn.toml", ladder(12));
    const auto run = [&](std::vector<std::string> args, bool again) {
        if (again) args.push_back("--no-memo");
        std::ostringstream out, err;
        const int code = qvhost::run(args, out, err, refhost::kModuleFile);
        refhost::Application::get().reset_config();
        EXPECT_EQ(code, 0) << err.str();
        return out.str();
    };
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"eval", path, "n12.Out", "--frames", "0-2", "--at", "0.25,0.5"},
          std::vector<std::string>{"trace", path, "n12.Out"}}) {
        SCOPED_TRACE(args[0]);
        const std::string once = run(args, false);
        EXPECT_NE(once, "");
        EXPECT_EQ(run(args, true), once);
    }
    std::ostringstream out, err;
    EXPECT_EQ(qvhost::run({"preview", "QvT_VIEWS", "--no-memo"}, out, err, refhost::kModuleFile), 2);
    EXPECT_NE(err.str().find("--no-memo"), std::string::npos) << err.str();
}

// The order memos evaluate in is kept from one memo to the next, and follows
// the network when a connection or a node comes or goes.
TEST(EvaluationOrder, FollowsTheNetworkAsItIsRewired) {
    const std::string text =
        "[node.a]\nserver = \"QvMs_SIN\"\nIn = \"@u\"\n"
        "[node.b]\nserver = \"QvMs_ADD\"\nIn1 = \"a.Out\"\nIn2 = 1.0\n";
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    ASSERT_TRUE(qvhost::read_network_toml(text, "rewired.toml", shared_module(), file, problems));
    refhost::Network &net = *file.network;
    const int a = file.find("a")->id, b = file.find("b")->id;
    // b's value, and the outputs evaluated for it: only those it reads.
    long evaluated = 0;
    const auto value_of_b = [&] {
        refhost::SampleMemo memo = net.make_memo(true, true);
        refhost::HostSample sample = refhost::HostSample::at(0.25, 0.5, 0.25, 0.5, 0.0, 0);
        memo.start(sample);
        const double v = memo.value(*net.node(b)->output("Out"), &sample.access).as_scalar();
        evaluated = memo.evaluations();
        return v;
    };
    std::string error;
    EXPECT_TRUE(same_double(std::sin(0.25) + 1.0, value_of_b()));
    EXPECT_EQ(evaluated, 2);
    ASSERT_TRUE(net.disconnect(b, "In1", error)) << error;
    EXPECT_TRUE(same_double(1.0, value_of_b()));
    EXPECT_EQ(evaluated, 1);
    refhost::HostNode *c = net.create("QvMs_COS", error);
    ASSERT_NE(c, nullptr) << error;
    ASSERT_NE(net.feed_sample(c->id, 0, refhost::SampleSource::u, error), nullptr) << error;
    ASSERT_TRUE(net.connect(c->id, "Out", b, "In1", error)) << error;
    EXPECT_TRUE(same_double(std::cos(0.25) + 1.0, value_of_b()));
    ASSERT_TRUE(net.connect(a, "Out", b, "In2", error)) << error;
    EXPECT_TRUE(same_double(std::cos(0.25) + std::sin(0.25), value_of_b()));
    EXPECT_EQ(evaluated, 3);
}
