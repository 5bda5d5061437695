// qvhost nodes: every node of the module with its display name, node group
// and whether this host offers it; `nodes NAME` describes one node: its
// inputs with types and defaults, its outputs, its panel's controls with
// the names a network file uses and their choices, and the hosts that offer it.
#include "qvhost/commands/commands.h"

#include "qvhost/network_toml.h"
#include "qvhost/node_info.h"
#include "refhost/application.h"
#include "refhost/network/network.h"
#include "support/escaped_text.h"

#include <algorithm>
#include <iomanip>

namespace qvhost {

namespace {

struct NodesOptions {
    std::string name;

    void declare(CLI::App &c) { c.add_option("name", name, "a node's server name (QvT_MAPR): describe that node"); }
    bool check(std::string &) { return true; }
    bool cheap() const { return true; }
};

// The hosts a node may be offered by, a build of each that the host plays.
// clang-format off
const struct {
    uint32_t build;
    const char *hosts;
} kHostRows[] = {
    {QV_LAST_BUILD_WITHOUT_MATERIAL_NODES, "builds up to 1164"},
    {refhost::kDefaultBuild,               "builds 1165 to 3226"},
    {refhost::kBuild2020,                  "2018 and later (build 3227 on)"},
};
// clang-format on

std::string choices_text(const ControlInfo &c) {
    std::string s;
    for (const std::string &choice : c.choices) s += (s.empty() ? "" : " | ") + ("\"" + choice + "\"");
    return s;
}

// A control's value as a file sets it: a choice by its text, a check box
// as on or off.
std::string shown_value(const ControlInfo &c) {
    if (!c.choices.empty()) {
        for (std::size_t k = 0; k < c.choices.size(); ++k)
            if (c.value == std::to_string(k)) return "\"" + c.choices[k] + "\"";
    }
    if (c.cls == "iBoolean") return c.value == "0" ? "off" : "on";
    return c.value;
}

// Whether the host of each row offers the server: asked of a copy of the
// module of its own, which decides its host's era once.
std::string offering_hosts(const Context &ctx, const std::string &server) {
    refhost::HostConfig &config = refhost::Application::get().config();
    const refhost::HostConfig saved = config;
    std::string text;
    for (const auto &row : kHostRows) {
        config.play_build(row.build);
        std::string error;
        const auto module = refhost::Module::load(ctx.module_path, error, true);
        refhost::HostNode probe;
        const bool offered =
            module && refhost::activate_handler(*module, server, probe, config.handler_version) == QV_AFUNC_OK;
        text += std::string(text.empty() ? "" : "; ") + row.hosts + ": " + (offered ? "yes" : "no");
    }
    config = saved;
    return text;
}

int describe_one(const Context &ctx, const std::string &server) {
    auto module = ctx.load_module();
    if (!module) return 1;
    NodeInfo info;
    std::string error;
    if (!describe_node(module, server, info, error)) return ctx.fail(support::shown_message(error, server));
    std::ostream &out = ctx.out;
    out << info.server << "  \"" << info.display << "\"  " << info.group << "\n";
    std::size_t width = 6;
    for (const PortInfo &p : info.inputs) width = std::max(width, p.name.size());
    for (const PortInfo &p : info.outputs) width = std::max(width, p.name.size());
    out << "inputs:" << (info.inputs.empty() ? " none" : "") << "\n";
    for (const PortInfo &p : info.inputs) {
        out << "  " << std::left << std::setw(static_cast<int>(width + 2)) << p.name;
        if (p.control >= 0)
            out << std::setw(9) << refhost::type_name(p.type) << "default "
                << info.controls[static_cast<std::size_t>(p.control)].value << "\n";
        else
            out << refhost::type_name(p.type) << "\n";
    }
    out << "outputs:" << (info.outputs.empty() ? " none" : "") << "\n";
    for (const PortInfo &p : info.outputs)
        out << "  " << std::left << std::setw(static_cast<int>(width + 2)) << p.name << refhost::type_name(p.type)
            << "\n";
    out << "panel:" << (info.controls.empty() ? " none" : "") << "\n";
    std::size_t name_width = 4;
    for (std::size_t k = 0; k < info.controls.size(); ++k)
        name_width = std::max(name_width, info.controls[k].name.size());
    for (std::size_t k = 0; k < info.controls.size(); ++k) {
        const ControlInfo &c = info.controls[k];
        out << "  " << std::left << std::setw(static_cast<int>(name_width + 2)) << info.controls[k].name
            << std::setw(12) << c.cls;
        out << shown_value(c);
        if (!c.choices.empty()) out << " (choices: " << choices_text(c) << ")";
        if (c.hidden) out << " (hidden)";
        out << "\n";
    }
    out << "hosts: " << offering_hosts(ctx, server) << "\n";
    return 0;
}

int list_nodes(const Context &ctx, const NodesOptions &o) {
    if (!o.name.empty()) return describe_one(ctx, o.name);
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

}  // namespace

CommandSetup declare_nodes(CLI::App &command) { return setup_of<NodesOptions>(command, list_nodes); }

}  // namespace qvhost
