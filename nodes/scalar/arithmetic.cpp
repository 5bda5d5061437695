#include "nodes/scalar/arithmetic.h"

#include "core/callbacks.h"

namespace qv {

void divide_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    // The divisor is read first; a zero divisor gives 0.0 and In1 is not
    // evaluated at all.  A NaN divisor is not zero and gives NaN.
    const double divisor = read_scalar(n, 1, sa);
    const double r = divisor == 0.0 ? 0.0 : read_scalar(n, 0, sa) / divisor;
    set_output(value, &r);
}

}  // namespace qv
