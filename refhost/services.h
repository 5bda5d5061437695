// The host side of a node: its inputs, outputs and the services through which
// the module makes and reads them.
#pragma once

#include "host/host_api.h"
#include "refhost/value.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace refhost {

struct HostNode;
struct HostSample;
struct OutputCall;

// The bytes the processor's cache moves at once.  The records an evaluation
// reads (an output, an input, a node's handler and instance) each begin a
// line of their own, with the fields read first at their start: a large
// network's records lie far apart, and a field read that straddles two
// lines is two misses.
constexpr std::size_t kCacheLine = 64;

struct alignas(kCacheLine) HostOutput {
    HostNode *node;
    int type;
    std::string name;
    int index = -1;  // its place in a SampleMemo: outputs of one network are numbered from 0
};

// What the application's spot gives each sample, as a host source can feed
// it into an input: u and v (0 to 1 across the image, v up), the pixel
// centre x and y, the position (u, v, 0), the time in seconds, the frame.
enum class SampleSource : uint8_t { none, u, v, x, y, position, time, frame };

// "@u", "@v", "@x", "@y", "@position", "@time", "@frame"; "" for none.
const char *sample_source_name(SampleSource s);
// The source of a name, SampleSource::none when it names none.
SampleSource sample_source_from_name(const std::string &name);
// The connection type a source delivers: scalar, vector (position), integer (frame).
int sample_source_type(SampleSource s);

struct UpstreamOrder;

// The values of outputs already evaluated for the sample now being
// evaluated.  The application evaluates an upstream node again for every
// input it feeds; the reference host, given a memo, evaluates each output
// once per sample and hands its value to every input it feeds.  That gives
// the same values bit for bit: every value depends only on the sample and the
// scene time, and the caches hold one value per time step.  One memo per
// thread; next() starts a new sample.  A memo made without reuse evaluates
// every time, as the application does, and only counts.  A memo given an
// order (input_evaluation.h) evaluates an output's upstream first, so that
// its inputs find their values here instead of nesting one call per level.
//
// A memo may hold a block of samples at once, each in a slot of its own
// (the record's SampleExtras::slot): evaluate_block() then evaluates each
// output of the order for every sample of the block before the next
// output, so that a node's records are read once per block, not once per
// sample.
class SampleMemo {
public:
    // `slots`: the samples a block may hold at most; fewer when the values
    // of so many would pass kBlockBytes.
    explicit SampleMemo(int outputs = 0, bool reuse = true, std::shared_ptr<const UpstreamOrder> order = nullptr,
                        int slots = 1, const std::vector<int> &types = {});
    // A memo of the same network and order as `like`, holding no values,
    // with blocks of `slots`.
    SampleMemo(const SampleMemo &like, int slots);
    static constexpr int kMaxSlots = 16;
    static constexpr std::size_t kBlockBytes = std::size_t{8} << 20;
    // Starts a new sample, or block of samples.
    void next() {
        sample_ += static_cast<uint64_t>(slots_);
        block_start_ = evaluations_;
    }
    // Starts a new sample in `sample`, whose inputs then read upstream
    // values through this memo.
    inline void start(HostSample &sample);
    // The value of `out` for this sample, evaluated now if not yet.
    inline Value value(const HostOutput &out, QvSampleAccess *sa);
    // The same, as the memo holds it: a cell (see below), valid until the
    // output is next evaluated in the record's slot.
    inline const uint64_t *cell_value(const HostOutput &out, QvSampleAccess *sa);
    // The same in two steps, for a caller that does something between them:
    // the cell of `out` in the slot of `sa`, that slot in `slot`; whether the
    // cell holds this sample's value to be read again; evaluating it now.
    inline const uint64_t *cell_for(const HostOutput &out, const QvSampleAccess *sa, int &slot) const;
    bool current(const uint64_t *c, int slot) const { return reuse_ && c[0] == stamp(slot); }
    inline void evaluate_in_slot(const HostOutput &out, QvSampleAccess *sa, int slot);
    // Evaluates `out` for samples[0] to samples[count - 1], which sit in
    // slots 0 to count - 1 of this memo's block: count <= slots().
    void evaluate_block(const HostOutput &out, HostSample *samples, int count);
    // What evaluate_block left for the sample in `slot`.
    const uint64_t *cell_in_slot(const HostOutput &out, int slot) const { return cell(out.index, slot); }
    int slots() const { return slots_; }
    bool holds(const HostOutput &out) const {
        return out.index >= 0 && static_cast<std::size_t>(out.index) < place_.size();
    }
    bool reuses() const { return reuse_; }
    bool ordered() const { return order_ != nullptr; }
    long evaluations() const { return evaluations_; }  // outputs evaluated, not reused

    // A cell holds one output's value for one sample, in 8-byte words: the
    // sample it was evaluated for, the type the node set (0: none), then the
    // value's bytes.
    static constexpr std::size_t kCellHead = 2;
    static int cell_type(const uint64_t *c) { return static_cast<int>(c[1]); }
    static const unsigned char *cell_bytes(const uint64_t *c) {
        return reinterpret_cast<const unsigned char *>(c + kCellHead);
    }
    static Value cell_as_value(const uint64_t *c);

private:
    const uint64_t *cell(int output, int slot) const {
        const Place &p = place_[static_cast<std::size_t>(output)];
        return cells_.data() + p.first + static_cast<std::size_t>(slot) * p.stride;
    }
    uint64_t *cell(int output, int slot) {
        return const_cast<uint64_t *>(static_cast<const SampleMemo &>(*this).cell(output, slot));
    }
    uint64_t stamp(int slot) const { return sample_ + static_cast<uint64_t>(slot); }
    int slot_of(const QvSampleAccess *sa) const;
    // Places each output's cells for blocks of `slots`, and starts empty.
    void lay_out(int slots);
    // Evaluates `out` after its upstream, in input_evaluation.cpp: through
    // the output's plan, or a walk upstream where the plan is not kept.
    void evaluate_in_order(const HostOutput &out, QvSampleAccess *sa, int slot);
    // Where the plan of `root` begins in plan_steps_, made on first use;
    // kNoPlan when keeping it would pass the memo's budget.
    int plan(int root);
    struct PlanStep;
    PlanStep plan_step(int output);
    static void fetch(const PlanStep &step);
    void walk_upstream(const HostOutput &out, QvSampleAccess *sa, int slot);
    inline void evaluate_now(const HostOutput &out, QvSampleAccess *sa, int slot);
    // Evaluates `out` into its cell `c` for the sample numbered `sample`.
    inline void evaluate_into(const HostOutput &out, QvSampleAccess *sa, uint64_t *c, uint64_t sample);
    static inline void evaluate_cell(const OutputCall &call, QvSampleAccess *sa, uint64_t *c, uint64_t sample);
    void evaluate_all(const HostOutput &out, HostSample *samples, int count, uint64_t *c, std::size_t stride);

    static constexpr int kUnplanned = -1, kNoPlan = -2;
    // An output of the walk upstream and the next of its upstream outputs
    // to look at.
    struct Step {
        int output;
        int next;
    };
    // By output: where its cells begin in cells_, and the words from one
    // slot's cell to the next.
    struct Place {
        std::size_t first;
        std::size_t stride;
    };
    std::vector<Place> place_;
    std::vector<uint64_t> cells_;
    int slots_ = 1;
    bool reuse_;
    std::shared_ptr<const UpstreamOrder> order_;
    // A step of a plan: an output to evaluate, where its cells lie, and the
    // records evaluating it reads (UpstreamOrder::Records), which the plan
    // fetches into the processor's cache a few steps ahead: in a large
    // network they lie far apart in memory.
    struct PlanStep {
        int output;
        uint32_t stride;  // the words from one slot's cell to the next
        uint64_t *cells;  // its cell in slot 0
        const HostOutput *out;
        const void *reads[10];
    };
    // Each output asked for keeps its plan: the outputs to evaluate for it,
    // upstream first and itself last, from plan_first_[output] in
    // plan_steps_, ended by a step of output -1.  The steps kept are bounded
    // by the size of the network (plan_budget_); outputs past it are walked
    // instead.
    std::vector<int> plan_first_;
    std::vector<std::size_t> plan_size_;  // by output: its plan's steps
    std::vector<PlanStep> plan_steps_;
    std::size_t plan_budget_ = 0;
    std::vector<uint32_t> seen_;  // by output: the plan being made saw it
    uint32_t seen_mark_ = 0;
    std::vector<Step> walk_;
    uint64_t sample_ = 1;  // the sample of slot 0; slot k's is sample_ + k
    long evaluations_ = 0;
    long block_start_ = 0;  // evaluations_ when this sample or block began
};

// What the reference host's sample record holds beyond the application's
// fields: the pixel centre, the frame, and the memo of the thread.  The
// record's host_data points to it.
struct SampleExtras {
    double pixel[2] = {0.0, 0.0};
    int32_t frame = 0;
    int32_t slot = 0;  // the sample's place in its memo's block
    SampleMemo *memo = nullptr;
};

// The sample access record the reference host hands to evaluate: the host's
// record (its uv, position and time fields) with host_data pointing to the
// extras.  The module passes it on unread; the sample sources read it.  Like
// the 2020 application's, the record handed on is 1024 bytes long: zeros
// follow the fields, so a module that read past what it may would read them
// and not the extras.
struct HostSample {
    QvSampleAccess access{};
    unsigned char beyond_the_fields[QV_SAMPLE_ACCESS_MAX_BYTES - sizeof(QvSampleAccess)]{};
    SampleExtras extras;

    HostSample() { access.host_data = &extras; }
    HostSample(const HostSample &other) : access(other.access), extras(other.extras) { access.host_data = &extras; }
    HostSample &operator=(const HostSample &other) {
        access = other.access;
        extras = other.extras;
        access.host_data = &extras;
        return *this;
    }

    static HostSample at(double u, double v, double x, double y, double time, int32_t frame, int32_t thread = 0);
};
static_assert(sizeof(QvSampleAccess) <= QV_SAMPLE_ACCESS_MAX_BYTES, "a viewer's sample block holds the host's record");
static_assert(sizeof(HostSample) >= QV_SAMPLE_ACCESS_MAX_BYTES + sizeof(SampleExtras), "the record handed on is whole");

// What the network shares with its nodes: whether the host counts the
// module's questions (tests ask; renders turn it off, so that evaluation
// touches no shared word), whether an input fed a constant is evaluated by
// copying the constant already converted to its type (renders), whether
// its memos reuse values (Network::set_reuse), how many outputs it
// numbered, and the sample of the preview being drawn.
struct NetworkShared {
    bool counting = true;
    bool copies_constants = false;
    bool reuses_outputs = true;
    int outputs = 0;
    // While a node draws its preview, the host's record for the sample the
    // preview shows (the scene's frame and time, a u,v and a memo): a viewer
    // evaluates its inputs with a block of its own that carries nothing of
    // the host's, so what feeds them is evaluated with this record instead.
    HostSample *preview_sample = nullptr;
};

// What the host feeds into an input: a constant value, or what a sample
// source reads from each sample.  Counts how often the module asks for it,
// while the network counts.
struct HostSource {
    Value value;
    SampleSource sample = SampleSource::none;
    Value delivered;  // a constant converted to its input's type
    std::atomic<long> evaluations{0};
};

struct alignas(kCacheLine) HostInput {
    HostInput(HostNode *n, int t, std::string nm, QvInputEventFunc ev, bool whole)
        : node(n), type(t), reads_whole_record(whole), name(std::move(nm)), event(ev) {}
    // What evaluating the input reads, together on its first cache line.
    HostOutput *from = nullptr;  // connected to another node's output
    HostNode *node;
    // A constant source's bytes in the input's type, while the network
    // copies constants: evaluating the input is then a copy.  They lie in
    // `constant` when they fit.
    const unsigned char *constant_bytes = nullptr;
    int type;
    // A sample source whose value lies in the sample record in the input's
    // type (u, v or the time into a scalar, the position into a vector),
    // while the network copies constants: where in the record, else -1.
    int sample_offset = -1;
    // An input of a node that draws a preview: the module evaluates it with
    // a sample block of its own, which the host reads whole.
    bool reads_whole_record = false;
    alignas(8) unsigned char constant[3 * sizeof(double)] = {};
    std::unique_ptr<HostSource> source;  // or fed by the host
    std::string name;
    QvInputEventFunc event;
    mutable std::atomic<int> connected_queries{0};  // times the module asked whether connected
    bool connected() const { return from != nullptr || source != nullptr; }
};

struct alignas(kCacheLine) HostNode {
    // What evaluating reads, together.
    void *instance = nullptr;
    NetworkShared *shared = nullptr;  // the network's, set before create; read with the handler
    QvNodeHandler handler{};
    int id = 0;
    std::string name;  // the network's name for the node, "" for none
    std::string server;
    QvInstanceFuncs inst{};
    QvRenderFuncs rend{};
    int32_t colour[3] = {-1, -1, -1};
    int mode = -1;
    std::vector<std::string> calls;       // node service calls in order: "colour", "mode"
    std::vector<std::string> ports_made;  // "in " or "out " and the name, in the order the module made them
    bool wrote_past_record = false;       // activation wrote past the end of the host's handler record
    std::vector<std::unique_ptr<HostInput>> inputs;
    std::vector<std::unique_ptr<HostOutput>> outputs;

    // The input of this name; "Name#k" is the k-th input named "Name".
    HostInput *input(const std::string &name) const;
    HostOutput *output(const std::string &name) const;
};

// Whether the host counts the module's questions of this node's inputs.
inline bool counts_questions(const HostNode &n) { return n.shared == nullptr || n.shared->counting; }

// The value handle the host hands to evaluate.
struct HostValueSlot {
    int type;
    Value *value;              // where the node's value goes, or, when null,
    uint64_t *cell = nullptr;  // a memo's cell
};

// The node service under a name of this era; its set node mode keeps the
// preview type in HostNode::mode in the numbering of "NodeFuncs" (custom 1,
// none 2), whichever numbering the name has.
const QvNodeFuncs &node_funcs(QvHostEra names = QV_ERA_BEFORE_2018);
const QvNodeInputFuncs &input_funcs();
const QvNodeOutputFuncs &output_funcs();

// The node's evaluate for one output, with what it is handed besides the
// sample and the value slot, read from the records once: evaluating never
// changes them, so evaluating the output for a block of samples reads them
// once for all.  Inline, as are the evaluations below: a network evaluates
// upstream through nested calls, and every call a level adds makes a deep
// chain's returns harder for the processor to predict.
struct OutputCall {
    explicit OutputCall(const HostOutput &out)
        : evaluate(out.node->handler.evaluate), instance(out.node->instance),
          output(const_cast<HostOutput *>(&out)), type(out.type) {}
    // Hands the node's evaluate the output's value slot, for one sample.
    void operator()(QvSampleAccess *sa, HostValueSlot slot) const {
        if (evaluate != nullptr) evaluate(instance, sa, output, &slot);
    }
    decltype(QvNodeHandler::evaluate) evaluate;
    void *instance;
    HostOutput *output;
    int type;
};

// Evaluates an output for one sample; false when the node set no value.
inline bool evaluate_output(const HostOutput &out, QvSampleAccess *sa, Value &result) {
    result.type = 0;  // the node sets the bytes of its type, or nothing
    OutputCall{out}(sa, {out.type, &result});
    return result.type != 0;
}

inline void SampleMemo::start(HostSample &sample) {
    next();
    sample.extras.memo = this;
    sample.extras.slot = 0;
}

inline int SampleMemo::slot_of(const QvSampleAccess *sa) const {
    const int slot =
        sa != nullptr && sa->host_data != nullptr ? static_cast<const SampleExtras *>(sa->host_data)->slot : 0;
    return slot >= 0 && slot < slots_ ? slot : 0;  // a record of another memo's block: its first slot
}

inline void SampleMemo::evaluate_cell(const OutputCall &call, QvSampleAccess *sa, uint64_t *c, uint64_t sample) {
    c[1] = 0;  // the node sets the bytes of its type, or nothing
    call(sa, {call.type, nullptr, c});
    c[0] = sample;
}

inline void SampleMemo::evaluate_into(const HostOutput &out, QvSampleAccess *sa, uint64_t *c, uint64_t sample) {
    evaluate_cell(OutputCall{out}, sa, c, sample);
    ++evaluations_;
}

inline void SampleMemo::evaluate_now(const HostOutput &out, QvSampleAccess *sa, int slot) {
    evaluate_into(out, sa, cell(out.index, slot), stamp(slot));
}

inline const uint64_t *SampleMemo::cell_for(const HostOutput &out, const QvSampleAccess *sa, int &slot) const {
    slot = slot_of(sa);
    return cell(out.index, slot);
}

inline void SampleMemo::evaluate_in_slot(const HostOutput &out, QvSampleAccess *sa, int slot) {
    // An output whose plan is itself alone has nothing upstream to evaluate
    // first (plan_size_ is 0 until it is planned).
    if (order_ != nullptr && reuse_ && plan_size_[static_cast<std::size_t>(out.index)] != 1)
        evaluate_in_order(out, sa, slot);
    else
        evaluate_now(out, sa, slot);
}

inline const uint64_t *SampleMemo::cell_value(const HostOutput &out, QvSampleAccess *sa) {
    int slot = 0;
    const uint64_t *c = cell_for(out, sa, slot);
    if (!current(c, slot)) evaluate_in_slot(out, sa, slot);
    return c;
}

inline Value SampleMemo::value(const HostOutput &out, QvSampleAccess *sa) { return cell_as_value(cell_value(out, sa)); }

}  // namespace refhost
