// qvhost: loads the module as the application does and lists or evaluates
// its nodes from the command line.
#include "tools/qvhost.h"

#include "refhost/application.h"
#include "refhost/network.h"

#include <CLI/CLI.hpp>

#include <iomanip>
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
    for (const std::string &arg : inputs) {
        const std::size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) {
            err << "qvhost: '" << arg << "' is not INPUT=VALUE\n";
            return 2;
        }
        const std::string name = arg.substr(0, eq);
        const refhost::HostInput *in = node->input(name);
        if (in == nullptr) {
            err << "qvhost: " << server << " has no input \"" << name << "\"\n";
            return 2;
        }
        refhost::Value v;
        if (!refhost::parse_value(in->type, arg.substr(eq + 1), v, error)) {
            err << "qvhost: input \"" << name << "\": " << error << "\n";
            return 2;
        }
        if (net.feed(node->id, name, v, error) == nullptr) {
            err << "qvhost: " << error << "\n";
            return 2;
        }
    }
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
    if (*nodes) return list_nodes(module_path, out, err);
    return evaluate_node(module_path, server, inputs, frame, time, fps, modeler, out, err);
}

}  // namespace qvhost
