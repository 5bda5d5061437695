// What the commands on networks share: see network_setup.h.
#include "qvhost/commands/network_setup.h"

#include "refhost/network/input_evaluation.h"
#include "refhost/value.h"
#include "support/escaped_text.h"

namespace qvhost {

void declare_lenient(CLI::App &command, bool &lenient) {
    command.add_flag("--lenient", lenient,
                     "take a constant an input cannot hold (2.7 on an integer input, 0.4 on a switch's Bool) "
                     "and cut it as the host does, rather than refuse the network");
}

int load_network(const Context &ctx, const std::string &path, NetworkFile &file, bool lenient) {
    auto module = ctx.load_module();
    if (!module) return 1;
    std::vector<std::string> problems;
    if (read_network_file(path, module, file, problems, lenient)) return 0;
    for (const std::string &p : problems) ctx.err << "qvhost: " << p << "\n";
    return refhost::cancel_requested() ? kInterrupted : 1;
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
    if (in.from != nullptr) return support::escaped_text(file.name_of(in.from->node->id) + "." + in.from->name);
    if (in.source) {
        if (in.source->sample != refhost::SampleSource::none) return refhost::sample_source_name(in.source->sample);
        return refhost::format_value(in.source->value);
    }
    return "";
}

}  // namespace qvhost
