// qvhost's commands on whole networks: check, evaluate over frames, plot,
// render, preview a viewer, draw the network, save it as a scene file.
#include "qvhost/commands/commands.h"

#include "qvhost/network_toml.h"
#include "qvhost/node_info.h"
#include "qvhost/pictures/pictures.h"
#include "qvhost/rendering.h"
#include "refhost/application.h"
#include "refhost/draw.h"
#include "refhost/panel/xpanel.h"
#include "support/escaped_text.h"
#include "support/number_text.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <map>
#include <mutex>
#include <sstream>

namespace qvhost {

namespace {

using Clock = std::chrono::steady_clock;

// Loads the network; the problems go to err, one line each.
int load_network(const Context &ctx, const std::string &path, NetworkFile &file) {
    auto module = ctx.load_module();
    if (!module) return 1;
    std::vector<std::string> problems;
    if (read_network_file(path, module, file, problems)) return 0;
    for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
    return 1;
}

bool resolve_all(const Context &ctx, const NetworkFile &file, const std::vector<std::string> &names,
                 std::vector<OutputRef> &outputs) {
    for (const std::string &name : names) {
        OutputRef ref;
        std::string error;
        if (!resolve_output(file, name, ref, error)) {
            ctx.err << "qvhost: " << file.source << ": " << error << "\n";
            return false;
        }
        outputs.push_back(ref);
    }
    return true;
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

std::string json_number(const std::string &cell) {
    if (cell.empty() || cell == "nan" || cell == "-nan" || cell == "inf" || cell == "-inf") return "null";
    return cell;
}

std::string json_string(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// What feeds an input, as check and graph show it.
std::string feed_text(const NetworkFile &file, const refhost::HostInput &in) {
    if (in.from != nullptr) return file.name_of(in.from->node->id) + "." + in.from->name;
    if (in.source) {
        if (in.source->sample != refhost::SampleSource::none) return refhost::sample_source_name(in.source->sample);
        return refhost::format_value(in.source->value);
    }
    return "";
}

// Draws progress on stderr: a bar on a terminal, a line per frame otherwise.
class Progress {
public:
    Progress(const Context &ctx, int frames, int rows)
        : ctx_(ctx), frames_(frames), rows_(rows), start_(Clock::now()), last_(start_) {}

    void row(int frame_index, int rows_done) {
        if (ctx_.quiet || !ctx_.err_is_terminal) return;
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) return;
        const auto now = Clock::now();
        if (rows_done != rows_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double done =
            (static_cast<double>(frame_index) * rows_ + rows_done) / (static_cast<double>(frames_) * rows_);
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double samples = samples_before_ + static_cast<double>(rows_done) * width_;
        constexpr int kBar = 30;
        const int filled = static_cast<int>(done * kBar);
        std::ostringstream line;
        line << "\r[" << std::string(filled, '#') << std::string(kBar - filled, '.') << "] frame " << frame_index + 1
             << "/" << frames_ << ", row " << rows_done << "/" << rows_ << ", " << std::fixed << std::setprecision(2)
             << (seconds > 0 ? samples / seconds / 1e6 : 0.0) << " M samples/s, " << std::setprecision(0)
             << (done > 0 ? seconds * (1 - done) / done : 0.0) << " s left  ";
        ctx_.err << line.str() << std::flush;
    }

    void frame(int frame_index, int frame, double seconds, long long samples) {
        samples_before_ += static_cast<double>(samples);
        if (ctx_.quiet) return;
        if (ctx_.err_is_terminal) {
            if (frame_index + 1 == frames_) ctx_.err << "\n";
            return;
        }
        ctx_.err << "frame " << frame << ": " << samples << " samples in " << std::fixed << std::setprecision(3)
                 << seconds << " s\n";
    }

    void set_width(int width) { width_ = width; }

private:
    const Context &ctx_;
    int frames_, rows_, width_ = 0;
    double samples_before_ = 0;
    Clock::time_point start_, last_;
    std::mutex mutex_;
};

// The file of a frame: `%04d` (or any %d form) in the pattern stands for it.
bool frame_path(const std::string &pattern, int frame, bool many, std::string &path, std::string &error) {
    const std::size_t pct = pattern.find('%');
    if (pct == std::string::npos) {
        if (many) {
            error = "-o " + support::shown_path(pattern) + ": several frames need a %04d in the file name";
            return false;
        }
        path = pattern;
        return true;
    }
    std::size_t d = pct + 1;
    while (d < pattern.size() && pattern[d] >= '0' && pattern[d] <= '9') ++d;
    if (d >= pattern.size() || pattern[d] != 'd' || pattern.find('%', d) != std::string::npos || d - pct > 3) {
        error = "-o " + support::shown_path(pattern) + ": the only % form is one %d or %04d for the frame";
        return false;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, pattern.substr(pct, d - pct + 1).c_str(), frame);
    path = pattern.substr(0, pct) + buf + pattern.substr(d + 1);
    return true;
}

}  // namespace

// ---- check ----------------------------------------------------------------------

int check_network(const Context &ctx, const std::string &path) {
    auto module = ctx.load_module();
    if (!module) return 1;
    NetworkFile file;
    std::vector<std::string> problems;
    if (!read_network_file(path, module, file, problems)) {
        for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
        ctx.out << path << ": " << problems.size() << " problem" << (problems.size() == 1 ? "" : "s") << "\n";
        return 1;
    }
    std::ostream &out = ctx.out;
    out << path << ": " << file.nodes.size() << " node" << (file.nodes.size() == 1 ? "" : "s") << "\n";
    for (const NetworkFile::Node &entry : file.nodes) {
        const refhost::HostNode &n = *file.network->node(entry.id);
        const QvServerRecord *record = module->find("NodeHandler", n.server);
        const char *display = record != nullptr ? refhost::Module::tag(*record, QV_TAG_DISPLAY_NAME) : nullptr;
        out << "  " << entry.name << ": " << n.server << " \"" << (display ? display : "") << "\"";
        if (entry.line > 0) out << " (line " << entry.line << ")";
        out << "\n";
        std::vector<ControlInfo> controls;
        const std::vector<int> edits = input_controls(module, n, &controls);
        // The stored defaults as this node's own panel shows them.
        std::string error;
        const refhost::Network::PanelOpening opening = file.network->open_panel(n.id, error);
        const refhost::Panel *panel = opening.panel != nullptr ? refhost::panel_of(opening.panel) : nullptr;
        for (std::size_t i = 0; i < n.inputs.size(); ++i) {
            const refhost::HostInput &in = *n.inputs[i];
            out << "    in  " << std::left << std::setw(10) << in.name << std::setw(9) << refhost::type_name(in.type);
            const std::string fed = feed_text(file, in);
            if (in.from != nullptr) {
                out << "<- " << fed;
            } else if (in.source) {
                out << "= " << fed;
            } else if (edits[i] >= 0 && panel != nullptr) {
                out << "default " << panel->value_text(controls[edits[i]].id).value_or("?");
            } else {
                out << "not connected";
            }
            out << "\n";
        }
        for (const auto &o : n.outputs)
            out << "    out " << std::left << std::setw(10) << o->name << refhost::type_name(o->type) << "\n";
    }
    out << "no problems\n";
    return 0;
}

// ---- eval -----------------------------------------------------------------------

int eval_network(const Context &ctx, const std::string &path, const std::vector<std::string> &names,
                 const FrameSpan &frames, double u, double v, const std::string &format) {
    if (format != "table" && format != "csv" && format != "json")
        return ctx.fail("--format: \"" + support::shown(format) + "\" is not one of table, csv, json", 2);
    NetworkFile file;
    if (int rc = load_network(ctx, path, file)) return rc;
    std::vector<OutputRef> outputs;
    if (!resolve_all(ctx, file, names, outputs)) return 2;

    std::vector<std::string> header = {"frame", "time"};
    for (const OutputRef &o : outputs)
        for (const std::string &c : columns_of(o)) header.push_back(c);
    std::vector<std::vector<std::string>> rows;
    refhost::Network &net = *file.network;
    net.render_init();
    for (int f = frames.first; f <= frames.last; ++f) {
        start_frame(net, f, frames.fps);
        const double t = frame_time(f, frames.fps);
        refhost::HostSample sample = refhost::HostSample::at(u, v, u, v, t, f);
        std::vector<std::string> row = {std::to_string(f), support::number_text(t)};
        for (const OutputRef &o : outputs) {
            refhost::Value value;
            refhost::evaluate_output(*o.output, &sample.access, value);
            for (const std::string &c : cells_of(o, value)) row.push_back(c);
        }
        rows.push_back(std::move(row));
    }
    net.render_cleanup();

    std::ostream &out = ctx.out;
    if (format == "csv") {
        for (std::size_t c = 0; c < header.size(); ++c) out << (c ? "," : "") << header[c];
        out << "\n";
        for (const auto &row : rows) {
            for (std::size_t c = 0; c < row.size(); ++c) out << (c ? "," : "") << row[c];
            out << "\n";
        }
    } else if (format == "json") {
        out << "[\n";
        for (std::size_t r = 0; r < rows.size(); ++r) {
            out << "  {\"frame\": " << rows[r][0] << ", \"time\": " << json_number(rows[r][1]);
            std::size_t c = 2;
            for (const OutputRef &o : outputs) {
                const std::size_t n = columns_of(o).size();
                out << ", " << json_string(o.text) << ": ";
                if (n == 1) {
                    out << json_number(rows[r][c]);
                } else {
                    out << "[";
                    for (std::size_t k = 0; k < n; ++k) out << (k ? ", " : "") << json_number(rows[r][c + k]);
                    out << "]";
                }
                c += n;
            }
            out << "}" << (r + 1 < rows.size() ? "," : "") << "\n";
        }
        out << "]\n";
    } else {
        std::vector<std::size_t> width(header.size());
        for (std::size_t c = 0; c < header.size(); ++c) width[c] = header[c].size();
        for (const auto &row : rows)
            for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
        auto print = [&](const std::vector<std::string> &row) {
            for (std::size_t c = 0; c < row.size(); ++c) {
                out << row[c];
                if (c + 1 < row.size()) out << std::string(width[c] - row[c].size() + 2, ' ');
            }
            out << "\n";
        };
        print(header);
        for (const auto &row : rows) print(row);
    }
    return 0;
}

// ---- plot -----------------------------------------------------------------------

int plot_network(const Context &ctx, const std::string &path, const std::vector<std::string> &names,
                 const FrameSpan &frames, bool over_u, double v, int width, int height, const std::string &png) {
    NetworkFile file;
    if (int rc = load_network(ctx, path, file)) return rc;
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
    auto sample_all = [&](double x, const refhost::HostSample &s) {
        refhost::HostSample sample = s;
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            refhost::Value value;
            refhost::evaluate_output(*outputs[k].output, &sample.access, value);
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
    std::string error;
    if (!write_chart(chart, png, error)) return ctx.fail(support::shown_message(error, png));
    ctx.out << "wrote " << png << "\n";
    return 0;
}

// ---- render ---------------------------------------------------------------------

int render_network(const Context &ctx, const std::string &path, const std::string &name, int width, int height,
                   const FrameSpan &frames, int threads, double lo, double hi, const std::string &pattern) {
    const PictureFormat format = picture_format(pattern);
    if (format != PictureFormat::png && format != PictureFormat::exr)
        return ctx.fail("-o " + support::shown_path(pattern) + ": the image file ends in .png or .exr", 2);
    const bool many = frames.last > frames.first;
    std::string error, first_path;
    if (!frame_path(pattern, frames.first, many, first_path, error)) return ctx.fail(error, 2);
    NetworkFile file;
    if (int rc = load_network(ctx, path, file)) return rc;
    std::vector<OutputRef> outputs;
    if (!resolve_all(ctx, file, {name}, outputs)) return 2;
    const OutputRef &output = outputs[0];
    if (value_channels(output.output->type) == 0)
        return ctx.fail(file.source + ": " + support::shown(output.text) + " is a " +
                            refhost::type_name(output.output->type) +
                            " output; an image holds scalar, integer, colour and vector outputs",
                        2);

    refhost::Network &net = *file.network;
    Progress progress(ctx, frames.last - frames.first + 1, height);
    progress.set_width(width);
    net.render_init();
    int code = 0;
    for (int f = frames.first; f <= frames.last && code == 0; ++f) {
        const auto t0 = Clock::now();
        start_frame(net, f, frames.fps);
        RenderControl control;
        control.threads = threads;
        control.cancel = ctx.cancel;
        const int index = f - frames.first;
        control.on_row = [&](int rows) { progress.row(index, rows); };
        ValueImage image;
        std::string file_path;
        frame_path(pattern, f, many, file_path, error);
        if (!render_grid(output, width, height, frame_time(f, frames.fps), f, control, image, error)) {
            if (ctx.err_is_terminal && !ctx.quiet) ctx.err << "\n";
            code = ctx.fail(
                error == "interrupted" ? "interrupted: " + support::shown_path(file_path) + " was not written" : error);
            break;
        }
        if (!write_value_image(image, lo, hi, file_path, error)) {
            code = ctx.fail(support::shown_message(error, file_path));
            break;
        }
        progress.frame(index, f, std::chrono::duration<double>(Clock::now() - t0).count(),
                       static_cast<long long>(width) * height);
        ctx.out << "wrote " << file_path << "\n";
    }
    net.render_cleanup();
    return code;
}

// ---- preview ----------------------------------------------------------------------

int preview_in_network(const Context &ctx, const std::string &path, const std::string &name, int frame, double fps,
                       int width, int height, const std::string &png) {
    NetworkFile file;
    if (int rc = load_network(ctx, path, file)) return rc;
    const NetworkFile::Node *node = file.find(name);
    if (node == nullptr) {
        std::string names;
        for (const NetworkFile::Node &n : file.nodes) names += (names.empty() ? "" : ", ") + n.name;
        return ctx.fail(file.source + ": no node \"" + support::shown(name) + "\" (nodes: " + names + ")", 2);
    }
    refhost::Network &net = *file.network;
    net.render_init();
    start_frame(net, frame, fps);
    const refhost::Preview preview = refhost::render_preview(net, node->id, width, height);
    net.render_cleanup();
    if (!preview.ok()) return ctx.fail(file.source + ": node \"" + support::shown(name) + "\": " + preview.error);
    std::string error;
    if (!png.empty() && !write_preview(preview, png, error)) return ctx.fail(support::shown_message(error, png));
    for (const std::string &t : preview.texts()) ctx.out << t << "\n";
    return 0;
}

// ---- graph ------------------------------------------------------------------------

int graph_network(const Context &ctx, const std::string &path, const std::string &target) {
    const PictureFormat format = picture_format(target);
    if (format != PictureFormat::svg && format != PictureFormat::png)
        return ctx.fail("-o " + support::shown_path(target) + ": the picture ends in .svg or .png", 2);
    NetworkFile file;
    if (int rc = load_network(ctx, path, file)) return rc;
    auto module = ctx.load_module();
    Graph graph;
    std::map<const refhost::HostNode *, int> index;
    for (const NetworkFile::Node &entry : file.nodes) {
        const refhost::HostNode &n = *file.network->node(entry.id);
        GraphNode g;
        g.name = entry.name;
        g.server = n.server;
        const QvServerRecord *record = module->find("NodeHandler", n.server);
        const char *display = record != nullptr ? refhost::Module::tag(*record, QV_TAG_DISPLAY_NAME) : nullptr;
        g.display = display != nullptr ? display : n.server;
        for (int c = 0; c < 3; ++c) g.colour[c] = n.colour[c] >= 0 ? n.colour[c] : 90;
        for (const auto &in : n.inputs) g.inputs.push_back({in->name, in->type, in->from ? "" : feed_text(file, *in)});
        for (const auto &o : n.outputs) g.outputs.push_back({o->name, o->type, ""});
        index[&n] = static_cast<int>(graph.nodes.size());
        graph.nodes.push_back(std::move(g));
    }
    for (const NetworkFile::Node &entry : file.nodes) {
        const refhost::HostNode &n = *file.network->node(entry.id);
        for (std::size_t i = 0; i < n.inputs.size(); ++i) {
            const refhost::HostOutput *from = n.inputs[i]->from;
            if (from == nullptr) continue;
            int output = 0;
            for (std::size_t k = 0; k < from->node->outputs.size(); ++k)
                if (from->node->outputs[k].get() == from) output = static_cast<int>(k);
            graph.wires.push_back({index[from->node], output, index[&n], static_cast<int>(i)});
        }
    }
    std::string error;
    if (!write_graph(graph, target, error)) return ctx.fail(support::shown_message(error, target));
    ctx.out << "wrote " << target << "\n";
    return 0;
}

// ---- save -------------------------------------------------------------------------

int save_network(const Context &ctx, const std::string &path, const std::string &scene, bool binary) {
    NetworkFile file;
    if (int rc = load_network(ctx, path, file)) return rc;
    std::string error;
    if (!file.network->save_file(scene, binary ? refhost::SceneForm::binary : refhost::SceneForm::text, error))
        return ctx.fail(support::shown_message(error, scene));
    ctx.out << "wrote " << scene << "\n";
    return 0;
}

}  // namespace qvhost
