// Vector arithmetic nodes: component-wise sums, differences, products,
// quotients, maxima and minima of two vectors, and the vector clamp.
#pragma once

#include "core/node_instance.h"

namespace qv {

using ComponentOp = double (*)(double, double);

double component_divide(double a, double b);  // 0.0 where b is zero or NaN

// Out[i] = Op(In1[i], In2[i]); In1 read first.
template <ComponentOp Op>
void two_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// Created by the shared clamp create with private word 1.
void vector_clamp_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

}  // namespace qv
