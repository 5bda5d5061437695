// qvhost nodes: every node of the module with its display name, node group
// and whether this host offers it.
#include "qvhost/commands/commands.h"

#include "refhost/application.h"
#include "refhost/network/network.h"

#include <iomanip>

namespace qvhost {

namespace {

struct NodesOptions {
    void declare(CLI::App &) {}
    bool check(std::string &) { return true; }
    bool cheap() const { return true; }
};

int list_nodes(const Context &ctx, const NodesOptions &) {
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
