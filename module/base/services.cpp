#include "module/base/services.h"

namespace qv {

HostServices g_host;

uint32_t host_value(QvGlobalFunc global, QvService service) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(global(qv_service_name(service, 0), 0)));
}

uint32_t host_build(QvGlobalFunc global) { return QV_PRODUCT_BUILD(host_value(global, QV_SERVICE_PRODUCT_INFO)); }

bool host_is_modeler(QvGlobalFunc global) {
    return (host_value(global, QV_SERVICE_SYSTEM_ID) & QV_SYSTEM_MODELER) != 0;
}

int acquire_node_services(QvGlobalFunc global, uint32_t build) {
    if (!acquire(global, QV_SERVICE_NODE_FUNCS, build, g_host.node)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, QV_SERVICE_INPUT_FUNCS, build, g_host.input)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, QV_SERVICE_OUTPUT_FUNCS, build, g_host.output)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, QV_SERVICE_INSTANCE_UPDATE, build, g_host.instance_update)) return QV_AFUNC_BADGLOBAL;
    return QV_AFUNC_OK;
}

}  // namespace qv
