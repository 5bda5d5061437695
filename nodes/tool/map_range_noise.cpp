#include "nodes/tool/map_range_noise.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "geometry/geometry.h"

#include <cmath>

namespace qv {

namespace {

constexpr Colour kColourTool{90, 90, 150};

enum MapInput { kIn, kSt, kEd, kMapSt, kMapEd, kMapInputs };
enum NoiseInput { kOffset, kScale, kSpeed, kPhase, kShift, kNoiseInputs };

// Whether |trunc(q)| is odd.  Parity is taken on the double itself: past 2^53
// every double is an even integer, and no integer conversion can overflow.
bool truncated_is_odd(double q) { return std::fmod(std::fabs(std::trunc(q)), 2.0) == 1.0; }

// A result beyond the `low` end of the target range, under mode m.  w is the
// signed target span; h keeps the sign of r − low, so h ≤ 0.
double beyond_low(double r, double low, double high, double w, int32_t m) {
    if (m == kRangeLinear) return r;
    if (m == kRangeConstant) return low;
    const double h = std::fmod(r - low, w);
    if (m == kRangeRepeat) return high + h;
    return truncated_is_odd((r - low) / w) ? high + h : low - h;
}

// The same beyond the `high` end; here h ≥ 0.
double beyond_high(double r, double low, double high, double w, int32_t m) {
    if (m == kRangeLinear) return r;
    if (m == kRangeConstant) return high;
    const double h = std::fmod(r - high, w);
    if (m == kRangeRepeat) return low + h;
    return truncated_is_odd((r - high) / w) ? low + h : high - h;
}

}  // namespace

// ---- Map range -----------------------------------------------------------------

void *map_range_create(void *, QvNodeId node, QvError *err) {
    static const char *const kNames[kMapInputs] = {"In", "St", "Ed", "mapSt", "mapEd"};
    NodeLayout layout;
    layout.flags = 0x1F | kFlagInt2;
    layout.defaults[kEd] = 1.0;
    layout.defaults[kMapEd] = 1.0;
    layout.colour = kColourTool;
    for (int i = 0; i < kMapInputs; ++i) layout.inputs[i] = {QV_TYPE_SCALAR, kNames[i]};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return create_node(node, layout, err);
}

void map_range_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double v[kMapInputs];
    for (int i = 0; i < kMapInputs; ++i) v[i] = read_scalar(n, i, sa);
    const double in = v[kIn], st = v[kSt], ed = v[kEd], a = v[kMapSt], b = v[kMapEd];

    double out;
    if (std::fabs(ed - st) <= kTiny) {
        out = in;  // no source span: the value passes unchanged
    } else if (std::fabs(b - a) <= kTiny) {
        out = a;  // no target span: everything lands on its start
    } else {
        const double r = (b - a) / (ed - st) * (in - st) + a;
        const double w = b - a;
        // The first mode word governs the mapSt end, the second the mapEd end,
        // whichever of them is the lower.
        const bool rising = b > a;
        const double low = rising ? a : b;
        const double high = rising ? b : a;
        const int32_t mode_low = rising ? n->extra.words[0] : n->extra.words[1];
        const int32_t mode_high = rising ? n->extra.words[1] : n->extra.words[0];
        if (r < low)
            out = beyond_low(r, low, high, w, mode_low);
        else if (r > high)
            out = beyond_high(r, low, high, w, mode_high);
        else
            out = r;  // inside the range, or NaN
    }
    set_output(value, &out);
}

// ---- Noisy channel -----------------------------------------------------------------

void *noise_create(void *, QvNodeId node, QvError *err) {
    static const char *const kNames[kNoiseInputs] = {"Offset", "Scale", "Speed", "Phase", "Shift"};
    NodeLayout layout;
    layout.flags = 0x1F;
    layout.defaults[kScale] = 1.0;
    layout.defaults[kSpeed] = 1.0;
    layout.colour = kColourTool;
    for (int i = 0; i < kNoiseInputs; ++i) layout.inputs[i] = {QV_TYPE_SCALAR, kNames[i]};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return create_node(node, layout, err);
}

// The channel keeps the scene time in the extra slot; it is never saved.
QvError noise_new_time(void *inst, int32_t, double time) {
    static_cast<NodeInstance *>(inst)->extra.value = time;
    return nullptr;
}

void noise_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    double v[kNoiseInputs];
    for (int i = 0; i < kNoiseInputs; ++i) v[i] = read_scalar(n, i, sa);
    const double t = n->extra.value;
    double p[3] = {(t - v[kShift]) * v[kSpeed] * 10.0, v[kPhase], 20.0};
    const double noise = g_host.texture->noise(p);
    const double out = (noise - 0.5) * v[kScale] + v[kOffset];
    set_output(value, &out);
}

}  // namespace qv
