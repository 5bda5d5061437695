// What a node's NodeHandler activation installs: its create, evaluate,
// persistence set, render callbacks, server private word and the extra
// services or host checks it needs.  One value of this type per row of the
// node table; every way of making one is a helper below.
//
// A callback left null is the standard one of the node instance (standard
// destroy and render init, the no-op cleanup, the new time that returns 0);
// activation fills those in, and the copy, load and save of the set named.
#pragma once

#include "host/host_api.h"

#include <cstdint>

namespace qv {

// A one-input node's math function: one double in, one double out.
using MathFn = double (*)(double);

// The set of copy, load and save callbacks a node installs.
enum class Persistence : uint8_t {
    empty,     // all three do nothing: the node keeps nothing
    standard,  // the stored defaults and option words its option flags select
    vector,    // the standard copy; the two stored vectors, or a vector and the extra value
};
constexpr Persistence kEmptyPersistence = Persistence::empty;
constexpr Persistence kStandardPersistence = Persistence::standard;
constexpr Persistence kVectorPersistence = Persistence::vector;

// Where the server's private word comes from.
enum class PrivateSource : uint8_t {
    word,      // the constant `word`
    function,  // the node's math function `fn`
    global,    // the host's global function handed to activation
};

// Services and checks beyond the common ones.
enum class ExtraServices : uint8_t {
    none,
    time,         // "System ID", then scene and time information
    frame,        // "System ID", then the first "LW Scene Info"
    needs_build,  // refuses hosts of QV_LAST_BUILD_WITHOUT_MATERIAL_NODES or lower
    texture,      // "Texture Functions 3", after the common services
    draw,         // "NodeDrawFuncs", with the common services
};

// The callbacks of a node that keeps a record of its own instead of the node
// instance (the viewers and the caches).
struct RecordCallbacks {
    QvCreateFunc create;
    QvDestroyFunc destroy;
    QvRenderInitFunc render_init;
    QvRenderCleanupFunc cleanup;  // null: the no-op cleanup
    QvNewTimeFunc new_time;       // null: the new time that returns 0
};

struct HandlerBinding {
    QvCreateFunc create = nullptr;  // null: the node is not available in this build
    QvEvaluateFunc evaluate = nullptr;
    Persistence persistence = kEmptyPersistence;
    QvNewTimeFunc new_time = nullptr;
    QvDestroyFunc destroy = nullptr;
    QvRenderInitFunc render_init = nullptr;
    QvRenderCleanupFunc cleanup = nullptr;
    PrivateSource source = PrivateSource::word;
    uint32_t word = 0;
    MathFn fn = nullptr;
    ExtraServices extra = ExtraServices::none;
    QvCustomPreviewFunc custom_preview = nullptr;  // the viewers' preview drawing
    // Handler record word 7: the common binding writes the extra query (on
    // hosts whose record has it); bindings of their own leave it alone.
    bool writes_extra_query = true;
};

// A node whose evaluation this build does not have yet: activation returns 2.
constexpr HandlerBinding unbuilt() { return {}; }

// A node over the node instance with the common binding.
constexpr HandlerBinding common(QvCreateFunc create, QvEvaluateFunc evaluate, Persistence persistence,
                                uint32_t word = 0) {
    HandlerBinding b;
    b.create = create;
    b.evaluate = evaluate;
    b.persistence = persistence;
    b.word = word;
    return b;
}

// A one-input function node: the generic evaluate, the function as private word.
constexpr HandlerBinding one_input(QvCreateFunc create, QvEvaluateFunc evaluate, Persistence persistence, MathFn fn) {
    HandlerBinding b = common(create, evaluate, persistence);
    b.source = PrivateSource::function;
    b.fn = fn;
    return b;
}

// A node that reads the scene: the host's global function is its private
// word, and activation acquires the scene services it names.
constexpr HandlerBinding scene_node(QvCreateFunc create, QvEvaluateFunc evaluate, Persistence persistence,
                                    QvNewTimeFunc new_time, ExtraServices extra) {
    HandlerBinding b = common(create, evaluate, persistence);
    b.source = PrivateSource::global;
    b.new_time = new_time;
    b.extra = extra;
    return b;
}

// A node over the node instance that calls the host's noise and keeps the
// scene time through its own new time.
constexpr HandlerBinding texture_node(QvCreateFunc create, QvEvaluateFunc evaluate, Persistence persistence,
                                      QvNewTimeFunc new_time) {
    HandlerBinding b = common(create, evaluate, persistence);
    b.new_time = new_time;
    b.extra = ExtraServices::texture;
    return b;
}

// A viewer: its own record, no evaluate, a preview of its kind, and the
// drawing service.
constexpr HandlerBinding viewer(const RecordCallbacks &record, uint32_t kind, QvCustomPreviewFunc preview) {
    HandlerBinding b;
    b.create = record.create;
    b.destroy = record.destroy;
    b.render_init = record.render_init;
    b.cleanup = record.cleanup;
    b.new_time = record.new_time;
    b.word = kind;
    b.extra = ExtraServices::draw;
    b.custom_preview = preview;
    b.writes_extra_query = false;
    return b;
}

// A cache: the common services, its own record's callbacks, nothing saved,
// and no extra query in the handler record.
constexpr HandlerBinding cache(const RecordCallbacks &record, QvEvaluateFunc evaluate, uint32_t kind) {
    HandlerBinding b;
    b.create = record.create;
    b.evaluate = evaluate;
    b.destroy = record.destroy;
    b.render_init = record.render_init;
    b.cleanup = record.cleanup;
    b.new_time = record.new_time;
    b.word = kind;
    b.writes_extra_query = false;
    return b;
}

// The same binding on hosts newer than QV_LAST_BUILD_WITHOUT_MATERIAL_NODES
// only.
constexpr HandlerBinding needs_build(HandlerBinding b) {
    b.extra = ExtraServices::needs_build;
    return b;
}

}  // namespace qv
