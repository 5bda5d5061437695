// Viewer nodes: print the values arriving on their inputs in the node's
// preview area.  They keep a record of their own, not the node instance.
#pragma once

#include "core/node_instance.h"
#include "core/record.h"

namespace qv {

enum ViewerKind : uint32_t { kViewerMixed = 0, kViewerScalar = 1, kViewerVector = 2, kViewerInteger = 3 };

constexpr uint32_t kViewerKindMask = 0xF;
constexpr uint32_t kViewerConnectionsRead = kFlagConnectionsRead;  // in the kind word
// The sample access handed to the input service when the preview evaluates
// inputs.  The host may read its own record through it up to the record's
// full size: 584 bytes on the newest 32-bit hosts, 1024 on the 2020 host,
// whose layout changed from release to release.  4096 bytes, four times the
// largest record known, leave room for a later release's record on every
// target, for a few KiB per viewer.
constexpr std::size_t kViewerSampleBytes = 4096;
static_assert(kViewerSampleBytes >= 4 * QV_SAMPLE_ACCESS_MAX_BYTES, "room beyond the largest known record");

struct ViewerRecord {
    void *panel;  // first, like the panel field the builder fills
    QvNodeId node;
    QvInputId inputs[kSlots];
    int32_t scalar_degrees;  // "ShowDeg S"
    int32_t vector_degrees;  // "ShowDeg V"
    int32_t hex;             // "ShowHex"
    uint32_t kind_word;      // the kind in the low four bits, kViewerConnectionsRead
    uint8_t connected[kSlots];
    // The preview's sample access: zeros, never written.
    alignas(16) unsigned char sample[kViewerSampleBytes];
};
static_assert(alignof(ViewerRecord) <= kRecordAlignment, "records are 16-byte aligned");
static_assert(sizeof(QvSampleAccess) <= kViewerSampleBytes, "the viewer's sample block holds a sample access");

inline ViewerKind viewer_kind(const ViewerRecord *v) { return static_cast<ViewerKind>(v->kind_word & kViewerKindMask); }

// The private word is the viewer kind.
void *viewer_create(void *priv, QvNodeId node, QvError *err);
void viewer_destroy(void *inst);
QvError viewer_render_init(void *inst, int mode);

// The viewer record's own callbacks, for its binding.
constexpr RecordCallbacks kViewerRecord = {viewer_create, viewer_destroy, viewer_render_init, nullptr, nullptr};

// Draws the preview of a viewer of this kind.
void draw_viewer_preview(ViewerRecord *v, ViewerKind kind, int width, int height);

// The preview callback of each kind.
template <ViewerKind Kind>
void viewer_preview(void *inst, int width, int height) {
    draw_viewer_preview(static_cast<ViewerRecord *>(inst), Kind, width, height);
}

// The texts the viewers draw; `out` holds at least 32 bytes (16 for a colour).
void format_scalar(char *out, std::size_t size, double value);              // "%#+g"
void format_colour(char out[16], double r, double g, double b);             // "RRR : GGG : BBB"
void format_integer(char *out, std::size_t size, int32_t value, bool hex);  // "-12" or "0xFFFFFFF4"

}  // namespace qv
