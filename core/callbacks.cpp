#include "core/callbacks.h"

#include "core/record.h"

namespace qv {

int input_event(void *inst, QvInputId input, int event, int /*type: unused*/) {
    auto *n = static_cast<NodeInstance *>(inst);
    note_input_event(n->inputs, n->connected, input, event);
    if (n->panel != nullptr && g_host.xpanel != nullptr) g_host.xpanel->refresh(n->panel);
    return 1;
}

QvError standard_render_init(void *inst, int /*mode: unused*/) {
    auto *n = static_cast<NodeInstance *>(inst);
    read_connections_once(n->inputs, n->connected, n->flags);
    return nullptr;
}

void standard_destroy(void *inst) {
    if (inst == nullptr) return;
    auto *n = static_cast<NodeInstance *>(inst);
    if (n->panel != nullptr && g_host.xpanel != nullptr) g_host.xpanel->destroy(n->panel);
    release_record(inst);
}

void cleanup_none(void *) {}

QvError new_time_none(void *, int32_t, double) { return nullptr; }

}  // namespace qv
