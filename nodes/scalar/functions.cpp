#include "nodes/scalar/functions.h"

#include "core/callbacks.h"
#include "core/create.h"

#include <cmath>

namespace qv {

double fn_acos(double x) { return std::acos(x); }
double fn_asin(double x) { return std::asin(x); }
double fn_atan(double x) { return std::atan(x); }
double fn_cos(double x) { return std::cos(x); }
double fn_sin(double x) { return std::sin(x); }
double fn_tan(double x) { return std::tan(x); }
double fn_erf(double x) { return std::erf(x); }
double fn_exp(double x) { return std::exp(x); }
double fn_log(double x) { return std::log(x); }
double fn_log2(double x) { return std::log2(x); }
double fn_log10(double x) { return std::log10(x); }
// Rounds halfway cases away from zero, in any rounding mode.  Written out
// rather than calling round(): some C runtimes compute floor(x + 0.5), which
// turns 0.49999999999999994 into 1.  x - trunc(x) is exact; NaN and the
// infinities fail the comparison and come back as they are.
double fn_round(double x) {
    const double t = std::trunc(x);
    return std::fabs(x - t) >= 0.5 ? t + std::copysign(1.0, x) : t;
}
double fn_sqrt(double x) { return std::sqrt(x); }
double fn_trunc(double x) { return std::trunc(x); }

void one_input_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    const double r = n->extra.fn(read_scalar(n, 0, sa));
    set_output(value, &r);
}

void atan2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    const double x = read_scalar(n, 0, sa);
    const double y = read_scalar(n, 1, sa);
    // A zero Y gives 0.0 whatever X is, so (-1, 0) is 0 and not pi.
    const double r = y == 0.0 ? 0.0 : std::atan2(y, x);
    set_output(value, &r);
}

void pow_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    const double base = read_scalar(n, 0, sa);
    const double exponent = read_scalar(n, 1, sa);
    // A zero base gives 0.0 for every exponent (0^0 and 0^-2 included); a
    // zero exponent of any other base gives 1.0.  NaN counts as non-zero.
    double r;
    if (base == 0.0)
        r = 0.0;
    else if (exponent == 0.0)
        r = 1.0;
    else
        r = std::pow(base, exponent);
    set_output(value, &r);
}

void *abs_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.flags = kFlagInt1;  // first option word: 0 "Abs +", else "Abs -"
    layout.colour = kColourGeneral;
    layout.inputs[0] = {QV_TYPE_SCALAR, "In"};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return create_node(node, layout, err);
}

void abs_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double r = 0.0;  // "In" keeps no stored default
    if (n->connected[0]) {
        const double x = read_scalar(n, 0, sa);
        r = n->extra.words[0] == 0 ? std::fabs(x) : -std::fabs(x);  // sign bit only
    }
    set_output(value, &r);
}

}  // namespace qv
