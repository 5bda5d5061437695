// The reference host's scene reader, in both forms: a network loaded from
// the input, run once, saved, loaded from what was saved and saved again.
// What a load refuses must be one line naming the file; what a save writes
// must load; a second save must equal the first (the values a scene keeps
// are floats, so the input itself need not come back); a copy of a node
// then takes a new id, or is refused when none is left.
#include "fuzz/fuzz_targets.h"

#include "refhost/application.h"

#include <algorithm>

namespace qvfuzz {

namespace {

constexpr const char *kSource = "fuzz.qvs";

// Loads what a save wrote and saves it again in both forms; a finding when the
// load fails or a second save differs from the first.  The text form writes
// every NaN as "nan", so a save loaded from text is compared in text only.
Finding round_trip(const std::string &text, const std::string &binary) {
    for (const std::string *first : {&text, &binary}) {
        const bool from_text = first == &text;
        const std::string form = from_text ? "text" : "binary";
        refhost::Network again(module());
        std::string error;
        if (!again.load(*first, "saved", error)) return "the " + form + " save does not load: " + error;
        std::string text2, binary2;
        if (Finding f = save(again, refhost::SceneForm::text, text2); !f.empty()) return f;
        if (Finding f = save(again, refhost::SceneForm::binary, binary2); !f.empty()) return f;
        if (text2 != text) return "the " + form + " save loaded and saved again differs in text";
        if (!from_text && binary2 != binary) return "the binary save loaded and saved again differs in binary";
    }
    return {};
}

}  // namespace

Finding fuzz_scene(const uint8_t *data, std::size_t size) {
    fresh_application();
    const std::string content(reinterpret_cast<const char *>(data), size);
    refhost::Network net(module());
    std::string error;
    if (!net.load(content, kSource, error)) {
        if (!one_line_starting(error, std::string(kSource) + ":"))
            return "a refused load says \"" + error + "\", not one line naming the file";
        return {};
    }
    evaluate_everything(net, 12, 0.4);
    std::string text, binary;
    if (Finding f = save(net, refhost::SceneForm::text, text); !f.empty()) return f;
    if (Finding f = save(net, refhost::SceneForm::binary, binary); !f.empty()) return f;
    if (Finding f = round_trip(text, binary); !f.empty()) return f;
    // Ids at the limit: a copy takes an id past every other, or is refused
    // in one line when none is left.
    if (net.nodes().empty()) return {};
    int largest = 0;
    for (const auto &n : net.nodes()) largest = std::max(largest, n->id);
    const refhost::HostNode *copy = net.copy(net.nodes().front()->id, error);
    if (copy == nullptr && !one_line_starting(error, "no node id is left"))
        return "a copy is refused with \"" + error + "\"";
    if (copy != nullptr && copy->id <= largest) return "a copy took id " + std::to_string(copy->id);
    return {};
}

}  // namespace qvfuzz
