// qvhost preview: a viewer's preview drawn, for one node with its inputs fed
// (the texts drawn are printed) or for a viewer inside a network at a frame
// and u,v (a labelled table of what it shows is printed); the picture is
// written as a PNG where asked.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/commands/node_setup.h"
#include "qvhost/commands/output_files.h"
#include "qvhost/pictures/pictures.h"
#include "refhost/draw.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/input_key.h"
#include "refhost/network/render.h"
#include "support/escaped_text.h"
#include "support/number_text.h"

#include <algorithm>
#include <array>

namespace qvhost {

using refhost::start_frame;

namespace {

// The largest preview the command line's fuzz target draws.
constexpr int kCheapPreviewPixels = 64 * 64;

struct PreviewOptions {
    bool lenient = false;
    std::string target;
    std::vector<std::string> values;  // INPUT=VALUE for a node, the viewer's name for a network
    std::vector<std::string> sets, settings;
    std::string width = "128", height = "80", png, frame, fps = "30", at = "0.5,0.5";
    bool verbose = false;
    bool again = false;  // --no-memo
    CLI::Option *at_option = nullptr;
    FrameSpan span;
    int pixels_wide = 128, pixels_high = 80;
    double u = 0.5, v = 0.5;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("target", target, "a server name (QvT_VIEW) or a network file")->required();
        c.add_option("values", values,
                     "for a node: INPUT=VALUE (a name given again feeds the next input of that name); "
                     "for a network: the viewer node's name");
        c.add_option("--set", sets,
                     "node: LABEL=VALUE, an option edited before drawing, e.g. ShowHex=1; "
                     "network: NODE.INPUT=VALUE or NODE.CONTROL=CHOICE, as the file would say it")
            ->allow_extra_args(false);
        c.add_option("--width", width, "preview width in pixels");
        c.add_option("--height", height, "preview height in pixels");
        c.add_option("-o,--png", png, "write the preview as a PNG image to this file");
        c.add_option("--frame", frame, "network: the frame");
        c.add_option("--fps", fps, "network: frames per second");
        at_option = c.add_option("--at", at, "network: the u,v of the sample the viewer shows");
        c.add_flag("--verbose", verbose, "also print every drawing call of the preview");
        declare_again(c, again);
    }
    bool check(std::string &error) {
        if (!parse_frame_span(fps, false, "", frame, span, error)) return false;
        if (!parse_pair("--at", at, "a position", Range{-1e6, 1e6}, u, v, error)) return false;
        long long w = 0, h = 0;
        if (!parse_integer("--width", width, "a width in pixels", 1, 4096, w, error)) return false;
        if (!parse_integer("--height", height, "a height in pixels", 1, 4096, h, error)) return false;
        pixels_wide = static_cast<int>(w);
        pixels_high = static_cast<int>(h);
        if (names_a_file(target) && values.size() != 1) {
            error = "preview NETWORK NODE: name one viewer node of the network";
            return false;
        }
        if (names_a_file(target)) {
            for (const std::string &s : sets)
                if (s.find('.') == std::string::npos || s.find('.') > s.find('=')) {
                    error =
                        "--set: a viewer in a network is set as NODE.CONTROL=VALUE, as its file's panel = { ... "
                        "} sets it (e.g. --set " +
                        values[0] + "." + support::shown(s) + ")";
                    return false;
                }
            settings = sets;
        }
        if (!names_a_file(target) && (!frame.empty() || at_option->count() > 0 || verbose || again)) {
            error = std::string(!frame.empty() ? "--frame"
                                : verbose      ? "--verbose"
                                : again        ? "--no-memo"
                                               : "--at") +
                    ": a viewer alone draws the values fed to it; preview a network file for a frame, a u,v and "
                    "the labelled rows";
            return false;
        }
        return true;
    }
    bool cheap() const {
        return !names_a_file(target) && png.empty() && pixels_wide * pixels_high <= kCheapPreviewPixels;
    }
};

int draw_node(const Context &ctx, const std::string &server, const std::vector<std::string> &sets,
              const std::vector<std::string> &inputs, int width, int height, const std::string &png) {
    std::ostream &out = ctx.out, &err = ctx.err;
    if (!png.empty())
        if (int rc = check_output(ctx, "--png", png, Written::preview, {ctx.module_path})) return rc;
    std::unique_ptr<refhost::Network> network;
    int code = 0;
    refhost::HostNode *node = prepared_node(ctx, network, server, inputs, sets, code);
    if (node == nullptr) return code;
    refhost::Network &net = *network;
    std::string error;
    net.render_init();
    const refhost::Preview preview = refhost::render_preview(net, node->id, width, height);
    net.render_cleanup();
    if (!preview.ok()) {
        err << "qvhost: " << preview.error << "\n";
        return 1;
    }
    if (!png.empty() && !write_preview(preview, png, error)) {
        err << "qvhost: " << shown_path_error(error, png) << "\n";
        return 1;
    }
    for (const std::string &t : preview.texts()) out << t << "\n";
    return 0;
}

}  // namespace

namespace {

// What each text row of a viewer's preview shows, top to bottom: the input
// keys (a component after a "."), the first connected one being what the
// row shows where several may.  Texts away from the left edge ("*") mark
// values shown in degrees.
// clang-format off
const struct {
    const char *server;
    const char *rows[6];
} kViewerRows[] = {
    {"QvT_VIEW",  {"Color", "Integer", "Scalar", "X / Vector.x", "Y / Vector.y", "Z / Vector.z"}},
    {"QvT_VIEWS", {"Scalar", "Scalar#2", "Scalar#3", "Scalar#4", "Scalar#5", "Scalar#6"}},
    {"QvT_VIEWV", {"Vector.x", "Vector.y", "Vector.z", "Vector#2.x", "Vector#2.y", "Vector#2.z"}},
    {"QvT_VIEWI", {"Integer", "Integer#2", "Integer#3", "Integer#4", "Integer#5", "Integer#6"}},
};
// clang-format on

// The label of a viewer's text row and what feeds it ("-" for nothing).
std::pair<std::string, std::string> row_label(const NetworkFile &file, const refhost::HostNode &node, std::size_t row) {
    const char *label = nullptr;
    for (const auto &v : kViewerRows)
        if (node.server == v.server && row < 6) label = v.rows[row];
    if (label == nullptr) return {"row " + std::to_string(row + 1), "-"};
    std::string keys = label;
    for (std::size_t from = 0; from < keys.size();) {
        std::size_t to = keys.find(" / ", from);
        if (to == std::string::npos) to = keys.size();
        const std::string key = keys.substr(from, keys.find('.', from) < to ? keys.find('.', from) - from : to - from);
        const int index = refhost::input_index(node, key);
        if (index >= 0 && node.inputs[static_cast<std::size_t>(index)]->connected())
            return {label, feed_text(file, *node.inputs[static_cast<std::size_t>(index)])};
        from = to + 3;
    }
    return {label, "-"};
}

// The labelled table of what a viewer shows: a row per text, its input,
// what feeds it and the text.
void print_viewer_table(std::ostream &out, const NetworkFile &file, const refhost::HostNode &node,
                        const refhost::Preview &preview) {
    std::vector<std::array<std::string, 3>> rows;
    bool degrees = false;
    for (const refhost::DrawCall &c : preview.calls) {
        if (c.kind != refhost::DrawCall::Kind::text) continue;
        if (c.x != 0) {
            degrees = true;
            continue;
        }
        const auto [label, fed] = row_label(file, node, rows.size());
        rows.push_back({label, fed, c.text});
    }
    std::size_t w0 = 5, w1 = 6;
    for (const auto &r : rows) {
        w0 = std::max(w0, r[0].size());
        w1 = std::max(w1, r[1].size());
    }
    auto line = [&](const std::string &a, const std::string &b, const std::string &c) {
        out << a << std::string(w0 - a.size() + 2, ' ') << b << std::string(w1 - b.size() + 2, ' ') << c << "\n";
    };
    line("input", "fed by", "shows");
    for (const auto &r : rows) line(r[0], r[1], r[2]);
    if (degrees) out << "(* marks values shown in degrees)\n";
}

}  // namespace

int preview_in_network(const Context &ctx, const std::string &path, const std::string &name, int frame, double fps,
                       int width, int height, const std::string &png, bool lenient) {
    NetworkPreview p;
    p.frame = frame;
    p.fps = fps;
    p.width = width;
    p.height = height;
    p.png = png;
    p.lenient = lenient;
    return preview_in_network(ctx, path, name, p);
}

int preview_in_network(const Context &ctx, const std::string &path, const std::string &name, const NetworkPreview &p) {
    if (!p.png.empty())
        if (int rc = check_output(ctx, "--png", p.png, Written::preview, network_inputs(ctx, path))) return rc;
    NetworkFile file;
    if (int rc = load_network(ctx, path, file, p.lenient)) return rc;
    const NetworkFile::Node *node = file.find(name);
    if (node == nullptr) {
        std::string names;
        for (const NetworkFile::Node &n : file.nodes) names += (names.empty() ? "" : ", ") + support::shown(n.name);
        return ctx.fail(file.source + ": no node \"" + support::shown(name) + "\" (nodes: " + names + ")", 2);
    }
    refhost::Network &net = *file.network;
    const double time = refhost::frame_time(p.frame, p.fps);
    net.render_init();
    start_frame(net, p.frame, p.fps);
    const refhost::Preview preview =
        refhost::render_preview(net, node->id, p.width, p.height, refhost::PreviewSample{p.u, p.v, time, p.frame});
    net.render_cleanup();
    if (refhost::cancel_requested()) return ctx.fail("interrupted", kInterrupted);
    if (!preview.ok()) return ctx.fail(file.source + ": node \"" + support::shown(name) + "\": " + preview.error);
    std::string error;
    if (!p.png.empty() && !write_preview(preview, p.png, error)) return ctx.fail(shown_path_error(error, p.png));
    const refhost::HostNode &host_node = *net.node(node->id);
    ctx.out << name << " (" << host_node.server << ") at frame " << p.frame << ", time " << support::number_text(time)
            << ", u,v " << support::number_text(p.u) << "," << support::number_text(p.v) << "\n";
    print_viewer_table(ctx.out, file, host_node, preview);
    if (p.verbose) {
        ctx.out << "draw list:\n";
        for (const refhost::DrawCall &c : preview.calls) ctx.out << "  " << c.describe() << "\n";
    }
    if (!p.png.empty()) ctx.out << "wrote " << p.png << "\n";
    return 0;
}

namespace {

int run_preview(const Context &ctx, const PreviewOptions &o) {
    if (!names_a_file(o.target)) return draw_node(ctx, o.target, o.sets, o.values, o.pixels_wide, o.pixels_high, o.png);
    NetworkPreview p;
    p.frame = o.span.first;
    p.fps = o.span.fps;
    p.u = o.u;
    p.v = o.v;
    p.width = o.pixels_wide;
    p.height = o.pixels_high;
    p.png = o.png;
    p.verbose = o.verbose;
    p.lenient = o.lenient;
    return preview_in_network(ctx, o.target, o.values[0], p);
}

}  // namespace

CommandSetup declare_preview(CLI::App &command) { return setup_of<PreviewOptions>(command, run_preview); }

}  // namespace qvhost
