// The network commands of qvhost (check, eval, render, plot, preview,
// graph) run as a user runs them: exit codes, the start of what they print
// and the first error line.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "refhost/draw.h"

#include <iostream>
#include <sstream>

using namespace qvtest;

namespace {

const char *const kSin = "[node.wave]\nserver = \"QvMs_SIN\"\n";

}  // namespace

TEST(NetworkCommands, ExitCodesAndFirstLines) {
    TempDir dir;
    const std::string good = dir.file("good.qvn.toml", std::string(kSin) + "In = \"@time\"\n");
    const std::string bad = dir.file("bad.qvn.toml", std::string(kSin) + "Inn = 1\n");
    const std::string views = dir.file("views.qvn.toml", "[node.view]\nserver = \"QvT_VIEW\"\n");
    const std::string whole = dir.file("whole.qvn.toml", "[node.int]\nserver = \"QvC_INT\"\nIn = 2.7\n");
    const struct {
        std::vector<std::string> args;
        int code;
        const char *out;  // the start of the output
        const char *err;  // part of the first error line
        bool draws = false;  // writes a picture, which needs cairo
    } cases[] = {
        {{"check", good}, 0, "", ""},
        {{"check", bad}, 1, "", "bad.qvn.toml:3: node \"wave\": input \"Inn\""},
        {{"eval", good, "wave.Out", "--frames", "0-2", "--fps", "10", "--format", "csv"},
         0,
         "frame,time,wave.Out\n0,0,0\n1,0.1,0.09983341664682815\n",
         ""},
        {{"eval", good, "wave.Out", "--frame", "5", "--fps", "10", "--format", "json"},
         0,
         "[\n  {\"frame\": 5, \"time\": 0.5, \"wave.Out\": 0.479425538604203}\n]\n",
         ""},
        {{"eval", good, "wave.Oot"}, 2, "", "QvMs_SIN has no output \"Oot\""},
        {{"eval", good, "wave.Out", "--format", "xml"}, 2, "", "--format"},
        {{"eval", good, "wave.Out", "--fps", "0"}, 2, "", "--fps: \"0\" is not a frame rate"},
        {{"eval", good, "wave.Out", "--frames", "5-2"}, 2, "", "--frames: \"5-2\""},
        {{"eval", dir.file("missing.toml"), "wave.Out"}, 1, "", "missing.toml: cannot open the file"},
        {{"check", dir.path() + "/."}, 1, "", "/.: not a regular file"},
        {{"check", dir.file("bad\x01name.qvn.toml")}, 1, "", "bad\\x01name.qvn.toml: cannot open the file"},
        {{"render", good, "wave.Out", "--size", "4x4", "-o", dir.file("a.tiff")}, 2, "", ".png or .exr"},
        {{"render", good, "wave.Out", "--size", "4x4", "--frames", "0-1", "-o", dir.file("a.png")}, 2, "", "%04d"},
        {{"plot", good, "wave.Out", "--png", dir.file("p.png")}, 2, "", "--frames A-B or --over u"},
        {{"preview", good, "nope"}, 2, "", "no node \"nope\""},
        {{"graph", good, "-o", dir.file("g.gif")}, 2, "", ".svg or .png"},
        {{"bogus"}, 2, "", "unknown command \"bogus\" (commands: nodes, eval,"},
        {{}, 2, "", "a command is required"},
        // Every option is honoured or refused with the reason; options that
        // contradict each other are refused; every command that writes takes -o.
        {{"eval", good, "wave.Out", "--frame", "3", "--frames", "0-1"}, 2, "", "--frame and --frames"},
        {{"render", good, "wave.Out", "--size", "4x4", "--frame", "3", "--frames", "0-1", "-o", dir.file("r%d.png")},
         2,
         "",
         "--frame and --frames"},
        {{"plot", good, "wave.Out", "--frame", "3", "--frames", "0-1", "-o", dir.file("p.png")},
         2,
         "",
         "--frame and --frames"},
        {{"eval", good, "wave.Out", "--time", "2.5"}, 2, "", "--time: a network is evaluated"},
        {{"eval", good, "wave.Out", "--modeler"}, 2, "", "--modeler"},
        {{"eval", "QvMs_SIN", "--at", "0.1,0.2"}, 2, "", "--at: a node alone is evaluated once"},
        {{"eval", "QvMs_SIN", "--frames", "0-3"}, 2, "", "--frames: a node alone"},
        {{"eval", "QvMs_SIN", "--format", "json"}, 2, "", "--format: a node alone"},
        {{"render", good, "wave.Out", "--size", "4x4", "--range", "0.5,0.5", "-o", dir.file("r.png")},
         2,
         "",
         "--range: \"0.5,0.5\" is empty"},
        {{"plot", good, "wave.Out", "--frames", "0-3", "-o", dir.file("p.gif")}, 2, "", ".png or .svg"},
        {{"plot", good, "wave.Out", "--frames", "0-3", "-o", dir.file("p.svg")}, 0, "wrote ", "", true},
        {{"plot", good, "wave.Out", "--frames", "0-3", "--png", dir.file("p.png")}, 0, "wrote ", "", true},
        {{"save", good, "-o", dir.file("s.qvs")}, 0, "", ""},
        {{"preview", views, "view", "-o", dir.file("v.png")}, 0, "", "", true},
        {{"preview", views, "view", "--set", "ShowHex=1"}, 2, "", "--set: a viewer in a network"},
        // A value an input cannot hold is refused by every network command, and cut with --lenient.
        {{"eval", whole, "int.Out"}, 1, "", "whole.qvn.toml:3: node \"int\": input \"In\": 2.7 is not a whole number"},
        {{"eval", whole, "int.Out", "--lenient"}, 0, "frame  time  int.Out\n0      0     2\n", ""},
        {{"save", whole, "-o", dir.file("w.qvs")}, 1, "", "2.7 is not a whole number"},
        {{"save", whole, "-o", dir.file("w.qvs"), "--lenient"}, 0, "", ""},
    };
    for (const auto &c : cases) {
        if (c.draws && !refhost::have_cairo()) continue;
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (c.code != 0) {
            EXPECT_EQ(r.err.rfind("qvhost: ", 0), 0u) << r.err;
        }
    }
}

// "-" reads the network from standard input, in either form, and messages
// name it <stdin>.
TEST(NetworkCommands, StandardInputIsANetworkFile) {
    const struct {
        std::vector<std::string> args;
        std::string input;
        int code;
        const char *out;  // the start of the output
        const char *err;  // part of the first error line
    } cases[] = {
        {{"eval", "-", "wave.Out", "--format", "csv"}, std::string(kSin) + "In = 0.5\n", 0,
         "frame,time,wave.Out\n0,0,0.479425538604203\n", ""},
        {{"check", "-"}, std::string(kSin) + "Inn = 1\n", 1, "<stdin>: 1 problem", "<stdin>:3: node \"wave\""},
        {{"check", "-"}, "", 1, "<stdin>: 1 problem", "<stdin>:1: no nodes"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.input);
        std::istringstream input(c.input);
        std::streambuf *const saved = std::cin.rdbuf(input.rdbuf());
        const CliResult r = qvhost_run(c.args);
        std::cin.rdbuf(saved);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// check lists each node's panel settings as the file writes them, and every
// problem in the order of the file's lines with what to do about it.
TEST(NetworkCommands, CheckShowsPanelSettingsAndSaysWhatToDo) {
    TempDir dir;
    const std::string logic = (source_dir() / "examples" / "logic.qvn.toml").string();
    const struct {
        const char *name;
        std::string network;  // a file's text, or the path of one
        std::vector<std::string> options;
        int code;
        std::vector<std::string> out, err;  // each part found, in this order
    } cases[] = {
        {"choices by their text",
         logic,
         {},
         0,
         {"  square: QvT_LGC1", "    panel Ope = \"A > B\"\n", "  both: QvT_LGC2",
          "    panel OPT1 = \"A > B\", OPT2 = \"A >= B\", OPT3 = \"True && True\"\n"},
         {}},
        {"check boxes and percentages",
         "[node.a]\nserver = \"QvMs_ANGL\"\npanel = { Invert = true, OPT2 = 1 }\n"
         "[node.s]\nserver = \"QvT_SLPMT\"\npanel = { RATIO = 50 }\n"
         "[node.t]\nserver = \"QvT_SLPMT\"\npanel = { RATIO = \"12.5%\" }\n"
         "[node.v]\nserver = \"QvT_VIEWS\"\npanel = { \"ShowDeg S\" = true }\n",
         {},
         0,
         {"    panel Invert = true, Round = true\n", "default 50%", "default 12.5%",
          "    panel \"ShowDeg S\" = true, \"ShowDeg V\" = false\n"},
         {}},
        {"problems in line order, with the way forward",
         "[node.wave]\nserver = \"QvMs_SIN\"\nIn = \"v.Out\"\n"                                   // 1-3
         "[node.v]\nserver = \"QvMv_ADD\"\n"                                                      // 4-5
         "[node.a]\nserver = \"QvMs_COS\"\nIn = \"b.Out\"\n"                                      // 6-8
         "[node.b]\nserver = \"QvMs_COS\"\nIn = \"a.Out\"\n"                                      // 9-11
         "[node.c]\nserver = \"QvMS_COS\"\n"                                                      // 12-13
         "[node.d]\nserver = \"QvMs_COS\"\nIn = \"1.5\"\n"                                        // 14-16
         "[node.e]\nserver = \"QvMs_ANGL\"\npanel = { Invert = \"yes\" }\n"                       // 17-19
         "[node.f]\nserver = \"QvT_MAPR\"\npanel = { mapend = 1 }\n"                              // 20-22
         "[node.g]\nserver = \"QvT_SWCHS\"\nFalse1 = 1\nTrue1 = \"wave.Ot\"\nTrue2 = \"@tme\"\n"  // 23-27
         "[node.h]\nserver = \"QvMs_COS\"\nIn = \"wav.Out\"\n",                                   // 28-30
         {},
         1,
         {"10 problems"},
         {":3: node \"wave\": input \"In\": cannot connect a vector output to a scalar input (\"v.Out\" to "
          "\"wave.In\"): put a QvT_V2XYZ (Vec2xyz) node between them",
          ":11: node \"b\": connecting node \"a\" to node \"b\" would close a loop (nodes \"a\" -> \"b\" -> \"a\")",
          ":13: node \"c\": unknown node \"QvMS_COS\"; did you mean \"QvMs_COS\"?",
          ":16: node \"d\": input \"In\": \"1.5\" is text, not a number: write In = 1.5",
          ":19: node \"e\": panel: control \"Invert\": \"yes\" is not true or false",
          ":22: node \"f\": panel: no control \"mapend\"", "; did you mean \"mapEd\"?",
          ":25: node \"g\": input \"False1\" is not an input of QvT_SWCHS", "; did you mean \"false1\"?",
          ":26: node \"g\": input \"True1\": \"wave.Ot\": QvMs_SIN has no output \"Ot\"", "; did you mean \"Out\"?",
          ":27: node \"g\": input \"True2\": \"@tme\" is not a sample source", "; did you mean \"@time\"?",
          ":30: node \"h\": input \"In\": no node \"wav\"", "; did you mean \"wave\"?"}},
        {"a colour into a scalar",
         "[node.c]\nserver = \"QvMs_SIN\"\nIn = \"m.Out\"\n[node.m]\nserver = \"QvC_VEC\"\n",
         {},
         1,
         {},
         {"cannot connect a vector output to a scalar input"}},
        {"values an input cannot hold",
         "[node.g]\nserver = \"QvC_INT\"\nIn = 2.7\n[node.h]\nserver = \"QvT_SWCHS\"\nBool = 0.4\n"
         "[node.k]\nserver = \"QvT_SWCHS\"\nBool = 2\n[node.m]\nserver = \"QvC_INT\"\nIn = 3000000000\n",
         {},
         1,
         {"4 problems"},
         {":3: node \"g\": input \"In\": 2.7 is not a whole number in the integer input's range (the host would "
          "read 2); write a whole number, or give --lenient",
          ":6: node \"h\": input \"Bool\": 0.4 is not 0 or 1", ":9: node \"k\": input \"Bool\": 2 is not 0 or 1",
          ":12: node \"m\": input \"In\": 3e+09 is not a whole number", "(the host would read 2147483647)"}},
        {"the same with --lenient",
         "[node.g]\nserver = \"QvC_INT\"\nIn = 2.7\n[node.h]\nserver = \"QvT_SWCHS\"\nBool = 0.4\n",
         {"--lenient"},
         0,
         {"= 2.7", "= 0.4", "no problems"},
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const bool is_path = c.network.find('\n') == std::string::npos;
        const std::string path = is_path ? c.network : dir.file("net.qvn.toml", c.network);
        std::vector<std::string> args{"check", path};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliResult r = qvhost_run(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        std::size_t at = 0;
        for (const std::string &part : c.out) {
            at = r.out.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << "\n" << r.out;
            if (at == std::string::npos) break;
        }
        at = 0;
        for (const std::string &part : c.err) {
            at = r.err.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << "\n" << r.err;
            if (at == std::string::npos) break;
        }
    }
}

// A viewer in a network shows the frame, time and u,v given, as eval does,
// in a table labelled by input; the draw list only with --verbose.
TEST(NetworkCommands, PreviewShowsTheSampleGiven) {
    TempDir dir;
    const std::string net = dir.file("views.qvn.toml",
                                     "[node.view]\nserver = \"QvT_VIEWS\"\nScalar = \"@frame\"\n"
                                     "\"Scalar#2\" = \"@time\"\n\"Scalar#3\" = \"wave.Out\"\n" +
                                         std::string(kSin) + "In = \"@u\"\n");
    const std::string table =
        "input     fed by    shows\nScalar    @frame    +10.0000\nScalar#2  @time     +0.500000\n";
    const struct {
        std::vector<std::string> args;
        std::string out;  // the start of the output
    } cases[] = {
        {{"preview", net, "view", "--frame", "10", "--fps", "20"},
         "view (QvT_VIEWS) at frame 10, time 0.5, u,v 0.5,0.5\n" + table +
             "Scalar#3  wave.Out  +0.479426\n"
             "Scalar#4  -         +0.00000\n"},
        {{"preview", net, "view", "--frame", "10", "--fps", "20", "--at", "0,0.5", "--set", "wave.In=@v"},
         "view (QvT_VIEWS) at frame 10, time 0.5, u,v 0,0.5\n" + table + "Scalar#3  wave.Out  +0.479426\n"},
        {{"preview", net, "view", "--frame", "10", "--fps", "20", "--set", "wave.In=1.5707963267948966"},
         "view (QvT_VIEWS) at frame 10, time 0.5, u,v 0.5,0.5\n" + table + "Scalar#3  wave.Out  +1.00000\n"},
    };
    for (const auto &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
        EXPECT_EQ(r.out.find("draw list"), std::string::npos) << r.out;
    }
    const CliResult r = qvhost_run({"preview", net, "view", "--verbose"});
    EXPECT_NE(r.out.find("draw list:\n  box 0,0 128x80 #000000\n  text 0,0 #B0B0B0 +0.00000\n"), std::string::npos)
        << r.out;
}

// --set NODE.INPUT=VALUE and NODE.CONTROL=CHOICE on every network command,
// with the errors the file would give.
TEST(NetworkCommands, SetOverridesTheFile) {
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml", std::string(kSin) +
                                                         "In = 0.5\n[node.map]\nserver = \"QvT_MAPR\"\n"
                                                         "In = \"@u\"\n");
    const std::string png = dir.file("o.png"), svg = dir.file("o.svg"), qvs = dir.file("o.qvs");
    const struct {
        std::vector<std::string> args;
        int code;
        const char *out;  // part of the output
        const char *err;  // part of the first error line
        bool draws = false;
    } cases[] = {
        {{"eval", net, "wave.Out", "--set", "wave.In=0", "--format", "csv"}, 0, "\n0,0,0\n", ""},
        {{"eval", net, "wave.Out", "--set", "wave.In=map.Out", "--at", "0,0", "--format", "csv"}, 0, "\n0,0,0\n", ""},
        {{"eval", net, "map.Out", "--set", "map.OPT2=Reflect", "--format", "csv"}, 0, "map.Out\n", ""},
        {{"check", net, "--set", "wave.In=@time"}, 0, "= @time", ""},
        {{"graph", net, "--set", "wave.In=1", "-o", svg}, 0, "wrote ", "", true},
        {{"save", net, "--set", "wave.In=1", "-o", qvs}, 0, "", ""},
        {{"plot", net, "wave.Out", "--frames", "0-3", "--set", "wave.In=@time", "-o", svg}, 0, "wrote ", "", true},
        {{"render", net, "wave.Out", "--size", "4x4", "--set", "wave.In=@u", "-o", png}, 0, "wrote ", "", true},
        {{"eval", net, "wave.Out", "--set", "wave.Inn=1"}, 2, "", "--set wave.Inn=1: node \"wave\""},
        {{"eval", net, "wave.Out", "--set", "wav.In=1"}, 2, "", "--set wav.In=1: no node \"wav\" (nodes: wave, map)"},
        {{"eval", net, "wave.Out", "--set", "wave.In=map.Oot"}, 2, "", "QvT_MAPR has no output \"Oot\""},
        {{"eval", net, "wave.Out", "--set", "wave.In=wave.Out"}, 2, "", "loop"},
        {{"eval", net, "wave.Out", "--set", "map.OPT2=Sideways"}, 2, "", "\"Sideways\" is not one of its choices"},
        {{"eval", net, "wave.Out", "--set", "wave=1"}, 2, "", "'wave=1' is not NODE.INPUT=VALUE"},
        {{"eval", "QvMs_SIN", "--set", "wave.In=1"}, 2, "", "--set: a node alone"},
        // --wedge: one output per value.
        {{"eval", net, "wave.Out", "--wedge", "wave.In=0:1:2", "--format", "csv"},
         0,
         "frame,time,wave.Out[wave.In=0],wave.Out[wave.In=1]\n0,0,0,0.8414709848078965\n",
         ""},
        {{"render", net, "wave.Out", "--size", "4x4", "--wedge", "wave.In=0:1:2", "-o", png},
         0,
         "o_w2.png\n",
         "",
         true},
        {{"eval", net, "wave.Out", "--wedge", "wave.In=0:1"}, 2, "", "\"wave.In=0:1\" is not NODE.INPUT=A:B:N"},
        {{"eval", net, "wave.Out", "--wedge", "wave.Inn=0:1:2"}, 2, "", "--wedge wave.Inn=0: node \"wave\""},
        {{"render", net, "wave.Out", "--size", "4x4", "--wedge", "wav.In=0:1:2", "-o", png},
         2,
         "",
         "--wedge wav.In=0: no node \"wav\""},
        {{"eval", "QvMs_SIN", "--wedge", "wave.In=0:1:2"}, 2, "", "--wedge: a node alone"},
    };
    for (const auto &c : cases) {
        if (c.draws && !refhost::have_cairo()) continue;
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// trace: every node an output depends on, upstream first, with the values
// of one sample; NaN and infinities marked.
TEST(NetworkCommands, TraceShowsEveryValueOfOneSample) {
    TempDir dir;
    const std::string net = dir.file(
        "net.qvn.toml", "[node.div]\nserver = \"QvMs_DIV\"\nIn1 = \"wave.Out\"\nIn2 = 0\n" + std::string(kSin) +
                            "In = \"@frame\"\n[node.log]\nserver = \"QvMs_LOG\"\nIn = -1\n");
    const struct {
        std::vector<std::string> args;
        int code;
        std::string out;  // part of the output
        const char *err;  // part of the first error line
    } cases[] = {
        {{"trace", net, "div.Out", "--frame", "3", "--at", "0.1,0.2"},
         0,
         "div.Out at frame 3, time 0.1, u,v 0.1,0.2\n"
         "node             port     type    fed by    value\n"
         "wave (QvMs_SIN)  in In    scalar  @frame    3\n"
         "wave (QvMs_SIN)  out Out  scalar            0.1411200080598672\n"
         "div (QvMs_DIV)   in In1   scalar  wave.Out  0.1411200080598672\n",
         ""},
        // The sign of log(-1)'s NaN is the math library's.
        {{"trace", net, "log.Out"}, 0, "nan  ", ""},
        {{"trace", net, "log.Out"}, 0, "  <- NaN\n", ""},
        {{"trace", net, "log.Out", "--format", "json"},
         0,
         "{\"kind\": \"out\", \"name\": \"Out\", \"type\": \"scalar\", \"value\": null, \"mark\": \"NaN\"}",
         ""},
        {{"trace", net, "wave.Out", "--set", "wave.In=@u", "--format", "json"},
         0,
         "\"fed\": \"@u\", \"value\": 0.5}",
         ""},
        {{"trace", net, "div.Oot"}, 2, "", "QvMs_DIV has no output \"Oot\""},
        {{"trace", net, "div.Out", "--format", "csv"}, 2, "", "--format: \"csv\" is not one of table, json"},
    };
    for (const auto &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}
