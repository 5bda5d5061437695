// Vector arithmetic nodes: component-wise sums, differences, products,
// quotients, maxima and minima of two vectors, and the vector clamp.
#pragma once

#include "core/callbacks.h"
#include "geometry/geometry.h"

#include <cmath>

namespace qv {

using ComponentOp = double (*)(double, double);

// 0.0 where b is zero or NaN.  Inline, as the combinations of the scalar
// arithmetic are: the evaluate below divides in place.
inline double component_divide(double a, double b) { return b != 0.0 && !std::isnan(b) ? a / b : 0.0; }

// Out[i] = Op(In1[i], In2[i]); In1 read first.
template <ComponentOp Op>
void two_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    Vec3 a, b;
    read_vector(n, 0, 0, sa, a);
    read_vector(n, 1, 3, sa, b);
    const Vec3 r{Op(a.x, b.x), Op(a.y, b.y), Op(a.z, b.z)};
    set_output(value, &r);
}

// Created by the shared clamp create with private word 1.
void vector_clamp_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

}  // namespace qv
