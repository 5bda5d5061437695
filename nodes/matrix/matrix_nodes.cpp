#include "nodes/matrix/matrix_nodes.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "geometry/geometry.h"
#include "nodes/vector/vector_geometry.h"

namespace qv {

namespace {

constexpr Colour kColourMatrix{64, 80, 120};
const char *const kRowNames[] = {"Rgt", "Up", "Fwd", "Vec"};

const NodeInstance *instance(void *inst) { return static_cast<const NodeInstance *>(inst); }

NodeLayout matrix_layout() {
    NodeLayout layout;
    layout.colour = kColourMatrix;
    return layout;
}

void add_row_outputs(NodeLayout &layout, int count = 3) {
    for (int i = 0; i < count; ++i) layout.outputs[i] = {QV_TYPE_VECTOR, kRowNames[i]};
}

bool any_connected(const NodeInstance *n, int first, int count) {
    for (int i = first; i < first + count; ++i)
        if (n->connected[i]) return true;
    return false;
}

// Replaces the rows of m whose inputs (first, first + 1, first + 2) are
// connected with their values; the other rows stay as they are.
void read_rows(const NodeInstance *n, int first, QvSampleAccess *sa, Mat3 &m) {
    for (int i = 0; i < 3; ++i)
        if (n->connected[first + i]) evaluate_input(n, first + i, sa, &m.row[i]);
}

// Hands over the row of m for output slot 0, 1 or 2; nothing for other outputs.
void output_row(const NodeInstance *n, QvOutputId out, QvNodeValue value, const Mat3 &m) {
    const int slot = output_slot(n, out, 3);
    if (slot >= 0) set_output(value, &m.row[slot]);
}

// Output slots 0 and 1 select rows 0 and 1; any other output row 2.
int row_or_last(const NodeInstance *n, QvOutputId out) {
    return out == n->outputs[0] ? 0 : out == n->outputs[1] ? 1 : 2;
}

}  // namespace

// ---- Euler angles to and from matrices ------------------------------------------

void *euler_to_matrix_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout = matrix_layout();
    layout.flags = kFlagInt1;  // first option word: Invert
    layout.inputs[0] = {QV_TYPE_VECTOR, "Rot"};
    add_row_outputs(layout);
    return create_node(node, layout, err);
}

void euler_to_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Mat3 m;
    if (!n->connected[0]) {
        mat3_identity(m);
    } else {
        Euler e{0.0, 0.0, 0.0};
        evaluate_input(n, 0, sa, &e);
        if (n->extra.words[0] == 0) {
            mat3_from_euler(m, e);
        } else {  // the transpose: the inverse rotation
            mat3_from_euler_reversed(m, Euler{-e.heading, -e.pitch, -e.bank});
        }
    }
    output_row(n, out, value, m);
}

void *matrix_to_euler_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout = matrix_layout();
    layout.flags = kFlagInt1;  // first option word: resolve gimbal lock ("test")
    for (int i = 0; i < 3; ++i) layout.inputs[i] = {QV_TYPE_VECTOR, kRowNames[i]};
    layout.outputs[0] = {QV_TYPE_VECTOR, "Rot"};
    return create_node(node, layout, err);
}

void matrix_to_euler_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Euler e{0.0, 0.0, 0.0};
    if (any_connected(n, 0, 3)) {
        Mat3 m;
        mat3_identity(m);
        for (int i = 0; i < 3; ++i) {
            if (!n->connected[i]) continue;
            evaluate_input(n, i, sa, &m.row[i]);
            vec_normalize(m.row[i], m.row[i]);  // a zero row stays zero
        }
        euler_from_mat3(e, m, n->extra.words[0]);
    }
    set_output(value, &e);
}

// ---- Inversion ------------------------------------------------------------------

void *invert_matrix_create(void *priv, QvNodeId node, QvError *err) {
    const bool affine = private_word(priv) != 0;
    const int rows = affine ? 4 : 3;
    NodeLayout layout = matrix_layout();
    layout.interleaved = true;              // each row input is followed by its output
    if (!affine) layout.flags = kFlagInt1;  // first option word: Replace
    for (int i = 0; i < rows; ++i) {
        layout.inputs[i] = {QV_TYPE_VECTOR, kRowNames[i]};
        layout.outputs[i] = {QV_TYPE_VECTOR, kRowNames[i]};
    }
    layout.outputs[rows] = {QV_TYPE_INTEGER, "Bool"};
    return create_node(node, layout, err);
}

void invert_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Mat3 m;
    mat3_identity(m);
    int32_t ok = 0;
    if (any_connected(n, 0, 3)) {
        read_rows(n, 0, sa, m);
        if (n->extra.words[0] != 0) {  // Replace: the transpose, whatever the matrix
            mat3_transpose(m, m);
            ok = 1;
        } else {
            ok = mat3_inverse(m, m) == 0 ? 1 : 0;  // a singular matrix stays as it came
        }
    }
    const int slot = output_slot(n, out, 4);
    if (slot == 3)
        set_output(value, &ok);
    else if (slot >= 0)
        set_output(value, &m.row[slot]);
}

void invert_matrix4_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Mat4 m;
    mat4_identity(m);
    int32_t ok = 0;
    if (any_connected(n, 0, 4)) {
        for (int i = 0; i < 4; ++i) {
            if (!n->connected[i]) continue;
            Vec3 row{0.0, 0.0, 0.0};
            evaluate_input(n, i, sa, &row);
            m.row[i].x = row.x;
            m.row[i].y = row.y;
            m.row[i].z = row.z;
        }
        ok = mat4_inverse_affine(m, m) == 0 ? 1 : 0;
    }
    const int slot = output_slot(n, out, 5);
    if (slot == 4) {
        set_output(value, &ok);
    } else if (slot >= 0) {
        const Vec3 row{m.row[slot].x, m.row[slot].y, m.row[slot].z};
        set_output(value, &row);
    }
}

// ---- Product ----------------------------------------------------------------------

namespace {

const char *const kTwoMatrixNames[] = {"1:Rgt", "1:Up", "1:Fwd", "2:Rgt", "2:Up", "2:Fwd"};

NodeLayout two_matrix_layout() {
    NodeLayout layout = matrix_layout();
    for (int i = 0; i < 6; ++i) layout.inputs[i] = {QV_TYPE_VECTOR, kTwoMatrixNames[i]};
    add_row_outputs(layout);
    return layout;
}

}  // namespace

void *multiply_matrix_create(void *, QvNodeId node, QvError *err) {
    return create_node(node, two_matrix_layout(), err);
}

void multiply_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const bool first = any_connected(n, 0, 3);
    const bool second = any_connected(n, 3, 3);
    Mat3 a, b;
    mat3_identity(a);
    mat3_identity(b);
    read_rows(n, 0, sa, a);
    read_rows(n, 3, sa, b);
    if (first && second)
        mat3_mul(a, a, b);
    else if (second)
        a = b;
    output_row(n, out, value, a);
}

// ---- Rotation about an axis ----------------------------------------------------------

void *rotate_matrix_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout = matrix_layout();
    layout.flags = 0x7 | kFlagValD;
    layout.defaults[2] = 1.0;  // Axis (0, 0, 1); Rot 0 degrees in the extra slot
    for (int i = 0; i < 3; ++i) layout.inputs[i] = {QV_TYPE_VECTOR, kRowNames[i]};
    layout.inputs[3] = {QV_TYPE_VECTOR, "Axis"};
    layout.inputs[4] = {QV_TYPE_SCALAR, "Rot"};
    add_row_outputs(layout);
    return create_node(node, layout, err);
}

void rotate_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    Mat3 m;
    mat3_identity(m);
    read_rows(n, 0, sa, m);
    Quat q;
    if (read_axis_rotation(n, sa, q))
        for (Vec3 &row : m.row) quat_rotate(row, row, q);
    output_row(n, out, value, m);
}

// ---- Scale ----------------------------------------------------------------------------

void *scale_matrix_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout = matrix_layout();
    layout.inputs[0] = {QV_TYPE_VECTOR, "In"};
    add_row_outputs(layout);
    return create_node(node, layout, err);
}

void scale_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const int i = row_or_last(n, out);
    double scale[3] = {1.0, 1.0, 1.0};
    if (n->connected[0]) evaluate_input(n, 0, sa, scale);
    double row[3] = {0.0, 0.0, 0.0};
    row[i] = scale[i];
    set_output(value, row);
}

// ---- Spherical interpolation ------------------------------------------------------------

void *slerp_matrix_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout = two_matrix_layout();
    layout.flags = kFlagValD;  // "%" default in the extra slot
    layout.inputs[6] = {QV_TYPE_SCALAR, "%"};
    return create_node(node, layout, err);
}

void slerp_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    double t = n->extra.value;
    if (n->connected[6]) evaluate_input(n, 6, sa, &t);
    Mat3 m;
    mat3_identity(m);
    if (t <= 0.0) {
        read_rows(n, 0, sa, m);
    } else if (t >= 1.0) {
        read_rows(n, 3, sa, m);
    } else {  // inside, and a NaN t
        Quat a{0.0, 0.0, 0.0, 1.0}, b{0.0, 0.0, 0.0, 1.0};
        if (any_connected(n, 0, 3)) {
            read_rows(n, 0, sa, m);
            quat_from_mat3(a, m);
        }
        if (any_connected(n, 3, 3)) {
            mat3_identity(m);
            read_rows(n, 3, sa, m);
            quat_from_mat3(b, m);
        }
        Quat q;
        quat_slerp(q, a, b, t);
        quat_to_mat3(m, q);
    }
    set_output(value, &m.row[row_or_last(n, out)]);
}

}  // namespace qv
