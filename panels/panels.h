// Option panels: one NodeInterface activation per panel kind, the builder
// that makes a node's panel once from its kind's tables, the accessors that
// reach the instance's fields, and the change callback.
#pragma once

#include "host/host_panel.h"
#include "module/base/panel_kind.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

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
    Hint hints[kMaxHintsPerList] = {};
    int count = 0;
    constexpr HintList() = default;
    constexpr HintList(std::initializer_list<Hint> list) {
        for (const Hint &h : list) hints[count++] = h;
    }
};

// The control classes, and the value type each edits: the check boxes and
// choices edit integers, every other class is itself a value type.
constexpr const char kFloat[] = "float";
constexpr const char kFloat3[] = "float3";
constexpr const char kInteger[] = "integer";
constexpr const char kPercent[] = "percent";
constexpr const char kBoolean[] = "iBoolean";
constexpr const char kChoice[] = "iChoice";
constexpr const char kPopChoice[] = "iPopChoice";

constexpr const char *value_type_of(const char *cls) {
    return cls == kBoolean || cls == kChoice || cls == kPopChoice ? kInteger : cls;
}

// A panel's controls, each an id, a label and a class, and the value
// descriptions derived from them: where every class is a value type the
// controls describe themselves, otherwise each value is described unlabelled
// with the type its control edits.
template <std::size_t N>
struct ControlTable {
    QvXPanelControl controls[N + 1] = {};  // ended by an entry whose id is 0
    QvXPanelControl values[N + 1] = {};
    bool self_described = true;

    constexpr const QvXPanelControl *data() const { return self_described ? controls : values; }
};

template <std::size_t N>
constexpr ControlTable<N> control_table(const QvXPanelControl (&list)[N]) {
    ControlTable<N> t;
    for (std::size_t i = 0; i < N; ++i) {
        t.controls[i] = list[i];
        t.values[i] = {list[i].id, "", value_type_of(list[i].type)};
        if (t.values[i].type != list[i].type) t.self_described = false;
    }
    return t;
}

// Everything that tells one panel kind from another.
struct PanelSpec {
    PanelKind kind;
    const QvXPanelControl *controls;  // null for no panel
    const QvXPanelControl *data;
    QvXPanelGetFunc get;
    QvXPanelSetFunc set;
    HintList lists[kMaxHintLists];
    int list_count;
};

struct Accessors {
    QvXPanelGetFunc get;
    QvXPanelSetFunc set;
};

// A panel kind's row: its controls from `first` on, the accessor pair, and
// the hint lists in the order they are applied.
template <std::size_t N>
constexpr PanelSpec panel(PanelKind kind, const ControlTable<N> &table, Accessors accessors,
                          std::initializer_list<HintList> lists, std::size_t first = 0) {
    PanelSpec s{kind, table.controls + first, table.data() + first, accessors.get, accessors.set, {}, 0};
    for (const HintList &l : lists) s.lists[s.list_count++] = l;
    return s;
}

// The tables of a panel kind; for the viewer kind, of a viewer of this kind
// (the viewer's own kind word picks the table).  Null for no panel.
const PanelSpec *panel_spec(PanelKind kind, const void *inst);

// Builds the panel once and caches it in the record's panel field (the first
// field of a viewer record, the panel handle of a node instance).
void *build_panel(const PanelSpec &tables, void **panel_field, void *inst);

}  // namespace qv
