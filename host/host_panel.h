/*
 * The host's panel toolkit ("LWXPanel") and node drawing service
 * ("NodeDrawFuncs") as QV Math Node uses them: option panels built from
 * control tables, data descriptions and hint lists, and the text previews of
 * the viewer nodes.
 */
#ifndef QV_HOST_PANEL_H
#define QV_HOST_PANEL_H

#include "host/host_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A control (create panel) or a value description (describe values): id,
 * label, class or value type.  A table ends with an entry whose id is 0. */
typedef struct QvXPanelControl {
    uint32_t id;
    const char *label;
    const char *type;
} QvXPanelControl;

/* Hint lists are arrays of pointer-sized words, so that a pointer argument
 * fits on every target: a tag, its arguments, ..., then 0. */
typedef intptr_t QvHintWord;

#define QV_HINT_NOTIFY 0x3d000f01  /* change callback */
#define QV_HINT_NUMERIC 0x3d014202 /* control id, 1 */
#define QV_HINT_CHOICES 0x3d014503 /* control id, null-ended label array, 0 */
#define QV_HINT_LIST_A 0x3d021280  /* control ids, 0 */
#define QV_HINT_LIST_B 0x3d021481  /* control ids, 0 */
#define QV_HINT_AUX 0x3d000e01     /* control id */

/* Toolkit callbacks: the get accessor returns a pointer to the value inside
 * the bound instance or null; the set accessor copies a value in and returns
 * 1, or 0 for an id it does not handle. */
typedef void *(*QvXPanelGetFunc)(void *inst, uint32_t vid);
typedef int (*QvXPanelSetFunc)(void *inst, uint32_t vid, void *value);
/* The change callback: (panel, control id, value id, event code). */
typedef int (*QvXPanelChangeFunc)(void *panel, uint32_t cid, uint32_t vid, int event);

#define QV_XPANEL_KIND_CONFIG 1

/* "LWXPanel": the toolkit's version, then its operations by position. */
typedef struct QvXPanelFuncs {
    intptr_t version;
    void *word2;
    void *(*create)(int kind, const QvXPanelControl *controls);
    void (*destroy)(void *panel);
    void (*describe)(void *panel, const QvXPanelControl *data, QvXPanelGetFunc get, QvXPanelSetFunc set);
    void (*hint)(void *panel, uint32_t id, const QvHintWord *hints);
    void *(*get_data)(void *panel, uint32_t id);
    void (*set_data)(void *panel, uint32_t id, void *data);
    void *word9;
    void *word10;
    void (*view_inst)(void *panel, void *inst);
    void (*refresh)(void *panel);
} QvXPanelFuncs;

/* A drawing colour word as the application packs it: 0x01000000 | R << 16 |
 * B << 8 | G, the low byte green and the middle byte blue. */
#define QV_DRAW_COLOUR(r, g, b) (0x01000000u | ((uint32_t)(r) << 16) | ((uint32_t)(b) << 8) | (uint32_t)(g))
#define QV_DRAW_RED(word) (((uint32_t)(word) >> 16) & 0xffu)
#define QV_DRAW_GREEN(word) ((uint32_t)(word)&0xffu)
#define QV_DRAW_BLUE(word) (((uint32_t)(word) >> 8) & 0xffu)

/* "NodeDrawFuncs": colours are drawing colour words; y is the top of a text line. */
typedef struct QvNodeDrawFuncs {
    void *word1;
    void *word2;
    void (*draw_line)(QvNodeId node, uint32_t colour, int x1, int y1, int x2, int y2);
    void (*draw_box)(QvNodeId node, uint32_t colour, int x, int y, int width, int height);
    void *word5;
    void *word6;
    void *word7;
    void (*draw_text)(QvNodeId node, const char *text, uint32_t colour, int x, int y);
} QvNodeDrawFuncs;

#ifdef __cplusplus
} /* extern "C" */
#endif

#if UINTPTR_MAX == 0xffffffffu
QV_STATIC_ASSERT(sizeof(QvXPanelControl) == 12, "a control entry is three words");
QV_STATIC_ASSERT(offsetof(QvXPanelFuncs, create) == 8, "create panel is position 3");
QV_STATIC_ASSERT(offsetof(QvXPanelFuncs, describe) == 16, "describe values is position 5");
QV_STATIC_ASSERT(offsetof(QvXPanelFuncs, view_inst) == 40, "bind instance is position 11");
QV_STATIC_ASSERT(offsetof(QvXPanelFuncs, refresh) == 44, "refresh panel is position 12");
QV_STATIC_ASSERT(offsetof(QvNodeDrawFuncs, draw_line) == 8, "draw line is position 3");
QV_STATIC_ASSERT(offsetof(QvNodeDrawFuncs, draw_box) == 12, "fill rectangle is position 4");
QV_STATIC_ASSERT(offsetof(QvNodeDrawFuncs, draw_text) == 28, "draw text is position 8");
#endif

#endif /* QV_HOST_PANEL_H */
