// qvhost eval: one node evaluated with its inputs fed, or outputs of a
// network over frames as a table, CSV or JSON.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/commands/node_setup.h"
#include "qvhost/node_info.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/render.h"
#include "refhost/application.h"
#include "support/escaped_text.h"
#include "support/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qvhost {

using refhost::frame_time;
using refhost::start_frame;
using refhost::value_channels;

namespace {

struct EvalOptions {
    bool lenient = false;
    std::string target;
    std::vector<std::string> values;  // INPUT=VALUE for a node, NODE.OUTPUT for a network
    std::vector<std::string> settings;  // --set
    bool again = false;  // --no-memo
    std::string wedge_text;
    Wedge wedge;
    std::string frame, frames, time = "0", fps = "30", at = "0.5,0.5", format = "table";
    bool modeler = false;
    CLI::Option *frames_option = nullptr, *time_option = nullptr, *at_option = nullptr, *format_option = nullptr;
    FrameSpan span;
    double seconds = 0.0, u = 0.5, v = 0.5;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("target", target, "a server name (QvMs_POW) or a network file (net.qvn.toml)")->required();
        c.add_option("values", values, "for a node: INPUT=VALUE; for a network: NODE.OUTPUT ...");
        c.add_option("--frame", frame, "the frame (node: at time frame / fps unless --time is given)");
        frames_option = c.add_option("--frames", frames, "network: frames A-B, one row each");
        time_option = c.add_option("--time", time, "node: the current time in seconds (and frame time x fps)");
        c.add_option("--fps", fps, "frames per second of the scene");
        at_option = c.add_option("--at", at, "network: the sample's u,v");
        format_option = c.add_option("--format", format, "network: table, csv or json");
        c.add_flag("--modeler", modeler, "node: run as the modeller, without scene or time");
        declare_settings(c, settings);
        declare_again(c, again);
        declare_wedge(c, wedge_text);
    }
    bool check(std::string &error) {
        if (!parse_frame_span(fps, frames_option->count() > 0, frames, frame, span, error)) return false;
        if (!parse_pair("--at", at, "a position", Range{-1e6, 1e6}, u, v, error)) return false;
        if (!parse_number("--time", time, "a time in seconds", Range{-1e9, 1e9}, seconds, error)) return false;
        if (!parse_wedge(wedge_text, wedge, error)) return false;
        if (names_a_file(target) && values.empty()) {
            error = "eval NETWORK NODE.OUTPUT...: name at least one output";
            return false;
        }
        return names_a_file(target) ? check_network_mode(error) : check_node_mode(error);
    }
    // A node alone is evaluated once, outside any sample: it has no frames
    // to list and no u,v; its time follows the frame unless given.
    bool check_node_mode(std::string &error) {
        const char *refused = frames_option->count()   ? "--frames"
                              : at_option->count()     ? "--at"
                              : format_option->count() ? "--format"
                              : !settings.empty()      ? "--set"
                              : wedge.given()          ? "--wedge"
                                                       : nullptr;
        if (refused) {
            error = std::string(refused) +
                    ": a node alone is evaluated once, with its inputs fed as INPUT=VALUE (use --frame and --time); "
                    "evaluate a network file for frames, u,v and csv or json";
            return false;
        }
        if (time_option->count() == 0)
            seconds = frame_time(span.first, span.fps);
        else if (frame.empty())
            span.first = static_cast<int>(
                std::clamp(std::floor(seconds * span.fps + 1e-9), double(-kMaxFrame), double(kMaxFrame)));
        return true;
    }
    bool check_network_mode(std::string &error) {
        if (time_option->count() || modeler) {
            error = std::string(modeler ? "--modeler" : "--time") +
                    ": a network is evaluated in the scene at each frame's time (frame / fps); use --frame or --frames";
            return false;
        }
        return true;
    }
    bool cheap() const { return !names_a_file(target); }
};

int eval_node(const Context &ctx, const std::string &server, const std::vector<std::string> &inputs, int frame,
              double time, double fps, bool modeler) {
    std::ostream &out = ctx.out, &err = ctx.err;
    auto &app = refhost::Application::get();
    if (modeler) app.config().system_id = QV_SYSTEM_MODELER;
    app.set_frame_rate(fps);
    app.set_time(frame, time);
    auto module = ctx.load_module();
    if (!module) return 1;
    refhost::Network net(module);
    std::string error;
    refhost::HostNode *node = net.create(server, error);
    if (node == nullptr) {
        err << "qvhost: " << support::shown_message(unavailable_node(module, server, error), server) << "\n";
        return 1;
    }
    if (int rc = feed_inputs(net, *node, inputs, err)) return rc;
    net.render_init();
    net.new_time(frame, time);
    for (const auto &o : node->outputs) {
        refhost::Value v;
        net.evaluate(node->id, o->name, v, error);
        out << o->name << " = " << (v.type != 0 ? refhost::format_value(v) : "(no value)") << "\n";
    }
    net.render_cleanup();
    return 0;
}

// The columns an output gives: one, or three for a colour or vector.
std::vector<std::string> columns_of(const OutputRef &o) {
    switch (o.output->type) {
    case QV_TYPE_COLOR: return {o.text + ".r", o.text + ".g", o.text + ".b"};
    case QV_TYPE_VECTOR: return {o.text + ".x", o.text + ".y", o.text + ".z"};
    default: return {o.text};
    }
}

// The values of one evaluated output as column texts.
std::vector<std::string> cells_of(const OutputRef &o, const refhost::Value &v) {
    const int n = value_channels(o.output->type);
    std::vector<std::string> cells;
    if (v.type == 0) return std::vector<std::string>(n > 0 ? n : 1, "");
    if (v.type == QV_TYPE_INTEGER) return {std::to_string(v.as_integer())};
    if (n == 0) return {refhost::format_value(v)};
    for (int c = 0; c < n; ++c) cells.push_back(support::number_text(v.doubles()[c]));
    return cells;
}

// Writes the rows of a network's evaluation as each is made, so that the
// first appears at once and memory stays flat over any frame range.  A table
// aligns its columns to the header and the first row.
class RowWriter {
public:
    RowWriter(std::ostream &out, const std::string &format, const std::vector<OutputRef> &outputs)
        : out_(out), format_(format), outputs_(outputs) {
        header_ = {"frame", "time"};
        for (const OutputRef &o : outputs)
            for (const std::string &c : columns_of(o)) header_.push_back(c);
        if (format_ == "csv") write_csv(header_);
        if (format_ == "json") out_ << "[\n";
    }

    void row(const std::vector<std::string> &row) {
        if (format_ == "csv") {
            write_csv(row);
        } else if (format_ == "json") {
            write_json(row);
        } else {
            if (rows_ == 0) {
                for (std::size_t c = 0; c < header_.size(); ++c) width_.push_back(std::max(header_[c].size(), row[c].size()));
                write_table(header_);
            }
            write_table(row);
        }
        ++rows_;
        out_.flush();
    }

    void finish() {
        if (format_ == "json") out_ << (rows_ > 0 ? "\n]\n" : "]\n");
    }

private:
    void write_csv(const std::vector<std::string> &row) {
        for (std::size_t c = 0; c < row.size(); ++c) out_ << (c ? "," : "") << row[c];
        out_ << "\n";
    }

    void write_json(const std::vector<std::string> &row) {
        out_ << (rows_ > 0 ? ",\n" : "") << "  {\"frame\": " << row[0] << ", \"time\": " << json_number(row[1]);
        std::size_t c = 2;
        for (const OutputRef &o : outputs_) {
            const std::size_t n = columns_of(o).size();
            out_ << ", " << json_string(o.text) << ": ";
            if (n == 1) {
                out_ << json_number(row[c]);
            } else {
                out_ << "[";
                for (std::size_t k = 0; k < n; ++k) out_ << (k ? ", " : "") << json_number(row[c + k]);
                out_ << "]";
            }
            c += n;
        }
        out_ << "}";
    }

    void write_table(const std::vector<std::string> &row) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            out_ << row[c];
            if (c + 1 < row.size()) out_ << std::string(std::max(width_[c], row[c].size()) - row[c].size() + 2, ' ');
        }
        out_ << "\n";
    }

    std::ostream &out_;
    const std::string &format_;
    const std::vector<OutputRef> &outputs_;
    std::vector<std::string> header_;
    std::vector<std::size_t> width_;
    std::size_t rows_ = 0;
};

int eval_network(const Context &ctx, const std::string &path, const std::vector<std::string> &names,
                 const FrameSpan &frames, double u, double v, const std::string &format, bool lenient,
                 const Wedge &wedge) {
    if (format != "table" && format != "csv" && format != "json")
        return ctx.fail("--format: \"" + support::shown(format) + "\" is not one of table, csv, json", 2);
    NetworkFile file;
    if (int rc = load_network(ctx, path, file, lenient)) return rc;
    std::vector<OutputRef> outputs;
    if (!resolve_all(ctx, file, names, outputs)) return 2;
    // A wedge: the outputs again for each value, "wave.Out[wave.In=0.5]".
    const std::size_t values = wedge.given() ? wedge.values.size() : 1;
    std::vector<OutputRef> columns;
    for (std::size_t k = 0; k < values; ++k)
        for (OutputRef o : outputs) {
            if (wedge.given()) o.text += "[" + wedge.setting(k) + "]";
            columns.push_back(o);
        }
    if (wedge.given() && !apply_setting(ctx, file, wedge.setting(0), "--wedge")) return 2;

    refhost::Network &net = *file.network;
    RowWriter writer(ctx.out, format, columns);
    refhost::SampleMemo memo = net.make_memo();
    net.render_init();
    for (int f = frames.first; f <= frames.last; ++f) {
        start_frame(net, f, frames.fps);
        const double t = frame_time(f, frames.fps);
        refhost::HostSample sample = refhost::HostSample::at(u, v, u, v, t, f);
        memo.start(sample);
        std::vector<std::string> row = {std::to_string(f), support::number_text(t)};
        for (std::size_t k = 0; k < values; ++k) {
            if (values > 1) {
                apply_setting(ctx, file, wedge.setting(k), "--wedge");
                memo.start(sample);
            }
            for (const OutputRef &o : outputs)
                for (const std::string &c : cells_of(o, memo.value(*o.output, &sample.access))) row.push_back(c);
        }
        if (refhost::cancel_requested()) break;
        writer.row(row);
    }
    net.render_cleanup();
    if (refhost::cancel_requested()) return ctx.fail("interrupted", kInterrupted);
    writer.finish();
    return 0;
}

int run_eval(const Context &ctx, const EvalOptions &o) {
    if (!names_a_file(o.target))
        return eval_node(ctx, o.target, o.values, o.span.first, o.seconds, o.span.fps, o.modeler);
    return eval_network(ctx, o.target, o.values, o.span, o.u, o.v, o.format, o.lenient, o.wedge);
}

}  // namespace

CommandSetup declare_eval(CLI::App &command) { return setup_of<EvalOptions>(command, run_eval); }

}  // namespace qvhost
