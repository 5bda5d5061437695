// qvhost demo: the built-in demo network (examples/demo.qvn.toml, built into
// the program) rendered, plotted and previewed into a directory.
#include "qvhost/commands/commands.h"

#include "qvhost/demo_network.h"
#include "support/escaped_text.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qvhost {

namespace {

struct DemoOptions {
    std::string dir = "qvhost-demo";

    void declare(CLI::App &c) { c.add_option("--out", dir, "the directory to write into"); }
    bool check(std::string &) { return true; }
    bool cheap() const { return false; }
};

int run_demo(const Context &ctx, const DemoOptions &o) {
    InterruptScope interrupt;
    const std::string &dir = o.dir;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return ctx.fail(support::shown_path(dir) + ": cannot make the directory (" + ec.message() + ")");
    const std::string network = (fs::path(dir) / "demo.qvn.toml").string();
    {
        std::ofstream file(network, std::ios::binary | std::ios::trunc);
        file << kDemoNetwork;
        if (!file) return ctx.fail(support::shown(network) + ": cannot write the file");
    }
    ctx.out << "wrote " << network << "\n";
    FrameSpan frame;
    frame.first = frame.last = 24;
    auto path = [&](const char *name) { return (fs::path(dir) / name).string(); };
    if (int rc = render_network(ctx, network, "centre.Out", 256, 256, frame, 0, std::nullopt, path("demo.png")))
        return rc;
    FrameSpan frames;
    frames.first = 0;
    frames.last = 95;
    if (int rc =
            plot_network(ctx, network, {"jitter.Out", "cache.Out"}, frames, false, 0.5, 800, 480, path("noise.png")))
        return rc;
    for (const char *viewer : {"view", "views", "viewv", "viewi"}) {
        const std::string png = path((std::string("preview_") + viewer + ".png").c_str());
        std::ostringstream texts;
        Context quiet{texts, ctx.err, ctx.module_path, false, true, ctx.cancel, ctx.fresh_module, {}};
        if (int rc = preview_in_network(quiet, network, viewer, 24, 30.0, 128, 80, png)) return rc;
        ctx.out << "wrote " << png << "\n";
    }
    return 0;
}

}  // namespace

CommandSetup declare_demo(CLI::App &command) { return setup_of<DemoOptions>(command, run_demo); }

}  // namespace qvhost
