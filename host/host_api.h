/*
 * The host's records, services and callbacks as QV Math Node uses them.
 *
 * These are plain C declarations shared by the module and by the reference
 * host.  Every word that holds a pointer or a function is a pointer; every
 * integer word (sync word, version, machine code, tag value, block id, control
 * id, colour component) is a 32-bit integer.  On the 32-bit Windows build each
 * field is the 32-bit word that the host lays out, and the offsets the host
 * relies on are checked at the bottom of this file; 64-bit builds take the
 * natural layout of the same declarations.
 */
#ifndef QV_HOST_API_H
#define QV_HOST_API_H

#include <stddef.h>
#include <stdint.h>

#include "host/host_services.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Module descriptor and server table -------------------------------- */

#define QV_MODULE_SYNC 0x04121994u
#define QV_MODULE_VERSION 3u
#define QV_MODULE_MACHINE 0x300u

typedef struct QvTagPair {
    const char *text; /* null in the pair that ends the list */
    uint32_t tag;
} QvTagPair;

#define QV_TAG_DISPLAY_NAME 0x0u
#define QV_TAG_NODE_GROUP 0x70000u
#define QV_TAG_MENU 0x80000u

typedef void *(*QvGlobalFunc)(const char *service, int use);

/* Activation: (version, global function, record to fill, server data). */
typedef int (*QvActivateFunc)(int version, QvGlobalFunc global, void *local, void *server_data);

typedef struct QvServerRecord {
    const char *server_class; /* "NodeHandler" or "NodeInterface"; null ends the table */
    const char *name;
    QvActivateFunc activate;
    const QvTagPair *tags; /* null in every NodeInterface record */
} QvServerRecord;

typedef struct QvModuleDescriptor {
    uint32_t sync;
    uint32_t version;
    uint32_t machine;
    void *(*startup)(void);
    void (*shutdown)(void);
    const QvServerRecord *servers;
} QvModuleDescriptor;

/* Activation results. */
#define QV_AFUNC_OK 0
#define QV_AFUNC_BADVERSION 1
#define QV_AFUNC_BADGLOBAL 2

/* ---- Handler record ---------------------------------------------------- */

typedef void *QvNodeId;      /* the host's node, handed to create */
typedef void *QvInputId;     /* an input made by create input */
typedef void *QvOutputId;    /* an output made by create output */
typedef void *QvNodeValue;   /* the value handle handed to evaluate */
typedef const char *QvError; /* null for no error */

typedef void *(*QvCreateFunc)(void *priv, QvNodeId node, QvError *err);
typedef void (*QvDestroyFunc)(void *inst);
typedef QvError (*QvCopyFunc)(void *to, void *from);
struct QvLoadState;
struct QvSaveState;
typedef QvError (*QvLoadFunc)(void *inst, const struct QvLoadState *ls);
typedef QvError (*QvSaveFunc)(void *inst, const struct QvSaveState *ss);

typedef struct QvInstanceFuncs {
    void *priv; /* the server's private word */
    QvCreateFunc create;
    QvDestroyFunc destroy;
    QvCopyFunc copy;
    QvLoadFunc load;
    QvSaveFunc save;
    void *host_reserved[3]; /* description, item use, id change: never written by the module */
} QvInstanceFuncs;

typedef QvError (*QvRenderInitFunc)(void *inst, int mode);
typedef void (*QvRenderCleanupFunc)(void *inst);
typedef QvError (*QvNewTimeFunc)(void *inst, int32_t frame, double time);

typedef struct QvRenderFuncs {
    QvRenderInitFunc init;
    QvRenderCleanupFunc cleanup;
    QvNewTimeFunc new_time;
} QvRenderFuncs;

struct QvSampleAccess;
typedef void (*QvEvaluateFunc)(void *inst, struct QvSampleAccess *sa, QvOutputId out, QvNodeValue value);
typedef void (*QvCustomPreviewFunc)(void *inst, int width, int height);
typedef int (*QvExtraQueryFunc)(void *inst);

/* Hosts before QV_FIRST_BUILD_WITH_HANDLER_WORD7 lay out the first six
 * words only, word 6 being their flags query; later hosts have seven, word 6
 * a texture query of theirs and word 7 the flags query.  The handler version
 * (2 or 3 in both eras) cannot tell them apart; the build number can.
 * Version 5, from LightWave 2018 on, has seven words again: word 6 is the
 * flags query, word 7 an OpenGL material query of the host's own. */
typedef struct QvNodeHandler {
    QvInstanceFuncs *inst;
    void *item; /* item operations: never written by the module */
    QvRenderFuncs *rend;
    QvEvaluateFunc evaluate;
    QvCustomPreviewFunc custom_preview;
    union {
        void *host_reserved;          /* word 6 up to version 3: never written by the module */
        QvExtraQueryFunc flags_query; /* word 6 of version 5: the flags query */
    };
    QvExtraQueryFunc extra_query; /* word 7: only on hosts that have it, for versions 2 and 3 */
} QvNodeHandler;

/* Words of the handler record by host era. */
#define QV_HANDLER_WORDS_BEFORE_WORD7 6
#define QV_HANDLER_WORDS 7

/* NodeInterface versions: hosts before 2018 activate with 4 and above;
 * hosts of 2018 and later count up from 1 and take a plug-in that accepts a
 * version below 5 for one of their legacy panel API. */
#define QV_INTERFACE_VERSION_BEFORE_2018 4
#define QV_INTERFACE_VERSION_2018 5

/* Create's second argument: the node id, or on hosts of 2018 and later
 * possibly a context record of this layout whose type is 'NODE' and whose
 * object is the node id.  The object is the next pointer-aligned field:
 * byte 8 on 64-bit hosts, byte 4 on 32-bit ones. */
typedef struct QvCreateContext {
    uint32_t type;
    void *object;
    void *base_id;
} QvCreateContext;

#define QV_CREATE_CONTEXT_NODE 0x4E4F4445u /* 'NODE' */

/* The interface record handed to NodeInterface activations. */
typedef struct QvNodeInterface {
    void *inst;  /* the node instance, set by the host */
    void *panel; /* the option panel, or null */
    void *word3;
    void *word4;
} QvNodeInterface;

/* ---- The sample access record ------------------------------------------ */

/* What the host hands to evaluate for one sample.  The module only passes it
 * on to the input service; its fields are the host's.  The application's own
 * record is larger than these fields: 552 bytes on 32-bit hosts of build 1446
 * and below, up to 584 on the newest 32-bit hosts, more on 64-bit hosts. */
typedef struct QvSampleAccess {
    int32_t thread; /* the render thread evaluating this sample */
    int32_t reserved;
    double position[3]; /* world position of the sample */
    double uv[2];
    double time;     /* scene time of the sample, seconds */
    void *host_data; /* the host's own per-thread state */
} QvSampleAccess;

/* The largest sample access record of a known host: the 2020 host's, which
 * holds no time and no thread index and whose layout changed between
 * releases. */
#define QV_SAMPLE_ACCESS_MAX_BYTES 1024u

/* ---- Connection types --------------------------------------------------- */

#define QV_TYPE_COLOR 1
#define QV_TYPE_SCALAR 2
#define QV_TYPE_VECTOR 3
#define QV_TYPE_INTEGER 4
#define QV_TYPE_MATERIAL 6 /* hosts before 2018; from 2018 on type 6 is a projection record */

/* Input events given to the input-event callback. */
#define QV_EVENT_CONNECT 0
#define QV_EVENT_DISCONNECT 1

/* (instance, input, event, connection type) -> 1 */
typedef int (*QvInputEventFunc)(void *inst, QvInputId input, int event, int type);

/* ---- Global services --------------------------------------------------- */

/* "NodeFuncs": operations 4 (set node colour) and 6 (set node mode). */
typedef struct QvNodeFuncs {
    void *op1;
    void *op2;
    void *op3;
    void (*set_color)(QvNodeId node, const int32_t rgb[3]);
    void *op5;
    void (*set_mode)(QvNodeId node, int mode);
} QvNodeFuncs;

#define QV_NODE_MODE_CUSTOM_PREVIEW 1
#define QV_NODE_MODE_NO_PREVIEW 2

/* The preview types of set node mode, and their codes by the era of the
 * node service's name: "NodeFuncs" numbers them render 0, custom 1, none 2;
 * "NodeFuncs 3" renumbered them none 0, custom 1, render 2. */
typedef enum QvPreview { QV_PREVIEW_NONE, QV_PREVIEW_CUSTOM, QV_PREVIEW_RENDER, QV_PREVIEW_TYPES } QvPreview;

/* clang-format off */
static const int qv_preview_codes[2][QV_PREVIEW_TYPES] = {
    /*                      none                     custom                       render */
    /* QV_ERA_BEFORE_2018 */ {QV_NODE_MODE_NO_PREVIEW, QV_NODE_MODE_CUSTOM_PREVIEW, 0},
    /* QV_ERA_2018        */ {0,                       1,                           2},
};
/* clang-format on */

/* "NodeInputFuncs": operations 1 (create), 3 (evaluate), 4 (connected). */
typedef struct QvNodeInputFuncs {
    QvInputId (*create)(QvNodeId node, int type, const char *name, QvInputEventFunc event);
    void (*destroy)(QvNodeId node, QvInputId input);
    void (*evaluate)(QvInputId input, struct QvSampleAccess *sa, void *result);
    int (*connected)(QvInputId input);
} QvNodeInputFuncs;

/* "NodeOutputFuncs": operations 1 (create) and 3 (set value). */
typedef struct QvNodeOutputFuncs {
    QvOutputId (*create)(QvNodeId node, int type, const char *name);
    void (*destroy)(QvNodeId node, QvOutputId output);
    void (*set_value)(QvNodeValue value, const void *result);
} QvNodeOutputFuncs;

/* "Instance Update": (class name, instance); returns nothing. */
typedef void (*QvInstanceUpdateFunc)(const char *server_class, void *inst);

/* "LW Scene Info": frames per second at byte 40 of the 32-bit layout. */
typedef struct QvSceneInfo {
    const char *name;
    const char *filename;
    int32_t host_words[7];
    double frames_per_second;
} QvSceneInfo;

/* "LW Time Info": the current time and frame. */
typedef struct QvTimeInfo {
    double time;
    int32_t frame;
} QvTimeInfo;

/* "Texture Functions 3": operation 24 is the noise, given a position of three
 * doubles and giving a double nominally in 0..1.  The 23 operations before it
 * are the host's and never called by the module. */
typedef struct QvTextureFuncs {
    void *host_ops[23];
    double (*noise)(double position[3]);
} QvTextureFuncs;

/* The material connection value as the input service delivers it: four
 * colours of three doubles, then the transparency. */
typedef struct QvMaterialValue {
    double diffuse[3];
    double specular[3];
    double reflection[3];
    double refraction[3];
    double transparency;
} QvMaterialValue;

/* ---- Load and save states ---------------------------------------------- */

typedef struct QvBlockIdent {
    uint32_t id; /* four characters, the first in the most significant byte */
    const char *token;
} QvBlockIdent;

#define QV_BLOCK_ID(a, b, c, d) (((uint32_t)(a) << 24) | ((uint32_t)(b) << 16) | ((uint32_t)(c) << 8) | (uint32_t)(d))

/* The load and save states' mode word. */
#define QV_IO_BINARY 0
#define QV_IO_TEXT 1

typedef struct QvLoadState {
    int32_t io_mode;
    void *context;
    int (*read)(void *ctx, char *dst, int bytes);
    int (*read_i1)(void *ctx, int8_t *dst, int count);
    int (*read_i2)(void *ctx, int16_t *dst, int count);
    int (*read_i4)(void *ctx, int32_t *dst, int count);
    int (*read_u1)(void *ctx, uint8_t *dst, int count);
    int (*read_u2)(void *ctx, uint16_t *dst, int count);
    int (*read_u4)(void *ctx, uint32_t *dst, int count);
    int (*read_fp)(void *ctx, float *dst, int count);
    int (*read_str)(void *ctx, char *dst, int max);
    uint32_t (*read_id)(void *ctx, const QvBlockIdent *table);
    uint32_t (*find_block)(void *ctx, const QvBlockIdent *table);
    void (*end_block)(void *ctx);
    int (*depth)(void *ctx);
    int (*read_dp)(void *ctx, double *dst, int count);
} QvLoadState;

typedef struct QvSaveState {
    int32_t io_mode;
    void *context;
    void (*write)(void *ctx, const char *src, int bytes);
    void (*write_i1)(void *ctx, const int8_t *src, int count);
    void (*write_i2)(void *ctx, const int16_t *src, int count);
    void (*write_i4)(void *ctx, const int32_t *src, int count);
    void (*write_u1)(void *ctx, const uint8_t *src, int count);
    void (*write_u2)(void *ctx, const uint16_t *src, int count);
    void (*write_u4)(void *ctx, const uint32_t *src, int count);
    void (*write_fp)(void *ctx, const float *src, int count);
    void (*write_str)(void *ctx, const char *src);
    void (*write_id)(void *ctx, const QvBlockIdent *ident);
    void (*begin_block)(void *ctx, const QvBlockIdent *ident, int leaf);
    void (*end_block)(void *ctx);
    int (*depth)(void *ctx);
    void (*write_dp)(void *ctx, const double *src, int count);
} QvSaveState;

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- The 32-bit layout the host reads ----------------------------------- */
#if defined(__cplusplus)
#define QV_STATIC_ASSERT static_assert
#else
#define QV_STATIC_ASSERT _Static_assert
#endif

#if UINTPTR_MAX == 0xffffffffu
QV_STATIC_ASSERT(sizeof(QvModuleDescriptor) == 24, "descriptor is six words");
QV_STATIC_ASSERT(offsetof(QvModuleDescriptor, servers) == 20, "server table is word 6");
QV_STATIC_ASSERT(sizeof(QvServerRecord) == 16, "server record is four words");
QV_STATIC_ASSERT(offsetof(QvServerRecord, tags) == 12, "tags are word 4");
QV_STATIC_ASSERT(sizeof(QvTagPair) == 8, "tag pair is two words");
QV_STATIC_ASSERT(offsetof(QvNodeHandler, rend) == 8, "render operations are word 3");
QV_STATIC_ASSERT(offsetof(QvNodeHandler, evaluate) == 12, "evaluate is word 4");
QV_STATIC_ASSERT(offsetof(QvNodeHandler, custom_preview) == 16, "custom draw is word 5");
QV_STATIC_ASSERT(offsetof(QvNodeHandler, flags_query) == 20, "version 5 flags query is word 6");
QV_STATIC_ASSERT(offsetof(QvNodeHandler, extra_query) == 24, "extra query is word 7");
QV_STATIC_ASSERT(offsetof(QvCreateContext, object) == 4, "context object is word 2");
QV_STATIC_ASSERT(offsetof(QvInstanceFuncs, save) == 20, "save is entry 6");
QV_STATIC_ASSERT(offsetof(QvRenderFuncs, new_time) == 8, "new time is entry 3");
QV_STATIC_ASSERT(offsetof(QvNodeFuncs, set_color) == 12, "set node colour is operation 4");
QV_STATIC_ASSERT(offsetof(QvNodeFuncs, set_mode) == 20, "set node mode is operation 6");
QV_STATIC_ASSERT(offsetof(QvNodeInputFuncs, evaluate) == 8, "evaluate input is operation 3");
QV_STATIC_ASSERT(offsetof(QvNodeInputFuncs, connected) == 12, "input connected is operation 4");
QV_STATIC_ASSERT(offsetof(QvNodeOutputFuncs, set_value) == 8, "set output value is operation 3");
QV_STATIC_ASSERT(offsetof(QvSceneInfo, frames_per_second) == 40, "frame rate at byte 40");
QV_STATIC_ASSERT(offsetof(QvTimeInfo, frame) == 8, "frame at byte 8");
QV_STATIC_ASSERT(offsetof(QvTextureFuncs, noise) == 92, "noise is operation 24");
QV_STATIC_ASSERT(sizeof(QvBlockIdent) == 8, "block ident is two words");
QV_STATIC_ASSERT(sizeof(QvLoadState) == 64, "load state is sixteen words");
QV_STATIC_ASSERT(sizeof(QvSaveState) == 64, "save state is sixteen words");
QV_STATIC_ASSERT(offsetof(QvLoadState, context) == 4, "context is word 2");
QV_STATIC_ASSERT(offsetof(QvLoadState, read_i4) == 20, "read integers is word 6");
QV_STATIC_ASSERT(offsetof(QvLoadState, read_fp) == 36, "read floats is word 10");
QV_STATIC_ASSERT(offsetof(QvLoadState, find_block) == 48, "find block is word 13");
QV_STATIC_ASSERT(offsetof(QvLoadState, end_block) == 52, "end block is word 14");
QV_STATIC_ASSERT(offsetof(QvSaveState, write_i4) == 20, "write integers is word 6");
QV_STATIC_ASSERT(offsetof(QvSaveState, write_fp) == 36, "write floats is word 10");
QV_STATIC_ASSERT(offsetof(QvSaveState, begin_block) == 48, "begin block is word 13");
QV_STATIC_ASSERT(offsetof(QvSaveState, end_block) == 52, "end block is word 14");
#endif

QV_STATIC_ASSERT(offsetof(QvCreateContext, object) == sizeof(void *), "the context object is pointer-aligned");
QV_STATIC_ASSERT(sizeof(QvMaterialValue) == 104, "material value is thirteen doubles");
QV_STATIC_ASSERT(offsetof(QvMaterialValue, transparency) == 96, "transparency follows the four colours");

#endif /* QV_HOST_API_H */
