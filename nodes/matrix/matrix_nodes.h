// Matrix nodes: Euler angles to and from matrices, inversion, products,
// rotation about an axis, scale matrices and spherical interpolation.  A
// matrix travels as its rows "Rgt", "Up", "Fwd" (and "Vec", the translation).
#pragma once

#include "core/node_instance.h"

namespace qv {

void *euler_to_matrix_create(void *priv, QvNodeId node, QvError *err);
void euler_to_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *matrix_to_euler_create(void *priv, QvNodeId node, QvError *err);
void matrix_to_euler_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// Private word 0: "Invert" (3x3, with Replace); 1: "Invert4" (affine 4x4).
void *invert_matrix_create(void *priv, QvNodeId node, QvError *err);
void invert_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void invert_matrix4_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *multiply_matrix_create(void *priv, QvNodeId node, QvError *err);
void multiply_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *rotate_matrix_create(void *priv, QvNodeId node, QvError *err);
void rotate_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *scale_matrix_create(void *priv, QvNodeId node, QvError *err);
void scale_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *slerp_matrix_create(void *priv, QvNodeId node, QvError *err);
void slerp_matrix_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

}  // namespace qv
