// What the loaded module tells of a node, found by asking it as the
// application would: its names and colour, its inputs and outputs, its
// option panel's controls, which control edits which input's stored
// default, and what a scene file keeps of it.
#pragma once

#include "refhost/network/network.h"

#include <memory>
#include <string>
#include <vector>

namespace qvhost {

struct ControlInfo {
    uint32_t id = 0;
    std::string label;       // the visible text, "" for none
    std::string cls;         // "float", "iBoolean", "iPopChoice", ...
    std::string value_type;  // "float", "float3", "integer", "percent"
    std::vector<std::string> choices;
    bool hidden = false;
    std::string value;                  // as a fresh node shows it; "" when empty
    std::vector<std::string> saved_in;  // the saved blocks an edit of it changes ("int1", ...)
};

struct PortInfo {
    std::string name;
    int type = 0;
    int control = -1;  // inputs: index into NodeInfo::controls of the control that edits its default, or -1
};

struct NodeInfo {
    std::string server, display, group;
    bool available = false;
    int activation = 0;  // the NodeHandler activation's code
    int32_t colour[3] = {0, 0, 0};
    std::vector<PortInfo> inputs, outputs;
    std::vector<ControlInfo> controls;
    std::vector<std::string> saved;  // the blocks a scene file keeps of a fresh node, "val0" ...
    std::string saved_text;          // those blocks in the scene text form
};

// Describes a node by creating one in a network of its own.
bool describe_node(const std::shared_ptr<refhost::Module> &module, const std::string &server, NodeInfo &info,
                   std::string &error);

// The index into `controls` of the control that edits the stored default of
// each input of `node`, or -1, found by connecting each input of a node of
// the same server in turn and seeing which control goes empty.
std::vector<int> input_controls(const std::shared_ptr<refhost::Module> &module, const refhost::HostNode &node,
                                std::vector<ControlInfo> *controls = nullptr);

}  // namespace qvhost
