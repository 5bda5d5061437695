// The node reference: our own tables name exactly the module's nodes and
// groups, the committed reference (docs/reference) is what `qvhost doc`
// writes, and an older host's reference marks the nodes it cannot offer.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/fixtures/node_table_counts.h"

#include "refhost/draw.h"
#include "qvhost/reference/node_descriptions.h"
#include "qvhost/qvhost.h"
#include "qvhost/reference/reference.h"

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

using namespace qvtest;

namespace {

namespace fs = std::filesystem;

// The NodeHandler servers and their node groups, in table order.
std::vector<std::pair<std::string, std::string>> module_nodes() {
    std::vector<std::pair<std::string, std::string>> nodes;
    for (const QvServerRecord *r : shared_module()->servers())
        if (std::string(r->server_class) == "NodeHandler")
            nodes.push_back({r->name, refhost::Module::tag(*r, QV_TAG_NODE_GROUP)});
    return nodes;
}

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The files under a directory, as paths relative to it with "/".
std::set<std::string> files_under(const fs::path &dir) {
    std::set<std::string> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), dir).generic_string());
    return files;
}

int run_qvhost(const std::vector<std::string> &args, std::string *err = nullptr) {
    std::ostringstream out, errors;
    const int code = qvhost::run(args, out, errors, kModuleFile);
    refhost::Application::get().reset_config();
    if (err != nullptr) *err = errors.str();
    return code;
}

// The first line where two texts differ, for the failure message.
std::string first_difference(const std::string &a, const std::string &b) {
    std::istringstream sa(a), sb(b);
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool ea = !std::getline(sa, la), eb = !std::getline(sb, lb);
        if (ea && eb) return "no difference";
        if (ea || eb || la != lb)
            return "line " + std::to_string(line) + ":\n  committed: " + (ea ? "(end)" : la) +
                   "\n  written:   " + (eb ? "(end)" : lb);
    }
}

// The HTML page with its pictures left out: they are compared as PNG files.
std::string without_pictures(const std::string &html) {
    static const std::regex kSource("<img src=\"[^\"]*\"");
    return std::regex_replace(html, kSource, "<img src=\"\"");
}

// Pixels whose channels differ by more than `tolerance`.
int differing_pixels(const refhost::Image &a, const refhost::Image &b, int tolerance) {
    int n = 0;
    for (std::size_t k = 0; k < a.pixels.size(); ++k)
        for (int shift = 0; shift < 24; shift += 8) {
            const int ca = static_cast<int>((a.pixels[k] >> shift) & 0xFF);
            const int cb = static_cast<int>((b.pixels[k] >> shift) & 0xFF);
            if (std::abs(ca - cb) > tolerance) {
                ++n;
                break;
            }
        }
    return n;
}

}  // namespace

TEST(Reference, DescribesEveryNodeOnceAndNoOther) {
    const auto nodes = module_nodes();
    ASSERT_EQ(nodes.size(), kNodes);
    std::map<std::string, int> rows;
    for (std::size_t i = 0; i < qvhost::kNodeDescriptionCount; ++i) {
        const qvhost::NodeDescription &d = qvhost::kNodeDescriptions[i];
        ++rows[d.server];
        EXPECT_NE(d.text[0], '\0') << d.server;
    }
    for (const auto &n : nodes) EXPECT_EQ(rows[n.first], 1) << n.first << ": rows describing it";
    for (const auto &r : rows)
        EXPECT_TRUE(std::any_of(nodes.begin(), nodes.end(), [&](const auto &n) { return n.first == r.first; }))
            << r.first << " is described but is no node of the module";
    EXPECT_EQ(qvhost::kNodeDescriptionCount, nodes.size());
}

TEST(Reference, TitlesEveryGroupAndPicturesOnlyNodesAndGroups) {
    const auto nodes = module_nodes();
    std::set<std::string> servers, groups;
    for (const auto &n : nodes) servers.insert(n.first), groups.insert(n.second);
    std::map<std::string, int> titles;
    for (std::size_t i = 0; i < qvhost::kGroupTitleCount; ++i) ++titles[qvhost::kGroupTitles[i].group];
    for (const std::string &g : groups) EXPECT_EQ(titles[g], 1) << g << ": titles";
    for (const auto &t : titles) EXPECT_EQ(groups.count(t.first), 1u) << t.first << " is titled but is no node group";
    for (const std::string &s : qvhost::pictured_servers()) EXPECT_EQ(servers.count(s), 1u) << s << " is pictured";
    for (const std::string &g : qvhost::pictured_groups()) EXPECT_EQ(groups.count(g), 1u) << g << " is pictured";
}

// Every node of the function groups is drawn as a plot of its output.
TEST(Reference, PlotsEveryNodeOfTheFunctionGroups) {
    const std::set<std::string> plotted = {"QvTool/Math/Func_T", "QvTool/Math/Func_C", "QvTool/Math/Scalar"};
    for (const auto &n : module_nodes()) {
        if (plotted.count(n.second) == 0) continue;
        EXPECT_FALSE(qvhost::node_pictures(n.first).empty())
            << n.first << " (" << n.second << ") has no plot: give it a row of kPlotRows in "
            << "qvhost/reference/reference_pictures.cpp";
    }
}

// The reference committed under docs/reference is what `qvhost doc` writes
// now: the same pages and HTML text and, where this build draws pictures,
// the same pictures within a small tolerance per pixel (fonts may be drawn a
// little differently).  After changing a node or the reference, write it
// afresh with `qvhost doc --out docs/reference`.
TEST(Reference, CommittedReferenceIsWhatDocWrites) {
    const fs::path committed = source_dir() / "docs" / "reference";
    const fs::path written = fs::current_path() / "reference";
    fs::remove_all(written);
    std::string err;
    ASSERT_EQ(run_qvhost({"doc", "--out", written.string()}, &err), 0) << err;
    const char *const kHint =
        "\nthe committed reference differs from what qvhost doc writes now; write it afresh with "
        "`qvhost doc --out docs/reference`";

    const bool pictures = refhost::have_cairo();
    const std::set<std::string> have = files_under(committed), made = files_under(written);
    for (const std::string &f : made) EXPECT_EQ(have.count(f), 1u) << f << " is written but not committed" << kHint;
    for (const std::string &f : have) {
        if (!pictures && f.rfind("images/", 0) == 0) continue;
        EXPECT_EQ(made.count(f), 1u) << f << " is committed but no longer written" << kHint;
    }

    for (const std::string &f : made) {
        if (have.count(f) == 0) continue;
        SCOPED_TRACE(f);
        const std::string a = read_file(committed / f), b = read_file(written / f);
        if (f.size() > 3 && f.compare(f.size() - 3, 3, ".md") == 0) {
            EXPECT_TRUE(a == b) << first_difference(a, b) << kHint;
        } else if (f.size() > 5 && f.compare(f.size() - 5, 5, ".html") == 0) {
            EXPECT_TRUE(without_pictures(a) == without_pictures(b))
                << first_difference(without_pictures(a), without_pictures(b)) << kHint;
        } else if (f.size() > 4 && f.compare(f.size() - 4, 4, ".png") == 0) {
            refhost::Image ia, ib;
            std::string error;
            ASSERT_TRUE(refhost::read_png((committed / f).string(), ia, error)) << error;
            ASSERT_TRUE(refhost::read_png((written / f).string(), ib, error)) << error;
            ASSERT_EQ(ia.width, ib.width) << kHint;
            ASSERT_EQ(ia.height, ib.height) << kHint;
            // Differences of a few levels anywhere, and of more at a few text edges.
            const int off = differing_pixels(ia, ib, 24);
            EXPECT_LE(off, ia.width * ia.height / 200) << off << " pixels differ" << kHint;
        }
    }
}

// A host of build 1164 cannot offer the two material nodes: the reference
// says so where they are listed, and of no other node.
TEST(Reference, OlderHostMarksTheNodesItCannotOffer) {
    const TempDir temp;
    const fs::path dir = temp.path();
    std::string err;
    ASSERT_EQ(run_qvhost({"--build", "1164", "doc", "--out", dir.string()}, &err), 0) << err;
    const std::string marker = "*Not offered by this host (build 1164):*";
    std::map<std::string, int> marked;
    for (const std::string &page : files_under(dir)) {
        if (page.size() < 3 || page.compare(page.size() - 3, 3, ".md") != 0) continue;
        const std::string text = read_file(dir / page);
        // Each node's section starts at its anchor.
        std::size_t at = text.find("<a id=\"qv");
        while (at != std::string::npos) {
            const std::size_t next = text.find("<a id=\"qv", at + 1);
            const std::string section = text.substr(at, next == std::string::npos ? std::string::npos : next - at);
            const std::string id = section.substr(7, section.find('"', 7) - 7);
            if (section.find(marker) != std::string::npos) ++marked[id];
            at = next;
        }
    }
    EXPECT_EQ(marked, (std::map<std::string, int>{{"qvc_mtl", 1}, {"qvt_spmtl", 1}}));
    const std::string index = read_file(dir / "index.md");
    EXPECT_NE(index.find("| `QvT_SPMTL` | QvTool/Tool/Conv | host build 1165 or later (not this host) |"),
              std::string::npos);
    EXPECT_NE(index.find("| `QvC_MTL` | QvTool/Tool/Cache | host build 1165 or later (not this host) |"),
              std::string::npos);
    EXPECT_NE(index.find("A host of build 1164 does not offer 2 of the nodes"), std::string::npos);
    fs::remove_all(dir);
}

TEST(Reference, VersionIsTheProjectVersion) {
    std::ostringstream out, err;
    EXPECT_EQ(qvhost::run({"--version"}, out, err, kModuleFile), 0) << err.str();
    EXPECT_EQ(out.str(), std::string("qvhost ") + QV_PROJECT_VERSION + " (QV Math Node)\n");
}
