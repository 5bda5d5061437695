// What a node's NodeHandler activation installs: its create, evaluate,
// persistence set, new time, server private word and the extra services or
// host checks it needs.  One value of this type per row of the node table.
#pragma once

#include "core/callbacks.h"
#include "core/persistence.h"

namespace qv {

// Where the server's private word comes from.
enum class PrivateSource : uint8_t {
    word,      // the constant `word`
    function,  // the node's math function `fn`
    global,    // the host's global function handed to activation
};

// Services and checks beyond the common ones.
enum class ExtraServices : uint8_t {
    none,
    time,          // "System ID", then scene and time information
    frame,         // "System ID", then "LW Scene Info 4"
    needs_build,   // refuses hosts of build 1164 or lower
    texture,       // "Texture Functions 3", after the common services
    draw,          // "NodeDrawFuncs", with the common services
};

struct HandlerBinding {
    QvCreateFunc create = nullptr;  // null: the node is not available in this build
    QvEvaluateFunc evaluate = nullptr;
    Persistence persistence = kEmptyPersistence;
    QvNewTimeFunc new_time = new_time_none;
    // Nodes with records of their own replace these.
    QvDestroyFunc destroy = standard_destroy;
    QvRenderInitFunc render_init = standard_render_init;
    QvRenderCleanupFunc cleanup = cleanup_none;
    PrivateSource source = PrivateSource::word;
    uint32_t word = 0;
    MathFn fn = nullptr;
    ExtraServices extra = ExtraServices::none;
    QvCustomPreviewFunc custom_preview = nullptr;  // the viewers' preview drawing
    // Handler record word 7: the common binding writes the extra query above
    // version 1; bindings of their own (the caches) leave it alone.
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
constexpr HandlerBinding one_input(QvCreateFunc create, QvEvaluateFunc evaluate, MathFn fn) {
    HandlerBinding b = common(create, evaluate, kStandardPersistence);
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

// Binds a node's callbacks into the host's handler record.
int bind_handler(const HandlerBinding &binding, int version, QvGlobalFunc global, QvNodeHandler *handler);

}  // namespace qv
