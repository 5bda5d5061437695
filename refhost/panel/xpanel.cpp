#include "refhost/panel/xpanel.h"

#include "refhost/application.h"
#include "support/escaped_text.h"
#include "refhost/value.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace refhost {

using support::escaped_text;
using support::quoted;

namespace {

// Limits that keep a malformed table or hint list from running away.
constexpr std::size_t kMaxTableEntries = 1024;
constexpr std::size_t kMaxHintWords = 4096;
constexpr std::size_t kMaxChoices = 256;

std::string hex_id(uint64_t id) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(id));
    return buf;
}

std::string hex_word(intptr_t w) { return hex_id(static_cast<uint64_t>(static_cast<uintptr_t>(w))); }

bool is_value_type(const std::string &t) { return t == "float" || t == "float3" || t == "integer" || t == "percent"; }

bool is_choice_class(const std::string &c) { return c == "iChoice" || c == "iPopChoice"; }

bool is_known_class(const std::string &c) { return is_value_type(c) || c == "iBoolean" || is_choice_class(c); }

// The value type a control of a class edits.
std::string value_type_of_class(const std::string &c) {
    if (c == "iBoolean" || is_choice_class(c)) return "integer";
    return c;
}

std::string control_name(const PanelControl &c) {
    if (c.label.empty()) return "control " + hex_id(c.id);
    return "control \"" + c.label + "\" (" + hex_id(c.id) + ")";
}

bool parse_id(const std::string &s, uint32_t &id) {
    if (s.empty()) return false;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string digits = hex ? s.substr(2) : s;
    if (digits.empty() || digits.size() > 8) return false;
    uint64_t v = 0;
    for (char ch : digits) {
        int d;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (hex && ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        else if (hex && ch >= 'A' && ch <= 'F')
            d = ch - 'A' + 10;
        else
            return false;
        v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    }
    if (v > 0xffffffffu) return false;
    id = static_cast<uint32_t>(v);
    return true;
}

struct Registry {
    std::mutex mutex;
    std::map<void *, std::unique_ptr<Panel>> panels;
    std::vector<std::string> calls;
    std::vector<std::string> errors;
    int created = 0;
};

Registry &registry() {
    static Registry r;
    return r;
}

}  // namespace

// ---- The toolkit operations -------------------------------------------------

struct PanelToolkit {
    static Panel *lookup(void *handle, const char *call) {
        Registry &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.calls.push_back(call);
        auto it = r.panels.find(handle);
        if (it == r.panels.end()) {
            r.errors.push_back(std::string(call) + ": " + hex_word(reinterpret_cast<intptr_t>(handle)) +
                               " is no panel");
            return nullptr;
        }
        it->second->calls_.push_back(call);
        return it->second.get();
    }

    static void *create(int kind, const QvXPanelControl *controls) {
        Registry &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.calls.push_back("create");
        if (Application::get().config().panels_fail) return nullptr;
        if (controls == nullptr) {
            r.errors.push_back("create: no control table");
            return nullptr;
        }
        auto panel = std::make_unique<Panel>();
        panel->calls_.push_back("create");
        panel->kind_ = kind;
        if (kind != QV_XPANEL_KIND_CONFIG) panel->error("create: panel kind " + std::to_string(kind) + " is not 1");
        std::size_t k = 0;
        for (; controls[k].id != 0; ++k) {
            if (k == kMaxTableEntries) {
                panel->error("create: the control table has no end within " + std::to_string(kMaxTableEntries) +
                             " entries");
                break;
            }
            const QvXPanelControl &e = controls[k];
            PanelControl c;
            c.id = e.id;
            c.raw_label = e.label != nullptr ? e.label : "";
            const std::size_t mark = c.raw_label.find('\x03');
            c.label = c.raw_label.substr(0, mark);
            if (mark != std::string::npos) c.decoration = c.raw_label.substr(mark + 1);
            c.cls = e.type != nullptr ? e.type : "";
            c.value_type = value_type_of_class(c.cls);
            if (e.label == nullptr) panel->error("create: " + hex_id(e.id) + " has a null label");
            if (!is_known_class(c.cls))
                panel->error("create: " + hex_id(e.id) + " has an unknown class \"" + c.cls + "\"");
            if (panel->control(c.id) != nullptr) panel->error("create: " + hex_id(e.id) + " is listed twice");
            panel->controls_.push_back(std::move(c));
        }
        void *handle = panel.get();
        r.panels.emplace(handle, std::move(panel));
        ++r.created;
        return handle;
    }

    static void destroy(void *handle) {
        Registry &r = registry();
        std::unique_ptr<Panel> doomed;
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            r.calls.push_back("destroy");
            auto it = r.panels.find(handle);
            if (it == r.panels.end()) {
                r.errors.push_back("destroy: " + hex_word(reinterpret_cast<intptr_t>(handle)) + " is no panel");
                return;
            }
            doomed = std::move(it->second);
            r.panels.erase(it);
        }
    }

    static void describe(void *handle, const QvXPanelControl *data, QvXPanelGetFunc get, QvXPanelSetFunc set) {
        Panel *p = lookup(handle, "describe");
        if (p == nullptr) return;
        p->get_ = get;
        p->set_ = set;
        if (get == nullptr) p->error("describe: no get accessor");
        if (set == nullptr) p->error("describe: no set accessor");
        if (data == nullptr) {
            p->error("describe: no value description table");
            return;
        }
        for (std::size_t k = 0; data[k].id != 0; ++k) {
            if (k == kMaxTableEntries) {
                p->error("describe: the value table has no end within " + std::to_string(kMaxTableEntries) +
                         " entries");
                break;
            }
            const QvXPanelControl &e = data[k];
            PanelControl *c = p->mutable_control(e.id);
            if (c == nullptr) {
                p->error("describe: value " + hex_id(e.id) + " has no control");
                continue;
            }
            const std::string label = e.label != nullptr ? e.label : "";
            const std::string type = e.type != nullptr ? e.type : "";
            if (!label.empty() && label != c->raw_label)
                p->error("describe: value " + hex_id(e.id) + " is labelled \"" + label + "\", its control \"" +
                         c->raw_label + "\"");
            if (!is_value_type(type))
                p->error("describe: value " + hex_id(e.id) + " has an unknown value type \"" + type + "\"");
            else if (type != value_type_of_class(c->cls))
                p->error("describe: value " + hex_id(e.id) + " is \"" + type + "\" for a control of class \"" + c->cls +
                         "\"");
            c->value_type = type;
            c->described = true;
        }
        for (const PanelControl &c : p->controls_)
            if (!c.described) p->error("describe: control " + hex_id(c.id) + " has no value description");
    }

    static void hint(void *handle, uint32_t id, const QvHintWord *hints) {
        Panel *p = lookup(handle, "hint");
        if (p != nullptr) p->decode_hints(hints, id);
    }

    static void *get_data(void *handle, uint32_t id) {
        Panel *p = lookup(handle, "get_data");
        return p != nullptr ? p->user_data(id) : nullptr;
    }

    static void set_data(void *handle, uint32_t id, void *data) {
        Panel *p = lookup(handle, "set_data");
        if (p != nullptr) p->user_data_[id] = data;
    }

    static void view_inst(void *handle, void *inst) {
        Panel *p = lookup(handle, "view_inst");
        if (p != nullptr) p->instance_ = inst;
    }

    static void refresh(void *handle) {
        Panel *p = lookup(handle, "refresh");
        if (p != nullptr) ++p->refreshes_;
    }
};

namespace {

const QvXPanelFuncs kXPanelFuncs = {
    4,
    nullptr,
    &PanelToolkit::create,
    &PanelToolkit::destroy,
    &PanelToolkit::describe,
    &PanelToolkit::hint,
    &PanelToolkit::get_data,
    &PanelToolkit::set_data,
    nullptr,
    nullptr,
    &PanelToolkit::view_inst,
    &PanelToolkit::refresh,
};

}  // namespace

const QvXPanelFuncs &xpanel_funcs() { return kXPanelFuncs; }

Panel *panel_of(void *handle) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.panels.find(handle);
    return it == r.panels.end() ? nullptr : it->second.get();
}

std::vector<std::string> toolkit_calls() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.calls;
}

void clear_toolkit_calls() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.calls.clear();
    r.errors.clear();
}

std::vector<std::string> toolkit_errors() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.errors;
}

int panels_alive() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<int>(r.panels.size());
}

int panels_created() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.created;
}

// ---- Hint lists ---------------------------------------------------------------

void Panel::decode_hints(const QvHintWord *w, uint32_t target) {
    const std::string where = "hint list " + std::to_string(hint_lists_.size() + 1);
    std::string text = target != 0 ? "[" + hex_id(target) + "] " : "";
    const std::size_t prefix = text.size();
    auto add = [&](const std::string &s) {
        if (text.size() > prefix) text += ", ";
        text += s;
    };
    auto fail = [&](const std::string &message) { error(where + ": " + message); };
    if (w == nullptr) {
        fail("no list");
        hint_lists_.push_back(text);
        return;
    }

    std::size_t k = 0;
    // The next argument word, which must not be 0: a 0 there is the end of the
    // list, so the hint is cut short and nothing after it is read.
    auto argument = [&](const char *tag, const char *what, intptr_t &out) {
        if (k >= kMaxHintWords) {
            fail(std::string(tag) + ": no end within " + std::to_string(kMaxHintWords) + " words");
            return false;
        }
        out = w[k++];
        if (out == 0) {
            fail(std::string(tag) + " ends before its " + what);
            return false;
        }
        return true;
    };
    auto known_control = [&](const char *tag, intptr_t id) -> PanelControl * {
        PanelControl *c =
            id > 0 && static_cast<uintptr_t>(id) <= 0xffffffffu ? mutable_control(static_cast<uint32_t>(id)) : nullptr;
        if (c == nullptr) fail(std::string(tag) + " names " + hex_word(id) + ", which is no control");
        return c;
    };

    bool ok = true;
    while (ok) {
        if (k >= kMaxHintWords) {
            fail("no terminating 0 within " + std::to_string(kMaxHintWords) + " words");
            break;
        }
        const intptr_t tag = w[k++];
        if (tag == 0) break;
        intptr_t a = 0, b = 0;
        switch (tag) {
        case QV_HINT_NOTIFY:
            if (!(ok = argument("HINT_NOTIFY", "callback", a))) break;
            notify_ = reinterpret_cast<QvXPanelChangeFunc>(a);
            if (++notify_hints_ > 1) fail("a second HINT_NOTIFY");
            add("NOTIFY");
            break;
        case QV_HINT_NUMERIC:
            if (!(ok = argument("HINT_NUMERIC", "control id", a))) break;
            if (!(ok = argument("HINT_NUMERIC", "value", b))) break;
            if (PanelControl *c = known_control("HINT_NUMERIC", a)) {
                c->numeric = true;
                c->numeric_value = b;
                if (!is_value_type(c->cls)) fail("HINT_NUMERIC on " + hex_id(c->id) + " of class \"" + c->cls + "\"");
            }
            add(b == 1 ? "N(" + hex_word(a) + ")" : "N(" + hex_word(a) + ", " + std::to_string(b) + ")");
            break;
        case QV_HINT_CHOICES: {
            if (!(ok = argument("HINT_CHOICES", "control id", a))) break;
            if (!(ok = argument("HINT_CHOICES", "label array", b))) break;
            std::vector<std::string> labels;
            const char *const *array = reinterpret_cast<const char *const *>(b);
            for (std::size_t n = 0; array[n] != nullptr; ++n) {
                if (n == kMaxChoices) {
                    fail("HINT_CHOICES on " + hex_word(a) + ": no null within " + std::to_string(kMaxChoices) +
                         " labels");
                    break;
                }
                labels.push_back(array[n]);
            }
            if (k >= kMaxHintWords || w[k] != 0) {
                fail("HINT_CHOICES on " + hex_word(a) + " is not closed by 0");
                ok = false;
            } else {
                ++k;
            }
            std::string joined;
            for (const std::string &l : labels) joined += (joined.empty() ? "" : "|") + l;
            if (PanelControl *c = known_control("HINT_CHOICES", a)) {
                c->has_choices = true;
                c->choices = labels;
                if (!is_choice_class(c->cls)) fail("HINT_CHOICES on " + hex_id(c->id) + " of class \"" + c->cls + "\"");
            }
            add("C(" + hex_word(a) + ", [" + joined + "])");
            break;
        }
        case QV_HINT_LIST_A:
        case QV_HINT_LIST_B: {
            const char list = tag == QV_HINT_LIST_A ? 'A' : 'B';
            const char *name = list == 'A' ? "HINT_LIST_A" : "HINT_LIST_B";
            PanelGroup group;
            group.list = list;
            std::string ids;
            while (true) {
                if (k >= kMaxHintWords) {
                    fail(std::string(name) + ": no end within " + std::to_string(kMaxHintWords) + " words");
                    ok = false;
                    break;
                }
                const intptr_t id = w[k++];
                if (id == 0) break;
                ids += (ids.empty() ? "" : ", ") + hex_word(id);
                if (PanelControl *c = known_control(name, id)) {
                    group.ids.push_back(c->id);
                    c->groups.push_back(static_cast<int>(groups_.size()));
                }
            }
            groups_.push_back(std::move(group));
            add(std::string(1, list) + "(" + ids + ")");
            break;
        }
        case QV_HINT_AUX:
            if (!(ok = argument("HINT_AUX", "control id", a))) break;
            if (PanelControl *c = known_control("HINT_AUX", a)) c->hidden = true;
            add("AUX(" + hex_word(a) + ")");
            break;
        default:
            fail("unknown hint tag " + hex_word(tag));
            add("?" + hex_word(tag));
            ok = false;
            break;
        }
    }
    hint_lists_.push_back(text);
}

// ---- Controls and values ------------------------------------------------------

const PanelControl *Panel::control(uint32_t id) const {
    for (const PanelControl &c : controls_)
        if (c.id == id) return &c;
    return nullptr;
}

PanelControl *Panel::mutable_control(uint32_t id) {
    for (PanelControl &c : controls_)
        if (c.id == id) return &c;
    return nullptr;
}

void *Panel::user_data(uint32_t id) const {
    auto it = user_data_.find(id);
    return it == user_data_.end() ? nullptr : it->second;
}

const PanelControl *Panel::find(const std::string &label_or_id, std::string &error) const {
    for (const bool raw : {false, true}) {
        std::vector<const PanelControl *> hits;
        for (const PanelControl &c : controls_) {
            const std::string &l = raw ? c.raw_label : c.label;
            if (!l.empty() && l == label_or_id) hits.push_back(&c);
        }
        if (hits.size() == 1) return hits[0];
        if (hits.size() > 1) {
            std::string ids;
            for (const PanelControl *c : hits) ids += (ids.empty() ? "" : ", ") + hex_id(c->id);
            error = "label " + quoted(label_or_id) + " names " + std::to_string(hits.size()) + " controls (" + ids +
                    "); use the id";
            return nullptr;
        }
    }
    uint32_t id = 0;
    if (parse_id(label_or_id, id)) {
        if (const PanelControl *c = control(id)) return c;
        error = "no control " + hex_id(id) + " on this panel";
        return nullptr;
    }
    std::string known;
    for (const PanelControl &c : controls_)
        if (!c.hidden) known += (known.empty() ? "" : ", ") + (c.label.empty() ? hex_id(c.id) : "\"" + c.label + "\"");
    error = "no control " + quoted(label_or_id) + " on this panel (controls: " + (known.empty() ? "none" : known) + ")";
    return nullptr;
}

std::optional<std::string> Panel::value_text(uint32_t id) const {
    const PanelControl *c = control(id);
    if (c == nullptr || get_ == nullptr) return std::nullopt;
    const void *p = get_(instance_, id);
    if (p == nullptr) return std::nullopt;
    if (c->value_type == "float" || c->value_type == "percent") {
        double d;
        std::memcpy(&d, p, sizeof d);
        return format_value(Value::scalar(d));
    }
    if (c->value_type == "float3") {
        double d[3];
        std::memcpy(d, p, sizeof d);
        return format_value(Value::triple(QV_TYPE_VECTOR, d[0], d[1], d[2]));
    }
    if (c->value_type == "integer") {
        int32_t i;
        std::memcpy(&i, p, sizeof i);
        return std::to_string(i);
    }
    return std::nullopt;
}

std::optional<int32_t> Panel::integer_value(uint32_t id) const {
    const PanelControl *c = control(id);
    if (c == nullptr || get_ == nullptr || c->value_type != "integer") return std::nullopt;
    const void *p = get_(instance_, id);
    if (p == nullptr) return std::nullopt;
    int32_t i;
    std::memcpy(&i, p, sizeof i);
    return i;
}

bool Panel::edit(const std::string &label_or_id, const std::string &text, std::string &error) {
    const PanelControl *c = find(label_or_id, error);
    return c != nullptr && edit(c->id, text, error);
}

bool Panel::edit(uint32_t id, const std::string &text, std::string &error) {
    const PanelControl *c = control(id);
    if (c == nullptr) {
        error = "no control " + hex_id(id) + " on this panel";
        return false;
    }
    const std::string name = control_name(*c);
    if (c->hidden) {
        error = name + " is hidden";
        return false;
    }
    if (get_ == nullptr || set_ == nullptr) {
        error = name + ": the panel has no accessors";
        return false;
    }
    if (get_(instance_, id) == nullptr) {
        error = name + " shows no value (its input is connected) and cannot be edited";
        return false;
    }

    alignas(double) unsigned char buf[3 * sizeof(double)] = {};
    Value v;
    std::string why;
    const std::string &type = c->value_type;
    if (type == "float" || type == "percent") {
        std::string t = text;
        const bool percent = type == "percent" && !t.empty() && t.back() == '%';
        if (percent) t.pop_back();
        if (!parse_value(QV_TYPE_SCALAR, t, v, why)) {
            error = name + ": " + why;
            return false;
        }
        double d = v.as_scalar();
        if (percent) d /= 100.0;
        std::memcpy(buf, &d, sizeof d);
    } else if (type == "float3") {
        if (!parse_value(QV_TYPE_VECTOR, text, v, why)) {
            error = name + ": " + why;
            return false;
        }
        std::memcpy(buf, v.doubles(), 3 * sizeof(double));
    } else if (type == "integer") {
        int32_t i = 0;
        bool found = false;
        if (c->has_choices) {
            for (std::size_t n = 0; n < c->choices.size() && !found; ++n)
                if (c->choices[n] == text) {
                    i = static_cast<int32_t>(n);
                    found = true;
                }
        } else if (c->cls == "iBoolean") {
            if (text == "on" || text == "true")
                i = 1, found = true;
            else if (text == "off" || text == "false")
                i = 0, found = true;
        }
        if (!found) {
            if (!parse_value(QV_TYPE_INTEGER, text, v, why)) {
                if (c->has_choices) {
                    std::string list;
                    for (const std::string &l : c->choices) list += (list.empty() ? "" : ", ") + ("\"" + l + "\"");
                    error = name + ": " + quoted(text) + " is not one of its choices (" + list + ")";
                } else {
                    error = name + ": " + why;
                }
                return false;
            }
            i = v.as_integer();
            if (c->has_choices && (i < 0 || static_cast<std::size_t>(i) >= c->choices.size())) {
                error = name + ": choice " + escaped_text(text) + " is out of range 0 to " +
                        std::to_string(static_cast<long>(c->choices.size()) - 1);
                return false;
            }
        }
        std::memcpy(buf, &i, sizeof i);
    } else {
        error = name + ": values of type \"" + type + "\" cannot be edited";
        return false;
    }

    if (set_(instance_, id, buf) == 0) {
        error = name + ": the node did not take the value";
        return false;
    }
    if (notify_ != nullptr) notify_(this, id, id, kPanelEventValueChanged);
    return true;
}

}  // namespace refhost
