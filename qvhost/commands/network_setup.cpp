// What the commands on networks share: see network_setup.h.
#include "qvhost/commands/network_setup.h"

#include "refhost/network/input_evaluation.h"
#include "refhost/value.h"
#include "support/escaped_text.h"

namespace qvhost {

int load_network(const Context &ctx, const std::string &path, NetworkFile &file) {
    auto module = ctx.load_module();
    if (!module) return 1;
    std::vector<std::string> problems;
    if (!read_network_file(path, module, file, problems)) {
        for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
        return refhost::cancel_requested() ? kInterrupted : 1;
    }
    for (const std::string &setting : ctx.settings)
        if (!apply_setting(ctx, file, setting)) return 2;
    return 0;
}

void declare_settings(CLI::App &command, std::vector<std::string> &settings) {
    command
        .add_option("--set", settings,
                    "NODE.INPUT=VALUE or NODE.CONTROL=CHOICE: set after loading as the network file would say it, "
                    "e.g. --set ramp.In=@v --set ramp.OPT2=Reflect (repeatable)")
        ->allow_extra_args(false);
}

bool apply_setting(const Context &ctx, NetworkFile &file, const std::string &setting) {
    const std::size_t eq = setting.find('='), dot = setting.find('.');
    if (eq == std::string::npos || dot == std::string::npos || dot == 0 || dot + 1 >= eq) {
        ctx.err << "qvhost: --set: '" << support::shown(setting)
                << "' is not NODE.INPUT=VALUE or NODE.CONTROL=CHOICE\n";
        return false;
    }
    std::vector<std::string> problems;
    if (set_in_network(file, setting.substr(0, dot), setting.substr(dot + 1, eq - dot - 1), setting.substr(eq + 1),
                       "--set " + support::shown(setting), problems))
        return true;
    for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
    return false;
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

std::string feed_text(const NetworkFile &file, const refhost::HostInput &in) {
    if (in.from != nullptr) return file.name_of(in.from->node->id) + "." + in.from->name;
    if (in.source) {
        if (in.source->sample != refhost::SampleSource::none) return refhost::sample_source_name(in.source->sample);
        return refhost::format_value(in.source->value);
    }
    return "";
}

}  // namespace qvhost
