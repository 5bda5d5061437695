#include "nodes/scalar/constants.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "geometry/geometry.h"

#include <cstring>

namespace qv {

namespace {

// The machine epsilons as exact doubles: 2^-52 (kTiny) and 2^-23.
constexpr double kDoubleEpsilon = kTiny;
constexpr double kFloatEpsilon = 1.1920928955078125e-07;  // 0x3E80000000000000

// The constant nodes keep how many output slots to search in the extra slot.
constexpr int32_t kConstantOutputCount = 4;

// The time node keeps, in the storage of stored default 1, the frame of the
// last new time and whether one has come yet.
struct ReceivedFrame {
    int32_t frame;
    int32_t received;  // 0 until the first new time, then 1
};
static_assert(sizeof(ReceivedFrame) == sizeof(double), "kept in one stored default");

enum TimeOutput { kTimeOut, kFrameOut, kFpsOut, kSpfOut, kTimeOutputs };

}  // namespace

void *constant_create(void *priv, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.colour = kColourConstant;
    layout.extra.words[0] = kConstantOutputCount;
    if (private_word(priv) == 1) {
        const double values[] = {kPi, kTwoPi, kHalfPi, kQuarterPi};
        const char *const names[] = {"PI", "2PI", "PI/2", "PI/4"};
        for (int i = 0; i < 4; ++i) {
            layout.defaults[i] = values[i];
            layout.outputs[i] = {QV_TYPE_SCALAR, names[i]};
        }
    } else {
        layout.defaults[0] = kDoubleEpsilon;
        layout.defaults[1] = kFloatEpsilon;
        layout.outputs[0] = {QV_TYPE_SCALAR, "Double"};
        layout.outputs[1] = {QV_TYPE_SCALAR, "Float"};
    }
    return create_node(node, layout, err);
}

void constant_evaluate(void *inst, QvSampleAccess *, QvOutputId out, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    const int32_t count = n->extra.words[0];
    for (int i = 0; i < count && i < kSlots; ++i) {
        if (n->outputs[i] == out) {
            set_output(value, &n->defaults[i]);
            return;
        }
    }
}

void *time_create(void *priv, QvNodeId node, QvError *err) {
    const auto global = reinterpret_cast<QvGlobalFunc>(priv);
    NodeLayout layout;
    // The time services exist unless the host is the modeller, and only if
    // activation could acquire them.
    const bool modeler = host_is_modeler(global);
    if (!modeler && g_host.scene != nullptr && g_host.time != nullptr) layout.flags = kFlagTimeServices;
    layout.colour = kColourConstant;
    layout.outputs[kTimeOut] = {QV_TYPE_SCALAR, "Time"};
    layout.outputs[kFrameOut] = {QV_TYPE_INTEGER, "Frame"};
    layout.outputs[kFpsOut] = {QV_TYPE_SCALAR, "FPS"};
    layout.outputs[kSpfOut] = {QV_TYPE_SCALAR, "SPF"};
    return create_node(node, layout, err);
}

QvError time_new_time(void *inst, int32_t frame, double time) {
    auto *n = static_cast<NodeInstance *>(inst);
    n->defaults[0] = time;
    const ReceivedFrame stamp{frame, 1};
    std::memcpy(&n->defaults[1], &stamp, sizeof stamp);
    return nullptr;
}

void time_evaluate(void *inst, QvSampleAccess *, QvOutputId out, QvNodeValue value) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    int slot = 0;
    while (slot < kTimeOutputs && n->outputs[slot] != out) ++slot;
    if (slot == kTimeOutputs) return;

    unsigned char result[8] = {};
    if (n->flags & kFlagTimeServices) {
        ReceivedFrame stamp;
        std::memcpy(&stamp, &n->defaults[1], sizeof stamp);
        double d = 0.0;
        switch (slot) {
        case kTimeOut:
            d = stamp.received ? n->defaults[0] : g_host.time->time;
            std::memcpy(result, &d, sizeof d);
            break;
        case kFrameOut: {
            const int32_t frame = stamp.received ? stamp.frame : g_host.time->frame;
            std::memcpy(result, &frame, sizeof frame);
            break;
        }
        case kFpsOut:
            d = g_host.scene->frames_per_second;
            std::memcpy(result, &d, sizeof d);
            break;
        default:  // a frame rate of 0 gives an infinite duration
            d = 1.0 / g_host.scene->frames_per_second;
            std::memcpy(result, &d, sizeof d);
            break;
        }
    }
    set_output(value, result);
}

}  // namespace qv
