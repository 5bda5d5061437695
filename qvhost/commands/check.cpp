// qvhost check: a network file loaded, its nodes listed with what feeds
// each input and what their panels are set to, and every problem reported.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/node_info.h"
#include "refhost/panel/xpanel.h"
#include "support/escaped_text.h"

#include <iomanip>

namespace qvhost {

namespace {

struct CheckOptions {
    std::string network;
    bool lenient = false;
    std::vector<std::string> settings;

    void declare(CLI::App &c) {
        c.add_option("network", network, "a network file (TOML or a scene file)")->required();
        declare_lenient(c, lenient);
        declare_settings(c, settings);
    }
    bool check(std::string &) { return true; }
    bool cheap() const { return false; }
};

int check_network(const Context &ctx, const CheckOptions &o) {
    const std::string &path = o.network;
    auto module = ctx.load_module();
    if (!module) return 1;
    NetworkFile file;
    std::vector<std::string> problems;
    if (!read_network_file(path, module, file, problems, o.lenient)) {
        for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
        ctx.out << network_file_name(path) << ": " << problems.size() << " problem" << (problems.size() == 1 ? "" : "s") << "\n";
        return 1;
    }
    for (const std::string &setting : ctx.settings)
        if (!apply_setting(ctx, file, setting)) return 2;
    std::ostream &out = ctx.out;
    out << network_file_name(path) << ": " << file.nodes.size() << " node" << (file.nodes.size() == 1 ? "" : "s") << "\n";
    for (const NetworkFile::Node &entry : file.nodes) {
        const refhost::HostNode &n = *file.network->node(entry.id);
        const QvServerRecord *record = module->find("NodeHandler", n.server);
        const char *display = record != nullptr ? refhost::Module::tag(*record, QV_TAG_DISPLAY_NAME) : nullptr;
        out << "  " << support::escaped_text(entry.name) << ": " << n.server << " \"" << (display ? display : "")
            << "\"";
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
                const refhost::PanelControl *control = panel->control(controls[edits[i]].id);
                out << "default " << (control != nullptr ? control_shown(*panel, *control).value_or("?") : "?");
            } else {
                out << "not connected";
            }
            out << "\n";
        }
        for (const auto &o : n.outputs)
            out << "    out " << std::left << std::setw(10) << o->name << refhost::type_name(o->type) << "\n";
        std::string settings;
        for (const std::string &s : panel_settings_text(module, *file.network, n))
            settings += (settings.empty() ? "" : ", ") + s;
        if (!settings.empty()) out << "    panel " << settings << "\n";
    }
    out << "no problems\n";
    return 0;
}

}  // namespace

CommandSetup declare_check(CLI::App &command) { return setup_of<CheckOptions>(command, check_network); }

}  // namespace qvhost
