// Node networks drawn as the node editor shows them: columns by depth from
// left to right, each node a rounded box in its own colour with a title
// bar, its outputs on the right edge above its inputs on the left edge (the
// editor's order), wires as curves from output to input, and what feeds an
// unwired input (a constant or a sample source) as a small tag beside it.
#include "qvhost/pictures/pictures.h"

#include "qvhost/pictures/picture_files.h"

#include <string>

#ifdef QV_HAVE_CAIRO
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#endif

namespace qvhost {

std::string graph_png_limit() {
    return std::to_string(kMaxPictureSide) + " pixels a side and " +
           std::to_string(static_cast<long>(kMaxGraphPngPixels / 1e6)) + " million in all";
}

#ifdef QV_HAVE_CAIRO

namespace {

constexpr double kPi = 3.141592653589793;

// ---- Look -----------------------------------------------------------------------

const Rgb kBackground = rgb_hex(0x3E4146);
const Rgb kBackgroundGrid = rgb_hex(0x474A50);
const Rgb kDarkText = rgb_hex(0x16181B);
const Rgb kLightText = rgb_hex(0xF4F5F7);
const Rgb kTagFill = rgb_hex(0xECEEF1);
const Rgb kTagBorder = rgb_hex(0x8C929C);
const Rgb kTagText = rgb_hex(0x1F2328);

// The dot colour of each connection type, so that a wire's two ends and the
// wire itself tell what flows through them:
//   1 colour    red      2 scalar    green     3 vector    blue
//   4 integer   purple   5 function  yellow    6 material  orange
//   any other   grey
Rgb type_colour(int type) {
    switch (type) {
    case 1: return rgb_hex(0xE5484D);
    case 2: return rgb_hex(0x8BD05A);
    case 3: return rgb_hex(0x4C8DF6);
    case 4: return rgb_hex(0xB07CE8);
    case 5: return rgb_hex(0xF2C14E);
    case 6: return rgb_hex(0xF08A3C);
    default: return rgb_hex(0xA4A8AF);
    }
}

constexpr double kTitleSize = 12, kSubtitleSize = 10, kPortSize = 11, kTagSize = 10;
constexpr double kTitleBar = 22, kSubtitleLine = 14, kPortRow = 18;
constexpr double kPad = 10;  // inside a node, left and right
constexpr double kMinNodeWidth = 130, kMaxNodeWidth = 300;
constexpr double kDotRadius = 4.5;  // centred on the node's edge
constexpr double kCorner = 6;
constexpr double kRowGap = 26;     // between nodes in a column
constexpr double kColumnGap = 70;  // between columns, besides the tags
constexpr double kMargin = 28;
constexpr double kTagHeight = 16, kTagPad = 5, kTagMaxText = 110, kTagToDot = 9;
// The largest side of an SVG, where cairo's coordinates (24.8 bits fixed
// point) end.
constexpr double kMaxSvgSide = 8e6;

// The relative luminance of an sRGB colour (WCAG).
double luminance(const Rgb &c) {
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

// The text colour of the two that contrasts more with `fill`.
Rgb text_colour_on(const Rgb &fill) {
    const double l = luminance(fill);
    const double with_dark = (l + 0.05) / (luminance(kDarkText) + 0.05);
    const double with_light = (luminance(kLightText) + 0.05) / (l + 0.05);
    return with_dark >= with_light ? kDarkText : kLightText;
}

Rgb shade(const Rgb &c, double factor) { return {c.r * factor, c.g * factor, c.b * factor}; }

// ---- Layout -----------------------------------------------------------------------

struct NodeBox {
    int column = 0;
    double x = 0, y = 0, width = 0, height = 0;
    Rgb fill{}, title_fill{}, text{}, title_text{};
    std::string title, name, server;           // as drawn, cut to fit
    std::vector<std::string> inputs, outputs;  // likewise
    std::vector<std::string> tags;             // per input; "" for none or a wired input
    std::vector<std::string> settings;         // the panel's settings, cut to fit
    double tag_width = 0;                      // of the widest tag, with its padding

    double output_y(std::size_t i) const {
        return y + kTitleBar + 2 * kSubtitleLine + 6 + (static_cast<double>(i) + 0.5) * kPortRow;
    }
    double input_y(std::size_t i) const { return output_y(outputs.size() + i); }
    double setting_y(std::size_t i) const { return input_y(inputs.size() + i); }
};

// Each node's column: 0 with nothing wired in, else one more than the
// deepest node feeding it.  A wire closing a cycle (which the editor does
// not allow) is not followed.
std::vector<int> columns_by_depth(const Graph &graph) {
    const std::size_t n = graph.nodes.size();
    std::vector<std::vector<int>> sources(n);
    for (const GraphWire &w : graph.wires) sources[w.to_node].push_back(w.from_node);
    std::vector<int> column(n, 0);
    std::vector<char> state(n, 0);  // 0 not seen, 1 on the path being followed, 2 done
    // Iterative depth-first search, so that a long chain cannot exhaust the stack.
    for (std::size_t start = 0; start < n; ++start) {
        if (state[start] != 0) continue;
        std::vector<std::pair<int, std::size_t>> stack{{static_cast<int>(start), 0}};
        state[start] = 1;
        while (!stack.empty()) {
            const int node = stack.back().first;
            if (stack.back().second < sources[node].size()) {
                const int src = sources[node][stack.back().second++];
                if (state[src] == 0) {
                    state[src] = 1;
                    stack.push_back({src, 0});
                }
                continue;
            }
            for (int src : sources[node])
                if (state[src] == 2) column[node] = std::max(column[node], column[src] + 1);
            state[node] = 2;
            stack.pop_back();
        }
    }
    return column;
}

NodeBox measure_node(cairo_t *cr, const GraphNode &node, const std::vector<bool> &wired) {
    NodeBox b;
    auto channel = [](int32_t v) { return std::clamp(v, 0, 255) / 255.0; };
    b.fill = {channel(node.colour[0]), channel(node.colour[1]), channel(node.colour[2])};
    b.title_fill = shade(b.fill, 0.78);
    b.text = text_colour_on(b.fill);
    b.title_text = text_colour_on(b.title_fill);

    const double text_limit = kMaxNodeWidth - 2 * kPad;
    double w = kMinNodeWidth - 2 * kPad;
    use_font(cr, kTitleSize, true);
    b.title = fit_text(cr, node.display.empty() ? node.server : node.display, text_limit);
    w = std::max(w, text_width(cr, b.title));
    use_font(cr, kSubtitleSize);
    b.name = fit_text(cr, node.name, text_limit);
    b.server = fit_text(cr, node.server, text_limit);
    w = std::max({w, text_width(cr, b.name), text_width(cr, b.server)});
    use_font(cr, kPortSize);
    for (const GraphPort &p : node.outputs) {
        b.outputs.push_back(fit_text(cr, p.name, text_limit));
        w = std::max(w, text_width(cr, b.outputs.back()));
    }
    for (const GraphPort &p : node.inputs) {
        b.inputs.push_back(fit_text(cr, p.name, text_limit));
        w = std::max(w, text_width(cr, b.inputs.back()));
    }
    for (const std::string &s : node.settings) {
        b.settings.push_back(fit_text(cr, s, text_limit));
        w = std::max(w, text_width(cr, b.settings.back()));
    }
    use_font(cr, kTagSize);
    for (std::size_t i = 0; i < node.inputs.size(); ++i) {
        const bool shows_tag = !node.inputs[i].tag.empty() && !wired[i];
        b.tags.push_back(shows_tag ? fit_text(cr, node.inputs[i].tag, kTagMaxText) : "");
        if (shows_tag) b.tag_width = std::max(b.tag_width, text_width(cr, b.tags.back()) + 2 * kTagPad);
    }
    b.width = std::ceil(w + 2 * kPad);
    const std::size_t rows = node.inputs.size() + node.outputs.size() + node.settings.size();
    b.height = kTitleBar + 2 * kSubtitleLine + 6 + rows * kPortRow + (rows > 0 ? 6 : 0);
    return b;
}

// Where everything goes: the nodes' boxes, and for a wire that passes
// columns between its two ends, the height at which it crosses each.
struct Layout {
    std::vector<NodeBox> boxes;
    std::vector<double> column_x, column_width;
    std::vector<std::vector<double>> crossings;  // per wire, one per column between its ends
    std::vector<double> return_y;                // per wire closing a cycle, the height it runs back at; else 0
    double width = 240, height = 120;
};

// Heights for a column's items in their order, each as near as it can be
// (least squares) to the height it wants, none above the bottom of the one
// before plus the gap: with z = y - room_above the bounds say z never falls,
// so pooling adjacent violators solves it exactly.  Items that want no
// height (nodes fed by nothing, in the first column) want 0 with a weight
// near 0: they stack from the top.
std::vector<double> settle(const std::vector<double> &wanted, const std::vector<double> &weight,
                           const std::vector<double> &room_above) {
    struct Pool {
        double weight, weighted_sum;
        std::size_t count;
        double value() const { return weighted_sum / weight; }
    };
    std::vector<Pool> pools;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        pools.push_back({weight[i], weight[i] * (wanted[i] - room_above[i]), 1});
        while (pools.size() > 1 && pools[pools.size() - 2].value() > pools.back().value()) {
            const Pool last = pools.back();
            pools.pop_back();
            pools.back().weight += last.weight;
            pools.back().weighted_sum += last.weighted_sum;
            pools.back().count += last.count;
        }
    }
    std::vector<double> y;
    for (const Pool &p : pools)
        for (std::size_t k = 0; k < p.count; ++k) y.push_back(p.value() + room_above[y.size()]);
    return y;
}

// Places the nodes, columns left to right.  A wire passing columns between
// its ends takes a lane of its own in each, so that it runs between the
// nodes there rather than behind them.  Each column's nodes and lanes are
// ordered by the height of the wires coming in (fewer crossings), then set
// as near those heights as they fit (flatter wires).
Layout place_nodes(const Graph &graph, std::vector<NodeBox> boxes) {
    Layout L;
    L.boxes = std::move(boxes);
    std::vector<NodeBox> &box = L.boxes;
    int columns = 0;
    for (const NodeBox &b : box) columns = std::max(columns, b.column + 1);

    // Column widths and the room each needs on its left for its nodes' tags.
    L.column_width.assign(columns, 0);
    L.column_x.assign(columns, 0);
    std::vector<double> tag_room(columns, 0);
    for (const NodeBox &b : box) {
        L.column_width[b.column] = std::max(L.column_width[b.column], b.width);
        tag_room[b.column] = std::max(tag_room[b.column], b.tag_width > 0 ? b.tag_width + kTagToDot + 4 : 0.0);
    }
    double x = kMargin;
    for (int c = 0; c < columns; ++c) {
        x += tag_room[c] + (c > 0 ? kColumnGap : 0);
        L.column_x[c] = x;
        x += L.column_width[c];  // every column holds a node: one in each column feeds the next
    }
    L.width = std::ceil(x + kMargin);

    // A column's items: a node, or a lane (a wire crossing it).
    struct Item {
        int node, wire;
        double height;
    };
    constexpr double kLane = 10, kLaneGap = 8;
    std::vector<std::vector<Item>> items(columns);
    for (std::size_t i = 0; i < box.size(); ++i)
        items[box[i].column].push_back({static_cast<int>(i), -1, box[i].height});
    L.crossings.resize(graph.wires.size());
    for (std::size_t k = 0; k < graph.wires.size(); ++k) {
        const int from = box[graph.wires[k].from_node].column, to = box[graph.wires[k].to_node].column;
        for (int c = from + 1; c < to; ++c) items[c].push_back({-1, static_cast<int>(k), kLane});
        if (to - from > 1) L.crossings[k].resize(to - from - 1);
    }
    // Where wire k leaves the column before column c: its output, or its lane there.
    auto height_before = [&](int k, int c) {
        const GraphWire &w = graph.wires[k];
        const int from = box[w.from_node].column;
        return from == c - 1 ? box[w.from_node].output_y(w.from_output) : L.crossings[k][c - 1 - from - 1];
    };

    double top = 0, bottom = 0;
    for (int c = 0; c < columns; ++c) {
        // Each item's wanted top and the mean height of the wires it takes in.
        const std::size_t n = items[c].size();
        std::vector<double> incoming(n, -1e300), wanted(n, 0), weight(n, 1e-9);
        for (std::size_t i = 0; i < n; ++i) {
            const Item &it = items[c][i];
            double sum_in = 0, sum_port = 0;
            int count = 0;
            if (it.wire >= 0) {
                sum_in = height_before(it.wire, c);
                sum_port = kLane / 2;
                count = 1;
            } else {
                for (std::size_t k = 0; k < graph.wires.size(); ++k) {
                    const GraphWire &w = graph.wires[k];
                    if (w.to_node != it.node || box[w.from_node].column >= c) continue;
                    sum_in += height_before(static_cast<int>(k), c);
                    sum_port += box[it.node].input_y(w.to_input) - box[it.node].y;
                    ++count;
                }
            }
            if (count > 0) {
                incoming[i] = sum_in / count;
                wanted[i] = (sum_in - sum_port) / count;
                weight[i] = count;
            }
        }
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return incoming[a] < incoming[b]; });

        std::vector<double> w_sorted, weight_sorted, room_above;
        double room = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const Item &it = items[c][order[j]];
            if (j > 0) {
                const Item &above = items[c][order[j - 1]];
                room += above.height + (it.node >= 0 && above.node >= 0 ? kRowGap : kLaneGap);
            }
            w_sorted.push_back(wanted[order[j]]);
            weight_sorted.push_back(weight[order[j]]);
            room_above.push_back(room);
        }
        const std::vector<double> y = settle(w_sorted, weight_sorted, room_above);
        for (std::size_t j = 0; j < n; ++j) {
            const Item &it = items[c][order[j]];
            if (it.node >= 0) {
                box[it.node].x = L.column_x[c];
                box[it.node].y = y[j];
            } else {
                L.crossings[it.wire][c - box[graph.wires[it.wire].from_node].column - 1] = y[j] + kLane / 2;
            }
            top = std::min(top, y[j]);
            bottom = std::max(bottom, y[j] + it.height);
        }
    }
    // Everything moved down to the margin, on whole pixels.
    const double shift = kMargin - std::floor(top);
    for (NodeBox &b : box) b.y = std::round(b.y + shift);
    for (std::vector<double> &lanes : L.crossings)
        for (double &y : lanes) y += shift;
    // Wires closing a cycle (the editor allows none) run back below everything.
    L.return_y.assign(graph.wires.size(), 0);
    double y = bottom + shift;
    for (std::size_t k = 0; k < graph.wires.size(); ++k)
        if (box[graph.wires[k].to_node].column <= box[graph.wires[k].from_node].column) L.return_y[k] = y += 14;
    L.height = std::ceil(y + kMargin);
    return L;
}

// ---- Drawing -----------------------------------------------------------------------

void draw_background(cairo_t *cr, double width, double height) {
    set_colour(cr, kBackground);
    cairo_paint(cr);
    set_colour(cr, kBackgroundGrid);
    cairo_set_line_width(cr, 1);
    for (double x = 24.5; x < width; x += 24) {
        cairo_move_to(cr, x, 0);
        cairo_line_to(cr, x, height);
    }
    for (double y = 24.5; y < height; y += 24) {
        cairo_move_to(cr, 0, y);
        cairo_line_to(cr, width, y);
    }
    cairo_stroke(cr);
}

// A wire leaves its output to the right and reaches its input from the
// left, through its lanes in the columns between: straight across each,
// curves between.
void draw_wire(cairo_t *cr, const Graph &graph, const Layout &L, std::size_t k) {
    const GraphWire &w = graph.wires[k];
    const NodeBox &from = L.boxes[w.from_node], &to = L.boxes[w.to_node];
    double x = from.x + from.width, y = from.output_y(w.from_output);
    auto curve_to = [&](double x2, double y2) {
        const double reach = std::max(40.0, std::fabs(x2 - x) * 0.5);
        cairo_curve_to(cr, x + reach, y, x2 - reach, y2, x2, y2);
        x = x2, y = y2;
    };
    cairo_move_to(cr, x, y);
    if (L.return_y[k] > 0) {
        // Back to an input at the left: out to the right, down, along below the nodes, up.
        const double x2 = to.x, y2 = to.input_y(w.to_input), low = L.return_y[k];
        cairo_curve_to(cr, x + 30, y, x + 30, low, x, low);
        cairo_line_to(cr, x2, low);
        cairo_curve_to(cr, x2 - 30, low, x2 - 30, y2, x2, y2);
    }
    for (std::size_t i = 0; i < L.crossings[k].size(); ++i) {
        const int c = from.column + 1 + static_cast<int>(i);
        curve_to(L.column_x[c], L.crossings[k][i]);
        x = L.column_x[c] + L.column_width[c];
        cairo_line_to(cr, x, y);
    }
    if (L.return_y[k] == 0) curve_to(to.x, to.input_y(w.to_input));
    // A dark edge under the wire keeps it visible across light nodes and tags.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    cairo_set_line_width(cr, 4);
    cairo_stroke_preserve(cr);
    set_colour(cr, type_colour(graph.nodes[w.from_node].outputs[w.from_output].type));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

void draw_dot(cairo_t *cr, double x, double y, int type) {
    cairo_arc(cr, x, y, kDotRadius, 0, 2 * kPi);
    set_colour(cr, type_colour(type));
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void draw_node(cairo_t *cr, const GraphNode &node, const NodeBox &b) {
    // A soft shadow, then the body, the title bar on it, and the border.
    rounded_rectangle(cr, b.x + 2, b.y + 3, b.width, b.height, kCorner);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.28);
    cairo_fill(cr);
    rounded_rectangle(cr, b.x, b.y, b.width, b.height, kCorner);
    set_colour(cr, b.fill);
    cairo_fill(cr);
    cairo_save(cr);
    rounded_rectangle(cr, b.x, b.y, b.width, b.height, kCorner);
    cairo_clip(cr);
    cairo_rectangle(cr, b.x, b.y, b.width, kTitleBar);
    set_colour(cr, b.title_fill);
    cairo_fill(cr);
    cairo_restore(cr);
    rounded_rectangle(cr, b.x + 0.5, b.y + 0.5, b.width - 1, b.height - 1, kCorner);
    set_colour(cr, shade(b.fill, 0.5));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    use_font(cr, kTitleSize, true);
    set_colour(cr, b.title_text);
    draw_text(cr, b.x + kPad, b.y + kTitleBar / 2 + kTitleSize * 0.36, b.title);
    use_font(cr, kSubtitleSize);
    set_colour(cr, b.text, 0.78);
    const double sub_y = b.y + kTitleBar + kSubtitleLine / 2 + 2 + kSubtitleSize * 0.36;
    draw_text(cr, b.x + kPad, sub_y, b.name);
    draw_text(cr, b.x + kPad, sub_y + kSubtitleLine, b.server);

    // A thin rule between the names and the ports.
    if (!b.outputs.empty() || !b.inputs.empty()) {
        const double rule = std::floor(b.y + kTitleBar + 2 * kSubtitleLine + 4) + 0.5;
        set_colour(cr, b.text, 0.22);
        cairo_move_to(cr, b.x + 6, rule);
        cairo_line_to(cr, b.x + b.width - 6, rule);
        cairo_stroke(cr);
    }

    use_font(cr, kPortSize);
    set_colour(cr, b.text);
    for (std::size_t i = 0; i < b.outputs.size(); ++i)
        draw_text(cr, b.x + b.width - kPad, b.output_y(i) + kPortSize * 0.36, b.outputs[i], Align::right);
    for (std::size_t i = 0; i < b.inputs.size(); ++i)
        draw_text(cr, b.x + kPad, b.input_y(i) + kPortSize * 0.36, b.inputs[i]);
    set_colour(cr, b.text, 0.78);
    for (std::size_t i = 0; i < b.settings.size(); ++i)
        draw_text(cr, b.x + kPad, b.setting_y(i) + kPortSize * 0.36, b.settings[i]);
    for (std::size_t i = 0; i < b.outputs.size(); ++i) draw_dot(cr, b.x + b.width, b.output_y(i), node.outputs[i].type);
    for (std::size_t i = 0; i < b.inputs.size(); ++i) draw_dot(cr, b.x, b.input_y(i), node.inputs[i].type);
}

// A tag: a small rounded label left of its input, joined to the dot.
void draw_tags(cairo_t *cr, const GraphNode &node, const NodeBox &b) {
    use_font(cr, kTagSize);
    for (std::size_t i = 0; i < b.tags.size(); ++i) {
        if (b.tags[i].empty()) continue;
        const double w = text_width(cr, b.tags[i]) + 2 * kTagPad;
        const double right = b.x - kTagToDot, mid = b.input_y(i);
        set_colour(cr, type_colour(node.inputs[i].type));
        cairo_set_line_width(cr, 1.5);
        cairo_move_to(cr, right, mid);
        cairo_line_to(cr, b.x - kDotRadius, mid);
        cairo_stroke(cr);
        rounded_rectangle(cr, std::round(right - w) + 0.5, std::round(mid - kTagHeight / 2) + 0.5, std::round(w),
                          kTagHeight - 1, 4);
        set_colour(cr, kTagFill);
        cairo_fill_preserve(cr);
        set_colour(cr, kTagBorder);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        set_colour(cr, kTagText);
        draw_text(cr, right - w + kTagPad, mid + kTagSize * 0.36, b.tags[i]);
    }
}

// Why the wires do not fit the nodes, or "".
std::string wire_problem(const Graph &graph) {
    const int n = static_cast<int>(graph.nodes.size());
    for (std::size_t k = 0; k < graph.wires.size(); ++k) {
        const GraphWire &w = graph.wires[k];
        const bool fits = w.from_node >= 0 && w.from_node < n && w.to_node >= 0 && w.to_node < n &&
                          w.from_output >= 0 &&
                          w.from_output < static_cast<int>(graph.nodes[w.from_node].outputs.size()) &&
                          w.to_input >= 0 && w.to_input < static_cast<int>(graph.nodes[w.to_node].inputs.size());
        if (!fits)
            return "wire " + std::to_string(k) + " (node " + std::to_string(w.from_node) + " output " +
                   std::to_string(w.from_output) + " to node " + std::to_string(w.to_node) + " input " +
                   std::to_string(w.to_input) + ") names no such output or input";
    }
    return "";
}

}  // namespace

bool write_graph(const Graph &graph, const std::string &path, std::string &error, std::string *note) {
    std::string reason;
    if (!drawing_format_known(path, reason)) {
        error = cannot_write(path, reason);
        return false;
    }
    reason = wire_problem(graph);
    if (!reason.empty()) {
        error = cannot_write(path, reason);
        return false;
    }

    Layout L;
    {
        MeasuringContext measure;
        const std::vector<int> column = columns_by_depth(graph);
        std::vector<NodeBox> boxes;
        for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
            std::vector<bool> wired(graph.nodes[i].inputs.size(), false);
            for (const GraphWire &w : graph.wires)
                if (w.to_node == static_cast<int>(i)) wired[w.to_input] = true;
            boxes.push_back(measure_node(measure.get(), graph.nodes[i], wired));
            boxes.back().column = column[i];
        }
        if (!boxes.empty()) L = place_nodes(graph, std::move(boxes));
    }
    // A PNG larger than its limit, or an SVG beyond cairo's coordinates, is
    // the whole drawing made smaller, with a note saying so.
    const bool png = picture_format(path) == PictureFormat::png;
    const double side = png ? kMaxPictureSide : kMaxSvgSide;
    double scale = std::min({1.0, side / L.width, side / L.height});
    if (png) scale = std::min(scale, std::sqrt(kMaxGraphPngPixels / (L.width * L.height)));
    const int w = std::max(1, static_cast<int>(std::floor(L.width * scale)));
    const int h = std::max(1, static_cast<int>(std::floor(L.height * scale)));
    if (scale < 1.0 && note != nullptr) {
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.3g%%", scale * 100);
        *note = path + ": the network needs " + std::to_string(static_cast<long>(L.width)) + "x" +
                std::to_string(static_cast<long>(L.height)) + " pixels; drawn at " + percent + " (" +
                std::to_string(w) + "x" + std::to_string(h) + "), within the " +
                (png ? "PNG's limit of " + graph_png_limit() + "; an SVG draws it whole"
                     : "SVG's limit of " + std::to_string(static_cast<long>(kMaxSvgSide)) + " pixels a side");
    }
    return write_drawing(
        path, w, h,
        [&](cairo_t *cr, std::string &) {
            cairo_scale(cr, scale, scale);
            draw_background(cr, L.width, L.height);
            if (graph.nodes.empty()) {
                use_font(cr, 12);
                set_colour(cr, kLightText, 0.8);
                draw_text(cr, L.width / 2.0, L.height / 2.0 + 4, "an empty network", Align::centre);
                return true;
            }
            for (std::size_t k = 0; k < graph.wires.size(); ++k) draw_wire(cr, graph, L, k);
            for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
                draw_node(cr, graph.nodes[i], L.boxes[i]);
                draw_tags(cr, graph.nodes[i], L.boxes[i]);
            }
            return true;
        },
        error);
}

#else

bool write_graph(const Graph &, const std::string &path, std::string &error, std::string *) {
    error = cannot_write(path, kNoCairo);
    return false;
}

#endif

}  // namespace qvhost
