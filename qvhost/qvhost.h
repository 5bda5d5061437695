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

// The environment variable that names the module file to load when
// --module is not given.
inline constexpr const char *kModuleVariable = "QV_MATH_NODE_MODULE";

// The running program's own file, links resolved (/proc/self/exe on Linux,
// GetModuleFileNameW on Windows; argv[0] only where neither answers), so
// that a qvhost found through PATH or a symbolic link finds its module.
std::string running_program(const std::string &argv0);

// The module file beside a program file.
std::string module_beside(const std::string &program);

// The module qvhost loads without --module: the file $QV_MATH_NODE_MODULE
// names, else the one beside the running program.
std::string default_module(const std::string &argv0);

}  // namespace qvhost
