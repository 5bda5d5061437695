// qvhost's command line: the input split into arguments at line ends (at
// most 24 of them), parsed and checked.  A usage error must be one line; what
// parses runs when it is cheap and writes nothing: listing the nodes, a
// node's evaluation, panel and small preview without a picture file.  The
// module is always the target's own, whatever --module says.
#include "fuzz/fuzz_targets.h"

#include "refhost/application.h"
#include "qvhost/command_line.h"

#include <sstream>

namespace qvfuzz {

namespace {

constexpr std::size_t kMaxArguments = 24;

std::vector<std::string> arguments_of(const uint8_t *data, std::size_t size) {
    std::vector<std::string> args;
    std::string arg;
    for (std::size_t i = 0; i < size && args.size() < kMaxArguments; ++i) {
        if (data[i] == '\n') {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[i]);
        }
    }
    if (args.size() < kMaxArguments && (!arg.empty() || size == 0)) args.push_back(arg);
    return args;
}

// Whether the command runs quickly and writes no file.  Refused services and
// a host of 2018 and later need a private copy of the module for each run
// (see qvhost::Context), which the fuzzer's coverage of loaded modules cannot
// keep up with: those only parse.
bool cheap(const qvhost::CommandLine &line) { return !qvhost::needs_own_module(line) && line.job.cheap; }

// An exit code and what went to stderr, as qvhost's one-line errors are.
Finding check_outcome(int code, const std::string &err, const char *when) {
    if (code < 0 || code > 2) return std::string(when) + ": exit code " + std::to_string(code);
    if (code == 0) return {};
    const std::string prefix = "qvhost: ";
    if (err.size() <= prefix.size() + 1 || err.compare(0, prefix.size(), prefix) != 0 ||
        err.find('\n') != err.size() - 1)
        return std::string(when) + " with exit code " + std::to_string(code) + " wrote \"" + err + "\", not one line";
    return {};
}

}  // namespace

Finding fuzz_command_line(const uint8_t *data, std::size_t size) {
    fresh_application();
    const std::vector<std::string> args = arguments_of(data, size);
    std::ostringstream out, err;
    qvhost::CommandLine line;
    const int parsed = qvhost::parse_command_line(args, out, err, module_path(), line);
    if (parsed >= 0) return check_outcome(parsed, err.str(), "parsing");
    if (!cheap(line)) return {};
    line.module_path = module_path();
    std::ostringstream run_out, run_err;
    const int code = qvhost::run_command_line(line, run_out, run_err, false);
    fresh_application();
    return check_outcome(code, run_err.str(), "running");
}

}  // namespace qvfuzz
