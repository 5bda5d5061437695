#include "bench/bench_host.h"

#include "refhost/module_loader.h"
#include "refhost/noise.h"
#include "refhost/scene/scene_io.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

namespace {

using refhost::kModuleFile;

constexpr uint32_t kBuild = 3000;  // newer than every service version
constexpr int kHandlerVersion = 2;

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "qv_bench: minimal host: %s\n", what.c_str());
    std::exit(1);
}

int type_bytes(int type) {
    switch (type) {
    case QV_TYPE_SCALAR: return 8;
    case QV_TYPE_INTEGER: return 4;
    case QV_TYPE_COLOR:
    case QV_TYPE_VECTOR: return 24;
    case QV_TYPE_MATERIAL: return static_cast<int>(sizeof(QvMaterialValue));
    default: return 0;
    }
}

// The copy of a value of one of the connection types' sizes.
inline void copy_value(int bytes, void *dst, const void *src) {
    switch (bytes) {
    case 8: std::memcpy(dst, src, 8); break;
    case 24: std::memcpy(dst, src, 24); break;
    case 4: std::memcpy(dst, src, 4); break;
    default: std::memcpy(dst, src, static_cast<std::size_t>(bytes)); break;
    }
}

// ---- The services ---------------------------------------------------------------

void set_color(QvNodeId, const int32_t *) {}
void set_mode(QvNodeId, int) {}

QvInputId create_input(QvNodeId id, int type, const char *name, QvInputEventFunc event) {
    auto *n = static_cast<Node *>(id);
    if (n->input_count == kMaxPorts) fail(n->server + " makes more inputs than a node can have");
    Port &p = n->inputs[n->input_count];
    p.node = n;
    p.name = name != nullptr ? name : "";
    p.type = type;
    p.bytes = type_bytes(type);
    p.index = n->input_count++;
    p.event = event;
    return &p;
}

QvOutputId create_output(QvNodeId id, int type, const char *name) {
    auto *n = static_cast<Node *>(id);
    if (n->output_count == kMaxPorts) fail(n->server + " makes more outputs than a node can have");
    Port &p = n->outputs[n->output_count];
    p.node = n;
    p.name = name != nullptr ? name : "";
    p.type = type;
    p.bytes = type_bytes(type);
    p.index = n->output_count++;
    return &p;
}

void destroy_port(QvNodeId, void *) {}

// The whole of the input path: the sample's thread holds a value for every
// input; hand it back.
void evaluate_input(QvInputId input, QvSampleAccess *sa, void *result) {
    const auto *in = static_cast<const Port *>(input);
    const auto *values = static_cast<const SampleValues *>(sa->host_data);
    copy_value(in->bytes, result, values->value[in->index]);
}

int input_connected(QvInputId input) { return static_cast<const Port *>(input)->connected ? 1 : 0; }

void set_value(QvNodeValue handle, const void *value) {
    auto *r = static_cast<Result *>(handle);
    copy_value(r->bytes, r->data, value);
}

void instance_update(const char *, void *) {}

const QvNodeFuncs kNodeFuncs = {nullptr, nullptr, nullptr, set_color, nullptr, set_mode};
const QvNodeInputFuncs kInputFuncs = {create_input, destroy_port, evaluate_input, input_connected};
const QvNodeOutputFuncs kOutputFuncs = {create_output, destroy_port, set_value};

QvSceneInfo make_scene() {
    QvSceneInfo s{};
    s.name = "bench";
    s.filename = "";
    s.frames_per_second = 24.0;
    return s;
}
QvSceneInfo g_scene = make_scene();
QvTimeInfo g_time{0.5, 12};

void *global(const char *service, int) {
    if (service == nullptr) return nullptr;
    const std::string name = service;
    auto value = [](uint32_t v) { return reinterpret_cast<void *>(static_cast<uintptr_t>(v)); };
    for (const QvServiceName &row : qv_service_names) {
        if (name != row.name) continue;
        switch (row.service) {
        case QV_SERVICE_PRODUCT_INFO: return value(kBuild << 4 | 1);
        case QV_SERVICE_SYSTEM_ID: return value(0);
        case QV_SERVICE_NODE_FUNCS: return const_cast<QvNodeFuncs *>(&kNodeFuncs);
        case QV_SERVICE_INPUT_FUNCS: return const_cast<QvNodeInputFuncs *>(&kInputFuncs);
        case QV_SERVICE_OUTPUT_FUNCS: return const_cast<QvNodeOutputFuncs *>(&kOutputFuncs);
        case QV_SERVICE_INSTANCE_UPDATE: return reinterpret_cast<void *>(&instance_update);
        case QV_SERVICE_SCENE_INFO: return &g_scene;
        case QV_SERVICE_TIME_INFO: return &g_time;
        case QV_SERVICE_TEXTURE_FUNCS: return const_cast<QvTextureFuncs *>(&refhost::texture_funcs());
        default: return nullptr;  // no drawing and no panels: the benchmark makes no viewer and opens no panel
        }
    }
    return nullptr;
}

}  // namespace

struct Host::Loaded {
    std::shared_ptr<refhost::Module> module;
};

Host::Host() : loaded_(std::make_shared<Loaded>()) {
    std::string error;
    loaded_->module = refhost::Module::load(kModuleFile, error, true);
    if (!loaded_->module) fail(error);
}

Host &Host::get() {
    static Host host;
    return host;
}

Node::~Node() {
    if (instance != nullptr && inst.destroy != nullptr) inst.destroy(instance);
}

Port *Node::input(const std::string &name) {
    for (int i = 0; i < input_count; ++i)
        if (inputs[i].name == name) return &inputs[i];
    return nullptr;
}

Port *Node::output(const std::string &name) {
    for (int i = 0; i < output_count; ++i)
        if (outputs[i].name == name) return &outputs[i];
    return nullptr;
}

std::unique_ptr<Node> Host::create(const std::string &server) {
    const QvServerRecord *record = loaded_->module->find("NodeHandler", server);
    if (record == nullptr) fail("no node " + server);
    auto node = std::make_unique<Node>();
    node->server = server;
    node->handler.inst = &node->inst;
    node->handler.rend = &node->rend;
    const int rc = record->activate(kHandlerVersion, global, &node->handler, nullptr);
    if (rc != QV_AFUNC_OK || node->inst.create == nullptr || node->handler.evaluate == nullptr)
        fail(server + " does not activate (" + std::to_string(rc) + ")");
    QvError err = nullptr;
    node->instance = node->inst.create(node->inst.priv, node.get(), &err);
    if (node->instance == nullptr) fail(server + ": create failed");
    return node;
}

void Host::connect(Node &node, Port &input) {
    input.connected = true;
    if (input.event != nullptr) input.event(node.instance, &input, QV_EVENT_CONNECT, input.type);
}

void Host::load(Node &node, const std::string &text) {
    refhost::SceneReader reader(refhost::SceneForm::text, text, node.server);
    if (!reader.ok()) fail(node.server + ": " + reader.error());
    node.inst.load(node.instance, reader.state());
    if (!reader.ok()) fail(node.server + ": " + reader.error());
}

const QvNodeInputFuncs *Host::input_funcs() const { return &kInputFuncs; }
const QvNodeOutputFuncs *Host::output_funcs() const { return &kOutputFuncs; }
const QvSceneInfo *Host::scene() const { return &g_scene; }
const QvTextureFuncs *Host::texture_funcs() const { return &refhost::texture_funcs(); }

QvSampleAccess Host::sample(SampleValues &values) {
    QvSampleAccess sa{};
    sa.time = g_time.time;
    sa.host_data = &values;
    return sa;
}

}  // namespace bench
