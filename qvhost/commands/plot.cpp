// qvhost plot: scalar outputs of a network drawn as a chart over frames or
// across u.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/commands/output_files.h"
#include "qvhost/node_info.h"
#include "qvhost/pictures/pictures.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/render.h"
#include "support/escaped_text.h"

#include <cmath>
#include <filesystem>

namespace qvhost {

using refhost::frame_time;
using refhost::start_frame;
using refhost::value_channels;

namespace {

struct PlotOptions {
    bool lenient = false;
    std::vector<std::string> settings;  // --set
    bool again = false;  // --no-memo
    std::string network;
    std::vector<std::string> outputs;
    std::string frames, over, frame, fps = "30", at = "0.5,0.5", size, png;
    CLI::Option *frames_option = nullptr, *size_option = nullptr;
    FrameSpan span;
    double u = 0.5, v = 0.5;
    int width = 800, height = 480;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("network", network, "a network file")->required();
        declare_settings(c, settings);
        declare_again(c, again);
        c.add_option("outputs", outputs, "NODE.OUTPUT ...")->required();
        frames_option = c.add_option("--frames", frames, "frames A-B along the x axis");
        c.add_option("--over", over, "u: across u from 0 to 1 (at --frame, v from --at)");
        c.add_option("--frame", frame, "the frame of a plot over u");
        c.add_option("--fps", fps, "frames per second");
        c.add_option("--at", at, "u,v: v of a plot over u");
        size_option = c.add_option("--size", size, "WxH of the picture (default 800x480)");
        c.add_option("-o,--png", png, "the picture (.png or .svg)")->required();
    }
    bool check(std::string &error) {
        const bool frames_given = frames_option->count() > 0;
        if (!parse_frame_span(fps, frames_given, frames, frame, span, error)) return false;
        if (!parse_pair("--at", at, "a position", Range{-1e6, 1e6}, u, v, error)) return false;
        if (size_option->count() > 0 && !parse_size("--size", size, 8192, width, height, error)) return false;
        if (!over.empty() && over != "u") {
            error = "--over: \"" + support::shown(over) + "\" is not u";
            return false;
        }
        if (over.empty() && !frames_given) {
            error = "plot: give --frames A-B or --over u";
            return false;
        }
        return true;
    }
    bool cheap() const { return false; }
};

int run_plot(const Context &ctx, const PlotOptions &o) {
    return plot_network(ctx, o.network, o.outputs, o.span, !o.over.empty(), o.v, o.width, o.height, o.png, o.lenient);
}

}  // namespace

int plot_network(const Context &ctx, const std::string &path, const std::vector<std::string> &names,
                 const FrameSpan &frames, bool over_u, double v, int width, int height, const std::string &png,
                 bool lenient) {
    if (int rc = check_output(ctx, "-o", png, Written::chart, network_inputs(ctx, path))) return rc;
    NetworkFile file;
    if (int rc = load_network(ctx, path, file, lenient)) return rc;
    std::vector<OutputRef> outputs;
    if (!resolve_all(ctx, file, names, outputs)) return 2;
    for (const OutputRef &o : outputs)
        if (value_channels(o.output->type) != 1)
            return ctx.fail(file.source + ": " + support::shown(o.text) + " is a " +
                                refhost::type_name(o.output->type) + " output; a plot shows scalar and integer outputs",
                            2);
    Chart chart;
    chart.width = width;
    chart.height = height;
    chart.title = support::shown(std::filesystem::path(path).filename().string());
    chart.x_label = over_u ? "u" : "frame";
    chart.y_label = outputs.size() == 1 ? outputs[0].text : "value";
    for (const OutputRef &o : outputs) chart.series.push_back({o.text, {}, {}});
    refhost::Network &net = *file.network;
    net.render_init();
    refhost::SampleMemo memo = net.make_memo();
    auto sample_all = [&](double x, const refhost::HostSample &s) {
        refhost::HostSample sample = s;
        memo.start(sample);
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            const refhost::Value &value = memo.value(*outputs[k].output, &sample.access);
            chart.series[k].x.push_back(x);
            chart.series[k].y.push_back(value.type == 0 ? std::nan("") : value.as_scalar());
        }
    };
    if (over_u) {
        start_frame(net, frames.first, frames.fps);
        const double t = frame_time(frames.first, frames.fps);
        const int n = 256;
        for (int i = 0; i < n; ++i) {
            const double u = static_cast<double>(i) / (n - 1);
            sample_all(u, refhost::HostSample::at(u, v, u * n, (1 - v) * n, t, frames.first));
        }
    } else {
        for (int f = frames.first; f <= frames.last; ++f) {
            start_frame(net, f, frames.fps);
            sample_all(f, refhost::HostSample::at(0.5, v, 0.5, 1 - v, frame_time(f, frames.fps), f));
        }
    }
    net.render_cleanup();
    if (refhost::cancel_requested())
        return ctx.fail("interrupted: " + support::shown_path(png) + " was not written", kInterrupted);
    std::string error;
    if (!write_chart(chart, png, error)) return ctx.fail(shown_path_error(error, png));
    ctx.out << "wrote " << png << "\n";
    return 0;
}

CommandSetup declare_plot(CLI::App &command) { return setup_of<PlotOptions>(command, run_plot); }

}  // namespace qvhost
