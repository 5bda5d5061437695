#include "core/callbacks.h"

#include <new>

namespace qv {

int input_event(void *inst, QvInputId input, int event, int /*type: unused*/) {
    auto *n = static_cast<NodeInstance *>(inst);
    if (input != nullptr) {
        for (int i = 0; i < kSlots; ++i) {
            if (n->inputs[i] == input) {
                n->connected[i] = event == QV_EVENT_CONNECT ? 1 : 0;
                break;
            }
        }
    }
    if (n->panel != nullptr && g_host.xpanel != nullptr) g_host.xpanel->refresh(n->panel);
    return 1;
}

QvError standard_render_init(void *inst, int /*mode: unused*/) {
    auto *n = static_cast<NodeInstance *>(inst);
    if (n->flags & kFlagConnectionsRead) return nullptr;
    for (int i = 0; i < kSlots; ++i) {
        if (n->inputs[i] != nullptr)
            n->connected[i] = static_cast<uint8_t>(g_host.input->connected(n->inputs[i]) & 0xFF);
    }
    n->flags |= kFlagConnectionsRead;
    return nullptr;
}

void standard_destroy(void *inst) {
    if (inst == nullptr) return;
    auto *n = static_cast<NodeInstance *>(inst);
    if (n->panel != nullptr && g_host.xpanel != nullptr) g_host.xpanel->destroy(n->panel);
    ::operator delete(inst, std::align_val_t{alignof(NodeInstance)});
}

void cleanup_none(void *) {}

QvError new_time_none(void *, int32_t, double) { return nullptr; }

}  // namespace qv
