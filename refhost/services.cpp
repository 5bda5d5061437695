#include "refhost/services.h"

#include "refhost/network/input_evaluation.h"
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

// "NodeFuncs 3" numbers the preview types anew: kept as "NodeFuncs" numbers
// them (an unknown code as it came).
void set_mode_renumbered(QvNodeId node, int mode) {
    int kept = mode;
    for (int type = 0; type < QV_PREVIEW_TYPES; ++type)
        if (qv_preview_codes[QV_ERA_2018][type] == mode) kept = qv_preview_codes[QV_ERA_BEFORE_2018][type];
    set_mode(node, kept);
}

QvInputId create_input(QvNodeId node, int type, const char *name, QvInputEventFunc event) {
    auto *n = static_cast<HostNode *>(node);
    n->inputs.push_back(std::unique_ptr<HostInput>(
        new HostInput(n, type, name != nullptr ? name : "", event, n->handler.custom_preview != nullptr)));
    n->ports_made.push_back("in " + n->inputs.back()->name);
    return n->inputs.back().get();
}

void destroy_input(QvNodeId, QvInputId) {}

int input_connected(QvInputId input) {
    const auto *in = static_cast<const HostInput *>(input);
    if (counts_questions(*in->node)) in->connected_queries.fetch_add(1, std::memory_order_relaxed);
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
    if (slot->value != nullptr) {
        slot->value->type = slot->type;
        copy_value_bytes(slot->type, slot->value->bytes, result);
    } else {
        slot->cell[1] = static_cast<uint64_t>(slot->type);
        copy_value_bytes(slot->type, slot->cell + SampleMemo::kCellHead, result);
    }
}

const QvNodeFuncs kNodeFuncs = {nullptr, nullptr, nullptr, set_color, nullptr, set_mode};
const QvNodeFuncs kNodeFuncs2018 = {nullptr, nullptr, nullptr, set_color, nullptr, set_mode_renumbered};
const QvNodeInputFuncs kInputFuncs = {create_input, destroy_input, host_evaluate_input, input_connected};
const QvNodeOutputFuncs kOutputFuncs = {create_output, destroy_output, set_value};

}  // namespace

const QvNodeFuncs &node_funcs(QvHostEra names) { return names == QV_ERA_2018 ? kNodeFuncs2018 : kNodeFuncs; }
const QvNodeInputFuncs &input_funcs() { return kInputFuncs; }
const QvNodeOutputFuncs &output_funcs() { return kOutputFuncs; }

}  // namespace refhost
