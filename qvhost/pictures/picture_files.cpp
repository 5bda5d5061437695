// Writing pictures out: the format by the extension, the one PNG encoder,
// previews as PNGs, and the cairo surfaces, fonts and text helpers that the
// charts and the graph drawings share.
#include "qvhost/pictures/picture_files.h"

#include "qvhost/pictures/pictures.h"

#include "support/escaped_text.h"

#include "refhost/draw.h"
#include "support/atomic_file.h"
#include "support/file_reading.h"

#include <cstdio>
#include <cstring>

#ifdef QV_HAVE_CAIRO
#include <cairo-svg.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#endif

#ifdef QV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace qvhost {

std::string cannot_write(const std::string &path, const std::string &reason) {
    return path + ": cannot write the image (" + reason + ")";
}

std::string cannot_read(const std::string &path, const std::string &reason) {
    return path + ": cannot read the image (" + reason + ")";
}

const char *const kNoCairo = "this build draws no images: it was made without cairo";

namespace {

// Each picture format and its extension, a row each.
struct PictureExtension {
    PictureFormat format;
    const char *extension;
};
constexpr PictureExtension kPictureExtensions[] = {
    {PictureFormat::png, ".png"},
    {PictureFormat::exr, ".exr"},
    {PictureFormat::svg, ".svg"},
};

}  // namespace

PictureFormat picture_format(const std::string &path) {
    const std::string ext = support::file_extension(path);
    for (const PictureExtension &row : kPictureExtensions)
        if (ext == row.extension) return row.format;
    return PictureFormat::unknown;
}

const char *picture_extension(PictureFormat format) {
    for (const PictureExtension &row : kPictureExtensions)
        if (format == row.format) return row.extension;
    return "";
}

#ifdef QV_HAVE_CAIRO

namespace {

// cairo's stream writers append to a byte string.
cairo_status_t append_bytes(void *closure, const unsigned char *data, unsigned int length) {
    static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool write_png(const std::string &path, cairo_surface_t *image, std::string &error) {
    std::string bytes;
    const cairo_status_t status = cairo_surface_write_to_png_stream(image, append_bytes, &bytes);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cannot_write(path, cairo_status_to_string(status));
        return false;
    }
    return support::write_file_atomically(path, bytes, error);
}

bool write_preview(const refhost::Preview &preview, const std::string &path, std::string &error) {
    refhost::Image pixels;
    if (!refhost::draw_preview(preview, pixels, error)) {
        error = path + ": " + error;
        return false;
    }
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels.width, pixels.height);
    cairo_surface_flush(s);
    unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < pixels.height; ++y)
        std::memcpy(data + static_cast<std::size_t>(y) * stride,
                    &pixels.pixels[static_cast<std::size_t>(y) * pixels.width], sizeof(uint32_t) * pixels.width);
    cairo_surface_mark_dirty(s);
    const bool written = write_png(path, s, error);
    cairo_surface_destroy(s);
    return written;
}

void use_font(cairo_t *cr, double size, bool bold) {
    refhost::release_fonts_at_exit();
    cairo_select_font_face(cr, kPictureFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_font_options_t *fo = cairo_font_options_create();
    cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, fo);
    cairo_font_options_destroy(fo);
}

void set_colour(cairo_t *cr, const Rgb &c, double alpha) {
    if (alpha >= 1.0)
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
    else
        cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void rounded_rectangle(cairo_t *cr, double x, double y, double width, double height, double radius) {
    constexpr double kQuarter = 1.5707963267948966;
    radius = std::min(radius, std::min(width, height) / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -kQuarter, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, kQuarter);
    cairo_arc(cr, x + radius, y + height - radius, radius, kQuarter, 2 * kQuarter);
    cairo_arc(cr, x + radius, y + radius, radius, 2 * kQuarter, 3 * kQuarter);
    cairo_close_path(cr);
}

double text_width(cairo_t *cr, const std::string &text) {
    cairo_text_extents_t te;
    cairo_text_extents(cr, text.c_str(), &te);
    return te.x_advance;
}

std::string fit_text(cairo_t *cr, const std::string &text, double max_width) {
    const std::string safe = support::shown(text);
    if (text_width(cr, safe) <= max_width) return safe;
    static const std::string kEllipsis = "\xE2\x80\xA6";
    // The longest prefix, whole characters only, that fits with the ellipsis.
    std::string best;
    for (std::size_t i = 0; i < safe.size();) {
        const std::size_t next = i + support::utf8_sequence_length(safe, i);
        const std::string candidate = safe.substr(0, next) + kEllipsis;
        if (text_width(cr, candidate) > max_width) break;
        best = safe.substr(0, next);
        i = next;
    }
    return best + kEllipsis;
}

void draw_text(cairo_t *cr, double x, double y, const std::string &text, Align align) {
    double left = x;
    if (align != Align::left) {
        const double w = text_width(cr, text);
        left = align == Align::centre ? x - w / 2 : x - w;
    }
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, text.c_str());
    cairo_new_path(cr);
}

MeasuringContext::MeasuringContext()
    : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1)), cr_(cairo_create(surface_)) {}

MeasuringContext::~MeasuringContext() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

bool drawing_format_known(const std::string &path, std::string &reason) {
    const PictureFormat format = picture_format(path);
    if (format == PictureFormat::png || format == PictureFormat::svg) return true;
    reason = "the name must end in .png or .svg";
    return false;
}

bool write_drawing(const std::string &path, int width, int height, const DrawFunction &draw, std::string &error) {
    const bool png = picture_format(path) == PictureFormat::png;
    std::string reason;
    if (!drawing_format_known(path, reason)) {
        error = cannot_write(path, reason);
        return false;
    }
    if (width < 1 || height < 1 || (png && (width > kMaxPictureSide || height > kMaxPictureSide))) {
        error = cannot_write(path, "a picture of " + std::to_string(width) + "x" + std::to_string(height) +
                                       " pixels: each side must be 1 to " + std::to_string(kMaxPictureSide));
        return false;
    }
    std::string bytes;
    cairo_surface_t *s = png ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)
                             : cairo_svg_surface_create_for_stream(append_bytes, &bytes, width, height);
    // An SVG measured in pixels, as the PNG is (cairo's default unit is the point).
    if (!png) cairo_svg_surface_set_document_unit(s, CAIRO_SVG_UNIT_PX);
    cairo_t *cr = cairo_create(s);
    bool drawn = draw(cr, reason);
    if (drawn && cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        reason = std::string("drawing failed: ") + cairo_status_to_string(cairo_status(cr));
        drawn = false;
    }
    cairo_destroy(cr);
    if (drawn && png) {
        drawn = write_png(path, s, error);
        cairo_surface_destroy(s);
        return drawn;
    }
    if (drawn) {
        cairo_surface_finish(s);  // the SVG's closing text goes to the stream now
        const cairo_status_t status = cairo_surface_status(s);
        if (status != CAIRO_STATUS_SUCCESS) {
            reason = cairo_status_to_string(status);
            drawn = false;
        }
    }
    cairo_surface_destroy(s);
    if (!drawn) {
        error = cannot_write(path, reason);
        return false;
    }
    return support::write_file_atomically(path, bytes, error);
}

#else

bool write_preview(const refhost::Preview &, const std::string &path, std::string &error) {
    error = cannot_write(path, kNoCairo);
    return false;
}

#endif

#if defined(QV_HAVE_CAIRO) && defined(QV_HAVE_ZLIB)

namespace {

void put_u32(std::string &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// A PNG chunk: length, type, data and the CRC of type and data.
void put_chunk(std::string &out, const char *type, const std::string &data) {
    put_u32(out, static_cast<uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    put_u32(out, static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(body.data()),
                                             static_cast<uInt>(body.size()))));
}

int distance2(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int c = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        d += c * c;
    }
    return d;
}

}  // namespace

bool shrink_png(const std::string &path, std::string &error) {
    refhost::Image image;
    if (!refhost::read_png(path, image, error)) return false;
    // The palette: the most frequent colours first, ties by colour value, so
    // that the same picture always gives the same file.
    std::unordered_map<uint32_t, uint32_t> counts;
    for (uint32_t px : image.pixels) ++counts[px & 0xFFFFFFu];
    std::vector<std::pair<uint32_t, uint32_t>> colours(counts.begin(), counts.end());
    std::sort(colours.begin(), colours.end(), [](const auto &a, const auto &b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    const std::size_t size = std::min<std::size_t>(colours.size(), 256);
    std::unordered_map<uint32_t, uint8_t> index;
    std::string palette;
    for (std::size_t i = 0; i < size; ++i) {
        index[colours[i].first] = static_cast<uint8_t>(i);
        for (int shift = 16; shift >= 0; shift -= 8) palette += static_cast<char>((colours[i].first >> shift) & 0xFF);
    }
    for (std::size_t i = size; i < colours.size(); ++i) {
        std::size_t best = 0;
        for (std::size_t k = 1; k < size; ++k)
            if (distance2(colours[k].first, colours[i].first) < distance2(colours[best].first, colours[i].first))
                best = k;
        index[colours[i].first] = static_cast<uint8_t>(best);
    }
    // Scanlines of palette indices, each after filter type 0.
    std::string raw;
    raw.reserve(static_cast<std::size_t>(image.height) * (image.width + 1));
    for (int y = 0; y < image.height; ++y) {
        raw += '\0';
        for (int x = 0; x < image.width; ++x) raw += static_cast<char>(index[image.at(x, y) & 0xFFFFFFu]);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(&packed[0]), &packed_size, reinterpret_cast<const Bytef *>(raw.data()),
                  static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
        error = cannot_write(path, "compression failed");
        return false;
    }
    packed.resize(packed_size);
    std::string header;
    put_u32(header, static_cast<uint32_t>(image.width));
    put_u32(header, static_cast<uint32_t>(image.height));
    header += std::string("\x08\x03\x00\x00\x00", 5);  // 8-bit palette indices, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    put_chunk(png, "IHDR", header);
    put_chunk(png, "PLTE", palette);
    put_chunk(png, "IDAT", packed);
    put_chunk(png, "IEND", "");
    return support::write_file_atomically(path, png, error);
}

#else

bool shrink_png(const std::string &path, std::string &error) {
#ifdef QV_HAVE_CAIRO
    (void)path;
    (void)error;
    return true;
#else
    error = cannot_write(path, kNoCairo);
    return false;
#endif
}

#endif

}  // namespace qvhost
