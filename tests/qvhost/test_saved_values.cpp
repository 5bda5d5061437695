// What each file form keeps of a network's values, and what is said when it
// cannot keep one: scenes (32-bit floats, warned of, refused with --strict),
// network files written back (every double as it was), OpenEXR renders
// (float or half, warned of) and network drawings of any size.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "qvhost/network_toml.h"
#include "qvhost/pictures/pictures.h"
#include "refhost/draw.h"
#include "refhost/network/input_evaluation.h"

#include <fstream>
#include <sstream>

using namespace qvtest;

namespace {

namespace fs = std::filesystem;

const char *const kMapRange =
    "[node.m]\nserver = \"QvT_MAPR\"\nIn = \"@u\"\n"
    "panel = { mapSt = 1e300, mapEd = 0.1, St = 2.2250738585072014e-308, OPT1 = \"Reflect\" }\n";
const char *const kExact = "[node.m]\nserver = \"QvT_MAPR\"\nIn = \"@u\"\npanel = { mapSt = 0.25, Ed = 0.5 }\n";

qvhost::NetworkFile load(const std::string &path) {
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    EXPECT_TRUE(qvhost::read_network_file(path, shared_module(), file, problems)) << (problems.empty() ? path : problems[0]);
    return file;
}

// Every output of every node at a few samples of two frames, as evaluated.
std::vector<double> every_value(const std::string &path) {
    qvhost::NetworkFile file = load(path);
    std::vector<double> out;
    if (!file.network) return out;
    file.network->render_init();
    for (int frame : {0, 13}) {
        file.network->new_time(frame, frame / 30.0);
        for (double u : {-0.2, 0.1, 0.55, 0.9})
            for (const auto &n : file.network->nodes())
                for (const auto &o : n->outputs) {
                    refhost::HostSample s = refhost::HostSample::at(u, 1 - u, u, u, frame / 30.0, frame);
                    refhost::Value v;
                    refhost::evaluate_output(*o, &s.access, v);
                    for (std::size_t k = 0; k < refhost::type_size(v.type) / sizeof(double); ++k)
                        out.push_back(v.doubles()[k]);
                    if (v.type == QV_TYPE_INTEGER) out.push_back(v.as_integer());
                }
    }
    return out;
}

std::string read_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

// The reference host says what loading a saved scene changes: each panel
// value comes back as its 32-bit float.
TEST(SavedValues, SceneChangesAreTheFloatsOfTheValues) {
    const struct {
        const char *control;
        const char *value;
        const char *after;  // nullptr: unchanged
    } cases[] = {
        {"mapEd", "0.1", "0.10000000149011612"},
        {"mapSt", "1e300", "inf"},
        {"St", "2.2250738585072014e-308", "0"},
        {"mapEd", "0.25", nullptr},
        {"mapSt", "-16777216", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.control) + " = " + c.value);
        qvhost::NetworkFile file;
        std::vector<std::string> problems;
        ASSERT_TRUE(qvhost::read_network_toml(std::string("[node.m]\nserver = \"QvT_MAPR\"\npanel = { ") + c.control +
                                                  " = " + c.value + " }\n",
                                              "net.toml", shared_module(), file, problems))
            << problems[0];
        for (const refhost::SceneForm form : {refhost::SceneForm::text, refhost::SceneForm::binary}) {
            std::string content, error;
            std::vector<refhost::Network::ValueChange> changes;
            ASSERT_TRUE(file.network->save(form, content, error)) << error;
            ASSERT_TRUE(file.network->scene_changes(content, changes, error)) << error;
            if (c.after == nullptr) {
                EXPECT_TRUE(changes.empty()) << changes[0].before << " -> " << changes[0].after;
                continue;
            }
            ASSERT_EQ(changes.size(), 1u);
            EXPECT_EQ(changes[0].node, file.find("m")->id);
            EXPECT_NE(changes[0].control, 0u);
            EXPECT_EQ(changes[0].after, c.after);
        }
    }
}

// save --scene names the node and the control of every value the scene
// changes; --strict makes them an error and writes nothing.
TEST(SavedValues, SaveWarnsOfEveryChangedValueAndStrictRefuses) {
    TempDir dir;
    const std::string changed = dir.file("changed.qvn.toml", kMapRange), exact = dir.file("exact.qvn.toml", kExact);
    const std::vector<std::string> kWarned = {
        "node \"m\": control \"St\": 2.2250738585072014e-308 reads back as 0\n",
        "node \"m\": control \"mapSt\": 1e+300 reads back as inf\n",
        "node \"m\": control \"mapEd\": 0.1 reads back as 0.10000000149011612\n"};
    const struct {
        std::vector<std::string> args;
        int code;
        std::vector<std::string> said;  // on stderr, each on a line of its own
        bool written;
    } cases[] = {
        {{"save", changed, "--scene", dir.file("a.qvs")}, 0, kWarned, true},
        {{"save", changed, "-o", dir.file("b.qvs"), "--binary"}, 0, kWarned, true},
        {{"save", changed, "--scene", dir.file("c.qvs"), "--strict"},
         1,
         {kWarned[0], "c.qvs: not written: 3 values would read back changed (--strict)"},
         false},
        {{"save", exact, "--scene", dir.file("d.qvs"), "--strict"}, 0, {}, true},
        {{"save", changed, "--toml", dir.file("e.qvn.toml"), "--strict"}, 0, {}, true},
        {{"save", exact}, 2, {"give one of --scene FILE and --toml FILE"}, false},
        {{"save", exact, "--scene", dir.file("f.qvs"), "--toml", dir.file("f.toml")}, 2, {"give one of"}, false},
        {{"save", exact, "--toml", dir.file("g.qvs")}, 2, {"a network file's name ends in .toml"}, false},
        {{"save", exact, "--toml", dir.file("h.toml"), "--binary"}, 2, {"--binary: a network file is text"}, false},
    };
    for (const auto &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        for (const std::string &s : c.said) EXPECT_NE(r.err.find(s), std::string::npos) << r.err;
        if (c.said.empty()) {
            EXPECT_EQ(r.err, "");
        }
        if (c.code == 0) {
            EXPECT_EQ(r.out, "wrote " + c.args[3] + "\n");
        }
        if (c.args.size() > 3) {
            EXPECT_EQ(fs::exists(c.args[3]), c.written);
        }
    }
}

// save --toml writes a network, or a scene, as a network file that reads
// back to the same values bit for bit, panel settings and exact doubles too.
TEST(SavedValues, NetworkFilesWrittenBackGiveTheSameValues) {
    TempDir dir;
    const std::string mixed = dir.file("mixed.qvn.toml",
                                       "[node.t]\nserver = \"QvMs_TIME\"\n"
                                       "[node.r]\nserver = \"QvMv_QROT\"\nVec = [1, 0.1, -3e-300]\npanel = { Rot = 33.3 }\n"
                                       "[node.s]\nserver = \"QvT_SLPMT\"\npanel = { RATIO = 0.3 }\n"
                                       "[node.n]\nserver = \"QvT_NOIS\"\n"
                                       "[node.v]\nserver = \"QvT_VIEWS\"\n\"Scalar#1\" = \"t.Time\"\n");
    const std::string scene = dir.file("mixed.qvs");
    const CliResult saved = qvhost_run({"save", mixed, "--scene", scene});
    ASSERT_EQ(saved.code, 0) << saved.err;
    const struct {
        std::string source;
        std::vector<std::string> written;  // lines of the file written
    } cases[] = {
        {dir.file("changed.qvn.toml", std::string(kMapRange) +
                                          "[node.v]\nserver = \"QvT_VIEWS\"\n\"Scalar#2\" = 0.1\n\"Scalar#3\" = \"m.Out\"\n"
                                          "panel = { \"ShowDeg S\" = true }\n"),
         {"panel = { St = 2.2250738585072014e-308, mapSt = 1e+300, mapEd = 0.1, OPT1 = \"Reflect\" }",
          "\"Scalar#2\" = 0.1", "\"Scalar#3\" = \"m.Out\"", "In = \"@u\"", "panel = { \"ShowDeg S\" = true }"}},
        {mixed, {"Vec = [1.0, 0.1, -3e-300]", "\"Scalar#1\" = \"t.Time\""}},
        {scene, {"Vec = [1.0, 0.1, -3e-300]", "[node.n]"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        const std::string written = dir.file("written.qvn.toml");
        const CliResult r = qvhost_run({"save", c.source, "--toml", written, "--strict"});
        ASSERT_EQ(r.code, 0) << r.err;
        const std::string text = read_text(written);
        for (const std::string &line : c.written) EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << text;
        const std::vector<double> before = every_value(c.source), after = every_value(written);
        ASSERT_FALSE(before.empty());
        ASSERT_EQ(before.size(), after.size());
        EXPECT_EQ(std::memcmp(before.data(), after.data(), before.size() * sizeof(double)), 0);
        // And once more: the file written back writes itself.
        ASSERT_EQ(qvhost_run({"save", written, "--toml", dir.file("again.qvn.toml")}).code, 0);
        const std::string again = read_text(dir.file("again.qvn.toml"));
        EXPECT_EQ(again.substr(again.find('\n')), text.substr(text.find('\n')));
    }
}

// An OpenEXR render holds 32-bit floats, or halves with --exr-type half, and
// says which values the type cannot hold and what is written instead.
TEST(SavedValues, ExrRendersWarnOfValuesTheirTypeCannotHold) {
    TempDir dir;
    const std::string net = dir.file("values.qvn.toml",
                                     "[node.big]\nserver = \"QvMs_ADD\"\nIn1 = 123456789\nIn2 = 0\n"
                                     "[node.huge]\nserver = \"QvMs_ADD\"\nIn1 = 1e300\nIn2 = 0\n"
                                     "[node.tiny]\nserver = \"QvMs_ADD\"\nIn1 = 1e-300\nIn2 = 0\n"
                                     "[node.tenth]\nserver = \"QvMs_ADD\"\nIn1 = 0.1\nIn2 = 0\n"
                                     "[node.mid]\nserver = \"QvMs_ADD\"\nIn1 = 70000\nIn2 = 0\n");
    const struct {
        const char *output, *type;  // type nullptr: the default
        int code;
        const char *warning;  // nullptr: none
        float written;
    } cases[] = {
        {"big.Out", nullptr, 0, "2 values that float cannot hold (32-bit: about 7 digits, whole numbers exactly to "
                                "16777216, magnitudes 1.2e-38 to 3.4e38): 123456789 is written as 123456792 (pixel 0,0), "
                                "123456789 as 123456792 (pixel 1,0)",
         123456792.0f},
        {"huge.Out", "float", 0, "1e+300 is written as inf (pixel 0,0)", HUGE_VALF},
        {"tiny.Out", "float", 0, "1e-300 is written as 0 (pixel 0,0)", 0.0f},
        {"tenth.Out", "float", 0, nullptr, 0.1f},
        {"mid.Out", "float", 0, nullptr, 70000.0f},
        {"mid.Out", "half", 0, "values that half cannot hold (16-bit: about 3 digits, whole numbers exactly to 2048, "
                               "magnitudes 6.1e-05 to 65504): 70000 is written as inf",
         HUGE_VALF},
        {"tenth.Out", "half", 0, nullptr, 0.0999755859375f},
        {"big.Out", "half", 0, "123456789 is written as inf", HUGE_VALF},
        {"tenth.Out", "double", 2, "--exr-type: \"double\" is not a type (float, half)", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.output) + " " + (c.type ? c.type : ""));
        if (!qvhost::have_exr()) QV_SKIP("this build has no OpenEXR");
        const std::string path = dir.file("out.exr");
        std::vector<std::string> args = {"render", net, c.output, "--size", "2x1", "--quiet", "-o", path};
        if (c.type != nullptr) args.insert(args.end(), {"--exr-type", c.type});
        fs::remove(path);
        const CliResult r = qvhost_run(args);
        ASSERT_EQ(r.code, c.code) << r.err;
        if (c.warning == nullptr) {
            EXPECT_EQ(r.err, "");
        }
        if (c.warning != nullptr) {
            EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
        }
        if (c.code != 0) continue;
        EXPECT_EQ(r.err.rfind("qvhost: warning: " + path + ": ", 0), c.warning ? 0u : std::string::npos);
        qvhost::ValueImage back;
        std::string error;
        ASSERT_TRUE(qvhost::read_value_exr(path, back, error)) << error;
        EXPECT_TRUE(same_double(c.written, back.values[0]));
    }
    const CliResult png = qvhost_run({"render", net, "tenth.Out", "--size", "2x1", "--exr-type", "half", "-o",
                                      dir.file("out.png")});
    EXPECT_EQ(png.code, 2);
    EXPECT_NE(png.err.find("--exr-type: -o " + dir.file("out.png") + " is not an EXR image"), std::string::npos);
}

// graph draws a network of any size as SVG, and a PNG beyond its limit
// smaller, with a note.
TEST(SavedValues, GraphsOfAnySize) {
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    TempDir dir;
    std::string chain = "[node.n0]\nserver = \"QvMs_SIN\"\nIn = \"@u\"\n";
    for (int i = 1; i < 100; ++i)
        chain += "[node.n" + std::to_string(i) + "]\nserver = \"QvMs_SIN\"\nIn = \"n" + std::to_string(i - 1) + ".Out\"\n";
    const std::string net = dir.file("chain.qvn.toml", chain);
    const struct {
        const char *name;
        const char *note;  // nullptr: none
    } cases[] = {
        {"chain.svg", nullptr},
        {"chain.png", "pixels; drawn at "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = qvhost_run({"graph", net, "-o", dir.file(c.name)});
        ASSERT_EQ(r.code, 0) << r.err;
        if (c.note == nullptr) {
            EXPECT_EQ(r.err, "");
        }
        if (c.note != nullptr) {
            EXPECT_EQ(r.err.rfind("qvhost: note: " + dir.file(c.name) + ": the network needs ", 0), 0u) << r.err;
            EXPECT_NE(r.err.find(c.note), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("an SVG draws it whole"), std::string::npos) << r.err;
        }
    }
    // The SVG whole, wider than a PNG may be; the PNG at the limit.
    const std::string svg = read_text(dir.file("chain.svg"));
    const std::size_t width = svg.find("width=\"");
    ASSERT_NE(width, std::string::npos);
    EXPECT_GT(std::stoi(svg.substr(width + 7)), 16384);
    qvhost::ValueImage png;
    std::string error;
    ASSERT_TRUE(qvhost::read_png_rgb(dir.file("chain.png"), png, error)) << error;
    EXPECT_EQ(png.width, 16384);
}
