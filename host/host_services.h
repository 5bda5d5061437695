/*
 * The application's global services by name, and the host builds that tell
 * what a host offers.  The module asks for each service under the name its
 * host's build number calls for; the reference host answers under the same
 * names from the same table, so the two can never disagree.
 */
#ifndef QV_HOST_SERVICES_H
#define QV_HOST_SERVICES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The services the module uses. */
typedef enum QvService {
    QV_SERVICE_PRODUCT_INFO, /* a plain value: build number and product */
    QV_SERVICE_SYSTEM_ID,    /* a plain value: QV_SYSTEM_MODELER in the modeller */
    QV_SERVICE_NODE_FUNCS,
    QV_SERVICE_INPUT_FUNCS,
    QV_SERVICE_OUTPUT_FUNCS,
    QV_SERVICE_INSTANCE_UPDATE,
    QV_SERVICE_SCENE_INFO,
    QV_SERVICE_TIME_INFO,
    QV_SERVICE_TEXTURE_FUNCS,
    QV_SERVICE_DRAW_FUNCS,
    QV_SERVICE_XPANEL
} QvService;

typedef struct QvServiceName {
    QvService service;
    const char *name;
    uint32_t first_build; /* the first host build that offers the service under this name */
} QvServiceName;

/* Every name the application offers a service under.  A versioned service
 * has one row per version, oldest first; a host offers every version whose
 * first build is not above its own, and the module asks for the newest. */
/* clang-format off */
static const QvServiceName qv_service_names[] = {
    {QV_SERVICE_PRODUCT_INFO,    "Product Info",        0},
    {QV_SERVICE_SYSTEM_ID,       "System ID",           0},
    {QV_SERVICE_NODE_FUNCS,      "NodeFuncs",           0},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs",      0},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs 2",    1447},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs 3",    2238},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs 4",    2526},
    {QV_SERVICE_OUTPUT_FUNCS,    "NodeOutputFuncs",     0},
    {QV_SERVICE_OUTPUT_FUNCS,    "NodeOutputFuncs 2",   2238},
    {QV_SERVICE_OUTPUT_FUNCS,    "NodeOutputFuncs 3",   2723},
    {QV_SERVICE_INSTANCE_UPDATE, "Instance Update",     0},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 4",     0},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 5",     1270},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 6",     1539},
    {QV_SERVICE_TIME_INFO,       "LW Time Info",        0},
    {QV_SERVICE_TEXTURE_FUNCS,   "Texture Functions 3", 0},
    {QV_SERVICE_DRAW_FUNCS,      "NodeDrawFuncs",       0},
    {QV_SERVICE_XPANEL,          "LWXPanel",            0},
};
/* clang-format on */

#define QV_SERVICE_NAME_COUNT (sizeof(qv_service_names) / sizeof(qv_service_names[0]))

/* The name to ask a host of this build for a service: the newest version it
 * offers.  Build 0 gives the first version of a versioned service. */
static inline const char *qv_service_name(QvService service, uint32_t build) {
    const char *name = 0;
    for (unsigned i = 0; i < QV_SERVICE_NAME_COUNT; ++i)
        if (qv_service_names[i].service == service && (name == 0 || qv_service_names[i].first_build <= build))
            name = qv_service_names[i].name;
    return name;
}

/* The first build that offers a service under `name`; -1 for a name the
 * application never offers. */
static inline int32_t qv_service_first_build(const char *name) {
    for (unsigned i = 0; i < QV_SERVICE_NAME_COUNT; ++i) {
        const char *a = qv_service_names[i].name, *b = name;
        if (b == 0) return -1;
        while (*a != '\0' && *a == *b) ++a, ++b;
        if (*a == '\0' && *b == '\0') return (int32_t)qv_service_names[i].first_build;
    }
    return -1;
}

/* "Product Info": the host build number in bits 4 to 15. */
#define QV_PRODUCT_BUILD(value) ((((uint32_t)(value)) >> 4) & 0xfffu)

/* "System ID": set in the modeller, where there is no scene or time. */
#define QV_SYSTEM_MODELER 0x10000000u

/* Hosts up to this build cannot run the material split and material cache
 * nodes: their activations refuse such hosts. */
#define QV_LAST_BUILD_WITHOUT_MATERIAL_NODES 1164u

/* From this build on the handler record has seven words, the seventh being
 * the flags query; older hosts lay out six (see QvNodeHandler). */
#define QV_FIRST_BUILD_WITH_HANDLER_WORD7 2238u

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QV_HOST_SERVICES_H */
