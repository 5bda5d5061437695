#include "core/create.h"

#include "core/callbacks.h"
#include "core/record.h"

#include <cstring>
#include <new>

namespace qv {

static_assert(alignof(LogicInstance) <= kRecordAlignment, "node instances are 16-byte aligned");

NodeInstance *create_node(QvNodeId node, const NodeLayout &layout, QvError *err, std::size_t size) {
    void *mem = allocate_record(size, err);
    if (mem == nullptr) return nullptr;
    auto *n = static_cast<NodeInstance *>(mem);
    n->flags = layout.flags;
    for (int i = 0; i < kSlots; ++i) n->defaults[i] = layout.defaults[i];
    n->extra = layout.extra;
    n->node = node;

    const int32_t rgb[3] = {layout.colour.r, layout.colour.g, layout.colour.b};
    g_host.node->set_color(node, rgb);
    g_host.node->set_mode(node, preview_code(QV_PREVIEW_NONE));

    auto make_input = [&](int i) {
        if (layout.inputs[i].name != nullptr)
            n->inputs[i] = g_host.input->create(node, layout.inputs[i].type, layout.inputs[i].name, input_event);
    };
    auto make_output = [&](int i) {
        if (layout.outputs[i].name != nullptr)
            n->outputs[i] = g_host.output->create(node, layout.outputs[i].type, layout.outputs[i].name);
    };
    if (layout.interleaved) {
        for (int i = 0; i < kSlots; ++i) {
            make_input(i);
            make_output(i);
        }
    } else {
        for (int i = 0; i < kSlots; ++i) make_input(i);
        for (int i = 0; i < kSlots; ++i) make_output(i);
    }
    return n;
}

static void *one_input_create_coloured(void *priv, QvNodeId node, QvError *err, Colour colour) {
    NodeLayout layout;
    layout.flags = default_flag(0);
    layout.extra.fn = reinterpret_cast<MathFn>(priv);
    layout.colour = colour;
    layout.inputs[0] = {QV_TYPE_SCALAR, "In"};
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return create_node(node, layout, err);
}

void *one_input_create(void *priv, QvNodeId node, QvError *err) {
    return one_input_create_coloured(priv, node, err, kColourGeneral);
}

void *one_input_trig_create(void *priv, QvNodeId node, QvError *err) {
    return one_input_create_coloured(priv, node, err, kColourTrig);
}

NodeLayout two_input_layout(uint32_t word) {
    using namespace two_input_word;
    NodeLayout layout;
    layout.flags = default_flag(0) | default_flag(1) | (word & kOptionWords ? uint32_t{kFlagInt2} : 0u);
    switch (word & kDefaults) {
    case kDefaultFirst: layout.defaults[0] = 1.0; break;
    case kDefaultSecond: layout.defaults[1] = 1.0; break;
    case kDefaultsBoth: layout.defaults[0] = layout.defaults[1] = 1.0; break;
    default: break;
    }
    const char *const *names;
    static const char *const kXY[] = {"X", "Y"};
    static const char *const kInPow[] = {"In", "Pow"};
    static const char *const kIn12[] = {"In1", "In2"};
    switch (word & kNames) {
    case kNamesXY: names = kXY; break;
    case kNamesInPow: names = kInPow; break;
    default: names = kIn12; break;
    }
    layout.inputs[0] = {QV_TYPE_SCALAR, names[0]};
    layout.inputs[1] = {QV_TYPE_SCALAR, names[1]};
    switch (word & kColour) {
    case kTrigColour: layout.colour = qv::kColourTrig; break;
    case kArithmeticColour: layout.colour = qv::kColourArithmetic; break;
    default: layout.colour = kColourGeneral; break;
    }
    if (word & kTwoOutputs) {
        layout.outputs[0] = {QV_TYPE_SCALAR, "X"};
        layout.outputs[1] = {QV_TYPE_SCALAR, "Y"};
    } else {
        layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    }
    return layout;
}

NodeLayout four_input_layout(uint32_t word) {
    using namespace four_input_word;
    NodeLayout layout;
    layout.flags = 0xF;
    if (word & kOneOptionWord)
        layout.flags |= kFlagInt1;
    else if (word & kTwoOptionWords)
        layout.flags |= kFlagInt2;
    switch (word & kDefaults) {
    case kDefaultsAll: layout.defaults[0] = layout.defaults[1] = layout.defaults[2] = layout.defaults[3] = 1.0; break;
    case kDefaultsAxBx: layout.defaults[0] = layout.defaults[2] = 1.0; break;
    default: break;
    }
    static const char *const kPoints[] = {"Ax", "Ay", "Bx", "By"};
    static const char *const kIn14[] = {"In1", "In2", "In3", "In4"};
    const char *const *names = (word & kNames) == kNamesPoints ? kPoints : kIn14;
    for (int i = 0; i < 4; ++i) layout.inputs[i] = {QV_TYPE_SCALAR, names[i]};
    layout.colour = (word & kColour) == kArithmeticColour ? qv::kColourArithmetic : kColourGeneral;
    layout.outputs[0] = {QV_TYPE_SCALAR, "Out"};
    return layout;
}

void *two_input_scalar_create(void *priv, QvNodeId node, QvError *err) {
    return create_node(node, two_input_layout(private_word(priv)), err);
}

void *four_input_scalar_create(void *priv, QvNodeId node, QvError *err) {
    return create_node(node, four_input_layout(private_word(priv)), err);
}

void *one_vector_create(void *, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.colour = kColourOneVector;
    layout.inputs[0] = {QV_TYPE_VECTOR, "In"};
    layout.outputs[0] = {QV_TYPE_VECTOR, "Out"};
    return create_node(node, layout, err);
}

void *two_vector_create(void *priv, QvNodeId node, QvError *err) {
    NodeLayout layout;
    layout.flags = 0x3F;
    const double start = private_word(priv) != 0 ? 1.0 : 0.0;
    for (int i = 0; i < 6; ++i) layout.defaults[i] = start;
    layout.colour = kColourTwoVector;
    layout.inputs[0] = {QV_TYPE_VECTOR, "In1"};
    layout.inputs[1] = {QV_TYPE_VECTOR, "In2"};
    layout.outputs[0] = {QV_TYPE_VECTOR, "Out"};
    return create_node(node, layout, err);
}

}  // namespace qv
