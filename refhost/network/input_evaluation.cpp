// Evaluating a node's inputs: what the host hands the module when it asks for
// an input's value for a sample (see input_evaluation.h).
#include "refhost/network/input_evaluation.h"

#include "refhost/services.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_map>

namespace refhost {

namespace {

const std::atomic<bool> *g_cancel = nullptr;

// The nodes that read one of their routed inputs per sample, picked by a
// selector or a comparison, and the first of those inputs.
// clang-format off
constexpr struct {
    const char *server;
    std::size_t first_routed;
} kRoutingNodes[] = {
    // server       first routed input
    {"QvT_SWCHS",   1},  // Bool, then True1, False1, True2, ...
    {"QvT_SWCHV",   1},
    {"QvT_LGC1V",   2},  // A, B, then True, False
    {"QvT_LGC2V",   4},  // A1, B1, A2, B2, then True, False
};
// clang-format on

// The node's inputs from this one on are read on some samples only.
std::size_t first_routed_input(const HostNode &n) {
    for (const auto &row : kRoutingNodes)
        if (n.server == row.server) return row.first_routed;
    return n.inputs.size();
}

// A cache keeps a value from one sample to the next.
bool keeps_a_value(const HostNode &n) { return n.server.rfind("QvC_", 0) == 0; }

// Whether each node has a cache upstream of it or is one, by the node's
// place in `nodes`: a walk upstream from every node, each node once.
std::vector<uint8_t> behind_a_cache(const std::vector<std::unique_ptr<HostNode>> &nodes) {
    std::unordered_map<const HostNode *, std::size_t> place;
    place.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) place.emplace(nodes[i].get(), i);
    enum : uint8_t { unseen, walking, done };
    std::vector<uint8_t> state(nodes.size(), unseen), cached(nodes.size(), 0);
    struct Step {
        std::size_t node;
        std::size_t next_input;
    };
    std::vector<Step> stack;
    for (std::size_t root = 0; root < nodes.size(); ++root) {
        if (state[root] != unseen) continue;
        stack.push_back({root, 0});
        state[root] = walking;
        while (!stack.empty()) {
            Step &step = stack.back();
            const HostNode &n = *nodes[step.node];
            if (step.next_input == n.inputs.size()) {
                const std::size_t here = step.node;
                state[here] = done;
                cached[here] = cached[here] || keeps_a_value(n);
                stack.pop_back();
                if (!stack.empty()) cached[stack.back().node] = cached[stack.back().node] || cached[here];
                continue;
            }
            const HostInput &in = *n.inputs[step.next_input++];
            if (in.from == nullptr) continue;
            const auto up = place.find(in.from->node);
            if (up == place.end()) continue;
            if (state[up->second] == unseen) {
                state[up->second] = walking;
                stack.push_back({up->second, 0});
            } else {
                // Done, or being walked: a loop, which loading refuses;
                // the nodes of one are evaluated when asked.
                cached[step.node] = cached[step.node] || state[up->second] == walking || cached[up->second];
            }
        }
    }
    return cached;
}

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
    if (in->from != nullptr && cancel_requested()) {
        std::memset(result, 0, type_size(in->type));  // nothing is evaluated once cancelled
    } else if (in->from != nullptr) {
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

// A cell's value converted to an input's type, out of the render's path.
[[gnu::noinline]] void deliver_cell(const uint64_t *c, int type, void *result) {
    deliver(SampleMemo::cell_as_value(c), type, result);
}

// A cell's value in an input's type: copied when the types agree,
// converted otherwise.
inline void read_cell(const uint64_t *c, int type, void *result) {
    if (SampleMemo::cell_type(c) == type)
        copy_value_bytes(type, result, SampleMemo::cell_bytes(c));
    else
        deliver_cell(c, type, result);
}

// The value of the output wired to `in`, evaluated now into its cell `c` in
// `slot` of `memo`.  Nothing is evaluated once the command is cancelled:
// the input gives the zero of its type.
[[gnu::noinline]] void evaluate_upstream(const HostInput *in, SampleMemo &memo, QvSampleAccess *sa, int slot,
                                         const uint64_t *c, void *result) {
    if (cancel_requested()) {
        std::memset(result, 0, type_size(in->type));
        return;
    }
    memo.evaluate_in_slot(*in->from, sa, slot);
    read_cell(c, in->type, result);
}

// The memo of the sample `sa` when it holds the output wired to `in`.
inline SampleMemo *memo_of(const HostInput *in, const QvSampleAccess *sa) {
    if (in->from == nullptr || sa == nullptr || sa->host_data == nullptr) return nullptr;
    SampleMemo *memo = static_cast<const SampleExtras *>(sa->host_data)->memo;
    return memo != nullptr && memo->holds(*in->from) ? memo : nullptr;
}

// The render's paths first, without a call or a stack frame: a constant
// copied as it is, a wired input whose upstream value this sample's memo
// holds (evaluated first when it does not yet); then the rest.
inline void evaluate_input(const HostInput *in, QvSampleAccess *sa, void *result) {
    // A constant, or a sample source whose value the record holds in the
    // input's type: a copy.
    const unsigned char *bytes = in->constant_bytes;
    if (bytes == nullptr && in->sample_offset >= 0 && sa != nullptr)
        bytes = reinterpret_cast<const unsigned char *>(sa) + in->sample_offset;
    if (bytes != nullptr) {
        if (counts_questions(*in->node)) in->source->evaluations.fetch_add(1, std::memory_order_relaxed);
        copy_value_bytes(in->type, result, bytes);
        return;
    }
    if (SampleMemo *memo = memo_of(in, sa)) {
        int slot = 0;
        const uint64_t *c = memo->cell_for(*in->from, sa, slot);
        if (memo->current(c, slot))
            read_cell(c, in->type, result);
        else
            evaluate_upstream(in, *memo, sa, slot, c, result);
        return;
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

namespace {

UpstreamOrder::Records records_read(const HostOutput &out) {
    UpstreamOrder::Records r{};
    std::size_t k = 0;
    const auto read = [&](const void *p) {
        if (p != nullptr && k < std::size(r.at)) r.at[k++] = p;
    };
    const HostNode &n = *out.node;
    read(&out);
    read(&n);  // its instance, shared record and handler
    // A module's instance is a record of a few hundred bytes, any of whose
    // lines an evaluation may read: the first four.  Addresses only, never
    // read through (a fetch past the end of a smaller record is harmless).
    for (uintptr_t line = 0; n.instance != nullptr && line < 4; ++line)
        read(reinterpret_cast<const void *>(reinterpret_cast<uintptr_t>(n.instance) + line * kCacheLine));
    for (const auto &in : n.inputs) read(in.get());
    return r;
}

}  // namespace

std::shared_ptr<const UpstreamOrder> upstream_order(const std::vector<std::unique_ptr<HostNode>> &nodes, int outputs) {
    auto order = std::make_shared<UpstreamOrder>();
    const auto count = static_cast<std::size_t>(outputs > 0 ? outputs : 0);
    order->outputs.assign(count, nullptr);
    order->in_order.assign(count, 0);
    order->records.assign(count, UpstreamOrder::Records{});
    std::vector<std::vector<int>> upstream(count);
    const std::vector<uint8_t> cached = behind_a_cache(nodes);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const HostNode &n = *nodes[i];
        std::vector<int> reads;
        const std::size_t routed = first_routed_input(n);
        for (std::size_t k = 0; k < n.inputs.size() && k < routed; ++k) {
            const HostInput &in = *n.inputs[k];
            if (in.from != nullptr && !in.reads_whole_record && in.from->index >= 0 &&
                static_cast<std::size_t>(in.from->index) < count)
                reads.push_back(in.from->index);
        }
        for (const auto &out : n.outputs) {
            if (out->index < 0 || static_cast<std::size_t>(out->index) >= count) continue;
            const auto o = static_cast<std::size_t>(out->index);
            order->outputs[o] = out.get();
            order->records[o] = records_read(*out);
            order->in_order[o] = cached[i] ? 0 : 1;
            if (!cached[i]) upstream[o] = reads;
        }
    }
    order->first.reserve(count + 1);
    for (const auto &reads : upstream) {
        order->first.push_back(static_cast<int>(order->upstream.size()));
        order->upstream.insert(order->upstream.end(), reads.begin(), reads.end());
    }
    order->first.push_back(static_cast<int>(order->upstream.size()));
    return order;
}

SampleMemo::SampleMemo(int outputs, bool reuse, std::shared_ptr<const UpstreamOrder> order, int slots,
                       const std::vector<int> &types)
    : place_(static_cast<std::size_t>(outputs > 0 ? outputs : 0)), reuse_(reuse), order_(std::move(order)) {
    // Each output's cell holds a value of its type; an output of a type the
    // host does not know holds the largest.
    for (std::size_t o = 0; o < place_.size(); ++o) {
        const std::size_t bytes =
            o < types.size() && type_size(types[o]) > 0 ? type_size(types[o]) : sizeof(Value::bytes);
        place_[o].stride = kCellHead + (bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t);
    }
    lay_out(slots);
}

SampleMemo::SampleMemo(const SampleMemo &like, int slots)
    : place_(like.place_), reuse_(like.reuse_), order_(like.order_) {
    lay_out(slots);
}

void SampleMemo::lay_out(int slots) {
    std::size_t words = 0;
    for (const Place &p : place_) words += p.stride;
    const std::size_t fit = words > 0 ? kBlockBytes / (words * sizeof(uint64_t)) : std::size_t(kMaxSlots);
    slots_ = std::clamp(static_cast<int>(std::min<std::size_t>(fit, kMaxSlots)), 1, std::clamp(slots, 1, kMaxSlots));
    std::size_t first = 0;
    for (Place &p : place_) {
        p.first = first;
        first += p.stride * static_cast<std::size_t>(slots_);
    }
    cells_.assign(first, 0);
    if (order_ == nullptr) return;
    plan_first_.assign(place_.size(), kUnplanned);
    plan_size_.assign(place_.size(), 0);
    seen_.assign(place_.size(), 0);
    plan_budget_ = 4 * place_.size() + 1024;
}

Value SampleMemo::cell_as_value(const uint64_t *c) {
    Value v;
    v.type = cell_type(c);
    std::memcpy(v.bytes, cell_bytes(c), type_size(v.type));  // nothing of a type the host does not know
    return v;
}

// The plan of `root`: a walk upstream from it that lists each output, once,
// after all it reads first.
int SampleMemo::plan(int root) {
    int &first = plan_first_[static_cast<std::size_t>(root)];
    if (first != kUnplanned) return first;
    const UpstreamOrder &order = *order_;
    const auto at = [](int i) { return static_cast<std::size_t>(i); };
    if (++seen_mark_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        seen_mark_ = 1;
    }
    const std::size_t begin = plan_steps_.size();
    std::vector<Step> stack{{root, order.in_order[at(root)] ? order.first[at(root)] : 0}};
    seen_[at(root)] = seen_mark_;
    while (!stack.empty()) {
        Step &step = stack.back();
        if (order.in_order[at(step.output)] && step.next < order.first[at(step.output) + 1]) {
            const int up = order.upstream[at(step.next++)];
            if (seen_[at(up)] != seen_mark_) {
                seen_[at(up)] = seen_mark_;
                stack.push_back({up, order.first[at(up)]});
            }
            continue;
        }
        plan_steps_.push_back(plan_step(step.output));
        stack.pop_back();
        if (plan_steps_.size() >= plan_budget_) {
            plan_steps_.resize(begin);
            return first = kNoPlan;
        }
    }
    plan_size_[static_cast<std::size_t>(root)] = plan_steps_.size() - begin;
    plan_steps_.push_back(PlanStep{-1, 0, nullptr, nullptr, {}});
    return first = static_cast<int>(begin);
}

SampleMemo::PlanStep SampleMemo::plan_step(int output) {
    const auto o = static_cast<std::size_t>(output);
    PlanStep step{output, static_cast<uint32_t>(place_[o].stride), cell(output, 0), order_->outputs[o], {}};
    if (step.out != nullptr) std::copy(std::begin(order_->records[o].at), std::end(order_->records[o].at), step.reads);
    return step;
}

namespace {

// Asks the processor to bring the cache line of `p` in.  The empty asm
// statement is a side effect, so that the compiler cannot drop a loop of
// these as doing nothing (it did, in evaluate_block).
inline void fetch_line(const void *p) {
    __builtin_prefetch(p);
    asm volatile("" : : "r"(p));
}

}  // namespace

void SampleMemo::fetch(const PlanStep &step) {
    fetch_line(step.cells);
    for (const void *p : step.reads)
        if (p != nullptr) fetch_line(p);
}

// Evaluates, in its plan's order, what `out` needs and this sample has not
// evaluated yet.  Evaluating an output may ask the memo for one evaluated
// when asked, whose plan is then followed inside this one's: the steps are
// read by their place, which stays while plan_steps_ grows.
void SampleMemo::evaluate_in_order(const HostOutput &out, QvSampleAccess *sa, int slot) {
    const auto root = static_cast<std::size_t>(out.index);
    const int first = plan_first_[root] != kUnplanned ? plan_first_[root] : plan(out.index);
    if (plan_size_[root] == 1) {  // planned just now, with nothing upstream evaluated in order
        evaluate_now(out, sa, slot);
        return;
    }
    if (first == kNoPlan) {
        walk_upstream(out, sa, slot);
        return;
    }
    // The records of a long plan's steps are fetched kAhead steps before
    // their turn; a short plan's stay in the processor's cache from one
    // sample to the next.
    constexpr std::size_t kAhead = 6, kLong = 64;
    const auto begin = static_cast<std::size_t>(first);
    const bool fetching = plan_size_[root] > kLong;
    std::size_t ahead = begin;
    for (; fetching && ahead < begin + kAhead; ++ahead) fetch(plan_steps_[ahead]);
    for (std::size_t i = begin; plan_steps_[i].output >= 0; ++i) {
        if (fetching && plan_steps_[ahead].output >= 0) fetch(plan_steps_[ahead++]);
        const int o = plan_steps_[i].output;
        const HostOutput *step = plan_steps_[i].out;
        if (cell(o, slot)[0] != stamp(slot)) evaluate_now(step != nullptr ? *step : out, sa, slot);
    }
}

// The block's samples output by output: each step of the plan for every
// sample before the next step, so that a step's records are read once per
// block and stay in the processor's cache for all its samples.
void SampleMemo::evaluate_block(const HostOutput &out, HostSample *samples, int count) {
    const auto root = static_cast<std::size_t>(out.index);
    int first = kNoPlan;
    if (reuse_ && order_ != nullptr) first = plan_first_[root] != kUnplanned ? plan_first_[root] : plan(out.index);
    if (first == kNoPlan) {
        for (int s = 0; s < count; ++s) cell_value(out, &samples[s].access);
        return;
    }
    constexpr std::size_t kAhead = 4;
    const auto begin = static_cast<std::size_t>(first);
    std::size_t ahead = begin;
    // A step's records, the cells its samples write and where the steps
    // that read them find those cells (its place_) are fetched kAhead steps
    // before its turn.
    const auto fetch_block = [&](const PlanStep &step) {
        fetch(step);
        fetch_line(&place_[static_cast<std::size_t>(step.output)]);
        const auto *from = reinterpret_cast<const char *>(step.cells);
        const auto *to = reinterpret_cast<const char *>(step.cells + step.stride * static_cast<std::size_t>(count));
        for (from += kCacheLine; from < to; from += kCacheLine) fetch_line(from);
    };
    for (; ahead < begin + kAhead && plan_steps_[ahead].output >= 0; ++ahead) fetch_block(plan_steps_[ahead]);
    long evaluated = 0;  // by the steps below, for this block
    for (std::size_t i = begin; plan_steps_[i].output >= 0; ++i) {
        if (plan_steps_[ahead].output >= 0) fetch_block(plan_steps_[ahead++]);
        // Read before evaluating: a step may make a plan, which moves the steps.
        const std::size_t stride = plan_steps_[i].stride;
        const HostOutput &step = plan_steps_[i].out != nullptr ? *plan_steps_[i].out : out;
        uint64_t *c = plan_steps_[i].cells;
        if (evaluations_ - block_start_ == evaluated) {
            // Nothing but these steps evaluated in this block yet: none of
            // this step's cells holds a value of it, and none is read first.
            evaluate_all(step, samples, count, c, stride);
            evaluated += count;
        } else {
            for (int s = 0; s < count; ++s, c += stride)
                if (c[0] != stamp(s)) evaluate_into(step, &samples[s].access, c, stamp(s));
        }
    }
}

// Evaluates `out` for each sample of the block into its cells, from `c` on,
// `stride` words apart, with the node's evaluate and instance read once.
void SampleMemo::evaluate_all(const HostOutput &out, HostSample *samples, int count, uint64_t *c, std::size_t stride) {
    const OutputCall call(out);
    const uint64_t first = stamp(0);
    for (int s = 0; s < count; ++s, c += stride) evaluate_cell(call, &samples[s].access, c, first + static_cast<uint64_t>(s));
    evaluations_ += count;
}

// A walk upstream from `out` that evaluates each output once all it reads
// first is evaluated for this sample: the way of an output whose plan the
// memo does not keep.
void SampleMemo::walk_upstream(const HostOutput &out, QvSampleAccess *sa, int slot) {
    const UpstreamOrder &order = *order_;
    const auto at = [](int i) { return static_cast<std::size_t>(i); };
    const std::size_t base = walk_.size();
    walk_.push_back({out.index, order.in_order[at(out.index)] ? order.first[at(out.index)] : 0});
    while (walk_.size() > base) {
        Step &step = walk_.back();
        if (order.in_order[at(step.output)] && step.next < order.first[at(step.output) + 1]) {
            const int up = order.upstream[at(step.next++)];
            if (cell(up, slot)[0] != stamp(slot)) walk_.push_back({up, order.first[at(up)]});
            continue;
        }
        const int done = step.output;
        walk_.pop_back();
        evaluate_now(done == out.index ? out : *order.outputs[at(done)], sa, slot);
    }
}

}  // namespace refhost
