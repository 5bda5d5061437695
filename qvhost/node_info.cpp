#include "qvhost/node_info.h"

#include "host/host_services.h"
#include "refhost/application.h"
#include "refhost/network/input_key.h"
#include "refhost/panel/xpanel.h"
#include "refhost/scene/scene_io.h"
#include "support/escaped_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace qvhost {

namespace {

// The panel's control slots: the ids the module's panels give their
// controls, and the names files use for them.
// clang-format off
const struct {
    const char *name;
    uint32_t id;
} kControlSlots[] = {
    {"VAL1", 0x8001}, {"VAL2", 0x8002}, {"VAL3", 0x8003}, {"VAL4", 0x8004}, {"VAL5", 0x8005}, {"VAL6", 0x8006},
    {"OPT1", 0x8010}, {"OPT2", 0x8011}, {"OPT3", 0x8012},
    {"INT1", 0x8013}, {"INT2", 0x8014},
    {"RATIO", 0x8015},
};
// clang-format on
constexpr uint32_t kFirstValueSlot = 0x8001, kLastValueSlot = 0x8006;

const char *slot_name(uint32_t id) {
    for (const auto &slot : kControlSlots)
        if (slot.id == id) return slot.name;
    return nullptr;
}

std::string hex_id(uint32_t id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(id));
    return buf;
}

bool label_is_unique(const refhost::Panel &panel, const refhost::PanelControl &control) {
    if (control.label.empty()) return false;
    int same = 0;
    for (const refhost::PanelControl &c : panel.controls()) same += c.label == control.label;
    return same == 1;
}

// How the panel toolkit names a control in its messages, replaced by the
// control's one name.
std::string renamed(const std::string &message, const refhost::PanelControl &c, const std::string &name) {
    const std::string toolkit =
        c.label.empty() ? "control " + hex_id(c.id) : "control \"" + c.label + "\" (" + hex_id(c.id) + ")";
    if (message.rfind(toolkit, 0) != 0) return message;
    return "control " + support::quoted(name) + message.substr(toolkit.size());
}

// The number of single-letter edits (or swaps of two neighbours) between
// two words, ignoring case.
std::size_t edit_distance(const std::string &a, const std::string &b) {
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    // Three rows of the table: the one before last, the last and this one.
    const std::size_t w = b.size() + 1;
    std::vector<std::size_t> rows(3 * w);
    std::size_t *before = rows.data(), *last = before + w, *row = last + w;
    for (std::size_t j = 0; j < w; ++j) last[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (std::size_t j = 1; j < w; ++j) {
            const bool same = lower(a[i - 1]) == lower(b[j - 1]);
            row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) && lower(a[i - 2]) == lower(b[j - 1]))
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
        std::size_t *oldest = before;
        before = last;
        last = row;
        row = oldest;
    }
    return last[b.size()];
}

// A name as a TOML key: bare when it can be, else in quotes.
std::string toml_key(const std::string &name) {
    const bool bare = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
    return bare ? name : support::quoted(name);
}

// A fraction in percent, as the panel shows it: the shortest number that
// gives the stored fraction back.
std::string percent_text(double fraction) {
    char buf[400];
    for (int decimals = 0; decimals <= 17; ++decimals) {
        std::snprintf(buf, sizeof buf, "%.*f", decimals, fraction * 100.0);
        if (std::strtod(buf, nullptr) / 100.0 == fraction) return buf;
    }
    std::snprintf(buf, sizeof buf, "%.17g", fraction * 100.0);
    return buf;
}

refhost::Panel *panel_of(refhost::Network &net, int id) {
    std::string error;
    const refhost::Network::PanelOpening o = net.open_panel(id, error);
    return o.code == QV_AFUNC_OK && o.panel != nullptr ? refhost::panel_of(o.panel) : nullptr;
}

std::vector<ControlInfo> controls_of(const refhost::Panel &panel, const refhost::HostNode &node) {
    std::vector<ControlInfo> out;
    for (const refhost::PanelControl &c : panel.controls()) {
        ControlInfo i;
        i.id = c.id;
        i.name = control_name(panel, node, c);
        i.label = c.label;
        i.cls = c.cls;
        i.value_type = c.value_type;
        i.choices = c.choices;
        i.hidden = c.hidden;
        i.value = panel.value_text(c.id).value_or("");
        out.push_back(std::move(i));
    }
    return out;
}

// The leaf blocks a scene file keeps of a node, one line each in the text
// form ("VAL0 0.5").
std::vector<std::string> saved_lines(const refhost::HostNode &n) {
    refhost::SceneWriter writer(refhost::SceneForm::text);
    const QvSaveState *ss = writer.state();
    static const QvBlockIdent kData = {QV_BLOCK_ID('D', 'A', 'T', 'A'), "Data"};
    ss->begin_block(ss->context, &kData, 0);
    if (n.inst.save != nullptr) n.inst.save(n.instance, ss);
    ss->end_block(ss->context);
    const std::string text = writer.finish();
    // "{ Data", then one leaf block per line, then "}".
    std::vector<std::string> lines;
    std::size_t pos = text.find('\n');
    while (pos != std::string::npos && pos + 1 < text.size()) {
        const std::size_t end = text.find('\n', pos + 1);
        const std::string line = text.substr(pos + 1, end - pos - 1);
        const std::size_t b = line.find_first_not_of(' ');
        if (b != std::string::npos && line[b] != '}') lines.push_back(line.substr(b));
        pos = end;
    }
    return lines;
}

// A value for a control other than the one it shows, in the panel's own terms.
std::string other_value(const ControlInfo &c) {
    if (!c.choices.empty()) return c.value == "1" ? "0" : "1";
    if (c.cls == "iBoolean") return c.value == "1" ? "off" : "on";
    if (c.value_type == "float3") return c.value == "0.25,0.5,0.75" ? "0.5,0.25,1" : "0.25,0.5,0.75";
    if (c.value_type == "integer") return c.value == "3" ? "4" : "3";
    return c.value == "0.25" ? "0.5" : "0.25";
}

// For each control, the saved blocks that change when the user edits it on a
// fresh node: found by editing it and saving.
void find_saved_blocks(const std::shared_ptr<refhost::Module> &module, const std::string &server,
                       std::vector<ControlInfo> &controls) {
    for (ControlInfo &c : controls) {
        if (c.hidden || c.value.empty()) continue;
        refhost::Network net(module);
        std::string error;
        refhost::HostNode *n = net.create(server, error);
        refhost::Panel *panel = n != nullptr ? panel_of(net, n->id) : nullptr;
        if (panel == nullptr) continue;
        const std::vector<std::string> before = saved_lines(*n);
        if (!panel->edit(c.id, other_value(c), error)) continue;
        const std::vector<std::string> after = saved_lines(*n);
        for (std::size_t i = 0; i < after.size(); ++i)
            if (i >= before.size() || after[i] != before[i])
                c.saved_in.push_back(after[i].substr(0, after[i].find(' ')));
    }
}

}  // namespace

std::vector<int> input_controls(const std::shared_ptr<refhost::Module> &module, const refhost::HostNode &node,
                                std::vector<ControlInfo> *controls) {
    std::vector<int> result(node.inputs.size(), -1);
    refhost::Network scratch(module);
    std::string error;
    refhost::HostNode *n = scratch.create(node.server, error);
    if (n == nullptr) return result;
    refhost::Panel *panel = panel_of(scratch, n->id);
    if (panel == nullptr) return result;
    const std::vector<ControlInfo> all = controls_of(*panel, *n);
    if (controls != nullptr) *controls = all;
    for (std::size_t i = 0; i < n->inputs.size() && i < result.size(); ++i) {
        refhost::Value v;
        v.type = n->inputs[i]->type;
        if (scratch.feed_input(n->id, i, v, error) == nullptr) continue;
        for (std::size_t c = 0; c < all.size(); ++c)
            if (!all[c].value.empty() && !panel->value_text(all[c].id)) result[i] = static_cast<int>(c);
        scratch.disconnect(n->id, n->inputs[i]->name, error);
    }
    return result;
}

bool describe_node(const std::shared_ptr<refhost::Module> &module, const std::string &server, NodeInfo &info,
                   std::string &error) {
    info = NodeInfo();
    info.server = server;
    const QvServerRecord *record = module->find("NodeHandler", server);
    if (record == nullptr) {
        error = "unknown node " + support::quoted(server);
        return false;
    }
    if (const char *d = refhost::Module::tag(*record, QV_TAG_DISPLAY_NAME)) info.display = d;
    if (const char *g = refhost::Module::tag(*record, QV_TAG_NODE_GROUP)) info.group = g;
    refhost::HostNode probe;
    info.activation =
        refhost::activate_handler(*module, server, probe, refhost::Application::get().config().handler_version);
    refhost::Network net(module);
    refhost::HostNode *n = net.create(server, error);
    info.available = n != nullptr;
    if (n == nullptr) return true;  // listed, but this host cannot run it
    std::copy(n->colour, n->colour + 3, info.colour);
    const std::vector<int> edits = input_controls(module, *n, &info.controls);
    for (std::size_t i = 0; i < n->inputs.size(); ++i)
        info.inputs.push_back({n->inputs[i]->name, n->inputs[i]->type, edits[i]});
    for (const auto &o : n->outputs) info.outputs.push_back({o->name, o->type, -1});

    for (const std::string &line : saved_lines(*n)) {
        info.saved.push_back(line.substr(0, line.find(' ')));
        info.saved_text += line + "\n";
    }
    find_saved_blocks(module, server, info.controls);
    return true;
}

std::string unavailable_node(const std::shared_ptr<refhost::Module> &module, const std::string &server,
                             const std::string &error) {
    if (module->find("NodeHandler", server) == nullptr) {
        std::vector<std::string> names;
        for (const QvServerRecord *r : module->servers())
            if (std::string(r->server_class) == "NodeHandler") names.push_back(r->name);
        return error + did_you_mean(server, names);  // "unknown node "X"; did you mean ...?"
    }
    const refhost::HostConfig &config = refhost::Application::get().config();
    if (error.find("is not available") == std::string::npos || !config.withheld.empty()) return error;
    if (config.era() == QV_ERA_2018)
        return error + ": hosts of 2018 and later do not offer it; it runs on hosts before 2018 from build " +
               std::to_string(QV_LAST_BUILD_WITHOUT_MATERIAL_NODES + 1) + " on";
    if (config.build <= QV_LAST_BUILD_WITHOUT_MATERIAL_NODES)
        return error + ": hosts up to build " + std::to_string(QV_LAST_BUILD_WITHOUT_MATERIAL_NODES) +
               " do not offer it; it needs build " + std::to_string(QV_LAST_BUILD_WITHOUT_MATERIAL_NODES + 1) +
               " or later (--build " + std::to_string(QV_LAST_BUILD_WITHOUT_MATERIAL_NODES + 1) + ")";
    return error;
}

std::string conversion_node(const std::shared_ptr<refhost::Module> &module, int from_type, int to_type) {
    // Scalars and integers convert into each other, as do vectors and colours.
    auto family = [](int t) { return t == QV_TYPE_INTEGER ? QV_TYPE_SCALAR : t == QV_TYPE_COLOR ? QV_TYPE_VECTOR : t; };
    refhost::Network scratch(module);
    for (const bool exact : {true, false})
        for (const QvServerRecord *record : module->servers()) {
            if (std::string(record->server_class) != "NodeHandler") continue;
            const char *group = refhost::Module::tag(*record, QV_TAG_NODE_GROUP);
            const std::string g = group != nullptr ? group : "";
            if (g.size() < 5 || g.compare(g.size() - 5, 5, "/Conv") != 0) continue;
            std::string error;
            const refhost::HostNode *n = scratch.create(record->name, error);
            if (n == nullptr || n->inputs.empty()) continue;
            const int in = n->inputs[0]->type;
            if (exact ? in != from_type : family(in) != family(from_type)) continue;
            for (const auto &out : n->outputs)
                if (family(out->type) == family(to_type)) {
                    const char *display = refhost::Module::tag(*record, QV_TAG_DISPLAY_NAME);
                    return std::string(record->name) + (display != nullptr ? " (" + std::string(display) + ")" : "");
                }
        }
    return "";
}

// ---- Controls by name -------------------------------------------------------

std::string control_name(const refhost::Panel &panel, const refhost::HostNode &node,
                         const refhost::PanelControl &control) {
    if (label_is_unique(panel, control)) return control.label;
    if (control.id >= kFirstValueSlot && control.id <= kLastValueSlot && control.label.empty()) {
        const std::size_t index = control.id - kFirstValueSlot;
        if (index < node.inputs.size()) return refhost::input_key(node, index);
    }
    if (const char *slot = slot_name(control.id)) return slot;
    return hex_id(control.id);
}

const refhost::PanelControl *find_control(const refhost::Panel &panel, const refhost::HostNode &node,
                                          const std::string &name, std::string &error) {
    std::vector<std::string> names;
    for (const refhost::PanelControl &c : panel.controls()) {
        if (c.hidden) continue;
        names.push_back(control_name(panel, node, c));
        if (names.back() == name) return &c;
    }
    for (const auto &slot : kControlSlots)
        if (name == slot.name) {
            if (const refhost::PanelControl *c = panel.control(slot.id)) return c;
        }
    std::string why;
    if (const refhost::PanelControl *c = panel.find(name, why)) return c;
    std::string sharing;
    int shared = 0;
    for (const refhost::PanelControl &c : panel.controls())
        if (!c.hidden && c.label == name) {
            sharing += (sharing.empty() ? "" : ", ") + control_name(panel, node, c);
            ++shared;
        }
    if (shared > 0) {
        error = "label " + support::shown_quoted(name) + " names " + std::to_string(shared) + " controls (" + sharing +
                "): name one of them so";
        return nullptr;
    }
    std::string list;
    for (const std::string &n : names) list += (list.empty() ? "" : ", ") + n;
    error = "no control " + support::shown_quoted(name) +
            " on this panel (controls: " + (list.empty() ? "none" : list) + ")" + did_you_mean(name, names);
    return nullptr;
}

bool set_control(refhost::Panel &panel, const refhost::HostNode &node, const refhost::PanelControl &control,
                 const std::string &text, std::string &error) {
    const std::string name = control_name(panel, node, control);
    const std::string what = "control " + support::quoted(name) + ": ";
    std::string given = text;
    if (control.has_choices) {
        const auto chosen = std::find(control.choices.begin(), control.choices.end(), text);
        if (chosen != control.choices.end()) {
            given = std::to_string(chosen - control.choices.begin());
        } else if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
            std::string list;
            for (const std::string &l : control.choices) list += (list.empty() ? "" : ", ") + support::quoted(l);
            error = what + support::shown_quoted(text) + " is not one of its choices (" + list + ")" +
                    did_you_mean(text, control.choices);
            return false;
        }
    } else if (control.cls == "iBoolean") {
        if (text == "true" || text == "on" || text == "1") {
            given = "1";
        } else if (text == "false" || text == "off" || text == "0") {
            given = "0";
        } else {
            error = what + support::shown_quoted(text) +
                    " is not true or false (a check box: true, false, on, off, 1 or 0)";
            return false;
        }
    } else if (control.value_type == "percent" && (text.empty() || text.back() != '%')) {
        given = text + "%";  // the panel's own unit: 50 is one half
    }
    if (!panel.edit(control.id, given, error)) {
        error = renamed(error, control, name);
        return false;
    }
    return true;
}

std::optional<std::string> control_setting(const refhost::Panel &panel, const refhost::PanelControl &control) {
    const std::optional<std::string> text = panel.value_text(control.id);
    if (!text) return std::nullopt;
    if (control.has_choices) {
        const std::optional<int32_t> k = panel.integer_value(control.id);
        if (k && *k >= 0 && static_cast<std::size_t>(*k) < control.choices.size())
            return support::quoted(control.choices[static_cast<std::size_t>(*k)]);
        return text;
    }
    if (control.cls == "iBoolean") return std::string(*text == "0" ? "false" : "true");
    if (control.value_type == "percent") return percent_text(std::strtod(text->c_str(), nullptr));
    if (control.value_type == "float3") {
        std::string s = *text;
        for (std::size_t at = s.find(','); at != std::string::npos; at = s.find(',', at + 2)) s.insert(at + 1, " ");
        return "[" + s + "]";
    }
    return text;
}

std::optional<std::string> control_shown(const refhost::Panel &panel, const refhost::PanelControl &control) {
    if (control.value_type != "percent") return panel.value_text(control.id);
    const std::optional<std::string> setting = control_setting(panel, control);
    return setting ? std::optional<std::string>(*setting + "%") : std::nullopt;
}

std::vector<const refhost::PanelControl *> panel_settings(const std::shared_ptr<refhost::Module> &module,
                                                          const refhost::Panel &panel, const refhost::HostNode &node) {
    std::vector<ControlInfo> controls;
    const std::vector<int> edits = input_controls(module, node, &controls);
    std::vector<const refhost::PanelControl *> settings;
    for (const refhost::PanelControl &c : panel.controls()) {
        bool edits_input = false;
        for (int e : edits) edits_input = edits_input || (e >= 0 && controls[static_cast<std::size_t>(e)].id == c.id);
        if (!c.hidden && !edits_input) settings.push_back(&c);
    }
    return settings;
}

std::vector<std::string> panel_settings_text(const std::shared_ptr<refhost::Module> &module,
                                             const refhost::Network &net, const refhost::HostNode &node) {
    std::vector<std::string> lines;
    std::string error;
    const refhost::Network::PanelOpening opening = net.open_panel(node.id, error);
    const refhost::Panel *panel =
        opening.code == QV_AFUNC_OK && opening.panel != nullptr ? refhost::panel_of(opening.panel) : nullptr;
    if (panel == nullptr) return lines;
    for (const refhost::PanelControl *c : panel_settings(module, *panel, node))
        if (const std::optional<std::string> value = control_setting(*panel, *c))
            lines.push_back(toml_key(control_name(*panel, node, *c)) + " = " + *value);
    return lines;
}

std::string did_you_mean(const std::string &word, const std::vector<std::string> &names) {
    const std::string *best = nullptr;
    std::size_t best_distance = 0;
    for (const std::string &n : names) {
        // A name whose length is too far off is no near miss (the distance is
        // at least the difference), whatever the word's length.
        const std::size_t shorter = std::min(word.size(), n.size()), longer = std::max(word.size(), n.size());
        if (longer - shorter > std::max<std::size_t>(1, shorter / 3)) continue;
        const std::size_t d = edit_distance(word, n);
        if (best == nullptr || d < best_distance) best = &n, best_distance = d;
    }
    if (best == nullptr || *best == word) return "";
    const std::size_t limit = std::max<std::size_t>(1, std::min(word.size(), best->size()) / 3);
    if (best_distance > limit) return "";
    return "; did you mean " + support::quoted(*best) + "?";
}

}  // namespace qvhost
