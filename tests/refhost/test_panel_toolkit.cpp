// The application's panel toolkit on its own: hint lists, value descriptions,
// reading and editing values through hand-made accessors.
#include "refhost/panel/xpanel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using refhost::Panel;
using refhost::PanelControl;

// A hand-made instance and its accessor pair: values are empty while their
// "input" is connected; the set accessor refuses 0x8011 (read only).
struct Inst {
    double value = 0.1;
    double vec[3] = {1.0, 2.5, -3.0};
    int32_t choice = 1;
    int32_t check = 0;
    int32_t count = 7;
    double ratio = 0.25;
    bool value_connected = false;
    int sets = 0;
};

void *inst_get(void *p, uint32_t vid) {
    Inst *i = static_cast<Inst *>(p);
    switch (vid) {
    case 0x8001: return i->value_connected ? nullptr : &i->value;
    case 0x8002: return i->vec;
    case 0x8010: return &i->choice;
    case 0x8011: return &i->check;
    case 0x8013: return &i->count;
    case 0x8015: return &i->ratio;
    default: return nullptr;
    }
}

int inst_set(void *p, uint32_t vid, void *v) {
    Inst *i = static_cast<Inst *>(p);
    ++i->sets;
    switch (vid) {
    case 0x8001: std::memcpy(&i->value, v, sizeof(double)); return 1;
    case 0x8002: std::memcpy(i->vec, v, 3 * sizeof(double)); return 1;
    case 0x8010: std::memcpy(&i->choice, v, sizeof(int32_t)); return 1;
    case 0x8012: return 1;
    case 0x8013: std::memcpy(&i->count, v, sizeof(int32_t)); return 1;
    case 0x8015: std::memcpy(&i->ratio, v, sizeof(double)); return 1;
    default: return 0;  // 0x8011 among them
    }
}

struct Change {
    void *panel;
    uint32_t cid, vid;
    int event;
    void *user_data;
};
std::vector<Change> g_changes;

int on_change(void *panel, uint32_t cid, uint32_t vid, int event) {
    void *data = refhost::xpanel_funcs().get_data(panel, 0);
    g_changes.push_back({panel, cid, vid, event, data});
    return 0;
}

const char *const kModes[] = {"Linear", "Constant", "Repeat", "Reflect", nullptr};

const QvXPanelControl kControls[] = {
    {0x8001, "In", "float"},      {0x8002, "", "float3"},      {0x8010, "Mode\x03(g:57)", "iPopChoice"},
    {0x8011, "Show", "iBoolean"}, {0x8012, "Aux", "iBoolean"}, {0x8013, "Count", "integer"},
    {0x8015, "", "percent"},      {0, nullptr, nullptr},
};

const QvXPanelControl kData[] = {
    {0x8001, "", "float"},   {0x8002, "", "float3"},  {0x8010, "", "integer"}, {0x8011, "Show", "integer"},
    {0x8012, "", "integer"}, {0x8013, "", "integer"}, {0x8015, "", "percent"}, {0, nullptr, nullptr},
};

// A hint list in storage of exactly its length, so that reading one word
// past its end is caught by the address sanitizer.
std::unique_ptr<QvHintWord[]> exact(const std::vector<QvHintWord> &words) {
    std::unique_ptr<QvHintWord[]> p(new QvHintWord[words.size()]);
    for (std::size_t k = 0; k < words.size(); ++k) p[k] = words[k];
    return p;
}

QvHintWord word(const void *p) { return reinterpret_cast<QvHintWord>(p); }
QvHintWord word(QvXPanelChangeFunc f) { return reinterpret_cast<QvHintWord>(f); }

class XPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        refhost::clear_toolkit_calls();
        g_changes.clear();
        alive_before = refhost::panels_alive();
    }
    void TearDown() override {
        for (void *h : handles) refhost::xpanel_funcs().destroy(h);
        EXPECT_EQ(refhost::panels_alive(), alive_before);
    }

    // A panel of kControls, described, bound to `inst`, with its user data set.
    Panel *make(Inst &inst, const std::vector<std::vector<QvHintWord>> &lists) {
        const QvXPanelFuncs &f = refhost::xpanel_funcs();
        void *h = f.create(QV_XPANEL_KIND_CONFIG, kControls);
        EXPECT_NE(h, nullptr);
        handles.push_back(h);
        f.describe(h, kData, inst_get, inst_set);
        for (const auto &l : lists) {
            auto stored = exact(l);
            f.hint(h, 0, stored.get());
        }
        f.view_inst(h, &inst);
        f.set_data(h, 0, &inst);
        return refhost::panel_of(h);
    }

    std::vector<QvHintWord> good_list() const {
        return {QV_HINT_NOTIFY, word(&on_change), QV_HINT_NUMERIC, 0x8001, 1, QV_HINT_CHOICES, 0x8010, word(kModes), 0,
                QV_HINT_LIST_A, 0x8001,           0x8010,          0,      0};
    }

    std::vector<void *> handles;
    int alive_before = 0;
};

TEST_F(XPanelTest, TableHoldsVersionAndOperationsAtTheirPositions) {
    const QvXPanelFuncs &f = refhost::xpanel_funcs();
    EXPECT_EQ(f.version, 4);
    EXPECT_NE(f.create, nullptr);
    EXPECT_NE(f.destroy, nullptr);
    EXPECT_NE(f.describe, nullptr);
    EXPECT_NE(f.hint, nullptr);
    EXPECT_NE(f.get_data, nullptr);
    EXPECT_NE(f.set_data, nullptr);
    EXPECT_NE(f.view_inst, nullptr);
    EXPECT_NE(f.refresh, nullptr);
}

TEST_F(XPanelTest, KeepsControlsAndDecodesHints) {
    Inst inst;
    Panel *p = make(inst, {good_list(), {QV_HINT_AUX, 0x8012, QV_HINT_LIST_B, 0x8002, 0x8015, 0, 0}});
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->errors().empty()) << p->errors().front();
    EXPECT_EQ(p->kind(), QV_XPANEL_KIND_CONFIG);

    ASSERT_EQ(p->controls().size(), 7u);
    const PanelControl &mode = p->controls()[2];
    EXPECT_EQ(mode.id, 0x8010u);
    EXPECT_EQ(mode.raw_label, "Mode\x03(g:57)");
    EXPECT_EQ(mode.label, "Mode");
    EXPECT_EQ(mode.decoration, "(g:57)");
    EXPECT_EQ(mode.cls, "iPopChoice");
    EXPECT_EQ(mode.value_type, "integer");
    EXPECT_TRUE(mode.has_choices);
    EXPECT_EQ(mode.choices, (std::vector<std::string>{"Linear", "Constant", "Repeat", "Reflect"}));
    EXPECT_FALSE(mode.numeric);

    EXPECT_TRUE(p->control(0x8001)->numeric);
    EXPECT_EQ(p->control(0x8001)->numeric_value, 1);
    EXPECT_TRUE(p->control(0x8012)->hidden);
    EXPECT_FALSE(p->control(0x8011)->hidden);

    ASSERT_EQ(p->groups().size(), 2u);
    EXPECT_EQ(p->groups()[0].list, 'A');
    EXPECT_EQ(p->groups()[0].ids, (std::vector<uint32_t>{0x8001, 0x8010}));
    EXPECT_EQ(p->groups()[1].list, 'B');
    EXPECT_EQ(p->groups()[1].ids, (std::vector<uint32_t>{0x8002, 0x8015}));
    EXPECT_EQ(p->control(0x8010)->groups, (std::vector<int>{0}));
    EXPECT_EQ(p->control(0x8015)->groups, (std::vector<int>{1}));

    EXPECT_EQ(p->hint_lists(), (std::vector<std::string>{
                                   "NOTIFY, N(0x8001), C(0x8010, [Linear|Constant|Repeat|Reflect]), A(0x8001, 0x8010)",
                                   "AUX(0x8012), B(0x8002, 0x8015)"}));
    EXPECT_EQ(p->notify(), &on_change);
    EXPECT_EQ(p->notify_hints(), 1);
    EXPECT_EQ(p->instance(), &inst);
    EXPECT_EQ(p->user_data(0), &inst);

    EXPECT_EQ(refhost::toolkit_calls(),
              (std::vector<std::string>{"create", "describe", "hint", "hint", "view_inst", "set_data"}));
    EXPECT_EQ(p->calls(), refhost::toolkit_calls());
}

TEST_F(XPanelTest, ChoiceLabelsAreCopied) {
    Inst inst;
    std::string a = "One", b = "Two";
    const char *labels[] = {a.c_str(), b.c_str(), nullptr};
    Panel *p = make(inst, {{QV_HINT_CHOICES, 0x8010, word(labels), 0, 0}});
    a.assign("XXX");
    b.assign("YYY");
    labels[0] = "changed";
    EXPECT_EQ(p->control(0x8010)->choices, (std::vector<std::string>{"One", "Two"}));
}

struct BadList {
    const char *name;
    std::vector<QvHintWord> words;
    const char *decoded;  // what was read before the problem
    const char *error;    // part of the message
};

TEST_F(XPanelTest, MalformedListsStopAtTheProblemAndNeverReadPastTheEnd) {
    const BadList cases[] = {
        {"unknown tag",
         {QV_HINT_NUMERIC, 0x8001, 1, 0x12345678, QV_HINT_NUMERIC, 0x8013, 1, 0},
         "N(0x8001), ?0x12345678",
         "unknown hint tag 0x12345678"},
        {"value cut short", {QV_HINT_NUMERIC, 0x8001, 0}, "", "HINT_NUMERIC ends before its value"},
        {"id cut short", {QV_HINT_NUMERIC, 0}, "", "HINT_NUMERIC ends before its control id"},
        {"notify cut short", {QV_HINT_NOTIFY, 0}, "", "HINT_NOTIFY ends before its callback"},
        {"aux cut short", {QV_HINT_AUX, 0}, "", "HINT_AUX ends before its control id"},
        {"choices cut short", {QV_HINT_CHOICES, 0x8010, 0}, "", "HINT_CHOICES ends before its label array"},
        {"choices not closed",
         {QV_HINT_CHOICES, 0x8010, word(kModes), QV_HINT_NUMERIC, 0x8001, 1, 0},
         "C(0x8010, [Linear|Constant|Repeat|Reflect])",
         "HINT_CHOICES on 0x8010 is not closed by 0"},
        {"unknown control",
         {QV_HINT_NUMERIC, 0x8009, 1, QV_HINT_AUX, 0x8012, 0},
         "N(0x8009), AUX(0x8012)",
         "HINT_NUMERIC names 0x8009, which is no control"},
        {"numeric check box",
         {QV_HINT_NUMERIC, 0x8011, 1, 0},
         "N(0x8011)",
         "HINT_NUMERIC on 0x8011 of class \"iBoolean\""},
        {"choices on a number",
         {QV_HINT_CHOICES, 0x8001, word(kModes), 0, 0},
         "C(0x8001, [Linear|Constant|Repeat|Reflect])",
         "HINT_CHOICES on 0x8001 of class \"float\""},
        {"two notifies",
         {QV_HINT_NOTIFY, word(&on_change), QV_HINT_NOTIFY, word(&on_change), 0},
         "NOTIFY, NOTIFY",
         "a second HINT_NOTIFY"},
    };
    for (const BadList &c : cases) {
        SCOPED_TRACE(c.name);
        Inst inst;
        Panel *p = make(inst, {c.words});
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->hint_lists().size(), 1u);
        EXPECT_EQ(p->hint_lists()[0], c.decoded);
        ASSERT_FALSE(p->errors().empty());
        EXPECT_NE(p->errors()[0].find(c.error), std::string::npos) << p->errors()[0];
        EXPECT_EQ(p->errors()[0].rfind("hint list 1: ", 0), 0u) << p->errors()[0];
    }
}

TEST_F(XPanelTest, ListEndingInAGroupEndsWithTwoZeros) {
    Inst inst;
    Panel *p =
        make(inst, {{QV_HINT_LIST_A, 0x8001, 0, 0}, {QV_HINT_LIST_B, 0x8002, 0, QV_HINT_LIST_A, 0x8013, 0, 0}, {0}});
    EXPECT_TRUE(p->errors().empty()) << p->errors().front();
    EXPECT_EQ(p->hint_lists(), (std::vector<std::string>{"A(0x8001)", "B(0x8002), A(0x8013)", ""}));
    ASSERT_EQ(p->groups().size(), 3u);
    EXPECT_EQ(p->groups()[2].ids, (std::vector<uint32_t>{0x8013}));
}

TEST_F(XPanelTest, DescriptionProblemsAreRecorded) {
    const QvXPanelFuncs &f = refhost::xpanel_funcs();
    void *h = f.create(QV_XPANEL_KIND_CONFIG, kControls);
    handles.push_back(h);
    const QvXPanelControl data[] = {{0x8001, "", "integer"},
                                    {0x8002, "Other", "float3"},
                                    {0x8007, "", "float"},
                                    {0x8010, "", "iPopChoice"},
                                    {0, nullptr, nullptr}};
    f.describe(h, data, inst_get, inst_set);
    const std::vector<std::string> expected = {
        "describe: value 0x8001 is \"integer\" for a control of class \"float\"",
        "describe: value 0x8002 is labelled \"Other\", its control \"\"",
        "describe: value 0x8007 has no control",
        "describe: value 0x8010 has an unknown value type \"iPopChoice\"",
        "describe: control 0x8011 has no value description",
        "describe: control 0x8012 has no value description",
        "describe: control 0x8013 has no value description",
        "describe: control 0x8015 has no value description",
    };
    EXPECT_EQ(refhost::panel_of(h)->errors(), expected);
}

TEST_F(XPanelTest, NullTableAndUnknownHandles) {
    const QvXPanelFuncs &f = refhost::xpanel_funcs();
    EXPECT_EQ(f.create(QV_XPANEL_KIND_CONFIG, nullptr), nullptr);
    int not_a_panel = 0;
    f.refresh(&not_a_panel);
    f.destroy(&not_a_panel);
    EXPECT_EQ(f.get_data(&not_a_panel, 0), nullptr);
    EXPECT_EQ(refhost::panel_of(&not_a_panel), nullptr);
    EXPECT_EQ(refhost::toolkit_errors().size(), 4u);
    EXPECT_EQ(refhost::toolkit_errors()[0], "create: no control table");
}

TEST_F(XPanelTest, DestroyReleasesThePanel) {
    const QvXPanelFuncs &f = refhost::xpanel_funcs();
    const int created = refhost::panels_created();
    void *h = f.create(QV_XPANEL_KIND_CONFIG, kControls);
    EXPECT_EQ(refhost::panels_alive(), alive_before + 1);
    EXPECT_EQ(refhost::panels_created(), created + 1);
    f.destroy(h);
    EXPECT_EQ(refhost::panel_of(h), nullptr);
    EXPECT_EQ(refhost::panels_alive(), alive_before);
    EXPECT_EQ(refhost::toolkit_calls(), (std::vector<std::string>{"create", "destroy"}));
}

TEST_F(XPanelTest, ValuesReadThroughTheGetAccessor) {
    Inst inst;
    Panel *p = make(inst, {good_list()});
    EXPECT_EQ(p->value_text(0x8001), "0.1");
    EXPECT_EQ(p->value_text(0x8002), "1,2.5,-3");
    EXPECT_EQ(p->value_text(0x8010), "1");
    EXPECT_EQ(p->value_text(0x8011), "0");
    EXPECT_EQ(p->value_text(0x8013), "7");
    EXPECT_EQ(p->value_text(0x8015), "0.25");
    EXPECT_EQ(p->value_text(0x8012), std::nullopt);  // the get accessor gives null
    EXPECT_EQ(p->value_text(0x8099), std::nullopt);  // no such control
    EXPECT_EQ(p->integer_value(0x8010), 1);
    EXPECT_EQ(p->integer_value(0x8001), std::nullopt);
    inst.value_connected = true;
    EXPECT_EQ(p->value_text(0x8001), std::nullopt);
    inst.value = -0.0;
    inst.value_connected = false;
    EXPECT_EQ(p->value_text(0x8001), "-0");
    inst.value = 1e300;
    EXPECT_EQ(p->value_text(0x8001), "1e+300");
}

struct EditCase {
    const char *control;
    const char *text;
    uint32_t id;
    const char *shown;  // value_text afterwards
};

TEST_F(XPanelTest, EditsGoThroughTheSetAccessorThenTheChangeCallback) {
    const EditCase cases[] = {
        {"In", "2.5", 0x8001, "2.5"},         {"0x8001", "-1e-3", 0x8001, "-0.001"},
        {"0x8002", "1,2,3", 0x8002, "1,2,3"}, {"32770", "4", 0x8002, "4,4,4"},
        {"Mode", "Reflect", 0x8010, "3"},     {"Mode\x03(g:57)", "Constant", 0x8010, "1"},
        {"Mode", "2", 0x8010, "2"},           {"Count", "-12", 0x8013, "-12"},
        {"0x8015", "0.75", 0x8015, "0.75"},   {"0x8015", "50%", 0x8015, "0.5"},
    };
    Inst inst;
    Panel *p = make(inst, {good_list()});
    for (const EditCase &c : cases) {
        SCOPED_TRACE(std::string(c.control) + "=" + c.text);
        g_changes.clear();
        std::string error;
        ASSERT_TRUE(p->edit(c.control, c.text, error)) << error;
        EXPECT_EQ(p->value_text(c.id), c.shown);
        ASSERT_EQ(g_changes.size(), 1u);
        EXPECT_EQ(g_changes[0].panel, p->handle());
        EXPECT_EQ(g_changes[0].cid, c.id);
        EXPECT_EQ(g_changes[0].vid, c.id);
        EXPECT_EQ(g_changes[0].event, 2);
        EXPECT_EQ(g_changes[0].user_data, &inst);
    }
}

struct RefusedEdit {
    const char *control;
    const char *text;
    const char *error;
};

TEST_F(XPanelTest, RefusedEditsNameTheControlAndChangeNothing) {
    const QvXPanelFuncs &f = refhost::xpanel_funcs();
    void *h = f.create(QV_XPANEL_KIND_CONFIG, kControls);
    handles.push_back(h);
    const QvXPanelControl twice[] = {{0x8001, "Same", "float"}, {0x8002, "Same", "float"}, {0, nullptr, nullptr}};
    void *h2 = f.create(QV_XPANEL_KIND_CONFIG, twice);
    handles.push_back(h2);

    const RefusedEdit cases[] = {
        {"Nope", "1",
         "no control \"Nope\" on this panel (controls: \"In\", 0x8002, \"Mode\", \"Show\", \"Count\", 0x8015)"},
        {"0x8099", "1", "no control 0x8099 on this panel"},
        {"In", "abc", "control \"In\" (0x8001): 'abc' is not a number"},
        {"0x8002", "1,2", "control 0x8002: '1,2' needs 3 comma-separated numbers for a vector"},
        {"Mode", "Sideways",
         "control \"Mode\" (0x8010): \"Sideways\" is not one of its choices (\"Linear\", "
         "\"Constant\", \"Repeat\", \"Reflect\")"},
        {"Mode", "4", "control \"Mode\" (0x8010): choice 4 is out of range 0 to 3"},
        {"Show", "on", "control \"Show\" (0x8011): the node did not take the value"},
        {"Aux", "1", "control \"Aux\" (0x8012) is hidden"},
        {"Count", "1.5", "control \"Count\" (0x8013): '1.5' is not a 32-bit integer"},
        {"Count", "99999999999", "control \"Count\" (0x8013): '99999999999' is not a 32-bit integer"},
    };
    Inst inst;
    Panel *p = make(inst, {good_list(), {QV_HINT_AUX, 0x8012, 0}});
    for (const RefusedEdit &c : cases) {
        SCOPED_TRACE(c.control);
        g_changes.clear();
        const Inst before = inst;
        std::string error;
        EXPECT_FALSE(p->edit(c.control, c.text, error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(g_changes.empty());
        EXPECT_EQ(inst.value, before.value);
        EXPECT_EQ(inst.choice, before.choice);
        EXPECT_EQ(inst.count, before.count);
    }

    // Empty while its input is connected: not editable, the accessor not called.
    inst.value_connected = true;
    const int sets = inst.sets;
    std::string error;
    EXPECT_FALSE(p->edit("In", "3", error));
    EXPECT_EQ(error, "control \"In\" (0x8001) shows no value (its input is connected) and cannot be edited");
    EXPECT_EQ(inst.sets, sets);

    // Two controls of one label: the label is ambiguous, the id is not.
    Panel *q = refhost::panel_of(h2);
    EXPECT_EQ(q->find("Same", error), nullptr);
    EXPECT_EQ(error, "label \"Same\" names 2 controls (0x8001, 0x8002); use the id");
    EXPECT_EQ(q->find("0x8002", error), &q->controls()[1]);
}

TEST_F(XPanelTest, CheckBoxesTakeOnOffAndNumbers) {
    const QvXPanelControl controls[] = {{0x8013, "Flag", "iBoolean"}, {0, nullptr, nullptr}};
    const QvXPanelControl data[] = {{0x8013, "", "integer"}, {0, nullptr, nullptr}};
    const QvXPanelFuncs &f = refhost::xpanel_funcs();
    void *h = f.create(QV_XPANEL_KIND_CONFIG, controls);
    handles.push_back(h);
    f.describe(h, data, inst_get, inst_set);
    Inst inst;
    f.view_inst(h, &inst);
    Panel *p = refhost::panel_of(h);
    std::string error;
    for (const auto &[text, shown] : std::vector<std::pair<std::string, std::string>>{
             {"on", "1"}, {"off", "0"}, {"true", "1"}, {"false", "0"}, {"1", "1"}, {"0", "0"}}) {
        ASSERT_TRUE(p->edit("Flag", text, error)) << error;
        EXPECT_EQ(p->value_text(0x8013), shown) << text;
    }
    // No change callback was given: edits still reach the instance.
    EXPECT_TRUE(g_changes.empty());
}

}  // namespace
