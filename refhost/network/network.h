// A node network as the application keeps one: node instances created by
// server name, host sources and connections feeding their inputs, the render
// lifecycle, evaluation of any output, and saving and loading the network in
// both scene file forms.  network.cpp holds the nodes, their connections and
// the render lifecycle, render.cpp the render threads (and render.h the
// renderer), network_scene.cpp the saved networks; input_evaluation.h says
// how an input is evaluated, input_key.h how an input is named.
#pragma once

#include "refhost/module_loader.h"
#include "refhost/sanitizers.h"
#include "refhost/scene/scene_io.h"
#include "refhost/services.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace refhost {

// Activates a node's NodeHandler server into `node`'s handler record.
// Returns the activation code; -1 when the module has no such server.
int activate_handler(const Module &module, const std::string &server, HostNode &node, int version);

// Activates a node's NodeInterface server with `record` as the host's
// interface record (its first word, the node instance, set by the caller).
// Returns the activation code; -1 when the module has no such server.
int activate_interface(const Module &module, const std::string &server, QvNodeInterface &record, int version);

// Node names.  A network's name for a node is how "NAME.OUTPUT" reaches it:
// one name per node, at most max_name_bytes bytes, without ".".  A node
// without a name is called "n" and its id.  The same rule holds in every
// form: network files and scene files refuse a name that breaks it when
// read, saving refuses one when written, and the loader takes every name the
// saver writes whole.
constexpr std::size_t max_name_bytes = 1024;
// Why a name breaks the rule, or "" (also for "", no name).
std::string node_name_problem(const std::string &name);
// The name commands call a node by: its name, or "n" and its id.
std::string node_display_name(const HostNode &node);

class Network {
public:
    explicit Network(std::shared_ptr<Module> module);
    ~Network();
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;

    const Module &module() const { return *module_; }
    const std::shared_ptr<Module> &shared_module() const { return module_; }

    // Activates the server and creates an instance; null with a message when
    // the server is unknown, refuses to activate or create fails.
    HostNode *create(const std::string &server, std::string &error);
    HostNode *node(int id) const;
    const std::vector<std::unique_ptr<HostNode>> &nodes() const { return nodes_; }

    // Node ids run from 1 to max_id (an Id block's 32-bit integer); a
    // network holds at most max_nodes nodes.
    static constexpr int32_t max_id = INT32_MAX;
    static constexpr std::size_t max_nodes = std::size_t{1} << 20;

    // The deepest network the host evaluates: a chain of this many nodes,
    // each reading the next.  Evaluation nests one call per level, on a stack
    // sized for it (support/stack_thread.h).
    static constexpr int max_depth = 100000;
    // That stack: max_depth levels of the host's input evaluation and a
    // node's evaluate, about 400 bytes a level on x86-64 Linux, with room for
    // the Windows ABIs' larger frames (and far more under the sanitizers).
#if defined(QV_UNDER_ASAN) || defined(QV_UNDER_TSAN)
    static constexpr std::size_t stack_bytes = std::size_t{max_depth} * 1024 * sizeof(void *);
#else
    static constexpr std::size_t stack_bytes = std::size_t{max_depth} * 192 * sizeof(void *);
#endif

    // When a connection is checked for closing a loop: at once (the editor),
    // or once the whole network is connected, by check_graph (loading a file,
    // whose connections may come in any order).
    enum class LoopCheck { now, later };
    // Connects an output to an input (replacing what fed the input) and tells
    // the node with input event 0.  Refused: unknown nodes or ports, types that
    // do not convert, and (checked now) connections that would close a loop.
    bool connect(int from_node, const std::string &output, int to_node, const std::string &input, std::string &error,
                 LoopCheck check = LoopCheck::now);

    // What check_graph found wrong: the message, and the input whose
    // connection closes a loop or the node that nests too deep.
    struct GraphProblem {
        std::string message;
        const HostInput *input = nullptr;
        const HostNode *node = nullptr;
    };
    // Checks the whole network in one walk, in time linear in its size: no
    // loop (the message names its nodes in the order they feed each other)
    // and no node nesting deeper than max_depth.
    bool check_graph(GraphProblem &problem) const;
    // Feeds an input with a constant from the host, as a connection.
    HostSource *feed(int to_node, const std::string &input, const Value &value, std::string &error);
    // The same for the input made `index`-th (from 0), for nodes whose inputs
    // share a name.
    HostSource *feed_input(int to_node, std::size_t index, const Value &value, std::string &error);
    // Feeds the input made `index`-th with what a sample source reads from
    // each sample.
    HostSource *feed_sample(int to_node, std::size_t index, SampleSource source, std::string &error);
    // Removes what feeds an input and tells the node with input event 1.
    bool disconnect(int to_node, const std::string &input, std::string &error);

    // Opens a node's option panel as the application does: activates the
    // node's NodeInterface server with the configured interface version and a
    // fresh interface record holding the instance.  `code` is the activation
    // result (-1 with a message for an unknown node or server) and `panel`
    // the panel handle the module put in the record (null for none).
    struct PanelOpening {
        int code = -1;
        void *panel = nullptr;
    };
    PanelOpening open_panel(int id, std::string &error) const;

    // A new node of the same server, with the instance copied into it.
    HostNode *copy(int id, std::string &error);

    // Whether the host counts the module's questions of this network's
    // inputs (HostSource::evaluations, HostInput::connected_queries): on
    // for tests, off for renders, which then touch no shared word.
    void set_counting(bool on);
    // Whether an input fed a constant is evaluated by copying the constant,
    // converted to the input's type when it was fed, rather than converting
    // it at every evaluation: off for tests, on for renders.  The values are
    // the same either way.
    void set_constant_copies(bool on);
    // Whether the commands' memos evaluate each output once per sample and
    // hand its value to every input it feeds (on, the default), or evaluate
    // it again for every input, as the application does (off: for
    // comparing).  The values are the same either way.
    void set_reuse(bool on) { shared_->reuses_outputs = on; }
    bool reuses() const { return shared_->reuses_outputs; }
    // A memo for one thread's samples of this network (see SampleMemo),
    // reusing values as the network is set to, or as told; reusing, it
    // evaluates each output's upstream first (UpstreamOrder), or, not in
    // order, each output when an input asks for it.  The values are the same
    // every way.  The memo follows the connections as they are when it is
    // made.  `slots`: the samples of a block (SampleMemo::evaluate_block).
    SampleMemo make_memo() const { return make_memo(shared_->reuses_outputs); }
    SampleMemo make_memo(bool reuse, bool in_order = true, int slots = 1) const;

    void render_init(int mode = 0);
    void new_time(int32_t frame, double time);
    void render_cleanup();

    // Evaluates an output for one sample.  False with a message for an unknown
    // node or output; a node that sets no value gives a Value of type 0.
    bool evaluate(int id, const std::string &output, Value &result, std::string &error,
                  QvSampleAccess *sa = nullptr) const;

    // Render threads.  The application evaluates one network on several
    // threads at once, each with a sample access record of its own, all of
    // them sharing the node instances.  run_threads starts `threads` threads
    // together, hands each its index and its own record (thread index, the
    // current scene time) and waits for all of them; the body may call
    // evaluate with that record.  Nothing else may change the network while
    // they run.
    void run_threads(int threads, const std::function<void(int thread, QvSampleAccess &sa)> &body) const;

    struct Request {
        int node;
        std::string output;
    };
    // Evaluates the requests in order, `samples` times over, on each of
    // `threads` threads at once; result[t] holds what thread t got (samples
    // times requests values; type 0 where nothing was set or the request
    // names no output).
    std::vector<std::vector<Value>> evaluate_parallel(int threads, const std::vector<Request> &requests,
                                                      int samples = 1) const;

    // The network as scene file content.
    bool save(SceneForm form, std::string &content, std::string &error) const;
    // Writes through a temporary file, so a failed save leaves no half file.
    bool save_file(const std::string &path, SceneForm form, std::string &error) const;
    // Replaces this network with the one in the content; on any error the
    // network stays as it was and the message names the source and the item.
    bool load(const std::string &content, const std::string &source_name, std::string &error);
    bool load_file(const std::string &path, std::string &error);

    // A value that differs between this network and a copy of it read back
    // from a file: the node (its id here), the panel control (0 for the
    // constant feeding the input `input`) and the value as the panel shows
    // it (or the constant as text) before and after.
    struct ValueChange {
        int node = 0;
        uint32_t control = 0;
        std::string input;
        std::string before, after;
    };
    // Compares `copy` with this network node by node, in order: every panel
    // value and every constant that feeds an input.
    std::vector<ValueChange> changes_in(const Network &copy) const;
    // What saving `content` (this network in a scene form) changes, found by
    // loading it back: the scene form keeps the module's stored values as
    // 32-bit floats, so 0.1 comes back as 0.10000000149011612, 1e300 as
    // infinity and 2.2250738585072014e-308 as 0.
    bool scene_changes(const std::string &content, std::vector<ValueChange> &changes, std::string &error) const;

private:
    HostNode *create_with_id(const std::string &server, int id, std::string &error);
    // Feeds an input with a value or a sample source, replacing what fed it.
    HostSource *attach_source(HostInput &in, const Value &value, SampleSource sample);
    bool would_loop(const HostNode *from, const HostNode *to) const;
    void swap(Network &other);
    // A node or a connection came or went: the order of evaluation is made
    // again when next asked for.
    void rewired();

    std::shared_ptr<Module> module_;
    std::vector<std::unique_ptr<HostNode>> nodes_;
    std::unordered_map<int, HostNode *> by_id_;
    std::unique_ptr<NetworkShared> shared_ = std::make_unique<NetworkShared>();
    int64_t next_id_ = 1;  // past max_id once the last id is taken
    // The order memos evaluate in, as the network is connected now; made
    // once for all the frames of a render.
    mutable std::mutex order_mutex_;
    mutable std::shared_ptr<const UpstreamOrder> order_;
};

}  // namespace refhost
