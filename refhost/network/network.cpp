// Node networks: creating nodes, connecting and feeding their inputs, option
// panels, copies, the render lifecycle and evaluation (see network.h).
#include "refhost/network/network.h"

#include "refhost/application.h"
#include "refhost/handler_record.h"
#include "refhost/network/input_evaluation.h"
#include "support/escaped_text.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <unordered_set>

namespace refhost {

using support::escaped_text;
using support::quoted;

namespace {

// A node in messages: its id and its server's name.
std::string node_text(int id, const HostNode &n) {
    return "node " + std::to_string(id) + " (" + escaped_text(n.server) + ")";
}

// A node as messages about connections name it: by the name its network
// file gives it, else by its id.
std::string node_ref(const HostNode &n) { return n.name.empty() ? std::to_string(n.id) : quoted(n.name); }

// One of a node's ports: "NODE.PORT" for a named node, else ID "PORT".
std::string port_ref(const HostNode &n, const std::string &port) {
    return n.name.empty() ? std::to_string(n.id) + " " + quoted(port) : quoted(n.name + "." + port);
}

// Where a sample source's value lies in the sample record when it is
// already in an input's type; -1 where it must be read and converted.
int offset_in_record(SampleSource s, int type) {
    switch (s) {
    case SampleSource::u: return type == QV_TYPE_SCALAR ? static_cast<int>(offsetof(QvSampleAccess, uv)) : -1;
    case SampleSource::v:
        return type == QV_TYPE_SCALAR ? static_cast<int>(offsetof(QvSampleAccess, uv) + sizeof(double)) : -1;
    case SampleSource::time: return type == QV_TYPE_SCALAR ? static_cast<int>(offsetof(QvSampleAccess, time)) : -1;
    case SampleSource::position:
        return type == QV_TYPE_VECTOR ? static_cast<int>(offsetof(QvSampleAccess, position)) : -1;
    default: return -1;
    }
}

// The quick ways of a fed input while the network copies constants
// (`copies`): a constant's bytes converted once, or the place of a sample
// source's value in the record.
void copy_fast(HostInput &in, bool copies) {
    in.constant_bytes = nullptr;
    in.sample_offset = -1;
    if (!copies || in.source == nullptr) return;
    if (in.source->sample == SampleSource::none) {
        const std::size_t size = type_size(in.type);
        in.constant_bytes = in.source->delivered.bytes;
        if (size > 0 && size <= sizeof in.constant) {
            std::memcpy(in.constant, in.source->delivered.bytes, size);
            in.constant_bytes = in.constant;
        }
    } else
        in.sample_offset = offset_in_record(in.source->sample, in.type);
}

}  // namespace

int activate_handler(const Module &module, const std::string &server, HostNode &node, int version) {
    const QvServerRecord *record = module.find("NodeHandler", server);
    if (record == nullptr) return -1;
    return activate_in_host_record(record->activate, version, Application::get().global_function(),
                                   Application::get().config().build, node);
}

int activate_interface(const Module &module, const std::string &server, QvNodeInterface &record, int version) {
    const QvServerRecord *r = module.find("NodeInterface", server);
    if (r == nullptr) return -1;
    return r->activate(version, Application::get().global_function(), &record, nullptr);
}

Network::Network(std::shared_ptr<Module> module) : module_(std::move(module)) {}

Network::~Network() {
    for (auto &n : nodes_)
        if (n->instance != nullptr && n->inst.destroy != nullptr) n->inst.destroy(n->instance);
}

void Network::swap(Network &other) {
    std::swap(module_, other.module_);
    std::swap(nodes_, other.nodes_);
    std::swap(by_id_, other.by_id_);
    std::swap(shared_, other.shared_);
    std::swap(next_id_, other.next_id_);
    rewired();
    other.rewired();
}

void Network::rewired() {
    const std::lock_guard<std::mutex> lock(order_mutex_);
    order_.reset();
}

std::string node_name_problem(const std::string &name) {
    if (name.size() > max_name_bytes)
        return "a node name is at most " + std::to_string(max_name_bytes) + " bytes; this one is longer";
    if (name.find('.') != std::string::npos)
        return "node name " + quoted(name) + " holds \".\", so NAME.OUTPUT cannot name its outputs";
    return std::string();
}

std::string node_display_name(const HostNode &node) {
    return node.name.empty() ? "n" + std::to_string(node.id) : node.name;
}

HostNode *Network::create_with_id(const std::string &server, int id, std::string &error) {
    if (id < 1 || id > max_id) {
        error = "node id " + std::to_string(id) + " is out of range (1 to " + std::to_string(max_id) + ")";
        return nullptr;
    }
    if (nodes_.size() >= max_nodes) {
        error = "a network holds at most " + std::to_string(max_nodes) + " nodes";
        return nullptr;
    }
    auto node = std::make_unique<HostNode>();
    node->id = id;
    node->server = server;
    node->shared = shared_.get();
    const int rc = activate_handler(*module_, server, *node, Application::get().config().handler_version);
    if (rc < 0) {
        error = "unknown node " + quoted(server);
        return nullptr;
    }
    if (node->wrote_past_record) {
        error = "node " + quoted(server) + " wrote past the end of the host's handler record (" +
                std::to_string(handler_record_words(Application::get().config().build)) + " words at build " +
                std::to_string(Application::get().config().build) + ")";
        return nullptr;
    }
    if (rc != QV_AFUNC_OK) {
        error = "node " + quoted(server) + " is not available (activation result " + std::to_string(rc) + ")";
        return nullptr;
    }
    if (node->inst.create == nullptr) {
        error = "node " + quoted(server) + " installed no create";
        return nullptr;
    }
    QvError err = nullptr;
    QvCreateContext context{QV_CREATE_CONTEXT_NODE, node.get(), nullptr};
    void *argument = Application::get().config().context_create ? static_cast<void *>(&context) : node.get();
    node->instance = node->inst.create(node->inst.priv, argument, &err);
    if (node->instance == nullptr) {
        error = "node " + quoted(server) + ": create failed (" + (err != nullptr ? err : "no message") + ")";
        return nullptr;
    }
    by_id_[id] = node.get();
    nodes_.push_back(std::move(node));
    rewired();
    next_id_ = std::max(next_id_, int64_t{id} + 1);
    return nodes_.back().get();
}

HostNode *Network::create(const std::string &server, std::string &error) {
    if (next_id_ > max_id) {
        error = "no node id is left (ids go up to " + std::to_string(max_id) + ")";
        return nullptr;
    }
    return create_with_id(server, static_cast<int>(next_id_), error);
}

HostNode *Network::node(int id) const {
    const auto found = by_id_.find(id);
    return found != by_id_.end() ? found->second : nullptr;
}

static HostInput *find_input(const Network &net, int id, const std::string &name, std::string &error) {
    HostNode *n = net.node(id);
    if (n == nullptr) {
        error = "no node " + std::to_string(id);
        return nullptr;
    }
    HostInput *in = n->input(name);
    if (in == nullptr) error = node_text(id, *n) + " has no input " + quoted(name);
    return in;
}

bool Network::would_loop(const HostNode *from, const HostNode *to) const {
    // A loop closes when `to` already feeds `from`, directly or through others.
    std::vector<const HostNode *> stack{from};
    std::unordered_set<const HostNode *> seen{from};
    while (!stack.empty()) {
        const HostNode *n = stack.back();
        stack.pop_back();
        if (n == to) return true;
        for (const auto &in : n->inputs)
            if (in->from != nullptr && seen.insert(in->from->node).second) stack.push_back(in->from->node);
    }
    return false;
}

bool Network::check_graph(GraphProblem &problem) const {
    // A depth-first walk upstream from every node: a node is being walked
    // (on the stack) or done, with the length of the longest chain that
    // ends in it.  Reaching a node being walked closes a loop.
    std::unordered_map<const HostNode *, std::size_t> place;
    place.reserve(nodes_.size());
    for (std::size_t i = 0; i < nodes_.size(); ++i) place.emplace(nodes_[i].get(), i);
    enum : uint8_t { unseen, walking, done };
    std::vector<uint8_t> state(nodes_.size(), unseen);
    std::vector<int> depth(nodes_.size(), 1);
    struct Step {
        std::size_t node;
        std::size_t next_input = 0;
    };
    std::vector<Step> stack;
    std::size_t deepest = 0;
    for (std::size_t root = 0; root < nodes_.size(); ++root) {
        if (state[root] != unseen) continue;
        stack.push_back({root});
        state[root] = walking;
        while (!stack.empty()) {
            Step &step = stack.back();
            const HostNode &n = *nodes_[step.node];
            if (step.next_input == n.inputs.size()) {
                state[step.node] = done;
                if (depth[step.node] > depth[deepest]) deepest = step.node;
                const int d = depth[step.node];
                stack.pop_back();
                if (!stack.empty()) depth[stack.back().node] = std::max(depth[stack.back().node], d + 1);
                continue;
            }
            const HostInput *in = n.inputs[step.next_input++].get();
            if (in->from == nullptr) continue;
            const std::size_t up = place.at(in->from->node);
            if (state[up] == done) {
                depth[step.node] = std::max(depth[step.node], depth[up] + 1);
            } else if (state[up] == unseen) {
                state[up] = walking;
                stack.push_back({up});
            } else {
                // The loop, in the order its nodes feed each other: `up`
                // feeds this node, which feeds the one below it on the
                // stack, and so on down to `up`.
                std::string path = node_ref(*nodes_[up]);
                for (auto s = stack.rbegin(); s != stack.rend(); ++s) {
                    path += " -> " + node_ref(*nodes_[s->node]);
                    if (s->node == up) break;
                }
                problem.message = "connecting node " + node_ref(*nodes_[up]) + " to node " + node_ref(n) +
                                  " would close a loop (nodes " + path + ")";
                problem.input = in;
                problem.node = &n;
                return false;
            }
        }
    }
    if (!nodes_.empty() && depth[deepest] > max_depth) {
        problem.message = node_text(nodes_[deepest]->id, *nodes_[deepest]) + " nests " +
                          std::to_string(depth[deepest]) + " levels deep, deeper than the limit of " +
                          std::to_string(max_depth);
        problem.node = nodes_[deepest].get();
        return false;
    }
    return true;
}

static void tell(HostInput &in, int event) {
    if (in.event != nullptr) in.event(in.node->instance, &in, event, in.type);
}

bool Network::connect(int from_node, const std::string &output, int to_node, const std::string &input,
                      std::string &error, LoopCheck check) {
    HostNode *from = node(from_node);
    if (from == nullptr) {
        error = "no node " + std::to_string(from_node);
        return false;
    }
    HostOutput *out = from->output(output);
    if (out == nullptr) {
        error = node_text(from_node, *from) + " has no output " + quoted(output);
        return false;
    }
    HostInput *in = find_input(*this, to_node, input, error);
    if (in == nullptr) return false;
    if (!can_convert(out->type, in->type)) {
        error = std::string("cannot connect a ") + type_name(out->type) + " output to a " + type_name(in->type) +
                " input (" + port_ref(*from, output) + " to " + port_ref(*in->node, input) + ")";
        return false;
    }
    if (check == LoopCheck::now && would_loop(from, in->node)) {
        error = "connecting node " + node_ref(*from) + " to node " + node_ref(*in->node) + " would close a loop";
        return false;
    }
    if (in->connected()) {
        in->from = nullptr;
        in->source.reset();
        copy_fast(*in, false);
        tell(*in, QV_EVENT_DISCONNECT);
    }
    in->from = out;
    rewired();
    tell(*in, QV_EVENT_CONNECT);
    return true;
}

HostSource *Network::attach_source(HostInput &in, const Value &value, SampleSource sample) {
    if (in.connected()) {
        in.from = nullptr;
        in.source.reset();
        copy_fast(in, false);
        rewired();
        tell(in, QV_EVENT_DISCONNECT);
    }
    in.source = std::make_unique<HostSource>();
    in.source->value = value;
    in.source->sample = sample;
    if (sample == SampleSource::none) {
        convert_value(value, in.type, in.source->delivered.bytes);
        in.source->delivered.type = in.type;
    }
    copy_fast(in, shared_->copies_constants);
    tell(in, QV_EVENT_CONNECT);
    return in.source.get();
}

void Network::set_counting(bool on) { shared_->counting = on; }

void Network::set_constant_copies(bool on) {
    shared_->copies_constants = on;
    for (auto &n : nodes_)
        for (auto &in : n->inputs) copy_fast(*in, on);
}

HostSource *Network::feed(int to_node, const std::string &input, const Value &value, std::string &error) {
    HostInput *in = find_input(*this, to_node, input, error);
    if (in == nullptr) return nullptr;
    if (!can_convert(value.type, in->type)) {
        error = std::string("cannot feed a ") + type_name(value.type) + " value to the " + type_name(in->type) +
                " input " + quoted(input);
        return nullptr;
    }
    return attach_source(*in, value, SampleSource::none);
}

// The input made `index`-th, or null with a message.
static HostInput *input_at(const Network &net, int to_node, std::size_t index, std::string &error) {
    HostNode *n = net.node(to_node);
    if (n == nullptr) {
        error = "no node " + std::to_string(to_node);
        return nullptr;
    }
    if (index >= n->inputs.size()) {
        error = node_text(to_node, *n) + " has no input " + std::to_string(index);
        return nullptr;
    }
    return n->inputs[index].get();
}

HostSource *Network::feed_input(int to_node, std::size_t index, const Value &value, std::string &error) {
    HostInput *in = input_at(*this, to_node, index, error);
    if (in == nullptr) return nullptr;
    if (!can_convert(value.type, in->type)) {
        error = std::string("cannot feed a ") + type_name(value.type) + " value to the " + type_name(in->type) +
                " input " + std::to_string(index) + " (" + quoted(in->name) + ")";
        return nullptr;
    }
    return attach_source(*in, value, SampleSource::none);
}

HostSource *Network::feed_sample(int to_node, std::size_t index, SampleSource source, std::string &error) {
    HostInput *in = input_at(*this, to_node, index, error);
    if (in == nullptr) return nullptr;
    Value zero;
    zero.type = sample_source_type(source);
    if (!can_convert(zero.type, in->type)) {
        error = std::string("cannot feed a ") + type_name(zero.type) + " value to the " + type_name(in->type) +
                " input " + std::to_string(index) + " (" + quoted(in->name) + ")";
        return nullptr;
    }
    return attach_source(*in, zero, source);
}

bool Network::disconnect(int to_node, const std::string &input, std::string &error) {
    HostInput *in = find_input(*this, to_node, input, error);
    if (in == nullptr) return false;
    if (!in->connected()) {
        error = "input " + quoted(input) + " of node " + std::to_string(to_node) + " is not connected";
        return false;
    }
    in->from = nullptr;
    in->source.reset();
    copy_fast(*in, false);
    rewired();
    tell(*in, QV_EVENT_DISCONNECT);
    return true;
}

Network::PanelOpening Network::open_panel(int id, std::string &error) const {
    PanelOpening opening;
    HostNode *n = node(id);
    if (n == nullptr) {
        error = "no node " + std::to_string(id);
        return opening;
    }
    QvNodeInterface record{};
    record.inst = n->instance;
    opening.code = activate_interface(*module_, n->server, record, Application::get().config().interface_version);
    if (opening.code < 0) {
        error = "node " + quoted(n->server) + " has no NodeInterface server";
        return opening;
    }
    opening.panel = record.panel;
    return opening;
}

HostNode *Network::copy(int id, std::string &error) {
    HostNode *src = node(id);
    if (src == nullptr) {
        error = "no node " + std::to_string(id);
        return nullptr;
    }
    HostNode *dst = create(src->server, error);
    if (dst == nullptr) return nullptr;
    if (dst->inst.copy != nullptr) dst->inst.copy(dst->instance, src->instance);
    return dst;
}

void Network::render_init(int mode) {
    for (auto &n : nodes_)
        if (n->rend.init != nullptr) n->rend.init(n->instance, mode);
}

void Network::new_time(int32_t frame, double time) {
    Application::get().set_time(frame, time);
    for (auto &n : nodes_)
        if (n->rend.new_time != nullptr) n->rend.new_time(n->instance, frame, time);
}

void Network::render_cleanup() {
    for (auto &n : nodes_)
        if (n->rend.cleanup != nullptr) n->rend.cleanup(n->instance);
}

SampleMemo Network::make_memo(bool reuse, bool in_order, int slots) const {
    std::vector<int> types(static_cast<std::size_t>(shared_->outputs > 0 ? shared_->outputs : 0), 0);
    for (const auto &n : nodes_)
        for (const auto &out : n->outputs)
            if (out->index >= 0 && static_cast<std::size_t>(out->index) < types.size())
                types[static_cast<std::size_t>(out->index)] = out->type;
    std::shared_ptr<const UpstreamOrder> order;
    if (reuse && in_order) {
        const std::lock_guard<std::mutex> lock(order_mutex_);
        // Outputs a node made since are numbered past those of the order.
        if (order_ == nullptr || order_->outputs.size() != types.size())
            order_ = upstream_order(nodes_, shared_->outputs);
        order = order_;
    }
    return SampleMemo(shared_->outputs, reuse, std::move(order), slots, types);
}

bool Network::evaluate(int id, const std::string &output, Value &result, std::string &error, QvSampleAccess *sa) const {
    HostNode *n = node(id);
    if (n == nullptr) {
        error = "no node " + std::to_string(id);
        return false;
    }
    HostOutput *out = n->output(output);
    if (out == nullptr) {
        error = node_text(id, *n) + " has no output " + quoted(output);
        return false;
    }
    HostSample local;
    evaluate_output(*out, sa != nullptr ? sa : &local.access, result);
    return true;
}

}  // namespace refhost
