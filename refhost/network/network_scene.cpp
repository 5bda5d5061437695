// Saved networks: a network as scene file content in either form (see
// scene_io.h), and files written whole through a temporary.
#include "refhost/network/network.h"

#include "refhost/network/input_evaluation.h"
#include "refhost/network/input_key.h"
#include "refhost/panel/xpanel.h"

#include "support/atomic_file.h"
#include "support/escaped_text.h"
#include "support/file_reading.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <vector>

namespace refhost {

using support::read_whole_file;
using support::write_file_atomically;

// A saved network is a sequence of top-level blocks; an older file may lack
// any of them:
//   Version  one integer, 1
//   Node     Id (integer), Server (string), Name (string, optional: the
//            network's name for the node), Data (the module's own blocks)
//   Feed     To (node integer, input string), then either Value (type
//            integer, then one integer or the doubles of the type) or Sample
//            (the sample source's name, "@u" ...)
//   Connect  From (node integer, output string), To (node integer, input string)
// An input is named by its key (input_key.h): "Name#k" where it is the k-th
// of several inputs sharing a name.  Nodes come before the feeds and
// connections that name them.

namespace {

constexpr int32_t kNetworkVersion = 1;

enum : uint32_t {
    kVersion = QV_BLOCK_ID('V', 'E', 'R', 'S'),
    kNode = QV_BLOCK_ID('N', 'O', 'D', 'E'),
    kFeed = QV_BLOCK_ID('F', 'E', 'E', 'D'),
    kConnect = QV_BLOCK_ID('C', 'O', 'N', 'N'),
    kId = QV_BLOCK_ID('N', 'D', 'I', 'D'),
    kServer = QV_BLOCK_ID('S', 'E', 'R', 'V'),
    kData = QV_BLOCK_ID('D', 'A', 'T', 'A'),
    kFrom = QV_BLOCK_ID('F', 'R', 'O', 'M'),
    kTo = QV_BLOCK_ID('T', 'O', ' ', ' '),
    kValue = QV_BLOCK_ID('V', 'A', 'L', 'U'),
    kName = QV_BLOCK_ID('N', 'A', 'M', 'E'),
    kSample = QV_BLOCK_ID('S', 'M', 'P', 'L'),
};

const QvBlockIdent kTopIdents[] = {
    {kVersion, "Version"}, {kNode, "Node"}, {kFeed, "Feed"}, {kConnect, "Connect"}, {0, nullptr}};
const QvBlockIdent kNodeIdents[] = {{kId, "Id"}, {kServer, "Server"}, {kName, "Name"}, {kData, "Data"}, {0, nullptr}};
const QvBlockIdent kFeedIdents[] = {{kTo, "To"}, {kValue, "Value"}, {kSample, "Sample"}, {0, nullptr}};

const QvBlockIdent kConnectIdents[] = {{kFrom, "From"}, {kTo, "To"}, {0, nullptr}};

const QvBlockIdent *ident(const QvBlockIdent *table, uint32_t id) {
    for (; table->id != 0; ++table)
        if (table->id == id) return table;
    return nullptr;
}

struct Writer {
    const QvSaveState *ss;
    void begin(const QvBlockIdent *table, uint32_t id, bool leaf) {
        ss->begin_block(ss->context, ident(table, id), leaf ? 1 : 0);
    }
    void end() { ss->end_block(ss->context); }
    void i4(int32_t v) { ss->write_i4(ss->context, &v, 1); }
    void str(const std::string &s) { ss->write_str(ss->context, s.c_str()); }
    void port(const QvBlockIdent *table, uint32_t id, int node, const std::string &name) {
        begin(table, id, true);
        i4(node);
        str(name);
        end();
    }
};

struct Reader {
    const QvLoadState *ls;
    bool i4(int32_t &v) { return ls->read_i4(ls->context, &v, 1) == 1; }
    // A string of up to `max` bytes; one longer is read one byte past `max`,
    // so that the caller sees it is too long rather than a shorter text.
    bool str(std::string &s, std::size_t max = 255) {
        std::vector<char> buf(max + 2, '\0');
        if (ls->read_str(ls->context, buf.data(), static_cast<int>(buf.size())) != 1) return false;
        s = buf.data();
        return true;
    }
    uint32_t find(const QvBlockIdent *table) { return ls->find_block(ls->context, table); }
    void end() { ls->end_block(ls->context); }
};

}  // namespace

bool Network::save(SceneForm form, std::string &content, std::string &error) const {
    // A name the loader would refuse is not written.
    std::unordered_map<std::string, int> named;
    for (const auto &n : nodes_) {
        std::string problem = node_name_problem(n->name);
        const auto [other, unique] = named.emplace(node_display_name(*n), n->id);
        if (problem.empty() && !unique)
            problem = "name " + support::quoted(other->first) + " is node " + std::to_string(other->second) + "'s too";
        if (!problem.empty()) {
            error = "node " + std::to_string(n->id) + ": " + problem;
            return false;
        }
    }
    SceneWriter writer(form);
    Writer w{writer.state()};
    w.begin(kTopIdents, kVersion, true);
    w.i4(kNetworkVersion);
    w.end();
    for (const auto &n : nodes_) {
        w.begin(kTopIdents, kNode, false);
        w.begin(kNodeIdents, kId, true);
        w.i4(n->id);
        w.end();
        w.begin(kNodeIdents, kServer, true);
        w.str(n->server);
        w.end();
        if (!n->name.empty()) {
            w.begin(kNodeIdents, kName, true);
            w.str(n->name);
            w.end();
        }
        w.begin(kNodeIdents, kData, false);
        if (n->inst.save != nullptr) n->inst.save(n->instance, w.ss);
        w.end();
        w.end();
    }
    for (const auto &n : nodes_) {
        for (std::size_t i = 0; i < n->inputs.size(); ++i) {
            const HostInput *in = n->inputs[i].get();
            if (in->source) {
                w.begin(kTopIdents, kFeed, false);
                w.port(kFeedIdents, kTo, n->id, input_key(*n, i));
                const Value &v = in->source->value;
                if (in->source->sample != SampleSource::none) {
                    w.begin(kFeedIdents, kSample, true);
                    w.str(sample_source_name(in->source->sample));
                } else {
                    w.begin(kFeedIdents, kValue, true);
                    w.i4(v.type);
                    if (v.type == QV_TYPE_INTEGER)
                        w.i4(v.as_integer());
                    else
                        w.ss->write_dp(w.ss->context, v.doubles(),
                                       static_cast<int>(type_size(v.type) / sizeof(double)));
                }
                w.end();
                w.end();
            } else if (in->from != nullptr) {
                w.begin(kTopIdents, kConnect, false);
                w.port(kConnectIdents, kFrom, in->from->node->id, in->from->name);
                w.port(kConnectIdents, kTo, n->id, input_key(*n, i));
                w.end();
            }
        }
    }
    content = writer.finish();
    if (!writer.ok()) {
        error = writer.error();
        return false;
    }
    return true;
}

bool Network::save_file(const std::string &path, SceneForm form, std::string &error) const {
    std::string content;
    if (!save(form, content, error)) {
        error = path + ": " + error;
        return false;
    }
    return write_file_atomically(path, content, error);
}

bool Network::load(const std::string &content, const std::string &source_name, std::string &error) {
    SceneReader reader(detect_scene_form(content), content, source_name);
    Reader r{reader.state()};
    Network fresh(module_);
    fresh.set_counting(shared_->counting);
    fresh.set_constant_copies(shared_->copies_constants);
    fresh.set_reuse(shared_->reuses_outputs);
    auto fail = [&](const std::string &what) {
        error = reader.ok() ? source_name + ": " + what : reader.error();
        return false;
    };
    // A problem of the block being read, named with its line (text) or byte
    // (binary).
    auto fail_at = [&](const std::string &where, const std::string &what) {
        error = reader.ok() ? where + ": " + what : reader.error();
        return false;
    };
    // Nodes by the name commands call them, and where each was named.
    std::unordered_map<std::string, int> named;
    while (uint32_t top = r.find(kTopIdents)) {
        if (cancel_requested()) return fail("interrupted");
        if (top == kVersion) {
            int32_t version = 0;
            if (!r.i4(version)) return fail("Version holds no number");
            if (version != kNetworkVersion) return fail("unsupported network version " + std::to_string(version));
        } else if (top == kNode) {
            int32_t id = 0;
            std::string server, name, where_named;
            HostNode *made = nullptr;
            while (uint32_t b = r.find(kNodeIdents)) {
                if (b == kId && !r.i4(id)) return fail("a node's Id holds no number");
                if (b == kId && (id < 1 || id > max_id))
                    return fail_at(reader.where(), "node Id " + std::to_string(id) + " is out of range (1 to " +
                                                       std::to_string(max_id) + ")");
                if (b == kServer && !r.str(server))
                    return fail("node " + std::to_string(id) + ": Server holds no name");
                if (b == kName && !r.str(name, max_name_bytes))
                    return fail("node " + std::to_string(id) + ": Name holds no name");
                if (b == kName || (b == kId && name.empty())) where_named = reader.where();
                if (b == kName) {
                    const std::string problem = node_name_problem(name);
                    if (!problem.empty()) return fail_at(where_named, "node " + std::to_string(id) + ": " + problem);
                }
                if (b == kData) {
                    if (made != nullptr) return fail("node " + std::to_string(id) + " has two Data blocks");
                    if (id <= 0 || server.empty()) return fail("a node's Data comes before its Id and Server");
                    if (fresh.node(id) != nullptr) return fail("node " + std::to_string(id) + " appears twice");
                    std::string why;
                    made = fresh.create_with_id(server, id, why);
                    if (made == nullptr) return fail("node " + std::to_string(id) + ": " + why);
                    if (made->inst.load != nullptr) made->inst.load(made->instance, r.ls);
                }
                r.end();
            }
            if (made == nullptr) {
                if (id <= 0 || server.empty()) return fail("a node lacks its Id or Server");
                if (fresh.node(id) != nullptr) return fail("node " + std::to_string(id) + " appears twice");
                std::string why;
                made = fresh.create_with_id(server, id, why);
                if (made == nullptr) return fail("node " + std::to_string(id) + ": " + why);
            }
            made->name = name;
            const auto [other, unique] = named.emplace(node_display_name(*made), id);
            if (!unique)
                return fail_at(where_named, "node " + std::to_string(id) + ": name " + support::quoted(other->first) +
                                                " is node " + std::to_string(other->second) + "'s too");
        } else if (top == kFeed) {
            int32_t to = 0;
            std::string input;
            Value v;
            bool has_value = false;
            SampleSource sample = SampleSource::none;
            while (uint32_t b = r.find(kFeedIdents)) {
                if (b == kTo && !(r.i4(to) && r.str(input))) return fail("a Feed's To is incomplete");
                if (b == kValue) {
                    int32_t type = 0;
                    if (!r.i4(type) || type_size(type) == 0) return fail("a Feed's Value has no known type");
                    v.type = type;
                    if (type == QV_TYPE_INTEGER) {
                        int32_t i = 0;
                        if (!r.i4(i)) return fail("a Feed's Value is incomplete");
                        std::memcpy(v.bytes, &i, sizeof i);
                    } else {
                        const int count = static_cast<int>(type_size(type) / sizeof(double));
                        if (r.ls->read_dp(r.ls->context, v.doubles(), count) != count)
                            return fail("a Feed's Value is incomplete");
                    }
                    has_value = true;
                }
                if (b == kSample) {
                    std::string source;
                    if (!r.str(source) || (sample = sample_source_from_name(source)) == SampleSource::none)
                        return fail("a Feed's Sample names no sample source");
                    has_value = true;
                }
                r.end();
            }
            if (!has_value) return fail("a Feed lacks its Value");
            std::string why;
            if (sample != SampleSource::none) {
                const HostNode *n = fresh.node(to);
                const int index = n != nullptr ? input_index(*n, input) : -1;
                if (index < 0) return fail("a Feed's To names no input of node " + std::to_string(to));
                if (fresh.feed_sample(to, static_cast<std::size_t>(index), sample, why) == nullptr) return fail(why);
            } else if (fresh.feed(to, input, v, why) == nullptr) {
                return fail(why);
            }
        } else if (top == kConnect) {
            int32_t from = 0, to = 0;
            std::string output, input;
            while (uint32_t b = r.find(kConnectIdents)) {
                if (b == kFrom && !(r.i4(from) && r.str(output))) return fail("a Connect's From is incomplete");
                if (b == kTo && !(r.i4(to) && r.str(input))) return fail("a Connect's To is incomplete");
                r.end();
            }
            std::string why;
            if (!fresh.connect(from, output, to, input, why, LoopCheck::later)) return fail(why);
        }
        r.end();
    }
    if (!reader.ok()) {
        error = reader.error();
        return false;
    }
    GraphProblem problem;
    if (!fresh.check_graph(problem)) return fail(problem.message);
    swap(fresh);
    return true;
}

namespace {

// Each control's value as a node's panel shows it, in the panel's order;
// nothing for a node without a panel.
std::vector<std::pair<uint32_t, std::string>> panel_values(const Network &net, const HostNode &n) {
    std::vector<std::pair<uint32_t, std::string>> values;
    std::string error;
    const Network::PanelOpening opening = net.open_panel(n.id, error);
    const Panel *panel = opening.panel != nullptr ? panel_of(opening.panel) : nullptr;
    if (panel == nullptr) return values;
    for (const PanelControl &c : panel->controls())
        if (std::optional<std::string> text = panel->value_text(c.id)) values.emplace_back(c.id, *text);
    return values;
}

// The constant feeding an input as the node reads it (converted to the
// input's type), as text; a sample source by its name; "" for neither.
std::string constant_text(const HostInput &in) {
    if (!in.source) return "";
    if (in.source->sample != SampleSource::none) return sample_source_name(in.source->sample);
    Value read;
    read.type = in.type;
    convert_value(in.source->value, in.type, read.bytes);
    return format_value(read);
}

}  // namespace

std::vector<Network::ValueChange> Network::changes_in(const Network &copy) const {
    std::vector<ValueChange> changes;
    const std::size_t count = std::min(nodes_.size(), copy.nodes_.size());
    for (std::size_t k = 0; k < count; ++k) {
        const HostNode &before = *nodes_[k], &after = *copy.nodes_[k];
        const auto was = panel_values(*this, before), is = panel_values(copy, after);
        for (const auto &[id, text] : was) {
            const auto now = std::find_if(is.begin(), is.end(), [id = id](const auto &v) { return v.first == id; });
            const std::string after_text = now != is.end() ? now->second : "";
            if (after_text != text) changes.push_back({before.id, id, "", text, after_text});
        }
        for (std::size_t i = 0; i < before.inputs.size(); ++i) {
            const std::string text = constant_text(*before.inputs[i]);
            const std::string after_text = i < after.inputs.size() ? constant_text(*after.inputs[i]) : "";
            if (after_text != text) changes.push_back({before.id, 0, input_key(before, i), text, after_text});
        }
    }
    if (nodes_.size() != copy.nodes_.size())
        changes.push_back({0, 0, "", std::to_string(nodes_.size()) + " nodes", std::to_string(copy.nodes_.size()) + " nodes"});
    return changes;
}

bool Network::scene_changes(const std::string &content, std::vector<ValueChange> &changes, std::string &error) const {
    Network copy(module_);
    copy.set_counting(false);
    if (!copy.load(content, "the saved scene", error)) return false;
    changes = changes_in(copy);
    return true;
}

bool Network::load_file(const std::string &path, std::string &error) {
    std::string content, problem;
    if (!read_whole_file(path, content, problem)) {
        error = path + ": " + problem;
        return false;
    }
    return load(content, path, error);
}

}  // namespace refhost
