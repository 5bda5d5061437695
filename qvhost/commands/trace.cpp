// qvhost trace: every node one output of a network depends on, upstream
// first, with the value of each of its inputs (as the node receives it) and
// outputs for one sample; NaN and infinities marked.  A table, or JSON.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "refhost/network/input_evaluation.h"
#include "refhost/network/input_key.h"
#include "refhost/network/render.h"
#include "support/escaped_text.h"
#include "support/number_text.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace qvhost {

namespace {

struct TraceOptions {
    std::string network, output, frame, fps = "30", at = "0.5,0.5", format = "table";
    std::vector<std::string> settings;  // --set
    bool again = false;  // --no-memo
    FrameSpan span;
    double u = 0.5, v = 0.5;

    void declare(CLI::App &c) {
        c.add_option("network", network, "a network file")->required();
        c.add_option("output", output, "NODE.OUTPUT")->required();
        c.add_option("--at", at, "the sample's u,v");
        c.add_option("--frame", frame, "the frame");
        c.add_option("--fps", fps, "frames per second");
        c.add_option("--format", format, "table or json");
        declare_settings(c, settings);
        declare_again(c, again);
    }
    bool check(std::string &error) {
        if (!parse_frame_span(fps, false, "", frame, span, error)) return false;
        if (!parse_pair("--at", at, "a position", Range{-1e6, 1e6}, u, v, error)) return false;
        if (format != "table" && format != "json") {
            error = "--format: \"" + support::shown(format) + "\" is not one of table, json";
            return false;
        }
        return true;
    }
    bool cheap() const { return false; }
};

// The nodes `last` depends on, each after every node feeding it, `last` at
// the end: a walk with a stack of its own, for networks of any depth.
std::vector<const refhost::HostNode *> upstream_order(const refhost::HostNode &last) {
    std::vector<const refhost::HostNode *> order;
    std::unordered_set<const refhost::HostNode *> seen{&last};
    std::vector<std::pair<const refhost::HostNode *, std::size_t>> stack{{&last, 0}};
    while (!stack.empty()) {
        auto &[node, next] = stack.back();
        if (next < node->inputs.size()) {
            const refhost::HostOutput *from = node->inputs[next++]->from;
            if (from != nullptr && seen.insert(from->node).second) stack.emplace_back(from->node, 0);
        } else {
            order.push_back(node);
            stack.pop_back();
        }
    }
    return order;
}

// A value's text and its mark: "NaN" or "infinite" where a number is.
struct Shown {
    std::string text, mark;
    std::vector<std::string> numbers;  // each number's text, for JSON
};

Shown shown(const refhost::Value &v) {
    Shown s;
    if (v.type == 0) return {"(no value)", "", {""}};
    s.text = refhost::format_value(v);
    const int n = v.type == QV_TYPE_INTEGER ? 0 : refhost::value_channels(v.type);
    if (n == 0) {
        s.numbers = {s.text};
        return s;
    }
    for (int c = 0; c < n; ++c) {
        const double d = v.doubles()[c];
        s.numbers.push_back(support::number_text(d));
        if (std::isnan(d))
            s.mark = "NaN";
        else if (std::isinf(d) && s.mark.empty())
            s.mark = "infinite";
    }
    return s;
}

struct Port {
    const char *kind;  // "in" or "out"
    std::string name, type, fed;
    Shown value;
};

void write_table(std::ostream &out, const std::vector<std::pair<std::string, std::vector<Port>>> &nodes) {
    std::vector<std::array<std::string, 6>> rows{{"node", "port", "type", "fed by", "value", ""}};
    for (const auto &[node, ports] : nodes)
        for (const Port &p : ports)
            rows.push_back({node, std::string(p.kind) + " " + p.name, p.type, p.fed, p.value.text,
                            p.value.mark.empty() ? "" : "<- " + p.value.mark});
    std::array<std::size_t, 6> width{};
    for (const auto &r : rows)
        for (std::size_t c = 0; c < r.size(); ++c) width[c] = std::max(width[c], r[c].size());
    for (const auto &r : rows) {
        std::string line;
        for (std::size_t c = 0; c < r.size(); ++c)
            line += r[c] + (c + 1 < r.size() ? std::string(width[c] - r[c].size() + 2, ' ') : "");
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << "\n";
    }
}

void write_json(std::ostream &out, const std::vector<std::pair<std::string, std::vector<Port>>> &nodes) {
    out << "[\n";
    for (std::size_t k = 0; k < nodes.size(); ++k) {
        out << "  {\"node\": " << json_string(nodes[k].first) << ", \"ports\": [";
        for (std::size_t i = 0; i < nodes[k].second.size(); ++i) {
            const Port &p = nodes[k].second[i];
            out << (i ? ",\n" : "\n") << "    {\"kind\": \"" << p.kind << "\", \"name\": " << json_string(p.name)
                << ", \"type\": " << json_string(p.type);
            if (!p.fed.empty()) out << ", \"fed\": " << json_string(p.fed);
            out << ", \"value\": ";
            const std::vector<std::string> &n = p.value.numbers;
            if (p.type == "integer" || n.size() == 1) {
                out << json_number(n.empty() ? "" : n[0]);
            } else {
                out << "[";
                for (std::size_t c = 0; c < n.size(); ++c) out << (c ? ", " : "") << json_number(n[c]);
                out << "]";
            }
            if (!p.value.mark.empty()) out << ", \"mark\": " << json_string(p.value.mark);
            out << "}";
        }
        out << "\n  ]}" << (k + 1 < nodes.size() ? "," : "") << "\n";
    }
    out << "]\n";
}

int run_trace(const Context &ctx, const TraceOptions &o) {
    NetworkFile file;
    if (int rc = load_network(ctx, o.network, file)) return rc;
    std::vector<OutputRef> outputs;
    if (!resolve_all(ctx, file, {o.output}, outputs)) return 2;
    refhost::Network &net = *file.network;
    const int f = o.span.first;
    const double t = refhost::frame_time(f, o.span.fps);
    net.render_init();
    refhost::start_frame(net, f, o.span.fps);
    refhost::HostSample sample = refhost::HostSample::at(o.u, o.v, o.u, o.v, t, f);
    refhost::SampleMemo memo = net.make_memo();
    memo.start(sample);
    // Each node's inputs as the node receives them and its outputs, every
    // value once per sample through the memo.
    std::vector<std::pair<std::string, std::vector<Port>>> nodes;
    for (const refhost::HostNode *n : upstream_order(*outputs[0].output->node)) {
        std::vector<Port> ports;
        for (std::size_t i = 0; i < n->inputs.size(); ++i) {
            const refhost::HostInput &in = *n->inputs[i];
            Port port{
                "in", refhost::input_key(*n, i), refhost::type_name(in.type), "-", {"(its panel's value)", "", {""}}};
            if (in.connected()) {
                refhost::Value v;
                v.type = in.type;
                refhost::host_evaluate_input(const_cast<refhost::HostInput *>(&in), &sample.access, v.bytes);
                port.fed = feed_text(file, in);
                port.value = shown(v);
            }
            ports.push_back(std::move(port));
        }
        for (const auto &out : n->outputs)
            ports.push_back(
                {"out", out->name, refhost::type_name(out->type), "", shown(memo.value(*out, &sample.access))});
        nodes.emplace_back(file.name_of(n->id) + " (" + n->server + ")", std::move(ports));
        if (refhost::cancel_requested()) break;
    }
    net.render_cleanup();
    if (refhost::cancel_requested()) return ctx.fail("interrupted", kInterrupted);
    if (o.format == "json") {
        write_json(ctx.out, nodes);
    } else {
        ctx.out << o.output << " at frame " << f << ", time " << support::number_text(t) << ", u,v "
                << support::number_text(o.u) << "," << support::number_text(o.v) << "\n";
        write_table(ctx.out, nodes);
    }
    return 0;
}

}  // namespace

CommandSetup declare_trace(CLI::App &command) { return setup_of<TraceOptions>(command, run_trace); }

}  // namespace qvhost
