#include "nodes/tool/conversions.h"

#include "core/callbacks.h"
#include "core/create.h"

#include <cmath>

namespace qv {

namespace {

constexpr Colour kColourConversion{90, 90, 150};

// Luma weights (bits 0x3FD3215FCC1871E7, 0x3FE2C5846E8F29D4,
// 0x3FBD4E6E221C8A7A); they add up to 1.000001, not 1.
constexpr double kLumaR = 0.298912;
constexpr double kLumaG = 0.586611;
constexpr double kLumaB = 0.114478;
// The double nearest one third: the average multiplies by it.
constexpr double kOneThird = 0.3333333333333333;

// Frames are clamped to what a float holds exactly, ±(2^23 − 1).
constexpr int32_t kFrameLimit = 8388607;

enum ComponentSlot { kSlotX, kSlotY, kSlotZ, kSlotMax, kSlotMin, kSlotMeasure, kSlotAvg, kComponentSlots };

// Whether the host says an input is connected right now (low byte only).
bool connected_now(QvInputId input) { return (g_host.input->connected(input) & 0xFF) != 0; }

// The three components of the split nodes' only input, or false when the
// input is not connected.
bool read_triple(const NodeInstance *n, QvSampleAccess *sa, double c[3]) {
    c[0] = c[1] = c[2] = 0.0;
    if (!connected_now(n->inputs[0])) return false;
    g_host.input->evaluate(n->inputs[0], sa, c);
    return true;
}

// One output of a split node: the component, the extremes, the node's own
// measure or, for any other output, the average.
double split_output(const NodeInstance *n, QvOutputId out, const double c[3], double (*measure)(const double *)) {
    switch (output_slot(n, out, kSlotMeasure + 1)) {
    case kSlotX: return c[0];
    case kSlotY: return c[1];
    case kSlotZ: return c[2];
    case kSlotMax: {
        const double m = c[0] > c[1] ? c[0] : c[1];
        return m > c[2] ? m : c[2];
    }
    case kSlotMin: {
        const double m = c[0] < c[1] ? c[0] : c[1];
        return m < c[2] ? m : c[2];
    }
    case kSlotMeasure: return measure(c);
    default: return ((c[0] + c[1]) + c[2]) * kOneThird;
    }
}

double luma(const double *c) { return (kLumaR * c[0] + kLumaG * c[1]) + kLumaB * c[2]; }
double length(const double *c) { return std::sqrt((c[2] * c[2] + c[0] * c[0]) + c[1] * c[1]); }

void split_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value,
                    double (*measure)(const double *)) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double c[3];
    double r = 0.0;
    if (read_triple(n, sa, c)) r = split_output(n, out, c, measure);
    set_output(value, &r);
}

}  // namespace

// ---- Component nodes ---------------------------------------------------------

void *component_create(void *priv, QvNodeId node, QvError *err) {
    static const char *const kColourNames[] = {"R", "G", "B", "Max", "Min", "Luma", "Avg"};
    static const char *const kVectorNames[] = {"X", "Y", "Z", "Max", "Min", "Len", "Avg"};
    const uint32_t k = private_word(priv);
    const bool colour = k == kColourSplit || k == kColourComponents;
    const int outputs = (k == kColourSplit || k == kVectorSplit) ? kComponentSlots : kSlotMax;
    NodeLayout layout;
    layout.colour = kColourConversion;
    layout.inputs[0] = colour ? Port{QV_TYPE_COLOR, "Col"} : Port{QV_TYPE_VECTOR, "Vec"};
    for (int i = 0; i < outputs; ++i) layout.outputs[i] = {QV_TYPE_SCALAR, colour ? kColourNames[i] : kVectorNames[i]};
    return create_node(node, layout, err);
}

void colour_split_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    split_evaluate(inst, sa, out, value, luma);
}

void vector_split_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    split_evaluate(inst, sa, out, value, length);
}

void components_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double c[3];
    if (!read_triple(n, sa, c)) {
        const double zero = 0.0;
        set_output(value, &zero);
        return;
    }
    const int slot = output_slot(n, out, kSlotMax);
    if (slot >= 0) set_output(value, &c[slot]);
}

// ---- Make vector ---------------------------------------------------------------

void *make_vector_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.colour = kColourConversion;
    layout.inputs[0] = {QV_TYPE_VECTOR, "Vec"};
    layout.inputs[1] = {QV_TYPE_SCALAR, "X"};
    layout.inputs[2] = {QV_TYPE_SCALAR, "Y"};
    layout.inputs[3] = {QV_TYPE_SCALAR, "Z"};
    layout.outputs[0] = {QV_TYPE_VECTOR, "Out"};
    return create_node(node, layout, err);
}

void make_vector_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double v[3] = {0.0, 0.0, 0.0};
    if (n->connected[0]) g_host.input->evaluate(n->inputs[0], sa, v);
    for (int i = 0; i < 3; ++i)
        if (n->connected[i + 1]) g_host.input->evaluate(n->inputs[i + 1], sa, &v[i]);
    set_output(value, v);
}

// ---- Split material ------------------------------------------------------------

namespace {

// The material value with room for a whole 24-byte item at each of the five
// output positions: the last item holds the transparency and two spare doubles.
constexpr int kMaterialItems = 5;
struct MaterialItems {
    double item[kMaterialItems][3];
};
static_assert(sizeof(MaterialItems) >= sizeof(QvMaterialValue), "the host's material value fits");

}  // namespace

void *split_material_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.colour = kColourConversion;
    layout.inputs[0] = {QV_TYPE_MATERIAL, "Mtl"};
    layout.outputs[0] = {QV_TYPE_COLOR, "Diffuse"};
    layout.outputs[1] = {QV_TYPE_COLOR, "Specular"};
    layout.outputs[2] = {QV_TYPE_COLOR, "RefrEct"};
    layout.outputs[3] = {QV_TYPE_COLOR, "RefrAct"};
    layout.outputs[4] = {QV_TYPE_SCALAR, "Transpar."};
    return create_node(node, layout, err);
}

void split_material_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    static const double kZeros[3] = {0.0, 0.0, 0.0};
    if (!n->connected[0]) {
        set_output(value, kZeros);
        return;
    }
    MaterialItems m = {};
    g_host.input->evaluate(n->inputs[0], sa, &m);
    const int slot = output_slot(n, out, kMaterialItems);
    set_output(value, slot >= 0 ? m.item[slot] : kZeros);
}

// ---- Frame to time ---------------------------------------------------------------

void *frame_create(void *priv, QvNodeId node, QvError *err) {
    const auto global = reinterpret_cast<QvGlobalFunc>(priv);
    NodeLayout layout;
    layout.flags = kFlagInt1;
    // The node converts only where there is a scene and activation holds its
    // information.
    const bool modeler = host_is_modeler(global);
    if (!modeler && g_host.scene != nullptr) layout.flags |= kFlagTimeServices;
    layout.colour = kColourGeneral;
    layout.inputs[0] = {QV_TYPE_INTEGER, "Frm"};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Time"};
    return create_node(node, layout, err);
}

void frame_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    int32_t f = n->extra.words[0];
    if (connected_now(n->inputs[0])) g_host.input->evaluate(n->inputs[0], sa, &f);
    if (f > kFrameLimit) f = kFrameLimit;
    if (f < -kFrameLimit) f = -kFrameLimit;
    double t = 0.0;
    if (n->flags & kFlagTimeServices) t = static_cast<double>(f) / g_host.scene->frames_per_second;
    set_output(value, &t);
}

// ---- Power of two ------------------------------------------------------------------

double fn_power_of_two(double x) {
    double c = 0.0 > x ? 0.0 : x;
    c = c < 1.0 ? c : 1.0;
    return std::pow(2.0, c * 10.0 + 2.0);
}

}  // namespace qv
