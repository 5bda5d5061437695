// Scalar arithmetic nodes: two- and four-input sums, differences, products,
// the quotient, minimum and maximum.
#pragma once

#include "core/callbacks.h"

namespace qv {

using Combine = double (*)(double, double);

// Inline, so that each evaluate below does its arithmetic in place rather
// than through a call per input.
inline double combine_add(double r, double x) { return r + x; }
inline double combine_sub(double r, double x) { return r - x; }
inline double combine_mul(double r, double x) { return r * x; }
inline double combine_min(double r, double x) { return x < r ? x : r; }  // keeps r on a tie; a NaN x is ignored
inline double combine_max(double r, double x) { return r > x ? r : x; }  // takes x on a tie and whenever r or x is NaN

// Out = In1 op In2, In1 read first.
template <Combine Op>
void two_input_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    const double a = read_scalar(n, 0, sa);
    const double r = Op(a, read_scalar(n, 1, sa));
    set_output(value, &r);
}

// Out = ((In1 op In2) op In3) op In4, each input read as it is combined.
template <Combine Op>
void four_input_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double r = read_scalar(n, 0, sa);
    for (int i = 1; i < 4; ++i) r = Op(r, read_scalar(n, i, sa));
    set_output(value, &r);
}

void divide_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

}  // namespace qv
