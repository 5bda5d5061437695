// Cache nodes: evaluate their upstream input once per time step and hand the
// stored value to every later request until the host announces a new time.
#pragma once

#include "core/record.h"
#include "geometry/geometry.h"
#include "host/host_api.h"
#include "module/base/binding.h"

#include <atomic>
#include <cstdint>

namespace qv {

enum CacheKind : int32_t {
    kCacheInteger = 0,   // "Integer"
    kCacheScalar = 1,    // "Scalar"
    kCacheVector = 2,    // "Vector"
    kCacheMatrix = 3,    // "Matrix": rows "Rgt", "Up", "Fwd"
    kCacheMaterial = 4,  // "Material"
};

// Bits of the cache record's flags word.
enum CacheFlag : uint32_t {
    kCacheRefreshPending = 0x100,  // a new time came: the next evaluation refreshes
    kCacheRefreshing = 0x200,      // an evaluation is refreshing right now
    kCacheFlagsRead = 0x800,       // the connected flags have been read from the host
};

union CacheValue {
    int32_t integer;
    double scalar;
    double vector[3];
    Mat3 matrix;
    QvMaterialValue material;
};

// One record per cache node, zeroed at create.
//
// Several render threads evaluate one instance at once.  The value is double
// buffered: `values[current]` is the published value, and a refresh writes
// the other buffer, then publishes it by storing its index (release) before
// it clears the refresh bits (release).  So:
//   - Reading a fresh cache takes no lock and writes nothing: one acquire load
//     of `flags` sees no pending refresh, one acquire load of `current` picks
//     the buffer, and that buffer is never written while it is published.
//   - The first evaluation after a new time claims the refresh by setting
//     kCacheRefreshing with a compare-exchange; exactly one evaluation wins,
//     so upstream is evaluated once per time step.
//   - Evaluations that find the refresh claimed by another wait (yielding)
//     until it is published: they belong to the new time and must not give
//     the value of the previous one.  One that read `current` before the new
//     time came keeps reading the old buffer, which the refresh does not touch.
// The host announces new times and ends renders between evaluations, never
// during them; connected flags change only outside evaluation too.
struct alignas(16) CacheRecord {
    QvNodeId node;
    QvInputId inputs[3];
    QvOutputId outputs[3];
    int32_t kind;
    std::atomic<uint32_t> flags;
    uint8_t connected[3];
    std::atomic<uint32_t> current;  // index of the published value, 0 or 1
    CacheValue values[2];
};
static_assert(alignof(CacheRecord) <= kRecordAlignment, "records are 16-byte aligned");
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the cache's words are lock-free");

void *cache_create(void *priv, QvNodeId node, QvError *err);  // priv: the cache kind
void cache_destroy(void *inst);
int cache_input_event(void *inst, QvInputId input, int event, int type);
QvError cache_render_init(void *inst, int mode);
void cache_cleanup(void *inst);
QvError cache_new_time(void *inst, int32_t frame, double time);
void cache_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
void matrix_cache_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value);

// The cache record's own callbacks, for its binding.
constexpr RecordCallbacks kCacheRecord = {cache_create, cache_destroy, cache_render_init, cache_cleanup,
                                          cache_new_time};

}  // namespace qv
