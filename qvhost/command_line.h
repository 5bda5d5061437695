// qvhost's command line, parsed and checked before anything runs.  run()
// is the two steps below; the command line's fuzz target parses only, and
// runs what is cheap.
#pragma once

#include "refhost/application.h"
#include "qvhost/commands/commands.h"

#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace qvhost {

enum class Command { nodes, eval, panel, preview, check, plot, render, graph, save, demo, doc };

struct CommandLine {
    Command command = Command::nodes;
    std::string module_path;
    uint32_t build = refhost::kDefaultBuild;
    std::set<std::string> refused;  // --refuse: services the application answers with null
    std::string target;             // the node's server name or the network file
    std::vector<std::string> rest;  // INPUT=VALUE, NODE.OUTPUT or the viewer's name
    std::vector<std::string> sets;  // --set LABEL=VALUE
    FrameSpan span;
    bool frames_given = false;
    double u = 0.5, v = 0.5, lo = 0.0, hi = 1.0, time = 0.0;
    int width = 128, height = 80, threads = 0;
    std::string format = "table", over, png, output, pattern, graph_file, scene, out_dir = "qvhost-demo";
    std::string doc_dir;  // doc --out: where the node reference goes
    bool modeler = false, quiet = false, binary = false;
};

// Parses and checks the arguments (without the program name).  Runs nothing
// and leaves the application's configuration alone.  Returns -1 with `line`
// filled when there is a command to run; otherwise the exit code, after the
// help on `out` (0) or one error line on `err` (2).
int parse_command_line(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
                       const std::string &default_module, CommandLine &line);

// Runs a parsed command line: the application reports the build and refuses
// the services named, then the command runs.  Returns the exit code.
int run_command_line(const CommandLine &line, std::ostream &out, std::ostream &err, bool err_is_terminal);

}  // namespace qvhost
