// What the commands on one node share: see node_setup.h.
#include "qvhost/commands/node_setup.h"

#include "qvhost/node_info.h"
#include "support/escaped_text.h"

#include <map>

namespace qvhost {

namespace {

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
        const refhost::PanelControl *control = find_control(*panel, node, arg.substr(0, eq), error);
        if (control == nullptr || !set_control(*panel, node, *control, arg.substr(eq + 1), error)) {
            err << "qvhost: " << node.server << ": " << support::shown_message(error) << "\n";
            return 2;
        }
    }
    return 0;
}

}  // namespace

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

refhost::HostNode *prepared_node(const Context &ctx, std::unique_ptr<refhost::Network> &network,
                                 const std::string &server, const std::vector<std::string> &inputs,
                                 const std::vector<std::string> &sets, int &code) {
    code = 1;
    auto module = ctx.load_module();
    if (!module) return nullptr;
    network = std::make_unique<refhost::Network>(module);
    refhost::Network &net = *network;
    std::string error;
    refhost::HostNode *node = net.create(server, error);
    if (node == nullptr) {
        ctx.err << "qvhost: " << support::shown_message(unavailable_node(module, server, error), server) << "\n";
        return nullptr;
    }
    if ((code = feed_inputs(net, *node, inputs, ctx.err)) != 0) return nullptr;
    if ((code = apply_edits(net, *node, sets, ctx.err)) != 0) return nullptr;
    return node;
}

}  // namespace qvhost
