// qvhost's commands on one node: list the nodes, evaluate one with its
// inputs fed, show its option panel, draw its preview.
#include "qvhost/commands/commands.h"

#include "qvhost/pictures/pictures.h"
#include "refhost/application.h"
#include "refhost/draw.h"
#include "refhost/network/network.h"
#include "refhost/panel/xpanel.h"
#include "support/escaped_text.h"

#include <iomanip>
#include <map>
#include <optional>
#include <sstream>

namespace qvhost {

namespace {

int feed_inputs(refhost::Network &net, refhost::HostNode &node, const std::vector<std::string> &inputs,
                std::ostream &err);

}  // namespace

int list_nodes(const Context &ctx) {
    std::ostream &out = ctx.out;
    auto module = ctx.load_module();
    if (!module) return 1;
    out << std::left << std::setw(14) << "server" << std::setw(12) << "display" << std::setw(22) << "group"
        << "available\n";
    for (const QvServerRecord *r : module->servers()) {
        if (std::string(r->server_class) != "NodeHandler") continue;
        refhost::HostNode probe;
        const int rc =
            refhost::activate_handler(*module, r->name, probe, refhost::Application::get().config().handler_version);
        const char *display = refhost::Module::tag(*r, QV_TAG_DISPLAY_NAME);
        const char *group = refhost::Module::tag(*r, QV_TAG_NODE_GROUP);
        out << std::setw(14) << r->name << std::setw(12) << ("\"" + std::string(display ? display : "") + "\"")
            << std::setw(22) << (group ? group : "") << (rc == QV_AFUNC_OK ? "yes" : "no") << "\n";
    }
    return 0;
}

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
        err << "qvhost: " << support::shown_message(error, server) << "\n";
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

namespace {

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
            err << "qvhost: '" << support::shown(arg) << "' is not INPUT=VALUE\n";
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
                err << "qvhost: " << node.server << " has no input \"" << support::shown(name) << "\"\n";
            else
                err << "qvhost: " << node.server << " has " << count << " input" << (count == 1 ? "" : "s")
                    << " named \"" << support::shown(name) << "\", and '" << support::shown(arg)
                    << "' would feed one more\n";
            return 2;
        }
        const refhost::HostInput *in = node.inputs[index].get();
        refhost::Value v;
        if (!refhost::parse_value(in->type, arg.substr(eq + 1), v, error)) {
            err << "qvhost: input \"" << support::shown(name)
                << "\": " << support::shown_message(error, arg.substr(eq + 1)) << "\n";
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
        err << "qvhost: the options of " << node.server << " are not available (activation result " << opening.code
            << ")\n";
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
        if (code == 0)
            err << "qvhost: " << node.server << " has no options to set ('" << support::shown(sets.front()) << "')\n";
        return code != 0 ? code : 2;
    }
    for (const std::string &arg : sets) {
        const std::size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) {
            err << "qvhost: '" << support::shown(arg) << "' is not LABEL=VALUE\n";
            return 2;
        }
        std::string error;
        if (!panel->edit(arg.substr(0, eq), arg.substr(eq + 1), error)) {
            err << "qvhost: " << node.server << ": " << support::shown_message(error, arg.substr(eq + 1)) << "\n";
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

// A node of `server` in `net` with its inputs fed and its options edited as
// the command line says; null, with `code` the exit code, after an error line.
refhost::HostNode *prepared_node(const Context &ctx, refhost::Network &net, const std::string &server,
                                 const std::vector<std::string> &inputs, const std::vector<std::string> &sets,
                                 int &code) {
    std::string error;
    refhost::HostNode *node = net.create(server, error);
    code = 1;
    if (node == nullptr) {
        ctx.err << "qvhost: " << support::shown_message(error, server) << "\n";
        return nullptr;
    }
    if ((code = feed_inputs(net, *node, inputs, ctx.err)) != 0) return nullptr;
    if ((code = apply_edits(net, *node, sets, ctx.err)) != 0) return nullptr;
    return node;
}

}  // namespace

int show_panel(const Context &ctx, const std::string &server, const std::vector<std::string> &sets,
               const std::vector<std::string> &inputs) {
    std::ostream &out = ctx.out, &err = ctx.err;
    auto module = ctx.load_module();
    if (!module) return 1;
    refhost::Network net(module);
    int code = 0;
    refhost::HostNode *node = prepared_node(ctx, net, server, inputs, sets, code);
    if (node == nullptr) return code;
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

int draw_node(const Context &ctx, const std::string &server, const std::vector<std::string> &sets,
              const std::vector<std::string> &inputs, int width, int height, const std::string &png) {
    std::ostream &out = ctx.out, &err = ctx.err;
    auto module = ctx.load_module();
    if (!module) return 1;
    refhost::Network net(module);
    int code = 0;
    refhost::HostNode *node = prepared_node(ctx, net, server, inputs, sets, code);
    if (node == nullptr) return code;
    std::string error;
    net.render_init();
    const refhost::Preview preview = refhost::render_preview(net, node->id, width, height);
    net.render_cleanup();
    if (!preview.ok()) {
        err << "qvhost: " << preview.error << "\n";
        return 1;
    }
    if (!png.empty() && !write_preview(preview, png, error)) {
        err << "qvhost: " << support::shown_message(error, png) << "\n";
        return 1;
    }
    for (const std::string &t : preview.texts()) out << t << "\n";
    return 0;
}

}  // namespace qvhost
