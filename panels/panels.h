// Option panels: one NodeInterface activation per panel kind, the builder
// that makes a node's panel once from its kind's tables, the accessors that
// reach the instance's fields, and the change callback.
#pragma once

#include "host/host_panel.h"
#include "module/base/panel_kind.h"

#include <cstdint>

namespace qv {

// Control and value ids.
enum ControlId : uint32_t {
    CTL_VAL1 = 0x8001,
    CTL_VAL2 = 0x8002,
    CTL_VAL3 = 0x8003,
    CTL_VAL4 = 0x8004,
    CTL_VAL5 = 0x8005,
    CTL_VAL6 = 0x8006,
    CTL_OPT1 = 0x8010,
    CTL_OPT2 = 0x8011,
    CTL_OPT3 = 0x8012,
    CTL_INT1 = 0x8013,
    CTL_INT2 = 0x8014,
    CTL_RATIO = 0x8015,
};

// The viewer panel's ids: display flags of the viewer record.
enum ViewerControlId : uint32_t { CTL_SHOW_HEX = 0x8001, CTL_SHOW_DEG_S = 0x8002, CTL_SHOW_DEG_V = 0x8003 };

// Activation of a panel kind's NodeInterface server: (version, global
// function, interface record, server data) -> activation code.
int activate_panel(PanelKind kind, int version, QvGlobalFunc global, void *local);

template <PanelKind Kind>
int activate_interface(int version, QvGlobalFunc global, void *local, void *) {
    return activate_panel(Kind, version, global, local);
}

// The change callback named in every panel's notify hint.
int panel_changed(void *panel, uint32_t cid, uint32_t vid, int event);

// Accessor pairs.
void *standard_get(void *inst, uint32_t vid);
int standard_set(void *inst, uint32_t vid, void *value);
void *logic_get(void *inst, uint32_t vid);
int logic_set(void *inst, uint32_t vid, void *value);
void *vector_get(void *inst, uint32_t vid);  // In1 and In2 on input slots 0 and 1
int vector_set(void *inst, uint32_t vid, void *value);
void *vector_clamp_get(void *inst, uint32_t vid);  // Min and Max on input slots 1 and 2
int vector_clamp_set(void *inst, uint32_t vid, void *value);
void *axis_rotation_get(void *inst, uint32_t vid);  // Axis on slot 3, Rot (one double) on slot 4
int axis_rotation_set(void *inst, uint32_t vid, void *value);
void *viewer_get(void *inst, uint32_t vid);
int viewer_set(void *inst, uint32_t vid, void *value);

// A hint as the panel tables describe it; the builder writes it out as words.
struct Hint {
    uint32_t tag;
    uint32_t ids[4];
    int count;
    const char *const *choices;
};

constexpr Hint notify() { return {QV_HINT_NOTIFY, {}, 0, nullptr}; }
constexpr Hint numeric(uint32_t id) { return {QV_HINT_NUMERIC, {id}, 1, nullptr}; }
constexpr Hint choices(uint32_t id, const char *const *labels) { return {QV_HINT_CHOICES, {id}, 1, labels}; }
constexpr Hint list_a(uint32_t a, uint32_t b = 0, uint32_t c = 0) {
    return {QV_HINT_LIST_A, {a, b, c}, c ? 3 : b ? 2 : 1, nullptr};
}
constexpr Hint list_b(uint32_t a, uint32_t b = 0, uint32_t c = 0) {
    return {QV_HINT_LIST_B, {a, b, c}, c ? 3 : b ? 2 : 1, nullptr};
}
constexpr Hint aux(uint32_t id) { return {QV_HINT_AUX, {id}, 1, nullptr}; }

constexpr int kMaxHintsPerList = 12;
constexpr int kMaxHintLists = 3;

struct HintList {
    Hint hints[kMaxHintsPerList];
    int count;
};

// Everything that tells one panel kind from another.
struct PanelSpec {
    const QvXPanelControl *controls;
    const QvXPanelControl *data;  // the value descriptions: the controls where every class is a value type
    QvXPanelGetFunc get;
    QvXPanelSetFunc set;
    HintList lists[kMaxHintLists];
    int list_count;
};

// The tables of a panel kind; for the viewer kind, of a viewer of this kind
// (the viewer's own kind word picks the table).  Null for no panel.
const PanelSpec *panel_spec(PanelKind kind, const void *inst);

// Builds the panel once and caches it in the record's panel field (the first
// field of a viewer record, the panel handle of a node instance).
void *build_panel(const PanelSpec &tables, void **panel_field, void *inst);

}  // namespace qv
