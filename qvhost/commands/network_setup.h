// What the commands on networks share: the network file loaded and set as
// the command line says, outputs named "NODE.OUTPUT" found, and what feeds
// an input as text.
#pragma once

#include "qvhost/commands/commands.h"
#include "qvhost/network_toml.h"

#include <string>
#include <vector>

namespace qvhost {

// Loads the network, then applies the context's NODE.KEY=VALUE settings
// (--set) as the file would say them; the problems go to err, one line
// each.  0, or the exit code (2 for a setting the file could not say).
int load_network(const Context &ctx, const std::string &path, NetworkFile &file);

// Declares --set NODE.INPUT=VALUE / NODE.CONTROL=CHOICE (repeatable) on a
// network command, into its options' member `settings` (see setup_of).
void declare_settings(CLI::App &command, std::vector<std::string> &settings);

// Applies one NODE.KEY=VALUE setting to a loaded network; false after an
// error line naming it.
bool apply_setting(const Context &ctx, NetworkFile &file, const std::string &setting);

// Finds every named output; false after an error line.
bool resolve_all(const Context &ctx, const NetworkFile &file, const std::vector<std::string> &names,
                 std::vector<OutputRef> &outputs);

// What feeds an input, as check and graph show it.
std::string feed_text(const NetworkFile &file, const refhost::HostInput &in);

}  // namespace qvhost
