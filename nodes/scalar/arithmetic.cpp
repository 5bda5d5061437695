#include "nodes/scalar/arithmetic.h"

#include "core/callbacks.h"

namespace qv {

double combine_add(double r, double x) { return r + x; }
double combine_sub(double r, double x) { return r - x; }
double combine_mul(double r, double x) { return r * x; }
double combine_min(double r, double x) { return x < r ? x : r; }
double combine_max(double r, double x) { return r > x ? r : x; }

template <Combine Op>
void two_input_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    const double a = read_scalar(n, 0, sa);
    const double r = Op(a, read_scalar(n, 1, sa));
    set_output(value, &r);
}

template <Combine Op>
void four_input_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double r = read_scalar(n, 0, sa);
    for (int i = 1; i < 4; ++i) r = Op(r, read_scalar(n, i, sa));
    set_output(value, &r);
}

template void two_input_evaluate<combine_add>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);
template void two_input_evaluate<combine_sub>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);
template void two_input_evaluate<combine_mul>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);
template void four_input_evaluate<combine_add>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);
template void four_input_evaluate<combine_sub>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);
template void four_input_evaluate<combine_mul>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);
template void four_input_evaluate<combine_min>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);
template void four_input_evaluate<combine_max>(void *, QvSampleAccess *, QvOutputId, QvNodeValue);

void divide_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    // The divisor is read first; a zero divisor gives 0.0 and In1 is not
    // evaluated at all.  A NaN divisor is not zero and gives NaN.
    const double divisor = read_scalar(n, 1, sa);
    const double r = divisor == 0.0 ? 0.0 : read_scalar(n, 0, sa) / divisor;
    set_output(value, &r);
}

}  // namespace qv
