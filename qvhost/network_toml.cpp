#include "qvhost/network_toml.h"

#include "refhost/network/input_evaluation.h"
#include "refhost/network/input_key.h"
#include "refhost/panel/xpanel.h"
#include "refhost/scene/scene_io.h"
#include "support/escaped_text.h"
#include "support/file_reading.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>

namespace qvhost {

namespace {

using refhost::HostNode;
using refhost::Network;
using refhost::Value;

// The panel's control names and the ids they stand for.
const struct {
    const char *name;
    uint32_t id;
} kControlNames[] = {
    {"VAL1", 0x8001}, {"VAL2", 0x8002}, {"VAL3", 0x8003}, {"VAL4", 0x8004}, {"VAL5", 0x8005}, {"VAL6", 0x8006},
    {"OPT1", 0x8010}, {"OPT2", 0x8011}, {"OPT3", 0x8012}, {"INT1", 0x8013}, {"INT2", 0x8014}, {"RATIO", 0x8015},
};

int line_of(const toml::node &n) { return static_cast<int>(n.source().begin.line); }

std::string list_of(const std::vector<std::string> &names) {
    std::string s;
    for (const std::string &n : names) s += (s.empty() ? "" : ", ") + n;
    return s.empty() ? "none" : s;
}

// The inputs' keys, "Name#k" for the k-th of several sharing a name.
std::vector<std::string> input_names(const HostNode &n) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < n.inputs.size(); ++i) names.push_back(refhost::input_key(n, i));
    return names;
}

std::vector<std::string> output_names(const HostNode &n) {
    std::vector<std::string> names;
    for (const auto &out : n.outputs) names.push_back(out->name);
    return names;
}

// A TOML value as the text a panel control parses.
bool panel_text(const toml::node &v, std::string &text) {
    if (auto b = v.as_boolean()) {
        text = b->get() ? "on" : "off";
    } else if (auto i = v.as_integer()) {
        text = std::to_string(i->get());
    } else if (auto f = v.as_floating_point()) {
        text = refhost::format_value(Value::scalar(f->get()));
    } else if (auto s = v.as_string()) {
        text = s->get();
    } else if (auto a = v.as_array()) {
        if (a->size() != 3) return false;
        text.clear();
        for (std::size_t k = 0; k < 3; ++k) {
            const toml::node &e = *a->get(k);
            double d;
            if (auto fi = e.as_integer())
                d = static_cast<double>(fi->get());
            else if (auto ff = e.as_floating_point())
                d = ff->get();
            else
                return false;
            text += (k ? "," : "") + refhost::format_value(Value::scalar(d));
        }
    } else {
        return false;
    }
    return true;
}

class Reader {
public:
    Reader(std::string source, const std::shared_ptr<refhost::Module> &module, std::vector<std::string> &problems)
        : source_(support::shown_path(source)), problems_(problems) {
        file_.source = source_;
        file_.network = std::make_unique<Network>(module);
        file_.network->set_counting(false);
        file_.network->set_constant_copies(true);
    }

    bool read(const std::string &text) {
        toml::table root;
        try {
            root = toml::parse(text, source_);
        } catch (const toml::parse_error &e) {
            problem(static_cast<int>(e.source().begin.line), "", support::shown_message(std::string(e.description())));
            return false;
        }
        const toml::table *nodes = nullptr;
        for (const auto &[key, value] : root) {
            const std::string k(key.str());
            if (k == "node" && value.is_table()) {
                nodes = value.as_table();
            } else {
                problem(line_of(value), "",
                        support::shown_quoted(k) + " is not part of a network (a network is [node.NAME] tables)");
            }
        }
        if (nodes == nullptr || nodes->empty()) {
            if (problems_.empty()) problem(1, "", "no nodes (a network is [node.NAME] tables)");
            return false;
        }
        // The nodes in the order of the file.
        std::vector<std::pair<std::string, const toml::table *>> order;
        for (const auto &[key, value] : *nodes) {
            const std::string name(key.str());
            if (!value.is_table()) {
                problem(line_of(value), name, "is not a table ([node." + support::shown(name) + "])");
                continue;
            }
            order.emplace_back(name, value.as_table());
        }
        std::stable_sort(order.begin(), order.end(),
                         [](const auto &a, const auto &b) { return line_of(*a.second) < line_of(*b.second); });
        for (const auto &[name, table] : order)
            if (!interrupted()) create(name, *table);
        for (const auto &[name, table] : order)
            if (!interrupted()) set_panel(name, *table);
        for (const auto &[name, table] : order)
            if (!interrupted()) connect_inputs(name, *table);
        if (interrupted()) return false;
        Network::GraphProblem graph;
        if (!file_.network->check_graph(graph)) {
            const auto wired = wired_lines_.find(graph.input);
            const NetworkFile::Node *n = file_.find(graph.node->id);
            problem(wired != wired_lines_.end() ? wired->second : n->line, n->name, graph.message);
        }
        return problems_.empty();
    }

    NetworkFile take() { return std::move(file_); }

private:
    void problem(int line, const std::string &node, const std::string &what) {
        std::string p = source_ + ":" + std::to_string(line) + ": ";
        if (!node.empty()) p += "node " + support::shown_quoted(node) + ": ";
        problems_.push_back(p + what);
    }

    // Whether Ctrl-C stopped the reading, said once as a problem.
    bool interrupted() {
        if (!refhost::cancel_requested()) return false;
        if (problems_.empty() || problems_.back() != source_ + ": interrupted") problems_.push_back(source_ + ": interrupted");
        return true;
    }

    HostNode *node_named(const std::string &name) {
        const NetworkFile::Node *n = file_.find(name);
        return n != nullptr ? file_.network->node(n->id) : nullptr;
    }

    void create(const std::string &name, const toml::table &table) {
        const int line = line_of(table);
        if (!valid_node_name(name)) {
            problem(line, name, "a node name has only letters, digits and \"_\"");
            return;
        }
        const toml::node *server = table.get("server");
        if (server == nullptr || !server->is_string()) {
            problem(server != nullptr ? line_of(*server) : line, name,
                    "needs server = \"SERVER\" (the node's server name, e.g. \"QvMs_SIN\")");
            return;
        }
        std::string error;
        HostNode *n = file_.network->create(server->as_string()->get(), error);
        if (n == nullptr) {
            problem(line_of(*server), name, support::shown_message(error, server->as_string()->get()));
            return;
        }
        n->name = name;
        file_.add({name, n->id, line});
    }

    // The panel's control for a key: by control name, by label, or by the
    // name of the input that an unlabelled value control edits.
    const refhost::PanelControl *control_for(const refhost::Panel &panel, const HostNode &n, const std::string &key,
                                             std::string &error) {
        for (const auto &c : kControlNames)
            if (key == c.name) {
                if (const refhost::PanelControl *control = panel.control(c.id)) return control;
            }
        std::string why;
        if (const refhost::PanelControl *control = panel.find(key, why)) return control;
        const int index = refhost::input_index(n, key);
        if (index >= 0) {
            const refhost::PanelControl *control = panel.control(0x8001 + static_cast<uint32_t>(index));
            if (control != nullptr && control->label.empty()) return control;
        }
        error = support::shown_message(why, key);
        return nullptr;
    }

    void set_panel(const std::string &name, const toml::table &table) {
        const toml::node *panel_node = table.get("panel");
        HostNode *n = node_named(name);
        if (panel_node == nullptr || n == nullptr) return;
        const toml::table *settings = panel_node->as_table();
        if (settings == nullptr) {
            problem(line_of(*panel_node), name, "panel is a table of control = value");
            return;
        }
        std::string error;
        const Network::PanelOpening opening = file_.network->open_panel(n->id, error);
        refhost::Panel *panel = opening.panel != nullptr ? refhost::panel_of(opening.panel) : nullptr;
        if (panel == nullptr) {
            problem(line_of(*panel_node), name, n->server + " has no option panel");
            return;
        }
        for (const auto &[key, value] : *settings) {
            const std::string k(key.str());
            const refhost::PanelControl *control = control_for(*panel, *n, k, error);
            if (control == nullptr) {
                problem(line_of(value), name, "panel: " + error);
                continue;
            }
            std::string text;
            if (!panel_text(value, text)) {
                problem(line_of(value), name,
                        "panel: " + support::shown_quoted(k) + " takes a number, a boolean, a string or three numbers");
                continue;
            }
            if (!panel->edit(control->id, text, error))
                problem(line_of(value), name, "panel: " + support::shown_message(error, text));
        }
    }

    void connect_inputs(const std::string &name, const toml::table &table) {
        HostNode *n = node_named(name);
        if (n == nullptr) return;
        for (const auto &[key, value] : table) {
            const std::string k(key.str());
            if (k == "server" || k == "panel") continue;
            const int line = line_of(value);
            const int index = refhost::input_index(*n, k);
            if (index < 0) {
                problem(line, name,
                        "input " + support::shown_quoted(k) + " is not an input of " + n->server +
                            " (inputs: " + list_of(input_names(*n)) + ")");
                continue;
            }
            std::string error;
            if (!feed(*n, static_cast<std::size_t>(index), k, value, error)) problem(line, name, error);
        }
    }

    bool feed(HostNode &n, std::size_t index, const std::string &key, const toml::node &value, std::string &error) {
        Network &net = *file_.network;
        const std::string what = "input " + support::shown_quoted(key) + ": ";
        Value v;
        if (auto b = value.as_boolean()) {
            v = Value::integer(b->get() ? 1 : 0);
        } else if (auto i = value.as_integer()) {
            const int64_t x = i->get();
            if (x < INT32_MIN || x > INT32_MAX)
                v = Value::scalar(static_cast<double>(x));
            else
                v = Value::integer(static_cast<int32_t>(x));
            if (n.inputs[index]->type != QV_TYPE_INTEGER) v = Value::scalar(static_cast<double>(x));
        } else if (auto f = value.as_floating_point()) {
            v = Value::scalar(f->get());
        } else if (auto a = value.as_array()) {
            std::string text;
            if (a->size() != 3 || !panel_text(value, text) || !refhost::parse_value(QV_TYPE_VECTOR, text, v, error)) {
                error = what + "an array gives a vector: three numbers";
                return false;
            }
        } else if (auto s = value.as_string()) {
            const std::string text = s->get();
            if (!text.empty() && text[0] == '@') {
                const refhost::SampleSource source = refhost::sample_source_from_name(text);
                if (source == refhost::SampleSource::none) {
                    error = what + support::shown_quoted(text) +
                            " is not a sample source (@u, @v, @x, @y, @position, @time, @frame)";
                    return false;
                }
                if (net.feed_sample(n.id, index, source, error) == nullptr) {
                    error = what + support::shown_message(error, key);
                    return false;
                }
                return true;
            }
            OutputRef from;
            if (!resolve_output(file_, text, from, error)) {
                error = what + error;
                return false;
            }
            if (!net.connect(from.node, from.output->name, n.id, key, error, Network::LoopCheck::later)) {
                error = what + support::shown_message(error, key);
                return false;
            }
            wired_lines_[n.inputs[index].get()] = line_of(value);
            return true;
        } else {
            error = what + "takes a number, an integer, three numbers, \"NODE.OUTPUT\" or a sample source";
            return false;
        }
        if (net.feed_input(n.id, index, v, error) == nullptr) {
            error = what + support::shown_message(error, key);
            return false;
        }
        return true;
    }

    std::string source_;
    std::vector<std::string> &problems_;
    NetworkFile file_;
    std::unordered_map<const refhost::HostInput *, int> wired_lines_;  // where the file wires each input
};

}  // namespace

bool valid_node_name(const std::string &name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

void NetworkFile::add(Node node) {
    by_name_.emplace(node.name, nodes.size());
    by_id_.emplace(node.id, nodes.size());
    nodes.push_back(std::move(node));
}

const NetworkFile::Node *NetworkFile::find(const std::string &name) const {
    const auto found = by_name_.find(name);
    return found != by_name_.end() ? &nodes[found->second] : nullptr;
}

const NetworkFile::Node *NetworkFile::find(int id) const {
    const auto found = by_id_.find(id);
    return found != by_id_.end() ? &nodes[found->second] : nullptr;
}

std::string NetworkFile::name_of(int id) const {
    const Node *n = find(id);
    return n != nullptr ? n->name : "n" + std::to_string(id);
}

bool resolve_output(const NetworkFile &file, const std::string &text, OutputRef &out, std::string &error) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) {
        error = support::shown_quoted(text) + " is not NODE.OUTPUT (nor a sample source such as @u)";
        return false;
    }
    const std::string name = text.substr(0, dot), output = text.substr(dot + 1);
    const NetworkFile::Node *node = file.find(name);
    if (node == nullptr) {
        std::vector<std::string> names;
        for (const NetworkFile::Node &n : file.nodes) names.push_back(n.name);
        error = "no node " + support::shown_quoted(name) + " (nodes: " + list_of(names) + ")";
        return false;
    }
    const HostNode *n = file.network->node(node->id);
    const refhost::HostOutput *o = n != nullptr ? n->output(output) : nullptr;
    if (o == nullptr) {
        error = support::shown_quoted(text) + ": " + (n != nullptr ? n->server : "?") + " has no output " +
                support::shown_quoted(output) + " (outputs: " + (n != nullptr ? list_of(output_names(*n)) : "none") +
                ")";
        return false;
    }
    out.text = text;
    out.node = node->id;
    out.output = o;
    out.net = file.network.get();
    return true;
}

bool read_network_toml(const std::string &text, const std::string &source,
                       const std::shared_ptr<refhost::Module> &module, NetworkFile &out,
                       std::vector<std::string> &problems) {
    const std::size_t before = problems.size();
    std::vector<std::string> found;
    Reader reader(source, module, found);
    const bool ok = reader.read(text) && found.empty();
    problems.insert(problems.end(), found.begin(), found.end());
    if (ok && problems.size() == before) out = reader.take();
    return ok;
}

bool is_scene_content(const std::string &content, const std::string &path) {
    if (support::file_extension(path) == ".toml") return false;
    if (refhost::detect_scene_form(content) == refhost::SceneForm::binary) return !content.empty();
    // Text: a scene file's first line is a block ("Version 1", "{ Node"); a
    // TOML file's is a table, a key = value or a comment.
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t b = line.find_first_not_of(" \t\r\xEF\xBB\xBF");
        if (b == std::string::npos) continue;
        const char c = line[b];
        if (c == '#' || c == '[' || line.find('=') != std::string::npos) return false;
        return true;
    }
    return false;
}

std::string control_key(const refhost::Panel &panel, const refhost::PanelControl &control, const HostNode &node) {
    std::string why;
    bool named = false;
    for (const auto &c : kControlNames) named = named || control.label == c.name;
    if (!control.label.empty() && !named && panel.find(control.label, why) == &control) return control.label;
    // As control_for finds an unlabelled value control: by its input's key.
    const uint32_t input = control.id - 0x8001;
    if (control.label.empty() && input < node.inputs.size()) {
        const std::string key = refhost::input_key(node, input);
        if (refhost::input_index(node, key) == static_cast<int>(input) && panel.find(key, why) == nullptr) return key;
    }
    for (const auto &c : kControlNames)
        if (c.id == control.id) return c.name;
    char id[16];
    std::snprintf(id, sizeof id, "0x%X", static_cast<unsigned>(control.id));
    return id;
}

bool read_network_file(const std::string &path, const std::shared_ptr<refhost::Module> &module, NetworkFile &out,
                       std::vector<std::string> &problems) {
    // "-" is standard input, named so in messages.
    const bool from_input = path == kStandardInput;
    const std::string name = network_file_name(path);
    std::string content, error;
    if (!(from_input ? support::read_whole_stream(std::cin, content, error)
                     : support::read_whole_file(path, content, error))) {
        problems.push_back(support::shown_path(name) + ": " + error);
        return false;
    }
    if (!is_scene_content(content, name)) return read_network_toml(content, name, module, out, problems);
    NetworkFile file;
    file.source = support::shown_path(name);
    file.network = std::make_unique<Network>(module);
    file.network->set_counting(false);
    file.network->set_constant_copies(true);
    if (!file.network->load(content, name, error)) {
        problems.push_back(support::shown_message(error, name));
        return false;
    }
    for (const auto &n : file.network->nodes())
        file.add({n->name.empty() ? "n" + std::to_string(n->id) : n->name, n->id, 0});
    out = std::move(file);
    return true;
}

}  // namespace qvhost
