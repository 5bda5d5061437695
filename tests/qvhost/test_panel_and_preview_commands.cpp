// The qvhost panel and preview commands, run as a user runs them: the
// controls and preview texts they print, the PNG a preview writes, and one
// error line for bad input.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"

#include "refhost/draw.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

using namespace qvtest;

namespace {

struct CliCase {
    std::vector<std::string> args;
    std::string out;
};

struct CliError {
    std::vector<std::string> args;
    int code;
    const char *message;  // part of the one error line
};

}  // namespace

TEST(QvhostPanel, PrintsEveryVisibleControl) {
    const std::string cmp = "[A == B] | A != B | A > B | A < B | A >= B | A <= B";
    const CliCase cases[] = {
        {{"panel", "QvMs_SIN"}, "In: 0\n"},
        {{"panel", "QvMs_SIN", "In=1"}, "In: (empty)\n"},
        {{"panel", "QvMs_SIN", "--set", "In=0.25"}, "In: 0.25\n"},
        {{"panel", "QvMs_POW", "--set", "Pow=3", "In=2"}, "In: (empty)\nPow: 3\n"},
        {{"panel", "QvMs_PI"}, "no options\n"},
        {{"panel", "QvMv_QROT", "--set", "Axis=1,0,0"}, "Axis: 1,0,0\nRot: 0\n"},
        {{"panel", "QvMs_ABS", "--set", "0x8010=Abs -"}, "OPT1: Abs + | [Abs -]\n"},
        {{"panel", "QvT_MAPR", "--set", "0x8010=Reflect", "--set", "0x8003=2"},
         "In: 0\nSt: 0\nEd: 2\nmapSt: 0\nmapEd: 1\nOPT1: Linear | Constant | Repeat | [Reflect]\n"
         "OPT2: [Linear] | Constant | Repeat | Reflect\n"},
        {{"panel", "QvT_LGC1", "A1=1", "--set", "Ope=A != B"},
         "A1: (empty)\nB1: 0\nOpe: A == B | [A != B] | A > B | A < B | A >= B | A <= B\nTrue: 1\nFalse: 0\n"},
        {{"panel", "QvT_LGC2", "--set", "0x8012=True || False"},
         "A1: 0\nB1: 0\nOPT1: " + cmp + "\nA2: 0\nB2: 0\nOPT2: " + cmp +
             "\nOPT3: True && True | False && False | True && False | False && True | [True || False]\nTrue: 1\nFalse: "
             "0\n"},
        {{"panel", "QvT_SLPMT", "--set", "0x8015=50%"}, "RATIO: 50%\n"},
        // Every control by the one name a network file gives it; percentages in percent.
        {{"panel", "QvT_SLPMT", "--set", "RATIO=50"}, "RATIO: 50%\n"},
        {{"panel", "QvT_SLPMT", "--set", "RATIO=12.5%"}, "RATIO: 12.5%\n"},
        {{"panel", "QvT_MAPR", "--set", "OPT2=Reflect", "--set", "St=-1", "--set", "mapEd=2"},
         "In: 0\nSt: -1\nEd: 1\nmapSt: 0\nmapEd: 2\nOPT1: [Linear] | Constant | Repeat | Reflect\n"
         "OPT2: Linear | Constant | Repeat | [Reflect]\n"},
        {{"panel", "QvT_LGC2", "--set", "OPT2=A <= B", "--set", "A1=3"},
         "A1: 3\nB1: 0\nOPT1: " + cmp +
             "\nA2: 0\nB2: 0\nOPT2: A == B | A != B | A > B | A < B | A >= B | [A <= B]\n"
             "OPT3: [True && True] | False && False | True && False | False && True | True || False\nTrue: 1\nFalse: "
             "0\n"},
        {{"panel", "QvMs_ANGL", "--set", "Invert=true", "--set", "Round=on"}, "X: 1\nY: 0\nInvert: 1\nRound: 1\n"},
        {{"panel", "QvMs_ANGL", "--set", "OPT2=1"}, "X: 1\nY: 0\nInvert: 0\nRound: 1\n"},
        {{"panel", "QvT_E2Mat", "--set", "Invert=on"}, "Invert: 1\n"},
        {{"panel", "QvT_VIEW"}, "ShowHex: 0\nShowDeg S: 0\nShowDeg V: 0\n"},
        {{"panel", "QvT_VIEWI", "--set", "ShowHex=1"}, "ShowHex: 1\n"},
        {{"panel", "QvT_VIEWS"}, "ShowDeg S: 0\nShowDeg V: 0\n"},
        {{"panel", "QvT_VIEWV", "--set", "ShowDeg V=1"}, "ShowDeg S: 0\nShowDeg V: 1\n"},
    };
    for (const CliCase &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(QvhostPreview, PrintsTheTextsDrawn) {
    const std::string t = " #B0B0B0 ";
    const CliCase cases[] = {
        {{"preview", "QvT_VIEWI", "Integer=-1", "Integer=255", "--set", "ShowHex=1"},
         "0,0" + t + "0xFFFFFFFF\n0,13" + t + "0x000000FF\n0,26" + t + "0x00000000\n0,39" + t + "0x00000000\n0,52" + t +
             "0x00000000\n0,65" + t + "0x00000000\n"},
        {{"preview", "QvT_VIEW", "Color=1,0.5,0", "Y=2", "--width", "200", "--height", "90"},
         "0,0" + t + "255 : 127 : 000\n0,13" + t + "0\n0,26" + t + "+0.000000\n0,39" + t + "+0.00000\n0,51" + t +
             "+2.00000\n0,63" + t + "+0.00000\n"},
        {{"preview", "QvT_VIEWS", "Scalar=3.141592653589793", "--set", "ShowDeg S=1"},
         "72,13 #20E020 *\n0,0" + t + "+180.000\n0,13" + t + "+0.00000\n0,26" + t + "+0.00000\n0,39" + t +
             "+0.00000\n0,52" + t + "+0.00000\n0,65" + t + "+0.00000\n"},
    };
    for (const CliCase &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(QvhostPreview, WritesThePng) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) /
                         ("qv_qvhost_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    const std::string png = (dir / "view.png").string();
    const CliResult r = qvhost_run({"preview", "QvT_VIEWV", "Vector=1,2,3", "--png", png});
    if (!refhost::have_cairo()) {
        EXPECT_NE(r.code, 0);
        EXPECT_NE(r.err.find("without cairo"), std::string::npos) << r.err;
        fs::remove_all(dir);
        QV_SKIP("built without cairo");
    }
    ASSERT_EQ(r.code, 0) << r.err;
    refhost::Image img;
    std::string error;
    ASSERT_TRUE(refhost::read_png(png, img, error)) << error;
    EXPECT_EQ(img.width, 128);
    EXPECT_EQ(img.height, 80);
    EXPECT_EQ(img.at(127, 79), 0xFF000000u);  // the background
    EXPECT_EQ(img.at(100, 37), 0xFF20A0F0u);  // the vector colour's line: R 0x20, G 0xA0, B 0xF0
    fs::remove_all(dir);
}

TEST(QvhostPanel, BadInputGivesOneLineAndFails) {
    const CliError cases[] = {
        {{"panel", "QvMs_NOPE"}, 1, "unknown node \"QvMs_NOPE\""},
        {{"panel", "QvMs_SIN", "--set", "Nope=1"}, 2, "no control \"Nope\""},
        {{"panel", "QvMs_SIN", "--set", "In=abc"}, 2, "control \"In\": 'abc' is not a number"},
        {{"panel", "QvMs_SIN", "--set", "In"}, 2, "'In' is not LABEL=VALUE"},
        {{"panel", "QvMs_SIN", "In=1", "--set", "In=2"}, 2, "shows no value"},
        {{"panel", "QvMs_SIN", "Out=1"}, 2, "QvMs_SIN has no input \"Out\""},
        {{"panel", "QvMs_PI", "--set", "X=1"}, 2, "QvMs_PI has no options"},
        {{"panel", "QvT_LGC1", "--set", "Ope=Sideways"}, 2, "\"Sideways\" is not one of its choices"},
        {{"panel", "QvT_LGC2", "--set", "Ope=A > B"}, 2, "label \"Ope\" names 3 controls"},
        {{"panel", "QvT_VIEWI", "--set", "ShowDeg S=1"}, 2, "is hidden"},
        {{"preview", "QvMs_SIN"}, 1, "(QvMs_SIN) draws no preview"},
        {{"preview", "QvT_VIEWV", "Vector=1", "Vector=2", "Vector=3"}, 2, "has 2 inputs named \"Vector\""},
        {{"preview", "QvT_VIEW", "--width", "0"}, 2, "--width"},
        {{"preview", "QvT_VIEW", "--set", "ShowHex=maybe"}, 2, "control \"ShowHex\": \"maybe\" is not true or false"},
        {{"preview", "QvT_VIEW", "--set", "Bogus=1"}, 2, "no control \"Bogus\""},
        // Names and choices as a file writes them, with the closest one.
        {{"panel", "QvT_MAPR", "--set", "mapend=1"},
         2,
         "no control \"mapend\" on this panel (controls: In, St, Ed, mapSt, mapEd, OPT1, OPT2); did you mean "
         "\"mapEd\"?"},
        {{"panel", "QvT_MAPR", "--set", "OPT1=Reflct"}, 2, "control \"OPT1\": \"Reflct\" is not one of its choices"},
        {{"panel", "QvT_MAPR", "--set", "OPT1=Reflct"}, 2, "; did you mean \"Reflect\"?"},
        {{"panel", "QvMs_ANGL", "--set", "Invert=yes"}, 2, "control \"Invert\": \"yes\" is not true or false"},
        {{"panel", "QvT_LGC2", "--set", "Ope=A > B"}, 2, "(OPT1, OPT2, OPT3): name one of them"},
        {{"panel", "QvT_SLPMT", "--set", "RATIO=half"}, 2, "control \"RATIO\": 'half' is not a number"},
        {{"preview", "QvT_VIEW", "--frame", "3"}, 2, "--frame: a viewer alone"},
    };
    for (const CliError &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("qvhost: ", 0), 0u) << r.err;
    }
}
