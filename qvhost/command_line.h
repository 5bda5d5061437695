// qvhost's command line, parsed and checked before anything runs.  run()
// (qvhost.h) is the two steps below; the command line's fuzz target parses
// only, and runs what is cheap.
#pragma once

#include "qvhost/commands/commands.h"
#include "refhost/application.h"

#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace qvhost {

struct CommandLine {
    std::string module_path;
    uint32_t build = refhost::kDefaultBuild;
    std::set<std::string> refused;  // --refuse: services the application answers with null
    Job job;                        // the command, with its options checked
};

// Parses and checks the arguments (without the program name).  Runs nothing
// and leaves the application's configuration alone.  Returns -1 with `line`
// filled when there is a command to run; otherwise the exit code, after the
// help on `out` (0) or one error line on `err` (2).
int parse_command_line(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
                       const std::string &default_module, CommandLine &line);

// Whether the command line needs a copy of the module of its own: a refused
// service, or a host of another era than the one this process may have shown
// the module before (the module decides its host's era once).
bool needs_own_module(const CommandLine &line);

// Runs a parsed command line: the application reports the build and refuses
// the services named, then the command runs.  Returns the exit code.
int run_command_line(const CommandLine &line, std::ostream &out, std::ostream &err, bool err_is_terminal);

}  // namespace qvhost
