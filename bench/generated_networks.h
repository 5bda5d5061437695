// Networks generated as text, as large as a test or a benchmark needs: a
// chain of sines in TOML (listed from either end) or as a scene, and a
// ladder of adders in TOML.  The benchmarks and the tests share them.
#pragma once

#include <string>

namespace qvgen {

// A chain of `count` sine nodes, n0 reading @u and each next one the one
// before, as TOML listed from the first node or from the last.
inline std::string toml_chain(int count, bool backwards) {
    std::string text;
    for (int k = 0; k < count; ++k) {
        const int i = backwards ? count - 1 - k : k;
        text += "[node.n" + std::to_string(i) + "]\nserver = \"QvMs_SIN\"\n";
        text += i == 0 ? "In = \"@u\"\n" : "In = \"n" + std::to_string(i - 1) + ".Out\"\n";
    }
    return text;
}

// The same chain as a text scene: nodes 1 to count, connections in chain order.
inline std::string scene_chain(int count) {
    std::string text = "Version 1\n";
    for (int i = 1; i <= count; ++i) text += "{ Node\n  Id " + std::to_string(i) + "\n  Server \"QvMs_SIN\"\n}\n";
    for (int i = 2; i <= count; ++i)
        text += "{ Connect\n  From " + std::to_string(i - 1) + " \"Out\"\n  To " + std::to_string(i) + " \"In\"\n}\n";
    return text;
}

// A ladder of `depth` + 1 adders: n0 adds @u to itself and each next one
// reads the one before twice.  Evaluated again for every reader, its last
// node costs 2^(depth + 1) - 1 evaluations.
inline std::string ladder(int depth) {
    std::string text = "[node.n0]\nserver = \"QvMs_ADD\"\nIn1 = \"@u\"\nIn2 = \"@u\"\n";
    for (int i = 1; i <= depth; ++i) {
        const std::string before = "\"n" + std::to_string(i - 1) + ".Out\"";
        text += "[node.n" + std::to_string(i) + "]\nserver = \"QvMs_ADD\"\nIn1 = " + before + "\nIn2 = " + before + "\n";
    }
    return text;
}

}  // namespace qvgen
