// What the loaded module tells of a node, found by asking it as the
// application would: its names and colour, its inputs and outputs, its
// option panel's controls, which control edits which input's stored
// default, and what a scene file keeps of it.
#pragma once

#include "refhost/network/network.h"
#include "refhost/panel/xpanel.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qvhost {

struct ControlInfo {
    uint32_t id = 0;
    std::string name;        // the one name files and commands use (control_name)
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

// A message for a node the network could not create (`error` as the network
// gave it), with the way forward: the closest server name for one the module
// does not have, and the build a node needs where this host's build does not
// offer it.
std::string unavailable_node(const std::shared_ptr<refhost::Module> &module, const std::string &server,
                             const std::string &error);

// The node to put between an output and an input whose types a connection
// does not convert (a vector into a scalar input: "QvT_V2XYZ (Vec2xyz)"):
// the first conversion node that reads the one and gives the other; "" when
// there is none.
std::string conversion_node(const std::shared_ptr<refhost::Module> &module, int from_type, int to_type);

// ---- Controls by name -------------------------------------------------------
//
// A panel control has one name, the one network files, --set, every message
// and the reference use: its label; for an unlabelled control (or one whose
// label several controls share), the name of the input whose stored default
// it edits, else its slot name (OPT1 to OPT3, INT1, INT2, RATIO; VAL1 to VAL6
// for a value control without an input of its own).

// The one name of a control of `node`'s panel.
std::string control_name(const refhost::Panel &panel, const refhost::HostNode &node,
                         const refhost::PanelControl &control);

// The control a name gives: its one name, or as older files wrote it, its
// slot name or id ("0x8010").  Null with a message that lists the names and
// the closest one.
const refhost::PanelControl *find_control(const refhost::Panel &panel, const refhost::HostNode &node,
                                          const std::string &name, std::string &error);

// Sets a control as a network file or the command line gives it, in the
// panel's own units: a choice by its text or index, a check box as true or
// false (on/off, 1/0), a percentage as 50 or "50%" for one half.  False with
// a message naming the control by its one name.
bool set_control(refhost::Panel &panel, const refhost::HostNode &node, const refhost::PanelControl &control,
                 const std::string &text, std::string &error);

// A control's setting as a network file writes it: a choice's text in
// quotes, true or false, a number (a percentage in percent: 50 for one
// half), three numbers in brackets;
// nullopt when it shows no value (its input is connected).
std::optional<std::string> control_setting(const refhost::Panel &panel, const refhost::PanelControl &control);

// A value control's value as the panel shows it, in its own units (a
// percentage as "50%"); nullopt when it shows none.
std::optional<std::string> control_shown(const refhost::Panel &panel, const refhost::PanelControl &control);

// The controls a panel shows that edit no input's stored default: the
// node's settings (choices, check boxes, values of the panel's own).
std::vector<const refhost::PanelControl *> panel_settings(const std::shared_ptr<refhost::Module> &module,
                                                          const refhost::Panel &panel, const refhost::HostNode &node);

// A node's panel settings as a network file writes them, one "NAME = VALUE"
// each (`Ope = "A >= B"`); none for a node without a panel.
std::vector<std::string> panel_settings_text(const std::shared_ptr<refhost::Module> &module,
                                             const refhost::Network &net, const refhost::HostNode &node);

// "; did you mean \"X\"?", to end a message, for the name closest to `word` among `names`
// when one is close enough (a few letters off, or differing in case), else "".
std::string did_you_mean(const std::string &word, const std::vector<std::string> &names);

}  // namespace qvhost
