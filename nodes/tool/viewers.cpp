#include "nodes/tool/viewers.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "core/record.h"
#include "geometry/geometry.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace qv {

namespace {

constexpr double kDegrees = kRadiansToDegrees;
constexpr double kColourScale = 255.0;

// Drawing colour words (the application packs R, B, G from the high byte
// down): black, grey, green, blue, red and violet.
constexpr uint32_t kBackground = 0x1000000;
constexpr uint32_t kText = 0x1B0B0B0;
constexpr uint32_t kScalarColour = 0x12020E0;
constexpr uint32_t kVectorColour = 0x120F0A0;
constexpr uint32_t kColourRow = 0x1F02020;
constexpr uint32_t kIntegerRow = 0x1F0F060;

constexpr int kRow = 13;

struct InputSpec {
    int type;
    const char *name;
};

// The inputs of each kind, in slot order.
const InputSpec kMixedInputs[] = {{QV_TYPE_COLOR, "Color"},   {QV_TYPE_INTEGER, "Integer"}, {QV_TYPE_SCALAR, "Scalar"},
                                  {QV_TYPE_VECTOR, "Vector"}, {QV_TYPE_SCALAR, "X"},        {QV_TYPE_SCALAR, "Y"},
                                  {QV_TYPE_SCALAR, "Z"}};
const InputSpec kScalarInputs[] = {{QV_TYPE_SCALAR, "Scalar"}, {QV_TYPE_SCALAR, "Scalar"}, {QV_TYPE_SCALAR, "Scalar"},
                                   {QV_TYPE_SCALAR, "Scalar"}, {QV_TYPE_SCALAR, "Scalar"}, {QV_TYPE_SCALAR, "Scalar"}};
const InputSpec kVectorInputs[] = {{QV_TYPE_VECTOR, "Vector"}, {QV_TYPE_VECTOR, "Vector"}};
const InputSpec kIntegerInputs[] = {{QV_TYPE_INTEGER, "Integer"}, {QV_TYPE_INTEGER, "Integer"},
                                    {QV_TYPE_INTEGER, "Integer"}, {QV_TYPE_INTEGER, "Integer"},
                                    {QV_TYPE_INTEGER, "Integer"}, {QV_TYPE_INTEGER, "Integer"}};

struct KindInputs {
    const InputSpec *inputs;
    int count;
};

const KindInputs kKindInputs[] = {{kMixedInputs, 7}, {kScalarInputs, 6}, {kVectorInputs, 2}, {kIntegerInputs, 6}};

// A viewer keeps its slots as the node instance does, but refreshes no panel.
int viewer_input_event(void *inst, QvInputId input, int event, int) {
    auto *v = static_cast<ViewerRecord *>(inst);
    note_input_event(v->inputs, v->connected, input, event);
    return 1;
}

QvSampleAccess *sample_of(ViewerRecord *v) { return reinterpret_cast<QvSampleAccess *>(v->sample); }

// Evaluates a connected input into `result`; an unconnected one leaves the
// zeros the caller put there.
void evaluate_viewer_input(ViewerRecord *v, int slot, void *result) {
    if (v->connected[slot]) g_host.input->evaluate(v->inputs[slot], sample_of(v), result);
}

void text(const ViewerRecord *v, const char *s, uint32_t colour, int x, int y) {
    g_host.draw->draw_text(v->node, s, colour, x, y);
}

void line(const ViewerRecord *v, uint32_t colour, int y, int width) {
    g_host.draw->draw_line(v->node, colour, 0, y, width, y);
}

void background(const ViewerRecord *v, int width, int height) {
    g_host.draw->draw_box(v->node, kBackground, 0, 0, width, height);
}

// The scalar and vector viewers' two rows of three values.
void draw_rows(const ViewerRecord *v, const double entries[8], uint32_t colour, int width, int height) {
    background(v, width, height);
    if (v->scalar_degrees) text(v, "*", colour, 72, 13);
    if (v->vector_degrees) text(v, "*", colour, 72, 52);
    char buf[32];
    for (int i = 0; i < 3; ++i) {
        format_scalar(buf, sizeof buf, entries[i]);
        text(v, buf, kText, 0, kRow * i);
    }
    for (int i = 0; i < 3; ++i) {
        format_scalar(buf, sizeof buf, entries[4 + i]);
        text(v, buf, kText, 0, 39 + kRow * i);
    }
    line(v, colour, 37, width);
}

void scale(double *entries, int count, double factor) {
    for (int i = 0; i < count; ++i) entries[i] = entries[i] * factor;
}

void preview_scalar(ViewerRecord *v, int width, int height) {
    double entries[8] = {};
    if (v->connected[0] || v->connected[1] || v->connected[2]) {
        for (int i = 0; i < 3; ++i) evaluate_viewer_input(v, i, &entries[i]);
        if (v->scalar_degrees) scale(entries, 4, kDegrees);
    }
    if (v->connected[3] || v->connected[4] || v->connected[5] || v->connected[6]) {
        for (int i = 3; i < 6; ++i) evaluate_viewer_input(v, i, &entries[i + 1]);
        if (v->vector_degrees) scale(entries + 4, 4, kDegrees);  // the second row follows the vector flag
    }
    draw_rows(v, entries, kScalarColour, width, height);
}

void preview_vector(ViewerRecord *v, int width, int height) {
    double entries[8] = {};
    if (v->connected[0]) {
        evaluate_viewer_input(v, 0, &entries[0]);
        if (v->scalar_degrees) scale(entries, 4, kDegrees);
    }
    if (v->connected[1]) {
        evaluate_viewer_input(v, 1, &entries[4]);
        if (v->vector_degrees) scale(entries + 4, 4, kDegrees);
    }
    draw_rows(v, entries, kVectorColour, width, height);
}

void preview_integer(ViewerRecord *v, int width, int height) {
    int32_t values[6] = {};
    for (int i = 0; i < 6; ++i) evaluate_viewer_input(v, i, &values[i]);
    background(v, width, height);
    line(v, kIntegerRow, 37, width);
    char buf[32];
    for (int i = 0; i < 6; ++i) {
        format_integer(buf, sizeof buf, values[i], v->hex != 0);
        text(v, buf, kText, 0, kRow * i);
    }
}

void preview_mixed(ViewerRecord *v, int width, int height) {
    char buf[32];
    background(v, width, height);

    double colour[3] = {};
    evaluate_viewer_input(v, 0, colour);
    char colour_text[16];
    format_colour(colour_text, colour[0], colour[1], colour[2]);
    text(v, colour_text, kText, 0, 0);

    int32_t integer = 0;
    evaluate_viewer_input(v, 1, &integer);
    format_integer(buf, sizeof buf, integer, v->hex != 0);
    text(v, buf, kText, 0, 13);

    if (v->connected[2]) {
        double scalar = 0.0;
        evaluate_viewer_input(v, 2, &scalar);
        if (v->scalar_degrees) scalar = scalar * kDegrees;
        format_scalar(buf, sizeof buf, scalar);
        text(v, buf, kText, 0, 26);
    } else {
        text(v, "+0.000000", kText, 0, 26);  // the unconnected scalar row's own text
    }

    double vec[3] = {};
    evaluate_viewer_input(v, 3, vec);
    for (int i = 0; i < 3; ++i) evaluate_viewer_input(v, 4 + i, &vec[i]);
    if (v->vector_degrees) scale(vec, 3, kDegrees);
    for (int i = 0; i < 3; ++i) {
        format_scalar(buf, sizeof buf, vec[i]);
        text(v, buf, kText, 0, 39 + 12 * i);
    }

    if (v->scalar_degrees) text(v, "*", kScalarColour, 72, 26);
    if (v->vector_degrees) text(v, "*", kVectorColour, 72, 51);
    line(v, kColourRow, 11, width);
    line(v, kIntegerRow, 24, width);
    line(v, kScalarColour, 37, width);
    line(v, kVectorColour, 74, width);
}

// A product of a colour component and 255, truncated toward zero and held to
// the 32-bit range (NaN gives 0).
int32_t colour_component(double c) {
    const double scaled = c * kColourScale;
    if (std::isnan(scaled)) return 0;
    if (scaled >= 2147483647.0) return INT32_MAX;
    if (scaled <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(scaled);
}

}  // namespace

void format_scalar(char *out, std::size_t size, double value) { std::snprintf(out, size, "%#+g", value); }

void format_colour(char out[16], double r, double g, double b) {
    // At most fifteen characters and the terminator: a longer text is cut.
    std::snprintf(out, 16, "%03" PRId32 " : %03" PRId32 " : %03" PRId32, colour_component(r), colour_component(g),
                  colour_component(b));
    out[15] = '\0';
}

void format_integer(char *out, std::size_t size, int32_t value, bool hex) {
    if (hex)
        std::snprintf(out, size, "0x%08" PRIX32, static_cast<uint32_t>(value));
    else
        std::snprintf(out, size, "%" PRId32, value);  // -2147483648 included
}

void *viewer_create(void *priv, QvNodeId node, QvError *err) {
    const uint32_t kind = private_word(priv) & kViewerKindMask;
    if (kind > kViewerInteger) return creation_failed(err);  // a kind the module does not have
    void *mem = allocate_record(sizeof(ViewerRecord), err);
    if (mem == nullptr) return nullptr;
    auto *v = static_cast<ViewerRecord *>(mem);
    v->node = node;
    v->kind_word = kind;
    g_host.node->set_mode(node, preview_code(QV_PREVIEW_CUSTOM));
    const KindInputs &inputs = kKindInputs[kind];
    for (int i = 0; i < inputs.count; ++i)
        v->inputs[i] = g_host.input->create(node, inputs.inputs[i].type, inputs.inputs[i].name, viewer_input_event);
    return v;
}

void viewer_destroy(void *inst) {
    if (inst == nullptr) return;
    auto *v = static_cast<ViewerRecord *>(inst);
    if (v->panel != nullptr && g_host.xpanel != nullptr) g_host.xpanel->destroy(v->panel);
    release_record(inst);
}

QvError viewer_render_init(void *inst, int) {
    auto *v = static_cast<ViewerRecord *>(inst);
    read_connections_once(v->inputs, v->connected, v->kind_word);
    return nullptr;
}

void draw_viewer_preview(ViewerRecord *v, ViewerKind kind, int width, int height) {
    switch (kind) {
    case kViewerMixed: preview_mixed(v, width, height); break;
    case kViewerScalar: preview_scalar(v, width, height); break;
    case kViewerVector: preview_vector(v, width, height); break;
    case kViewerInteger: preview_integer(v, width, height); break;
    }
}

}  // namespace qv
