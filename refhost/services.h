// The host side of a node: its inputs, outputs and the services through which
// the module makes and reads them.
#pragma once

#include "host/host_api.h"
#include "refhost/value.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace refhost {

struct HostNode;

struct HostOutput {
    HostNode *node;
    int type;
    std::string name;
};

// A constant value the host feeds into an input, counting how often the
// module asks for it.
struct HostSource {
    Value value;
    std::atomic<long> evaluations{0};
};

struct HostInput {
    HostInput(HostNode *n, int t, std::string nm, QvInputEventFunc ev)
        : node(n), type(t), name(std::move(nm)), event(ev) {}
    HostNode *node;
    int type;
    std::string name;
    QvInputEventFunc event;
    HostOutput *from = nullptr;           // connected to another node's output
    std::unique_ptr<HostSource> source;   // or fed by the host
    mutable std::atomic<int> connected_queries{0};  // times the module asked whether connected
    bool connected() const { return from != nullptr || source != nullptr; }
};

struct HostNode {
    int id = 0;
    std::string server;
    QvInstanceFuncs inst{};
    QvRenderFuncs rend{};
    QvNodeHandler handler{};
    void *instance = nullptr;
    int32_t colour[3] = {-1, -1, -1};
    int mode = -1;
    std::vector<std::string> calls;  // node service calls in order: "colour", "mode"
    std::vector<std::string> ports_made;  // "in " or "out " and the name, in the order the module made them
    bool wrote_past_record = false;  // activation wrote past the end of the host's handler record
    std::vector<std::unique_ptr<HostInput>> inputs;
    std::vector<std::unique_ptr<HostOutput>> outputs;

    HostInput *input(const std::string &name) const;
    HostOutput *output(const std::string &name) const;
};

// The value handle the host hands to evaluate.
struct HostValueSlot {
    int type;
    Value *value;
};

const QvNodeFuncs &node_funcs();
const QvNodeInputFuncs &input_funcs();
const QvNodeOutputFuncs &output_funcs();

// Evaluates an output for one sample; false when the node set no value.
bool evaluate_output(const HostOutput &out, QvSampleAccess *sa, Value &result);

}  // namespace refhost
