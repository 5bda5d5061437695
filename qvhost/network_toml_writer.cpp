#include "qvhost/network_toml_writer.h"

#include "qvhost/node_info.h"
#include "refhost/network/input_key.h"
#include "support/escaped_text.h"
#include "support/number_text.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

namespace qvhost {

namespace {

using refhost::HostNode;

// A TOML basic string: quotes, backslashes and control characters escaped;
// false for text that is not UTF-8, which TOML cannot hold.
bool toml_string(const std::string &text, std::string &out) {
    static const char kHexDigits[] = "0123456789ABCDEF";
    out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 15];
            ++i;
        } else if (const std::size_t len = support::utf8_sequence_length(text, i)) {
            out.append(text, i, len);
            i += len;
        } else {
            return false;
        }
    }
    out += '"';
    return true;
}

// A key: bare where TOML allows it, a string otherwise.
bool toml_key(const std::string &key, std::string &out) {
    bool bare = !key.empty();
    for (char c : key)
        bare = bare && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-');
    if (!bare) return toml_string(key, out);
    out = key;
    return true;
}

// A double as a TOML float that reads back as the same double: the
// shortest text, with ".0" where it would read as an integer.
std::string toml_float(double v) {
    std::string text = support::number_text(v);
    if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
    return text;
}

// A percentage as "P%", where P / 100 gives the value back exactly; the
// plain fraction where no such P is found.
std::string toml_percent(double fraction) {
    double p = fraction * 100.0;
    for (int step = 0; step < 4; ++step) {
        const double back = p / 100.0;
        if (back == fraction) return "\"" + support::number_text(p) + "%\"";
        p = std::nextafter(p, back < fraction ? HUGE_VAL : -HUGE_VAL);
    }
    return toml_float(fraction);
}

// A panel control's value ("0.5", "1,2,3", "2") as the file writes it.
std::string toml_control_value(const refhost::PanelControl &c, const std::string &shown) {
    if (c.value_type == "float") return toml_float(std::strtod(shown.c_str(), nullptr));
    if (c.value_type == "percent") return toml_percent(std::strtod(shown.c_str(), nullptr));
    if (c.value_type == "float3") {
        std::string out = "[";
        std::istringstream parts(shown);
        std::string part;
        for (int k = 0; std::getline(parts, part, ','); ++k)
            out += (k ? ", " : "") + toml_float(std::strtod(part.c_str(), nullptr));
        return out + "]";
    }
    const long index = std::strtol(shown.c_str(), nullptr, 10);
    if (c.cls == "iBoolean") return index != 0 ? "true" : "false";
    if (c.has_choices && index >= 0 && static_cast<std::size_t>(index) < c.choices.size()) {
        // By its text where that names it alone.
        const std::string &choice = c.choices[static_cast<std::size_t>(index)];
        std::size_t same = 0;
        for (const std::string &other : c.choices) same += other == choice ? 1 : 0;
        std::string quoted;
        if (same == 1 && toml_string(choice, quoted)) return quoted;
    }
    return shown;
}

class Writer {
public:
    Writer(const NetworkFile &file, const std::shared_ptr<refhost::Module> &module, std::string &error)
        : file_(file), error_(error), defaults_(module) {}

    bool write(const std::string &source, std::string &text) {
        std::ostringstream out;
        out << "# A node network, written by qvhost save from " << support::escaped_text(source) << ".\n";
        for (const NetworkFile::Node &entry : file_.nodes)
            if (!valid_name(entry.name)) return false;
        for (const NetworkFile::Node &entry : file_.nodes) {
            const HostNode &n = *file_.network->node(entry.id);
            out << "\n[node." << entry.name << "]\n";
            std::string server;
            if (!toml_string(n.server, server)) return fail(entry.name, "its server name is not UTF-8");
            out << "server = " << server << "\n";
            for (std::size_t i = 0; i < n.inputs.size(); ++i) {
                std::string line;
                if (!input_line(entry.name, n, i, line)) return false;
                if (!line.empty()) out << line << "\n";
            }
            std::string panel;
            if (!panel_line(entry.name, n, panel)) return false;
            if (!panel.empty()) out << panel << "\n";
        }
        text = out.str();
        return true;
    }

private:
    bool fail(const std::string &node, const std::string &what) {
        error_ = "node " + support::shown_quoted(node) + ": " + what;
        return false;
    }

    bool valid_name(const std::string &name) {
        if (!valid_node_name(name)) return fail(name, "a network file's node name has only letters, digits and \"_\"");
        if (names_seen_.count(name) != 0) return fail(name, "two nodes have this name; a network file names each once");
        names_seen_.insert(name);
        return true;
    }

    // `Key = what feeds the input`, or "" for an input nothing feeds.
    bool input_line(const std::string &node, const HostNode &n, std::size_t i, std::string &line) {
        const refhost::HostInput &in = *n.inputs[i];
        std::string key, value;
        if (!toml_key(refhost::input_key(n, i), key)) return fail(node, "an input's name is not UTF-8");
        if (in.from != nullptr) {
            const NetworkFile::Node *from = file_.find(in.from->node->id);
            if (from == nullptr || !toml_string(from->name + "." + in.from->name, value))
                return fail(node, "input " + support::shown_quoted(key) + ": its wire cannot be written");
        } else if (in.source && in.source->sample != refhost::SampleSource::none) {
            toml_string(refhost::sample_source_name(in.source->sample), value);
        } else if (in.source) {
            const refhost::Value &v = in.source->value;
            if (v.type == QV_TYPE_INTEGER) {
                value = std::to_string(v.as_integer());
            } else if (v.type == QV_TYPE_SCALAR) {
                value = toml_float(v.as_scalar());
            } else if (v.type == QV_TYPE_VECTOR || v.type == QV_TYPE_COLOR) {
                value = "[" + toml_float(v.doubles()[0]) + ", " + toml_float(v.doubles()[1]) + ", " +
                        toml_float(v.doubles()[2]) + "]";
            } else {
                return fail(node, "input " + support::shown_quoted(key) + ": a " + refhost::type_name(v.type) +
                                      " constant cannot be written in a network file");
            }
        } else {
            return true;
        }
        line = key + " = " + value;
        return true;
    }

    // `panel = { ... }` with the controls that differ from a new node's, or "".
    bool panel_line(const std::string &node, const HostNode &n, std::string &line) {
        std::string why;
        const refhost::Network::PanelOpening opening = file_.network->open_panel(n.id, why);
        const refhost::Panel *panel = opening.panel != nullptr ? refhost::panel_of(opening.panel) : nullptr;
        if (panel == nullptr) return true;
        const refhost::Panel *fresh = new_panel(n.server);
        std::string settings;
        for (const refhost::PanelControl &c : panel->controls()) {
            const std::optional<std::string> shown = panel->value_text(c.id);
            if (c.hidden || !shown) continue;
            if (fresh != nullptr && fresh->value_text(c.id) == shown) continue;
            std::string key;
            if (!toml_key(control_name(*panel, n, c), key)) return fail(node, "a control's label is not UTF-8");
            settings += (settings.empty() ? "" : ", ") + key + " = " + toml_control_value(c, *shown);
        }
        if (!settings.empty()) line = "panel = { " + settings + " }";
        return true;
    }

    // The panel of a new node of the server, made once per server.
    const refhost::Panel *new_panel(const std::string &server) {
        const auto known = fresh_.find(server);
        if (known != fresh_.end()) return known->second;
        std::string why;
        const refhost::HostNode *made = defaults_.create(server, why);
        const refhost::Network::PanelOpening opening =
            made != nullptr ? defaults_.open_panel(made->id, why) : refhost::Network::PanelOpening{};
        const refhost::Panel *panel = opening.panel != nullptr ? refhost::panel_of(opening.panel) : nullptr;
        fresh_[server] = panel;
        return panel;
    }

    const NetworkFile &file_;
    std::string &error_;
    std::set<std::string> names_seen_;
    refhost::Network defaults_;  // a new node of each server, for its defaults
    std::map<std::string, const refhost::Panel *> fresh_;
};

}  // namespace

bool network_toml_text(const NetworkFile &file, const std::shared_ptr<refhost::Module> &module,
                       const std::string &source, std::string &text, std::string &error) {
    Writer writer(file, module, error);
    return writer.write(source, text);
}

}  // namespace qvhost
