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

// The sample access record the reference host hands to evaluate: the host's
// record (its uv, position and time fields), then the pixel centre and the
// frame.  The module passes it on unread; the sample sources read it.
struct HostSample {
    QvSampleAccess access{};
    double pixel[2] = {0.0, 0.0};
    int32_t frame = 0;

    static HostSample at(double u, double v, double x, double y, double time, int32_t frame, int32_t thread = 0);
};
static_assert(sizeof(HostSample) <= QV_SAMPLE_ACCESS_MAX_BYTES, "a viewer's sample block holds the host's record");

// What the host feeds into an input: a constant value, or what a sample
// source reads from each sample.  Counts how often the module asks for it.
struct HostSource {
    Value value;
    SampleSource sample = SampleSource::none;
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
    std::string name;  // the network's name for the node, "" for none
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

    // The input of this name; "Name#k" is the k-th input named "Name".
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
