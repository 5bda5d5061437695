// A minimal in-process host for measuring what the module adds to a node's
// mathematics.  Its services do no more than the application must: creating
// ports numbers them, evaluating an input hands back the value that the
// sample's thread holds for that input, and setting an output copies the
// result.  It loads its own copy of the module, so that the module's service
// slots hold these services and not the reference host's.
#pragma once

#include "host/host_api.h"

#include <memory>
#include <string>
#include <vector>

namespace bench {

constexpr int kMaxPorts = 8;       // a node has at most seven inputs and seven outputs
constexpr int kValueDoubles = 16;  // room for any connection value, a material included

struct Node;

struct Port {
    Node *node = nullptr;
    std::string name;
    int type = 0;
    int bytes = 0;  // the size of a value of the type
    int index = 0;  // inputs: the place of the value in a thread's sample values
    QvInputEventFunc event = nullptr;
    bool connected = false;
};

// What one thread hands out for a sample: a value for each input.  The
// sample access record's host_data points to it.
struct SampleValues {
    alignas(16) double value[kMaxPorts][kValueDoubles] = {};
};

// The value handle handed to evaluate: set output value copies into it.
struct Result {
    int bytes = 0;
    alignas(16) unsigned char data[kValueDoubles * sizeof(double)] = {};
};

struct Node {
    std::string server;
    QvInstanceFuncs inst{};
    QvRenderFuncs rend{};
    QvNodeHandler handler{};
    void *instance = nullptr;
    Port inputs[kMaxPorts];
    Port outputs[kMaxPorts];
    int input_count = 0, output_count = 0;

    Node() = default;
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;
    ~Node();

    Port *input(const std::string &name);
    Port *output(const std::string &name);
    void evaluate(QvSampleAccess *sa, Port *out, Result *result) { handler.evaluate(instance, sa, out, result); }
};

class Host {
public:
    // The process's one minimal host; exits with a message if the module
    // does not load.
    static Host &get();

    // Activates and creates a node; exits with a message on failure.
    std::unique_ptr<Node> create(const std::string &server);
    // Tells the node that the input is connected (input event 0).
    void connect(Node &node, Port &input);
    // Hands the node a saved block text (reference host text form: "val0 0.5").
    void load(Node &node, const std::string &text);

    const QvNodeInputFuncs *input_funcs() const;
    const QvNodeOutputFuncs *output_funcs() const;
    // The scene information and the texture functions the module is given.
    const QvSceneInfo *scene() const;
    const QvTextureFuncs *texture_funcs() const;

    // A sample record whose host_data points to `values`.
    static QvSampleAccess sample(SampleValues &values);

private:
    Host();
    struct Loaded;
    std::shared_ptr<Loaded> loaded_;
};

}  // namespace bench
