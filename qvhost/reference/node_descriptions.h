// What the node reference says in its own words: for each node, one or two
// sentences on what it computes and what it gives at its edges (a zero
// divisor, a zero-length vector, a singular matrix, NaN, a value out of
// range), and a title for each node group.  Everything else the reference
// shows is read from the loaded module.
#pragma once

#include <cstddef>

namespace qvhost {

struct NodeDescription {
    const char *server;  // "QvMs_SIN"
    const char *text;    // `code`, *emphasis* and [links](page.md#id) only
};

struct GroupTitle {
    const char *group;  // "QvTool/Math/Func_T", as the node editor lists it
    const char *title;  // "Trigonometric functions"
};

extern const NodeDescription kNodeDescriptions[];
extern const std::size_t kNodeDescriptionCount;
extern const GroupTitle kGroupTitles[];
extern const std::size_t kGroupTitleCount;

// The description of a server, or null when the table has no row for it.
const char *node_description(const char *server);
// The title of a node group, or null.
const char *group_title(const char *group);

}  // namespace qvhost
