// Input keys: "Name", or "Name#k" for the k-th of several sharing a name.
#include "refhost/network/input_key.h"

namespace refhost {

std::string input_key(const HostNode &node, std::size_t index) {
    const std::string &name = node.inputs[index]->name;
    int nth = 0, all = 0;
    for (std::size_t j = 0; j < node.inputs.size(); ++j)
        if (node.inputs[j]->name == name) {
            ++all;
            if (j <= index) ++nth;
        }
    return all > 1 ? name + "#" + std::to_string(nth) : name;
}

int input_index(const HostNode &node, const std::string &key) {
    for (std::size_t i = 0; i < node.inputs.size(); ++i)
        if (node.inputs[i]->name == key) return static_cast<int>(i);
    // "Scalar#2": the second input named "Scalar".
    const std::size_t hash = key.rfind('#');
    if (hash == std::string::npos || hash == 0 || hash + 1 == key.size()) return -1;
    int nth = 0;
    for (std::size_t k = hash + 1; k < key.size(); ++k) {
        if (key[k] < '0' || key[k] > '9' || nth > 1000) return -1;
        nth = nth * 10 + (key[k] - '0');
    }
    const std::string base = key.substr(0, hash);
    for (std::size_t i = 0; i < node.inputs.size(); ++i)
        if (node.inputs[i]->name == base && --nth == 0) return static_cast<int>(i);
    return -1;
}

}  // namespace refhost
