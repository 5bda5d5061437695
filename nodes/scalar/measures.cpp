#include "nodes/scalar/measures.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "geometry/geometry.h"

#include <cmath>

namespace qv {

namespace {

// Normalises the pair (p, q) by multiplying with 1 / length.  A pair whose
// squared length is not above zero (zero or NaN) is degenerate and stays as
// it is; the result says whether it was normalised.
bool normalise_pair(double &p, double &q) {
    const double s = q * q + p * p;
    if (!(s > 0.0)) return false;
    const double k = 1.0 / std::sqrt(s);
    p = p * k;
    q = q * k;
    return true;
}

// The angle a in [0, pi] on the side t: with Invert off it is flipped for a
// positive t, with Invert on for a negative t (a zero or NaN t never flips).
// A flipped angle is 2 pi - a with Round on, -a with Round off.
double signed_angle(double a, double t, int32_t invert, int32_t round) {
    const bool flip = invert != 0 ? t < 0.0 : t > 0.0;
    if (!flip) return a;
    return round != 0 ? kTwoPi - a : -a;
}

const NodeInstance *instance(void *inst) { return static_cast<const NodeInstance *>(inst); }

}  // namespace

double fn_degrees(double x) { return (180.0 * x) / kPi; }
double fn_radians(double x) { return (kPi * x) / 180.0; }

void length_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const double x = read_scalar(n, 0, sa);
    const double y = read_scalar(n, 1, sa);
    const double r = std::sqrt(x * x + y * y);
    set_output(value, &r);
}

void distance_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const double ax = read_scalar(n, 0, sa);
    const double ay = read_scalar(n, 1, sa);
    const double bx = read_scalar(n, 2, sa);
    const double by = read_scalar(n, 3, sa);
    const double dx = ax - bx;
    const double dy = ay - by;
    const double r = std::sqrt(dx * dx + dy * dy);
    set_output(value, &r);
}

void dot2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    double ax = read_scalar(n, 0, sa);
    double ay = read_scalar(n, 1, sa);
    double bx = read_scalar(n, 2, sa);
    double by = read_scalar(n, 3, sa);
    if (n->extra.words[0] != 0) {  // Normalize
        normalise_pair(ax, ay);
        normalise_pair(bx, by);
    }
    const double r = ax * bx + ay * by;
    set_output(value, &r);
}

void normal2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    double x = read_scalar(n, 0, sa);
    double y = read_scalar(n, 1, sa);
    normalise_pair(x, y);  // a degenerate pair is output as read
    set_output(value, out == n->outputs[0] ? &x : &y);
}

void angle_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    double x = read_scalar(n, 0, sa);
    double y = read_scalar(n, 1, sa);
    double r = 0.0;
    if (normalise_pair(x, y)) r = signed_angle(std::acos(x), y, n->extra.words[0], n->extra.words[1]);
    set_output(value, &r);
}

void angle2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    double ax = read_scalar(n, 0, sa);
    double ay = read_scalar(n, 1, sa);
    double bx = read_scalar(n, 2, sa);
    double by = read_scalar(n, 3, sa);
    double r = 0.0;
    const bool a_ok = normalise_pair(ax, ay);
    const bool b_ok = normalise_pair(bx, by);
    if (a_ok && b_ok) {
        // acos of the dot product as computed, without clamping; the side is
        // the negative of the usual 2D cross product A x B.
        const double a = std::acos(ax * bx + ay * by);
        r = signed_angle(a, ay * bx - by * ax, n->extra.words[0], n->extra.words[1]);
    }
    set_output(value, &r);
}

void *clamp_create(void *priv, QvNodeId node, QvError *err) {
    NodeLayout layout;
    if (private_word(priv) == 0) {
        layout.flags = default_flag(1) | default_flag(2);
        layout.defaults[2] = 1.0;
        layout.colour = kColourGeneral;
        layout.inputs[0] = {QV_TYPE_SCALAR, "In"};
        layout.inputs[1] = {QV_TYPE_SCALAR, "Min"};
        layout.inputs[2] = {QV_TYPE_SCALAR, "Max"};
        layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    } else {
        layout.flags = 0x3F;
        layout.defaults[3] = layout.defaults[4] = layout.defaults[5] = 1.0;
        layout.colour = kColourOneVector;
        layout.inputs[0] = {QV_TYPE_VECTOR, "In"};
        layout.inputs[1] = {QV_TYPE_VECTOR, "Min"};
        layout.inputs[2] = {QV_TYPE_VECTOR, "Max"};
        layout.outputs[0] = {QV_TYPE_VECTOR, "Out"};
    }
    return create_node(node, layout, err);
}

void clamp_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const double in = read_scalar_or_zero(n, 0, sa);
    const double lo = read_scalar(n, 1, sa);
    const double hi = read_scalar(n, 2, sa);
    const double r = clamp_value(in, lo, hi);
    set_output(value, &r);
}

void *sign_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.colour = kColourGeneral;
    layout.inputs[0] = {QV_TYPE_SCALAR, "In"};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return create_node(node, layout, err);
}

void sign_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const double r = n->connected[0] ? -read_scalar(n, 0, sa) : 0.0;  // the sign bit inverted
    set_output(value, &r);
}

void *copy_sign_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.flags = default_flag(0);
    layout.colour = kColourGeneral;
    layout.inputs[0] = {QV_TYPE_SCALAR, "In"};
    layout.inputs[1] = {QV_TYPE_SCALAR, "Sign"};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return create_node(node, layout, err);
}

void copy_sign_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const NodeInstance *n = instance(inst);
    const double in = read_scalar(n, 0, sa);
    const double r = n->connected[1] ? std::copysign(in, read_scalar(n, 1, sa)) : in;
    set_output(value, &r);
}

}  // namespace qv
