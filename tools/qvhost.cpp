// qvhost: loads the module as the application does and, from the command
// line, lists or evaluates its nodes, shows their option panels and draws
// their previews.
#include "tools/qvhost.h"

#include "refhost/application.h"
#include "refhost/draw.h"
#include "refhost/network.h"
#include "refhost/xpanel.h"

#include <CLI/CLI.hpp>

#include <iomanip>
#include <map>
#include <optional>
#include <sstream>

namespace qvhost {

namespace {

#ifdef _WIN32
constexpr const char *kModuleFile = "QV_Math_Node.p";
#else
constexpr const char *kModuleFile = "QV_Math_Node.so";
#endif

std::shared_ptr<refhost::Module> load_module(const std::string &path, std::ostream &err) {
    std::string error;
    auto module = refhost::Module::load(path, error);
    if (!module) err << "qvhost: " << error << "\n";
    return module;
}

int list_nodes(const std::string &module_path, std::ostream &out, std::ostream &err) {
    auto module = load_module(module_path, err);
    if (!module) return 1;
    out << std::left << std::setw(14) << "server" << std::setw(12) << "display" << std::setw(22) << "group"
        << "available\n";
    for (const QvServerRecord *r : module->servers()) {
        if (std::string(r->server_class) != "NodeHandler") continue;
        refhost::HostNode probe;
        const int rc = refhost::activate_handler(*module, r->name, probe, refhost::Application::get().config().handler_version);
        const char *display = refhost::Module::tag(*r, QV_TAG_DISPLAY_NAME);
        const char *group = refhost::Module::tag(*r, QV_TAG_NODE_GROUP);
        out << std::setw(14) << r->name << std::setw(12) << ("\"" + std::string(display ? display : "") + "\"")
            << std::setw(22) << (group ? group : "") << (rc == QV_AFUNC_OK ? "yes" : "no") << "\n";
    }
    return 0;
}

int feed_inputs(refhost::Network &net, refhost::HostNode &node, const std::vector<std::string> &inputs,
                std::ostream &err);

int evaluate_node(const std::string &module_path, const std::string &server, const std::vector<std::string> &inputs,
                  int frame, double time, double fps, bool modeler, std::ostream &out, std::ostream &err) {
    auto &app = refhost::Application::get();
    if (modeler) app.config().system_id = QV_SYSTEM_MODELER;
    app.set_frame_rate(fps);
    app.set_time(frame, time);
    auto module = load_module(module_path, err);
    if (!module) return 1;
    refhost::Network net(module);
    std::string error;
    refhost::HostNode *node = net.create(server, error);
    if (node == nullptr) {
        err << "qvhost: " << error << "\n";
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

// Feeds INPUT=VALUE arguments into a node's inputs as connections; a name
// given again feeds the next input of that name (the viewers have several).
// 0, or the exit code after one error line.
int feed_inputs(refhost::Network &net, refhost::HostNode &node, const std::vector<std::string> &inputs,
                std::ostream &err) {
    std::string error;
    std::map<std::string, int> seen;
    for (const std::string &arg : inputs) {
        const std::size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) {
            err << "qvhost: '" << arg << "' is not INPUT=VALUE\n";
            return 2;
        }
        const std::string name = arg.substr(0, eq);
        const int nth = seen[name]++;
        std::size_t index = 0;
        int found = 0, count = 0;
        for (std::size_t k = 0; k < node.inputs.size(); ++k)
            if (node.inputs[k]->name == name && count++ == nth) {
                index = k;
                found = 1;
            }
        if (!found) {
            if (count == 0)
                err << "qvhost: " << node.server << " has no input \"" << name << "\"\n";
            else
                err << "qvhost: " << node.server << " has " << count << " input" << (count == 1 ? "" : "s")
                    << " named \"" << name << "\", and '" << arg << "' would feed one more\n";
            return 2;
        }
        const refhost::HostInput *in = node.inputs[index].get();
        refhost::Value v;
        if (!refhost::parse_value(in->type, arg.substr(eq + 1), v, error)) {
            err << "qvhost: input \"" << name << "\": " << error << "\n";
            return 2;
        }
        if (net.feed_input(node.id, index, v, error) == nullptr) {
            err << "qvhost: " << error << "\n";
            return 2;
        }
    }
    return 0;
}

// Opens the node's option panel; null (and `code` 0) for a node without one,
// null with an error line and a non-zero `code` on failure.
refhost::Panel *open_panel(refhost::Network &net, const refhost::HostNode &node, int &code, std::ostream &err) {
    std::string error;
    const refhost::Network::PanelOpening opening = net.open_panel(node.id, error);
    code = 0;
    if (opening.code < 0) {
        err << "qvhost: " << error << "\n";
        code = 1;
        return nullptr;
    }
    if (opening.code != QV_AFUNC_OK) {
        err << "qvhost: the options of " << node.server << " are not available (activation result "
            << opening.code << ")\n";
        code = 1;
        return nullptr;
    }
    if (opening.panel == nullptr) return nullptr;
    refhost::Panel *panel = refhost::panel_of(opening.panel);
    if (panel == nullptr) {
        err << "qvhost: " << node.server << " answered with a panel the toolkit did not make\n";
        code = 1;
    }
    return panel;
}

// Applies LABEL=VALUE edits through the panel, as the user edits them; 0, or
// the exit code after one error line.
int apply_edits(refhost::Network &net, const refhost::HostNode &node, const std::vector<std::string> &sets,
                std::ostream &err) {
    if (sets.empty()) return 0;
    int code = 0;
    refhost::Panel *panel = open_panel(net, node, code, err);
    if (panel == nullptr) {
        if (code == 0) err << "qvhost: " << node.server << " has no options to set ('" << sets.front() << "')\n";
        return code != 0 ? code : 2;
    }
    for (const std::string &arg : sets) {
        const std::size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) {
            err << "qvhost: '" << arg << "' is not LABEL=VALUE\n";
            return 2;
        }
        std::string error;
        if (!panel->edit(arg.substr(0, eq), arg.substr(eq + 1), error)) {
            err << "qvhost: " << node.server << ": " << error << "\n";
            return 2;
        }
    }
    return 0;
}

std::string hex_id(uint32_t id) {
    std::ostringstream s;
    s << "0x" << std::hex << id;
    return s.str();
}

int show_panel(const std::string &module_path, const std::string &server, const std::vector<std::string> &sets,
               const std::vector<std::string> &inputs, std::ostream &out, std::ostream &err) {
    auto module = load_module(module_path, err);
    if (!module) return 1;
    refhost::Network net(module);
    std::string error;
    refhost::HostNode *node = net.create(server, error);
    if (node == nullptr) {
        err << "qvhost: " << error << "\n";
        return 1;
    }
    if (int rc = feed_inputs(net, *node, inputs, err)) return rc;
    if (int rc = apply_edits(net, *node, sets, err)) return rc;
    int code = 0;
    const refhost::Panel *panel = open_panel(net, *node, code, err);
    if (panel == nullptr) {
        if (code == 0) out << "no options\n";
        return code;
    }
    for (const refhost::PanelControl &c : panel->controls()) {
        if (c.hidden) continue;
        out << (c.label.empty() ? hex_id(c.id) : c.label) << ": ";
        const std::optional<std::string> text = panel->value_text(c.id);
        if (!text) {
            out << "(empty)\n";
            continue;
        }
        if (!c.has_choices) {
            out << *text << "\n";
            continue;
        }
        const std::optional<int32_t> chosen = panel->integer_value(c.id);
        bool marked = false;
        for (std::size_t k = 0; k < c.choices.size(); ++k) {
            const bool is = chosen && *chosen == static_cast<int32_t>(k);
            marked = marked || is;
            out << (k ? " | " : "") << (is ? "[" + c.choices[k] + "]" : c.choices[k]);
        }
        if (!marked) out << " (" << *text << ")";
        out << "\n";
    }
    return 0;
}

int draw_node(const std::string &module_path, const std::string &server, const std::vector<std::string> &sets,
              const std::vector<std::string> &inputs, int width, int height, const std::string &png,
              std::ostream &out, std::ostream &err) {
    auto module = load_module(module_path, err);
    if (!module) return 1;
    refhost::Network net(module);
    std::string error;
    refhost::HostNode *node = net.create(server, error);
    if (node == nullptr) {
        err << "qvhost: " << error << "\n";
        return 1;
    }
    if (int rc = feed_inputs(net, *node, inputs, err)) return rc;
    if (int rc = apply_edits(net, *node, sets, err)) return rc;
    net.render_init();
    const refhost::Preview preview = refhost::render_preview(net, node->id, width, height);
    net.render_cleanup();
    if (!preview.ok()) {
        err << "qvhost: " << preview.error << "\n";
        return 1;
    }
    if (!png.empty() && !refhost::write_preview_png(preview, png, error)) {
        err << "qvhost: " << error << "\n";
        return 1;
    }
    for (const std::string &t : preview.texts()) out << t << "\n";
    return 0;
}

}  // namespace

std::string module_beside(const std::string &argv0) {
    const std::size_t slash = argv0.find_last_of("/\\");
    if (slash == std::string::npos) return kModuleFile;
    return argv0.substr(0, slash + 1) + kModuleFile;
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
        const std::string &default_module) {
    CLI::App app{"qvhost: load the QV Math Node module and list or evaluate its nodes", "qvhost"};
    app.require_subcommand(1);
    std::string module_path = default_module;
    app.add_option("--module", module_path, "module file to load")->check(CLI::ExistingFile);
    uint32_t build = refhost::kDefaultBuild;
    app.add_option("--build", build, "host build number the application reports")->check(CLI::Range(0, 4095));

    auto *nodes = app.add_subcommand("nodes", "list the 92 nodes with display name, node group and availability");

    auto *eval = app.add_subcommand("eval", "create one node, feed its inputs and print every output");
    std::string server;
    std::vector<std::string> inputs;
    int frame = 0;
    double time = 0.0, fps = 30.0;
    bool modeler = false;
    eval->add_option("node", server, "server name, e.g. QvMs_POW")->required();
    eval->add_option("inputs", inputs, "INPUT=VALUE, e.g. In=2 or In1=1,2,3");
    eval->add_option("--frame", frame, "current frame");
    eval->add_option("--time", time, "current time in seconds");
    eval->add_option("--fps", fps, "frames per second of the scene");
    eval->add_flag("--modeler", modeler, "run as the modeller, without scene or time");

    auto *panel = app.add_subcommand("panel", "create one node, feed its inputs and print its option panel");
    std::vector<std::string> sets;
    panel->add_option("node", server, "server name, e.g. QvT_MAPR")->required();
    panel->add_option("inputs", inputs, "INPUT=VALUE: inputs fed (connected) before the panel is read");
    panel->add_option("--set", sets, "LABEL=VALUE: edit a control (label, or id such as 0x8001)")
        ->allow_extra_args(false);

    auto *preview = app.add_subcommand("preview", "draw a node's preview with its inputs fed");
    int width = 128, height = 80;
    std::string png;
    preview->add_option("node", server, "server name, e.g. QvT_VIEW")->required();
    preview->add_option("inputs", inputs,
                        "INPUT=VALUE, e.g. Color=1,0.5,0; a name given again feeds the next input of that name");
    preview->add_option("--set", sets, "LABEL=VALUE: edit an option before drawing, e.g. ShowHex=1")
        ->allow_extra_args(false);
    preview->add_option("--width", width, "preview width in pixels")->check(CLI::Range(1, 4096));
    preview->add_option("--height", height, "preview height in pixels")->check(CLI::Range(1, 4096));
    preview->add_option("--png", png, "write the preview as a PNG image to this file");

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError &e) {
        err << "qvhost: " << e.what() << "\n";
        return 2;
    }
    refhost::Application::get().config().build = build;
    if (*nodes) return list_nodes(module_path, out, err);
    if (*panel) return show_panel(module_path, server, sets, inputs, out, err);
    if (*preview) return draw_node(module_path, server, sets, inputs, width, height, png, out, err);
    return evaluate_node(module_path, server, inputs, frame, time, fps, modeler, out, err);
}

}  // namespace qvhost
