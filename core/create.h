// Creating node instances: the common create steps, driven by a layout that
// says what a node has, and the creation templates that several nodes share
// with different server private words.
#pragma once

#include "core/node_instance.h"

#include <cstddef>

namespace qv {

struct Colour {
    int32_t r, g, b;
};

constexpr Colour kColourGeneral{90, 120, 100};
constexpr Colour kColourTrig{120, 110, 64};
constexpr Colour kColourArithmetic{50, 100, 64};
constexpr Colour kColourConstant{100, 32, 0};
constexpr Colour kColourOneVector{50, 120, 150};
constexpr Colour kColourTwoVector{32, 90, 130};

struct Port {
    int type;
    const char *name;  // null: no port in this slot
};

// Everything the common create steps need to know about a node.
struct NodeLayout {
    uint32_t flags = 0;
    double defaults[kSlots] = {};
    ExtraSlot extra = {};
    Colour colour = kColourGeneral;
    Port inputs[kSlots] = {};
    Port outputs[kSlots] = {};
    // Ports are made in slot order, inputs before outputs; interleaved, the
    // output of each slot follows its input (input 0, output 0, input 1, ...).
    bool interleaved = false;
};

// The common create steps: allocate and zero the record (size bytes, at least
// a node instance), write flags, defaults, extra slot and node id, set the
// node's colour and mode 2, then make the inputs and outputs in slot order
// (skipping empty slots).
// Returns null after pointing *err at "err" when the allocation fails.
NodeInstance *create_node(QvNodeId node, const NodeLayout &layout, QvError *err,
                          std::size_t size = sizeof(NodeInstance));

// The private word handed back to create, as the 32-bit value it carries.
inline uint32_t private_word(void *priv) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(priv)); }

// Two-input scalar create, private word fields:
//   bits 0-3   defaults at 1.0: 1 default 0, 2 default 1, 3 both, else none
//   bits 4-7   input names: 0x20 "X", "Y"; 0x10 "In", "Pow"; else "In1", "In2"
//   bits 8-11  colour: 0x100 trigonometric, 0x200 arithmetic, else general
//   bit 12     two outputs "X" and "Y" instead of "Out"
//   bit 17     option flag 0x20000 (two option words)
namespace two_input_word {
constexpr uint32_t kDefaults = 0xF;
constexpr uint32_t kDefaultFirst = 0x1;
constexpr uint32_t kDefaultSecond = 0x2;
constexpr uint32_t kDefaultsBoth = 0x3;
constexpr uint32_t kNames = 0xF0;
constexpr uint32_t kNamesXY = 0x20;
constexpr uint32_t kNamesInPow = 0x10;
constexpr uint32_t kColour = 0xF00;
constexpr uint32_t kTrigColour = 0x100;
constexpr uint32_t kArithmeticColour = 0x200;
constexpr uint32_t kTwoOutputs = 0x1000;
constexpr uint32_t kOptionWords = 0x20000;
constexpr uint32_t kLegal = kDefaults | kNames | kColour | kTwoOutputs | kOptionWords;

// A private word of these fields, checked against the legend.
template <uint32_t Fields>
constexpr uint32_t word() {
    static_assert((Fields & ~kLegal) == 0, "a two-input private word sets a bit outside its legend");
    return Fields;
}
}  // namespace two_input_word

// Four-input scalar create, private word fields:
//   bits 0-3   defaults at 1.0: 0xF all four, 5 defaults 0 and 2, else none
//   bits 4-7   input names: 0x20 "Ax", "Ay", "Bx", "By"; else "In1" to "In4"
//   bits 8-11  colour: 0x200 arithmetic, else general
//   bit 16     option flag 0x10000 (one option word)
//   bit 17     option flag 0x20000 (two option words), only without bit 16
namespace four_input_word {
constexpr uint32_t kDefaults = 0xF;
constexpr uint32_t kDefaultsAll = 0xF;
constexpr uint32_t kDefaultsAxBx = 0x5;
constexpr uint32_t kNames = 0xF0;
constexpr uint32_t kNamesPoints = 0x20;
constexpr uint32_t kColour = 0xF00;
constexpr uint32_t kArithmeticColour = 0x200;
constexpr uint32_t kOneOptionWord = 0x10000;
constexpr uint32_t kTwoOptionWords = 0x20000;
constexpr uint32_t kLegal = kDefaults | kNames | kColour | kOneOptionWord | kTwoOptionWords;

// A private word of these fields, checked against the legend.
template <uint32_t Fields>
constexpr uint32_t word() {
    static_assert((Fields & ~kLegal) == 0, "a four-input private word sets a bit outside its legend");
    return Fields;
}
}  // namespace four_input_word

NodeLayout two_input_layout(uint32_t word);
NodeLayout four_input_layout(uint32_t word);

// The creation templates (create callbacks).
void *one_input_create(void *priv, QvNodeId node, QvError *err);       // general colour
void *one_input_trig_create(void *priv, QvNodeId node, QvError *err);  // trigonometric colour
void *two_input_scalar_create(void *priv, QvNodeId node, QvError *err);
void *four_input_scalar_create(void *priv, QvNodeId node, QvError *err);
void *one_vector_create(void *priv, QvNodeId node, QvError *err);
void *two_vector_create(void *priv, QvNodeId node, QvError *err);

}  // namespace qv
