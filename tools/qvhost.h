// The qvhost command line, callable in-process so tests can drive it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qvhost {

// Runs qvhost with the given arguments (without the program name); writes
// results to out and one-line errors to err; returns the exit code.
// `default_module` is the module loaded when --module is not given.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
        const std::string &default_module);

// The module file beside the running executable.
std::string module_beside(const std::string &argv0);

}  // namespace qvhost
