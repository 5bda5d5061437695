#include "qvhost/network_toml.h"

#include "qvhost/node_info.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/input_key.h"
#include "refhost/panel/xpanel.h"
#include "refhost/scene/scene_io.h"
#include "support/escaped_text.h"
#include "support/file_reading.h"

#include <toml++/toml.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string_view>

namespace qvhost {

namespace {

using refhost::HostNode;
using refhost::Network;
using refhost::Value;


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
    Reader(std::string source, const std::shared_ptr<refhost::Module> &module, bool lenient,
           std::vector<std::string> &problems)
        : source_(support::shown_path(source)), module_(module), lenient_(lenient), problems_(problems) {
        file_.source = source_;
        file_.network = std::make_unique<Network>(module);
        file_.network->set_counting(false);
        file_.network->set_constant_copies(true);
    }

    // Reads the file; every problem goes to `problems`, in the order of the
    // file's lines, whichever pass found it.
    bool read(const std::string &text) {
        read_nodes(text);
        return flush();
    }

    NetworkFile take() { return std::move(file_); }

private:
    bool read_nodes(const std::string &text) {
        if (const std::size_t line = toml_nesting_too_deep(text)) {
            problem(static_cast<int>(line), "",
                    "nested more than " + std::to_string(kMaxTomlNesting) +
                        " levels deep (each part of a table header or dotted key, each array and inline table is "
                        "a level)");
            return false;
        }
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
            if (found_.empty()) problem(1, "", "no nodes (a network is [node.NAME] tables)");
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
            problem(wired != wired_lines_.end() ? wired->second : n->line, n->name, graph_advice(graph));
        }
        return found_.empty();
    }

public:
    // A network already read, to set one key of one node as its file would.
    Reader(NetworkFile &&file, std::string where, bool lenient, std::vector<std::string> &problems)
        : source_(file.source), module_(file.network->shared_module()), lenient_(lenient), problems_(problems),
          file_(std::move(file)), where_(std::move(where)) {}

    bool set(const std::string &name, const std::string &key, const toml::node &value) {
        HostNode *n = node_named(name);
        if (n == nullptr) {
            std::vector<std::string> names, shown_names;
            for (const NetworkFile::Node &node : file_.nodes) {
                names.push_back(node.name);
                shown_names.push_back(support::shown(node.name));
            }
            problem(0, "", "no node " + support::shown_quoted(name) + " (nodes: " + list_of(shown_names) + ")" +
                               did_you_mean(name, names));
            return flush();
        }
        toml::table table;
        if (refhost::input_index(*n, key) >= 0) {
            table.insert(key, value);
            connect_inputs(name, table);
        } else {
            toml::table panel;
            panel.insert(key, value);
            table.insert("panel", panel);
            set_panel(name, table);
        }
        Network::GraphProblem graph;
        if (found_.empty() && !file_.network->check_graph(graph)) problem(0, name, graph_advice(graph));
        return flush();
    }

private:
    // Moves what was found to `problems`, in the order of the file's lines.
    bool flush() {
        std::stable_sort(found_.begin(), found_.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &p : found_) problems_.push_back(std::move(p.second));
        found_.clear();
        return problems_.empty();
    }

    void problem(int line, const std::string &node, const std::string &what) {
        std::string p = where_.empty() ? source_ + ":" + std::to_string(line) + ": " : where_ + ": ";
        if (!node.empty()) p += "node " + support::shown_quoted(node) + ": ";
        found_.emplace_back(line, p + what);
    }

    // A loop's or a depth's message, with what to do about it.
    static std::string graph_advice(const Network::GraphProblem &graph) {
        if (graph.input == nullptr) return graph.message;
        return graph.message + "; a node cannot read its own output: remove one of these connections";
    }

    // Whether Ctrl-C stopped the reading, said once as a problem.
    bool interrupted() {
        if (!refhost::cancel_requested()) return false;
        const std::string said = source_ + ": interrupted";
        if (found_.empty() || found_.back().second != said) found_.emplace_back(INT_MAX, said);
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
        if (const std::string why = refhost::node_name_problem(name); !why.empty()) {
            problem(line, name, why);
            return;
        }
        const toml::node *server = table.get("server");
        if (server == nullptr || !server->is_string()) {
            problem(server != nullptr ? line_of(*server) : line, name,
                    "needs server = \"SERVER\" (the node's server name, e.g. \"QvMs_SIN\")");
            return;
        }
        std::string error;
        const std::string server_name = server->as_string()->get();
        HostNode *n = file_.network->create(server_name, error);
        if (n == nullptr) {
            problem(line_of(*server), name,
                    support::shown_message(unavailable_node(module_, server_name, error), server_name));
            return;
        }
        n->name = name;
        file_.add({name, n->id, line});
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
            const refhost::PanelControl *control = find_control(*panel, *n, k, error);
            if (control == nullptr) {
                problem(line_of(value), name, "panel: " + support::shown_message(error));
                continue;
            }
            std::string text;
            if (!panel_text(value, text)) {
                problem(line_of(value), name,
                        "panel: " + support::shown_quoted(k) + " takes a number, a boolean, a string or three numbers");
                continue;
            }
            if (!set_control(*panel, *n, *control, text, error))
                problem(line_of(value), name, "panel: " + support::shown_message(error));
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
                            " (inputs: " + list_of(input_names(*n)) + ")" + did_you_mean(k, input_names(*n)));
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
            if (!lenient_ && !holds(*n.inputs[index], static_cast<double>(x), error)) {
                error = what + error;
                return false;
            }
        } else if (auto f = value.as_floating_point()) {
            v = Value::scalar(f->get());
            if (!lenient_ && !holds(*n.inputs[index], f->get(), error)) {
                error = what + error;
                return false;
            }
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
                            " is not a sample source (@u, @v, @x, @y, @position, @time, @frame)" +
                            did_you_mean(text, sample_source_names());
                    return false;
                }
                if (net.feed_sample(n.id, index, source, error) == nullptr) {
                    error = what + support::shown_message(error, key);
                    return false;
                }
                return true;
            }
            Value number;
            std::string not_number;
            if (refhost::parse_value(QV_TYPE_SCALAR, text, number, not_number)) {
                error = what + support::shown_quoted(text) + " is text, not a number: write " + key + " = " +
                        support::shown(text) + " for a constant, or \"NODE.OUTPUT\" to wire an output";
                return false;
            }
            OutputRef from;
            if (!resolve_output(file_, text, from, error)) {
                error = what + error;
                return false;
            }
            const refhost::HostInput &in = *n.inputs[index];
            if (!refhost::can_convert(from.output->type, in.type)) {
                error = what + "cannot connect a " + refhost::type_name(from.output->type) + " output to a " +
                        refhost::type_name(in.type) + " input (" + support::shown_quoted(text) + " to " +
                        support::shown_quoted(n.name + "." + key) + ")";
                const std::string between = conversion_node(module_, from.output->type, in.type);
                if (!between.empty()) error += ": put a " + between + " node between them";
                return false;
            }
            if (!net.connect(from.node, from.output->name, n.id, key, error, Network::LoopCheck::later)) {
                error = what + support::shown_message(error, key);
                return false;
            }
            wired_lines_[&in] = line_of(value);
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

    // Whether an integer input holds a constant as given: a whole number in
    // its range, and 0 or 1 for a switch's condition ("Bool"); false with
    // what to write instead.
    static bool holds(const refhost::HostInput &in, double x, std::string &error) {
        if (in.type != QV_TYPE_INTEGER) return true;
        const std::string given = refhost::format_value(Value::scalar(x));
        if (in.name == "Bool" && x != 0 && x != 1) {
            error = given + " is not 0 or 1 (false or true); write one of those, or give --lenient to have it cut";
            return false;
        }
        if (!(x >= INT32_MIN && x <= INT32_MAX) || x != std::trunc(x)) {
            int32_t read = 0;
            refhost::convert_value(Value::scalar(x), QV_TYPE_INTEGER, &read);
            error = given + " is not a whole number in the integer input's range (the host would read " +
                    std::to_string(read) + "); write a whole number, or give --lenient to have it cut";
            return false;
        }
        return true;
    }

    static std::vector<std::string> sample_source_names() {
        std::vector<std::string> names;
        for (int s = 1; s <= static_cast<int>(refhost::SampleSource::frame); ++s)
            names.push_back(refhost::sample_source_name(static_cast<refhost::SampleSource>(s)));
        return names;
    }

    std::string source_;
    std::shared_ptr<refhost::Module> module_;
    bool lenient_;  // values an input cannot hold are cut as the host cuts them, without a problem
    std::vector<std::string> &problems_;
    std::vector<std::pair<int, std::string>> found_;  // the problems with their lines, as found
    NetworkFile file_;
    std::unordered_map<const refhost::HostInput *, int> wired_lines_;  // where the file wires each input
    std::string where_;  // what problems start with in place of the file and line, when set
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
        std::vector<std::string> shown_names;
        for (const NetworkFile::Node &n : file.nodes) {
            names.push_back(n.name);
            shown_names.push_back(support::shown(n.name));
        }
        error = "no node " + support::shown_quoted(name) + " (nodes: " + list_of(shown_names) + ")" +
                did_you_mean(name, names);
        return false;
    }
    const HostNode *n = file.network->node(node->id);
    const refhost::HostOutput *o = n != nullptr ? n->output(output) : nullptr;
    if (o == nullptr) {
        const std::vector<std::string> outputs = n != nullptr ? output_names(*n) : std::vector<std::string>();
        error = support::shown_quoted(text) + ": " + (n != nullptr ? n->server : "?") + " has no output " +
                support::shown_quoted(output) + " (outputs: " + list_of(outputs) + ")" + did_you_mean(output, outputs);
        return false;
    }
    out.text = text;
    out.node = node->id;
    out.output = o;
    out.net = file.network.get();
    return true;
}

namespace {

// The nesting scan: TOML read just far enough to know how deep each value
// sits, in one pass and without recursion.  Text it cannot follow is
// skipped to the end of its line (the parser refuses it there).
class NestingScan {
public:
    explicit NestingScan(const std::string &text) : t_(text) {
        if (t_.compare(0, 3, "\xEF\xBB\xBF") == 0) i_ = 3;  // a byte order mark
    }

    std::size_t too_deep_line() {
        std::size_t table = 0;  // the depth of the table that keys go into
        for (;;) {
            skip_blank(true);
            if (i_ >= t_.size()) return 0;
            if (t_[i_] == '[') {
                const bool array_of_tables = at(i_ + 1) == '[';
                i_ += array_of_tables ? 2 : 1;
                table = key_parts() + (array_of_tables ? 1 : 0);
                if (table > kMaxTomlNesting) return line_;
            } else if (const std::size_t parts = key_parts(); parts > 0 && equals()) {
                if (!value(table + parts)) return line_;
            }
            skip_line();
        }
    }

private:
    struct Open {
        bool array;         // or an inline table
        std::size_t depth;  // its own
    };

    char at(std::size_t k) const { return k < t_.size() ? t_[k] : '\0'; }

    static bool bare(char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    }

    void skip_line() {
        while (i_ < t_.size() && t_[i_] != '\n') ++i_;
    }

    // Spaces and comments, and line ends where `lines`.
    void skip_blank(bool lines) {
        while (i_ < t_.size()) {
            const char c = t_[i_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i_;
            } else if (c == '#') {
                skip_line();
            } else if (c == '\n' && lines) {
                ++line_;
                ++i_;
            } else {
                break;
            }
        }
    }

    // A string of any of the four kinds; false when it does not end.
    bool skip_string() {
        const char q = t_[i_];
        const bool multi = at(i_ + 1) == q && at(i_ + 2) == q;
        i_ += multi ? 3 : 1;
        while (i_ < t_.size()) {
            const char c = t_[i_];
            if (c == '\n') {
                if (!multi) return false;
                ++line_;
            } else if (c == '\\' && q == '"') {
                if (at(i_ + 1) == '\n') ++line_;
                ++i_;
            } else if (c == q && (!multi || (at(i_ + 1) == q && at(i_ + 2) == q))) {
                i_ += multi ? 3 : 1;
                // Up to two more quotes end a multi-line string's text.
                for (int k = 0; multi && k < 2 && at(i_) == q; ++k) ++i_;
                return true;
            }
            ++i_;
        }
        return false;
    }

    // The parts of the dotted key at the reading point; 0 for none.
    std::size_t key_parts() {
        std::size_t parts = 0;
        for (;;) {
            skip_blank(false);
            const char c = at(i_);
            if (c == '"' || c == '\'') {
                if (!skip_string()) return 0;
            } else if (bare(c)) {
                while (bare(at(i_))) ++i_;
            } else {
                return 0;
            }
            ++parts;
            skip_blank(false);
            if (at(i_) != '.') return parts;
            ++i_;
        }
    }

    bool equals() {
        skip_blank(false);
        if (at(i_) != '=') return false;
        ++i_;
        return true;
    }

    // One value sitting `depth` deep, with all it holds; false when
    // something in it sits deeper than the limit.
    bool value(std::size_t depth) {
        std::vector<Open> open;
        for (;;) {
            // A value begins here, `depth` deep.
            if (depth > kMaxTomlNesting) return false;
            skip_blank(!open.empty());
            const char c = at(i_);
            bool next = false;  // whether another value begins
            if (c == '[' || c == '{') {
                ++i_;
                open.push_back({c == '[', depth});
                skip_blank(true);
                if (at(i_) == (c == '[' ? ']' : '}')) {
                    ++i_;
                    open.pop_back();
                } else if (!(next = begin_element(open.back(), depth))) {
                    return true;
                }
            } else if (c == '"' || c == '\'') {
                if (!skip_string()) return true;
            } else if (c == '\0' || c == ',' || c == ']' || c == '}' || c == '#' || c == '\n') {
                return true;
            } else {
                while (i_ < t_.size() && std::string_view(",]}#\n").find(t_[i_]) == std::string_view::npos) ++i_;
            }
            // After a value: the next element, or the ends of what holds it.
            while (!next && !open.empty()) {
                skip_blank(true);
                const Open &o = open.back();
                if (at(i_) == (o.array ? ']' : '}')) {
                    ++i_;
                    open.pop_back();
                } else if (at(i_) == ',') {
                    ++i_;
                    skip_blank(true);
                    if (o.array && at(i_) == ']') continue;  // a trailing comma
                    if (!(next = begin_element(o, depth))) return true;
                } else {
                    return true;
                }
            }
            if (!next) return true;
        }
    }

    // Starts the next element of an array or inline table: sets the depth
    // of its value; false when it cannot be followed.
    bool begin_element(const Open &o, std::size_t &depth) {
        if (o.array) {
            depth = o.depth + 1;
            return true;
        }
        const std::size_t parts = key_parts();
        if (parts == 0 || !equals()) return false;
        depth = o.depth + parts;
        return true;
    }

    const std::string &t_;
    std::size_t i_ = 0;
    std::size_t line_ = 1;
};

}  // namespace

std::size_t toml_nesting_too_deep(const std::string &text) { return NestingScan(text).too_deep_line(); }

bool read_network_toml(const std::string &text, const std::string &source,
                       const std::shared_ptr<refhost::Module> &module, NetworkFile &out,
                       std::vector<std::string> &problems, bool lenient) {
    const std::size_t before = problems.size();
    std::vector<std::string> found;
    Reader reader(source, module, lenient, found);
    const bool ok = reader.read(text) && found.empty();
    problems.insert(problems.end(), found.begin(), found.end());
    if (ok && problems.size() == before) out = reader.take();
    return ok;
}

bool set_in_network(NetworkFile &file, const std::string &node, const std::string &key, const std::string &value,
                    const std::string &where, std::vector<std::string> &problems, bool lenient) {
    toml::table parsed;
    try {
        parsed = toml::parse("v = " + value);
    } catch (const toml::parse_error &) {
        parsed = toml::table{{"v", value}};
    }
    const std::size_t before = problems.size();
    std::vector<std::string> found;
    Reader reader(std::move(file), where, lenient, found);
    reader.set(node, key, *parsed.get("v"));
    file = reader.take();
    problems.insert(problems.end(), found.begin(), found.end());
    return problems.size() == before;
}

bool is_scene_content(const std::string &content, const std::string &path) {
    if (support::file_extension(path) == kNetworkExtension) return false;
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

bool read_network_file(const std::string &path, const std::shared_ptr<refhost::Module> &module, NetworkFile &out,
                       std::vector<std::string> &problems, bool lenient) {
    // "-" is standard input, named so in messages.
    const bool from_input = path == kStandardInput;
    const std::string name = network_file_name(path);
    std::string content, error;
    if (!(from_input ? support::read_whole_stream(std::cin, content, error)
                     : support::read_whole_file(path, content, error))) {
        problems.push_back(support::shown_path(name) + ": " + error);
        return false;
    }
    if (!is_scene_content(content, name)) return read_network_toml(content, name, module, out, problems, lenient);
    NetworkFile file;
    file.source = support::shown_path(name);
    file.network = std::make_unique<Network>(module);
    file.network->set_counting(false);
    file.network->set_constant_copies(true);
    if (!file.network->load(content, name, error)) {
        problems.push_back(support::shown_path_error(error, name));
        return false;
    }
    for (const auto &n : file.network->nodes()) file.add({refhost::node_display_name(*n), n->id, 0});
    out = std::move(file);
    return true;
}

}  // namespace qvhost
