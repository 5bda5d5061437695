// qvhost graph: a network drawn as the node editor shows it, as SVG or PNG.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/node_info.h"
#include "qvhost/commands/output_files.h"
#include "qvhost/pictures/pictures.h"
#include "support/escaped_text.h"

#include <map>

namespace qvhost {

namespace {

struct GraphOptions {
    bool lenient = false;
    std::vector<std::string> settings;  // --set
    std::string network, file;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("network", network, "a network file")->required();
        declare_settings(c, settings);
        c.add_option("-o", file,
                     "the picture: .svg, of any size, or .png, drawn smaller where the network needs more than " +
                         graph_png_limit())
            ->required();
    }
    bool check(std::string &) { return true; }
    bool cheap() const { return false; }
};

int graph_network(const Context &ctx, const GraphOptions &o) {
    const std::string &path = o.network, &target = o.file;
    if (int rc = check_output(ctx, "-o", target, Written::drawing, network_inputs(ctx, path))) return rc;
    NetworkFile file;
    if (int rc = load_network(ctx, path, file, o.lenient)) return rc;
    auto module = ctx.load_module();
    Graph graph;
    std::map<const refhost::HostNode *, int> index;
    for (const NetworkFile::Node &entry : file.nodes) {
        const refhost::HostNode &n = *file.network->node(entry.id);
        GraphNode g;
        g.name = entry.name;
        g.server = n.server;
        const QvServerRecord *record = module->find("NodeHandler", n.server);
        const char *display = record != nullptr ? refhost::Module::tag(*record, QV_TAG_DISPLAY_NAME) : nullptr;
        g.display = display != nullptr ? display : n.server;
        for (int c = 0; c < 3; ++c) g.colour[c] = n.colour[c] >= 0 ? n.colour[c] : 90;
        for (const auto &in : n.inputs) g.inputs.push_back({in->name, in->type, in->from ? "" : feed_text(file, *in)});
        for (const auto &o : n.outputs) g.outputs.push_back({o->name, o->type, ""});
        g.settings = panel_settings_text(module, *file.network, n);
        index[&n] = static_cast<int>(graph.nodes.size());
        graph.nodes.push_back(std::move(g));
    }
    for (const NetworkFile::Node &entry : file.nodes) {
        const refhost::HostNode &n = *file.network->node(entry.id);
        for (std::size_t i = 0; i < n.inputs.size(); ++i) {
            const refhost::HostOutput *from = n.inputs[i]->from;
            if (from == nullptr) continue;
            int output = 0;
            for (std::size_t k = 0; k < from->node->outputs.size(); ++k)
                if (from->node->outputs[k].get() == from) output = static_cast<int>(k);
            graph.wires.push_back({index[from->node], output, index[&n], static_cast<int>(i)});
        }
    }
    std::string error, note;
    if (!write_graph(graph, target, error, &note)) return ctx.fail(shown_path_error(error, target));
    if (!note.empty()) ctx.err << "qvhost: note: " << shown_path_error(note, target) << "\n";
    ctx.out << "wrote " << target << "\n";
    return 0;
}

}  // namespace

CommandSetup declare_graph(CLI::App &command) { return setup_of<GraphOptions>(command, graph_network); }

}  // namespace qvhost
