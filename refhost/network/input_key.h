// The key that names one input of a node in saved networks and on the
// command line: the input's name, or "Name#k" for the k-th (from 1) of
// several inputs sharing a name.
#pragma once

#include "refhost/services.h"

#include <cstddef>
#include <string>

namespace refhost {

// The key of the node's input made `index`-th (from 0).
std::string input_key(const HostNode &node, std::size_t index);

// The index among the node's inputs of the input a key names; -1 for none.
// An input whose own name is the key comes first.
int input_index(const HostNode &node, const std::string &key);

}  // namespace refhost
