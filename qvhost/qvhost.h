// The qvhost command line, callable in-process so tests can drive it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qvhost {

// Runs qvhost with the given arguments (without the program name); writes
// results to out and one-line errors to err; returns the exit code (0 done,
// 1 the job failed, 2 a usage error).  `default_module` is the module loaded
// when --module is not given; with `err_is_terminal` progress is drawn as a
// bar rather than a line per frame.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, const std::string &default_module);
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, const std::string &default_module,
        bool err_is_terminal);

// The module file beside the running executable.
std::string module_beside(const std::string &argv0);

}  // namespace qvhost
