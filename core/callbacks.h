// Callbacks shared by the nodes built on the node instance: the input-event
// callback that keeps the connected flags, render init, destroy, the no-op
// render callbacks, and reading an input for one sample.
#pragma once

#include "core/node_instance.h"
#include "module/services.h"

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

inline void set_output(QvNodeValue value, const void *result) {
    g_host.output->set_value(value, result);
}

}  // namespace qv
