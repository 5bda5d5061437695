// The host services the module keeps: one module-wide slot per service,
// filled by activations on first success and never cleared or released.
#pragma once

#include "host/host_panel.h"

#include <cstdint>

namespace qv {

struct HostServices {
    const QvNodeFuncs *node = nullptr;
    const QvNodeInputFuncs *input = nullptr;
    const QvNodeOutputFuncs *output = nullptr;
    QvInstanceUpdateFunc instance_update = nullptr;
    const QvNodeDrawFuncs *draw = nullptr;
    const QvSceneInfo *scene = nullptr;
    const QvTimeInfo *time = nullptr;
    const QvTextureFuncs *texture = nullptr;
    const QvXPanelFuncs *xpanel = nullptr;
    // The host's era, decided by the first activation (decide_era) and kept:
    // every choice that differs between the eras reads it.
    bool era_decided = false;
    QvHostEra era = QV_ERA_BEFORE_2018;
    // The era of the name the node service was acquired under: it numbers
    // the preview types.
    QvHostEra node_names = QV_ERA_BEFORE_2018;
};

// Written only by activations, which the host makes one at a time.
extern HostServices g_host;

// Plain 32-bit values the host answers for "Product Info" and "System ID".
uint32_t host_value(QvGlobalFunc global, QvService service);

// The host's build number, from "Product Info".
uint32_t host_build(QvGlobalFunc global);

// Whether "System ID" says the host is the modeller, without scene or time.
bool host_is_modeler(QvGlobalFunc global);

// The host's era: decided on the first call from the handler version (0 for
// a NodeInterface activation) and "Product Info" (read here only then, or
// passed in by a caller that has read it), then kept for the module's life.
QvHostEra decide_era(QvGlobalFunc global, int handler_version, const uint32_t *product_info = nullptr);

inline bool since_2018() { return g_host.era == QV_ERA_2018; }

// Asks the host for a service under the names its era and build call for
// (`oldest`: the name an older host is asked for; null for the newest it
// offers), newest first; the row of the name that answered, or null.
const QvServiceName *ask_service(QvGlobalFunc global, QvService service, uint32_t build, void **result,
                                 const char *oldest = nullptr);

// Acquires the service into its slot if the slot is empty, under the names
// the host's era and build call for; false when the host offers no such
// service.
template <typename T>
bool acquire(QvGlobalFunc global, QvService service, uint32_t build, T &slot, const char *oldest = nullptr) {
    if (slot == nullptr) {
        void *found = nullptr;
        ask_service(global, service, build, &found, oldest);
        slot = reinterpret_cast<T>(found);
    }
    return slot != nullptr;
}

// Acquires the node, input, output and instance update services of a host
// of this build.  Returns an activation code.
int acquire_node_services(QvGlobalFunc global, uint32_t build);

// The code of a preview type for the node service the module holds.
int preview_code(QvPreview type);

// The node id handed to create: on hosts of 2018 and later, the object of a
// 'NODE' context record when create is handed one.
QvNodeId node_of_create_argument(QvNodeId argument);

}  // namespace qv
