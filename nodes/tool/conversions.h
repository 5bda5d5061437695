// Conversion nodes: colours and vectors split into components, a vector made
// from a vector and scalar overrides, a material split into its colours and
// transparency, a frame number turned into scene time, and the 0-to-1 value
// mapped onto a power of two.
#pragma once

#include "core/node_instance.h"

namespace qv {

// The component nodes share one create; the private word picks the node.
enum ComponentNode : uint32_t {
    kColourSplit = 0,       // "Col2rgb": R, G, B, Max, Min, Luma, Avg
    kVectorSplit = 1,       // "Vec2xyz": X, Y, Z, Max, Min, Len, Avg
    kColourComponents = 2,  // "ColToRGB": R, G, B
    kVectorComponents = 3,  // "VecToXYZ": X, Y, Z
};

void *component_create(void *priv, QvNodeId node, QvError *err);
void colour_split_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void vector_split_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void components_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *make_vector_create(void *priv, QvNodeId node, QvError *err);
void make_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *split_material_create(void *priv, QvNodeId node, QvError *err);
void split_material_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

void *frame_create(void *priv, QvNodeId node, QvError *err);  // priv: the host's global function
void frame_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// 2 raised to (10·c + 2), c being x clamped to [0, 1] (NaN counts as 1).
double fn_power_of_two(double x);

}  // namespace qv
