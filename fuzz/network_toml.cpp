// The network file reader: a TOML network read from the input.  Every
// problem must be one line naming the file and a line; a network read without
// problems is run once, and its scene save must load and save again the same.
#include "fuzz/fuzz_targets.h"

#include "refhost/application.h"
#include "qvhost/network_toml.h"

#include <cctype>

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

}  // namespace

Finding fuzz_network_toml(const uint8_t *data, std::size_t size) {
    fresh_application();
    const std::string text(reinterpret_cast<const char *>(data), size);
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
