#pragma once

#include "core/node_instance.h"
