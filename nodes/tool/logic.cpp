#include "nodes/tool/logic.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "geometry/geometry.h"

#include <cmath>

namespace qv {

namespace {

constexpr Colour kColourLogic{110, 90, 150};

const LogicInstance *logic(void *inst) { return static_cast<const LogicInstance *>(inst); }

// "Out" gets the routed value, any other output the comparison result.
bool asks_out(const NodeInstance *n, QvOutputId out) { return n->outputs[0] == out; }

// r from the comparison inputs in slots 0 and 1, and for two comparisons also
// 2 and 3; every comparison input is read on every evaluation.
int32_t logic_result(const LogicInstance *l, QvSampleAccess *sa, bool two) {
    const NodeInstance *n = &l->base;
    const double a1 = read_scalar(n, 0, sa);
    const double b1 = read_scalar(n, 1, sa);
    const int32_t r1 = compare(l->operators[0], a1, b1);
    if (!two) return r1;
    const double a2 = read_scalar(n, 2, sa);
    const double b2 = read_scalar(n, 3, sa);
    const int32_t r2 = compare(l->operators[1], a2, b2);
    return combine(l->operators[2], r1, r2);
}

// The scalar variants read both routed inputs, from `first` ("True") on.
void logic_scalar(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value, bool two) {
    const LogicInstance *l = logic(inst);
    const int32_t r = logic_result(l, sa, two);
    const int first = two ? 4 : 2;
    const double on_true = read_scalar(&l->base, first, sa);
    const double on_false = read_scalar(&l->base, first + 1, sa);
    if (asks_out(&l->base, out)) {
        const double routed = r == 1 ? on_true : on_false;
        set_output(value, &routed);
    } else {
        set_output(value, &r);
    }
}

// The vector variants read only the chosen routed input; unconnected, it is
// the zero vector.
void logic_vector(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value, bool two) {
    const LogicInstance *l = logic(inst);
    const int32_t r = logic_result(l, sa, two);
    const int chosen = (two ? 4 : 2) + (r == 1 ? 0 : 1);
    double v[3] = {0.0, 0.0, 0.0};
    if (l->base.connected[chosen]) g_host.input->evaluate(l->base.inputs[chosen], sa, v);
    if (asks_out(&l->base, out))
        set_output(value, v);
    else
        set_output(value, &r);
}

}  // namespace

int32_t compare(int32_t op, double a, double b) {
    switch (op) {
    case kNotEqual: return std::fabs(a - b) > kTiny ? 1 : 0;
    case kGreater: return a > b ? 1 : 0;
    case kLess: return a < b ? 1 : 0;
    case kGreaterEqual: return a >= b ? 1 : 0;
    case kLessEqual: return a <= b ? 1 : 0;
    default: return std::fabs(a - b) <= kTiny ? 1 : 0;
    }
}

int32_t combine(int32_t op, int32_t r1, int32_t r2) {
    switch (op) {
    case kBothFalse: return r1 == 0 && r2 == 0 ? 1 : 0;
    case kFirstOnly: return r1 == 1 && r2 == 0 ? 1 : 0;
    case kSecondOnly: return r1 == 0 && r2 == 1 ? 1 : 0;
    case kEitherTrue: return r1 == 1 || r2 == 1 ? 1 : 0;
    default: return r1 == 1 && r2 == 1 ? 1 : 0;
    }
}

void *logic_create(void *priv, QvNodeId node, QvError *err) {
    const uint32_t variant = private_word(priv);
    const bool two = variant == kLogicTwo || variant == kLogicTwoVector;
    const bool vector = variant == kLogicOneVector || variant == kLogicTwoVector;
    const int routed = vector ? QV_TYPE_VECTOR : QV_TYPE_SCALAR;
    const int first = two ? 4 : 2;  // slot of "True"

    NodeLayout layout;
    layout.colour = kColourLogic;
    // Stored defaults for the comparison inputs, and for scalar routed values.
    const int stored = vector ? first : first + 2;
    layout.flags = kFlagLogic | ((1u << stored) - 1u);
    if (!vector) layout.defaults[first] = 1.0;

    static const char *const kComparisonNames[] = {"A1", "B1", "A2", "B2"};
    for (int i = 0; i < first; ++i) layout.inputs[i] = {QV_TYPE_SCALAR, kComparisonNames[i]};
    layout.inputs[first] = {routed, "True"};
    layout.inputs[first + 1] = {routed, "False"};
    layout.outputs[0] = {routed, "Out"};
    layout.outputs[1] = {QV_TYPE_INTEGER, "Bool"};
    return create_node(node, layout, err, sizeof(LogicInstance));
}

void logic_one_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    logic_scalar(inst, sa, out, value, false);
}

void logic_two_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    logic_scalar(inst, sa, out, value, true);
}

void logic_one_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    logic_vector(inst, sa, out, value, false);
}

void logic_two_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    logic_vector(inst, sa, out, value, true);
}

// ---- Switches -------------------------------------------------------------------

void *switch_create(void *priv, QvNodeId node, QvError *err) {
    static const char *const kRouted[] = {"True1", "false1", "True2", "false2", "True3", "false3"};
    static const char *const kOutputs[] = {"out1", "out2", "out3"};
    const int routed = private_word(priv) == 0 ? QV_TYPE_SCALAR : QV_TYPE_VECTOR;
    NodeLayout layout;
    layout.colour = kColourLogic;
    layout.inputs[0] = {QV_TYPE_INTEGER, "Bool"};
    for (int i = 0; i < 6; ++i) layout.inputs[i + 1] = {routed, kRouted[i]};
    for (int i = 0; i < 3; ++i) layout.outputs[i] = {routed, kOutputs[i]};
    return create_node(node, layout, err);
}

// One evaluate serves both switches: the value is read into, and given from,
// room for a vector; a scalar uses its first double.
void switch_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    int32_t sel = 0;
    if (n->connected[0]) g_host.input->evaluate(n->inputs[0], sa, &sel);
    const int pair = n->outputs[0] == out ? 1 : n->outputs[1] == out ? 3 : 5;
    const int chosen = sel != 0 ? pair : pair + 1;
    double v[3] = {0.0, 0.0, 0.0};
    if (n->connected[chosen]) g_host.input->evaluate(n->inputs[chosen], sa, v);
    set_output(value, v);
}

}  // namespace qv
