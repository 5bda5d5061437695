// Logic and switch nodes.
#pragma once

#include "core/node_instance.h"
