// The application's node drawing service ("NodeDrawFuncs") and the node
// preview: a node's custom preview callback draws lines, filled rectangles
// and texts into its preview area.  Every call is recorded exactly as made
// (kind, colour word, coordinates, text), which is what tests compare; the
// recording can then be drawn into an image and written as a PNG where the
// build has cairo.
#pragma once

#include "host/host_panel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace refhost {

class Network;

struct DrawCall {
    enum class Kind { line, box, text };
    Kind kind = Kind::box;
    uint32_t colour = 0;  // the drawing colour word as given
    int x = 0, y = 0;     // line: first end; box: corner; text: left and top of the line
    int x2 = 0, y2 = 0;   // line: second end; box: width and height
    std::string text;

    // "box 0,0 120x80 #000000", "line 0,37 120,37 #F060F0",
    // "text 0,13 #B0B0B0 +0.000000": colours as #RRGGBB, decoded.
    std::string describe() const;
};

struct Preview {
    int node_id = 0;
    int width = 0, height = 0;
    std::vector<DrawCall> calls;
    int stray_calls = 0;  // calls naming another node while this one drew
    long evaluations = 0;  // node outputs evaluated for what the preview shows
    std::string error;    // why nothing was drawn; empty on success

    bool ok() const { return error.empty(); }
    // The texts drawn, in order, each as "x,y #RRGGBB text".
    std::vector<std::string> texts() const;
};

// The service's operation table, answered for "NodeDrawFuncs".
const QvNodeDrawFuncs &draw_funcs();

// The sample a preview shows: what feeds the node's inputs is evaluated
// there, each output once (through a memo, as the network's memos reuse
// values), sample sources reading its u,v, time and frame.
struct PreviewSample {
    double u = 0.5, v = 0.5;
    double time = 0.0;
    int frame = 0;
};

// Calls a node's custom preview callback with the preview area's size and
// returns what it drew.  The error names the node when it is unknown, has no
// preview callback, or the size is not positive.
Preview render_preview(Network &net, int node_id, int width, int height, const PreviewSample &at = {});

// Draw calls that arrived while no preview of their node was being drawn.
int stray_draw_calls();

// A drawing colour word decoded as the application does, and its #RRGGBB text.
struct Rgb {
    uint8_t r, g, b;
};
Rgb decode_colour(uint32_t word);
std::string colour_text(uint32_t word);

// An image as cairo keeps it: ARGB32 words, premultiplied alpha, row by row.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Whether this build draws images (it has cairo); without it the functions
// below fail with a message and previews are only recorded.
bool have_cairo();

// Lets go of the fonts cairo and fontconfig looked up when the process
// exits, so that leak checkers see nothing left behind; everything that
// draws text calls it before drawing.
void release_fonts_at_exit();

// The text face and size of previews: a monospace face whose lines fit the
// 13-pixel rows that the viewers draw.
constexpr const char *kPreviewFont = "DejaVu Sans Mono";
constexpr double kPreviewFontSize = 11.0;

// Draws the recorded calls into an image of the preview's size: colours
// decoded as the application does, rectangles filled, lines one pixel
// wide through pixel centres, texts with y the top of the line.
bool draw_preview(const Preview &preview, Image &image, std::string &error);
bool read_png(const std::string &path, Image &image, std::string &error);

}  // namespace refhost
