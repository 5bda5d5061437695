// Building a node's option panel once, the accessors through which the panel
// reads and writes the instance, and the change callback.
#include "core/node_instance.h"
#include "module/base/services.h"
#include "nodes/tool/viewers.h"
#include "panels/panels.h"

#include <cstring>

namespace qv {

namespace {

// Whether the input in a slot is connected, asked of the host afresh.
bool input_connected(const NodeInstance *n, int slot) {
    return n->inputs[slot] != nullptr && (g_host.input->connected(n->inputs[slot]) & 0xFF) != 0;
}

NodeInstance *node_of(void *inst) { return static_cast<NodeInstance *>(inst); }

// Stored default k-1 for CTL_VALk, null while input slot k-1 is connected.
void *value_control(NodeInstance *n, uint32_t vid) {
    const int k = static_cast<int>(vid - CTL_VAL1);
    return input_connected(n, k) ? nullptr : &n->defaults[k];
}

bool is_value_id(uint32_t vid) { return vid >= CTL_VAL1 && vid <= CTL_VAL6; }

int store_double(double *field, void *value) {
    std::memcpy(field, value, sizeof(double));
    return 1;
}

int store_word(int32_t *field, void *value) {
    std::memcpy(field, value, sizeof(int32_t));
    return 1;
}

// The field behind a vector accessor id, and the input slot that hides it.
struct VectorField {
    double *field;  // null for an id the accessor does not handle
    int slot;
    int count;  // doubles
};

VectorField vector_field(NodeInstance *n, uint32_t vid, int slot1, int slot2, bool second_is_ratio) {
    if (vid == CTL_VAL1) return {&n->defaults[0], slot1, 3};
    if (vid == CTL_VAL2)
        return second_is_ratio ? VectorField{&n->extra.value, slot2, 1} : VectorField{&n->defaults[3], slot2, 3};
    return {nullptr, 0, 0};
}

void *vector_field_get(void *inst, uint32_t vid, int slot1, int slot2, bool ratio) {
    NodeInstance *n = node_of(inst);
    const VectorField f = vector_field(n, vid, slot1, slot2, ratio);
    if (f.field == nullptr || input_connected(n, f.slot)) return nullptr;
    return f.field;
}

int vector_field_set(void *inst, uint32_t vid, void *value, int slot1, int slot2, bool ratio) {
    const VectorField f = vector_field(node_of(inst), vid, slot1, slot2, ratio);
    if (f.field == nullptr) return 0;
    std::memcpy(f.field, value, f.count * sizeof(double));
    return 1;
}

void write_hint_list(const HintList &list, QvHintWord *out) {
    int w = 0;
    for (int h = 0; h < list.count; ++h) {
        const Hint &hint = list.hints[h];
        out[w++] = static_cast<QvHintWord>(hint.tag);
        switch (hint.tag) {
        case QV_HINT_NOTIFY: out[w++] = reinterpret_cast<QvHintWord>(&panel_changed); break;
        case QV_HINT_NUMERIC:
            out[w++] = hint.ids[0];
            out[w++] = 1;
            break;
        case QV_HINT_CHOICES:
            out[w++] = hint.ids[0];
            out[w++] = reinterpret_cast<QvHintWord>(hint.choices);
            out[w++] = 0;
            break;
        case QV_HINT_AUX: out[w++] = hint.ids[0]; break;
        default:  // the grouping lists
            for (int i = 0; i < hint.count; ++i) out[w++] = hint.ids[i];
            out[w++] = 0;
            break;
        }
    }
    out[w] = 0;
}

// Whether the node's extra slot holds what an option id reaches: the first
// option word, the second, or the stored extra value.  Elsewhere the slot
// holds something else (a one-input node's function), which no id reaches.
bool holds_extra_of(const NodeInstance *n, uint32_t vid) {
    switch (vid) {
    case CTL_OPT1:
    case CTL_INT1: return (n->flags & (kFlagInt1 | kFlagInt2)) != 0;
    case CTL_OPT2:
    case CTL_INT2: return (n->flags & kFlagInt2) != 0;
    case CTL_RATIO: return (n->flags & kFlagValD) != 0;
    default: return false;
    }
}

}  // namespace

// ---- Accessors ---------------------------------------------------------------

void *standard_get(void *inst, uint32_t vid) {
    NodeInstance *n = node_of(inst);
    if (is_value_id(vid)) return value_control(n, vid);
    if (!holds_extra_of(n, vid)) return nullptr;
    switch (vid) {
    case CTL_OPT1: return &n->extra.words[0];
    case CTL_OPT2: return &n->extra.words[1];
    case CTL_INT1: return input_connected(n, 0) ? nullptr : &n->extra.words[0];
    case CTL_INT2: return input_connected(n, 1) ? nullptr : &n->extra.words[1];
    case CTL_RATIO: return input_connected(n, 6) ? nullptr : &n->extra.value;
    default: return nullptr;
    }
}

int standard_set(void *inst, uint32_t vid, void *value) {
    NodeInstance *n = node_of(inst);
    if (value == nullptr) return 0;
    if (is_value_id(vid)) return store_double(&n->defaults[vid - CTL_VAL1], value);
    if (!holds_extra_of(n, vid)) return 0;
    switch (vid) {
    case CTL_OPT1:
    case CTL_INT1: return store_word(&n->extra.words[0], value);
    case CTL_OPT2:
    case CTL_INT2: return store_word(&n->extra.words[1], value);
    case CTL_RATIO: return store_double(&n->extra.value, value);
    default: return 0;
    }
}

void *logic_get(void *inst, uint32_t vid) {
    if (is_value_id(vid)) return value_control(node_of(inst), vid);
    if (vid >= CTL_OPT1 && vid <= CTL_OPT3) return &static_cast<LogicInstance *>(inst)->operators[vid - CTL_OPT1];
    return nullptr;
}

int logic_set(void *inst, uint32_t vid, void *value) {
    if (value == nullptr) return 0;
    if (is_value_id(vid)) return store_double(&node_of(inst)->defaults[vid - CTL_VAL1], value);
    if (vid >= CTL_OPT1 && vid <= CTL_OPT3)
        return store_word(&static_cast<LogicInstance *>(inst)->operators[vid - CTL_OPT1], value);
    return 0;
}

void *vector_get(void *inst, uint32_t vid) { return vector_field_get(inst, vid, 0, 1, false); }
int vector_set(void *inst, uint32_t vid, void *value) {
    return value != nullptr && vector_field_set(inst, vid, value, 0, 1, false);
}
void *vector_clamp_get(void *inst, uint32_t vid) { return vector_field_get(inst, vid, 1, 2, false); }
int vector_clamp_set(void *inst, uint32_t vid, void *value) {
    return value != nullptr && vector_field_set(inst, vid, value, 1, 2, false);
}
void *axis_rotation_get(void *inst, uint32_t vid) { return vector_field_get(inst, vid, 3, 4, true); }
int axis_rotation_set(void *inst, uint32_t vid, void *value) {
    return value != nullptr && vector_field_set(inst, vid, value, 3, 4, true);
}

void *viewer_get(void *inst, uint32_t vid) {
    auto *v = static_cast<ViewerRecord *>(inst);
    switch (vid) {
    case CTL_SHOW_HEX: return &v->hex;
    case CTL_SHOW_DEG_S: return &v->scalar_degrees;
    case CTL_SHOW_DEG_V: return &v->vector_degrees;
    default: return nullptr;
    }
}

int viewer_set(void *inst, uint32_t vid, void *value) {
    int32_t *field = static_cast<int32_t *>(viewer_get(inst, vid));
    if (field == nullptr || value == nullptr) return 0;
    return store_word(field, value);
}

// ---- Change callback, builder and activation -----------------------------------

int panel_changed(void *panel, uint32_t, uint32_t, int event) {
    if (event != 1 && event != 2) return 0;
    void *inst = g_host.xpanel->get_data(panel, 0);
    if (inst != nullptr) g_host.instance_update("NodeHandler", inst);
    return 0;  // "Instance Update" answers nothing: the refresh code is 0
}

void *build_panel(const PanelSpec &tables, void **panel_field, void *inst) {
    if (*panel_field != nullptr) return *panel_field;
    void *panel = g_host.xpanel->create(QV_XPANEL_KIND_CONFIG, tables.controls);
    *panel_field = panel;
    if (panel == nullptr) return nullptr;
    g_host.xpanel->describe(panel, tables.data, tables.get, tables.set);
    // The longest list: every hint with four ids and its end word, then the end of the list.
    QvHintWord words[kMaxHintsPerList * 6 + 1];
    for (int i = 0; i < tables.list_count; ++i) {
        write_hint_list(tables.lists[i], words);
        g_host.xpanel->hint(panel, 0, words);
    }
    g_host.xpanel->view_inst(panel, inst);
    g_host.xpanel->set_data(panel, 0, inst);
    return *panel_field;
}

int activate_panel(PanelKind kind, int version, QvGlobalFunc global, void *local) {
    // Hosts of 2018 and later take a plug-in that accepts a version below
    // theirs for one of their legacy panel API; older hosts start at 4.
    const QvHostEra era = global != nullptr ? decide_era(global, 0) : g_host.era;
    if (version < (era == QV_ERA_2018 ? QV_INTERFACE_VERSION_2018 : QV_INTERFACE_VERSION_BEFORE_2018))
        return QV_AFUNC_BADVERSION;
    auto *record = static_cast<QvNodeInterface *>(local);
    if (record == nullptr) return QV_AFUNC_BADGLOBAL;
    if (kind == PanelKind::none) {
        record->panel = record->word3 = record->word4 = nullptr;
        return QV_AFUNC_OK;
    }
    if (!acquire(global, QV_SERVICE_XPANEL, 0, g_host.xpanel)) return QV_AFUNC_BADGLOBAL;
    record->word3 = record->word4 = nullptr;
    if (record->inst == nullptr) {  // nothing to build a panel for
        record->panel = nullptr;
        return QV_AFUNC_OK;
    }
    const PanelSpec *tables = panel_spec(kind, record->inst);
    // Both the node instance and the viewer record keep the panel handle in
    // the field the builder fills: the viewer's first, the instance's panel.
    void **field = kind == PanelKind::viewer ? &static_cast<ViewerRecord *>(record->inst)->panel
                                             : &static_cast<NodeInstance *>(record->inst)->panel;
    record->panel = tables != nullptr ? build_panel(*tables, field, record->inst) : nullptr;
    return QV_AFUNC_OK;
}

}  // namespace qv
