// Callbacks shared by the nodes built on the node instance: the input-event
// callback that keeps the connected flags, render init, destroy, the no-op
// render callbacks, and reading an input for one sample.
#pragma once

#include "core/node_instance.h"
#include "module/base/services.h"

#include <cstddef>

namespace qv {

// The connection rule on a record's input slots: the slot that holds the
// input is connected on event 0 and disconnected on any other event; a
// handle found in no slot (a null one included) changes nothing.  The node
// instance, the viewers and the caches all keep their slots by it.
template <std::size_t N>
void note_input_event(QvInputId (&inputs)[N], uint8_t (&connected)[N], QvInputId input, int event) {
    if (input == nullptr) return;
    for (std::size_t i = 0; i < N; ++i) {
        if (inputs[i] == input) {
            connected[i] = event == QV_EVENT_CONNECT ? 1 : 0;
            return;
        }
    }
}

// Render init's rule: the first time, every slot that holds an input takes
// its connected flag from the host (the low byte counts) and `word` gets the
// connections-read bit; later calls ask the host nothing.
template <std::size_t N>
void read_connections_once(QvInputId (&inputs)[N], uint8_t (&connected)[N], uint32_t &word) {
    if (word & kFlagConnectionsRead) return;
    for (std::size_t i = 0; i < N; ++i)
        if (inputs[i] != nullptr) connected[i] = static_cast<uint8_t>(g_host.input->connected(inputs[i]) & 0xFF);
    word |= kFlagConnectionsRead;
}

// The node instance's input-event callback: the rule above, then a refresh
// of the option panel if it is open.
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

inline void set_output(QvNodeValue value, const void *result) { g_host.output->set_value(value, result); }

}  // namespace qv
