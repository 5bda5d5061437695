// The option panels' accessors, as the toolkit and a careless host could call
// them: any value id, any value, with inputs connected and disconnected on the
// way, through the toolkit's edits and the change callback; then the node is
// run and saved.  A value is handed over in a buffer of exactly its control's
// size (eight bytes for an id the panel does not list), so an accessor that
// reads or returns more than its value is found.
//
// Input: a node byte (its index among the nodes with a panel), a byte of
// inputs to feed (bit i: input i), then operations of a byte each and what
// they take:
//   0 get an id; 1 set an id to the next bytes; 2 connect or disconnect an
//   input; 3 edit a control through the toolkit with up to 15 bytes of text;
//   4 the change callback with an id and an event; 5 every control's value as
//   the toolkit shows it; 6 run the network once; 7 copy the node.
// An id is a byte: below 0xF0 one of the ids below, else the next four bytes.
#include "fuzz/fuzz_targets.h"

#include "refhost/application.h"
#include "refhost/panel/xpanel.h"

#include <cstring>
#include <memory>

namespace qvfuzz {

namespace {

const uint32_t kIds[] = {0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006, 0x8010, 0x8011, 0x8012,
                         0x8013, 0x8014, 0x8015, 0x8000, 0x8007, 0x800F, 0x8016, 0x0,    0xFFFFFFFF};
constexpr int kMaxOperations = 64;

// The servers whose NodeInterface builds a panel, found once.
const std::vector<std::string> &panel_servers() {
    static const std::vector<std::string> servers = [] {
        std::vector<std::string> names;
        refhost::Network net(module());
        for (const std::string &server : node_servers()) {
            std::string error;
            const refhost::HostNode *n = net.create(server, error);
            if (n != nullptr && net.open_panel(n->id, error).panel != nullptr) names.push_back(server);
        }
        return names;
    }();
    return servers;
}

uint32_t value_id(Bytes &in) {
    const uint8_t b = in.byte();
    return b < 0xF0 ? kIds[b % std::size(kIds)] : in.word();
}

// The bytes of a value of the control with this id.
std::size_t value_size(const refhost::Panel &panel, uint32_t id) {
    const refhost::PanelControl *c = panel.control(id);
    if (c == nullptr) return sizeof(double);
    if (c->value_type == "float3") return 3 * sizeof(double);
    if (c->value_type == "integer") return sizeof(int32_t);
    return sizeof(double);
}

void toggle_input(refhost::Network &net, refhost::HostNode &n, std::size_t i) {
    std::string error;
    refhost::HostInput &in = *n.inputs[i];
    int nth = 0;
    for (std::size_t k = 0; k <= i; ++k)
        if (n.inputs[k]->name == in.name) ++nth;
    const std::string name = nth > 1 ? in.name + "#" + std::to_string(nth) : in.name;
    if (in.connected()) {
        net.disconnect(n.id, name, error);
        return;
    }
    const refhost::Value v = in.type == QV_TYPE_INTEGER  ? refhost::Value::integer(3)
                             : in.type == QV_TYPE_SCALAR ? refhost::Value::scalar(0.75)
                                                         : refhost::Value::triple(in.type, 0.5, -2.0, 4.0);
    if (refhost::can_convert(v.type, in.type)) net.feed_input(n.id, i, v, error);
}

}  // namespace

Finding fuzz_panels(const uint8_t *data, std::size_t size) {
    fresh_application();
    Bytes in(data, size);
    const std::vector<std::string> &servers = panel_servers();
    if (servers.empty()) return "no node has a panel";
    const std::string &server = servers[in.byte() % servers.size()];
    const uint8_t mask = in.byte();

    refhost::Network net(module());
    std::string error;
    refhost::HostNode *n = net.create(server, error);
    if (n == nullptr) return server + ": " + error;
    for (std::size_t i = 0; i < n->inputs.size() && i < 8; ++i)
        if (mask & (1u << i)) toggle_input(net, *n, i);
    const refhost::Network::PanelOpening opening = net.open_panel(n->id, error);
    refhost::Panel *panel = refhost::panel_of(opening.panel);
    if (panel == nullptr) return server + ": its panel did not open";
    void *inst = panel->instance();
    if (inst != n->instance) return server + ": the panel is bound to something other than the instance";
    const QvXPanelGetFunc get = panel->getter();
    const QvXPanelSetFunc set = panel->setter();
    if (get == nullptr || set == nullptr) return server + ": the panel has no accessors";

    for (int op = 0; op < kMaxOperations && !in.empty(); ++op) {
        switch (in.byte() % 8) {
        case 0: {
            const uint32_t id = value_id(in);
            if (const void *value = get(inst, id)) {
                unsigned char copy[3 * sizeof(double)];
                std::memcpy(copy, value, value_size(*panel, id));
            }
            break;
        }
        case 1: {
            const uint32_t id = value_id(in);
            const std::size_t bytes = value_size(*panel, id);
            const std::unique_ptr<unsigned char[]> value(new unsigned char[bytes]());
            const std::string given = in.take(bytes);
            std::memcpy(value.get(), given.data(), given.size());
            set(inst, id, value.get());
            break;
        }
        case 2:
            if (!n->inputs.empty()) toggle_input(net, *n, in.byte() % n->inputs.size());
            break;
        case 3: {
            if (panel->controls().empty()) break;
            const uint32_t id = panel->controls()[in.byte() % panel->controls().size()].id;
            panel->edit(id, in.take(in.byte() % 16), error);
            break;
        }
        case 4: {
            const uint32_t id = value_id(in);
            const int event = static_cast<int>(in.byte() % 5) - 1;
            if (panel->notify() != nullptr) panel->notify()(opening.panel, id, id, event);
            break;
        }
        case 5:
            for (const refhost::PanelControl &c : panel->controls()) panel->value_text(c.id);
            break;
        case 6: evaluate_everything(net, 2, 0.1); break;
        case 7: net.copy(n->id, error); break;
        }
    }
    evaluate_everything(net, 3, 0.15);
    std::string text;
    return save(net, refhost::SceneForm::text, text);
}

}  // namespace qvfuzz
