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

/* The two eras of hosts the module tells apart.  A host's era is what it says
 * of itself: the handler version it activates with and its "Product Info"
 * (qv_host_era below). */
typedef enum QvHostEra {
    QV_ERA_BEFORE_2018 = 0, /* builds up to 2847: handler versions 1 to 3, names chosen by build */
    QV_ERA_2018 = 1         /* LightWave 2018 and later: handler version 5, the newest names */
} QvHostEra;

typedef struct QvServiceName {
    QvService service;
    const char *name;
    uint32_t first_build; /* before 2018: the first host build that offers the service under this name */
    QvHostEra era;        /* the era from which the module asks under this name */
} QvServiceName;

/* Every name the application offers a service under.  A versioned service
 * has one row per version, oldest first.  A host before 2018 offers every
 * name of its era whose first build is not above its own, and the module
 * asks it for the newest of them.  A host of 2018 or later answers under the
 * newest name of each service; the module asks it for the newest name first
 * and, when that answers null, for each older one down to the name an older
 * host of its build is asked for.  "LWXPanel 2", "LW Scene Info 10" and
 * "Texture Functions 4" came with LightWave 2015, but the module asks for
 * them only on the newer hosts: older ones keep the names they had. */
/* clang-format off */
static const QvServiceName qv_service_names[] = {
    {QV_SERVICE_PRODUCT_INFO,    "Product Info",        0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_SYSTEM_ID,       "System ID",           0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_NODE_FUNCS,      "NodeFuncs",           0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_NODE_FUNCS,      "NodeFuncs 3",         0,    QV_ERA_2018},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs",      0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs 2",    1447, QV_ERA_BEFORE_2018},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs 3",    2238, QV_ERA_BEFORE_2018},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs 4",    2526, QV_ERA_BEFORE_2018},
    {QV_SERVICE_INPUT_FUNCS,     "NodeInputFuncs 5",    0,    QV_ERA_2018},
    {QV_SERVICE_OUTPUT_FUNCS,    "NodeOutputFuncs",     0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_OUTPUT_FUNCS,    "NodeOutputFuncs 2",   2238, QV_ERA_BEFORE_2018},
    {QV_SERVICE_OUTPUT_FUNCS,    "NodeOutputFuncs 3",   2723, QV_ERA_BEFORE_2018},
    {QV_SERVICE_OUTPUT_FUNCS,    "NodeOutputFuncs 4",   0,    QV_ERA_2018},
    {QV_SERVICE_INSTANCE_UPDATE, "Instance Update",     0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 4",     0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 5",     1270, QV_ERA_BEFORE_2018},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 6",     1539, QV_ERA_BEFORE_2018},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 10",    0,    QV_ERA_2018},
    {QV_SERVICE_SCENE_INFO,      "LW Scene Info 12",    0,    QV_ERA_2018},
    {QV_SERVICE_TIME_INFO,       "LW Time Info",        0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_TEXTURE_FUNCS,   "Texture Functions 3", 0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_TEXTURE_FUNCS,   "Texture Functions 4", 0,    QV_ERA_2018},
    {QV_SERVICE_TEXTURE_FUNCS,   "Texture Functions 6", 0,    QV_ERA_2018},
    {QV_SERVICE_DRAW_FUNCS,      "NodeDrawFuncs",       0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_DRAW_FUNCS,      "NodeDrawFuncs 2",     0,    QV_ERA_2018},
    {QV_SERVICE_XPANEL,          "LWXPanel",            0,    QV_ERA_BEFORE_2018},
    {QV_SERVICE_XPANEL,          "LWXPanel 2",          0,    QV_ERA_2018},
    {QV_SERVICE_XPANEL,          "LWXPanel 3",          0,    QV_ERA_2018},
};
/* clang-format on */

#define QV_SERVICE_NAME_COUNT (sizeof(qv_service_names) / sizeof(qv_service_names[0]))

/* The name to ask a host before 2018 of this build for a service: the
 * newest version of that era it offers.  Build 0 gives the first version of
 * a versioned service. */
static inline const char *qv_service_name(QvService service, uint32_t build) {
    const char *name = 0;
    for (unsigned i = 0; i < QV_SERVICE_NAME_COUNT; ++i)
        if (qv_service_names[i].service == service && qv_service_names[i].era == QV_ERA_BEFORE_2018 &&
            (name == 0 || qv_service_names[i].first_build <= build))
            name = qv_service_names[i].name;
    return name;
}

/* The row of a service's newest name: the one a host of 2018 or later answers. */
static inline const QvServiceName *qv_service_newest(QvService service) {
    const QvServiceName *row = 0;
    for (unsigned i = 0; i < QV_SERVICE_NAME_COUNT; ++i)
        if (qv_service_names[i].service == service) row = &qv_service_names[i];
    return row;
}

/* The row of the attempt-th name (from 0) to ask a host of this era and
 * build for a service; null when there is none left.  Before 2018 there is
 * one attempt, the name of qv_service_name.  From 2018 on the newest name
 * comes first, then each older one down to that name.  `oldest` is the name
 * of qv_service_name, or the older name a node asks for on purpose. */
static inline const QvServiceName *qv_service_attempt(QvService service, QvHostEra era, const char *oldest,
                                                      unsigned attempt) {
    unsigned last = QV_SERVICE_NAME_COUNT;
    for (unsigned i = 0; i < QV_SERVICE_NAME_COUNT && oldest != 0; ++i) {
        const char *a = qv_service_names[i].name, *b = oldest;
        while (*a != '\0' && *a == *b) ++a, ++b;
        if (qv_service_names[i].service == service && *a == '\0' && *b == '\0') last = i;
    }
    if (last == QV_SERVICE_NAME_COUNT) return 0;
    if (era == QV_ERA_BEFORE_2018) return attempt == 0 ? &qv_service_names[last] : 0;
    for (unsigned i = QV_SERVICE_NAME_COUNT; i-- > last;) {
        if (qv_service_names[i].service != service) continue;
        if (attempt-- == 0) return &qv_service_names[i];
    }
    return 0;
}

/* "Product Info": the host build number in bits 4 to 15, the major version
 * in bits 20 to 23 and, when that is 15, the model year in bits 24 to 29
 * (counted from 2015; 0 for any other major version). */
#define QV_PRODUCT_BUILD(value) ((((uint32_t)(value)) >> 4) & 0xfffu)
#define QV_PRODUCT_MAJOR(value) ((((uint32_t)(value)) >> 20) & 0xfu)
#define QV_PRODUCT_YEAR(value) (QV_PRODUCT_MAJOR(value) == 15u ? 2015u + ((((uint32_t)(value)) >> 24) & 0x3fu) : 0u)
#define QV_PRODUCT_INFO(build, product, major, year)                                                   \
    ((((uint32_t)(build) & 0xfffu) << 4) | ((uint32_t)(product) & 0xfu) | (((uint32_t)(major) & 0xfu) << 20) | \
     ((uint32_t)(major) == 15u && (uint32_t)(year) >= 2015u ? (((uint32_t)(year) - 2015u) & 0x3fu) << 24 : 0u))

/* The handler version and model year of the first hosts of 2018 and later. */
#define QV_HANDLER_VERSION_2018 5
#define QV_FIRST_YEAR_2018 2018u

/* A host's era from what it says: a host of 2018 or later activates
 * handlers with version 5 and says its model year in "Product Info".  A
 * NodeInterface activation knows no handler version: it passes 0. */
static inline QvHostEra qv_host_era(int handler_version, uint32_t product_info) {
    if (handler_version >= QV_HANDLER_VERSION_2018) return QV_ERA_2018;
    return QV_PRODUCT_YEAR(product_info) >= QV_FIRST_YEAR_2018 ? QV_ERA_2018 : QV_ERA_BEFORE_2018;
}

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
