// Networks written by hand: what each kind of problem says, the sample
// sources, panels set by label, input name and control name, and scenes
// read as networks.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "qvhost/network_toml.h"

using namespace qvtest;

namespace {

struct Loaded {
    bool ok;
    std::vector<std::string> problems;
    qvhost::NetworkFile file;
};

Loaded load(const std::string &text) {
    Loaded l;
    l.ok = qvhost::read_network_toml(text, "net.toml", shared_module(), l.file, l.problems);
    return l;
}

refhost::Value eval_at(const qvhost::NetworkFile &file, const std::string &output, const refhost::HostSample &s) {
    qvhost::OutputRef ref;
    std::string error;
    EXPECT_TRUE(qvhost::resolve_output(file, output, ref, error)) << error;
    refhost::Value v;
    if (ref.output == nullptr) return v;
    refhost::HostSample sample = s;
    refhost::evaluate_output(*ref.output, &sample.access, v);
    return v;
}

const char *const kSin = "[node.wave]\nserver = \"QvMs_SIN\"\n";

}  // namespace

// Every kind of problem names the file, the line and the item.
TEST(NetworkFile, ProblemsNameFileLineAndItem) {
    const struct {
        const char *name;
        std::string text;
        const char *problem;
    } cases[] = {
        {"syntax", "[node.wave\nserver = 1\n", "net.toml:1: "},
        {"not a network", "title = \"x\"\n", "net.toml:1: \"title\" is not part of a network"},
        {"no nodes", "", "net.toml:1: no nodes"},
        {"node name", "[node.\"a-b\"]\nserver = \"QvMs_SIN\"\n", "net.toml:1: node \"a-b\": a node name has only"},
        {"no server", "[node.wave]\nIn = 1\n", "net.toml:1: node \"wave\": needs server = "},
        {"unknown server", "[node.wave]\nserver = \"QvMs_NOPE\"\n",
         "net.toml:2: node \"wave\": unknown node \"QvMs_NOPE\""},
        {"unknown input", std::string(kSin) + "\n\n\n\n\n\n\n\n\nInn = 1\n",
         "net.toml:12: node \"wave\": input \"Inn\" is not an input of QvMs_SIN (inputs: In)"},
        {"unknown node", std::string(kSin) + "In = \"ramp.Out\"\n",
         "net.toml:3: node \"wave\": input \"In\": no node \"ramp\" (nodes: wave)"},
        {"unknown output", std::string(kSin) + "[node.w2]\nserver = \"QvMs_COS\"\nIn = \"wave.Oot\"\n",
         "net.toml:5: node \"w2\": input \"In\": \"wave.Oot\": QvMs_SIN has no output \"Oot\" (outputs: Out)"},
        {"type mismatch", std::string(kSin) + "In = \"v.Out\"\n[node.v]\nserver = \"QvMv_ADD\"\n",
         "net.toml:3: node \"wave\": input \"In\": cannot connect a vector output to a scalar input"},
        {"loop", std::string(kSin) + "In = \"w2.Out\"\n[node.w2]\nserver = \"QvMs_COS\"\nIn = \"wave.Out\"\n",
         "would close a loop"},
        {"sample source", std::string(kSin) + "In = \"@w\"\n",
         "net.toml:3: node \"wave\": input \"In\": \"@w\" is not a sample source"},
        {"sample type", std::string(kSin) + "In = \"@position\"\n", "cannot feed a vector value to the scalar input"},
        {"value kind", std::string(kSin) + "In = { a = 1 }\n", "input \"In\": takes a number"},
        {"short array", "[node.v]\nserver = \"QvMv_ADD\"\nIn1 = [1, 2]\n",
         "net.toml:3: node \"v\": input \"In1\": an array gives a vector"},
        {"vector into integer", "[node.s]\nserver = \"QvT_SWCHS\"\nBool = [1, 2, 3]\n",
         "cannot feed a vector value to the integer input"},
        {"panel control", std::string(kSin) + "panel = { Nope = 1 }\n",
         "net.toml:3: node \"wave\": panel: no control \"Nope\""},
        {"panel choice", "[node.m]\nserver = \"QvT_MAPR\"\npanel = { OPT1 = \"Sideways\" }\n",
         "\"Sideways\" is not one of its choices"},
        {"no panel", "[node.p]\nserver = \"QvMs_PI\"\npanel = { X = 1 }\n", "node \"p\": QvMs_PI has no option panel"},
        {"text in messages", std::string(kSin) + "\"I\\u0001n\" = 1\n", "input \"I\\x01n\" is not an input"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Loaded l = load(c.text);
        EXPECT_FALSE(l.ok);
        ASSERT_FALSE(l.problems.empty());
        EXPECT_NE(l.problems[0].find(c.problem), std::string::npos) << l.problems[0];
        EXPECT_EQ(l.file.network, nullptr) << "nothing half-built survives a problem";
    }
}

TEST(NetworkFile, EveryProblemIsReportedAtOnce) {
    Loaded l = load(std::string(kSin) + "Inn = 1\n[node.c]\nserver = \"QvMs_COS\"\nIn = \"nope.Out\"\n");
    ASSERT_EQ(l.problems.size(), 2u);
    EXPECT_NE(l.problems[0].find("net.toml:3:"), std::string::npos) << l.problems[0];
    EXPECT_NE(l.problems[1].find("net.toml:6:"), std::string::npos) << l.problems[1];
}

// Each sample source gives each sample its own value.
TEST(NetworkFile, SampleSourcesReadEachSample) {
    Loaded l = load(
        "[node.view]\nserver = \"QvT_VIEW\"\n"
        "[node.u]\nserver = \"QvMs_ADD\"\nIn1 = \"@u\"\n[node.v]\nserver = \"QvMs_ADD\"\nIn1 = \"@v\"\n"
        "[node.x]\nserver = \"QvMs_ADD\"\nIn1 = \"@x\"\n[node.y]\nserver = \"QvMs_ADD\"\nIn1 = \"@y\"\n"
        "[node.t]\nserver = \"QvMs_ADD\"\nIn1 = \"@time\"\n"
        "[node.p]\nserver = \"QvMv_ADD\"\nIn1 = \"@position\"\n"
        "[node.f]\nserver = \"QvC_INT\"\nIn = \"@frame\"\n"
        "[node.g]\nserver = \"QvT_F2T\"\nFrm = \"@frame\"\n");
    ASSERT_TRUE(l.ok) << l.problems[0];
    l.file.network->render_init();
    l.file.network->new_time(7, 0.25);
    const refhost::HostSample s = refhost::HostSample::at(0.125, 0.875, 12.5, 3.5, 0.25, 7);
    EXPECT_TRUE(same_double(0.125, eval_at(l.file, "u.Out", s).as_scalar()));
    EXPECT_TRUE(same_double(0.875, eval_at(l.file, "v.Out", s).as_scalar()));
    EXPECT_TRUE(same_double(12.5, eval_at(l.file, "x.Out", s).as_scalar()));
    EXPECT_TRUE(same_double(3.5, eval_at(l.file, "y.Out", s).as_scalar()));
    EXPECT_TRUE(same_double(0.25, eval_at(l.file, "t.Out", s).as_scalar()));
    const refhost::Value p = eval_at(l.file, "p.Out", s);
    EXPECT_TRUE(same_vector({0.125, 0.875, 0.0}, {p.doubles()[0], p.doubles()[1], p.doubles()[2]}));
    EXPECT_EQ(eval_at(l.file, "f.Out", s).as_integer(), 7);
    EXPECT_TRUE(same_double(7.0 / 30.0, eval_at(l.file, "g.Time", s).as_scalar()));
}

// A panel set by label, by the name of the input an unlabelled control edits,
// and by control name, in the panel's own units.
TEST(NetworkFile, PanelsSetByLabelInputNameAndControlName) {
    Loaded l = load(
        "[node.m]\nserver = \"QvT_MAPR\"\nIn = 1.5\n"
        "panel = { St = 0, Ed = 1, mapSt = 0, mapEd = 10, OPT2 = \"Reflect\" }\n"
        "[node.a]\nserver = \"QvMs_ANGL\"\nX = 0\nY = 1\npanel = { Invert = true, OPT2 = 1 }\n"
        "[node.r]\nserver = \"QvMv_QROT\"\nVec = [1, 0, 0]\npanel = { Rot = 90 }\n"
        "[node.s]\nserver = \"QvT_SLPMT\"\npanel = { RATIO = 50 }\n"
        "[node.v]\nserver = \"QvT_VIEWS\"\n\"Scalar#2\" = 1\npanel = { \"ShowDeg S\" = true }\n");
    ASSERT_TRUE(l.ok) << l.problems[0];
    l.file.network->render_init();
    const refhost::HostSample s;
    // 15 reflected back from the mapEd end 10: 5.
    EXPECT_TRUE(same_double(5.0, eval_at(l.file, "m.Out", s).as_scalar()));
    // Invert and Round on: the angle of (0, 1) is pi/2, not flipped.
    EXPECT_TRUE(near_ulps(1.5707963267948966, eval_at(l.file, "a.Out", s).as_scalar()));
    const refhost::Value r = eval_at(l.file, "r.Out", s);
    EXPECT_TRUE(near_vector({0, 1, 0}, {r.doubles()[0], r.doubles()[1], r.doubles()[2]}));
    const refhost::HostNode *v = l.file.network->node(l.file.find("v")->id);
    EXPECT_TRUE(v->inputs[1]->connected());
    EXPECT_FALSE(v->inputs[0]->connected());
}

// A hand-written network saved as scene text, that text saved as binary:
// the same network at every step.  The module keeps stored values as floats,
// so the hand-written file and the scenes agree where its values are floats;
// the two scene forms agree bit for bit on any network.
TEST(NetworkFile, ScenesAreReadAsNetworksToo) {
    TempDir dir;
    const std::string exact = dir.file("exact.qvn.toml",
                                       "[node.m]\nserver = \"QvT_MAPR\"\nIn = \"@u\"\n"
                                       "panel = { mapSt = 0.25, mapEd = 0.75, OPT1 = \"Reflect\" }\n"
                                       "[node.v]\nserver = \"QvT_VIEWS\"\n\"Scalar#3\" = \"m.Out\"\n");
    const std::string demo = (source_dir() / "examples" / "demo.qvn.toml").string();
    auto values = [](const std::string &path, const std::vector<std::string> &outputs) {
        qvhost::NetworkFile file;
        std::vector<std::string> problems;
        EXPECT_TRUE(qvhost::read_network_file(path, shared_module(), file, problems))
            << (problems.empty() ? path : problems[0]);
        std::vector<double> out;
        if (!file.network) return out;
        file.network->render_init();
        for (int frame : {0, 13}) {
            file.network->new_time(frame, frame / 30.0);
            for (double u : {-0.2, 0.1, 0.55, 0.9})
                for (const std::string &o : outputs) {
                    const refhost::Value v =
                        eval_at(file, o, refhost::HostSample::at(u, 1 - u, u, u, frame / 30.0, frame));
                    for (std::size_t k = 0; k < refhost::type_size(v.type) / sizeof(double); ++k)
                        out.push_back(v.doubles()[k]);
                }
        }
        return out;
    };
    const struct {
        std::string source;
        std::vector<std::string> outputs;
        bool exact;
    } cases[] = {{exact, {"m.Out"}, true}, {demo, {"centre.Out", "cache.Out", "time.Time"}, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        const std::string text = dir.file("net.text"), binary = dir.file("net.binary");
        CliResult r = qvhost_run({"save", c.source, "--scene", text});
        ASSERT_EQ(r.code, 0) << r.err;
        r = qvhost_run({"save", text, "--scene", binary, "--binary"});
        ASSERT_EQ(r.code, 0) << r.err;
        const std::vector<double> from_text = values(text, c.outputs), from_binary = values(binary, c.outputs);
        ASSERT_FALSE(from_text.empty());
        EXPECT_EQ(std::memcmp(from_text.data(), from_binary.data(), from_text.size() * sizeof(double)), 0);
        if (c.exact) {
            EXPECT_EQ(values(c.source, c.outputs), from_text);
        }
        r = qvhost_run({"check", binary});
        EXPECT_EQ(r.code, 0) << r.err;
        if (!c.exact) {
            EXPECT_NE(r.out.find("  views: QvT_VIEWS"), std::string::npos) << "names survive";
        }
    }
}
