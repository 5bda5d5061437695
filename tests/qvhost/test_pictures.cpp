// What qvhost draws and writes: value images read back to the exact bytes
// and floats expected, charts and network drawings as valid PNG and SVG
// files, and every failed write leaving nothing behind.
#include "tests/fixtures/module_fixture.h"

#include "qvhost/pictures/pictures.h"
#include "refhost/draw.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

using namespace qvtest;
using qvhost::ValueImage;

namespace {

namespace fs = std::filesystem;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A directory of the test's own, removed afterwards.
class Pictures : public ::testing::Test {
protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("qv_pictures_" + std::string(info->name()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string file(const std::string &name) const { return (dir / name).string(); }
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string contents(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir;
};

ValueImage image(int width, int height, int channels, std::vector<float> values, bool is_vector = false) {
    ValueImage im;
    im.width = width;
    im.height = height;
    im.channels = channels;
    im.is_vector = is_vector;
    im.values = std::move(values);
    return im;
}

// ---- PNG ---------------------------------------------------------------------------

struct PngCase {
    const char *what;
    ValueImage image;
    double lo, hi;
    std::vector<int> rgb;  // expected, pixel by pixel
};

TEST_F(Pictures, PngHoldsEachMappingRoundedAndClamped) {
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    const PngCase cases[] = {
        // 0.5 * 255 + 0.5 = 128; 0.003 rounds up to 1; NaN and -inf black, +inf white; two rows kept in order.
        {"scalar 0..1",
         image(4, 2, 1, {0, 0.5f, 1, 0.003f, -0.25f, 2, kNaN, kInf}),
         0,
         1,
         {0, 0, 0, 128, 128, 128, 255, 255, 255, 1, 1, 1, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255}},
        {"scalar -2..2", image(3, 1, 1, {-1, 0, 1}), -2, 2, {64, 64, 64, 128, 128, 128, 191, 191, 191}},
        {"scalar, hi below lo", image(2, 1, 1, {0, 1}), 1, 0, {255, 255, 255, 0, 0, 0}},
        {"scalar, empty range", image(2, 1, 1, {1, 5}), 1, 1, {0, 0, 0, 0, 0, 0}},
        {"scalar, range not a number", image(1, 1, 1, {0.5f}), std::nan(""), 1, {0, 0, 0}},
        {"colour", image(2, 1, 3, {0, 0.5f, 1, -1, 2, kNaN}), 0, 1, {0, 128, 255, 0, 255, 0}},
        {"vector", image(2, 1, 3, {-1, 0, 1, 0.5f, -0.5f, 3}, true), 0, 1, {0, 128, 255, 191, 64, 255}},
    };
    for (const PngCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const std::string path = file("value.png");
        ASSERT_TRUE(qvhost::write_value_png(c.image, c.lo, c.hi, path, error)) << error;
        ValueImage back;
        ASSERT_TRUE(qvhost::read_png_rgb(path, back, error)) << error;
        EXPECT_EQ(back.width, c.image.width);
        EXPECT_EQ(back.height, c.image.height);
        ASSERT_EQ(back.channels, 3);
        EXPECT_EQ(std::vector<int>(back.values.begin(), back.values.end()), c.rgb);
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"value.png"});
}

// ---- OpenEXR -----------------------------------------------------------------------

TEST_F(Pictures, ExrHoldsTheValuesBitForBit) {
    if (!qvhost::have_exr()) QV_SKIP("this build has no OpenEXR");
    const float tiny = std::numeric_limits<float>::denorm_min(), huge = std::numeric_limits<float>::max();
    const ValueImage cases[] = {
        image(3, 2, 1, {0.1f, -0.0f, kNaN, kInf, -kInf, tiny}),
        image(2, 1, 3, {1e-30f, huge, -3.5f, 0.25f, kNaN, 7}, true),
    };
    for (const ValueImage &im : cases) {
        SCOPED_TRACE(im.channels);
        std::string error;
        const std::string path = file("value.exr");
        ASSERT_TRUE(qvhost::write_value_exr(im, path, error)) << error;
        ValueImage back;
        ASSERT_TRUE(qvhost::read_value_exr(path, back, error)) << error;
        EXPECT_EQ(back.width, im.width);
        EXPECT_EQ(back.height, im.height);
        ASSERT_EQ(back.channels, im.channels);
        ASSERT_EQ(back.values.size(), im.values.size());
        for (std::size_t i = 0; i < im.values.size(); ++i) EXPECT_TRUE(same_double(im.values[i], back.values[i])) << i;
    }
}

TEST_F(Pictures, ReadingWhatIsNotAnImageNamesTheFile) {
    std::ofstream(file("junk.png")) << "not an image";
    const std::string paths[] = {file("junk.png"), file("missing.exr")};
    for (const std::string &path : paths) {
        std::string error;
        ValueImage back;
        const bool read = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0
                              ? qvhost::read_png_rgb(path, back, error)
                              : qvhost::read_value_exr(path, back, error);
        EXPECT_FALSE(read);
        EXPECT_EQ(error.rfind(path + ": cannot read the image (", 0), 0u) << error;
    }
}

// ---- Every file whole or not at all ------------------------------------------------------

qvhost::Chart sample_chart() {
    qvhost::Chart chart;
    chart.title = "Sin and its square";
    chart.x_label = "x (radians)";
    chart.y_label = "value";
    qvhost::ChartSeries sine{"sin(x)", {}, {}}, square{"sin(x)^2", {}, {}};
    for (int i = 0; i <= 64; ++i) {
        const double x = i * 0.1;
        sine.x.push_back(x);
        sine.y.push_back(i == 20 ? std::nan("") : std::sin(x));  // a break in the line
        square.x.push_back(x);
        square.y.push_back(std::sin(x) * std::sin(x));
    }
    chart.series = {sine, square};
    return chart;
}

qvhost::Graph sample_graph() {
    qvhost::Graph g;
    qvhost::GraphNode ramp{
        "ramp",           "Map Range", "QvT_MAPR", {70, 110, 160}, {{"In", 2, "@u"}, {"mapEd", 2, "6.2832"}},
        {{"Out", 2, ""}}, {}};
    qvhost::GraphNode wave{"wave", "Sin", "QvMs_SIN", {220, 220, 200}, {{"In", 2, ""}}, {{"Out", 2, ""}}, {}};
    qvhost::GraphNode mix{"tint",
                          "Mix",
                          "QvC_MIX",
                          {60, 60, 60},
                          {{"A", 1, "1,0.5,0"}, {"B", 1, "0,0,1"}, {"Blend", 2, ""}},
                          {{"Color", 1, ""}},
                          {}};
    g.nodes = {ramp, wave, mix};
    g.wires = {{0, 0, 1, 0}, {1, 0, 2, 2}};
    return g;
}

// Each writer with what it writes, called with a path.
using Writer = std::function<bool(const std::string &path, std::string &error)>;
Writer png_of(ValueImage im) {
    return [im](const std::string &p, std::string &e) { return qvhost::write_value_png(im, 0, 1, p, e); };
}
Writer exr_of(ValueImage im) {
    return [im](const std::string &p, std::string &e) { return qvhost::write_value_exr(im, p, e); };
}
Writer chart_of(qvhost::Chart c) {
    return [c](const std::string &p, std::string &e) { return qvhost::write_chart(c, p, e); };
}
Writer graph_of(qvhost::Graph g) {
    return [g](const std::string &p, std::string &e) { return qvhost::write_graph(g, p, e); };
}

TEST_F(Pictures, AFailedWriteLeavesNothingAndNamesThePath) {
    fs::create_directory(dir / "taken.png");  // a directory where the file would go: the last step fails
    const std::pair<const char *, Writer> writers[] = {{"png", png_of(image(1, 1, 1, {0}))},
                                                       {"exr", exr_of(image(1, 1, 1, {0}))},
                                                       {"svg", chart_of(sample_chart())},
                                                       {"png", graph_of(sample_graph())}};
    for (const auto &[ext, write] : writers) {
        const std::string targets[] = {file("missing/picture.") + ext, file("taken.png")};
        for (const std::string &target : targets) {
            SCOPED_TRACE(target);
            std::string error;
            EXPECT_FALSE(write(target, error));
            EXPECT_EQ(error.rfind(target + ": cannot ", 0), 0u) << error;
            EXPECT_EQ(listing(), std::vector<std::string>{"taken.png"});
        }
    }
}

TEST_F(Pictures, ImpossibleRequestsAreRefused) {
    qvhost::Chart small = sample_chart(), uneven = sample_chart();
    small.width = 20;
    uneven.series[0].y.pop_back();
    qvhost::Graph miswired = sample_graph();
    miswired.wires.push_back({1, 3, 2, 0});
    const std::pair<std::string, Writer> cases[] = {
        {"a.png", png_of(image(2, 2, 1, {0}))},     // too few values
        {"a.exr", exr_of(image(1, 1, 2, {0, 0}))},  // two channels
        {"a.gif", chart_of(sample_chart())},        // neither PNG nor SVG
        {"a.png", chart_of(small)},                 // no room for the plot
        {"a.png", chart_of(uneven)},                // more x than y values
        {"a.svg", graph_of(miswired)},              // a wire from an output the node lacks
    };
    for (const auto &[name, write] : cases) {
        std::string error;
        EXPECT_FALSE(write(file(name), error)) << name;
        EXPECT_EQ(error.rfind(file(name) + ": cannot write the image (", 0), 0u) << error;
    }
    EXPECT_TRUE(listing().empty());
}

// ---- Charts and graphs ------------------------------------------------------------------

TEST_F(Pictures, ChartsAndGraphsAreValidPngAndSvg) {
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    qvhost::Chart flat, empty, many, wide = sample_chart();
    flat.series = {{"flat", {0, 1, 2}, {3, 3, 3}}};
    empty.title = "nothing finite";
    empty.series = {{"none", {0, 1}, {std::nan(""), INFINITY}}};
    for (int s = 0; s < 25; ++s) many.series.push_back({"", {0, 1e9}, {s * 1e-7, -s * 1e-7}});
    wide.width = 1600;
    wide.height = 300;
    qvhost::Graph cycle = sample_graph(), nothing;
    cycle.wires.push_back({2, 0, 0, 0});  // the editor allows none; drawn all the same

    const struct {
        const char *what;
        Writer write;
        int min_width, min_height;
    } cases[] = {
        {"chart", chart_of(sample_chart()), 800, 480},
        {"flat chart", chart_of(flat), 800, 480},
        {"empty chart", chart_of(empty), 800, 480},
        {"many series", chart_of(many), 800, 480},
        {"wide chart", chart_of(wide), 1600, 300},
        // Three columns of nodes at least 130 pixels wide; the Mix node alone is 134 pixels high.
        {"graph", graph_of(sample_graph()), 390, 160},
        {"cycle", graph_of(cycle), 390, 160},
        {"no nodes", graph_of(nothing), 100, 50},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        ASSERT_TRUE(c.write(file("a.png"), error)) << error;
        ValueImage back;
        ASSERT_TRUE(qvhost::read_png_rgb(file("a.png"), back, error)) << error;
        EXPECT_GE(back.width, c.min_width);
        EXPECT_GE(back.height, c.min_height);
        EXPECT_LE(back.width, 4 * c.min_width);
        // Something is drawn: not every pixel is the first one's colour.
        bool varied = false;
        for (std::size_t i = 3; i < back.values.size() && !varied; ++i) varied = back.values[i] != back.values[i % 3];
        EXPECT_TRUE(varied);

        ASSERT_TRUE(c.write(file("A.SVG"), error)) << error;
        const std::string svg = contents(file("A.SVG"));
        EXPECT_TRUE(svg.rfind("<?xml", 0) == 0 || svg.rfind("<svg", 0) == 0) << svg.substr(0, 40);
        EXPECT_NE(svg.find("</svg>"), std::string::npos);
    }
    EXPECT_EQ(listing(), (std::vector<std::string>{"A.SVG", "a.png"}));
}

}  // namespace
