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
uint32_t host_value(QvGlobalFunc global, const char *service);

// The service names asked for under a host build number.
const char *input_funcs_name(uint32_t build);
const char *output_funcs_name(uint32_t build);
const char *scene_info_name(uint32_t build);

// Acquires the node, input, output and instance update services, asking for
// "Product Info" first in every case.  Returns an activation code.
int acquire_node_services(QvGlobalFunc global);

}  // namespace qv
