// The range mapper, with a choice of what happens beyond each end of the
// target range, and the noisy channel driven by scene time.
#pragma once

#include "core/node_instance.h"

namespace qv {

// What the range mapper does with a result beyond an end of the target range.
enum RangeMode : int32_t {
    kRangeLinear = 0,    // the result as it is
    kRangeConstant = 1,  // the end itself
    kRangeRepeat = 2,    // wrapped into the range
    kRangeReflect = 3,   // folded back and forth (any other value too)
};

void *map_range_create(void *priv, QvNodeId node, QvError *err);
void map_range_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *noise_create(void *priv, QvNodeId node, QvError *err);
void noise_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
QvError noise_new_time(void *inst, int32_t frame, double time);

}  // namespace qv
