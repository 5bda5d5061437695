#include "nodes/vector/vector_arithmetic.h"

#include "core/callbacks.h"
#include "geometry/geometry.h"
#include "nodes/scalar/arithmetic.h"
#include "nodes/scalar/measures.h"

#include <cmath>

namespace qv {

void vector_clamp_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    // Min (input slot 1) keeps stored defaults 0 to 2, Max (slot 2) 3 to 5;
    // "In" keeps none and reads (0, 0, 0) while unconnected.
    Vec3 lo, hi, in{0.0, 0.0, 0.0};
    read_vector(n, 1, 0, sa, lo);
    read_vector(n, 2, 3, sa, hi);
    if (n->connected[0]) evaluate_input(n, 0, sa, &in);
    const Vec3 r{clamp_value(in.x, lo.x, hi.x), clamp_value(in.y, lo.y, hi.y), clamp_value(in.z, lo.z, hi.z)};
    set_output(value, &r);
}

}  // namespace qv
