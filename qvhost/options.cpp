#include "qvhost/options.h"

#include "support/escaped_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace qvhost {

namespace {

std::string range_text(Range r) {
    auto num = [](double d) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", d);
        return std::string(buf);
    };
    if (r.lo_open) return "above " + num(r.lo) + " and at most " + num(r.hi);
    return "from " + num(r.lo) + " to " + num(r.hi);
}

std::string bad(const std::string &option, const std::string &text, const std::string &what) {
    return option + ": \"" + support::shown(text) + "\" is not " + what;
}

bool to_double(const std::string &text, double &out) {
    const char *b = text.data(), *e = b + text.size();
    if (b != e && *b == '+') ++b;
    if (b == e) return false;
    const auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

bool in_range(double d, Range r) {
    if (!std::isfinite(d)) return false;
    if (d != 0.0 && std::fabs(d) < 2.2250738585072014e-308) return false;  // a denormal
    if (r.lo_open ? !(d > r.lo) : !(d >= r.lo)) return false;
    return d <= r.hi;
}

}  // namespace

bool parse_number(const std::string &option, const std::string &text, const char *what, Range range, double &out,
                  std::string &error) {
    double d = 0.0;
    if (!to_double(text, d) || !in_range(d, range)) {
        error = bad(option, text, std::string(what) + " " + range_text(range));
        return false;
    }
    out = d;
    return true;
}

bool parse_integer(const std::string &option, const std::string &text, const char *what, long long lo, long long hi,
                   long long &out, std::string &error) {
    const char *b = text.data(), *e = b + text.size();
    if (b != e && *b == '+') ++b;
    long long v = 0;
    const auto r = std::from_chars(b, e, v);
    if (b == e || r.ec != std::errc() || r.ptr != e || v < lo || v > hi) {
        error = bad(option, text, std::string(what) + " from " + std::to_string(lo) + " to " + std::to_string(hi));
        return false;
    }
    out = v;
    return true;
}

bool parse_frames(const std::string &option, const std::string &text, int &first, int &last, std::string &error) {
    // The dash that separates: not one that signs the first number.
    const std::size_t dash = text.find('-', 1);
    long long a = 0, b = 0;
    const char *what = "a frame";
    if (dash == std::string::npos) {
        if (!parse_integer(option, text, what, -kMaxFrame, kMaxFrame, a, error)) return false;
        b = a;
    } else {
        std::string ignored;
        if (!parse_integer(option, text.substr(0, dash), what, -kMaxFrame, kMaxFrame, a, ignored) ||
            !parse_integer(option, text.substr(dash + 1), what, -kMaxFrame, kMaxFrame, b, ignored) || b < a) {
            error = bad(option, text,
                        "a range of frames A-B, A <= B, each from " + std::to_string(-kMaxFrame) + " to " +
                            std::to_string(kMaxFrame));
            return false;
        }
    }
    first = static_cast<int>(a);
    last = static_cast<int>(b);
    return true;
}

bool parse_pair(const std::string &option, const std::string &text, const char *what, Range range, double &a, double &b,
                std::string &error) {
    const std::size_t comma = text.find(',');
    std::string ignored;
    if (comma == std::string::npos || !parse_number(option, text.substr(0, comma), what, range, a, ignored) ||
        !parse_number(option, text.substr(comma + 1), what, range, b, ignored)) {
        error = bad(option, text, std::string("two numbers A,B, each ") + range_text(range));
        return false;
    }
    return true;
}

bool parse_size(const std::string &option, const std::string &text, int max_side, int &width, int &height,
                std::string &error) {
    const std::size_t x = text.find('x');
    long long w = 0, h = 0;
    std::string ignored;
    if (x == std::string::npos || !parse_integer(option, text.substr(0, x), "", 1, max_side, w, ignored) ||
        !parse_integer(option, text.substr(x + 1), "", 1, max_side, h, ignored)) {
        error = bad(option, text, "a size WxH, each side from 1 to " + std::to_string(max_side));
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool parse_frame_span(const std::string &fps, bool frames_given, const std::string &frames, const std::string &frame,
                      FrameSpan &span, std::string &error) {
    if (!parse_number("--fps", fps, "a frame rate", kFrameRates, span.fps, error)) return false;
    if (frames_given && !frame.empty()) {
        error = "--frame and --frames: give one frame or a range of frames, not both";
        return false;
    }
    if (frames_given) return parse_frames("--frames", frames, span.first, span.last, error);
    long long f = 0;
    if (!parse_integer("--frame", frame.empty() ? "0" : frame, "a frame", -kMaxFrame, kMaxFrame, f, error))
        return false;
    span.first = span.last = static_cast<int>(f);
    return true;
}

}  // namespace qvhost
