// What the commands on networks share: the network file loaded, outputs
// named "NODE.OUTPUT" found, and what feeds an input as text.
#pragma once

#include "qvhost/commands/commands.h"
#include "qvhost/network_toml.h"

#include <string>
#include <vector>

namespace qvhost {

// Declares --lenient: constants an input cannot hold are cut as the host
// cuts them rather than refused.
void declare_lenient(CLI::App &command, bool &lenient);

// Loads the network; the problems go to err, one line each.  0, or the exit code.
int load_network(const Context &ctx, const std::string &path, NetworkFile &file, bool lenient = false);

// Finds every named output; false after an error line.
bool resolve_all(const Context &ctx, const NetworkFile &file, const std::vector<std::string> &names,
                 std::vector<OutputRef> &outputs);

// What feeds an input, as check and graph show it.
std::string feed_text(const NetworkFile &file, const refhost::HostInput &in);

}  // namespace qvhost
