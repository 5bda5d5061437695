// qvhost: the headless node editor.  It loads the module as the application
// does and, from the command line, lists, evaluates and draws its nodes one
// at a time, and checks, evaluates, plots, renders, draws and saves whole
// node networks written in files, and writes the node reference.  This file
// holds the program's own options and the parsing; the commands are the rows
// of commands/command_table.cpp.
#include "qvhost/command_line.h"
#include "qvhost/commands/output_files.h"
#include "qvhost/network_toml.h"

#include "qvhost/options.h"
#include "qvhost/qvhost.h"
#include "qvhost/version.h"
#include "refhost/module_loader.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/network.h"
#include "support/atomic_file.h"
#include "support/escaped_text.h"
#include "support/stack_thread.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace qvhost {

namespace {

using refhost::kModuleFile;

std::string command_list() {
    std::string s;
    for (std::size_t k = 0; k < kCommandCount; ++k) s += (k ? ", " : "") + std::string(kCommandTable[k].name);
    return s;
}

// Ctrl-C (or a signal to end) during a long job: the job stops between rows
// and writes nothing half done.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
extern "C" void on_interrupt(int) { g_interrupted.store(true); }

// The signals that stop a job: Ctrl-C, the request to end, and the terminal
// closing (where the system has one).  One the job was started ignoring
// (nohup, a background job of a script) stays ignored.
constexpr int kStopSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

// The service names the application offers, for --refuse.
bool known_service(const std::string &name) {
    for (const QvServiceName &row : qv_service_names)
        if (name == row.name) return true;
    return false;
}

std::string service_list() {
    std::string s;
    for (const QvServiceName &row : qv_service_names) s += (s.empty() ? "\"" : ", \"") + std::string(row.name) + "\"";
    return s;
}

}  // namespace

InterruptScope::InterruptScope() {
    g_interrupted.store(false);
    for (int signal : kStopSignals) {
        void (*const previous)(int) = std::signal(signal, on_interrupt);
        if (previous == SIG_IGN) std::signal(signal, SIG_IGN);
        previous_.emplace_back(signal, previous);
    }
}

InterruptScope::~InterruptScope() {
    for (const auto &[signal, handler] : previous_) std::signal(signal, handler == SIG_ERR ? SIG_DFL : handler);
}

bool names_a_file(const std::string &target) {
    return target == kStandardInput || target.find_first_of("./\\") != std::string::npos;
}

std::shared_ptr<refhost::Module> Context::load_module() const {
    std::string error;
    auto module = refhost::Module::load(module_path, error, fresh_module);
    if (module) return module;
    // A module not found says where qvhost looks and how to name one.
    std::error_code ec;
    const std::string where =
        std::filesystem::exists(module_path, ec)
            ? ""
            : std::string("; qvhost looks for ") + kModuleFile +
                  " beside its own program file (links followed) unless --module FILE or the environment variable " +
                  kModuleVariable + " names it";
    err << "qvhost: " << shown_path_error(error, module_path) << where << "\n";
    return module;
}

int Context::fail(const std::string &message, int code) const {
    err << "qvhost: " << message << "\n";
    return code;
}

std::string running_program(const std::string &argv0) {
    std::error_code ec;
#ifdef _WIN32
    std::wstring name(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length > 0 && length < name.size()) {
        name.resize(length);
        const std::filesystem::path real = std::filesystem::weakly_canonical(name, ec);
        return (ec ? std::filesystem::path(name) : real).u8string();
    }
#else
    const std::filesystem::path real = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return real.string();
#endif
    const std::filesystem::path resolved = std::filesystem::canonical(argv0, ec);
    return ec ? argv0 : resolved.string();
}

std::string module_beside(const std::string &program) {
    const std::size_t slash = program.find_last_of("/\\");
    if (slash == std::string::npos) return kModuleFile;
    return program.substr(0, slash + 1) + kModuleFile;
}

std::string default_module(const std::string &argv0) {
    const char *named = std::getenv(kModuleVariable);
    if (named && *named) return named;
    return module_beside(running_program(argv0));
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, const std::string &default_module) {
    return run(args, out, err, default_module, false);
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err, const std::string &default_module,
        bool err_is_terminal) {
    CommandLine line;
    const int code = parse_command_line(args, out, err, default_module, line);
    if (code >= 0) return code;
    return run_command_line(line, out, err, err_is_terminal);
}

int parse_command_line(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
                       const std::string &default_module, CommandLine &line) {
    CLI::App app{"qvhost: the headless node editor for the QV Math Node module", "qvhost"};
    app.require_subcommand(1);
    // A word starting with "/" is a file ("/tmp/net.qvn.toml"), not a
    // Windows-style option, also in the Windows builds.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("qvhost ") + kVersion + " (" + kProductName + ")");
    line.module_path = default_module;
    std::string build = std::to_string(refhost::kDefaultBuild);
    std::vector<std::string> refused;
    app.add_option("--module", line.module_path,
                   std::string("module file to load (default: $") + kModuleVariable + ", else the " + kModuleFile +
                       " beside the qvhost program)");
    app.add_option("--build", build,
                   "host build number the application reports (0 to 4095; from " + std::to_string(refhost::kBuild2020) +
                       " on a LightWave 2020 host)");
    app.add_option("--refuse", refused, "a service the application answers with null, e.g. LWXPanel (repeatable)")
        ->allow_extra_args(false);

    std::vector<std::pair<CLI::App *, CommandSetup>> commands;
    for (std::size_t k = 0; k < kCommandCount; ++k) {
        const CommandRow &row = kCommandTable[k];
        CLI::App *command = app.add_subcommand(row.name, row.help);
        command->footer(row.example);
        commands.emplace_back(command, row.declare(*command));
    }

    app.footer(
        "`qvhost help COMMAND` (or `qvhost COMMAND --help`) shows a command's options and an example.\n"
        "files written: whole or not at all, through a temporary in the same folder; a symbolic link is\n"
        "followed and the file it names replaced; a directory, a device or a command's own input is refused\n"
        "exit codes: 0 done, 1 the job failed, 2 a usage error, 130 interrupted (Ctrl-C, SIGTERM, SIGHUP)");

    auto usage = [&](const std::string &message) {
        err << "qvhost: " << message << "\n";
        return 2;
    };
    // Bare `qvhost` shows the usage, as git does, on stdout, and is a usage
    // error of one line on stderr; `qvhost help [COMMAND]` asks for it.
    if (args.empty()) {
        out << app.help();
        return usage("a command is required (commands: " + command_list() + "); qvhost help COMMAND shows one");
    }
    if (args.front() == "help") {
        if (args.size() == 1) {
            out << app.help();
            return 0;
        }
        CLI::App *command = nullptr;
        for (auto &[subcommand, setup] : commands)
            if (args.size() == 2 && subcommand->get_name() == args[1]) command = subcommand;
        if (!command)
            return usage("help: \"" + support::shown(args.size() == 2 ? args[1] : args[2]) +
                         "\" is not a command (commands: " + command_list() + ")");
        out << command->help();
        return 0;
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion &e) {
        out << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError &e) {
        // Without a command, CLI11 leaves the word it did not know unparsed.
        if (app.get_subcommands().empty()) {
            const std::vector<std::string> rest = app.remaining();
            if (rest.empty()) return usage("a command is required (commands: " + command_list() + ")");
            return usage("unknown command \"" + support::shown(rest.front()) + "\" (commands: " + command_list() + ")");
        }
        return usage(support::shown(e.what()));
    }

    std::string error;
    long long build_value = 0;
    if (!parse_integer("--build", build, "a build number", 0, 4095, build_value, error)) return usage(error);
    line.build = static_cast<uint32_t>(build_value);
    for (const std::string &name : refused) {
        if (!known_service(name))
            return usage("--refuse: \"" + support::shown(name) +
                         "\" is not a service of the application (services: " + service_list() + ")");
        line.refused.insert(name);
    }
    for (auto &[command, setup] : commands)
        if (command->parsed() && !setup(line.job, error)) return usage(error);
    return -1;
}

bool needs_own_module(const CommandLine &line) {
    refhost::HostConfig host;
    host.play_build(line.build);
    return !line.refused.empty() || host.era() != QV_ERA_BEFORE_2018;
}

int run_command_line(const CommandLine &line, std::ostream &out, std::ostream &err, bool err_is_terminal) {
    refhost::HostConfig &config = refhost::Application::get().config();
    config.play_build(line.build);
    config.withheld = line.refused;
    Context ctx{out, err, line.module_path, err_is_terminal, false, &g_interrupted, needs_own_module(line), {}, {}};
    // Every command on a stack for the deepest network it may evaluate, and
    // stopped by Ctrl-C wherever it is.
    InterruptScope interrupt;
    refhost::set_cancel_flag(&g_interrupted);
    support::set_write_interrupt_flag(&g_interrupted);
    int code = 0;
    support::run_with_stack(refhost::Network::stack_bytes, [&] { code = line.job.run(ctx); });
    support::set_write_interrupt_flag(nullptr);
    refhost::set_cancel_flag(nullptr);
    return code != 0 && g_interrupted.load() ? kInterrupted : code;
}

}  // namespace qvhost
