// What qvhost draws and writes besides text: images of evaluated values
// (PNG for looking, OpenEXR for the values as they are), line charts, and
// node networks drawn as the node editor shows them.  Every file is written
// whole or not at all (through a temporary file renamed when complete).
#pragma once

#include "refhost/network/render.h"

#include <cstdint>
#include <string>
#include <vector>

namespace refhost {
struct Preview;
}

namespace qvhost {

// The formats pictures are written in, chosen by the file's extension (in
// any case: ".png" and ".PNG" alike).
enum class PictureFormat { png, exr, svg, unknown };
PictureFormat picture_format(const std::string &path);
// The extension of a format, ".png" for png ("" for unknown).
const char *picture_extension(PictureFormat format);

// ---- Images of evaluated values ---------------------------------------------

// A grid of samples as a render gives it (refhost/network/render.h).
using refhost::ValueImage;

// The values a PNG shows from black to full brightness, the same on every
// channel.
struct ValueRange {
    double lo, hi;
};
// What an image maps from unless told: a vector's -1..1; a scalar's, an
// integer's and a colour's 0..1.
constexpr ValueRange kVectorRange{-1.0, 1.0};
constexpr ValueRange kUnitRange{0.0, 1.0};
ValueRange default_range(const ValueImage &image);

// An 8-bit RGB PNG: each channel mapped from [lo, hi] to [0, 255] and
// clamped, a scalar as grey; NaN as black, and everything black where the
// range is empty or not a number.
bool write_value_png(const ValueImage &image, ValueRange range, const std::string &path, std::string &error);
// The same with [lo, hi] for a scalar and the default range for a colour or
// a vector.
bool write_value_png(const ValueImage &image, double lo, double hi, const std::string &path, std::string &error);

// The type of an OpenEXR image's channels, and what each holds: a row per
// type, its name on the command line and the limits --help states.  A value
// beyond them (a whole number it cannot hold exactly, one too large, which
// becomes infinite, or one too small, which loses its digits or becomes 0)
// is written with a warning; within them a value keeps the type's digits.
enum class ExrType { float32, half };
struct ExrTypeRow {
    ExrType type;
    const char *name;
    const char *limits;
    bool (*cannot_hold)(double value);
};
extern const ExrTypeRow kExrTypes[2];
const ExrTypeRow &exr_type_row(ExrType type);
// "float" or "half"; false for any other name.
bool exr_type_from_name(const std::string &name, ExrType &type);

// An OpenEXR image of the values, channels of the type given (32-bit float
// unless told): channel Y for one channel, R, G, B for three.  False with a
// message where the build has no OpenEXR.
bool write_value_exr(const ValueImage &image, const std::string &path, std::string &error);
bool write_value_exr(const ValueImage &image, const std::string &path, ExrType type, std::string &error);
// The warning for the values of a rendered image (ValueImage::unheld) that an
// OpenEXR file of the type cannot hold, naming the first few and what is
// written instead; "" when there are none.
std::string exr_unheld_warning(const ValueImage &image, ExrType type, const std::string &path);
// The image as a PNG or an OpenEXR file by the path's extension; any other
// extension is an error.
bool write_value_image(const ValueImage &image, ValueRange range, const std::string &path, std::string &error,
                       ExrType exr_type = ExrType::float32);
bool read_value_exr(const std::string &path, ValueImage &image, std::string &error);
bool have_exr();

// A viewer's preview as a PNG of its size.
bool write_preview(const refhost::Preview &preview, const std::string &path, std::string &error);

// Rewrites an opaque PNG as an 8-bit palette image of its 256 most frequent
// colours, every other colour drawn as the nearest of them: charts and
// previews, whose few colours are blended only at edges, come out at half
// the size or less and look the same.  Without zlib the file is left as it is.
bool shrink_png(const std::string &path, std::string &error);

// Reads an 8-bit PNG back as RGB values 0..255 per channel (3 channels).
bool read_png_rgb(const std::string &path, ValueImage &image, std::string &error);

// ---- Line charts ----------------------------------------------------------------

struct ChartSeries {
    std::string name;  // in the legend
    std::vector<double> x, y;
};

struct Chart {
    std::string title, x_label, y_label;
    std::vector<ChartSeries> series;
    int width = 800, height = 480;
    bool legend = true;  // the legend beside the plot
};

// Axes with ticks at round numbers, the series as lines in distinct colours,
// a legend; non-finite points break a line.  PNG or SVG by the extension.
bool write_chart(const Chart &chart, const std::string &path, std::string &error);

// ---- Node networks ----------------------------------------------------------------

struct GraphPort {
    std::string name;
    int type = 0;     // connection type (1 colour, 2 scalar, 3 vector, 4 integer, 6 material)
    std::string tag;  // inputs only: what feeds it when no wire does ("0.5", "1,2,3", "@u"), "" for nothing
};

struct GraphNode {
    std::string name;                  // the network's name for it
    std::string display;               // the node's display name, e.g. "Sin"
    std::string server;                // e.g. "QvMs_SIN"
    int32_t colour[3] = {90, 90, 90};  // as the node set it, 0..255
    std::vector<GraphPort> inputs, outputs;
    std::vector<std::string> settings;  // its panel's settings, "Ope = \"A >= B\"", shown under the ports
};

struct GraphWire {
    int from_node, from_output;  // indices into Graph::nodes and that node's outputs
    int to_node, to_input;
};

struct Graph {
    std::vector<GraphNode> nodes;
    std::vector<GraphWire> wires;
};

// Draws the network left to right by depth (a node sits one column right of
// everything that feeds it): each node a box in its colour with its display
// name and network name, inputs on the left and outputs on the right, wires
// between them, constants and sample sources as small tags at their inputs,
// the panel's settings under the ports.
// SVG or PNG by the extension, of any size: a PNG beyond its limit (16384
// pixels a side, kMaxGraphPngPixels in all) is the whole drawing made
// smaller, and `note` (when given) says so; empty otherwise.
bool write_graph(const Graph &graph, const std::string &path, std::string &error, std::string *note = nullptr);
// The most pixels of a PNG of a network (256 MB to draw), and its limit as
// help and notes state it ("16384 pixels a side and 64 million in all").
constexpr double kMaxGraphPngPixels = 64e6;
std::string graph_png_limit();

}  // namespace qvhost
