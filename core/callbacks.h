// Callbacks shared by the nodes built on the node instance: the input-event
// callback that keeps the connected flags, render init, destroy, the no-op
// render callbacks, and reading an input for one sample.
#pragma once

#include "core/node_instance.h"
#include "module/base/services.h"

namespace qv {

int input_event(void *inst, QvInputId input, int event, int type);
QvError standard_render_init(void *inst, int mode);
void standard_destroy(void *inst);
void cleanup_none(void *inst);
QvError new_time_none(void *inst, int32_t frame, double time);

// The value of a scalar input: evaluated through the host while connected,
// otherwise the stored default of the same slot.
inline double read_scalar(const NodeInstance *n, int slot, QvSampleAccess *sa) {
    if (n->connected[slot]) {
        double v = 0.0;
        g_host.input->evaluate(n->inputs[slot], sa, &v);
        return v;
    }
    return n->defaults[slot];
}

// The same for an input that keeps no stored default: 0.0 while unconnected.
inline double read_scalar_or_zero(const NodeInstance *n, int slot, QvSampleAccess *sa) {
    if (!n->connected[slot]) return 0.0;
    double v = 0.0;
    g_host.input->evaluate(n->inputs[slot], sa, &v);
    return v;
}

// Evaluates a connected input of any type into `result`.
inline void evaluate_input(const NodeInstance *n, int slot, QvSampleAccess *sa, void *result) {
    g_host.input->evaluate(n->inputs[slot], sa, result);
}

// A vector input: evaluated while connected, otherwise the three stored
// defaults from `first_default` on.  `out` is three doubles.
template <typename Vector>
inline void read_vector(const NodeInstance *n, int slot, int first_default, QvSampleAccess *sa, Vector &out) {
    static_assert(sizeof(Vector) == 3 * sizeof(double), "a vector is three doubles");
    if (n->connected[slot]) {
        evaluate_input(n, slot, sa, &out);
    } else {
        const double *d = &n->defaults[first_default];
        out = Vector{d[0], d[1], d[2]};
    }
}

// The output slot that holds `out` among the first `count`, or -1.
inline int output_slot(const NodeInstance *n, QvOutputId out, int count) {
    for (int i = 0; i < count; ++i)
        if (n->outputs[i] == out) return i;
    return -1;
}

inline void set_output(QvNodeValue value, const void *result) {
    g_host.output->set_value(value, result);
}

}  // namespace qv
