// Scalar measure nodes: angles of 2D vectors, clamp, degree and radian
// conversion, distance, dot product, length, normalisation, sign.
#pragma once

#include "core/node_instance.h"

namespace qv {

double fn_degrees(double x);  // (180 x) / pi
double fn_radians(double x);  // (pi x) / 180

void length_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void distance_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void dot2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void normal2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void angle_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void angle2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// The clamp step: the lower bound first and the upper bound last, so
// lo > hi gives hi; a NaN x gives lo (then bounded by hi), a NaN lo gives hi,
// a NaN hi gives that NaN.
inline double clamp_value(double x, double lo, double hi) {
    const double m = x > lo ? x : lo;
    return m < hi ? m : hi;
}

// Shared with the vector clamp: private word 0 the scalar node, 1 the vector node.
void *clamp_create(void *priv, QvNodeId node, QvError *err);
void clamp_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *sign_create(void *priv, QvNodeId node, QvError *err);
void sign_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *copy_sign_create(void *priv, QvNodeId node, QvError *err);
void copy_sign_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

}  // namespace qv
