// qvhost's commands: a table of rows (command_table.cpp), a file each.  A
// command declares its own options on its CLI11 subcommand; after parsing it
// checks them (a usage error is one line, exit code 2) and becomes a job.
// A job writes its results to `out`, one-line errors ("qvhost: ...") to
// `err`, and returns the exit code: 0 done, 1 the job failed, 2 the command
// line was wrong.
#pragma once

#include "qvhost/options.h"
#include "qvhost/pictures/pictures.h"
#include "refhost/module_loader.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace qvhost {

struct Context {
    std::ostream &out;
    std::ostream &err;
    std::string module_path;
    bool err_is_terminal = false;               // progress is drawn as a bar only on a terminal
    bool quiet = false;                         // no progress at all
    const std::atomic<bool> *cancel = nullptr;  // set by Ctrl-C
    // The module is loaded from a private copy, so that its service slots
    // start empty even where this process has loaded it before (for a
    // refused service to be asked for at all).
    bool fresh_module = false;
    // --set NODE.KEY=VALUE: applied to every network the job loads, after
    // loading, as the file would say it (see network_setup.h).
    std::vector<std::string> settings;
    std::string wedge;  // one value of a --wedge (NODE.INPUT=VALUE), applied after the settings
    // --no-memo: every output evaluated again for every input it feeds, as
    // the application does, instead of once per sample.
    bool again = false;

    std::shared_ptr<refhost::Module> load_module() const;
    int fail(const std::string &message, int code = 1) const;
};

// A command as parsed and checked, ready to run.
struct Job {
    std::function<int(const Context &)> run;
    bool cheap = false;  // it runs quickly and writes no file (the command line's fuzz target runs only these)
};

// What a command leaves after declaring its options: the step that checks
// them as given and makes the job; false with a one-line usage error.
using CommandSetup = std::function<bool(Job &job, std::string &error)>;

// One command: its name, the line of help, the example under its --help,
// and the function that declares its options on its subcommand.
struct CommandRow {
    const char *name;
    const char *help;
    const char *example;
    CommandSetup (*declare)(CLI::App &command);
};

// Every command, in the order the help lists them.
extern const CommandRow kCommandTable[];
extern const std::size_t kCommandCount;

// The settings a command's options hold for its networks (a member
// `settings`, declared with declare_settings), or none.
template <class Options>
auto settings_of(const Options &o, int) -> decltype(std::vector<std::string>(o.settings)) {
    return o.settings;
}
template <class Options>
std::vector<std::string> settings_of(const Options &, long) {
    return {};
}

// Whether a command's options ask to evaluate again for every reader (a
// member `again`, declared with declare_again), or not.
template <class Options>
auto again_of(const Options &o, int) -> decltype(bool(o.again)) {
    return o.again;
}
template <class Options>
bool again_of(const Options &, long) {
    return false;
}

// The usual setup: a fresh `Options` (with declare(CLI::App &), check(std::string
// &error) and cheap()) bound to the subcommand, and `run` over it, its
// settings in the context.
template <class Options>
CommandSetup setup_of(CLI::App &command, int (*run)(const Context &, const Options &)) {
    auto options = std::make_shared<Options>();
    options->declare(command);
    return [options, run](Job &job, std::string &error) {
        if (!options->check(error)) return false;
        job.run = [options, run](const Context &ctx) {
            Context with = ctx;
            with.settings = settings_of(*options, 0);
            with.again = again_of(*options, 0);
            return run(with, *options);
        };
        job.cheap = options->cheap();
        return true;
    };
}

// A network is named by a file; a node by its server name, which has no
// "." or "/".
bool names_a_file(const std::string &target);

// Ctrl-C, SIGTERM or SIGHUP during a job, while one of these lives: the job
// stops wherever it is, loading, evaluating or writing (Context::cancel is
// set, and support's atomic writer renames nothing into place), removes its
// temporaries and exits with kInterrupted.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;

private:
    std::vector<std::pair<int, void (*)(int)>> previous_;  // each signal and its handler before
};

// The exit code of a job stopped by a signal, as shells give it for Ctrl-C.
constexpr int kInterrupted = 130;

// ---- What the demo runs -----------------------------------------------------------

int plot_network(const Context &ctx, const std::string &path, const std::vector<std::string> &outputs,
                 const FrameSpan &frames, bool over_u, double v, int width, int height, const std::string &png,
                 bool lenient = false);
// `range`: what a PNG maps from black to full brightness; none for the
// output type's own (default_range in pictures.h).
int render_network(const Context &ctx, const std::string &path, const std::string &output, int width, int height,
                   const FrameSpan &frames, int threads, const std::optional<ValueRange> &range,
                   const std::string &pattern, bool lenient = false, ExrType exr_type = ExrType::float32);
int preview_in_network(const Context &ctx, const std::string &path, const std::string &node, int frame, double fps,
                       int width, int height, const std::string &png, bool lenient = false);
// A viewer's preview inside a network, as `preview NETWORK NODE` draws it.
struct NetworkPreview {
    int frame = 0;
    double fps = 30.0;
    double u = 0.5, v = 0.5;  // the sample the viewer shows
    int width = 128, height = 80;
    std::string png;       // "" for no picture
    bool verbose = false;  // also every drawing call
    bool lenient = false;  // constants an input cannot hold are cut, not refused
};
int preview_in_network(const Context &ctx, const std::string &path, const std::string &node, const NetworkPreview &p);

}  // namespace qvhost
