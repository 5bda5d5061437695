// Node previews: the drawing service's recording, its images, and the four
// viewers drawing their inputs, compared call by call and against golden
// images (tests/fixtures/golden; QV_UPDATE_GOLDEN=1 writes them afresh).
#include "tests/fixtures/module_fixture.h"

#include "qvhost/pictures/pictures.h"
#include "refhost/draw.h"
#include "refhost/panel/xpanel.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

using namespace qvtest;

namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.141592653589793;
constexpr int kWidth = 128, kHeight = 80;

// The viewers' colour words.
constexpr uint32_t kBackground = 0x1000000, kText = 0x1B0B0B0, kScalar = 0x12020E0, kVector = 0x120F0A0,
                   kColourRow = 0x1F02020, kIntegerRow = 0x1F0F060;

// A colour word as printed: #RRGGBB, the word holding R, B, G from the high
// byte down.
std::string hex(uint32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", (c >> 16) & 0xFF, c & 0xFF, (c >> 8) & 0xFF);
    return buf;
}
std::string box() {
    return "box 0,0 " + std::to_string(kWidth) + "x" + std::to_string(kHeight) + " " + hex(kBackground);
}
std::string text(int y, const std::string &s) { return "text 0," + std::to_string(y) + " " + hex(kText) + " " + s; }
std::string star(int y, uint32_t c) { return "text 72," + std::to_string(y) + " " + hex(c) + " *"; }
std::string line(int y, uint32_t c) {
    return "line 0," + std::to_string(y) + " " + std::to_string(kWidth) + "," + std::to_string(y) + " " + hex(c);
}

fs::path golden_dir() { return source_dir() / "tests" / "fixtures" / "golden"; }

bool updating_golden() {
    const char *v = std::getenv("QV_UPDATE_GOLDEN");
    return v != nullptr && std::string(v) == "1";
}

// Pixels whose channels differ by more than `tolerance` in any channel.
int differing_pixels(const refhost::Image &a, const refhost::Image &b, int tolerance) {
    int n = 0;
    for (std::size_t k = 0; k < a.pixels.size(); ++k) {
        for (int shift = 0; shift < 32; shift += 8) {
            const int ca = static_cast<int>((a.pixels[k] >> shift) & 0xff);
            const int cb = static_cast<int>((b.pixels[k] >> shift) & 0xff);
            if (std::abs(ca - cb) > tolerance) {
                ++n;
                break;
            }
        }
    }
    return n;
}

// ---- The drawing service and its images -------------------------------------

refhost::DrawCall call(refhost::DrawCall::Kind kind, uint32_t colour, int x, int y, int x2 = 0, int y2 = 0,
                       const std::string &s = "") {
    refhost::DrawCall c;
    c.kind = kind;
    c.colour = colour;
    c.x = x;
    c.y = y;
    c.x2 = x2;
    c.y2 = y2;
    c.text = s;
    return c;
}

refhost::Preview hand_made() {
    using K = refhost::DrawCall::Kind;
    refhost::Preview p;
    p.width = 40;
    p.height = 30;
    p.calls = {
        call(K::box, QV_DRAW_COLOUR(0xFF, 0, 0), 0, 0, 40, 30),
        call(K::line, QV_DRAW_COLOUR(0, 0xFF, 0), 0, 5, 39, 5),
        call(K::line, 0xFF00FF00, 20, 0, 20, 3),  // blue; the top byte is ignored
        call(K::box, QV_DRAW_COLOUR(0x10, 0x20, 0x30), 30, 20, 5, 4),
        call(K::text, QV_DRAW_COLOUR(0xFF, 0xFF, 0xFF), 0, 10, 0, 0, "M8"),
    };
    return p;
}

TEST(DrawService, OperationsSitAtTheirPositions) {
    const QvNodeDrawFuncs &f = refhost::draw_funcs();
    EXPECT_NE(f.draw_line, nullptr);
    EXPECT_NE(f.draw_box, nullptr);
    EXPECT_NE(f.draw_text, nullptr);
    EXPECT_EQ(f.word1, nullptr);
    EXPECT_EQ(f.word5, nullptr);
}

TEST(DrawService, CallsOutsideAPreviewAreStray) {
    const int before = refhost::stray_draw_calls();
    int node = 0;
    refhost::draw_funcs().draw_text(&node, "x", kText, 0, 0);
    EXPECT_EQ(refhost::stray_draw_calls(), before + 1);
}

TEST(DrawService, CallsDescribeThemselves) {
    const refhost::Preview p = hand_made();
    EXPECT_EQ(p.calls[0].describe(), "box 0,0 40x30 #FF0000");
    EXPECT_EQ(p.calls[1].describe(), "line 0,5 39,5 #00FF00");
    EXPECT_EQ(p.calls[4].describe(), "text 0,10 #FFFFFF M8");
    EXPECT_EQ(p.texts(), (std::vector<std::string>{"0,10 #FFFFFF M8"}));
}

// The application packs a colour word as R, B, G from the high byte down.
TEST(DrawService, ColourWordsDecodeAsTheApplicationDoes) {
    const struct {
        uint32_t word;
        uint8_t r, g, b;
    } cases[] = {
        {kBackground, 0x00, 0x00, 0x00}, {kText, 0xB0, 0xB0, 0xB0},      {kScalar, 0x20, 0xE0, 0x20},
        {kVector, 0x20, 0xA0, 0xF0},     {kColourRow, 0xF0, 0x20, 0x20}, {kIntegerRow, 0xF0, 0x60, 0xF0},
    };
    for (const auto &c : cases) {
        const refhost::Rgb rgb = refhost::decode_colour(c.word);
        EXPECT_EQ(rgb.r, c.r) << std::hex << c.word;
        EXPECT_EQ(rgb.g, c.g) << std::hex << c.word;
        EXPECT_EQ(rgb.b, c.b) << std::hex << c.word;
        EXPECT_EQ(QV_DRAW_COLOUR(c.r, c.g, c.b), c.word);
    }
    EXPECT_EQ(refhost::colour_text(kScalar), "#20E020");
}

TEST(DrawService, ImagesShowBoxesLinesAndTexts) {
    if (!refhost::have_cairo()) QV_SKIP("built without cairo");
    refhost::Image img;
    std::string error;
    ASSERT_TRUE(refhost::draw_preview(hand_made(), img, error)) << error;
    ASSERT_EQ(img.width, 40);
    ASSERT_EQ(img.height, 30);
    EXPECT_EQ(img.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(img.at(39, 29), 0xFFFF0000u);
    for (int x = 0; x < 40; ++x) {
        EXPECT_EQ(img.at(x, 5), 0xFF00FF00u) << x;  // one pixel wide, both ends drawn
        EXPECT_EQ(img.at(x, 4), 0xFFFF0000u) << x;
        if (x != 20) {
            EXPECT_EQ(img.at(x, 6), 0xFFFF0000u) << x;
        }
    }
    for (int y = 0; y <= 3; ++y) EXPECT_EQ(img.at(20, y), 0xFF0000FFu) << y;
    EXPECT_EQ(img.at(19, 2), 0xFFFF0000u);
    EXPECT_EQ(img.at(30, 20), 0xFF102030u);
    EXPECT_EQ(img.at(34, 23), 0xFF102030u);
    EXPECT_EQ(img.at(35, 23), 0xFFFF0000u);
    EXPECT_EQ(img.at(34, 24), 0xFFFF0000u);
    // The text sits in its 13-pixel row below y = 10, at the left.
    int lit = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t px = img.at(x, y);
            if ((px & 0xff) > 0x60 && ((px >> 8) & 0xff) > 0x60 && !(x == 20 && y <= 3)) {
                ++lit;
                EXPECT_GE(y, 10) << x;
                EXPECT_LT(y, 23) << x;
                EXPECT_LT(x, 20) << y;
            }
        }
    EXPECT_GT(lit, 10);
}

TEST(DrawService, PngWrittenWholeAndReadBack) {
    const fs::path dir = fs::path(::testing::TempDir()) /
                         ("qv_preview_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    const std::string path = (dir / "p.png").string();
    std::string error;
    if (!refhost::have_cairo()) {
        EXPECT_FALSE(qvhost::write_preview(hand_made(), path, error));
        EXPECT_NE(error.find("without cairo"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(path));
        fs::remove_all(dir);
        QV_SKIP("built without cairo");
    }
    ASSERT_TRUE(qvhost::write_preview(hand_made(), path, error)) << error;
    refhost::Image drawn, read;
    ASSERT_TRUE(refhost::draw_preview(hand_made(), drawn, error)) << error;
    ASSERT_TRUE(refhost::read_png(path, read, error)) << error;
    EXPECT_EQ(read.width, drawn.width);
    EXPECT_EQ(read.height, drawn.height);
    EXPECT_EQ(read.pixels, drawn.pixels);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temporary left

    const std::string bad = (dir / "missing" / "p.png").string();
    EXPECT_FALSE(qvhost::write_preview(hand_made(), bad, error));
    EXPECT_EQ(error.rfind(bad + ": ", 0), 0u) << error;
    EXPECT_FALSE(refhost::read_png(bad, read, error));
    EXPECT_EQ(error.rfind(bad + ": ", 0), 0u) << error;
    fs::remove_all(dir);
}

// ---- The viewers ----------------------------------------------------------------

class PreviewTest : public NetworkTest {
protected:
    refhost::HostNode *viewer(const std::string &server) { return make(server); }

    void feed_slot(refhost::HostNode *n, std::size_t slot, const refhost::Value &v) {
        std::string error;
        EXPECT_NE(net->feed_input(n->id, slot, v, error), nullptr) << error;
    }

    void set_option(refhost::HostNode *n, const std::string &label, const std::string &value) {
        std::string error;
        const refhost::Network::PanelOpening o = net->open_panel(n->id, error);
        ASSERT_EQ(o.code, QV_AFUNC_OK) << error;
        refhost::Panel *p = refhost::panel_of(o.panel);
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(p->edit(label, value, error)) << error;
    }

    refhost::Preview draw(refhost::HostNode *n) {
        net->render_init();
        return refhost::render_preview(*net, n->id, kWidth, kHeight);
    }
};

using Feed = std::pair<std::size_t, refhost::Value>;
using Option = std::pair<std::string, std::string>;

refhost::Value S(double v) { return refhost::Value::scalar(v); }
refhost::Value I(int32_t v) { return refhost::Value::integer(v); }
refhost::Value V(double x, double y, double z) { return refhost::Value::triple(QV_TYPE_VECTOR, x, y, z); }
refhost::Value C(double r, double g, double b) { return refhost::Value::triple(QV_TYPE_COLOR, r, g, b); }

struct PreviewCase {
    const char *name;
    const char *server;
    std::vector<Feed> feeds;
    std::vector<Option> options;
    std::vector<std::string> calls;  // after the background fill
    const char *golden;              // file in tests/fixtures/golden, or null
};

std::vector<PreviewCase> preview_cases() {
    const std::string z5 = "+0.00000";
    return {
        {"mixed, nothing connected",
         "QvT_VIEW",
         {},
         {},
         {text(0, "000 : 000 : 000"), text(13, "0"), text(26, "+0.000000"), text(39, z5), text(51, z5), text(63, z5),
          line(11, kColourRow), line(24, kIntegerRow), line(37, kScalar), line(74, kVector)},
         nullptr},
        {"mixed, nothing connected, hexadecimal",
         "QvT_VIEW",
         {},
         {{"ShowHex", "1"}},
         {text(0, "000 : 000 : 000"), text(13, "0x00000000"), text(26, "+0.000000"), text(39, z5), text(51, z5),
          text(63, z5), line(11, kColourRow), line(24, kIntegerRow), line(37, kScalar), line(74, kVector)},
         nullptr},
        {"mixed, values",
         "QvT_VIEW",
         {{0, C(1.0, 0.5, 0.0)}, {1, I(-1)}, {2, S(kPi)}, {5, S(2.0)}},
         {},
         {text(0, "255 : 127 : 000"), text(13, "-1"), text(26, "+3.14159"), text(39, z5), text(51, "+2.00000"),
          text(63, z5), line(11, kColourRow), line(24, kIntegerRow), line(37, kScalar), line(74, kVector)},
         nullptr},
        {"mixed, degrees and hexadecimal",
         "QvT_VIEW",
         {{0, C(0.2, 0.4, 1.0)}, {1, I(-1)}, {2, S(kPi)}, {3, V(1, 2, 3)}, {4, S(5.0)}},
         {{"ShowHex", "1"}, {"ShowDeg S", "1"}, {"ShowDeg V", "1"}},
         {text(0, "051 : 102 : 255"), text(13, "0xFFFFFFFF"), text(26, "+180.000"), text(39, "+286.479"),
          text(51, "+114.592"), text(63, "+171.887"), star(26, kScalar), star(51, kVector), line(11, kColourRow),
          line(24, kIntegerRow), line(37, kScalar), line(74, kVector)},
         "preview_view.png"},
        {"integer, nothing connected",
         "QvT_VIEWI",
         {},
         {},
         {line(37, kIntegerRow), text(0, "0"), text(13, "0"), text(26, "0"), text(39, "0"), text(52, "0"),
          text(65, "0")},
         nullptr},
        {"integer, nothing connected, hexadecimal",
         "QvT_VIEWI",
         {},
         {{"ShowHex", "1"}},
         {line(37, kIntegerRow), text(0, "0x00000000"), text(13, "0x00000000"), text(26, "0x00000000"),
          text(39, "0x00000000"), text(52, "0x00000000"), text(65, "0x00000000")},
         nullptr},
        {"integer, values",
         "QvT_VIEWI",
         {{0, I(0)}, {1, I(1)}, {2, I(-1)}, {3, I(255)}, {4, I(INT32_MAX)}, {5, I(INT32_MIN)}},
         {},
         {line(37, kIntegerRow), text(0, "0"), text(13, "1"), text(26, "-1"), text(39, "255"), text(52, "2147483647"),
          text(65, "-2147483648")},
         nullptr},
        {"integer, values, hexadecimal",
         "QvT_VIEWI",
         {{0, I(0)}, {1, I(1)}, {2, I(-1)}, {3, I(255)}, {4, I(INT32_MAX)}, {5, I(INT32_MIN)}},
         {{"ShowHex", "on"}},
         {line(37, kIntegerRow), text(0, "0x00000000"), text(13, "0x00000001"), text(26, "0xFFFFFFFF"),
          text(39, "0x000000FF"), text(52, "0x7FFFFFFF"), text(65, "0x80000000")},
         "preview_viewi.png"},
        {"scalar, nothing connected",
         "QvT_VIEWS",
         {},
         {},
         {text(0, z5), text(13, z5), text(26, z5), text(39, z5), text(52, z5), text(65, z5), line(37, kScalar)},
         nullptr},
        {"scalar, second row follows the vector-degree flag",
         "QvT_VIEWS",
         {{0, S(kPi)}, {3, S(kPi)}},
         {{"ShowDeg S", "1"}},
         {star(13, kScalar), text(0, "+180.000"), text(13, z5), text(26, z5), text(39, "+3.14159"), text(52, z5),
          text(65, z5), line(37, kScalar)},
         nullptr},
        {"scalar, values",
         "QvT_VIEWS",
         {{0, S(1.5)}, {1, S(-2.0)}, {3, S(kPi)}, {4, S(-0.001)}, {5, S(1e6)}},
         {{"ShowDeg V", "1"}},
         {star(52, kScalar), text(0, "+1.50000"), text(13, "-2.00000"), text(26, z5), text(39, "+180.000"),
          text(52, "-0.0572958"), text(65, "+5.72958e+07"), line(37, kScalar)},
         "preview_views.png"},
        {"vector, nothing connected",
         "QvT_VIEWV",
         {},
         {},
         {text(0, z5), text(13, z5), text(26, z5), text(39, z5), text(52, z5), text(65, z5), line(37, kVector)},
         nullptr},
        {"vector, values",
         "QvT_VIEWV",
         {{0, V(1, 2, 3)}, {1, V(kPi, -kPi / 2, 0)}},
         {{"ShowDeg V", "1"}},
         {star(52, kVector), text(0, "+1.00000"), text(13, "+2.00000"), text(26, "+3.00000"), text(39, "+180.000"),
          text(52, "-90.0000"), text(65, z5), line(37, kVector)},
         "preview_viewv.png"},
    };
}

TEST_F(PreviewTest, ViewersDrawTheirInputs) {
    for (const PreviewCase &c : preview_cases()) {
        SCOPED_TRACE(c.name);
        net = std::make_unique<refhost::Network>(shared_module());
        refhost::HostNode *n = viewer(c.server);
        ASSERT_NE(n, nullptr);
        for (const Feed &f : c.feeds) feed_slot(n, f.first, f.second);
        for (const Option &o : c.options) set_option(n, o.first, o.second);
        const refhost::Preview p = draw(n);
        ASSERT_TRUE(p.ok()) << p.error;
        EXPECT_EQ(p.stray_calls, 0);
        ASSERT_FALSE(p.calls.empty());
        // Every preview starts with the background; the viewers may fill it
        // again, which changes nothing.
        EXPECT_EQ(p.calls.front().describe(), box());
        std::vector<std::string> drawn;
        for (const refhost::DrawCall &d : p.calls)
            if (d.describe() != box()) drawn.push_back(d.describe());
        EXPECT_EQ(drawn, c.calls);
    }
}

TEST_F(PreviewTest, ViewersMatchTheirGoldenImages) {
    if (!refhost::have_cairo()) QV_SKIP("built without cairo");
    const bool update = updating_golden();
    for (const PreviewCase &c : preview_cases()) {
        if (c.golden == nullptr) continue;
        SCOPED_TRACE(c.golden);
        net = std::make_unique<refhost::Network>(shared_module());
        refhost::HostNode *n = viewer(c.server);
        ASSERT_NE(n, nullptr);
        for (const Feed &f : c.feeds) feed_slot(n, f.first, f.second);
        for (const Option &o : c.options) set_option(n, o.first, o.second);
        const refhost::Preview p = draw(n);
        ASSERT_TRUE(p.ok()) << p.error;
        const fs::path golden = golden_dir() / c.golden;
        std::string error;
        if (update) {
            fs::create_directories(golden.parent_path());
            ASSERT_TRUE(qvhost::write_preview(p, golden.string(), error)) << error;
            std::printf("wrote %s\n", golden.string().c_str());
            continue;
        }
        refhost::Image expected, actual;
        ASSERT_TRUE(refhost::read_png(golden.string(), expected, error))
            << error << " (QV_UPDATE_GOLDEN=1 writes the golden images)";
        ASSERT_TRUE(refhost::draw_preview(p, actual, error)) << error;
        ASSERT_EQ(actual.width, expected.width);
        ASSERT_EQ(actual.height, expected.height);
        // Font rendering differs a little between machines: each channel may
        // be off by 40, and 1% of the pixels by more.
        const int off = differing_pixels(expected, actual, 40);
        EXPECT_LE(off, kWidth * kHeight / 100) << off << " pixels differ";
    }
}

TEST_F(PreviewTest, OptionChangesReachTheApplication) {
    refhost::HostNode *n = viewer("QvT_VIEW");
    ASSERT_NE(n, nullptr);
    refhost::Application::get().clear_instance_updates();
    set_option(n, "ShowDeg V", "1");
    ASSERT_EQ(refhost::Application::get().instance_updates().size(), 1u);
    EXPECT_EQ(refhost::Application::get().instance_updates()[0].server_class, "NodeHandler");
    EXPECT_EQ(refhost::Application::get().instance_updates()[0].instance, n->instance);
}

TEST_F(PreviewTest, NodesWithoutAPreviewAndBadSizesAreRefused) {
    refhost::HostNode *sin = make("QvMs_SIN");
    ASSERT_NE(sin, nullptr);
    refhost::Preview p = refhost::render_preview(*net, sin->id, kWidth, kHeight);
    EXPECT_EQ(p.error, "node " + std::to_string(sin->id) + " (QvMs_SIN) draws no preview");
    p = refhost::render_preview(*net, 999, kWidth, kHeight);
    EXPECT_EQ(p.error, "no node 999");
    refhost::HostNode *v = viewer("QvT_VIEWS");
    ASSERT_NE(v, nullptr);
    p = refhost::render_preview(*net, v->id, 0, kHeight);
    EXPECT_EQ(p.error, "preview size 0x80 is not positive");
    EXPECT_TRUE(p.calls.empty());
}

}  // namespace
