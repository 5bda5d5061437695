#include "nodes/vector/vector_geometry.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "geometry/geometry.h"

#include <cmath>

namespace qv {

namespace {

const NodeInstance *instance(void *inst) { return static_cast<const NodeInstance *>(inst); }

NodeLayout vector_layout() {
    NodeLayout layout;
    layout.colour = kColourOneVector;
    return layout;
}

Vec3 evaluated(const NodeInstance *n, int slot, QvSampleAccess *sa) {
    Vec3 v{0.0, 0.0, 0.0};
    evaluate_input(n, slot, sa, &v);
    return v;
}

double dot(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

// ---- Angle ------------------------------------------------------------------

void *vector_angle_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout = vector_layout();
    layout.flags = 0x3F;
    layout.defaults[2] = layout.defaults[5] = 1.0;  // both (0, 0, 1)
    layout.inputs[0] = {QV_TYPE_VECTOR, "In1"};
    layout.inputs[1] = {QV_TYPE_VECTOR, "In2"};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return create_node(node, layout, err);
}

void vector_angle_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Vec3 a, b;
    read_vector(n, 0, 0, sa, a);
    read_vector(n, 1, 3, sa, b);
    double r = 0.0;
    // acos of the dot product as computed, without clamping.
    if (vec_normalize(a, a) == 0 && vec_normalize(b, b) == 0) r = std::acos(dot(a, b));
    set_output(value, &r);
}

// ---- Rotate about an axis -----------------------------------------------------

bool read_axis_rotation(const NodeInstance *n, QvSampleAccess *sa, Quat &q) {
    Vec3 axis;
    read_vector(n, 3, 0, sa, axis);
    if (vec_normalize(axis, axis) != 0) axis = Vec3{0.0, 0.0, 0.0};
    double angle;
    if (n->connected[4])
        evaluate_input(n, 4, sa, &angle);
    else
        angle = n->extra.value * kDegreesToRadians;
    if (angle == 0.0) return false;
    quat_from_axis_angle(q, axis, angle);
    return true;
}

void *vector_rotate_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout = vector_layout();
    layout.flags = 0x7 | kFlagValD;
    layout.defaults[2] = 1.0;  // Axis (0, 0, 1); Rot 0 degrees in the extra slot
    layout.inputs[0] = {QV_TYPE_VECTOR, "Vec"};
    layout.inputs[3] = {QV_TYPE_VECTOR, "Axis"};
    layout.inputs[4] = {QV_TYPE_SCALAR, "Rot"};
    layout.outputs[0] = {QV_TYPE_VECTOR, "Out"};
    return create_node(node, layout, err);
}

void vector_rotate_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Vec3 r{0.0, 0.0, 0.0};
    if (n->connected[0]) {
        r = evaluated(n, 0, sa);
        Quat q;
        if (read_axis_rotation(n, sa, q)) quat_rotate(r, r, q);
    }
    set_output(value, &r);
}

// ---- Dot and cross ------------------------------------------------------------

namespace {

NodeLayout dot_cross_layout(int output_type) {
    NodeLayout layout = vector_layout();
    layout.flags = kFlagInt1;  // first option word: Normalize
    layout.inputs[0] = {QV_TYPE_VECTOR, "In1"};
    layout.inputs[1] = {QV_TYPE_VECTOR, "In2"};
    layout.outputs[0] = {output_type, "Out"};
    return layout;
}

// Both inputs, when both are connected and not all six components are tiny
// (a NaN is not tiny), normalised when Normalize is on.
bool read_dot_cross_operands(const NodeInstance *n, QvSampleAccess *sa, Vec3 &a, Vec3 &b) {
    if (!n->connected[0] || !n->connected[1]) return false;
    a = evaluated(n, 0, sa);
    b = evaluated(n, 1, sa);
    const double c[6] = {a.x, a.y, a.z, b.x, b.y, b.z};
    bool all_tiny = true;
    for (double v : c) all_tiny = all_tiny && std::fabs(v) < kTiny;
    if (all_tiny) return false;
    if (n->extra.words[0] != 0) {
        vec_normalize(a, a);  // a vector without length stays as it is
        vec_normalize(b, b);
    }
    return true;
}

}  // namespace

void *vector_dot_create(void *, QvNodeId node, QvError *err) {
    return create_node(node, dot_cross_layout(QV_TYPE_SCALAR), err);
}

void *vector_cross_create(void *, QvNodeId node, QvError *err) {
    return create_node(node, dot_cross_layout(QV_TYPE_VECTOR), err);
}

void vector_dot_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    Vec3 a, b;
    double r = 0.0;
    if (read_dot_cross_operands(instance(inst), sa, a, b)) r = dot(a, b);
    set_output(value, &r);
}

void vector_cross_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    Vec3 a, b, r{0.0, 0.0, 0.0};
    if (read_dot_cross_operands(instance(inst), sa, a, b))
        r = Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    set_output(value, &r);
}

// ---- Transforms ---------------------------------------------------------------

void *vector_transform_create(void *priv, QvNodeId node, QvError *err) {
    static const char *const kNames[] = {"Rgt", "Up", "Fwd", "Vec", "In"};
    NodeLayout layout = vector_layout();
    const int count = private_word(priv) == 0 ? 4 : 5;
    for (int i = 0; i < count; ++i) layout.inputs[i] = {QV_TYPE_VECTOR, kNames[i]};
    layout.outputs[0] = {QV_TYPE_VECTOR, "Out"};
    return create_node(node, layout, err);
}

void vector_transform_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Vec3 r{0.0, 0.0, 1.0};
    if (n->connected[3]) r = evaluated(n, 3, sa);
    if (n->connected[0] || n->connected[1] || n->connected[2]) {
        Mat3 m;
        mat3_identity(m);
        for (int i = 0; i < 3; ++i)
            if (n->connected[i]) m.row[i] = evaluated(n, i, sa);
        vec_mul_mat3(r, r, m);
    }
    set_output(value, &r);
}

void vector_transform4_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Vec3 r{0.0, 0.0, 1.0};
    if (n->connected[4]) r = evaluated(n, 4, sa);
    if (n->connected[0] || n->connected[1] || n->connected[2] || n->connected[3]) {
        Mat4 m;
        mat4_identity(m);
        for (int i = 0; i < 4; ++i) {
            if (!n->connected[i]) continue;
            const Vec3 row = evaluated(n, i, sa);
            m.row[i].x = row.x;
            m.row[i].y = row.y;
            m.row[i].z = row.z;
        }
        point_mul_mat4(r, r, m);
    }
    set_output(value, &r);
}

// ---- Normalised sum and difference ----------------------------------------------

void *normal_sum_create(void *, QvNodeId node, QvError *err) {
    static const char *const kNames[] = {"In1", "In2", "In3", "In4"};
    NodeLayout layout = vector_layout();
    for (int i = 0; i < 4; ++i) layout.inputs[i] = {QV_TYPE_VECTOR, kNames[i]};
    layout.outputs[0] = {QV_TYPE_VECTOR, "Out"};
    return create_node(node, layout, err);
}

namespace {

// Connected inputs only, in slot order: the sum, or the first minus the rest;
// then normalised (a zero result stays zero).
template <bool Subtract>
void normal_sum_evaluate(void *inst, QvSampleAccess *sa, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Vec3 acc{0.0, 0.0, 0.0};
    bool first = true;
    for (int i = 0; i < 4; ++i) {
        if (!n->connected[i]) continue;
        const Vec3 v = evaluated(n, i, sa);
        if (Subtract && !first)
            acc = Vec3{acc.x - v.x, acc.y - v.y, acc.z - v.z};
        else if (Subtract)
            acc = v;
        else
            acc = Vec3{acc.x + v.x, acc.y + v.y, acc.z + v.z};
        first = false;
    }
    vec_normalize(acc, acc);
    set_output(value, &acc);
}

}  // namespace

void add_normal_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    normal_sum_evaluate<false>(inst, sa, value);
}

void sub_normal_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    normal_sum_evaluate<true>(inst, sa, value);
}

// ---- Three normalisers ----------------------------------------------------------

void *vector_normal_create(void *, QvNodeId node, QvError *err) {
    static const char *const kIn[] = {"In1", "In2", "In3"};
    static const char *const kOut[] = {"out1", "out2", "out3"};
    NodeLayout layout = vector_layout();
    layout.interleaved = true;
    for (int i = 0; i < 3; ++i) {
        layout.inputs[i] = {QV_TYPE_VECTOR, kIn[i]};
        layout.outputs[i] = {QV_TYPE_VECTOR, kOut[i]};
    }
    return create_node(node, layout, err);
}

void vector_normal_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const int index = out == n->outputs[0] ? 0 : out == n->outputs[1] ? 1 : 2;
    Vec3 r{0.0, 0.0, 0.0};
    if (n->connected[index]) {
        r = evaluated(n, index, sa);
        vec_normalize(r, r);  // a vector without length is output as evaluated
    }
    set_output(value, &r);
}

}  // namespace qv
