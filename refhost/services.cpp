#include "refhost/services.h"

#include <cstring>

namespace refhost {

HostInput *HostNode::input(const std::string &name) const {
    for (const auto &in : inputs)
        if (in->name == name) return in.get();
    return nullptr;
}

HostOutput *HostNode::output(const std::string &name) const {
    for (const auto &out : outputs)
        if (out->name == name) return out.get();
    return nullptr;
}

namespace {

void set_color(QvNodeId node, const int32_t rgb[3]) {
    auto *n = static_cast<HostNode *>(node);
    std::memcpy(n->colour, rgb, sizeof n->colour);
    n->calls.push_back("colour");
}

void set_mode(QvNodeId node, int mode) {
    auto *n = static_cast<HostNode *>(node);
    n->mode = mode;
    n->calls.push_back("mode");
}

QvInputId create_input(QvNodeId node, int type, const char *name, QvInputEventFunc event) {
    auto *n = static_cast<HostNode *>(node);
    n->inputs.push_back(std::unique_ptr<HostInput>(new HostInput(n, type, name != nullptr ? name : "", event)));
    n->ports_made.push_back("in " + n->inputs.back()->name);
    return n->inputs.back().get();
}

void destroy_input(QvNodeId, QvInputId) {}

// A node that draws a preview evaluates its inputs with a sample access
// block of its own; the application reads its whole record from it, so the
// host reads that much here too (a block too small is a read past the end
// that AddressSanitizer reports).
void read_whole_sample_record(const QvSampleAccess *sa) {
    unsigned char copy[QV_SAMPLE_ACCESS_MAX_BYTES];
    std::memcpy(copy, sa, sizeof copy);
    volatile unsigned char sink = copy[sizeof copy - 1];
    (void)sink;
}

void evaluate_input(QvInputId input, QvSampleAccess *sa, void *result) {
    const auto *in = static_cast<const HostInput *>(input);
    if (in->node->handler.custom_preview != nullptr) read_whole_sample_record(sa);
    Value v;
    if (in->source) {
        in->source->evaluations.fetch_add(1, std::memory_order_relaxed);
        v = in->source->value;
    } else if (in->from == nullptr || !evaluate_output(*in->from, sa, v)) {
        v = Value();
        v.type = in->type;  // nothing upstream: zero of the input's type
    }
    convert_value(v, in->type, result);
}

int input_connected(QvInputId input) {
    const auto *in = static_cast<const HostInput *>(input);
    in->connected_queries.fetch_add(1, std::memory_order_relaxed);
    return in->connected() ? 1 : 0;
}

QvOutputId create_output(QvNodeId node, int type, const char *name) {
    auto *n = static_cast<HostNode *>(node);
    n->outputs.push_back(std::unique_ptr<HostOutput>(new HostOutput{n, type, name != nullptr ? name : ""}));
    n->ports_made.push_back("out " + n->outputs.back()->name);
    return n->outputs.back().get();
}

void destroy_output(QvNodeId, QvOutputId) {}

void set_value(QvNodeValue handle, const void *result) {
    auto *slot = static_cast<HostValueSlot *>(handle);
    slot->value->type = slot->type;
    std::memcpy(slot->value->bytes, result, type_size(slot->type));
}

const QvNodeFuncs kNodeFuncs = {nullptr, nullptr, nullptr, set_color, nullptr, set_mode};
const QvNodeInputFuncs kInputFuncs = {create_input, destroy_input, evaluate_input, input_connected};
const QvNodeOutputFuncs kOutputFuncs = {create_output, destroy_output, set_value};

}  // namespace

const QvNodeFuncs &node_funcs() { return kNodeFuncs; }
const QvNodeInputFuncs &input_funcs() { return kInputFuncs; }
const QvNodeOutputFuncs &output_funcs() { return kOutputFuncs; }

bool evaluate_output(const HostOutput &out, QvSampleAccess *sa, Value &result) {
    const HostNode &n = *out.node;
    result = Value();
    if (n.handler.evaluate == nullptr) return false;
    HostValueSlot slot{out.type, &result};
    n.handler.evaluate(n.instance, sa, const_cast<HostOutput *>(&out), &slot);
    return result.type != 0;
}

}  // namespace refhost
