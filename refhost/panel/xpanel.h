// The application's panel toolkit ("LWXPanel") as a module sees it: option
// panels made from control tables, value descriptions and hint lists, bound
// to an instance whose values the toolkit reads and writes only through the
// module's accessor callbacks.
//
// Nothing is drawn.  Each panel keeps what it was told (controls, value
// types, decoded hints, the bound instance, user data) so that tests and
// qvhost can look at it, read its values as the user would see them, and
// edit them as the user would: the set accessor, then the change callback
// with event 2.  Every toolkit call is logged in order.
#pragma once

#include "host/host_panel.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace refhost {

// The change event the application sends after the user edited a value.
constexpr int kPanelEventValueChanged = 2;

// A layout group of HINT_LIST_A ('A') or HINT_LIST_B ('B').
struct PanelGroup {
    char list = 'A';
    std::vector<uint32_t> ids;
};

struct PanelControl {
    uint32_t id = 0;
    std::string raw_label;   // the label as given to create, decoration included
    std::string label;       // the visible text: raw_label up to the first 0x03 byte
    std::string decoration;  // what follows the 0x03 byte, "" when there is none
    std::string cls;         // control class: "float", "float3", "integer", "percent", "iBoolean", ...
    std::string value_type;  // from the value description; derived from the class when undescribed
    bool described = false;  // the value description named this id
    bool numeric = false;    // HINT_NUMERIC given
    intptr_t numeric_value = 0;
    bool has_choices = false;  // HINT_CHOICES given
    std::vector<std::string> choices;
    bool hidden = false;      // HINT_AUX given
    std::vector<int> groups;  // indices into Panel::groups()
};

class Panel {
public:
    int kind() const { return kind_; }
    const std::vector<PanelControl> &controls() const { return controls_; }
    const PanelControl *control(uint32_t id) const;
    // The control named by its visible label, its raw label or its id ("0x8001"
    // or decimal).  Null with a message when nothing or more than one control
    // matches a label.
    const PanelControl *find(const std::string &label_or_id, std::string &error) const;

    // Layout groups in the order given.
    const std::vector<PanelGroup> &groups() const { return groups_; }
    // Each applied hint list decoded, one text per list in order, e.g.
    // "NOTIFY, N(0x8001), C(0x8010, [Linear|Constant]), A(0x8001, 0x8003), AUX(0x8002)".
    const std::vector<std::string> &hint_lists() const { return hint_lists_; }
    // Problems found in what the module gave (unknown hint tags, ids without a
    // control, mismatched value types, ...); empty when all was well formed.
    const std::vector<std::string> &errors() const { return errors_; }
    // This panel's toolkit calls in order ("create", "describe", "hint", ...).
    const std::vector<std::string> &calls() const { return calls_; }

    void *instance() const { return instance_; }
    QvXPanelGetFunc getter() const { return get_; }
    QvXPanelSetFunc setter() const { return set_; }
    QvXPanelChangeFunc notify() const { return notify_; }
    int notify_hints() const { return notify_hints_; }  // HINT_NOTIFY hints seen
    void *user_data(uint32_t id) const;
    int refreshes() const { return refreshes_; }
    void *handle() { return this; }

    // The value as the control shows it: nullopt when the get accessor gives
    // null (or there is no such control or accessor).  Doubles as shortest
    // round-trip text, "float3" as three comma-separated numbers, integers
    // (check boxes and choices too) in decimal.
    std::optional<std::string> value_text(uint32_t id) const;
    // The value of an "integer" valued control (a check box, the index of a
    // choice); nullopt when empty or not an integer.
    std::optional<int32_t> integer_value(uint32_t id) const;

    // Edits a value as the user does: parses the text for the control's value
    // type (a choice by its label or index; a check box also as on/off,
    // true/false; a percentage also as "50%"), calls the set accessor, then
    // the change callback with event 2.  False with a message naming the
    // control when the control is unknown, ambiguous, hidden or empty, the
    // text does not parse, or the set accessor refuses the value.
    bool edit(const std::string &label_or_id, const std::string &text, std::string &error);
    bool edit(uint32_t id, const std::string &text, std::string &error);

private:
    friend struct PanelToolkit;
    void decode_hints(const QvHintWord *hints, uint32_t target);
    void error(const std::string &message) { errors_.push_back(message); }
    PanelControl *mutable_control(uint32_t id);

    int kind_ = 0;
    std::vector<PanelControl> controls_;
    std::vector<PanelGroup> groups_;
    std::vector<std::string> hint_lists_;
    std::vector<std::string> errors_;
    std::vector<std::string> calls_;
    void *instance_ = nullptr;
    QvXPanelGetFunc get_ = nullptr;
    QvXPanelSetFunc set_ = nullptr;
    QvXPanelChangeFunc notify_ = nullptr;
    int notify_hints_ = 0;
    std::map<uint32_t, void *> user_data_;
    int refreshes_ = 0;
};

// The toolkit's operation table, answered for "LWXPanel".
const QvXPanelFuncs &xpanel_funcs();

// The live panel behind a handle the toolkit gave out; null for anything else.
Panel *panel_of(void *handle);

// Every toolkit call made on any panel, in order ("create", "describe",
// "hint", "get_data", "set_data", "view_inst", "refresh", "destroy").
std::vector<std::string> toolkit_calls();
void clear_toolkit_calls();
// Calls that named no live panel, or were refused (a null control table).
std::vector<std::string> toolkit_errors();
int panels_alive();
int panels_created();  // since the start of the process

}  // namespace refhost
