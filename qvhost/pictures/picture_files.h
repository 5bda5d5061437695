// What the picture writers share, all in picture_files.cpp: the wording of
// their messages, the one PNG encoder, and (where the build has cairo) the
// drawing surfaces, fonts and text helpers of the charts and graphs.  Every
// file is written whole through support's atomic writer.
#pragma once

#include <functional>
#include <string>

#ifdef QV_HAVE_CAIRO
#include <cairo.h>
#endif

namespace qvhost {

// "PATH: cannot write the image (REASON)" and "PATH: cannot read the image (REASON)".
std::string cannot_write(const std::string &path, const std::string &reason);
std::string cannot_read(const std::string &path, const std::string &reason);

// The largest side of a PNG: cairo's image surfaces end at 32767.
constexpr int kMaxPictureSide = 16384;

// Why a build without cairo draws nothing.
extern const char *const kNoCairo;

#ifdef QV_HAVE_CAIRO

// The one PNG encoder: an image surface as a PNG file, written whole.
bool write_png(const std::string &path, cairo_surface_t *image, std::string &error);

// The face of every label; DejaVu is in every Debian install (fonts-dejavu-core).
constexpr const char *kPictureFont = "DejaVu Sans";

// Selects the face at `size` pixels with the font options of every picture:
// grey anti-aliasing and unhinted advances, so that text measured on one
// surface is as wide on a PNG as on an SVG.
void use_font(cairo_t *cr, double size, bool bold = false);

struct Rgb {
    double r, g, b;  // 0..1
};
constexpr Rgb rgb_hex(unsigned hex) {
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0};
}
void set_colour(cairo_t *cr, const Rgb &c, double alpha = 1.0);

// A rounded rectangle as the current path.
void rounded_rectangle(cairo_t *cr, double x, double y, double width, double height, double radius);

// The advance width of a text in the current font.
double text_width(cairo_t *cr, const std::string &text);

// The user's text as drawn: made safe for cairo (control bytes and invalid
// UTF-8 escaped, as messages show them) and cut with "…" to `max_width`
// pixels in the current font.
std::string fit_text(cairo_t *cr, const std::string &text, double max_width);

// Draws a text with its baseline at y, its left edge, centre or right edge at x.
enum class Align { left, centre, right };
void draw_text(cairo_t *cr, double x, double y, const std::string &text, Align align = Align::left);

// A context on a one-pixel image, for measuring texts before a picture's
// size is known.
class MeasuringContext {
public:
    MeasuringContext();
    ~MeasuringContext();
    MeasuringContext(const MeasuringContext &) = delete;
    MeasuringContext &operator=(const MeasuringContext &) = delete;
    cairo_t *get() const { return cr_; }

private:
    cairo_surface_t *surface_;
    cairo_t *cr_;
};

// Draws a picture of width x height pixels with `draw` and writes it whole:
// a PNG (opaque RGB, kMaxPictureSide at most a side) or an SVG by the path's
// extension, any other an error.
// `draw` may fail with a reason; the message is "PATH: cannot write the image (REASON)".
using DrawFunction = std::function<bool(cairo_t *cr, std::string &reason)>;
bool write_drawing(const std::string &path, int width, int height, const DrawFunction &draw, std::string &error);

// Whether the path names a picture write_drawing can make; the reason if not.
bool drawing_format_known(const std::string &path, std::string &reason);

#endif

}  // namespace qvhost
