// Networks written back as network files (TOML, the form network_toml.h
// describes): one [node.NAME] table per node in the network's order, its
// server, each fed input as the file writes it (a constant, "NODE.OUTPUT"
// or a sample source) and the panel controls that differ from a new node's
// as `panel = { ... }`.  Numbers are written as the shortest text that reads
// back as the same double, so the file reads back to the same values.
#pragma once

#include "qvhost/network_toml.h"

#include <memory>
#include <string>

namespace qvhost {

// The network as network file text, with a comment naming `source` at the
// top; `module` makes new nodes to tell which panel values differ.  False with a message naming the node and the item when the network
// holds what a network file cannot: a node name other than letters, digits
// and "_", two nodes of one name, a constant that is not a number, an
// integer or three numbers, a text that is not UTF-8.
bool network_toml_text(const NetworkFile &file, const std::shared_ptr<refhost::Module> &module,
                       const std::string &source, std::string &text, std::string &error);

}  // namespace qvhost
