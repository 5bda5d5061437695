// The fuzz targets: each takes one input of any bytes, drives the module and
// the reference host with it as the application would, and says what did not
// hold.  A crash, a sanitizer report or a finding is a fault.  The libFuzzer
// entry points (entry.cpp) and the replay test (tests/fuzz/test_fuzz_replay.cpp)
// both call these functions, so that every file of fuzz/regressions/ and
// fuzz/corpus/ runs in every configuration, without clang.
#pragma once

#include "refhost/network/network.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qvfuzz {

// What an input showed: empty when everything held, else a one-line account
// of what did not.
using Finding = std::string;

struct Target {
    const char *name;  // also the folder of its corpus and regressions
    Finding (*run)(const uint8_t *data, std::size_t size);
};

// scene: the reference host's scene reader, text and binary forms (scene.cpp).
Finding fuzz_scene(const uint8_t *data, std::size_t size);
// node_load: every node's load callback fed block streams (node_load.cpp).
Finding fuzz_node_load(const uint8_t *data, std::size_t size);
// network_toml: the network file reader (network_toml.cpp).
Finding fuzz_network_toml(const uint8_t *data, std::size_t size);
// command_line: qvhost's command line (command_line.cpp).
Finding fuzz_command_line(const uint8_t *data, std::size_t size);
// panels: the option panel accessors (panels.cpp).
Finding fuzz_panels(const uint8_t *data, std::size_t size);

constexpr Target kTargets[] = {
    {"scene", fuzz_scene},
    {"node_load", fuzz_node_load},
    {"network_toml", fuzz_network_toml},
    {"command_line", fuzz_command_line},
    {"panels", fuzz_panels},
};

// ---- What the targets share (support.cpp) --------------------------------------

// The module file the targets load; the first call of module() loads it.
void set_module_path(const std::string &path);
const std::string &module_path();
std::shared_ptr<refhost::Module> module();

// The application as a fresh process has it: the host's configuration reset,
// and the logs of service requests, instance updates and toolkit calls empty
// (a fuzzer runs millions of inputs in one process).
void fresh_application();

// The servers of the module's NodeHandler records, in table order.
const std::vector<std::string> &node_servers();

// Runs a network as a render does once: render init, a new time, every output
// of every node evaluated once, each viewer's preview drawn small, cleanup.
void evaluate_everything(refhost::Network &net, int32_t frame, double time);

// The network saved in a form; a finding when the save reports a problem.
Finding save(const refhost::Network &net, refhost::SceneForm form, std::string &content);

// Whether a message is one line that starts with `prefix`.
bool one_line_starting(const std::string &message, const std::string &prefix);

// Takes bytes from the front of an input; past its end every read gives 0.
class Bytes {
public:
    Bytes(const uint8_t *data, std::size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ == end_; }
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
    uint8_t byte() { return p_ != end_ ? *p_++ : 0; }
    uint32_t word() {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = w << 8 | byte();
        return w;
    }
    // Up to n bytes as they are; fewer at the end.
    std::string take(std::size_t n) {
        const std::size_t k = n < left() ? n : left();
        std::string s(reinterpret_cast<const char *>(p_), k);
        p_ += k;
        return s;
    }

private:
    const uint8_t *p_, *end_;
};

}  // namespace qvfuzz
