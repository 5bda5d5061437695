// The reference's pictures: a plot of each function and measure node over a
// useful range, map range in its four modes, the noisy channel at three
// speeds, each viewer's preview, and small renders and plots of the example
// networks.  Each picture is drawn from a network built from TOML text, as
// a user would write it, through the loaded module.
#include "qvhost/reference/reference.h"

#include "refhost/draw.h"
#include "refhost/services.h"
#include "refhost/network/render.h"
#include "qvhost/example_networks.h"
#include "qvhost/network_toml.h"
#include "qvhost/pictures/pictures.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace qvhost {

// The renderer's names, as this file uses them.
using refhost::frame_time;
using refhost::render_grid;
using refhost::RenderControl;
using refhost::start_frame;

namespace {

// ---- What is drawn ----------------------------------------------------------------

// A plot of a node's outputs while one value sweeps a range.  The network is
// the node section of a TOML network: the swept value is the output "x.Out"
// (a map range node fed u from 0 to 1), or, for plots over frames, the scene
// time does the sweeping.  `series` names the outputs drawn,
// "NODE.OUTPUT=legend" separated by ";".  Null `nodes` and `series` stand for
// the node alone with its "In" swept: f = { server = SERVER, In = "x.Out" }.
struct PlotRow {
    const char *server;
    const char *x_label;  // what the x axis shows: a word or two
    double lo, hi;        // the range swept; frames for plots over frames
    const char *range;    // the range as the caption says it; null: the numbers
    const char *about;    // the rest of the caption ("with Y = 1"); null for none
    const char *nodes;
    const char *series;
};

constexpr int kPlotFps = 24;  // frames per second of the plots over frames

// The plots, a row per node drawn.  Every node of the function groups
// (Func_T, Func_C, Scalar) has one, and a test names any that lacks it;
// the range of each is chosen by hand to show its edges
// (docs/adding-a-node.md).
// clang-format off
const PlotRow kPlotRows[] = {
    // QvTool/Math/Func_T
    {"QvMs_ACOS", "In", -1.5, 1.5, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_ASIN", "In", -1.5, 1.5, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_ATAN", "In", -6, 6, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_ATAN2", "X", -3, 3, nullptr, "with Y at 1, 0.25 and 0",
     "a = { server = \"QvMs_ATAN2\", X = \"x.Out\", Y = 1 }\nb = { server = \"QvMs_ATAN2\", X = \"x.Out\", Y = 0.25 }\nc = { server = \"QvMs_ATAN2\", X = \"x.Out\", Y = 0 }",
     "a.Out=Y 1;b.Out=Y 0.25;c.Out=Y 0"},
    {"QvMs_COS", "In (radians)", -6.283185307179586, 6.283185307179586, "−2π to 2π", nullptr, nullptr, nullptr},
    {"QvMs_SIN", "In (radians)", -6.283185307179586, 6.283185307179586, "−2π to 2π", nullptr, nullptr, nullptr},
    {"QvMs_TAN", "In (radians)", -1.5, 1.5, nullptr, nullptr, nullptr, nullptr},
    // QvTool/Math/Func_C
    {"QvMs_ABS", "In", -2, 2, nullptr, "in both modes",
     "plus = { server = \"QvMs_ABS\", In = \"x.Out\" }\nminus = { server = \"QvMs_ABS\", In = \"x.Out\", panel = { OPT1 = \"Abs -\" } }",
     "plus.Out=Abs +;minus.Out=Abs -"},
    {"QvMs_ERF", "In", -3, 3, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_EXP", "In", -3, 2, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_LOG", "In", -0.5, 4, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_LOG2", "In", -0.5, 8, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_LOG0", "In", -0.5, 10, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_POW", "In", -1, 1.5, nullptr, "with Pow at 0.5, 2 and 3",
     "half = { server = \"QvMs_POW\", In = \"x.Out\", Pow = 0.5 }\nsquare = { server = \"QvMs_POW\", In = \"x.Out\", Pow = 2 }\ncube = { server = \"QvMs_POW\", In = \"x.Out\", Pow = 3 }",
     "half.Out=Pow 0.5;square.Out=Pow 2;cube.Out=Pow 3"},
    {"QvMs_ROND", "In", -3, 3, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_SQRT", "In", -1, 4, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_TRNC", "In", -3, 3, nullptr, nullptr, nullptr, nullptr},
    // QvTool/Math/Scalar
    {"QvMs_ANGL", "t", 0, 6.283185307179586, "0 to 2π", "for the direction (X, Y) = (cos t, sin t), with the options off and with each on",
     "cx = { server = \"QvMs_COS\", In = \"x.Out\" }\nsy = { server = \"QvMs_SIN\", In = \"x.Out\" }\nplain = { server = \"QvMs_ANGL\", X = \"cx.Out\", Y = \"sy.Out\" }\nround = { server = \"QvMs_ANGL\", X = \"cx.Out\", Y = \"sy.Out\", panel = { Round = true } }\ninvert = { server = \"QvMs_ANGL\", X = \"cx.Out\", Y = \"sy.Out\", panel = { Invert = true } }",
     "plain.Out=options off;round.Out=Round;invert.Out=Invert"},
    {"QvMs_ANGL2", "t", 0, 6.283185307179586, "0 to 2π", "for A = (1, 0) and B = (cos t, sin t), with the options off and with Round on",
     "cx = { server = \"QvMs_COS\", In = \"x.Out\" }\nsy = { server = \"QvMs_SIN\", In = \"x.Out\" }\nplain = { server = \"QvMs_ANGL2\", Bx = \"cx.Out\", By = \"sy.Out\" }\nround = { server = \"QvMs_ANGL2\", Bx = \"cx.Out\", By = \"sy.Out\", panel = { Round = true } }",
     "plain.Out=options off;round.Out=Round"},
    {"QvMs_CLMP", "In", -0.5, 1.5, nullptr, "with Min 0 and Max 1, as on a new node, and with Min 0.25 and Max 0.75",
     "unit = { server = \"QvMs_CLMP\", In = \"x.Out\" }\nband = { server = \"QvMs_CLMP\", In = \"x.Out\", Min = 0.25, Max = 0.75 }",
     "unit.Out=Min 0, Max 1;band.Out=Min 0.25, Max 0.75"},
    {"QvMs_DEG", "In (radians)", -3.141592653589793, 3.141592653589793, "−π to π", nullptr, nullptr, nullptr},
    {"QvMs_DIST", "Ax", -3, 3, nullptr, "with Ay = 1 and B = (0, 0)",
     "f = { server = \"QvMs_DIST\", Ax = \"x.Out\", Ay = 1, Bx = 0, By = 0 }", "f.Out"},
    {"QvMs_DOT", "Ax", -3, 3, nullptr, "with Ay = 1 and B = (1, 0), Normalize off and on",
     "plain = { server = \"QvMs_DOT\", Ax = \"x.Out\", Ay = 1, Bx = 1, By = 0 }\nunit = { server = \"QvMs_DOT\", Ax = \"x.Out\", Ay = 1, Bx = 1, By = 0, panel = { Normalize = true } }",
     "plain.Out=Normalize off;unit.Out=Normalize on"},
    {"QvMs_LEN", "X", -3, 3, nullptr, "with Y = 1", "f = { server = \"QvMs_LEN\", X = \"x.Out\", Y = 1 }", "f.Out"},
    {"QvMs_NORM", "X", -3, 3, nullptr, "with Y = 1", "f = { server = \"QvMs_NORM\", X = \"x.Out\", Y = 1 }", "f.X=X;f.Y=Y"},
    {"QvMs_RAD", "In (degrees)", -180, 180, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_SIGN", "In", -2, 2, nullptr, nullptr, nullptr, nullptr},
    {"QvMs_CSGN", "Sign", -2, 2, nullptr, "with In = 2", "f = { server = \"QvMs_CSGN\", In = 2, Sign = \"x.Out\" }", "f.Out"},
    // QvTool/Tool/Conv and QvTool/Tool
    {"QvT_G2P", "In", -0.25, 1.25, nullptr, nullptr, nullptr, nullptr},
    {"QvT_MAPR", "In", -1, 2, nullptr, "mapped from St 0 to Ed 1 onto mapSt 0.25 to mapEd 0.75, both ends in each mode",
     "linear = { server = \"QvT_MAPR\", In = \"x.Out\", mapSt = 0.25, mapEd = 0.75, panel = { OPT1 = \"Linear\", OPT2 = \"Linear\" } }\nconstant = { server = \"QvT_MAPR\", In = \"x.Out\", mapSt = 0.25, mapEd = 0.75, panel = { OPT1 = \"Constant\", OPT2 = \"Constant\" } }\nrepeat = { server = \"QvT_MAPR\", In = \"x.Out\", mapSt = 0.25, mapEd = 0.75, panel = { OPT1 = \"Repeat\", OPT2 = \"Repeat\" } }\nreflect = { server = \"QvT_MAPR\", In = \"x.Out\", mapSt = 0.25, mapEd = 0.75, panel = { OPT1 = \"Reflect\", OPT2 = \"Reflect\" } }",
     "linear.Out=Linear;constant.Out=Constant;repeat.Out=Repeat;reflect.Out=Reflect"},
    {"QvT_NOIS", "frame", 0, 95, nullptr, "at three speeds, the other options as on a new node",
     "slow = { server = \"QvT_NOIS\", panel = { Speed = 0.05 } }\nmedium = { server = \"QvT_NOIS\", panel = { Speed = 0.15, Phase = 3 } }\nfast = { server = \"QvT_NOIS\", panel = { Speed = 0.5, Phase = 7 } }",
     "slow.Out=Speed 0.05;medium.Out=Speed 0.15;fast.Out=Speed 0.5"},
};
// clang-format on

// A viewer's preview, fed constants ("INPUT = VALUE" as in a TOML network;
// the k-th of several inputs sharing a name is "Name#k").
struct PreviewRow {
    const char *server;
    const char *inputs;
};

// clang-format off
const PreviewRow kPreviewRows[] = {
    {"QvT_VIEW",  "Color = [1, 0.5, 0], Integer = 42, Scalar = 3.141592653589793, Vector = [0.25, -1, 2]"},
    {"QvT_VIEWI", "\"Integer#1\" = 42, \"Integer#2\" = -1, \"Integer#3\" = 255, \"Integer#4\" = 0, \"Integer#5\" = 7, \"Integer#6\" = 100000"},
    {"QvT_VIEWS", "\"Scalar#1\" = 0.5, \"Scalar#2\" = -1.25, \"Scalar#3\" = 3.141592653589793, \"Scalar#4\" = 1, \"Scalar#5\" = 2, \"Scalar#6\" = 1e-6"},
    {"QvT_VIEWV", "\"Vector#1\" = [1, 0, 0], \"Vector#2\" = [0.25, 0.5, -0.75]"},
};
// clang-format on

// A picture of an example network at the top of a group's page: a render of
// one output over u and v, or a plot of outputs over frames.
struct ExampleRow {
    const char *group;
    const char *file;     // in examples/
    const char *outputs;  // a render: one "NODE.OUTPUT"; a plot: several, separated by ";"
    int first, last;      // the frame of a render; the frames of a plot
    const char *caption;
};

constexpr int kRenderSide = 96;  // pixels

// clang-format off
const ExampleRow kExampleRows[] = {
    {"QvTool/Math/Vector", "vectors.qvn.toml", "normal.out1", 0, 0, "the direction from a point behind the middle of the picture to each sample, scaled to length 1 (x, y and z from −1 to 1 as red, green and blue)"},
    {"QvTool/Math/Matrix", "rotation.qvn.toml", "turned.Out", 12, 12, "a vector tilted by u and v, turned by the rotation matrix of Euler angles that change with time (x, y and z from −1 to 1 as red, green and blue)"},
    {"QvTool/Tool/Logic", "texture.qvn.toml", "out.out1", 0, 0, "a ramp across the picture mapped with a different map range mode in each quarter, the quarter chosen by comparisons and a switch"},
    {"QvTool/Tool/Logic", "logic.qvn.toml", "square.Out;both.Out", 0, 90, "a comparison of a sine with 0 as a square wave, and two comparisons combined"},
};
// clang-format on

// ---- Drawing ----------------------------------------------------------------------

std::string lower(const std::string &s) {
    std::string out = s;
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string number(double d) { return refhost::format_value(refhost::Value::scalar(d)); }

// A number as a caption writes it, with a minus sign rather than a hyphen.
std::string caption_number(double d) {
    const std::string text = number(d);
    return text[0] == '-' ? "\u2212" + text.substr(1) : text;
}

std::vector<std::string> split(const std::string &text, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

bool build_network(const std::shared_ptr<refhost::Module> &module, const std::string &text, const std::string &source,
                   NetworkFile &file, std::string &error) {
    std::vector<std::string> problems;
    if (read_network_toml(text, source, module, file, problems)) return true;
    error = problems.empty() ? source + ": the network was not built" : problems.front();
    return false;
}

struct Series {
    OutputRef output;
    std::string legend;
};

bool resolve_series(const NetworkFile &file, const std::string &outputs, std::vector<Series> &out, std::string &error) {
    for (const std::string &item : split(outputs, ';')) {
        const std::size_t eq = item.find('=');
        Series s;
        if (!resolve_output(file, item.substr(0, eq), s.output, error)) return false;
        s.legend = eq == std::string::npos ? s.output.text : item.substr(eq + 1);
        out.push_back(s);
    }
    return true;
}

// What the y axis shows: the outputs' name when they share one.
std::string y_label_of(const std::vector<Series> &series) {
    const std::string first = series.front().output.output->name;
    for (const Series &s : series)
        if (s.output.output->name != first) return "value";
    return first;
}

Chart chart_for(const std::vector<Series> &series, const std::string &x_label) {
    Chart chart;
    chart.x_label = x_label;
    chart.y_label = y_label_of(series);
    chart.legend = series.size() > 1;
    chart.width = chart.legend ? 420 : 320;
    chart.height = 190;
    for (const Series &s : series) chart.series.push_back({s.legend, {}, {}});
    return chart;
}

// Evaluates every series at one sample into the chart, at x.
void sample_series(const std::vector<Series> &series, double x, refhost::HostSample sample, Chart &chart) {
    for (std::size_t k = 0; k < series.size(); ++k) {
        refhost::Value v;
        refhost::evaluate_output(*series[k].output.output, &sample.access, v);
        chart.series[k].x.push_back(x);
        chart.series[k].y.push_back(v.type == 0 ? std::nan("") : v.as_scalar());
    }
}

// Frames first to last at kPlotFps, each sampled once in the middle.
void sample_frames(refhost::Network &net, const std::vector<Series> &series, int first, int last, Chart &chart) {
    net.render_init();
    for (int f = first; f <= last; ++f) {
        start_frame(net, f, kPlotFps);
        sample_series(series, f, refhost::HostSample::at(0.5, 0.5, 0.5, 0.5, frame_time(f, kPlotFps), f), chart);
    }
    net.render_cleanup();
}

bool draw_plot(const PlotRow &row, const std::shared_ptr<refhost::Module> &module, const std::string &path,
               std::string &error) {
    const bool over_frames = std::string(row.x_label) == "frame";
    std::string text = "[node]\n";
    if (!over_frames)
        text += "x = { server = \"QvT_MAPR\", In = \"@u\", mapSt = " + number(row.lo) + ", mapEd = " + number(row.hi) +
                " }\n";
    text += row.nodes != nullptr ? std::string(row.nodes) + "\n"
                                 : "f = { server = \"" + std::string(row.server) + "\", In = \"x.Out\" }\n";
    NetworkFile file;
    if (!build_network(module, text, row.server + std::string(" plot"), file, error)) return false;
    std::vector<Series> series;
    if (!resolve_series(file, row.series != nullptr ? row.series : "f.Out", series, error)) return false;
    Chart chart = chart_for(series, row.x_label);
    refhost::Network &net = *file.network;
    if (over_frames) {
        sample_frames(net, series, static_cast<int>(row.lo), static_cast<int>(row.hi), chart);
    } else {
        OutputRef x;
        resolve_output(file, "x.Out", x, error);
        net.render_init();
        start_frame(net, 0, kPlotFps);
        constexpr int kSamples = 241;
        for (int i = 0; i < kSamples; ++i) {
            const double u = static_cast<double>(i) / (kSamples - 1);
            const refhost::HostSample sample = refhost::HostSample::at(u, 0.5, u, 0.5, 0.0, 0);
            refhost::HostSample at_x = sample;
            refhost::Value xv;
            refhost::evaluate_output(*x.output, &at_x.access, xv);
            sample_series(series, xv.as_scalar(), sample, chart);
        }
        net.render_cleanup();
    }
    return write_chart(chart, path, error) && shrink_png(path, error);
}

// The outputs a series list draws: "Out", or "X and Y" where they differ.
std::string outputs_named(const std::string &series) {
    std::vector<std::string> names;
    for (const std::string &item : split(series, ';')) {
        const std::string name = item.substr(item.find('.') + 1, item.find('=') - item.find('.') - 1);
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

std::string plot_caption(const PlotRow &row) {
    const std::string y = outputs_named(row.series != nullptr ? row.series : "f.Out");
    const std::string about = row.about != nullptr ? std::string(", ") + row.about : "";
    if (std::string(row.x_label) == "frame")
        return y + " over frames " + caption_number(row.lo) + " to " + caption_number(row.hi) + " at " +
               std::to_string(kPlotFps) + " frames per second" + about + ".";
    const std::string range =
        row.range != nullptr ? row.range : caption_number(row.lo) + " to " + caption_number(row.hi);
    return y + " against " + row.x_label + " from " + range + about + ".";
}

bool draw_preview(const PreviewRow &row, const std::shared_ptr<refhost::Module> &module, const std::string &path,
                  std::string &error) {
    const std::string text = "[node]\nview = { server = \"" + std::string(row.server) + "\", " + row.inputs + " }\n";
    NetworkFile file;
    if (!build_network(module, text, row.server + std::string(" preview"), file, error)) return false;
    refhost::Network &net = *file.network;
    net.render_init();
    start_frame(net, 0, kPlotFps);
    const refhost::Preview preview = refhost::render_preview(net, file.find("view")->id, 128, 80);
    net.render_cleanup();
    if (!preview.ok()) {
        error = path + ": " + preview.error;
        return false;
    }
    return write_preview(preview, path, error) && shrink_png(path, error);
}

std::string preview_caption(const PreviewRow &row) {
    std::string fed;
    for (const char *c = row.inputs; *c != '\0'; ++c)
        if (*c != '"') fed += *c;
    return "The preview, 128 by 80 pixels, with the inputs fed `" + fed + "`.";
}

bool draw_example(const ExampleRow &row, const std::shared_ptr<refhost::Module> &module, const std::string &path,
                  std::string &error) {
    const char *text = example_network(row.file);
    if (text == nullptr) {
        error = std::string(row.file) + ": not an example built into qvhost";
        return false;
    }
    NetworkFile file;
    if (!build_network(module, text, std::string("examples/") + row.file, file, error)) return false;
    std::vector<Series> series;
    if (!resolve_series(file, row.outputs, series, error)) return false;
    refhost::Network &net = *file.network;
    if (row.last > row.first) {
        Chart chart = chart_for(series, "frame");
        sample_frames(net, series, row.first, row.last, chart);
        return write_chart(chart, path, error) && shrink_png(path, error);
    }
    net.render_init();
    start_frame(net, row.first, kPlotFps);
    RenderControl control;
    ValueImage picture;
    const OutputRef &output = series.front().output;
    const bool rendered = render_grid(output.network(), *output.output, output.text, kRenderSide, kRenderSide,
                                      frame_time(row.first, kPlotFps), row.first, control, picture, error);
    net.render_cleanup();
    // A render's smooth shades are kept as they are, in a full-colour PNG.
    return rendered && write_value_png(picture, 0.0, 1.0, path, error);
}

std::string example_caption(const ExampleRow &row) {
    std::string outputs;
    for (const std::string &o : split(row.outputs, ';')) outputs += (outputs.empty() ? "`" : "` and `") + o;
    outputs += "`";
    const std::string where = row.last > row.first
                                  ? " over frames " + std::to_string(row.first) + " to " + std::to_string(row.last)
                                  : " at frame " + std::to_string(row.first) + ", " + std::to_string(kRenderSide) +
                                        " by " + std::to_string(kRenderSide) + " pixels";
    return "`examples/" + std::string(row.file) + "`: " + outputs + where + ", " + row.caption + ".";
}

}  // namespace

std::vector<DocPicture> node_pictures(const std::string &server) {
    std::vector<DocPicture> pictures;
    for (const PlotRow &row : kPlotRows)
        if (server == row.server)
            pictures.push_back({lower(server) + ".png", plot_caption(row),
                                [&row](const std::shared_ptr<refhost::Module> &m, const std::string &path,
                                       std::string &error) { return draw_plot(row, m, path, error); }});
    for (const PreviewRow &row : kPreviewRows)
        if (server == row.server)
            pictures.push_back({lower(server) + ".png", preview_caption(row),
                                [&row](const std::shared_ptr<refhost::Module> &m, const std::string &path,
                                       std::string &error) { return draw_preview(row, m, path, error); }});
    return pictures;
}

std::vector<DocPicture> group_pictures(const std::string &group) {
    std::vector<DocPicture> pictures;
    for (const ExampleRow &row : kExampleRows) {
        if (group != row.group) continue;
        const std::string file = row.file;
        pictures.push_back({"example-" + file.substr(0, file.find('.')) + ".png", example_caption(row),
                            [&row](const std::shared_ptr<refhost::Module> &m, const std::string &path,
                                   std::string &error) { return draw_example(row, m, path, error); }});
    }
    return pictures;
}

std::vector<std::string> pictured_servers() {
    std::vector<std::string> servers;
    for (const PlotRow &row : kPlotRows) servers.push_back(row.server);
    for (const PreviewRow &row : kPreviewRows) servers.push_back(row.server);
    return servers;
}

std::vector<std::string> pictured_groups() {
    std::vector<std::string> groups;
    for (const ExampleRow &row : kExampleRows) groups.push_back(row.group);
    return groups;
}

}  // namespace qvhost
