// qvhost panel: one node created, its inputs fed and its options edited,
// and its option panel printed as the user sees it.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/node_setup.h"
#include "qvhost/node_info.h"

#include <optional>

namespace qvhost {

namespace {

struct PanelOptions {
    std::string target;
    std::vector<std::string> inputs, sets;

    void declare(CLI::App &c) {
        c.add_option("node", target, "server name, e.g. QvT_MAPR")->required();
        c.add_option("inputs", inputs, "INPUT=VALUE: inputs fed (connected) before the panel is read");
        c.add_option("--set", sets,
                     "CONTROL=VALUE: edit a control, named as this command prints it and a network file's panel "
                     "names it (a percentage as 50 or 50% for one half)")
            ->allow_extra_args(false);
    }
    bool check(std::string &) { return true; }
    bool cheap() const { return !names_a_file(target); }
};

int show_panel(const Context &ctx, const PanelOptions &o) {
    const std::string &server = o.target;
    const std::vector<std::string> &sets = o.sets, &inputs = o.inputs;
    std::ostream &out = ctx.out, &err = ctx.err;
    std::unique_ptr<refhost::Network> network;
    int code = 0;
    refhost::HostNode *node = prepared_node(ctx, network, server, inputs, sets, code);
    if (node == nullptr) return code;
    refhost::Network &net = *network;
    const refhost::Panel *panel = open_panel(net, *node, code, err);
    if (panel == nullptr) {
        if (code == 0) out << "no options\n";
        return code;
    }
    for (const refhost::PanelControl &c : panel->controls()) {
        if (c.hidden) continue;
        out << control_name(*panel, *node, c) << ": ";
        const std::optional<std::string> text = panel->value_text(c.id);
        if (!text) {
            out << "(empty)\n";
            continue;
        }
        if (!c.has_choices) {
            out << control_shown(*panel, c).value_or(*text) << "\n";
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

}  // namespace

CommandSetup declare_panel(CLI::App &command) { return setup_of<PanelOptions>(command, show_panel); }

}  // namespace qvhost
