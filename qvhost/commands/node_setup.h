// What the commands on one node share: a node created with its inputs fed
// and its options edited as the command line says, and its option panel.
#pragma once

#include "qvhost/commands/commands.h"

#include "refhost/network/network.h"
#include "refhost/panel/xpanel.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace qvhost {

// Feeds INPUT=VALUE arguments into a node's inputs as connections; a name
// given again feeds the next input of that name (the viewers have several).
// 0, or the exit code after one error line.
int feed_inputs(refhost::Network &net, refhost::HostNode &node, const std::vector<std::string> &inputs,
                std::ostream &err);

// Opens the node's option panel; null (and `code` 0) for a node without one,
// null with an error line and a non-zero `code` on failure.
refhost::Panel *open_panel(refhost::Network &net, const refhost::HostNode &node, int &code, std::ostream &err);

// The module loaded and a network made in `net` with a node of `server`,
// its inputs fed and its options edited as the command line says; null,
// with `code` the exit code, after an error line.
refhost::HostNode *prepared_node(const Context &ctx, std::unique_ptr<refhost::Network> &net, const std::string &server,
                                 const std::vector<std::string> &inputs, const std::vector<std::string> &sets,
                                 int &code);

}  // namespace qvhost
