#include "module/base/services.h"

#include <cstring>

namespace qv {

HostServices g_host;

uint32_t host_value(QvGlobalFunc global, QvService service) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(global(qv_service_name(service, 0), 0)));
}

uint32_t host_build(QvGlobalFunc global) { return QV_PRODUCT_BUILD(host_value(global, QV_SERVICE_PRODUCT_INFO)); }

bool host_is_modeler(QvGlobalFunc global) {
    return (host_value(global, QV_SERVICE_SYSTEM_ID) & QV_SYSTEM_MODELER) != 0;
}

QvHostEra decide_era(QvGlobalFunc global, int handler_version, const uint32_t *product_info) {
    if (!g_host.era_decided) {
        const uint32_t info = product_info != nullptr ? *product_info : host_value(global, QV_SERVICE_PRODUCT_INFO);
        g_host.era = qv_host_era(handler_version, info);
        g_host.era_decided = true;
    }
    return g_host.era;
}

const QvServiceName *ask_service(QvGlobalFunc global, QvService service, uint32_t build, void **result,
                                 const char *oldest) {
    if (oldest == nullptr) oldest = qv_service_name(service, build);
    for (unsigned attempt = 0;; ++attempt) {
        const QvServiceName *row = qv_service_attempt(service, g_host.era, oldest, attempt);
        if (row == nullptr) return nullptr;
        *result = global(row->name, 0);
        if (*result != nullptr) return row;
    }
}

int acquire_node_services(QvGlobalFunc global, uint32_t build) {
    if (g_host.node == nullptr) {
        void *found = nullptr;
        const QvServiceName *row = ask_service(global, QV_SERVICE_NODE_FUNCS, build, &found);
        if (row == nullptr) return QV_AFUNC_BADGLOBAL;
        g_host.node_names = row->era;
        g_host.node = static_cast<const QvNodeFuncs *>(found);
    }
    if (!acquire(global, QV_SERVICE_INPUT_FUNCS, build, g_host.input)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, QV_SERVICE_OUTPUT_FUNCS, build, g_host.output)) return QV_AFUNC_BADGLOBAL;
    if (!acquire(global, QV_SERVICE_INSTANCE_UPDATE, build, g_host.instance_update)) return QV_AFUNC_BADGLOBAL;
    return QV_AFUNC_OK;
}

int preview_code(QvPreview type) { return qv_preview_codes[g_host.node_names][type]; }

QvNodeId node_of_create_argument(QvNodeId argument) {
    if (!since_2018() || argument == nullptr) return argument;
    // Reading the first 32-bit word is safe in both forms: a context record
    // starts with its type word, and a node id on these hosts is the address
    // of the host's node object, which is larger than one word.  A node
    // object whose first word happened to read 'NODE' would be taken for a
    // record: a coincidence the module cannot rule out, only find unlikely.
    const auto *bytes = static_cast<const unsigned char *>(argument);
    uint32_t type;
    std::memcpy(&type, bytes, sizeof type);
    if (type != QV_CREATE_CONTEXT_NODE) return argument;
    void *object;
    std::memcpy(&object, bytes + offsetof(QvCreateContext, object), sizeof object);
    return object;
}

}  // namespace qv
