// Cache nodes: evaluate their input once per time step.
#pragma once

#include "core/node_instance.h"
