// Evaluating a node's inputs: what the host hands the module when it asks for
// an input's value for a sample (see input_evaluation.h).
#include "refhost/network/input_evaluation.h"

#include "refhost/services.h"

#include <cstring>

namespace refhost {

namespace {

const std::atomic<bool> *g_cancel = nullptr;

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
    if (in->from != nullptr) {
        Value v;
        evaluate_output(*in->from, sa, v);
        deliver(v, in->type, result);
    } else if (in->source) {
        if (counts_questions(*in->node)) in->source->evaluations.fetch_add(1, std::memory_order_relaxed);
        if (in->source->sample != SampleSource::none)
            sample_value(in->source->sample, sa, in->type, result);
        else
            deliver(in->source->value, in->type, result);
    } else {
        std::memset(result, 0, type_size(in->type));  // nothing connected: zero of the input's type
    }
}

}  // namespace

void set_cancel_flag(const std::atomic<bool> *flag) { g_cancel = flag; }

bool cancel_requested() { return g_cancel != nullptr && g_cancel->load(std::memory_order_relaxed); }

namespace {

// The render's paths first: a constant copied as it is, a wired input whose
// upstream value this sample's memo holds or evaluates once; then the rest.
inline void evaluate_input(const HostInput *in, QvSampleAccess *sa, void *result) {
    if (in->constant_bytes != nullptr) {
        if (counts_questions(*in->node)) in->source->evaluations.fetch_add(1, std::memory_order_relaxed);
        copy_value_bytes(in->type, result, in->constant_bytes);
        return;
    }
    const HostOutput *from = in->from;
    if (from != nullptr && cancel_requested()) {
        std::memset(result, 0, type_size(in->type));
        return;
    }
    if (from != nullptr && sa != nullptr && sa->host_data != nullptr) {
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

// An input of a node that draws a preview: the record it is asked with is
// read whole, as the application reads it.  A block of the node's own
// carries nothing of the host's; while a preview is drawn, the input is
// evaluated with the host's record of the preview's sample instead.
[[gnu::noinline]] void evaluate_preview_input(const HostInput *in, QvSampleAccess *sa, void *result) {
    read_whole_sample_record(sa);
    HostSample *preview = in->node->shared != nullptr ? in->node->shared->preview_sample : nullptr;
    const bool own_block = sa == nullptr || sa->host_data == nullptr;
    evaluate_input(in, preview != nullptr && own_block ? &preview->access : sa, result);
}

}  // namespace

void host_evaluate_input(QvInputId input, QvSampleAccess *sa, void *result) {
    const auto *in = static_cast<const HostInput *>(input);
    if (in->reads_whole_record) [[unlikely]] {
        evaluate_preview_input(in, sa, result);
        return;
    }
    evaluate_input(in, sa, result);
}

}  // namespace refhost
