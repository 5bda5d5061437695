#include "refhost/services.h"

#include <cstring>

namespace refhost {

HostInput *HostNode::input(const std::string &name) const {
    for (const auto &in : inputs)
        if (in->name == name) return in.get();
    // "Scalar#2": the second input named "Scalar".
    const std::size_t hash = name.rfind('#');
    if (hash == std::string::npos || hash == 0 || hash + 1 == name.size()) return nullptr;
    int nth = 0;
    for (std::size_t k = hash + 1; k < name.size(); ++k) {
        if (name[k] < '0' || name[k] > '9' || nth > 1000) return nullptr;
        nth = nth * 10 + (name[k] - '0');
    }
    const std::string base = name.substr(0, hash);
    for (const auto &in : inputs)
        if (in->name == base && --nth == 0) return in.get();
    return nullptr;
}

HostOutput *HostNode::output(const std::string &name) const {
    for (const auto &out : outputs)
        if (out->name == name) return out.get();
    return nullptr;
}

namespace {

const struct {
    SampleSource source;
    const char *name;
    int type;
} kSampleSources[] = {
    {SampleSource::u, "@u", QV_TYPE_SCALAR},          {SampleSource::v, "@v", QV_TYPE_SCALAR},
    {SampleSource::x, "@x", QV_TYPE_SCALAR},          {SampleSource::y, "@y", QV_TYPE_SCALAR},
    {SampleSource::position, "@position", QV_TYPE_VECTOR}, {SampleSource::time, "@time", QV_TYPE_SCALAR},
    {SampleSource::frame, "@frame", QV_TYPE_INTEGER},
};

}  // namespace

const char *sample_source_name(SampleSource s) {
    for (const auto &k : kSampleSources)
        if (k.source == s) return k.name;
    return "";
}

SampleSource sample_source_from_name(const std::string &name) {
    for (const auto &k : kSampleSources)
        if (name == k.name) return k.source;
    return SampleSource::none;
}

int sample_source_type(SampleSource s) {
    for (const auto &k : kSampleSources)
        if (k.source == s) return k.type;
    return 0;
}

HostSample HostSample::at(double u, double v, double x, double y, double time, int32_t frame, int32_t thread) {
    HostSample h;
    h.access.thread = thread;
    h.access.uv[0] = u;
    h.access.uv[1] = v;
    h.access.position[0] = u;
    h.access.position[1] = v;
    h.access.position[2] = 0.0;
    h.access.time = time;
    h.pixel[0] = x;
    h.pixel[1] = y;
    h.frame = frame;
    return h;
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

Value sample_value(SampleSource s, const HostSample &h) {
    switch (s) {
    case SampleSource::u: return Value::scalar(h.access.uv[0]);
    case SampleSource::v: return Value::scalar(h.access.uv[1]);
    case SampleSource::x: return Value::scalar(h.pixel[0]);
    case SampleSource::y: return Value::scalar(h.pixel[1]);
    case SampleSource::position:
        return Value::triple(QV_TYPE_VECTOR, h.access.position[0], h.access.position[1], h.access.position[2]);
    case SampleSource::time: return Value::scalar(h.access.time);
    case SampleSource::frame: return Value::integer(h.frame);
    case SampleSource::none: break;
    }
    return Value();
}

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
        if (in->source->sample != SampleSource::none)
            v = sample_value(in->source->sample, *reinterpret_cast<const HostSample *>(sa));
        else
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
