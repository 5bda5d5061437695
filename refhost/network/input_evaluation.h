// Evaluating a node's inputs for the module: the host's answer when the
// module asks for the value of one of its inputs for a sample.  A wired input
// gives its upstream output's value (once per sample where the sample's
// record carries a memo), a fed input the host's constant or what its sample
// source reads, an input fed nothing the zero of its type; every value is
// converted to the input's type.
#pragma once

#include "host/host_api.h"
#include "refhost/services.h"

#include <atomic>
#include <memory>
#include <vector>

namespace refhost {

// The flag that stops long work (Ctrl-C): once it is set, loading a network
// fails with "interrupted" and every wired input gives the zero of its type
// at once, so that an evaluation under way returns quickly; whoever set the
// flag throws away what that evaluation gave.  Null (the default): never.
void set_cancel_flag(const std::atomic<bool> *flag);
bool cancel_requested();

// The input's value for the sample `sa`, written to `result` in the input's
// type.  The host's entry of the module's input services.
void host_evaluate_input(QvInputId input, QvSampleAccess *sa, void *result);

// The order in which a memo evaluates a sample (SampleMemo): an output asked
// for is evaluated after the outputs upstream of it, deepest first, so that
// every node finds its inputs' values in the memo and no evaluation nests
// inside another, whatever the depth of the network.  Evaluated in order:
//   - every node with no cache upstream of it, itself not a cache.  Such a
//     node's value depends on the sample and the scene time alone, so that
//     evaluating it ahead, even for an input that is then not read, changes
//     no value.  A cache (the QvC_ family) keeps the value of the first
//     sample that evaluates it in a time step: a cache, and every node
//     downstream of one, is evaluated when asked, as without an order, and
//     refreshes from the very sample it would have;
//   - of those nodes' wired inputs, all but a viewer's (read with the
//     viewer's own sample block) and the routed inputs of the switches and
//     vector logic nodes, which read one of them per sample: what feeds the
//     others would be evaluated for nothing.  Those are evaluated when asked.
// Outputs are numbered as the memo numbers them; `first` has one more entry
// than `outputs`.
struct UpstreamOrder {
    std::vector<const HostOutput *> outputs;  // by index
    std::vector<uint8_t> in_order;            // by index: evaluated after its upstream
    std::vector<int> first;                   // by index: where its upstream begins in `upstream`
    std::vector<int> upstream;                // the indices of the outputs its node reads first
    // By index: the cache lines evaluating the output reads, as far as they
    // fit (the output, its node's record, the first four lines of its
    // instance, its node's first inputs), which a memo fetches ahead of
    // their turn; null past the last.  What feeds the inputs is not among
    // them: it was evaluated just before, and is in the cache.
    struct Records {
        const void *at[10];
    };
    std::vector<Records> records;
};

// The order of a network's nodes as they are connected now, of its `outputs`
// numbered outputs.
std::shared_ptr<const UpstreamOrder> upstream_order(const std::vector<std::unique_ptr<HostNode>> &nodes, int outputs);

}  // namespace refhost
