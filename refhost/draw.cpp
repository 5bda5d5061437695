#include "refhost/draw.h"

#include "refhost/network/network.h"

#include <cstdio>
#include <mutex>

#ifdef QV_HAVE_CAIRO
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdlib>
#endif

namespace refhost {


namespace {

// The preview being drawn: one at a time, as the application draws them.
struct Recorder {
    std::mutex mutex;
    QvNodeId node = nullptr;
    Preview *preview = nullptr;
    int stray = 0;
};

Recorder &recorder() {
    static Recorder r;
    return r;
}

void record(QvNodeId node, DrawCall call) {
    Recorder &r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.preview == nullptr || node != r.node) {
        ++r.stray;
        if (r.preview != nullptr) ++r.preview->stray_calls;
        return;
    }
    r.preview->calls.push_back(std::move(call));
}

void draw_line(QvNodeId node, uint32_t colour, int x1, int y1, int x2, int y2) {
    DrawCall c;
    c.kind = DrawCall::Kind::line;
    c.colour = colour;
    c.x = x1;
    c.y = y1;
    c.x2 = x2;
    c.y2 = y2;
    record(node, std::move(c));
}

void draw_box(QvNodeId node, uint32_t colour, int x, int y, int width, int height) {
    DrawCall c;
    c.kind = DrawCall::Kind::box;
    c.colour = colour;
    c.x = x;
    c.y = y;
    c.x2 = width;
    c.y2 = height;
    record(node, std::move(c));
}

void draw_text(QvNodeId node, const char *text, uint32_t colour, int x, int y) {
    DrawCall c;
    c.kind = DrawCall::Kind::text;
    c.colour = colour;
    c.x = x;
    c.y = y;
    c.text = text != nullptr ? text : "";
    record(node, std::move(c));
}

const QvNodeDrawFuncs kDrawFuncs = {nullptr, nullptr, draw_line, draw_box, nullptr, nullptr, nullptr, draw_text};

}  // namespace

Rgb decode_colour(uint32_t word) {
    return {static_cast<uint8_t>(QV_DRAW_RED(word)), static_cast<uint8_t>(QV_DRAW_GREEN(word)),
            static_cast<uint8_t>(QV_DRAW_BLUE(word))};
}

std::string colour_text(uint32_t word) {
    const Rgb c = decode_colour(word);
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", static_cast<unsigned>(c.r), static_cast<unsigned>(c.g),
                  static_cast<unsigned>(c.b));
    return buf;
}

std::string DrawCall::describe() const {
    const std::string at = std::to_string(x) + "," + std::to_string(y);
    switch (kind) {
    case Kind::line:
        return "line " + at + " " + std::to_string(x2) + "," + std::to_string(y2) + " " + colour_text(colour);
    case Kind::box:
        return "box " + at + " " + std::to_string(x2) + "x" + std::to_string(y2) + " " + colour_text(colour);
    case Kind::text: return "text " + at + " " + colour_text(colour) + " " + text;
    }
    return "";
}

std::vector<std::string> Preview::texts() const {
    std::vector<std::string> out;
    for (const DrawCall &c : calls)
        if (c.kind == DrawCall::Kind::text)
            out.push_back(std::to_string(c.x) + "," + std::to_string(c.y) + " " + colour_text(c.colour) + " " + c.text);
    return out;
}

const QvNodeDrawFuncs &draw_funcs() { return kDrawFuncs; }

int stray_draw_calls() {
    Recorder &r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.stray;
}

Preview render_preview(Network &net, int node_id, int width, int height, const PreviewSample &at) {
    Preview p;
    p.node_id = node_id;
    p.width = width;
    p.height = height;
    HostNode *n = net.node(node_id);
    if (n == nullptr) {
        p.error = "no node " + std::to_string(node_id);
        return p;
    }
    if (n->handler.custom_preview == nullptr) {
        p.error = "node " + std::to_string(node_id) + " (" + n->server + ") draws no preview";
        return p;
    }
    if (width <= 0 || height <= 0) {
        p.error = "preview size " + std::to_string(width) + "x" + std::to_string(height) + " is not positive";
        return p;
    }
    Recorder &r = recorder();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.node = n;
        r.preview = &p;
    }
    HostSample sample = HostSample::at(at.u, at.v, at.u, at.v, at.time, at.frame);
    SampleMemo memo = net.make_memo();
    memo.start(sample);
    if (n->shared != nullptr) n->shared->preview_sample = &sample;
    n->handler.custom_preview(n->instance, width, height);
    if (n->shared != nullptr) n->shared->preview_sample = nullptr;
    p.evaluations = memo.evaluations();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.node = nullptr;
        r.preview = nullptr;
    }
    return p;
}

#ifdef QV_HAVE_CAIRO

bool have_cairo() { return true; }

namespace {

// cairo and fontconfig keep the fonts they looked up until told to let go.
void release_fonts() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace

void release_fonts_at_exit() {
    static const bool registered = std::atexit(release_fonts) == 0;
    (void)registered;
}

namespace {

void set_colour(cairo_t *cr, uint32_t colour) {
    const Rgb c = decode_colour(colour);
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

// A surface of the preview's size with the calls drawn; null with a message.
cairo_surface_t *draw_surface(const Preview &preview, std::string &error) {
    release_fonts_at_exit();
    if (preview.width <= 0 || preview.height <= 0) {
        error =
            "preview size " + std::to_string(preview.width) + "x" + std::to_string(preview.height) + " is not positive";
        return nullptr;
    }
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, preview.width, preview.height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        error = std::string("cannot make an image: ") + cairo_status_to_string(cairo_surface_status(s));
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_t *cr = cairo_create(s);
    cairo_select_font_face(cr, kPreviewFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kPreviewFontSize);
    cairo_font_options_t *fo = cairo_font_options_create();
    cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, fo);
    cairo_font_options_destroy(fo);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_set_line_width(cr, 1.0);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);

    for (const DrawCall &c : preview.calls) {
        set_colour(cr, c.colour);
        switch (c.kind) {
        case DrawCall::Kind::box:
            if (c.x2 <= 0 || c.y2 <= 0) break;
            cairo_rectangle(cr, c.x, c.y, c.x2, c.y2);
            cairo_fill(cr);
            break;
        case DrawCall::Kind::line:
            // Through pixel centres with square caps: both end pixels are covered.
            cairo_move_to(cr, c.x + 0.5, c.y + 0.5);
            cairo_line_to(cr, c.x2 + 0.5, c.y2 + 0.5);
            cairo_stroke(cr);
            break;
        case DrawCall::Kind::text:
            cairo_move_to(cr, c.x, c.y + static_cast<int>(fe.ascent + 0.5));
            cairo_show_text(cr, c.text.c_str());
            cairo_new_path(cr);
            break;
        }
    }
    const cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = std::string("drawing failed: ") + cairo_status_to_string(status);
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

void copy_pixels(cairo_surface_t *s, Image &image) {
    cairo_surface_flush(s);
    image.width = cairo_image_surface_get_width(s);
    image.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char *data = cairo_image_surface_get_data(s);
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0);
    for (int y = 0; y < image.height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) image.pixels[static_cast<std::size_t>(y) * image.width + x] = row[x];
    }
}

}  // namespace

bool draw_preview(const Preview &preview, Image &image, std::string &error) {
    cairo_surface_t *s = draw_surface(preview, error);
    if (s == nullptr) return false;
    copy_pixels(s, image);
    cairo_surface_destroy(s);
    return true;
}

bool read_png(const std::string &path, Image &image, std::string &error) {
    cairo_surface_t *s = cairo_image_surface_create_from_png(path.c_str());
    const cairo_status_t status = cairo_surface_status(s);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = path + ": cannot read the image (" + cairo_status_to_string(status) + ")";
        cairo_surface_destroy(s);
        return false;
    }
    if (cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32 &&
        cairo_image_surface_get_format(s) != CAIRO_FORMAT_RGB24) {
        error = path + ": not an RGB image";
        cairo_surface_destroy(s);
        return false;
    }
    const bool opaque = cairo_image_surface_get_format(s) == CAIRO_FORMAT_RGB24;
    copy_pixels(s, image);
    if (opaque)
        for (uint32_t &px : image.pixels) px |= 0xff000000u;
    cairo_surface_destroy(s);
    return true;
}

#else  // no cairo: previews are recorded only

bool have_cairo() { return false; }

void release_fonts_at_exit() {}

namespace {
const char *const kNoCairo = "this build draws no images (it was made without cairo)";
}

bool draw_preview(const Preview &, Image &, std::string &error) {
    error = kNoCairo;
    return false;
}

bool read_png(const std::string &path, Image &, std::string &error) {
    error = path + ": " + kNoCairo;
    return false;
}

#endif

}  // namespace refhost
