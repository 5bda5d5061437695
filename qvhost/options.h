// Numbers and lists given on qvhost's command line, checked one way: every
// number finite and in its range, every error one line that names the option
// and shows the text as given ("--fps: \"0\" is not a frame rate above 0").
#pragma once

#include <string>

namespace qvhost {

struct Range {
    double lo, hi;
    bool lo_open = false;  // lo itself is not allowed
};

// A decimal number in the range; false with a message naming the option.
bool parse_number(const std::string &option, const std::string &text, const char *what, Range range, double &out,
                  std::string &error);
// A decimal integer in the range.
bool parse_integer(const std::string &option, const std::string &text, const char *what, long long lo, long long hi,
                   long long &out, std::string &error);
// "A-B" or "F": a range of frames, each in [lo, hi], A <= B.
bool parse_frames(const std::string &option, const std::string &text, int &first, int &last, std::string &error);
// "U,V" or "LO,HI": two numbers.
bool parse_pair(const std::string &option, const std::string &text, const char *what, Range range, double &a, double &b,
                std::string &error);
// "WxH": a size in pixels, each side 1 to max_side.
bool parse_size(const std::string &option, const std::string &text, int max_side, int &width, int &height,
                std::string &error);

// The frames a command may run over, and the frame rates it accepts.
constexpr int kMaxFrame = 9999999;
constexpr Range kFrameRates{0.001, 1000.0};

// The frames a command runs over, at a frame rate.
struct FrameSpan {
    int first = 0, last = 0;
    double fps = 30.0;
};

// --fps, then --frames A-B where it was given (`frames_given`), else --frame
// F ("" for 0) as a span of one frame.
bool parse_frame_span(const std::string &fps, bool frames_given, const std::string &frames, const std::string &frame,
                      FrameSpan &span, std::string &error);

}  // namespace qvhost
