// The node instance: the record that almost every node's create allocates and
// that the host hands back to every later callback.
#pragma once

#include "module/base/binding.h"

#include <cstdint>

namespace qv {

constexpr int kSlots = 7;

// Option flags: which stored values are in use, and what the node has learnt
// from the host.  Copy, load and save carry only what these bits select.
enum OptionFlag : uint32_t {
    kFlagDefaultsMask = 0x7F,      // bit i: stored default i in use ("VAL0" + i)
    kFlagTimeServices = 0x200,     // the scene and time services are usable
    kFlagConnectionsRead = 0x800,  // connected flags have been read from the host
    kFlagInt1 = 0x10000,           // first option word in use ("INT1")
    kFlagInt2 = 0x20000,           // first and second option words in use ("INT2")
    kFlagValD = 0x40000,           // stored extra value in use ("VALD")
    kFlagLogic = 0x80000,          // the logic instance's operator words ("LGIC")
};

constexpr uint32_t default_flag(int i) { return 1u << i; }

// The double after the seven stored defaults serves exactly one purpose per
// node: the stored extra value, two 32-bit option words, the function of a
// one-input node, or a node-specific word (the constant nodes' output count).
union ExtraSlot {
    double value;
    int32_t words[2];
    MathFn fn;
};
static_assert(sizeof(ExtraSlot) == sizeof(double), "the extra slot is one double wide");

struct alignas(16) NodeInstance {
    double defaults[kSlots];
    ExtraSlot extra;
    void *panel;
    QvNodeId node;
    QvInputId inputs[kSlots];
    QvOutputId outputs[kSlots];
    uint8_t connected[kSlots];
    uint32_t flags;
};

// The logic nodes' instance: the node instance followed by three operator
// words.  Only an instance with kFlagLogic set has them.
struct alignas(16) LogicInstance {
    NodeInstance base;
    int32_t operators[3];
};

}  // namespace qv
