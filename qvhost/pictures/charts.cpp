// Line charts drawn with cairo: axes with ticks at round numbers, grid
// lines, the series in distinct colours, a legend; PNG or SVG.
#include "qvhost/pictures/pictures.h"

#include "qvhost/pictures/picture_files.h"
#include "support/escaped_text.h"

#include <cmath>

#ifdef QV_HAVE_CAIRO
#include <algorithm>
#include <cstdio>
#endif

namespace qvhost {

#ifdef QV_HAVE_CAIRO

namespace {

// The smallest and largest chart drawn; below the smallest the labels leave
// no room for the plot.
constexpr int kMinWidth = 240, kMinHeight = 160;

constexpr double kPi = 3.141592653589793;

// ---- Look -----------------------------------------------------------------------

const Rgb kFigureBackground = rgb_hex(0xFFFFFF);
const Rgb kPlotBackground = rgb_hex(0xF7F8FA);
const Rgb kGrid = rgb_hex(0xE1E4EA);
const Rgb kZeroLine = rgb_hex(0xB9BEC8);
const Rgb kAxis = rgb_hex(0x8A909A);
const Rgb kText = rgb_hex(0x24282F);
const Rgb kMutedText = rgb_hex(0x565C66);
const Rgb kLegendBorder = rgb_hex(0xD3D7DE);

// Tableau's ten colours: told apart easily, also by most colour-blind
// readers.  Series after the tenth repeat them dashed, then dotted.
const Rgb kPalette[] = {rgb_hex(0x4E79A7), rgb_hex(0xF28E2B), rgb_hex(0xE15759), rgb_hex(0x76B7B2), rgb_hex(0x59A14F),
                        rgb_hex(0xEDC948), rgb_hex(0xB07AA1), rgb_hex(0xFF9DA7), rgb_hex(0x9C755F), rgb_hex(0xBAB0AC)};
constexpr int kPaletteSize = sizeof kPalette / sizeof kPalette[0];

constexpr double kTitleSize = 16, kLabelSize = 12.5, kTickSize = 11, kLegendSize = 12;
constexpr double kMargin = 16;     // around everything
constexpr double kTickLength = 5;  // outside the plot
constexpr double kLineWidth = 2;

void set_series_style(cairo_t *cr, int index) {
    set_colour(cr, kPalette[index % kPaletteSize]);
    cairo_set_line_width(cr, kLineWidth);
    static const double kDashed[] = {8, 4}, kDotted[] = {1.5, 3.5};
    switch ((index / kPaletteSize) % 3) {
    case 0: cairo_set_dash(cr, nullptr, 0, 0); break;
    case 1: cairo_set_dash(cr, kDashed, 2, 0); break;
    case 2: cairo_set_dash(cr, kDotted, 2, 0); break;
    }
}

// ---- Scales -----------------------------------------------------------------------

// An axis from lo to hi with ticks every `step`, a 1, 2 or 5 times a power of ten.
struct Scale {
    double lo = 0, hi = 1, step = 0.2;
    int ticks() const { return static_cast<int>(std::lround((hi - lo) / step)) + 1; }
    double tick(int i) const { return lo + i * step; }
};

// The smallest step of 1, 2 or 5 times a power of ten that is at least `raw`.
double round_step(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    return (f <= 1.0 + 1e-9 ? 1 : f <= 2.0 + 1e-9 ? 2 : f <= 5.0 + 1e-9 ? 5 : 10) * power;
}

// Bounds at whole steps around [lo, hi] and the step between: of the round
// steps near span / target, the one whose bounds waste the least room
// beyond the values, with a little weight on keeping near `target` steps,
// and more than `most` steps only where no step gives fewer.  Values all
// equal get a span of a tenth of their size (or 1 about zero), and no
// values at all 0..1.
Scale nice_scale(double lo, double hi, int target, int most) {
    Scale best;
    if (!(lo <= hi)) return best;
    if (lo == hi) {
        const double pad = lo == 0 ? 1.0 : std::fabs(lo) * 0.1;
        lo -= pad;
        hi += pad;
    }
    const double span = hi - lo;
    double best_score = INFINITY;
    for (double step = round_step(span / target / 2.5); step <= round_step(span / target * 2.5) * 1.0001;
         step = round_step(step * 1.5)) {
        Scale s;
        s.step = step;
        // The slack keeps a bound that is a whole step already from moving out by one.
        s.lo = std::floor(lo / step + 1e-9) * step;
        s.hi = std::ceil(hi / step - 1e-9) * step;
        if (s.hi <= s.lo) s.hi = s.lo + step;
        const int steps = s.ticks() - 1;
        const double score =
            (s.hi - s.lo) / span - 1 + 0.1 * std::fabs(steps - target) / target + 1000.0 * std::max(0, steps - most);
        if (score < best_score) best = s, best_score = score;
    }
    // Values a few units in the last place apart: their own bounds.
    if (!(best.hi - best.lo > 0) || !std::isfinite(best.hi - best.lo)) best = {lo, hi, hi - lo};
    return best;
}

// A tick's text: as many decimals as the step has, or for numbers from a
// million up and for fine steps between numbers below a thousandth the
// exponent form with as many digits as the step needs and no more ("2e8",
// "1.2e9", "-5e-7"); never "-0".
std::string tick_text(const Scale &s, double v) {
    if (std::fabs(v) < s.step * 1e-6) v = 0;
    const double magnitude = std::max(std::fabs(s.lo), std::fabs(s.hi));
    const int step_power = static_cast<int>(std::floor(std::log10(s.step) + 1e-9));
    char buf[64];
    if (magnitude < 1e6 && (step_power >= -5 || magnitude >= 1e-3)) {
        std::snprintf(buf, sizeof buf, "%.*f", std::clamp(-step_power, 0, 17), v);
        return buf;
    }
    if (v == 0) return "0";
    const int value_power = static_cast<int>(std::floor(std::log10(std::fabs(v)) + 1e-9));
    std::snprintf(buf, sizeof buf, "%.*e", std::clamp(value_power - step_power, 0, 12), v);
    // "1.50e+09" as "1.5e9".
    std::string text = buf;
    const std::string::size_type e = text.find('e');
    std::string mantissa = text.substr(0, e), exponent = text.substr(e + 1);
    if (mantissa.find('.') != std::string::npos) {
        mantissa.erase(mantissa.find_last_not_of('0') + 1);
        if (mantissa.back() == '.') mantissa.pop_back();
    }
    const bool negative = exponent[0] == '-';
    exponent.erase(0, exponent.find_first_not_of("+-0"));
    return mantissa + "e" + (negative ? "-" : "") + (exponent.empty() ? "0" : exponent);
}

// ---- Layout -----------------------------------------------------------------------

struct Layout {
    double plot_x = 0, plot_y = 0, plot_w = 0, plot_h = 0;
    Scale xs, ys;
    std::vector<std::string> x_ticks, y_ticks;
    double legend_x = 0, legend_w = 0;
    std::vector<std::string> legend_names;  // as shown, cut to fit
    int legend_rows = 0;                    // series shown; the rest counted as "+N more"

    double px(double x) const { return plot_x + (x - xs.lo) / (xs.hi - xs.lo) * plot_w; }
    double py(double y) const { return plot_y + plot_h - (y - ys.lo) / (ys.hi - ys.lo) * plot_h; }
};

constexpr double kLegendPad = 10, kLegendRow = 20, kLegendSwatch = 22, kLegendGap = 8;

std::string series_name(const Chart &chart, std::size_t i) {
    return chart.series[i].name.empty() ? "series " + std::to_string(i + 1) : chart.series[i].name;
}

// A finite value as the chart takes it: kept within 1e300 of 0, so that
// spans between values stay finite.
double kept(double v) { return std::clamp(v, -1e300, 1e300); }

Layout lay_out(cairo_t *cr, const Chart &chart, bool &has_data) {
    Layout L;
    // The bounds of the finite values.
    double x_lo = INFINITY, x_hi = -INFINITY, y_lo = INFINITY, y_hi = -INFINITY;
    for (const ChartSeries &s : chart.series)
        for (std::size_t i = 0; i < s.x.size(); ++i)
            if (std::isfinite(s.x[i]) && std::isfinite(s.y[i])) {
                const double x = kept(s.x[i]), y = kept(s.y[i]);
                x_lo = std::min(x_lo, x), x_hi = std::max(x_hi, x);
                y_lo = std::min(y_lo, y), y_hi = std::max(y_hi, y);
            }
    has_data = x_lo <= x_hi;

    const double W = chart.width, H = chart.height;
    // Top to bottom: title, plot, tick labels, x label.
    const double title_h = chart.title.empty() ? 0 : kTitleSize + 12;
    const double x_ticks_h = kTickLength + 4 + kTickSize + 2;
    const double x_label_h = chart.x_label.empty() ? 0 : kLabelSize + 10;
    L.plot_y = kMargin + title_h;
    L.plot_h = std::max(20.0, H - L.plot_y - x_ticks_h - x_label_h - kMargin);
    L.ys = nice_scale(y_lo, y_hi, std::clamp(static_cast<int>(L.plot_h / 55), 2, 10),
                      std::max(2, static_cast<int>(L.plot_h / 28)));

    use_font(cr, kTickSize);
    double y_ticks_w = 0;
    for (int i = 0; i < L.ys.ticks(); ++i) {
        L.y_ticks.push_back(tick_text(L.ys, L.ys.tick(i)));
        y_ticks_w = std::max(y_ticks_w, text_width(cr, L.y_ticks.back()));
    }

    // The legend on the right, its names cut to a third of the width at most.
    use_font(cr, kLegendSize);
    double name_w = 0;
    const double name_limit = std::max(60.0, W / 3 - 2 * kLegendPad - kLegendSwatch - kLegendGap);
    for (std::size_t i = 0; i < chart.series.size(); ++i) {
        L.legend_names.push_back(fit_text(cr, series_name(chart, i), name_limit));
        name_w = std::max(name_w, text_width(cr, L.legend_names.back()));
    }
    const int fit_rows = std::max(1, static_cast<int>((L.plot_h - 2 * kLegendPad) / kLegendRow));
    const int n = static_cast<int>(chart.series.size());
    L.legend_rows = n <= fit_rows ? n : fit_rows - 1;
    if (n > L.legend_rows) name_w = std::max(name_w, text_width(cr, "+" + std::to_string(n) + " more"));
    L.legend_w = n == 0 || !chart.legend ? 0 : 2 * kLegendPad + kLegendSwatch + kLegendGap + name_w;

    // Left to right: y label (turned), tick labels, plot, legend.
    const double y_label_w = chart.y_label.empty() ? 0 : kLabelSize + 12;
    L.plot_x = kMargin + y_label_w + y_ticks_w + kTickLength + 6;
    const double right = W - kMargin - (L.legend_w > 0 ? L.legend_w + 18 : 8);
    L.plot_w = std::max(20.0, right - L.plot_x);
    L.legend_x = L.plot_x + L.plot_w + 18;
    // Fewer x ticks while their labels would touch.
    use_font(cr, kTickSize);
    for (int most = std::max(2, static_cast<int>(L.plot_w / 55)), tries = 0; tries < 8;
         most = std::max(1, L.xs.ticks() - 2), ++tries) {
        L.xs = nice_scale(x_lo, x_hi, std::clamp(static_cast<int>(L.plot_w / 90), 2, 10), most);
        L.x_ticks.clear();
        double widest = 0;
        for (int i = 0; i < L.xs.ticks(); ++i) {
            L.x_ticks.push_back(tick_text(L.xs, L.xs.tick(i)));
            widest = std::max(widest, text_width(cr, L.x_ticks.back()));
        }
        if (L.xs.ticks() <= 2 || widest + 14 <= L.plot_w / (L.xs.ticks() - 1)) break;
    }
    return L;
}

// ---- Drawing -----------------------------------------------------------------------

void draw_axes(cairo_t *cr, const Chart &chart, const Layout &L) {
    set_colour(cr, kPlotBackground);
    cairo_rectangle(cr, L.plot_x, L.plot_y, L.plot_w, L.plot_h);
    cairo_fill(cr);

    // Grid lines through pixel centres, so that they are one pixel sharp.
    cairo_set_line_width(cr, 1);
    auto crisp = [](double v) { return std::floor(v) + 0.5; };
    for (int i = 0; i < L.ys.ticks(); ++i) {
        const double v = L.ys.tick(i), y = crisp(L.py(v));
        set_colour(cr, std::fabs(v) < L.ys.step * 1e-6 && i > 0 && i + 1 < L.ys.ticks() ? kZeroLine : kGrid);
        cairo_move_to(cr, L.plot_x, y);
        cairo_line_to(cr, L.plot_x + L.plot_w, y);
        cairo_stroke(cr);
    }
    for (int i = 0; i < L.xs.ticks(); ++i) {
        const double v = L.xs.tick(i), x = crisp(L.px(v));
        set_colour(cr, std::fabs(v) < L.xs.step * 1e-6 && i > 0 && i + 1 < L.xs.ticks() ? kZeroLine : kGrid);
        cairo_move_to(cr, x, L.plot_y);
        cairo_line_to(cr, x, L.plot_y + L.plot_h);
        cairo_stroke(cr);
    }

    // The axes on the left and at the bottom, with their ticks outside.
    set_colour(cr, kAxis);
    const double left = crisp(L.plot_x) - 1, bottom = crisp(L.plot_y + L.plot_h);
    cairo_move_to(cr, left, L.plot_y);
    cairo_line_to(cr, left, bottom);
    cairo_line_to(cr, L.plot_x + L.plot_w, bottom);
    for (int i = 0; i < L.ys.ticks(); ++i) {
        cairo_move_to(cr, left - kTickLength, crisp(L.py(L.ys.tick(i))));
        cairo_line_to(cr, left, crisp(L.py(L.ys.tick(i))));
    }
    for (int i = 0; i < L.xs.ticks(); ++i) {
        cairo_move_to(cr, crisp(L.px(L.xs.tick(i))), bottom);
        cairo_line_to(cr, crisp(L.px(L.xs.tick(i))), bottom + kTickLength);
    }
    cairo_stroke(cr);

    // Tick labels: y right-aligned beside the axis and centred on the tick,
    // x centred under it (kept inside the picture at the ends).
    use_font(cr, kTickSize);
    set_colour(cr, kMutedText);
    for (int i = 0; i < L.ys.ticks(); ++i)
        draw_text(cr, left - kTickLength - 5, L.py(L.ys.tick(i)) + kTickSize * 0.36, L.y_ticks[i], Align::right);
    const double x_label_y = bottom + kTickLength + 4 + kTickSize * 0.8;
    for (int i = 0; i < L.xs.ticks(); ++i) {
        const double w = text_width(cr, L.x_ticks[i]);
        const double x = std::min(std::max(L.px(L.xs.tick(i)), kMargin / 2 + w / 2), chart.width - kMargin / 2 - w / 2);
        draw_text(cr, x, x_label_y, L.x_ticks[i], Align::centre);
    }

    // Axis labels and title.
    use_font(cr, kLabelSize);
    set_colour(cr, kText);
    if (!chart.x_label.empty())
        draw_text(cr, L.plot_x + L.plot_w / 2, chart.height - kMargin - 2, fit_text(cr, chart.x_label, L.plot_w),
                  Align::centre);
    if (!chart.y_label.empty()) {
        cairo_save(cr);
        cairo_translate(cr, kMargin + kLabelSize * 0.8, L.plot_y + L.plot_h / 2);
        cairo_rotate(cr, -kPi / 2);
        draw_text(cr, 0, 0, fit_text(cr, chart.y_label, L.plot_h), Align::centre);
        cairo_restore(cr);
    }
    if (!chart.title.empty()) {
        use_font(cr, kTitleSize, true);
        const std::string title = fit_text(cr, chart.title, chart.width - 2 * kMargin);
        const double w = text_width(cr, title);
        const double x = std::clamp(L.plot_x + L.plot_w / 2, kMargin + w / 2, chart.width - kMargin - w / 2);
        draw_text(cr, x, kMargin + kTitleSize * 0.8, title, Align::centre);
    }
}

// A series as lines between its finite points: a point that is not finite
// breaks the line, and a finite point alone between breaks is a dot.
void draw_series(cairo_t *cr, const ChartSeries &s, int index, const Layout &L) {
    set_series_style(cr, index);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    const std::size_t n = s.x.size();
    std::size_t i = 0;
    while (i < n) {
        if (!(std::isfinite(s.x[i]) && std::isfinite(s.y[i]))) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < n && std::isfinite(s.x[end]) && std::isfinite(s.y[end])) ++end;
        if (end - i == 1) {
            cairo_arc(cr, L.px(kept(s.x[i])), L.py(kept(s.y[i])), kLineWidth + 0.5, 0, 2 * kPi);
            cairo_fill(cr);
        } else {
            cairo_move_to(cr, L.px(kept(s.x[i])), L.py(kept(s.y[i])));
            for (std::size_t k = i + 1; k < end; ++k) cairo_line_to(cr, L.px(kept(s.x[k])), L.py(kept(s.y[k])));
            cairo_stroke(cr);
        }
        i = end;
    }
    cairo_set_dash(cr, nullptr, 0, 0);
}

void draw_legend(cairo_t *cr, const Chart &chart, const Layout &L) {
    const int n = static_cast<int>(chart.series.size());
    if (n == 0 || !chart.legend) return;
    const int rows = L.legend_rows + (n > L.legend_rows ? 1 : 0);
    const double x = std::floor(L.legend_x) + 0.5, y = std::floor(L.plot_y) + 0.5;
    rounded_rectangle(cr, x, y, L.legend_w, 2 * kLegendPad + rows * kLegendRow - 4, 5);
    set_colour(cr, kFigureBackground);
    cairo_fill_preserve(cr);
    set_colour(cr, kLegendBorder);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    use_font(cr, kLegendSize);
    for (int i = 0; i < rows; ++i) {
        const double mid = y + kLegendPad + i * kLegendRow + kLegendRow / 2 - 2;
        const double text_x = x + kLegendPad + kLegendSwatch + kLegendGap;
        if (i == L.legend_rows) {
            set_colour(cr, kMutedText);
            draw_text(cr, text_x, mid + kLegendSize * 0.36, "+" + std::to_string(n - L.legend_rows) + " more");
            break;
        }
        set_series_style(cr, i);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        cairo_move_to(cr, x + kLegendPad, mid);
        cairo_line_to(cr, x + kLegendPad + kLegendSwatch, mid);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        set_colour(cr, kText);
        draw_text(cr, text_x, mid + kLegendSize * 0.36, L.legend_names[i]);
    }
}

bool draw_chart(cairo_t *cr, const Chart &chart) {
    bool has_data = false;
    const Layout L = lay_out(cr, chart, has_data);

    set_colour(cr, kFigureBackground);
    cairo_paint(cr);
    draw_axes(cr, chart, L);

    // The lines are clipped to the plot with room for their width at its edges.
    cairo_save(cr);
    cairo_rectangle(cr, L.plot_x - kLineWidth, L.plot_y - kLineWidth, L.plot_w + 2 * kLineWidth,
                    L.plot_h + 2 * kLineWidth);
    cairo_clip(cr);
    for (std::size_t i = 0; i < chart.series.size(); ++i) draw_series(cr, chart.series[i], static_cast<int>(i), L);
    cairo_restore(cr);

    if (!has_data) {
        use_font(cr, kLabelSize);
        set_colour(cr, kMutedText);
        draw_text(cr, L.plot_x + L.plot_w / 2, L.plot_y + L.plot_h / 2, "no finite values to plot", Align::centre);
    }
    draw_legend(cr, chart, L);
    return true;
}

}  // namespace

bool write_chart(const Chart &chart, const std::string &path, std::string &error) {
    std::string reason;
    if (!drawing_format_known(path, reason)) {
        error = cannot_write(path, reason);
        return false;
    }
    if (chart.width < kMinWidth || chart.height < kMinHeight || chart.width > kMaxPictureSide ||
        chart.height > kMaxPictureSide) {
        error = cannot_write(path, "a chart of " + std::to_string(chart.width) + "x" + std::to_string(chart.height) +
                                       " pixels: it must be " + std::to_string(kMinWidth) + "x" +
                                       std::to_string(kMinHeight) + " to " + std::to_string(kMaxPictureSide) + "x" +
                                       std::to_string(kMaxPictureSide));
        return false;
    }
    for (const ChartSeries &s : chart.series)
        if (s.x.size() != s.y.size()) {
            error = cannot_write(path, "series \"" + support::shown(s.name) + "\" has " + std::to_string(s.x.size()) +
                                           " x values and " + std::to_string(s.y.size()) + " y values");
            return false;
        }
    return write_drawing(
        path, chart.width, chart.height, [&chart](cairo_t *cr, std::string &) { return draw_chart(cr, chart); }, error);
}

#else

bool write_chart(const Chart &, const std::string &path, std::string &error) {
    error = cannot_write(path, kNoCairo);
    return false;
}

#endif

}  // namespace qvhost
