// What the commands on networks share: see network_setup.h.
#include "qvhost/commands/network_setup.h"

#include "refhost/network/input_evaluation.h"
#include "refhost/value.h"
#include "support/escaped_text.h"
#include "support/number_text.h"

#include <cstdio>

namespace qvhost {

void declare_lenient(CLI::App &command, bool &lenient) {
    command.add_flag("--lenient", lenient,
                     "take a constant an input cannot hold (2.7 on an integer input, 0.4 on a switch's Bool) "
                     "and cut it as the host does, rather than refuse the network");
}

void declare_again(CLI::App &command, bool &again) {
    command.add_flag("--no-memo", again,
                     "evaluate an output again for every input it feeds, as the application does, instead of "
                     "once per sample (slower, the same values: for comparing)");
}

int load_network(const Context &ctx, const std::string &path, NetworkFile &file, bool lenient) {
    auto module = ctx.load_module();
    if (!module) return 1;
    std::vector<std::string> problems;
    if (!read_network_file(path, module, file, problems, lenient)) {
        for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
        return refhost::cancel_requested() ? kInterrupted : 1;
    }
    file.network->set_reuse(!ctx.again);
    for (const std::string &setting : ctx.settings)
        if (!apply_setting(ctx, file, setting, "--set", lenient)) return 2;
    if (!ctx.wedge.empty() && !apply_setting(ctx, file, ctx.wedge, "--wedge", lenient)) return 2;
    return 0;
}

void declare_settings(CLI::App &command, std::vector<std::string> &settings) {
    command
        .add_option("--set", settings,
                    "NODE.INPUT=VALUE or NODE.CONTROL=CHOICE: set after loading as the network file would say it, "
                    "e.g. --set ramp.In=@v --set ramp.OPT2=Reflect (repeatable)")
        ->allow_extra_args(false);
}

bool apply_setting(const Context &ctx, NetworkFile &file, const std::string &setting, const std::string &option,
                   bool lenient) {
    const std::size_t eq = setting.find('='), dot = setting.find('.');
    if (eq == std::string::npos || dot == std::string::npos || dot == 0 || dot + 1 >= eq) {
        ctx.err << "qvhost: " << option << ": '" << support::shown(setting)
                << "' is not NODE.INPUT=VALUE or NODE.CONTROL=CHOICE\n";
        return false;
    }
    std::vector<std::string> problems;
    if (set_in_network(file, setting.substr(0, dot), setting.substr(dot + 1, eq - dot - 1), setting.substr(eq + 1),
                       option + " " + support::shown(setting), problems, lenient))
        return true;
    for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
    return false;
}

void declare_wedge(CLI::App &command, std::string &wedge) {
    command.add_option("--wedge", wedge,
                       "NODE.INPUT=A:B:N: N values from A to B, one output each (e.g. --wedge ramp.mapEd=1:4:4)");
}

bool parse_wedge(const std::string &text, Wedge &wedge, std::string &error) {
    if (text.empty()) return true;
    const std::size_t eq = text.find('='), dot = text.find('.');
    const std::size_t c1 = text.find(':', eq == std::string::npos ? 0 : eq);
    const std::size_t c2 = c1 == std::string::npos ? c1 : text.find(':', c1 + 1);
    if (eq == std::string::npos || dot == std::string::npos || dot == 0 || dot + 1 >= eq || c2 == std::string::npos) {
        error = "--wedge: \"" + support::shown(text) + "\" is not NODE.INPUT=A:B:N";
        return false;
    }
    double a = 0.0, b = 0.0;
    long long n = 0;
    if (!parse_number("--wedge", text.substr(eq + 1, c1 - eq - 1), "a first value", Range{-1e300, 1e300}, a, error) ||
        !parse_number("--wedge", text.substr(c1 + 1, c2 - c1 - 1), "a last value", Range{-1e300, 1e300}, b, error) ||
        !parse_integer("--wedge", text.substr(c2 + 1), "a count of values", 1, 10000, n, error))
        return false;
    wedge.key = text.substr(0, eq);
    wedge.values.clear();
    for (long long k = 0; k < n; ++k) {
        const double x = n == 1 ? a : a + (b - a) * static_cast<double>(k) / static_cast<double>(n - 1);
        wedge.values.push_back(support::number_text(k == n - 1 && n > 1 ? b : x));
    }
    return true;
}

std::string wedge_path(const std::string &path, std::size_t k) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    const std::size_t at = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size() : dot;
    return path.substr(0, at) + "_w" + std::to_string(k + 1) + path.substr(at);
}

bool resolve_all(const Context &ctx, const NetworkFile &file, const std::vector<std::string> &names,
                 std::vector<OutputRef> &outputs) {
    for (const std::string &name : names) {
        OutputRef ref;
        std::string error;
        if (!resolve_output(file, name, ref, error)) {
            ctx.err << "qvhost: " << file.source << ": " << error << "\n";
            return false;
        }
        outputs.push_back(ref);
    }
    return true;
}

std::string json_number(const std::string &cell) {
    if (cell.empty() || cell == "nan" || cell == "-nan" || cell == "inf" || cell == "-inf") return "null";
    return cell;
}

std::string json_string(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string feed_text(const NetworkFile &file, const refhost::HostInput &in) {
    if (in.from != nullptr) return support::escaped_text(file.name_of(in.from->node->id) + "." + in.from->name);
    if (in.source) {
        if (in.source->sample != refhost::SampleSource::none) return refhost::sample_source_name(in.source->sample);
        return refhost::format_value(in.source->value);
    }
    return "";
}

}  // namespace qvhost
