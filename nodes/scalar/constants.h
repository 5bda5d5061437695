// Constant and time nodes: machine epsilons, pi and its multiples, and the
// scene's time, frame, frame rate and frame duration.
#pragma once

#include "core/node_instance.h"

namespace qv {

void *constant_create(void *priv, QvNodeId node, QvError *err);  // 1: pi, else epsilons
void constant_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *time_create(void *priv, QvNodeId node, QvError *err);  // priv: the host's global function
void time_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
QvError time_new_time(void *inst, int32_t frame, double time);

}  // namespace qv
