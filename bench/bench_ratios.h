// What the benchmark programs share: the module, loaded once as the
// application loads it, and the ratios printed at the end of a run, each a
// benchmark's time over a baseline's measured in the same run.
#pragma once

#include "refhost/module_loader.h"

#include <memory>
#include <string>

namespace bench {

std::shared_ptr<refhost::Module> module();

// Registers a ratio to print: the time of `benchmark` over that of
// `baseline` (full run names, "BM_X/2/real_time").  Returns true, so that a
// registration can initialise a constant.
bool compare(const std::string &benchmark, const std::string &baseline);

}  // namespace bench
