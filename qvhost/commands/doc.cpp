// qvhost doc: the node reference, written from the loaded module.  Each
// node is described by creating it as the application would (qvhost/
// node_info.h); only the sentences on what it computes come from our own
// table (qvhost/reference/node_descriptions.h).  One Markdown page per node group, an
// index, and all of it as one HTML page, with the pictures of
// qvhost/reference/reference_pictures.cpp.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/output_files.h"
#include "qvhost/node_info.h"
#include "qvhost/reference/node_descriptions.h"
#include "qvhost/reference/reference.h"
#include "qvhost/version.h"
#include "refhost/application.h"
#include "refhost/draw.h"
#include "refhost/network/network.h"
#include "support/atomic_file.h"
#include "support/escaped_text.h"
#include "support/file_reading.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace qvhost {

namespace {

namespace fs = std::filesystem;

constexpr const char *kHtmlFile = "QV_Math_Node_reference.html";
constexpr const char *kIndexFile = "index.md";
constexpr uint32_t kLastBuild = 4095;  // the largest build number "Product Info" carries

struct Node {
    NodeInfo info;
    const char *description = nullptr;
    int lowest_build = 0;    // the lowest host build before 2018 that offers it; -1 for none
    bool since_2018 = true;  // LightWave 2018 and later offer it
    std::vector<DocPicture> pictures;
};

struct Group {
    std::string path, title, file;
    std::vector<const Node *> nodes;
    std::vector<DocPicture> pictures;
};

std::string lower(const std::string &s) {
    std::string out = s;
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string anchor_of(const NodeInfo &n) { return lower(n.server); }

// "QvTool/Math/Func_T" as the page "math-func_t.md".
std::string page_of_group(const std::string &group) {
    std::string name = group.rfind("QvTool/", 0) == 0 ? group.substr(7) : group;
    if (name == "QvTool") name = "tool";
    for (char &c : name)
        if (c == '/') c = '-';
    return lower(name) + ".md";
}

std::string code(const std::string &text) { return "`" + text + "`"; }

// The lowest build of a host before 2018 whose application lets the node
// activate, found on a copy of the module of its own so that the described
// module's service slots keep what the configured build gave them.
int lowest_build(const refhost::Module &module, const std::string &server) {
    refhost::HostConfig &config = refhost::Application::get().config();
    const refhost::HostConfig configured = config;
    const refhost::HostConfig older;  // a host before 2018 says neither major version nor year
    config.major = older.major;
    config.year = older.year;
    config.handler_version = older.handler_version;
    auto offered = [&](uint32_t build) {
        config.build = build;
        refhost::HostNode probe;
        return refhost::activate_handler(module, server, probe, config.handler_version) == QV_AFUNC_OK;
    };
    int lowest = -1;
    if (offered(kLastBuild)) {
        uint32_t lo = 0, hi = kLastBuild;
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            if (offered(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        lowest = static_cast<int>(lo);
    }
    config = configured;
    return lowest;
}

// Whether the 2020 host lets the node activate, on a copy of the module of
// its own: the module keeps the era it first saw.
bool offered_since_2018(const refhost::Module &module, const std::string &server) {
    refhost::HostConfig &config = refhost::Application::get().config();
    const refhost::HostConfig configured = config;
    config.play_build(refhost::kBuild2020);
    refhost::HostNode probe;
    const bool offered = refhost::activate_handler(module, server, probe, config.handler_version) == QV_AFUNC_OK;
    config = configured;
    return offered;
}

std::string builds_text(int lowest) {
    if (lowest < 0) return "no host build";
    if (lowest == 0) return "every host build";
    return "host build " + std::to_string(lowest) + " or later";
}

// ---- A node's section --------------------------------------------------------------

// A panel control's class in the words of the panel the user sees.
std::string kind_of(const ControlInfo &c) {
    static const std::map<std::string, std::string> kKinds = {
        {"float", "number"},           {"float3", "three numbers"}, {"integer", "whole number"},
        {"percent", "percentage"},     {"iBoolean", "check box"},   {"iChoice", "choice buttons"},
        {"iPopChoice", "pop-up menu"},
    };
    const auto k = kKinds.find(c.cls);
    std::string kind = k != kKinds.end() ? k->second : c.cls;
    if (c.value_type == "percent") kind += ", set in percent: 50 (or \"50%\") is one half";
    return c.hidden ? kind + " (hidden)" : kind;
}

// A control's value as the panel shows it.
std::string shown_value(const ControlInfo &c) {
    if (c.value.empty()) return "—";
    if (!c.choices.empty()) {
        const int index = std::atoi(c.value.c_str());
        return index >= 0 && index < static_cast<int>(c.choices.size()) ? code(c.choices[index]) : c.value;
    }
    if (c.cls == "iBoolean") return c.value == "0" ? "off" : "on";
    if (c.value_type == "percent")
        return refhost::format_value(refhost::Value::scalar(std::atof(c.value.c_str()) * 100)) + "%";
    std::string out;
    for (char ch : c.value) out += ch == ',' ? std::string(", ") : std::string(1, ch);
    return c.value_type == "float3" ? "(" + out + ")" : out;
}

// A control by the one name files, --set and messages use for it.
std::string label_of(const ControlInfo &c) { return c.name; }

std::vector<DocBlock> node_section(const Node &node, uint32_t build) {
    const NodeInfo &n = node.info;
    std::vector<DocBlock> blocks;
    blocks.push_back(heading(2, n.display, anchor_of(n)));
    std::string facts = code(n.server);
    if (n.available) {
        if (n.colour[0] >= 0)
            facts += ", colour (" + std::to_string(n.colour[0]) + ", " + std::to_string(n.colour[1]) + ", " +
                     std::to_string(n.colour[2]) + ")";
        else
            facts += ", the editor's own colour";
    }
    facts += "; offered by " + builds_text(node.lowest_build) +
             (node.since_2018 ? "" : " before LightWave 2018, not by LightWave 2018 and later") + ".";
    blocks.push_back(paragraph(facts));
    if (!n.available)
        blocks.push_back(paragraph("*Not offered by this host (build " + std::to_string(build) +
                                   "):* its activation answers " + std::to_string(n.activation) +
                                   ", so its inputs, outputs and options are not listed here."));
    blocks.push_back(paragraph(node.description));
    for (const DocPicture &p : node.pictures) blocks.push_back(image(p.file, p.caption));
    if (!n.available) return blocks;

    if (!n.inputs.empty()) {
        std::vector<std::vector<std::string>> rows;
        for (const PortInfo &in : n.inputs) {
            const ControlInfo *c = in.control >= 0 ? &n.controls[in.control] : nullptr;
            rows.push_back({in.name, refhost::type_name(in.type), c != nullptr ? shown_value(*c) : "—",
                            c != nullptr ? label_of(*c) : "—"});
        }
        blocks.push_back(table({"Input", "Type", "Unconnected, it takes", "Panel control"}, rows));
    } else {
        blocks.push_back(paragraph("No inputs."));
    }
    if (!n.outputs.empty()) {
        std::vector<std::vector<std::string>> rows;
        for (const PortInfo &out : n.outputs) rows.push_back({out.name, refhost::type_name(out.type)});
        blocks.push_back(table({"Output", "Type"}, rows));
    } else {
        blocks.push_back(paragraph("No outputs."));
    }
    if (!n.controls.empty()) {
        std::vector<std::vector<std::string>> rows;
        for (std::size_t k = 0; k < n.controls.size(); ++k) {
            const ControlInfo &c = n.controls[k];
            std::string choices;
            for (const std::string &choice : c.choices) choices += (choices.empty() ? "" : ", ") + code(choice);
            std::string edits;
            for (const PortInfo &in : n.inputs)
                if (in.control == static_cast<int>(k)) edits += (edits.empty() ? "the default of " : ", ") + in.name;
            std::string saved;
            for (const std::string &b : c.saved_in) saved += (saved.empty() ? "" : ", ") + code(b);
            if (!saved.empty()) edits += (edits.empty() ? "kept as " : "; kept as ") + saved;
            if (edits.empty()) edits = "not kept in a scene";
            rows.push_back({label_of(c), kind_of(c), shown_value(c), choices.empty() ? "—" : choices, edits});
        }
        blocks.push_back(table({"Panel control", "Kind", "On a new node", "Choices", "Edits"}, rows));
    } else {
        blocks.push_back(paragraph("No option panel."));
    }
    std::string kept;
    std::istringstream lines(n.saved_text);
    for (std::string line; std::getline(lines, line);) kept += (kept.empty() ? "" : ", ") + code(line);
    blocks.push_back(paragraph(kept.empty() ? "A scene file keeps nothing of it."
                                            : "A scene file keeps, for a new node: " + kept + "."));
    return blocks;
}

// ---- Pages ---------------------------------------------------------------------------

DocPage group_page(const Group &g, uint32_t build) {
    DocPage page;
    page.file = g.file;
    page.blocks.push_back(heading(1, g.path + ": " + g.title, page_anchor(g.file)));
    std::string nodes;
    for (const Node *n : g.nodes)
        nodes += (nodes.empty() ? "" : ", ") + std::string("[") + n->info.display + "](#" + anchor_of(n->info) + ")";
    page.blocks.push_back(paragraph("[All nodes](" + std::string(kIndexFile) + ") · " + std::to_string(g.nodes.size()) +
                                    (g.nodes.size() == 1 ? " node: " : " nodes: ") + nodes));
    for (const DocPicture &p : g.pictures) page.blocks.push_back(image(p.file, p.caption));
    for (const Node *n : g.nodes)
        for (DocBlock &b : node_section(*n, build)) page.blocks.push_back(std::move(b));
    return page;
}

DocPage index_page(const std::vector<Group> &groups, const std::vector<Node> &nodes, uint32_t build) {
    DocPage page;
    page.file = kIndexFile;
    const std::string title = std::string(kProductName) + " " + kVersion + ": node reference";
    page.blocks.push_back(heading(1, title, page_anchor(kIndexFile)));
    page.blocks.push_back(paragraph(
        std::string(kProductName) + " adds " + std::to_string(nodes.size()) +
        " nodes to the node editor of LightWave 3D; its Add Node menu lists them under `QvTool/...`. This reference "
        "was written by `qvhost doc` from the module itself, as a host of build " +
        std::to_string(build) +
        " sees it: each node's names, group, colour, inputs, outputs, option panel and what a scene file keeps of it "
        "are what the module reports, so they cannot differ from what it does. Only the sentences on what each node "
        "computes, and the captions of the pictures, are written by hand."));
    std::string missing;
    int not_offered = 0;
    for (const Node &n : nodes)
        if (!n.info.available) {
            missing += (missing.empty() ? "" : ", ") + std::string("[") + n.info.display + "](" +
                       page_of_group(n.info.group) + "#" + anchor_of(n.info) + ")";
            ++not_offered;
        }
    if (not_offered > 0)
        page.blocks.push_back(paragraph("A host of build " + std::to_string(build) + " does not offer " +
                                        std::to_string(not_offered) +
                                        " of the nodes, marked *not this host* below: " + missing + "."));
    page.blocks.push_back(heading(2, "Reading the pages", "reading"));
    page.blocks.push_back(list({
        "A connected input takes the value that arrives. An unconnected input takes its stored default, shown under "
        "*Unconnected, it takes* and edited in the node's option panel; an input without one (—) takes what the "
        "node's description says.",
        "Connection types: `scalar` is one number, `integer` a whole number, `vector` three numbers x, y and z, "
        "`color` three numbers r, g and b, `material` a surface's colours and transparency.",
        "Angles travelling on connections are in radians.",
        "A matrix travels as its rows, one vector connection each: `Rgt`, `Up` and `Fwd`, and `Vec` for the "
        "translation of a 4×4 matrix.",
        "*Panel control* gives the name a network file's `panel = { ... }`, `qvhost panel --set` and every message "
        "use for the control: its label; for an unlabelled control (or one whose label several share), the input "
        "whose default it edits, else its slot name (`OPT1` to `OPT3`, `INT1`, `INT2`, `RATIO`). Values are in the "
        "panel's own units: a choice by its text, a check box as true or false, a percentage in percent.",
        "*A scene file keeps* lists the values saved with the scene, in the text form of a scene file, as a new "
        "node saves them; the *Edits* column of the panel says where each control's value is kept.",
        "*Offered by* says which builds of the host offer the node. The plug-in works with every build, asking for "
        "the versions of the host's services that its build has. The 64-bit module serves every 64-bit LightWave, "
        "including 2018 and later, which are 64-bit only; the 32-bit module serves the 32-bit LightWave, up to 2015.",
    }));
    page.blocks.push_back(heading(2, "Node groups", "groups"));
    std::vector<std::vector<std::string>> rows;
    for (const Group &g : groups)
        rows.push_back({"[" + g.path + "](" + g.file + ")", g.title, std::to_string(g.nodes.size())});
    page.blocks.push_back(table({"Group", "What is in it", "Nodes"}, rows));
    page.blocks.push_back(heading(2, "All nodes", "nodes"));
    rows.clear();
    for (const Node &n : nodes) {
        std::string offered = builds_text(n.lowest_build);
        if (!n.info.available) offered += " (not this host)";
        rows.push_back({"[" + n.info.display + "](" + page_of_group(n.info.group) + "#" + anchor_of(n.info) + ")",
                        code(n.info.server), n.info.group, offered});
    }
    page.blocks.push_back(table({"Node", "Server", "Group", "Offered by"}, rows));
    std::string before_2018;
    for (const Node &n : nodes)
        if (!n.since_2018)
            before_2018 += (before_2018.empty() ? "" : ", ") + std::string("[") + n.info.display + "](" +
                           page_of_group(n.info.group) + "#" + anchor_of(n.info) + ")";
    if (!before_2018.empty())
        page.blocks.push_back(paragraph("LightWave 2018 and later offer every node but " + before_2018 +
                                        ": *Offered by* gives the builds before 2018 that offer those."));
    return page;
}

struct DocOptions {
    std::string dir;

    void declare(CLI::App &c) { c.add_option("--out", dir, "the directory to write into")->required(); }
    bool check(std::string &) { return true; }
    bool cheap() const { return false; }
};

// Writes the node reference into `dir`: index.md, a page per node group, the
// whole as QV_Math_Node_reference.html, and the pictures under images/.
int write_reference(const Context &ctx, const DocOptions &o) {
    const std::string &dir = o.dir;
    auto module = ctx.load_module();
    if (!module) return 1;
    std::string error;
    auto probe_module = refhost::Module::load(ctx.module_path, error, true);
    if (!probe_module) return ctx.fail(error);
    auto probe_module_2018 = refhost::Module::load(ctx.module_path, error, true);
    if (!probe_module_2018) return ctx.fail(error);
    const uint32_t build = refhost::Application::get().config().build;

    std::vector<Node> nodes;
    for (const QvServerRecord *r : module->servers()) {
        if (std::string(r->server_class) != "NodeHandler") continue;
        Node n;
        if (!describe_node(module, r->name, n.info, error)) return ctx.fail(error);
        n.description = node_description(r->name);
        if (n.description == nullptr)
            return ctx.fail(std::string(r->name) + ": no description in qvhost/reference/node_descriptions.cpp");
        n.lowest_build = lowest_build(*probe_module, r->name);
        n.since_2018 = offered_since_2018(*probe_module_2018, r->name);
        n.pictures = node_pictures(r->name);
        nodes.push_back(std::move(n));
    }
    std::vector<Group> groups;
    for (const Node &n : nodes) {
        auto g = std::find_if(groups.begin(), groups.end(), [&](const Group &x) { return x.path == n.info.group; });
        if (g == groups.end()) {
            const char *title = group_title(n.info.group.c_str());
            if (title == nullptr)
                return ctx.fail("node group \"" + n.info.group + "\": no title in qvhost/reference/node_descriptions.cpp");
            groups.push_back({n.info.group, title, page_of_group(n.info.group), {}, group_pictures(n.info.group)});
            g = groups.end() - 1;
        }
        g->nodes.push_back(&n);
    }

    std::error_code ec;
    const fs::path images = fs::path(dir) / "images";
    fs::create_directories(images, ec);
    if (ec) return ctx.fail(support::shown_path(dir) + ": cannot make the directory (" + ec.message() + ")");

    // The pictures, where this build draws them; the pages name them either way.
    std::map<std::string, std::string> pictures;
    std::vector<const DocPicture *> all;
    for (const Group &g : groups) {
        for (const DocPicture &p : g.pictures) all.push_back(&p);
        for (const Node *n : g.nodes)
            for (const DocPicture &p : n->pictures) all.push_back(&p);
    }
    if (refhost::have_cairo()) {
        for (const DocPicture *p : all) {
            const std::string path = (images / p->file).string();
            if (!p->draw(module, path, error)) return ctx.fail(shown_path_error(error, path));
            std::string problem;
            if (!support::read_whole_file(path, pictures[p->file], problem))
                return ctx.fail(support::shown_path(path) + ": cannot read the picture back (" + problem + ")");
        }
    } else {
        ctx.err << "qvhost: this build draws no pictures (it was made without cairo): the pages name " << all.size()
                << " pictures that were not written\n";
    }

    std::vector<DocPage> pages = {index_page(groups, nodes, build)};
    for (const Group &g : groups) pages.push_back(group_page(g, build));
    for (const DocPage &page : pages) {
        const std::string path = (fs::path(dir) / page.file).string();
        if (!support::write_file_atomically(path, page_markdown(page), error))
            return ctx.fail(shown_path_error(error, path));
    }
    const std::string html_path = (fs::path(dir) / kHtmlFile).string();
    const std::string title = std::string(kProductName) + " " + kVersion + ": node reference";
    if (!support::write_file_atomically(html_path, reference_html(pages, title, pictures), error))
        return ctx.fail(shown_path_error(error, html_path));
    ctx.out << "wrote " << pages.size() << " pages, " << pictures.size() << " pictures and " << html_path << "\n";
    return 0;
}

}  // namespace

CommandSetup declare_doc(CLI::App &command) { return setup_of<DocOptions>(command, write_reference); }

}  // namespace qvhost
