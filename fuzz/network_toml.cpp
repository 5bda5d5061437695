// The network file reader: a TOML network read from the input.  Every
// problem must be one line naming the file and a line; a network read without
// problems is run once, and its scene save must load and save again the same.
// Whatever the nesting scan lets through must nest no deeper than its limit
// once parsed.
#include "fuzz/fuzz_targets.h"

#include "refhost/application.h"
#include "qvhost/network_toml.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>
#include <vector>

namespace qvfuzz {

namespace {

constexpr const char *kSource = "fuzz.toml";

// "fuzz.toml:LINE: ..." on one line.
bool names_file_and_line(const std::string &problem) {
    const std::string prefix = std::string(kSource) + ":";
    if (!one_line_starting(problem, prefix)) return false;
    std::size_t i = prefix.size();
    while (i < problem.size() && std::isdigit(static_cast<unsigned char>(problem[i]))) ++i;
    return i > prefix.size() && problem.compare(i, 2, ": ") == 0;
}

// How deep the parser's tree of a text nests (the root table 0, each value
// one deeper than what holds it), walked without recursion; -1 when the
// parser refuses the text.
int parsed_depth(const std::string &text) {
    toml::table root;
    try {
        root = toml::parse(std::string_view(text), std::string_view(kSource));
    } catch (const toml::parse_error &) {
        return -1;
    }
    int deepest = 0;
    std::vector<std::pair<const toml::node *, int>> stack{{&root, 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, depth);
        if (const toml::table *t = node->as_table())
            for (const auto &[key, value] : *t) stack.emplace_back(&value, depth + 1);
        if (const toml::array *a = node->as_array())
            for (const toml::node &value : *a) stack.emplace_back(&value, depth + 1);
    }
    return deepest;
}

}  // namespace

Finding fuzz_network_toml(const uint8_t *data, std::size_t size) {
    fresh_application();
    const std::string text(reinterpret_cast<const char *>(data), size);
    // The scan that guards the parser lets nothing deeper than its limit through.
    if (qvhost::toml_nesting_too_deep(text) == 0) {
        const int depth = parsed_depth(text);
        if (depth > static_cast<int>(qvhost::kMaxTomlNesting))
            return "the nesting scan let through a text " + std::to_string(depth) + " levels deep";
    }
    qvhost::NetworkFile file;
    std::vector<std::string> problems;
    const bool ok = qvhost::read_network_toml(text, kSource, module(), file, problems);
    for (const std::string &p : problems)
        if (!names_file_and_line(p)) return "a problem reads \"" + p + "\", not one line naming the file and line";
    if (!ok) {
        if (problems.empty()) return "the network was refused without a problem";
        return {};
    }
    if (!problems.empty()) return "the network was read despite " + std::to_string(problems.size()) + " problems";
    evaluate_everything(*file.network, 7, 0.25);
    std::string saved, again;
    if (Finding f = save(*file.network, refhost::SceneForm::text, saved); !f.empty()) return f;
    refhost::Network loaded(module());
    std::string error;
    if (!loaded.load(saved, "saved", error)) return "the network's scene save does not load: " + error;
    if (Finding f = save(loaded, refhost::SceneForm::text, again); !f.empty()) return f;
    if (again != saved) return "the network's scene save loaded and saved again differs";
    return {};
}

}  // namespace qvfuzz
