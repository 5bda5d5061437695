// The module descriptor, the only exported symbol, and the server table the
// host reads from it: a NodeHandler record per node with its tag list, then
// a NodeInterface record per node, then a record of zeros.  All of it is generated at
// compile time from the node table.
#include "module/activation.h"
#include "module/node_table.h"
#include "panels/panels.h"

#include <array>
#include <utility>

#if defined(_WIN32)
#define QV_EXPORT __declspec(dllexport)
#else
#define QV_EXPORT __attribute__((visibility("default")))
#endif

namespace qv {

namespace {

using TagList = std::array<QvTagPair, 4>;

template <std::size_t... I>
constexpr std::array<TagList, kNodeCount> make_tag_lists(std::index_sequence<I...>) {
    return {{TagList{{{kNodeRows[I].display, QV_TAG_DISPLAY_NAME},
                      {kNodeRows[I].group, QV_TAG_NODE_GROUP},
                      {"All", QV_TAG_MENU},
                      {nullptr, 0}}}...}};
}

constexpr std::array<TagList, kNodeCount> kTagLists = make_tag_lists(std::make_index_sequence<kNodeCount>{});

// The node's create, handed the node id in whichever form the host gives it.
template <std::size_t Row>
void *create_from_either_form(void *priv, QvNodeId argument, QvError *err) {
    return kNodeRows[Row].binding.create(priv, node_of_create_argument(argument), err);
}

template <std::size_t Row>
int activate_handler(int version, QvGlobalFunc global, void *local, void *) {
    return bind_handler(kNodeRows[Row].binding, &create_from_either_form<Row>, version, global,
                        static_cast<QvNodeHandler *>(local));
}

constexpr QvActivateFunc kInterfaceActivations[] = {
#define QV_PANEL_ACTIVATION(name) &activate_interface<PanelKind::name>,
    QV_PANEL_KINDS(QV_PANEL_ACTIVATION)
#undef QV_PANEL_ACTIVATION
};

constexpr std::size_t kServerCount = 2 * kNodeCount;

template <std::size_t... I>
constexpr std::array<QvServerRecord, kServerCount + 1> make_servers(std::index_sequence<I...>) {
    std::array<QvServerRecord, kServerCount + 1> table{};
    ((table[I] = QvServerRecord{"NodeHandler", kNodeRows[I].server, &activate_handler<I>, kTagLists[I].data()}), ...);
    ((table[kNodeCount + kNodeRows[I].interface_position - 1] =
          QvServerRecord{"NodeInterface", kNodeRows[I].server,
                         kInterfaceActivations[static_cast<int>(kNodeRows[I].panel)], nullptr}),
     ...);
    return table;
}

constexpr std::array<QvServerRecord, kServerCount + 1> kServers = make_servers(std::make_index_sequence<kNodeCount>{});

void *module_startup() { return reinterpret_cast<void *>(static_cast<uintptr_t>(4)); }
void module_shutdown() {}

}  // namespace

}  // namespace qv

extern "C" QV_EXPORT const QvModuleDescriptor _mod_descrip = {
    QV_MODULE_SYNC, QV_MODULE_VERSION, QV_MODULE_MACHINE, qv::module_startup, qv::module_shutdown, qv::kServers.data(),
};
