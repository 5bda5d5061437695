// qvhost preview: a viewer's preview drawn, for one node with its inputs fed
// or for a viewer inside a network; the texts drawn are printed and the
// picture written as a PNG where asked.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/commands/node_setup.h"
#include "qvhost/commands/output_files.h"
#include "qvhost/pictures/pictures.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/render.h"
#include "refhost/draw.h"
#include "support/escaped_text.h"

namespace qvhost {

using refhost::start_frame;

namespace {

// The largest preview the command line's fuzz target draws.
constexpr int kCheapPreviewPixels = 64 * 64;

struct PreviewOptions {
    bool lenient = false;
    std::string target;
    std::vector<std::string> values;  // INPUT=VALUE for a node, the viewer's name for a network
    std::vector<std::string> sets;
    std::string width = "128", height = "80", png, frame, fps = "30";
    FrameSpan span;
    int pixels_wide = 128, pixels_high = 80;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("target", target, "a server name (QvT_VIEW) or a network file")->required();
        c.add_option("values", values,
                     "for a node: INPUT=VALUE (a name given again feeds the next input of that name); "
                     "for a network: the viewer node's name");
        c.add_option("--set", sets, "LABEL=VALUE: edit an option before drawing, e.g. ShowHex=1")
            ->allow_extra_args(false);
        c.add_option("--width", width, "preview width in pixels");
        c.add_option("--height", height, "preview height in pixels");
        c.add_option("-o,--png", png, "write the preview as a PNG image to this file");
        c.add_option("--frame", frame, "network: the frame");
        c.add_option("--fps", fps, "network: frames per second");
    }
    bool check(std::string &error) {
        if (!parse_frame_span(fps, false, "", frame, span, error)) return false;
        long long w = 0, h = 0;
        if (!parse_integer("--width", width, "a width in pixels", 1, 4096, w, error)) return false;
        if (!parse_integer("--height", height, "a height in pixels", 1, 4096, h, error)) return false;
        pixels_wide = static_cast<int>(w);
        pixels_high = static_cast<int>(h);
        if (names_a_file(target) && values.size() != 1) {
            error = "preview NETWORK NODE: name one viewer node of the network";
            return false;
        }
        if (names_a_file(target) && !sets.empty()) {
            error =
                "--set: a viewer in a network shows the options its network file sets; set them in the file's "
                "panel = { ... }";
            return false;
        }
        if (!names_a_file(target) && !frame.empty()) {
            error = "--frame: a viewer alone draws the values fed to it; preview a network file for a frame";
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

int preview_in_network(const Context &ctx, const std::string &path, const std::string &name, int frame, double fps,
                       int width, int height, const std::string &png, bool lenient) {
    if (!png.empty())
        if (int rc = check_output(ctx, "--png", png, Written::preview, network_inputs(ctx, path))) return rc;
    NetworkFile file;
    if (int rc = load_network(ctx, path, file, lenient)) return rc;
    const NetworkFile::Node *node = file.find(name);
    if (node == nullptr) {
        std::string names;
        for (const NetworkFile::Node &n : file.nodes) names += (names.empty() ? "" : ", ") + support::shown(n.name);
        return ctx.fail(file.source + ": no node \"" + support::shown(name) + "\" (nodes: " + names + ")", 2);
    }
    refhost::Network &net = *file.network;
    net.render_init();
    start_frame(net, frame, fps);
    const refhost::Preview preview = refhost::render_preview(net, node->id, width, height);
    net.render_cleanup();
    if (refhost::cancel_requested()) return ctx.fail("interrupted", kInterrupted);
    if (!preview.ok()) return ctx.fail(file.source + ": node \"" + support::shown(name) + "\": " + preview.error);
    std::string error;
    if (!png.empty() && !write_preview(preview, png, error)) return ctx.fail(shown_path_error(error, png));
    for (const std::string &t : preview.texts()) ctx.out << t << "\n";
    return 0;
}

namespace {

int run_preview(const Context &ctx, const PreviewOptions &o) {
    if (!names_a_file(o.target)) return draw_node(ctx, o.target, o.sets, o.values, o.pixels_wide, o.pixels_high, o.png);
    return preview_in_network(ctx, o.target, o.values[0], o.span.first, o.span.fps, o.pixels_wide, o.pixels_high, o.png,
                              o.lenient);
}

}  // namespace

CommandSetup declare_preview(CLI::App &command) { return setup_of<PreviewOptions>(command, run_preview); }

}  // namespace qvhost
