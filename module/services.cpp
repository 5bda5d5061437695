#include "module/services.h"

namespace qv {

HostServices g_host;

uint32_t host_value(QvGlobalFunc global, const char *service) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(global(service, 0)));
}

const char *input_funcs_name(uint32_t build) {
    if (build <= 1446) return "NodeInputFuncs";
    if (build <= 2237) return "NodeInputFuncs 2";
    if (build <= 2525) return "NodeInputFuncs 3";
    return "NodeInputFuncs 4";
}

const char *output_funcs_name(uint32_t build) {
    if (build <= 2237) return "NodeOutputFuncs";
    if (build <= 2722) return "NodeOutputFuncs 2";
    return "NodeOutputFuncs 3";
}

const char *scene_info_name(uint32_t build) {
    if (build <= 1269) return "LW Scene Info 4";
    if (build <= 1538) return "LW Scene Info 5";
    return "LW Scene Info 6";
}

template <typename T>
static bool acquire(QvGlobalFunc global, const char *name, T &slot) {
    if (slot == nullptr) slot = reinterpret_cast<T>(global(name, 0));
    return slot != nullptr;
}

int acquire_node_services(QvGlobalFunc global) {
    const uint32_t build = QV_PRODUCT_BUILD(host_value(global, "Product Info"));
    if (!acquire(global, "NodeFuncs", g_host.node)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, input_funcs_name(build), g_host.input)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, output_funcs_name(build), g_host.output)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, "Instance Update", g_host.instance_update)) return QV_AFUNC_BADGLOBAL;
    return QV_AFUNC_OK;
}

}  // namespace qv
