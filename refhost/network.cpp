#include "refhost/network.h"

#include "refhost/application.h"
#include "refhost/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace refhost {

int activate_handler(const Module &module, const std::string &server, HostNode &node, int version) {
    const QvServerRecord *record = module.find("NodeHandler", server);
    if (record == nullptr) return -1;
    node.handler = QvNodeHandler{};
    node.inst = QvInstanceFuncs{};
    node.rend = QvRenderFuncs{};
    node.handler.inst = &node.inst;
    node.handler.rend = &node.rend;
    return record->activate(version, Application::get().global_function(), &node.handler, nullptr);
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
    std::swap(next_id_, other.next_id_);
}

HostNode *Network::create_with_id(const std::string &server, int id, std::string &error) {
    auto node = std::make_unique<HostNode>();
    node->id = id;
    node->server = server;
    const int rc = activate_handler(*module_, server, *node, Application::get().config().handler_version);
    if (rc < 0) {
        error = "unknown node \"" + server + "\"";
        return nullptr;
    }
    if (rc != QV_AFUNC_OK) {
        error = "node \"" + server + "\" is not available (activation result " + std::to_string(rc) + ")";
        return nullptr;
    }
    if (node->inst.create == nullptr) {
        error = "node \"" + server + "\" installed no create";
        return nullptr;
    }
    QvError err = nullptr;
    node->instance = node->inst.create(node->inst.priv, node.get(), &err);
    if (node->instance == nullptr) {
        error = "node \"" + server + "\": create failed (" + (err != nullptr ? err : "no message") + ")";
        return nullptr;
    }
    nodes_.push_back(std::move(node));
    next_id_ = std::max(next_id_, id + 1);
    return nodes_.back().get();
}

HostNode *Network::create(const std::string &server, std::string &error) {
    return create_with_id(server, next_id_, error);
}

HostNode *Network::node(int id) const {
    for (const auto &n : nodes_)
        if (n->id == id) return n.get();
    return nullptr;
}

static HostInput *find_input(const Network &net, int id, const std::string &name, std::string &error) {
    HostNode *n = net.node(id);
    if (n == nullptr) {
        error = "no node " + std::to_string(id);
        return nullptr;
    }
    HostInput *in = n->input(name);
    if (in == nullptr) error = "node " + std::to_string(id) + " (" + n->server + ") has no input \"" + name + "\"";
    return in;
}

bool Network::would_loop(const HostNode *from, const HostNode *to) const {
    // A loop closes when `to` already feeds `from`, directly or through others.
    std::vector<const HostNode *> stack{from};
    std::vector<const HostNode *> seen;
    while (!stack.empty()) {
        const HostNode *n = stack.back();
        stack.pop_back();
        if (n == to) return true;
        if (std::find(seen.begin(), seen.end(), n) != seen.end()) continue;
        seen.push_back(n);
        for (const auto &in : n->inputs)
            if (in->from != nullptr) stack.push_back(in->from->node);
    }
    return false;
}

static void tell(HostInput &in, int event) {
    if (in.event != nullptr) in.event(in.node->instance, &in, event, in.type);
}

bool Network::connect(int from_node, const std::string &output, int to_node, const std::string &input,
                      std::string &error) {
    HostNode *from = node(from_node);
    if (from == nullptr) {
        error = "no node " + std::to_string(from_node);
        return false;
    }
    HostOutput *out = from->output(output);
    if (out == nullptr) {
        error = "node " + std::to_string(from_node) + " (" + from->server + ") has no output \"" + output + "\"";
        return false;
    }
    HostInput *in = find_input(*this, to_node, input, error);
    if (in == nullptr) return false;
    if (!can_convert(out->type, in->type)) {
        error = std::string("cannot connect a ") + type_name(out->type) + " output to a " + type_name(in->type) +
                " input (" + std::to_string(from_node) + " \"" + output + "\" to " + std::to_string(to_node) +
                " \"" + input + "\")";
        return false;
    }
    if (would_loop(from, in->node)) {
        error = "connecting node " + std::to_string(from_node) + " to node " + std::to_string(to_node) +
                " would close a loop";
        return false;
    }
    if (in->connected()) {
        in->from = nullptr;
        in->source.reset();
        tell(*in, QV_EVENT_DISCONNECT);
    }
    in->from = out;
    tell(*in, QV_EVENT_CONNECT);
    return true;
}

HostSource *Network::feed(int to_node, const std::string &input, const Value &value, std::string &error) {
    HostInput *in = find_input(*this, to_node, input, error);
    if (in == nullptr) return nullptr;
    if (!can_convert(value.type, in->type)) {
        error = std::string("cannot feed a ") + type_name(value.type) + " value to the " + type_name(in->type) +
                " input \"" + input + "\"";
        return nullptr;
    }
    if (in->connected()) {
        in->from = nullptr;
        in->source.reset();
        tell(*in, QV_EVENT_DISCONNECT);
    }
    in->source = std::make_unique<HostSource>();
    in->source->value = value;
    tell(*in, QV_EVENT_CONNECT);
    return in->source.get();
}

HostSource *Network::feed_input(int to_node, std::size_t index, const Value &value, std::string &error) {
    HostNode *n = node(to_node);
    if (n == nullptr) {
        error = "no node " + std::to_string(to_node);
        return nullptr;
    }
    if (index >= n->inputs.size()) {
        error = "node " + std::to_string(to_node) + " (" + n->server + ") has no input " + std::to_string(index);
        return nullptr;
    }
    HostInput &in = *n->inputs[index];
    if (!can_convert(value.type, in.type)) {
        error = std::string("cannot feed a ") + type_name(value.type) + " value to the " + type_name(in.type) +
                " input " + std::to_string(index) + " (\"" + in.name + "\")";
        return nullptr;
    }
    if (in.connected()) {
        in.from = nullptr;
        in.source.reset();
        tell(in, QV_EVENT_DISCONNECT);
    }
    in.source = std::make_unique<HostSource>();
    in.source->value = value;
    tell(in, QV_EVENT_CONNECT);
    return in.source.get();
}

bool Network::disconnect(int to_node, const std::string &input, std::string &error) {
    HostInput *in = find_input(*this, to_node, input, error);
    if (in == nullptr) return false;
    if (!in->connected()) {
        error = "input \"" + input + "\" of node " + std::to_string(to_node) + " is not connected";
        return false;
    }
    in->from = nullptr;
    in->source.reset();
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
        error = "node \"" + n->server + "\" has no NodeInterface server";
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

bool Network::evaluate(int id, const std::string &output, Value &result, std::string &error,
                       QvSampleAccess *sa) const {
    HostNode *n = node(id);
    if (n == nullptr) {
        error = "no node " + std::to_string(id);
        return false;
    }
    HostOutput *out = n->output(output);
    if (out == nullptr) {
        error = "node " + std::to_string(id) + " (" + n->server + ") has no output \"" + output + "\"";
        return false;
    }
    QvSampleAccess local{};
    evaluate_output(*out, sa != nullptr ? sa : &local, result);
    return true;
}

void Network::run_threads(int threads, const std::function<void(int, QvSampleAccess &)> &body) const {
    if (threads <= 0) return;
    const double time = Application::get().time_info().time;
    std::atomic<int> arrived{0};
    auto worker = [&](int t) {
        QvSampleAccess sa{};
        sa.thread = t;
        sa.time = time;
        // Start together, so that the threads meet on the same instances.
        arrived.fetch_add(1, std::memory_order_acq_rel);
        while (arrived.load(std::memory_order_acquire) < threads) std::this_thread::yield();
        body(t, sa);
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) pool.emplace_back(worker, t);
    for (std::thread &th : pool) th.join();
}

std::vector<std::vector<Value>> Network::evaluate_parallel(int threads, const std::vector<Request> &requests,
                                                           int samples) const {
    std::vector<std::vector<Value>> results(static_cast<std::size_t>(threads > 0 ? threads : 0));
    for (auto &r : results) r.resize(requests.size() * static_cast<std::size_t>(samples > 0 ? samples : 0));
    // Outputs are looked up before the threads start; each thread writes only
    // its own result list.
    std::vector<const HostOutput *> outputs;
    for (const Request &q : requests) {
        const HostNode *n = node(q.node);
        outputs.push_back(n != nullptr ? n->output(q.output) : nullptr);
    }
    run_threads(threads, [&](int t, QvSampleAccess &sa) {
        std::vector<Value> &mine = results[static_cast<std::size_t>(t)];
        std::size_t k = 0;
        for (int s = 0; s < samples; ++s) {
            for (const HostOutput *out : outputs) {
                if (out != nullptr) evaluate_output(*out, &sa, mine[k]);
                ++k;
            }
        }
    });
    return results;
}

// ---- Saved networks --------------------------------------------------------
//
// A saved network is a sequence of top-level blocks; an older file may lack
// any of them:
//   Version  one integer, 1
//   Node     Id (integer), Server (string), Data (the module's own blocks)
//   Feed     To (node integer, input string), Value (type integer, then one
//            integer or the doubles of the type)
//   Connect  From (node integer, output string), To (node integer, input string)
// Nodes come before the feeds and connections that name them.

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
};

const QvBlockIdent kTopIdents[] = {{kVersion, "Version"}, {kNode, "Node"}, {kFeed, "Feed"}, {kConnect, "Connect"}, {0, nullptr}};
const QvBlockIdent kNodeIdents[] = {{kId, "Id"}, {kServer, "Server"}, {kData, "Data"}, {0, nullptr}};
const QvBlockIdent kFeedIdents[] = {{kTo, "To"}, {kValue, "Value"}, {0, nullptr}};
const QvBlockIdent kConnectIdents[] = {{kFrom, "From"}, {kTo, "To"}, {0, nullptr}};

const QvBlockIdent *ident(const QvBlockIdent *table, uint32_t id) {
    for (; table->id != 0; ++table)
        if (table->id == id) return table;
    return nullptr;
}

struct Writer {
    const QvSaveState *ss;
    void begin(const QvBlockIdent *table, uint32_t id, bool leaf) { ss->begin_block(ss->context, ident(table, id), leaf ? 1 : 0); }
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
    bool str(std::string &s) {
        char buf[256] = {};
        if (ls->read_str(ls->context, buf, sizeof buf) != 1) return false;
        s = buf;
        return true;
    }
    uint32_t find(const QvBlockIdent *table) { return ls->find_block(ls->context, table); }
    void end() { ls->end_block(ls->context); }
};

}  // namespace

bool Network::save(SceneForm form, std::string &content, std::string &error) const {
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
        w.begin(kNodeIdents, kData, false);
        if (n->inst.save != nullptr) n->inst.save(n->instance, w.ss);
        w.end();
        w.end();
    }
    for (const auto &n : nodes_) {
        for (const auto &in : n->inputs) {
            if (in->source) {
                w.begin(kTopIdents, kFeed, false);
                w.port(kFeedIdents, kTo, n->id, in->name);
                const Value &v = in->source->value;
                w.begin(kFeedIdents, kValue, true);
                w.i4(v.type);
                if (v.type == QV_TYPE_INTEGER)
                    w.i4(v.as_integer());
                else
                    w.ss->write_dp(w.ss->context, v.doubles(), static_cast<int>(type_size(v.type) / sizeof(double)));
                w.end();
                w.end();
            } else if (in->from != nullptr) {
                w.begin(kTopIdents, kConnect, false);
                w.port(kConnectIdents, kFrom, in->from->node->id, in->from->name);
                w.port(kConnectIdents, kTo, n->id, in->name);
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
    auto fail = [&](const std::string &what) {
        error = reader.ok() ? source_name + ": " + what : reader.error();
        return false;
    };
    while (uint32_t top = r.find(kTopIdents)) {
        if (top == kVersion) {
            int32_t version = 0;
            if (!r.i4(version)) return fail("Version holds no number");
            if (version != kNetworkVersion) return fail("unsupported network version " + std::to_string(version));
        } else if (top == kNode) {
            int32_t id = 0;
            std::string server;
            HostNode *made = nullptr;
            while (uint32_t b = r.find(kNodeIdents)) {
                if (b == kId && !r.i4(id)) return fail("a node's Id holds no number");
                if (b == kServer && !r.str(server)) return fail("node " + std::to_string(id) + ": Server holds no name");
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
                if (fresh.create_with_id(server, id, why) == nullptr) return fail("node " + std::to_string(id) + ": " + why);
            }
        } else if (top == kFeed) {
            int32_t to = 0;
            std::string input;
            Value v;
            bool has_value = false;
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
                r.end();
            }
            if (!has_value) return fail("a Feed lacks its Value");
            std::string why;
            if (fresh.feed(to, input, v, why) == nullptr) return fail(why);
        } else if (top == kConnect) {
            int32_t from = 0, to = 0;
            std::string output, input;
            while (uint32_t b = r.find(kConnectIdents)) {
                if (b == kFrom && !(r.i4(from) && r.str(output))) return fail("a Connect's From is incomplete");
                if (b == kTo && !(r.i4(to) && r.str(input))) return fail("a Connect's To is incomplete");
                r.end();
            }
            std::string why;
            if (!fresh.connect(from, output, to, input, why)) return fail(why);
        }
        r.end();
    }
    if (!reader.ok()) {
        error = reader.error();
        return false;
    }
    swap(fresh);
    return true;
}

bool Network::load_file(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the file";
        return false;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    return load(buf.str(), path, error);
}

}  // namespace refhost
