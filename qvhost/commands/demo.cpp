// qvhost demo: the built-in demo network (examples/demo.qvn.toml, built into
// the program) written, rendered, plotted and previewed into a directory;
// files of the demo's names already there are replaced only with --force.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/output_files.h"
#include "qvhost/demo_network.h"
#include "support/atomic_file.h"
#include "support/escaped_text.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace qvhost {

namespace {

namespace fs = std::filesystem;

// The files the demo writes into its folder, a row each.
constexpr const char *kNetworkFile = "demo.qvn.toml";
constexpr const char *kRenderFile = "demo.png";
constexpr const char *kPlotFile = "noise.png";
constexpr const char *kViewers[] = {"view", "views", "viewv", "viewi"};

std::string preview_file(const char *viewer) { return std::string("preview_") + viewer + ".png"; }

std::vector<std::string> demo_files() {
    std::vector<std::string> files = {kNetworkFile, kRenderFile, kPlotFile};
    for (const char *viewer : kViewers) files.push_back(preview_file(viewer));
    return files;
}

struct DemoOptions {
    std::string dir = "qvhost-demo";
    bool force = false;

    void declare(CLI::App &c) {
        c.add_option("--out", dir, "the directory to write into");
        c.add_flag("--force", force, "replace the demo's files where the directory holds them already");
    }
    bool check(std::string &) { return true; }
    bool cheap() const { return false; }
};

int run_demo(const Context &ctx, const DemoOptions &o) {
    const std::string &dir = o.dir;
    auto path = [&](const std::string &name) { return (fs::path(dir) / name).string(); };
    // Nothing is written where a file of the demo's would be replaced unasked.
    for (const std::string &name : demo_files()) {
        std::error_code ec;
        if (!o.force && fs::exists(fs::symlink_status(path(name), ec)))
            return ctx.fail(support::shown_path(path(name)) + ": the file exists; --force replaces the demo's files");
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return ctx.fail(support::shown_path(dir) + ": cannot make the directory (" + ec.message() + ")");
    const std::string network = path(kNetworkFile);
    std::string error;
    if (int rc = check_output(ctx, "--out", network, Written::network, {ctx.module_path})) return rc;
    if (!support::write_file_atomically(network, kDemoNetwork, error))
        return ctx.fail(shown_path_error(error, network));
    ctx.out << "wrote " << network << "\n";
    FrameSpan frame;
    frame.first = frame.last = 24;
    if (int rc = render_network(ctx, network, "centre.Out", 256, 256, frame, 0, std::nullopt, path(kRenderFile)))
        return rc;
    FrameSpan frames;
    frames.first = 0;
    frames.last = 95;
    if (int rc = plot_network(ctx, network, {"jitter.Out", "cache.Out"}, frames, false, 0.5, 800, 480, path(kPlotFile)))
        return rc;
    for (const char *viewer : kViewers) {
        const std::string png = path(preview_file(viewer));
        std::ostringstream texts;
        Context quiet{texts, ctx.err, ctx.module_path, false, true, ctx.cancel, ctx.fresh_module, {}, {}};
        if (int rc = preview_in_network(quiet, network, viewer, 24, 30.0, 128, 80, png)) return rc;
        ctx.out << "wrote " << png << "\n";
    }
    return 0;
}

}  // namespace

CommandSetup declare_demo(CLI::App &command) { return setup_of<DemoOptions>(command, run_demo); }

}  // namespace qvhost
