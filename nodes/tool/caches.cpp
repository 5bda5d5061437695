#include "nodes/tool/caches.h"

#include "core/callbacks.h"
#include "core/create.h"
#include "core/record.h"

#include <cstring>
#include <new>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sched.h>
#endif

namespace qv {

namespace {

constexpr int32_t kColourCache[3] = {64, 64, 64};

CacheRecord *record(void *inst) { return static_cast<CacheRecord *>(inst); }

int connection_type(int32_t kind) {
    switch (kind) {
    case kCacheInteger: return QV_TYPE_INTEGER;
    case kCacheScalar: return QV_TYPE_SCALAR;
    case kCacheMaterial: return QV_TYPE_MATERIAL;
    default: return QV_TYPE_VECTOR;
    }
}

// Gives the processor to another thread while one refreshes.  The system's
// own yield (SwitchToThread, there since Windows NT 4): the module starts no
// thread and links no thread library.
void let_others_run() {
#ifdef _WIN32
    SwitchToThread();
#else
    sched_yield();
#endif
}

// Fills `v` for this time step with this evaluation's sample: the input as
// it is now, or zero (identity rows for the matrix) where unconnected.
void fill(const CacheRecord *c, QvSampleAccess *sa, CacheValue &v) {
    std::memset(&v, 0, sizeof v);
    if (c->kind == kCacheMatrix) {
        mat3_identity(v.matrix);
        for (int i = 0; i < 3; ++i)
            if (c->connected[i]) g_host.input->evaluate(c->inputs[i], sa, &v.matrix.row[i]);
    } else if (c->connected[0]) {
        g_host.input->evaluate(c->inputs[0], sa, &v);
    }
}

// The value this evaluation gives: refreshed first if a new time came.
const CacheValue &current_value(CacheRecord *c, QvSampleAccess *sa) {
    uint32_t f = c->flags.load(std::memory_order_acquire);
    while (f & kCacheRefreshPending) {
        if (f & kCacheRefreshing) {
            // Another evaluation is refreshing: wait for its value.
            let_others_run();
            f = c->flags.load(std::memory_order_acquire);
            continue;
        }
        if (!c->flags.compare_exchange_weak(f, f | kCacheRefreshing, std::memory_order_acq_rel,
                                            std::memory_order_acquire))
            continue;  // f now holds the word as it was: look again
        const uint32_t next = c->current.load(std::memory_order_relaxed) ^ 1u;
        fill(c, sa, c->values[next]);
        c->current.store(next, std::memory_order_release);
        c->flags.fetch_and(~(kCacheRefreshPending | kCacheRefreshing), std::memory_order_acq_rel);
        break;
    }
    return c->values[c->current.load(std::memory_order_acquire)];
}

}  // namespace

void *cache_create(void *priv, QvNodeId node, QvError *err) {
    void *mem = allocate_record(sizeof(CacheRecord), err);
    if (mem == nullptr) return nullptr;
    auto *c = new (mem) CacheRecord();
    c->node = node;
    g_host.node->set_color(node, kColourCache);
    g_host.node->set_mode(node, preview_code(QV_PREVIEW_NONE));
    c->kind = static_cast<int32_t>(private_word(priv));
    if (c->kind == kCacheMatrix) {
        static const char *const kRows[] = {"Rgt", "Up", "Fwd"};
        for (int i = 0; i < 3; ++i) {
            c->inputs[i] = g_host.input->create(node, QV_TYPE_VECTOR, kRows[i], cache_input_event);
            c->outputs[i] = g_host.output->create(node, QV_TYPE_VECTOR, kRows[i]);
        }
    } else {
        const int type = connection_type(c->kind);
        c->inputs[0] = g_host.input->create(node, type, "In", cache_input_event);
        c->outputs[0] = g_host.output->create(node, type, "Out");
    }
    return c;
}

void cache_destroy(void *inst) {
    if (inst == nullptr) return;
    record(inst)->~CacheRecord();
    release_record(inst);
}

int cache_input_event(void *inst, QvInputId input, int event, int) {
    CacheRecord *c = record(inst);
    note_input_event(c->inputs, c->connected, input, event);
    return 1;
}

QvError cache_render_init(void *inst, int) {
    CacheRecord *c = record(inst);
    if (c->flags.load(std::memory_order_acquire) & kCacheFlagsRead) return nullptr;
    for (int i = 0; i < 3; ++i)
        if (c->inputs[i] != nullptr)
            c->connected[i] = static_cast<uint8_t>(g_host.input->connected(c->inputs[i]) & 0xFF);
    c->flags.fetch_or(kCacheFlagsRead, std::memory_order_acq_rel);
    return nullptr;
}

// A render that ends drops a refresh that no evaluation asked for: the
// previous value stays.
void cache_cleanup(void *inst) { record(inst)->flags.fetch_and(~kCacheRefreshPending, std::memory_order_acq_rel); }

QvError cache_new_time(void *inst, int32_t, double) {
    record(inst)->flags.fetch_or(kCacheRefreshPending, std::memory_order_acq_rel);
    return nullptr;
}

void cache_evaluate(void *inst, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    set_output(value, &current_value(record(inst), sa));
}

void matrix_cache_evaluate(void *inst, QvSampleAccess *sa, QvOutputId out, QvNodeValue value) {
    CacheRecord *c = record(inst);
    const CacheValue &v = current_value(c, sa);
    for (int i = 0; i < 3; ++i) {
        if (c->outputs[i] == out) {
            set_output(value, &v.matrix.row[i]);
            return;
        }
    }
}

}  // namespace qv
