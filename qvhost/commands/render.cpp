// qvhost render: an output of a network evaluated at every pixel, an image
// a frame (PNG or OpenEXR by the extension), with progress on stderr.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/commands/output_files.h"
#include "qvhost/node_info.h"
#include "qvhost/pictures/pictures.h"
#include "refhost/network/render.h"
#include "support/escaped_text.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <map>
#include <mutex>
#include <sstream>

namespace qvhost {

// The renderer's names, as this file uses them.
using refhost::frame_time;
using refhost::render_grid;
using refhost::RenderControl;
using refhost::start_frame;
using refhost::value_channels;

namespace {

using Clock = std::chrono::steady_clock;

struct RenderOptions {
    bool lenient = false;
    std::vector<std::string> settings;  // --set
    bool again = false;                 // --no-memo
    std::string wedge_text;
    Wedge wedge;
    std::string network, output, size, frames, frame, fps = "30", threads = "0", range, pattern, exr_type_name;
    ExrType exr_type = ExrType::float32;
    bool quiet = false;
    CLI::Option *frames_option = nullptr, *range_option = nullptr;
    FrameSpan span;
    int width = 0, height = 0, thread_count = 0;
    std::optional<ValueRange> shown_range;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("network", network, "a network file")->required();
        declare_settings(c, settings);
        declare_again(c, again);
        declare_wedge(c, wedge_text);
        c.add_option("output", output, "NODE.OUTPUT")->required();
        c.add_option("--size", size, "WxH in pixels")->required();
        frames_option = c.add_option("--frames", frames, "frames A-B, an image each");
        c.add_option("--frame", frame, "the frame");
        c.add_option("--fps", fps, "frames per second");
        c.add_option("--threads", threads, "threads (default: every core)");
        range_option = c.add_option("--range", range,
                                    "LO,HI: the values a PNG shows from black to full brightness, on every channel "
                                    "(default: -1,1 for a vector; 0,1 for a scalar, an integer or a colour)");
        c.add_option("-o", pattern,
                     "the image file (.png or .exr); %d stands for the frame, with a width where wanted (%04d)")
            ->required();
        c.add_option("--exr-type", exr_type_name, exr_type_help());
        c.add_flag("--quiet", quiet, "no progress on stderr");
    }
    // The types and what each holds, from their table.
    static std::string exr_type_help() {
        std::string help = "an EXR's channels:";
        for (const ExrTypeRow &row : kExrTypes)
            help += std::string(" ") + row.name + (row.type == ExrType::float32 ? " (the default, " : " (") +
                    row.limits + ")" + (row.type == ExrType::float32 ? " or" : "");
        return help + "; a value the type cannot hold is written with a warning";
    }
    bool check(std::string &error) {
        if (!parse_frame_span(fps, frames_option->count() > 0, frames, frame, span, error)) return false;
        if (range_option->count()) {
            double lo = 0.0, hi = 1.0;
            if (!parse_pair("--range", range, "a value", Range{-1e300, 1e300}, lo, hi, error)) return false;
            if (lo == hi) {
                error = "--range: \"" + support::shown(range) + "\" is empty: LO and HI must differ";
                return false;
            }
            shown_range = ValueRange{lo, hi};
        }
        if (!exr_type_name.empty() && !exr_type_from_name(exr_type_name, exr_type)) {
            error = "--exr-type: \"" + support::shown(exr_type_name) + "\" is not a type (float, half)";
            return false;
        }
        if (!exr_type_name.empty() && picture_format(pattern) != PictureFormat::exr) {
            error = "--exr-type: -o " + support::shown_path(pattern) + " is not an EXR image";
            return false;
        }
        long long t = 0;
        if (!parse_integer("--threads", threads, "a number of threads", 0, 256, t, error)) return false;
        thread_count = static_cast<int>(t);
        if (!parse_wedge(wedge_text, wedge, error)) return false;
        return parse_size("--size", size, 8192, width, height, error);
    }
    bool cheap() const { return false; }
};

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
            if (frame_index + 1 == frames_) clear();
            return;
        }
        ctx_.err << "frame " << frame << ": " << samples << " samples in " << std::fixed << std::setprecision(3)
                 << seconds << " s\n";
    }

    void set_width(int width) { width_ = width; }

    // Takes the bar off the terminal's line, so that what follows starts on
    // a clean one.
    void clear() {
        if (ctx_.quiet || !ctx_.err_is_terminal) return;
        std::lock_guard<std::mutex> lock(mutex_);
        ctx_.err << "\r\x1b[K" << std::flush;
    }

private:
    const Context &ctx_;
    int frames_, rows_, width_ = 0;
    double samples_before_ = 0;
    Clock::time_point start_, last_;
    std::mutex mutex_;
};

// The widest frame number a pattern may ask for: a file name never holds more.
constexpr int kMaxFrameWidth = 4096;

// The file name of each frame: the pattern's one %d, with the flags 0 and -
// and a width as printf takes them (%04d, %40d), stands for the frame.
struct FramePattern {
    std::string before, conversion, after;  // conversion: "%04d", or "" for a pattern without one

    std::string file(int frame) const {
        if (conversion.empty()) return before;
        std::vector<char> number(static_cast<std::size_t>(std::snprintf(nullptr, 0, conversion.c_str(), frame)) + 1);
        std::snprintf(number.data(), number.size(), conversion.c_str(), frame);
        return before + number.data() + after;
    }
};

bool parse_frame_pattern(const std::string &pattern, bool many, FramePattern &out, std::string &error) {
    const std::size_t pct = pattern.find('%');
    if (pct == std::string::npos) {
        if (many) {
            error = "-o " + support::shown_path(pattern) + ": several frames need a %04d in the file name";
            return false;
        }
        out.before = pattern;
        return true;
    }
    std::size_t d = pct + 1;
    while (d < pattern.size() && (pattern[d] == '0' || pattern[d] == '-')) ++d;
    const std::size_t width_start = d;
    while (d < pattern.size() && pattern[d] >= '0' && pattern[d] <= '9') ++d;
    if (d >= pattern.size() || pattern[d] != 'd' || pattern.find('%', d) != std::string::npos) {
        error = "-o " + support::shown_path(pattern) +
                ": the only % form is one %d for the frame, with a width where wanted (%04d)";
        return false;
    }
    const std::string width = pattern.substr(width_start, d - width_start);
    if (width.size() > 4 || (!width.empty() && std::stoi(width) > kMaxFrameWidth)) {
        error =
            "-o " + support::shown_path(pattern) + ": the frame's width is at most " + std::to_string(kMaxFrameWidth);
        return false;
    }
    out.before = pattern.substr(0, pct);
    out.conversion = pattern.substr(pct, d - pct + 1);
    out.after = pattern.substr(d + 1);
    return true;
}

// Checks every frame's file before anything is rendered: each may be
// written, and no two frames land on one file.  0, or the exit code.
int check_frame_files(const Context &ctx, const FramePattern &pattern, const FrameSpan &frames,
                      const std::vector<std::string> &inputs) {
    std::map<std::string, int> frame_of_target;
    for (int f = frames.first; f <= frames.last; ++f) {
        std::string target;
        if (int rc = check_output(ctx, "-o", pattern.file(f), Written::image, inputs, &target)) return rc;
        const std::string key = std::filesystem::absolute(target).lexically_normal().string();
        const auto [at, added] = frame_of_target.emplace(key, f);
        if (!added)
            return ctx.fail("-o " + support::shown_path(pattern.before + pattern.conversion + pattern.after) +
                                ": frames " + std::to_string(at->second) + " and " + std::to_string(f) +
                                " would both be written to " + support::shown_path(target),
                            2);
    }
    return 0;
}

int run_render(const Context &ctx, const RenderOptions &o) {
    Context job{ctx.out,      ctx.err, ctx.module_path, ctx.err_is_terminal, o.quiet, ctx.cancel, ctx.fresh_module,
                ctx.settings, {}};
    if (!o.wedge.given())
        return render_network(job, o.network, o.output, o.width, o.height, o.span, o.thread_count, o.shown_range,
                              o.pattern, o.lenient, o.exr_type);
    // A wedge: an image (or a run of frames) for each value.
    for (std::size_t k = 0; k < o.wedge.values.size(); ++k) {
        Context value = job;
        value.wedge = o.wedge.setting(k);
        if (int rc = render_network(value, o.network, o.output, o.width, o.height, o.span, o.thread_count,
                                    o.shown_range, wedge_path(o.pattern, k), o.lenient, o.exr_type))
            return rc;
    }
    return 0;
}

}  // namespace

int render_network(const Context &ctx, const std::string &path, const std::string &name, int width, int height,
                   const FrameSpan &frames, int threads, const std::optional<ValueRange> &range,
                   const std::string &pattern, bool lenient, ExrType exr_type) {
    std::string error;
    FramePattern files;
    if (!parse_frame_pattern(pattern, frames.last > frames.first, files, error)) return ctx.fail(error, 2);
    if (int rc = check_frame_files(ctx, files, frames, network_inputs(ctx, path))) return rc;
    const PictureFormat format = picture_format(pattern);
    NetworkFile file;
    if (int rc = load_network(ctx, path, file, lenient)) return rc;
    std::vector<OutputRef> outputs;
    if (!resolve_all(ctx, file, {name}, outputs)) return 2;
    const OutputRef &output = outputs[0];
    if (value_channels(output.output->type) == 0)
        return ctx.fail(file.source + ": " + support::shown(output.text) + " is a " +
                            refhost::type_name(output.output->type) +
                            " output; an image holds scalar, integer, colour and vector outputs",
                        2);

    // More threads than the machine runs at once would only wait for each
    // other (and oneTBB would refuse them with a warning of its own).
    if (const int cores = refhost::available_threads(); threads > cores) {
        if (!ctx.quiet)
            ctx.err << "qvhost: --threads " << threads << ": this machine runs " << cores
                    << " threads at once; rendering on " << cores << "\n";
        threads = cores;
    }

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
        control.reuse = net.reuses();
        control.cancel = ctx.cancel;
        if (format == PictureFormat::exr) control.cannot_hold = exr_type_row(exr_type).cannot_hold;
        const int index = f - frames.first;
        control.on_row = [&](int rows) { progress.row(index, rows); };
        ValueImage image;
        const std::string file_path = files.file(f);
        if (!render_grid(output.network(), *output.output, output.text, width, height, frame_time(f, frames.fps), f,
                         control, image, error)) {
            progress.clear();
            code = error == "interrupted"
                       ? ctx.fail("interrupted: " + support::shown_path(file_path) + " was not written", kInterrupted)
                       : ctx.fail(error);
            break;
        }
        if (!write_value_image(image, range ? *range : default_range(image), file_path, error, exr_type)) {
            code = ctx.fail(shown_path_error(error, file_path));
            break;
        }
        if (format == PictureFormat::exr && image.unheld_count > 0) {
            progress.clear();
            ctx.err << "qvhost: warning: " << exr_unheld_warning(image, exr_type, file_path) << "\n";
        }
        progress.frame(index, f, std::chrono::duration<double>(Clock::now() - t0).count(),
                       static_cast<long long>(width) * height);
        ctx.out << "wrote " << file_path << "\n" << std::flush;  // a script may follow each frame
    }
    net.render_cleanup();
    return code;
}

CommandSetup declare_render(CLI::App &command) { return setup_of<RenderOptions>(command, run_render); }

}  // namespace qvhost
