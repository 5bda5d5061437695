// The commands, a row each: name, help, example, and the declaration of its
// options (in the command's own file, which also holds its run).  Adding a
// command is a row here and a file under commands/.
#include "qvhost/commands/commands.h"

namespace qvhost {

CommandSetup declare_nodes(CLI::App &command);
CommandSetup declare_eval(CLI::App &command);
CommandSetup declare_panel(CLI::App &command);
CommandSetup declare_preview(CLI::App &command);
CommandSetup declare_check(CLI::App &command);
CommandSetup declare_plot(CLI::App &command);
CommandSetup declare_render(CLI::App &command);
CommandSetup declare_graph(CLI::App &command);
CommandSetup declare_save(CLI::App &command);
CommandSetup declare_trace(CLI::App &command);
CommandSetup declare_demo(CLI::App &command);
CommandSetup declare_doc(CLI::App &command);

// clang-format off
const CommandRow kCommandTable[] = {
    {"nodes",   "list the nodes with display name, node group and availability",
                "example: qvhost nodes", declare_nodes},
    {"eval",    "evaluate one node with its inputs fed, or outputs of a network",
                "examples:\n  qvhost eval QvMs_POW In=2 Pow=10\n"
                "  qvhost eval examples/demo.qvn.toml wave.Out --frames 0-24 --format csv", declare_eval},
    {"panel",   "create one node, feed its inputs and print its option panel",
                "example: qvhost panel QvT_MAPR --set In=0.5", declare_panel},
    {"preview", "draw a viewer's preview, alone or inside a network",
                "example: qvhost preview QvT_VIEW Scalar=3.14159 -o view.png", declare_preview},
    {"check",   "load a network file, list its nodes and report every problem",
                "example: qvhost check examples/demo.qvn.toml", declare_check},
    {"plot",    "draw scalar outputs of a network over frames or across u",
                "example: qvhost plot examples/motion.qvn.toml slow.Out --frames 0-95 -o motion.png", declare_plot},
    {"render",  "evaluate an output at every pixel and write images",
                "example: qvhost render examples/texture.qvn.toml out.out1 --size 256x256 -o texture.png", declare_render},
    {"graph",   "draw the network as the node editor shows it",
                "example: qvhost graph examples/demo.qvn.toml -o demo.svg", declare_graph},
    {"save",    "write a network as a scene (the application's block form) or a network file",
                "example: qvhost save examples/demo.qvn.toml --scene demo.qvs --binary", declare_save},
    {"trace",   "every value one sample of a network's output goes through, upstream first",
                "example: qvhost trace examples/demo.qvn.toml centre.Out --at 0.25,0.75 --frame 24", declare_trace},
    {"demo",    "render, plot and preview the built-in demo network",
                "example: qvhost demo --out demo", declare_demo},
    {"doc",     "write the node reference: Markdown pages, one HTML page, pictures",
                "examples:\n  qvhost doc --out docs/reference\n"
                "  qvhost --build 1164 doc --out old-host   (as a host of build 1164 sees the module)", declare_doc},
};
// clang-format on
const std::size_t kCommandCount = sizeof kCommandTable / sizeof kCommandTable[0];

}  // namespace qvhost
