// Every node's load callback fed the blocks an input describes, through a
// load state of this target's own that gives what a damaged or hostile scene
// could: any block id, in any order and any number, any count of values,
// payloads cut short, reads that report more or less than they gave.  Then
// the node is run, saved, and compared with a fresh node that loaded that
// save: with every input fed alike they must give the same values, so a load
// that reaches storage the save does not carry (a one-input node's function,
// say) is found.
//
// Input: a node byte (its index in the server table), a byte of inputs to
// feed (bit i: input i), then blocks, each
//   an id byte: 0..10 the block table's ids "VAL0".."VAL6", "LGIC", "INT2",
//               "INT1", "VALD"; 11..14 ids outside it ("VAL7", "val0" read as
//               an id, 0, 0xFFFFFFFF); 15 and above: the next four bytes;
//               bits 6 and 7 say how its reads report (0 truthfully, 1 with
//               -1, 2 one more than asked, 3 nothing though they gave)
//   a count byte: the values the block holds
//   its values: four bytes each, read as a float or an integer as asked;
//               whatever of them the input still has.
#include "fuzz/fuzz_targets.h"

#include "refhost/application.h"
#include "refhost/scene/scene_io.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace qvfuzz {

namespace {

enum class Report : uint8_t { truthful, minus_one, one_more, nothing };

struct Block {
    uint32_t id;
    Report report;
    std::vector<uint32_t> values;  // the payload as words, fewer than its count when the input ran out
};

const uint32_t kTableIds[] = {
    QV_BLOCK_ID('V', 'A', 'L', '0'), QV_BLOCK_ID('V', 'A', 'L', '1'), QV_BLOCK_ID('V', 'A', 'L', '2'),
    QV_BLOCK_ID('V', 'A', 'L', '3'), QV_BLOCK_ID('V', 'A', 'L', '4'), QV_BLOCK_ID('V', 'A', 'L', '5'),
    QV_BLOCK_ID('V', 'A', 'L', '6'), QV_BLOCK_ID('L', 'G', 'I', 'C'), QV_BLOCK_ID('I', 'N', 'T', '2'),
    QV_BLOCK_ID('I', 'N', 'T', '1'), QV_BLOCK_ID('V', 'A', 'L', 'D'),
};
const uint32_t kOtherIds[] = {QV_BLOCK_ID('V', 'A', 'L', '7'), QV_BLOCK_ID('v', 'a', 'l', '0'), 0u, 0xFFFFFFFFu};
constexpr std::size_t kMaxBlocks = 64;

std::vector<Block> blocks_of(Bytes &in) {
    std::vector<Block> blocks;
    while (!in.empty() && blocks.size() < kMaxBlocks) {
        const uint8_t op = in.byte();
        Block b;
        const uint8_t which = op & 0x3F;
        if (which < std::size(kTableIds))
            b.id = kTableIds[which];
        else if (which < std::size(kTableIds) + std::size(kOtherIds))
            b.id = kOtherIds[which - std::size(kTableIds)];
        else
            b.id = in.word();
        b.report = static_cast<Report>(op >> 6);
        const int count = in.byte();
        for (int i = 0; i < count && in.left() >= 4; ++i) b.values.push_back(in.word());
        blocks.push_back(std::move(b));
    }
    return blocks;
}

// The load state: blocks in the order given; find_block gives each id in turn
// whether or not the table holds it (a hostile host), reads take the current
// block's words.
class BlockState {
public:
    explicit BlockState(std::vector<Block> blocks) : blocks_(std::move(blocks)) {
        state_.io_mode = QV_IO_BINARY;
        state_.context = this;
        state_.read = [](void *c, char *dst, int bytes) { return self(c).read_bytes(dst, bytes); };
        state_.read_i1 = [](void *c, int8_t *dst, int n) { return self(c).read_words(dst, n); };
        state_.read_i2 = [](void *c, int16_t *dst, int n) { return self(c).read_words(dst, n); };
        state_.read_i4 = [](void *c, int32_t *dst, int n) { return self(c).read_words(dst, n); };
        state_.read_u1 = [](void *c, uint8_t *dst, int n) { return self(c).read_words(dst, n); };
        state_.read_u2 = [](void *c, uint16_t *dst, int n) { return self(c).read_words(dst, n); };
        state_.read_u4 = [](void *c, uint32_t *dst, int n) { return self(c).read_words(dst, n); };
        state_.read_fp = [](void *c, float *dst, int n) { return self(c).read_words(dst, n); };
        state_.read_dp = [](void *c, double *dst, int n) { return self(c).read_doubles(dst, n); };
        state_.read_str = [](void *c, char *dst, int max) { return self(c).read_str(dst, max); };
        state_.read_id = [](void *c, const QvBlockIdent *) { return self(c).next_word(); };
        state_.find_block = [](void *c, const QvBlockIdent *) { return self(c).find_block(); };
        state_.end_block = [](void *c) { self(c).inside_ = false; };
        state_.depth = [](void *c) { return self(c).inside_ ? 1 : 0; };
    }
    const QvLoadState *state() const { return &state_; }

private:
    static BlockState &self(void *c) { return *static_cast<BlockState *>(c); }

    uint32_t find_block() {
        if (next_ >= blocks_.size()) return 0;
        current_ = &blocks_[next_++];
        read_ = 0;
        inside_ = true;
        return current_->id;
    }
    bool has_value() const { return inside_ && current_ != nullptr && read_ < current_->values.size(); }
    uint32_t next_word() { return has_value() ? current_->values[read_++] : 0; }

    // Gives up to n values, then reports as the block says.
    // Gives up to n values, then reports as the block says; a read that
    // claims more than the block had fills the rest with a pattern.
    template <typename T>
    int read_words(T *dst, int n) {
        int given = 0;
        for (; given < n && has_value(); ++given) put(dst[given], next_word());
        if (current_ != nullptr && current_->report == Report::one_more)
            for (int k = given; k < n; ++k) put(dst[k], kPattern);
        return reported(given, n);
    }
    template <typename T>
    static void put(T &slot, uint32_t w) {
        if constexpr (sizeof(T) == 4) {
            std::memcpy(&slot, &w, 4);
        } else {
            slot = static_cast<T>(w);
        }
    }
    static constexpr uint32_t kPattern = 0x7FBADBADu;  // a float NaN
    int read_doubles(double *dst, int n) {
        int given = 0;
        for (; given < n && has_value(); ++given) {
            uint64_t bits = static_cast<uint64_t>(next_word()) << 32;
            bits |= next_word();
            std::memcpy(&dst[given], &bits, 8);
        }
        return reported(given, n);
    }
    int read_bytes(char *dst, int bytes) {
        int given = 0;
        for (; given < bytes && has_value(); ++given) dst[given] = static_cast<char>(next_word());
        return reported(given, bytes);
    }
    int read_str(char *dst, int max) {
        if (max <= 0) return 0;
        int k = 0;
        for (; k + 1 < max && has_value(); ++k) {
            const char c = static_cast<char>(next_word());
            if (c == '\0') break;
            dst[k] = c;
        }
        dst[k] = '\0';
        return reported(k > 0 ? 1 : 0, 1);
    }
    int reported(int given, int asked) const {
        if (current_ == nullptr) return given;
        switch (current_->report) {
        case Report::truthful: return given;
        case Report::minus_one: return -1;
        case Report::one_more: return asked + 1;
        case Report::nothing: return 0;
        }
        return given;
    }

    std::vector<Block> blocks_;
    std::size_t next_ = 0;
    Block *current_ = nullptr;
    std::size_t read_ = 0;
    bool inside_ = false;
    QvLoadState state_{};
};

// The values the inputs are fed: one per input slot, every one unusual.
const double kFeeds[] = {0.37, -0.0, 2.5, -1e300, 7.0, 0.1, 1e-3, 3.0};

// Feeds the inputs the mask selects with their constants.
void feed_inputs(refhost::Network &net, refhost::HostNode &n, uint8_t mask) {
    for (std::size_t i = 0; i < n.inputs.size() && i < 8; ++i) {
        if (!(mask & (1u << i))) continue;
        const int type = n.inputs[i]->type;
        const double d = kFeeds[i];
        refhost::Value v = type == QV_TYPE_INTEGER ? refhost::Value::integer(static_cast<int32_t>(i) - 2)
                           : type == QV_TYPE_VECTOR || type == QV_TYPE_COLOR
                               ? refhost::Value::triple(type, d, -d, d * 0.5)
                               : refhost::Value::scalar(d);
        if (!refhost::can_convert(v.type, type)) continue;
        std::string error;
        net.feed_input(n.id, i, v, error);
    }
}

// Every output of a node once, at one sample.
std::vector<refhost::Value> outputs_of(refhost::Network &net, refhost::HostNode &n) {
    net.render_init();
    net.new_time(5, 0.2);
    refhost::HostSample sample = refhost::HostSample::at(0.5, 0.5, 1.5, 1.5, 0.2, 5);
    std::vector<refhost::Value> values;
    for (const auto &out : n.outputs) {
        refhost::Value v;
        refhost::evaluate_output(*out, &sample.access, v);
        values.push_back(v);
    }
    net.render_cleanup();
    return values;
}

// The name that finds input i: "Name#k" for the k-th of several sharing a name.
std::string input_name(const refhost::HostNode &n, std::size_t i) {
    int nth = 0, all = 0;
    for (std::size_t k = 0; k < n.inputs.size(); ++k)
        if (n.inputs[k]->name == n.inputs[i]->name) {
            ++all;
            if (k <= i) ++nth;
        }
    return all > 1 ? n.inputs[i]->name + "#" + std::to_string(nth) : n.inputs[i]->name;
}

bool same_values(const refhost::Value &a, const refhost::Value &b) {
    if (a.type != b.type) return false;
    const std::size_t bytes = refhost::type_size(a.type);
    if (a.type == QV_TYPE_INTEGER || a.type == QV_TYPE_MATERIAL) return std::memcmp(a.bytes, b.bytes, bytes) == 0;
    for (std::size_t k = 0; k < bytes / sizeof(double); ++k) {
        const double x = a.doubles()[k], y = b.doubles()[k];
        if (!(std::isnan(x) && std::isnan(y)) && std::memcmp(&x, &y, sizeof x) != 0) return false;
    }
    return true;
}

std::string saved_blocks(refhost::HostNode &n, Finding &finding) {
    refhost::SceneWriter writer(refhost::SceneForm::binary);
    n.inst.save(n.instance, writer.state());
    std::string content = writer.finish();
    if (!writer.ok()) finding = n.server + ": its save is refused: " + writer.error();
    return content;
}

}  // namespace

Finding fuzz_node_load(const uint8_t *data, std::size_t size) {
    fresh_application();
    Bytes in(data, size);
    const std::vector<std::string> &servers = node_servers();
    const std::string &server = servers[in.byte() % servers.size()];
    const uint8_t mask = in.byte();
    BlockState state(blocks_of(in));

    refhost::Network net(module());
    std::string error;
    refhost::HostNode *loaded = net.create(server, error);
    if (loaded == nullptr) return server + ": " + error;
    loaded->inst.load(loaded->instance, state.state());

    // The loaded node saves what it holds; a fresh node loads that save.
    Finding finding;
    const std::string blocks = saved_blocks(*loaded, finding);
    if (!finding.empty()) return finding;
    refhost::HostNode *fresh = net.create(server, error);
    if (fresh == nullptr) return server + ": " + error;
    refhost::SceneReader reader(refhost::SceneForm::binary, blocks, "saved");
    fresh->inst.load(fresh->instance, reader.state());
    if (!reader.ok()) return server + ": its own save does not load: " + reader.error();
    if (saved_blocks(*fresh, finding) != blocks) return server + ": a save loaded and saved again differs";
    if (!finding.empty()) return finding;

    // Every input fed: the two give the same values.
    feed_inputs(net, *loaded, 0xFF);
    feed_inputs(net, *fresh, 0xFF);
    const std::vector<refhost::Value> a = outputs_of(net, *loaded), b = outputs_of(net, *fresh);
    for (std::size_t k = 0; k < a.size(); ++k)
        if (!same_values(a[k], b[k]))
            return server + ": output \"" + loaded->outputs[k]->name + "\" after the load is " +
                   refhost::format_value(a[k]) + ", from its save " + refhost::format_value(b[k]);

    // The inputs the input chose left fed, the others showing the loaded values.
    for (std::size_t i = 0; i < loaded->inputs.size() && i < 8; ++i)
        if (!(mask & (1u << i))) net.disconnect(loaded->id, input_name(*loaded, i), error);
    outputs_of(net, *loaded);
    std::string text;
    return save(net, refhost::SceneForm::text, text);
}

}  // namespace qvfuzz
