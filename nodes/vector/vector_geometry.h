// Vector geometry nodes: normalised sums and differences, angle, cross and
// dot products, normalisers, degree, radian and sign per component, rotation
// about an axis, and transforms by three or four matrix rows.
#pragma once

#include "core/callbacks.h"
#include "geometry/geometry.h"

namespace qv {

void *vector_angle_create(void *priv, QvNodeId node, QvError *err);
void vector_angle_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// The rotation of the axis-rotation nodes: "Axis" (input slot 3, else stored
// defaults 0 to 2) normalised, or the zero vector when it has no length, and
// the angle "Rot" (input slot 4, radians) or, unconnected, the stored degrees
// in the extra slot.  False when the angle is zero: no rotation.
bool read_axis_rotation(const NodeInstance *n, QvSampleAccess *sa, Quat &q);

void *vector_rotate_create(void *priv, QvNodeId node, QvError *err);
void vector_rotate_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *vector_dot_create(void *priv, QvNodeId node, QvError *err);
void vector_dot_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void *vector_cross_create(void *priv, QvNodeId node, QvError *err);
void vector_cross_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// Private word 0: "Transform" (four inputs); 1: "Transform4" (five).
void *vector_transform_create(void *priv, QvNodeId node, QvError *err);
void vector_transform_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void vector_transform4_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *normal_sum_create(void *priv, QvNodeId node, QvError *err);
void add_normal_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void sub_normal_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *vector_normal_create(void *priv, QvNodeId node, QvError *err);
void vector_normal_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

using ComponentFn = double (*)(double);
// Inline, so that the evaluate below applies them in place.
inline double component_degrees(double c) { return c * kRadiansToDegrees; }
inline double component_radians(double c) { return c * kDegreesToRadians; }
inline double component_negate(double c) { return -c; }  // the sign bit inverted

// Out[i] = Fn(In[i]) while "In" is connected, else (0, 0, 0).
template <ComponentFn Fn>
void vector_component_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    Vec3 r{0.0, 0.0, 0.0};
    if (n->connected[0]) {
        Vec3 v{0.0, 0.0, 0.0};
        evaluate_input(n, 0, sa, &v);
        r = Vec3{Fn(v.x), Fn(v.y), Fn(v.z)};
    }
    set_output(value, &r);
}

}  // namespace qv
