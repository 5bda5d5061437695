// NodeHandler activation: acquiring the host services a node needs and
// binding its callbacks into the host's handler record.
#pragma once

#include "module/base/binding.h"

namespace qv {

// The newest handler record layout the module knows; the host hands its
// version to every activation.
constexpr int kNewestHandlerVersion = 3;

// Binds a node's callbacks into the host's handler record.  Returns an
// activation code.
int bind_handler(const HandlerBinding &binding, int version, QvGlobalFunc global, QvNodeHandler *handler);

}  // namespace qv
