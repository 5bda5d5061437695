#include "nodes/scalar/arithmetic.h"

#include "core/callbacks.h"

namespace qv {

double combine_add(double r, double x) { return r + x; }
double combine_sub(double r, double x) { return r - x; }
double combine_mul(double r, double x) { return r * x; }
double combine_min(double r, double x) { return x < r ? x : r; }
double combine_max(double r, double x) { return r > x ? r : x; }

void divide_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    // The divisor is read first; a zero divisor gives 0.0 and In1 is not
    // evaluated at all.  A NaN divisor is not zero and gives NaN.
    const double divisor = read_scalar(n, 1, sa);
    const double r = divisor == 0.0 ? 0.0 : read_scalar(n, 0, sa) / divisor;
    set_output(value, &r);
}

}  // namespace qv
