// NodeHandler activation: acquiring the host services a node needs and
// binding its callbacks into the host's handler record.
#pragma once

#include "module/base/binding.h"

namespace qv {

// The handler record layouts the module knows: versions 1 to 3 of the hosts
// before 2018, and 5 of the hosts of 2018 and later.  The host hands its
// version to every activation; version 4 is a layout of its own that the
// module does not know.
constexpr int kNewestHandlerVersion = QV_HANDLER_VERSION_2018;
constexpr bool knows_handler_version(int version) {
    return (version >= 1 && version <= 3) || version == QV_HANDLER_VERSION_2018;
}

// Binds a node's callbacks into the host's handler record.  On hosts of 2018
// and later `either_form_create` is installed as create: it takes the node
// id out of a context record when the host hands one, then does what
// binding.create does.  Returns an activation code.
int bind_handler(const HandlerBinding &binding, QvCreateFunc either_form_create, int version, QvGlobalFunc global,
                 QvNodeHandler *handler);

}  // namespace qv
