// Map range and noisy channel nodes.
#pragma once

#include "core/node_instance.h"
