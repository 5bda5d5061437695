#include "refhost/services.h"

#include "refhost/network/input_key.h"

#include <cstring>

namespace refhost {

HostInput *HostNode::input(const std::string &name) const {
    const int index = input_index(*this, name);
    return index >= 0 ? inputs[static_cast<std::size_t>(index)].get() : nullptr;
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
    {SampleSource::u, "@u", QV_TYPE_SCALAR},
    {SampleSource::v, "@v", QV_TYPE_SCALAR},
    {SampleSource::x, "@x", QV_TYPE_SCALAR},
    {SampleSource::y, "@y", QV_TYPE_SCALAR},
    {SampleSource::position, "@position", QV_TYPE_VECTOR},
    {SampleSource::time, "@time", QV_TYPE_SCALAR},
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
    h.extras.pixel[0] = x;
    h.extras.pixel[1] = y;
    h.extras.frame = frame;
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
    n->inputs.push_back(std::unique_ptr<HostInput>(
        new HostInput(n, type, name != nullptr ? name : "", event, n->handler.custom_preview != nullptr)));
    n->ports_made.push_back("in " + n->inputs.back()->name);
    return n->inputs.back().get();
}

void destroy_input(QvNodeId, QvInputId) {}

// What a sample source reads from the record: the application's fields,
// and the host's extras where the record has them (a viewer's own block, or
// a record made without the reference host, has none: zero).
void sample_value(SampleSource s, const QvSampleAccess *sa, int type, void *result) {
    static const SampleExtras kNone;
    const SampleExtras &x =
        sa != nullptr && sa->host_data != nullptr ? *static_cast<const SampleExtras *>(sa->host_data) : kNone;
    double d = 0.0;
    switch (s) {
    case SampleSource::u: d = sa != nullptr ? sa->uv[0] : 0.0; break;
    case SampleSource::v: d = sa != nullptr ? sa->uv[1] : 0.0; break;
    case SampleSource::x: d = x.pixel[0]; break;
    case SampleSource::y: d = x.pixel[1]; break;
    case SampleSource::time: d = sa != nullptr ? sa->time : 0.0; break;
    case SampleSource::position: {
        Value v;
        if (sa != nullptr)
            v = Value::triple(QV_TYPE_VECTOR, sa->position[0], sa->position[1], sa->position[2]);
        else
            v.type = QV_TYPE_VECTOR;
        convert_value(v, type, result);
        return;
    }
    case SampleSource::frame: convert_value(Value::integer(x.frame), type, result); return;
    case SampleSource::none: break;
    }
    if (type == QV_TYPE_SCALAR)
        std::memcpy(result, &d, sizeof d);
    else
        convert_value(Value::scalar(d), type, result);
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

bool counting(const HostNode *n) { return n->shared == nullptr || n->shared->counting; }

// Hands a value to an input, converted to its type; nothing (type 0) is the
// zero of the input's type.
void deliver(const Value &v, int type, void *result) {
    if (v.type == type) {
        copy_value_bytes(type, result, v.bytes);
    } else if (v.type == 0) {
        std::memset(result, 0, type_size(type));
    } else {
        convert_value(v, type, result);
    }
}

// Every input but a wired one with a memo: sources, nothing connected, the
// viewers' own blocks, records without a memo.
[[gnu::noinline]] void evaluate_input_slowly(const HostInput *in, QvSampleAccess *sa, void *result) {
    if (in->reads_whole_record) read_whole_sample_record(sa);
    if (in->from != nullptr) {
        Value v;
        evaluate_output(*in->from, sa, v);
        deliver(v, in->type, result);
    } else if (in->source) {
        if (counting(in->node)) in->source->evaluations.fetch_add(1, std::memory_order_relaxed);
        if (in->source->sample != SampleSource::none)
            sample_value(in->source->sample, sa, in->type, result);
        else
            deliver(in->source->value, in->type, result);
    } else {
        std::memset(result, 0, type_size(in->type));  // nothing connected: zero of the input's type
    }
}

// The render path: a wired input whose upstream value this sample's memo
// holds, or evaluates once.
void evaluate_input(QvInputId input, QvSampleAccess *sa, void *result) {
    const auto *in = static_cast<const HostInput *>(input);
    if (in->constant_bytes != nullptr && !in->reads_whole_record) {
        copy_value_bytes(in->type, result, in->constant_bytes);
        return;
    }
    const HostOutput *from = in->from;
    if (from != nullptr && !in->reads_whole_record && sa != nullptr && sa->host_data != nullptr) {
        SampleMemo *memo = static_cast<const SampleExtras *>(sa->host_data)->memo;
        if (memo != nullptr && memo->holds(*from)) {
            const Value &v = memo->value(*from, sa);
            if (v.type == in->type)
                copy_value_bytes(in->type, result, v.bytes);
            else
                deliver(v, in->type, result);
            return;
        }
    }
    evaluate_input_slowly(in, sa, result);
}

int input_connected(QvInputId input) {
    const auto *in = static_cast<const HostInput *>(input);
    if (counting(in->node)) in->connected_queries.fetch_add(1, std::memory_order_relaxed);
    return in->connected() ? 1 : 0;
}

QvOutputId create_output(QvNodeId node, int type, const char *name) {
    auto *n = static_cast<HostNode *>(node);
    n->outputs.push_back(std::unique_ptr<HostOutput>(new HostOutput{n, type, name != nullptr ? name : ""}));
    if (n->shared != nullptr) n->outputs.back()->index = n->shared->outputs++;
    n->ports_made.push_back("out " + n->outputs.back()->name);
    return n->outputs.back().get();
}

void destroy_output(QvNodeId, QvOutputId) {}

void set_value(QvNodeValue handle, const void *result) {
    auto *slot = static_cast<HostValueSlot *>(handle);
    slot->value->type = slot->type;
    copy_value_bytes(slot->type, slot->value->bytes, result);
}

const QvNodeFuncs kNodeFuncs = {nullptr, nullptr, nullptr, set_color, nullptr, set_mode};
const QvNodeInputFuncs kInputFuncs = {create_input, destroy_input, evaluate_input, input_connected};
const QvNodeOutputFuncs kOutputFuncs = {create_output, destroy_output, set_value};

}  // namespace

const QvNodeFuncs &node_funcs() { return kNodeFuncs; }
const QvNodeInputFuncs &input_funcs() { return kInputFuncs; }
const QvNodeOutputFuncs &output_funcs() { return kOutputFuncs; }

}  // namespace refhost
