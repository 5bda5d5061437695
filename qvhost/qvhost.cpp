// qvhost: the headless node editor.  It loads the module as the application
// does and, from the command line, lists, evaluates and draws its nodes one
// at a time, and checks, evaluates, plots, renders, draws and saves whole
// node networks written in files, and writes the node reference.
#include "qvhost/qvhost.h"

#include "qvhost/command_line.h"
#include "qvhost/commands/commands.h"
#include "qvhost/options.h"
#include "qvhost/version.h"
#include "refhost/application.h"
#include "refhost/module_loader.h"
#include "support/escaped_text.h"

#include <CLI/CLI.hpp>

#include <csignal>

namespace qvhost {

namespace {

using refhost::kModuleFile;

const char *const kCommands[] = {"nodes",  "eval",  "panel", "preview", "check", "plot",
                                 "render", "graph", "save",  "demo",    "doc"};

std::string command_list() {
    std::string s;
    for (const char *c : kCommands) s += (s.empty() ? "" : ", ") + std::string(c);
    return s;
}

// Ctrl-C during a long job: the job stops between rows and writes nothing
// half done.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
extern "C" void on_interrupt(int) { g_interrupted.store(true); }

class InterruptScope {
public:
    InterruptScope() {
        g_interrupted.store(false);
        previous_ = std::signal(SIGINT, on_interrupt);
    }
    ~InterruptScope() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;

private:
    void (*previous_)(int);
};

// The command a command line names: the first word that is not an option
// (or an option's value) of the program itself.
std::string named_command(const std::vector<std::string> &args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--module" || a == "--build" || a == "--refuse") {
            ++i;
            continue;
        }
        if (!a.empty() && a[0] == '-') continue;
        return a;
    }
    return "";
}

// A network is named by a file; a node by its server name, which has no
// "." or "/".
bool names_a_file(const std::string &target) { return target.find_first_of("./\\") != std::string::npos; }

// The options every network command shares, as given, and their checks.
struct OptionTexts {
    std::string frames, frame, fps = "30", at = "0.5,0.5", size, threads = "0", range = "0,1", time = "0";
    std::string width = "128", height = "80";

    bool check(CommandLine &line, bool size_given, std::string &error) const {
        FrameSpan &span = line.span;
        if (!parse_number("--fps", fps, "a frame rate", kFrameRates, span.fps, error)) return false;
        if (line.frames_given) {
            if (!parse_frames("--frames", frames, span.first, span.last, error)) return false;
        } else {
            long long f = 0;
            if (!parse_integer("--frame", frame.empty() ? "0" : frame, "a frame", -kMaxFrame, kMaxFrame, f, error))
                return false;
            span.first = span.last = static_cast<int>(f);
        }
        if (!parse_pair("--at", at, "a position", Range{-1e6, 1e6}, line.u, line.v, error)) return false;
        if (!parse_pair("--range", range, "a value", Range{-1e300, 1e300}, line.lo, line.hi, error)) return false;
        if (!parse_number("--time", time, "a time in seconds", Range{-1e9, 1e9}, line.time, error)) return false;
        long long t = 0, w = 0, h = 0;
        if (!parse_integer("--threads", threads, "a number of threads", 0, 256, t, error)) return false;
        if (!parse_integer("--width", width, "a width in pixels", 1, 4096, w, error)) return false;
        if (!parse_integer("--height", height, "a height in pixels", 1, 4096, h, error)) return false;
        line.threads = static_cast<int>(t);
        line.width = static_cast<int>(w);
        line.height = static_cast<int>(h);
        if (size_given && !parse_size("--size", size, 8192, line.width, line.height, error)) return false;
        return true;
    }
};

// The service names the application offers, for --refuse.
bool known_service(const std::string &name) {
    for (const QvServiceName &row : qv_service_names)
        if (name == row.name) return true;
    return false;
}

std::string service_list() {
    std::string s;
    for (const QvServiceName &row : qv_service_names) s += (s.empty() ? "\"" : ", \"") + std::string(row.name) + "\"";
    return s;
}

}  // namespace

std::shared_ptr<refhost::Module> Context::load_module() const {
    std::string error;
    auto module = refhost::Module::load(module_path, error, fresh_module);
    if (!module) err << "qvhost: " << support::shown_message(error, module_path) << "\n";
    return module;
}

int Context::fail(const std::string &message, int code) const {
    err << "qvhost: " << message << "\n";
    return code;
}

std::string module_beside(const std::string &argv0) {
    const std::size_t slash = argv0.find_last_of("/\\");
    if (slash == std::string::npos) return kModuleFile;
    return argv0.substr(0, slash + 1) + kModuleFile;
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, const std::string &default_module) {
    return run(args, out, err, default_module, false);
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, const std::string &default_module,
        bool err_is_terminal) {
    CommandLine line;
    const int code = parse_command_line(args, out, err, default_module, line);
    if (code >= 0) return code;
    return run_command_line(line, out, err, err_is_terminal);
}

int parse_command_line(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
                       const std::string &default_module, CommandLine &line) {
    CLI::App app{"qvhost: the headless node editor for the QV Math Node module", "qvhost"};
    app.require_subcommand(1);
    // A word starting with "/" is a file ("/tmp/net.qvn.toml"), not a
    // Windows-style option, also in the Windows builds.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("qvhost ") + kVersion + " (" + kProductName + ")");
    line.module_path = default_module;
    std::string build = std::to_string(refhost::kDefaultBuild);
    std::vector<std::string> refused;
    app.add_option("--module", line.module_path, "module file to load");
    app.add_option("--build", build, "host build number the application reports (0 to 4095)");
    app.add_option("--refuse", refused, "a service the application answers with null, e.g. LWXPanel (repeatable)")
        ->allow_extra_args(false);
    OptionTexts o;
    std::string &target = line.target, &format = line.format, &png = line.png;
    std::vector<std::string> &rest = line.rest, &sets = line.sets;

    auto *nodes = app.add_subcommand("nodes", "list the 92 nodes with display name, node group and availability");
    nodes->footer("example: qvhost nodes");

    auto *eval = app.add_subcommand("eval", "evaluate one node with its inputs fed, or outputs of a network");
    eval->add_option("target", target, "a server name (QvMs_POW) or a network file (net.qvn.toml)")->required();
    eval->add_option("values", rest, "for a node: INPUT=VALUE; for a network: NODE.OUTPUT ...");
    eval->add_option("--frame", o.frame, "the frame");
    auto *eval_frames = eval->add_option("--frames", o.frames, "network: frames A-B, one row each");
    eval->add_option("--time", o.time, "node: the current time in seconds");
    eval->add_option("--fps", o.fps, "frames per second of the scene");
    eval->add_option("--at", o.at, "network: the sample's u,v");
    eval->add_option("--format", format, "network: table, csv or json");
    eval->add_flag("--modeler", line.modeler, "node: run as the modeller, without scene or time");
    eval->footer(
        "examples:\n  qvhost eval QvMs_POW In=2 Pow=10\n"
        "  qvhost eval examples/demo.qvn.toml wave.Out --frames 0-24 --format csv");

    auto *panel = app.add_subcommand("panel", "create one node, feed its inputs and print its option panel");
    panel->add_option("node", target, "server name, e.g. QvT_MAPR")->required();
    panel->add_option("inputs", rest, "INPUT=VALUE: inputs fed (connected) before the panel is read");
    panel->add_option("--set", sets, "LABEL=VALUE: edit a control (label, or id such as 0x8001)")
        ->allow_extra_args(false);
    panel->footer("example: qvhost panel QvT_MAPR --set In=0.5");

    auto *preview = app.add_subcommand("preview", "draw a viewer's preview, alone or inside a network");
    preview->add_option("target", target, "a server name (QvT_VIEW) or a network file")->required();
    preview->add_option("values", rest,
                        "for a node: INPUT=VALUE (a name given again feeds the next input of that name); "
                        "for a network: the viewer node's name");
    preview->add_option("--set", sets, "LABEL=VALUE: edit an option before drawing, e.g. ShowHex=1")
        ->allow_extra_args(false);
    preview->add_option("--width", o.width, "preview width in pixels");
    preview->add_option("--height", o.height, "preview height in pixels");
    preview->add_option("--png", png, "write the preview as a PNG image to this file");
    preview->add_option("--frame", o.frame, "network: the frame");
    preview->add_option("--fps", o.fps, "network: frames per second");
    preview->footer("example: qvhost preview QvT_VIEW Scalar=3.14159 --png view.png");

    auto *check = app.add_subcommand("check", "load a network file, list its nodes and report every problem");
    check->add_option("network", target, "a network file (TOML or a scene file)")->required();
    check->footer("example: qvhost check examples/demo.qvn.toml");

    auto *plot = app.add_subcommand("plot", "draw scalar outputs of a network over frames or across u");
    plot->add_option("network", target, "a network file")->required();
    plot->add_option("outputs", rest, "NODE.OUTPUT ...")->required();
    auto *plot_frames = plot->add_option("--frames", o.frames, "frames A-B along the x axis");
    plot->add_option("--over", line.over, "u: across u from 0 to 1 (at --frame, v from --at)");
    plot->add_option("--frame", o.frame, "the frame of a plot over u");
    plot->add_option("--fps", o.fps, "frames per second");
    plot->add_option("--at", o.at, "u,v: v of a plot over u");
    auto *plot_size = plot->add_option("--size", o.size, "WxH of the picture (default 800x480)");
    plot->add_option("--png", png, "the picture (.png or .svg)")->required();
    plot->footer("example: qvhost plot examples/motion.qvn.toml noise.Out --frames 0-95 --png noise.png");

    auto *render = app.add_subcommand("render", "evaluate an output at every pixel and write images");
    render->add_option("network", target, "a network file")->required();
    render->add_option("output", line.output, "NODE.OUTPUT")->required();
    auto *render_size = render->add_option("--size", o.size, "WxH in pixels")->required();
    auto *render_frames = render->add_option("--frames", o.frames, "frames A-B, an image each");
    render->add_option("--frame", o.frame, "the frame");
    render->add_option("--fps", o.fps, "frames per second");
    render->add_option("--threads", o.threads, "threads (default: every core)");
    render->add_option("--range", o.range, "LO,HI: the scalar values shown black to white (default 0,1)");
    render->add_option("-o", line.pattern, "the image file (.png or .exr); %04d stands for the frame")->required();
    render->add_flag("--quiet", line.quiet, "no progress on stderr");
    render->footer("example: qvhost render examples/texture.qvn.toml out.Out --size 256x256 -o texture.png");

    auto *graph = app.add_subcommand("graph", "draw the network as the node editor shows it");
    graph->add_option("network", target, "a network file")->required();
    graph->add_option("-o", line.graph_file, "the picture (.svg or .png)")->required();
    graph->footer("example: qvhost graph examples/demo.qvn.toml -o demo.svg");

    auto *save = app.add_subcommand("save", "write a network in the application's scene block form");
    save->add_option("network", target, "a network file")->required();
    save->add_option("--scene", line.scene, "the scene file to write")->required();
    save->add_flag("--binary", line.binary, "the binary form instead of the text form");
    save->footer("example: qvhost save examples/demo.qvn.toml --scene demo.qvs --binary");

    auto *demo = app.add_subcommand("demo", "render, plot and preview the built-in demo network");
    demo->add_option("--out", line.out_dir, "the directory to write into");
    demo->footer("example: qvhost demo --out demo");

    auto *doc = app.add_subcommand("doc", "write the node reference: Markdown pages, one HTML page, pictures");
    doc->add_option("--out", line.doc_dir, "the directory to write into")->required();
    doc->footer(
        "examples:\n  qvhost doc --out docs/reference\n"
        "  qvhost --build 1164 doc --out old-host   (as a host of build 1164 sees the module)");

    const std::string command = named_command(args);
    bool known = command.empty();
    for (const char *c : kCommands) known = known || command == c;
    if (!known) {
        err << "qvhost: unknown command \"" << support::shown(command) << "\" (commands: " << command_list() << ")\n";
        return 2;
    }

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion &e) {
        out << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError &e) {
        if (command.empty()) {
            err << "qvhost: a command is required (commands: " << command_list() << ")\n";
            return 2;
        }
        err << "qvhost: " << support::shown(e.what()) << "\n";
        return 2;
    }

    std::string error;
    auto usage = [&](const std::string &message) {
        err << "qvhost: " << message << "\n";
        return 2;
    };
    long long build_value = 0;
    if (!parse_integer("--build", build, "a build number", 0, 4095, build_value, error)) return usage(error);
    line.build = static_cast<uint32_t>(build_value);
    for (const std::string &name : refused) {
        if (!known_service(name))
            return usage("--refuse: \"" + support::shown(name) +
                         "\" is not a service of the application (services: " + service_list() + ")");
        line.refused.insert(name);
    }
    line.frames_given = *eval_frames || *plot_frames || *render_frames;
    if (!o.check(line, *plot_size || *render_size, error)) return usage(error);

    const struct {
        CLI::App *sub;
        Command command;
    } kSubcommands[] = {
        {nodes, Command::nodes}, {eval, Command::eval}, {panel, Command::panel},   {preview, Command::preview},
        {check, Command::check}, {plot, Command::plot}, {render, Command::render}, {graph, Command::graph},
        {save, Command::save},   {demo, Command::demo}, {doc, Command::doc},
    };
    for (const auto &s : kSubcommands)
        if (s.sub->parsed()) line.command = s.command;

    if (line.command == Command::preview && names_a_file(target) && rest.size() != 1)
        return usage("preview NETWORK NODE: name one viewer node of the network");
    if (line.command == Command::eval && names_a_file(target) && rest.empty())
        return usage("eval NETWORK NODE.OUTPUT...: name at least one output");
    if (line.command == Command::plot) {
        if (!line.over.empty() && line.over != "u")
            return usage("--over: \"" + support::shown(line.over) + "\" is not u");
        if (line.over.empty() && !line.frames_given) return usage("plot: give --frames A-B or --over u");
        if (!*plot_size) line.width = 800, line.height = 480;
    }
    return -1;
}

int run_command_line(const CommandLine &line, std::ostream &out, std::ostream &err, bool err_is_terminal) {
    Context ctx{out, err, line.module_path, err_is_terminal, line.quiet, &g_interrupted, !line.refused.empty()};
    refhost::HostConfig &config = refhost::Application::get().config();
    config.build = line.build;
    config.withheld = line.refused;
    const std::string &target = line.target;
    const FrameSpan &span = line.span;

    switch (line.command) {
    case Command::nodes: return list_nodes(ctx);
    case Command::panel: return show_panel(ctx, target, line.sets, line.rest);
    case Command::preview:
        if (!names_a_file(target))
            return draw_node(ctx, target, line.sets, line.rest, line.width, line.height, line.png);
        return preview_in_network(ctx, target, line.rest[0], span.first, span.fps, line.width, line.height, line.png);
    case Command::eval:
        if (!names_a_file(target))
            return eval_node(ctx, target, line.rest, span.first, line.time, span.fps, line.modeler);
        return eval_network(ctx, target, line.rest, span, line.u, line.v, line.format);
    case Command::check: return check_network(ctx, target);
    case Command::plot:
        return plot_network(ctx, target, line.rest, span, !line.over.empty(), line.v, line.width, line.height,
                            line.png);
    case Command::render: {
        InterruptScope interrupt;
        return render_network(ctx, target, line.output, line.width, line.height, span, line.threads, line.lo, line.hi,
                              line.pattern);
    }
    case Command::graph: return graph_network(ctx, target, line.graph_file);
    case Command::save: return save_network(ctx, target, line.scene, line.binary);
    case Command::demo: {
        InterruptScope interrupt;
        return run_demo(ctx, line.out_dir);
    }
    case Command::doc: return write_reference(ctx, line.doc_dir);
    }
    return 2;
}

}  // namespace qvhost
