// Scalar function nodes: the one-input family (one evaluate, a function per
// node), the two-argument arctangent, power and absolute value.
#pragma once

#include "core/node_instance.h"

namespace qv {

// The one-input family's functions, the library's double functions as they are.
double fn_acos(double x);
double fn_asin(double x);
double fn_atan(double x);
double fn_cos(double x);
double fn_sin(double x);
double fn_tan(double x);
double fn_erf(double x);
double fn_exp(double x);
double fn_log(double x);
double fn_log2(double x);
double fn_log10(double x);
double fn_round(double x);
double fn_sqrt(double x);
double fn_trunc(double x);

// Applies the function in the instance's function slot to "In".
void one_input_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void atan2_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void pow_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *abs_create(void *priv, QvNodeId node, QvError *err);
void abs_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

}  // namespace qv
