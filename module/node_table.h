// The node table as data: one NodeRow per node, in NodeHandler order.
#pragma once

#include "core/create.h"
#include "module/base/binding.h"
#include "module/base/panel_kind.h"
#include "nodes/matrix/matrix_nodes.h"
#include "nodes/scalar/arithmetic.h"
#include "nodes/scalar/constants.h"
#include "nodes/scalar/functions.h"
#include "nodes/scalar/measures.h"
#include "nodes/tool/caches.h"
#include "nodes/tool/conversions.h"
#include "nodes/tool/logic.h"
#include "nodes/tool/map_range_noise.h"
#include "nodes/tool/viewers.h"
#include "nodes/vector/vector_arithmetic.h"
#include "nodes/vector/vector_geometry.h"

#include <cstddef>

namespace qv {

struct NodeRow {
    const char *server;
    const char *display;
    const char *group;
    HandlerBinding binding;
    PanelKind panel;
    int interface_position;  // 1-based position of the NodeInterface record
};

// The rows compose the private words of the two- and four-input creates
// from the fields of their legends, each checked against its legal mask.
namespace w2 = two_input_word;
namespace w4 = four_input_word;

inline constexpr NodeRow kNodeRows[] = {
#define QV_NODE(server, display, group, activation, panel, interface) \
    {#server, display, group, activation, PanelKind::panel, interface},
#include "module/node_table.def"
#undef QV_NODE
};

constexpr std::size_t kNodeCount = sizeof(kNodeRows) / sizeof(kNodeRows[0]);

// Every NodeInterface position from 1 to kNodeCount is taken exactly once.
constexpr bool interface_positions_are_a_permutation() {
    bool seen[kNodeCount + 1] = {};
    for (const NodeRow &row : kNodeRows) {
        if (row.interface_position < 1 || row.interface_position > static_cast<int>(kNodeCount)) return false;
        if (seen[row.interface_position]) return false;
        seen[row.interface_position] = true;
    }
    return true;
}
static_assert(interface_positions_are_a_permutation(), "NodeInterface positions must run from 1 to the node count, once each");

}  // namespace qv
