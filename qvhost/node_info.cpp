#include "qvhost/node_info.h"

#include "refhost/application.h"
#include "support/escaped_text.h"
#include "refhost/scene/scene_io.h"
#include "refhost/panel/xpanel.h"

namespace qvhost {

namespace {

refhost::Panel *panel_of(refhost::Network &net, int id) {
    std::string error;
    const refhost::Network::PanelOpening o = net.open_panel(id, error);
    return o.code == QV_AFUNC_OK && o.panel != nullptr ? refhost::panel_of(o.panel) : nullptr;
}

std::vector<ControlInfo> controls_of(const refhost::Panel &panel) {
    std::vector<ControlInfo> out;
    for (const refhost::PanelControl &c : panel.controls()) {
        ControlInfo i;
        i.id = c.id;
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
    const std::vector<ControlInfo> all = controls_of(*panel);
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

}  // namespace qvhost
