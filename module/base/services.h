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
};

// Written only by activations, which the host makes one at a time.
extern HostServices g_host;

// Plain 32-bit values the host answers for "Product Info" and "System ID".
uint32_t host_value(QvGlobalFunc global, QvService service);

// The host's build number, from "Product Info".
uint32_t host_build(QvGlobalFunc global);

// Whether "System ID" says the host is the modeller, without scene or time.
bool host_is_modeler(QvGlobalFunc global);

// Acquires the service into its slot if the slot is empty, under the name the
// host's build calls for; false when the host offers no such service.
template <typename T>
bool acquire(QvGlobalFunc global, QvService service, uint32_t build, T &slot) {
    if (slot == nullptr) slot = reinterpret_cast<T>(global(qv_service_name(service, build), 0));
    return slot != nullptr;
}

// Acquires the node, input, output and instance update services of a host
// of this build.  Returns an activation code.
int acquire_node_services(QvGlobalFunc global, uint32_t build);

}  // namespace qv
