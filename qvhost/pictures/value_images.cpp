// Images of evaluated values: 8-bit PNGs for looking at (cairo) and OpenEXR
// images of the values, 32-bit float or half.
#include "qvhost/pictures/pictures.h"

#include "qvhost/pictures/picture_files.h"
#include "support/atomic_file.h"
#include "support/escaped_text.h"
#include "support/file_reading.h"
#include "support/number_text.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#ifdef QV_HAVE_EXR
#include <ImathBox.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <half.h>

#include <exception>
#endif

namespace qvhost {

namespace {

// The largest image read or written: enough for any render, small enough
// that a damaged file cannot ask for gigabytes.
constexpr int kMaxImageSide = 16384;

// Why an image cannot be written as it is, or "" when it can.  (Unused in
// builds with neither cairo nor OpenEXR.)
[[maybe_unused]] std::string image_problem(const ValueImage &image) {
    if (image.channels != 1 && image.channels != 3)
        return std::to_string(image.channels) + " channels per pixel: 1 or 3 are written";
    if (image.width < 1 || image.height < 1 || image.width > kMaxImageSide || image.height > kMaxImageSide)
        return "an image of " + std::to_string(image.width) + "x" + std::to_string(image.height) +
               " pixels: each side must be 1 to " + std::to_string(kMaxImageSide);
    const std::size_t want = static_cast<std::size_t>(image.width) * image.height * image.channels;
    if (image.values.size() != want)
        return std::to_string(image.values.size()) + " values for " + std::to_string(want) + " (" +
               std::to_string(image.width) + "x" + std::to_string(image.height) + "x" + std::to_string(image.channels) +
               ")";
    return "";
}

}  // namespace

// ---- PNG -----------------------------------------------------------------------

#ifdef QV_HAVE_CAIRO

namespace {

// 0..1 to 0..255, rounded to nearest; NaN and values below 0 to 0, above 1 to 255.
uint32_t to_byte(double t) {
    if (!(t > 0.0)) return 0;
    if (t >= 1.0) return 255;
    return static_cast<uint32_t>(t * 255.0 + 0.5);
}

// cairo's PNG reader takes its bytes from memory.
struct PngSource {
    const std::string &bytes;
    std::size_t position;
};

cairo_status_t read_png_bytes(void *closure, unsigned char *data, unsigned int length) {
    auto *source = static_cast<PngSource *>(closure);
    if (source->bytes.size() - source->position < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, source->bytes.data() + source->position, length);
    source->position += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool write_value_png(const ValueImage &image, ValueRange range, const std::string &path, std::string &error) {
    const std::string problem = image_problem(image);
    if (!problem.empty()) {
        error = cannot_write(path, problem);
        return false;
    }
    // The scale; none (everything black) when the range is empty or not a number.
    const double lo = range.lo, span = range.hi - range.lo;
    const bool has_scale = std::isfinite(span) && span != 0.0;

    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        error = cannot_write(path, cairo_status_to_string(cairo_surface_status(s)));
        cairo_surface_destroy(s);
        return false;
    }
    cairo_surface_flush(s);
    unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < image.height; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) {
            uint32_t c[3];
            for (int k = 0; k < 3; ++k) {
                const double v = image.at(x, y, image.channels == 1 ? 0 : k);
                c[k] = has_scale ? to_byte((v - lo) / span) : 0;
            }
            row[x] = (c[0] << 16) | (c[1] << 8) | c[2];  // RGB24: the top byte unused
        }
    }
    cairo_surface_mark_dirty(s);
    const bool written = write_png(path, s, error);
    cairo_surface_destroy(s);
    return written;
}

bool read_png_rgb(const std::string &path, ValueImage &image, std::string &error) {
    // Read whole first: cairo calls every file that is not a PNG "out of memory".
    std::string bytes;
    std::string problem;
    if (!support::read_whole_file(path, bytes, problem)) {
        error = cannot_read(path, problem);
        return false;
    }
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (bytes.compare(0, 8, kSignature, 8) != 0) {
        error = cannot_read(path, "not a PNG file");
        return false;
    }
    PngSource source{bytes, 0};
    cairo_surface_t *s = cairo_image_surface_create_from_png_stream(read_png_bytes, &source);
    const cairo_status_t status = cairo_surface_status(s);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cannot_read(path, cairo_status_to_string(status));
        cairo_surface_destroy(s);
        return false;
    }
    // cairo gives every 8-bit PNG as RGB24, or ARGB32 (premultiplied) when it has alpha.
    const cairo_format_t format = cairo_image_surface_get_format(s);
    if (format != CAIRO_FORMAT_RGB24 && format != CAIRO_FORMAT_ARGB32) {
        error = cannot_read(path, "not an 8-bit RGB image");
        cairo_surface_destroy(s);
        return false;
    }
    cairo_surface_flush(s);
    ValueImage out;
    out.width = cairo_image_surface_get_width(s);
    out.height = cairo_image_surface_get_height(s);
    out.channels = 3;
    out.values.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    const unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    std::size_t i = 0;
    for (int y = 0; y < out.height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < out.width; ++x) {
            const uint32_t px = row[x];
            const uint32_t alpha = format == CAIRO_FORMAT_ARGB32 ? px >> 24 : 255;
            for (int shift = 16; shift >= 0; shift -= 8) {
                const uint32_t c = (px >> shift) & 0xFF;
                // Undo the premultiplication, rounded; a transparent pixel is black.
                out.values[i++] = static_cast<float>(alpha == 255 ? c : alpha == 0 ? 0 : (c * 255 + alpha / 2) / alpha);
            }
        }
    }
    cairo_surface_destroy(s);
    image = std::move(out);
    return true;
}

#else

bool write_value_png(const ValueImage &, ValueRange, const std::string &path, std::string &error) {
    error = cannot_write(path, kNoCairo);
    return false;
}

bool read_png_rgb(const std::string &path, ValueImage &, std::string &error) {
    error = cannot_read(path, kNoCairo);
    return false;
}

#endif

ValueRange default_range(const ValueImage &image) { return image.is_vector ? kVectorRange : kUnitRange; }

bool write_value_png(const ValueImage &image, double lo, double hi, const std::string &path, std::string &error) {
    return write_value_png(image, image.channels == 1 ? ValueRange{lo, hi} : default_range(image), path, error);
}

// ---- OpenEXR ---------------------------------------------------------------------

namespace {

// What a value becomes in an OpenEXR file of each type: a half is made from
// the value's float.
double as_float32(double v) { return static_cast<float>(v); }
#ifdef QV_HAVE_EXR
double as_half(double v) { return static_cast<float>(half(static_cast<float>(v))); }
constexpr double kHalfMinNormal = 6.103515625e-05;  // 2^-14
#else
double as_half(double v) { return v; }  // nothing is written without OpenEXR
constexpr double kHalfMinNormal = 0.0;
#endif

// Whether storing `v` as `stored` changes it beyond rounding to the type's
// digits: a whole number changed, a finite value made infinite, a value
// below the smallest normal number (`min_normal`) made 0 or less precise.
bool beyond_digits(double v, double stored, double min_normal) {
    if (!std::isfinite(v) || stored == v) return false;
    return std::isinf(stored) || std::fabs(stored) < min_normal || v == std::trunc(v);
}

bool float32_cannot_hold(double v) { return beyond_digits(v, as_float32(v), FLT_MIN); }
bool half_cannot_hold(double v) { return beyond_digits(v, as_half(v), kHalfMinNormal); }

double written_as(ExrType type, double v) { return type == ExrType::half ? as_half(v) : as_float32(v); }

}  // namespace

// clang-format off
const ExrTypeRow kExrTypes[2] = {
    // type            name     what it holds
    {ExrType::float32, "float", "32-bit: about 7 digits, whole numbers exactly to 16777216, magnitudes 1.2e-38 to 3.4e38",
     float32_cannot_hold},
    {ExrType::half,    "half",  "16-bit: about 3 digits, whole numbers exactly to 2048, magnitudes 6.1e-05 to 65504",
     half_cannot_hold},
};
// clang-format on

const ExrTypeRow &exr_type_row(ExrType type) { return kExrTypes[type == ExrType::half ? 1 : 0]; }

bool exr_type_from_name(const std::string &name, ExrType &type) {
    for (const ExrTypeRow &row : kExrTypes)
        if (name == row.name) {
            type = row.type;
            return true;
        }
    return false;
}

std::string exr_unheld_warning(const ValueImage &image, ExrType type, const std::string &path) {
    if (image.unheld_count == 0) return "";
    std::string text = support::shown_path(path) + ": " + std::to_string(image.unheld_count) + " value" +
                       (image.unheld_count == 1 ? "" : "s") + " that " + exr_type_row(type).name +
                       " cannot hold (" + exr_type_row(type).limits + "): ";
    for (std::size_t k = 0; k < image.unheld.size(); ++k) {
        const ValueImage::Unheld &u = image.unheld[k];
        const std::size_t pixel = u.index / static_cast<std::size_t>(image.channels);
        text += (k ? ", " : "") + support::number_text(u.value) + (k ? " as " : " is written as ") +
                support::number_text(written_as(type, u.value)) + " (pixel " +
                std::to_string(pixel % static_cast<std::size_t>(image.width)) + "," +
                std::to_string(pixel / static_cast<std::size_t>(image.width)) + ")";
    }
    if (static_cast<std::size_t>(image.unheld_count) > image.unheld.size()) text += ", ...";
    return text;
}

bool write_value_exr(const ValueImage &image, const std::string &path, std::string &error) {
    return write_value_exr(image, path, ExrType::float32, error);
}

#ifdef QV_HAVE_EXR

namespace {

// An OpenEXR output stream into memory, so that the file itself is written
// whole by support's atomic writer.
class MemoryStream : public Imf::OStream {
public:
    MemoryStream() : Imf::OStream("memory") {}
    void write(const char c[], int n) override {
        if (position_ + n > bytes.size()) bytes.resize(position_ + n);
        std::memcpy(&bytes[position_], c, n);
        position_ += n;
    }
    uint64_t tellp() override { return position_; }
    void seekp(uint64_t position) override { position_ = position; }

    std::string bytes;

private:
    uint64_t position_ = 0;
};

// The channel names of an image of 1 or 3 channels, in the values' order.
const char *const kGreyChannels[] = {"Y"};
const char *const kColourChannels[] = {"R", "G", "B"};

}  // namespace

bool have_exr() { return true; }

bool write_value_exr(const ValueImage &image, const std::string &path, ExrType type, std::string &error) {
    const std::string problem = image_problem(image);
    if (!problem.empty()) {
        error = cannot_write(path, problem);
        return false;
    }
    const char *const *names = image.channels == 1 ? kGreyChannels : kColourChannels;
    MemoryStream stream;
    try {
        Imf::Header header(image.width, image.height);
        header.compression() = Imf::ZIP_COMPRESSION;  // lossless
        Imf::FrameBuffer frame;
        // Half channels take their values from halves.
        const bool halves = type == ExrType::half;
        std::vector<half> narrowed(halves ? image.values.size() : 0);
        for (std::size_t i = 0; i < narrowed.size(); ++i) narrowed[i] = half(image.values[i]);
        const Imf::PixelType pixel_type = halves ? Imf::HALF : Imf::FLOAT;
        const std::size_t x_stride = (halves ? sizeof(half) : sizeof(float)) * image.channels;
        for (int k = 0; k < image.channels; ++k) {
            header.channels().insert(names[k], Imf::Channel(pixel_type));
            // OpenEXR takes a writable pointer but only reads through it when writing.
            char *base = halves ? reinterpret_cast<char *>(narrowed.data() + k)
                                : reinterpret_cast<char *>(const_cast<float *>(image.values.data() + k));
            frame.insert(names[k], Imf::Slice(pixel_type, base, x_stride, x_stride * image.width));
        }
        Imf::OutputFile file(stream, header);
        file.setFrameBuffer(frame);
        file.writePixels(image.height);
    } catch (const std::exception &e) {
        error = cannot_write(path, e.what());
        return false;
    } catch (...) {
        error = cannot_write(path, "OpenEXR failed");
        return false;
    }
    return support::write_file_atomically(path, stream.bytes, error);
}

bool read_value_exr(const std::string &path, ValueImage &image, std::string &error) {
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        const int64_t width = int64_t(window.max.x) - window.min.x + 1;
        const int64_t height = int64_t(window.max.y) - window.min.y + 1;
        if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
            error = cannot_read(path, "an image of " + std::to_string(width) + "x" + std::to_string(height) +
                                          " pixels: each side must be 1 to " + std::to_string(kMaxImageSide));
            return false;
        }
        const Imf::ChannelList &channels = file.header().channels();
        ValueImage out;
        const char *const *names = nullptr;
        if (channels.findChannel("R") && channels.findChannel("G") && channels.findChannel("B")) {
            names = kColourChannels;
            out.channels = 3;
        } else if (channels.findChannel("Y")) {
            names = kGreyChannels;
            out.channels = 1;
        } else {
            error = cannot_read(path, "neither a Y channel nor R, G and B");
            return false;
        }
        out.width = static_cast<int>(width);
        out.height = static_cast<int>(height);
        out.values.assign(static_cast<std::size_t>(width) * height * out.channels, 0.0f);
        const std::size_t x_stride = sizeof(float) * out.channels;
        Imf::FrameBuffer frame;
        for (int k = 0; k < out.channels; ++k)
            frame.insert(names[k],
                         Imf::Slice::Make(Imf::FLOAT, out.values.data() + k, window, x_stride, x_stride * out.width));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        image = std::move(out);
        return true;
    } catch (const std::exception &e) {
        error = cannot_read(path, e.what());
    } catch (...) {
        error = cannot_read(path, "OpenEXR failed");
    }
    return false;
}

#else

namespace {
const char *const kNoExr = "this build writes no OpenEXR images: it was made without OpenEXR";
}

bool have_exr() { return false; }

bool write_value_exr(const ValueImage &, const std::string &path, ExrType, std::string &error) {
    error = cannot_write(path, kNoExr);
    return false;
}

bool read_value_exr(const std::string &path, ValueImage &, std::string &error) {
    error = cannot_read(path, kNoExr);
    return false;
}

#endif

bool write_value_image(const ValueImage &image, ValueRange range, const std::string &path, std::string &error,
                       ExrType exr_type) {
    switch (picture_format(path)) {
    case PictureFormat::png: return write_value_png(image, range, path, error);
    case PictureFormat::exr: return write_value_exr(image, path, exr_type, error);
    default: error = cannot_write(path, "the name must end in .png or .exr"); return false;
    }
}

}  // namespace qvhost
