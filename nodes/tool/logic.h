// Logic and switch nodes: comparisons of scalars that route a "True" or
// "False" value, and integer-driven switches between pairs of inputs.
#pragma once

#include "core/node_instance.h"

namespace qv {

// The logic nodes share one create; the private word is the variant.
enum LogicVariant : uint32_t {
    kLogicOne = 0,        // "Logic1": one comparison, scalar values
    kLogicTwo = 1,        // "Logic2": two comparisons combined, scalar values
    kLogicOneVector = 2,  // "LogicV1": one comparison, vector values
    kLogicTwoVector = 3,  // "LogicV2": two comparisons combined, vector values
};

// Operator words 1 and 2: the comparisons (any other value is kEqual).
enum Comparison : int32_t { kEqual, kNotEqual, kGreater, kLess, kGreaterEqual, kLessEqual };
// Operator word 3: the combination (any other value is kBothTrue).
enum Combination : int32_t { kBothTrue, kBothFalse, kFirstOnly, kSecondOnly, kEitherTrue };

// Comparison results: 1 or 0; every comparison with a NaN operand gives 0.
int32_t compare(int32_t op, double a, double b);
int32_t combine(int32_t op, int32_t r1, int32_t r2);

void *logic_create(void *priv, QvNodeId node, QvError *err);
void logic_one_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void logic_two_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void logic_one_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void logic_two_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// Switches: private word 0 routes scalars, 1 vectors.
void *switch_create(void *priv, QvNodeId node, QvError *err);
void switch_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

}  // namespace qv
