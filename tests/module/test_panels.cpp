// Option panels through the module: which panel every node builds, its
// controls, labels, classes and hints, building once and caching, edits
// reaching the application, connected inputs showing no value; and the
// qvhost panel and preview commands.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"

#include "refhost/draw.h"
#include "refhost/panel/xpanel.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

using namespace qvtest;

namespace {

// ---- What each panel kind gives the toolkit ------------------------------------

constexpr uint32_t VAL1 = 0x8001, VAL2 = 0x8002, VAL3 = 0x8003, VAL4 = 0x8004, VAL5 = 0x8005, VAL6 = 0x8006;
constexpr uint32_t OPT1 = 0x8010, OPT2 = 0x8011, OPT3 = 0x8012, INT1 = 0x8013, RATIO = 0x8015;

std::string hex(uint32_t id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", id);
    return buf;
}

std::string ids(std::initializer_list<uint32_t> list) {
    std::string s;
    for (uint32_t id : list) s += (s.empty() ? "" : ", ") + hex(id);
    return s;
}

const std::string NOTIFY = "NOTIFY";
std::string N(uint32_t id) { return "N(" + hex(id) + ")"; }
std::string A(std::initializer_list<uint32_t> list) { return "A(" + ids(list) + ")"; }
std::string B(std::initializer_list<uint32_t> list) { return "B(" + ids(list) + ")"; }
std::string AUX(uint32_t id) { return "AUX(" + hex(id) + ")"; }
std::string C(uint32_t id, const std::vector<std::string> &labels) {
    std::string s;
    for (const std::string &l : labels) s += (s.empty() ? "" : "|") + l;
    return "C(" + hex(id) + ", [" + s + "])";
}
std::string list(std::initializer_list<std::string> hints) {
    std::string s;
    for (const std::string &h : hints) s += (s.empty() ? "" : ", ") + h;
    return s;
}

const std::vector<std::string> kComparisons = {"A == B", "A != B", "A > B", "A < B", "A >= B", "A <= B"};
const std::vector<std::string> kCombinations = {"True && True", "False && False", "True && False", "False && True",
                                                "True || False"};
const std::vector<std::string> kSignModes = {"Abs +", "Abs -"};
const std::vector<std::string> kRangeModes = {"Linear", "Constant", "Repeat", "Reflect"};

struct ControlLayout {
    uint32_t id;
    std::string label;  // raw, decoration included
    std::string cls;
};

struct PanelLayout {
    std::vector<ControlLayout> controls;
    std::vector<std::string> hints;  // one text per hint list, in order
    std::vector<uint32_t> hidden = {};
    std::map<uint32_t, std::vector<std::string>> choices = {};
};

const std::string kNormalize = "Normalize\x03(g:55)";
const std::string kInvert = "Invert\x03(g:68)";
const std::string kRound = "Round\x03(g:74)";
const std::string kShowHex = "ShowHex\x03(g:57)";
const std::string kShowDegS = "ShowDeg S\x03(g:47)";
const std::string kShowDegV = "ShowDeg V\x03(g:46)";

const std::map<std::string, PanelLayout> &panel_kinds() {
    static const std::map<std::string, PanelLayout> kinds = [] {
        std::map<std::string, PanelLayout> k;
        const std::string cmp_list = list({C(OPT1, kComparisons), A({VAL1}), B({OPT1})});
        const std::string two_cmp_list =
            list({C(OPT2, kComparisons), C(OPT3, kCombinations), A({VAL3}), B({OPT2, OPT3})});
        k["frame"] = {{{INT1, "In", "integer"}}, {list({NOTIFY, N(INT1)})}};
        k["one-value"] = {{{VAL1, "In", "float"}}, {list({NOTIFY, N(VAL1)})}};
        k["two-value"] = {{{VAL1, "In1", "float"}, {VAL2, "In2", "float"}}, {list({NOTIFY, N(VAL1), N(VAL2)})}};
        k["plain two-value"] = {{{VAL1, "", "float"}, {VAL2, "", "float"}},
                                {list({NOTIFY, N(VAL1), N(VAL2), A({VAL1})})}};
        k["four-value"] = {
            {{VAL1, "In1", "float"}, {VAL2, "In2", "float"}, {VAL3, "In3", "float"}, {VAL4, "In4", "float"}},
            {list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4)})}};
        k["two-vector"] = {{{VAL1, "In1", "float3"}, {VAL2, "In2", "float3"}},
                           {list({NOTIFY, N(VAL1), N(VAL2), B({VAL1})})}};
        k["distance"] = {{{VAL1, "", "float"}, {VAL2, "", "float"}, {VAL3, "", "float"}, {VAL4, "", "float"}},
                         {list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4), A({VAL1, VAL3}), B({VAL2, VAL4})})}};
        k["normalize"] = {{{OPT1, kNormalize, "iBoolean"}}, {NOTIFY}};
        k["scalar dot"] = {{{VAL1, "", "float"},
                            {VAL2, "", "float"},
                            {VAL3, "", "float"},
                            {VAL4, "", "float"},
                            {OPT1, kNormalize, "iBoolean"}},
                           {list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4), A({VAL1, VAL3}), B({VAL2, VAL4})})}};
        k["angle"] = {
            {{VAL1, "", "float"}, {VAL2, "", "float"}, {OPT1, kInvert, "iBoolean"}, {OPT2, kRound, "iBoolean"}},
            {list({NOTIFY, N(VAL1), N(VAL2), A({VAL1, OPT1}), B({VAL2})})}};
        k["four-value angle"] = {
            {{VAL1, "", "float"},
             {VAL2, "", "float"},
             {VAL3, "", "float"},
             {VAL4, "", "float"},
             {OPT1, kInvert, "iBoolean"},
             {OPT2, kRound, "iBoolean"}},
            {list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4), A({VAL1, VAL3, OPT1}), B({VAL2, VAL4})})}};
        k["noise"] = {{{VAL1, "Offset", "float"},
                       {VAL2, "Scale", "float"},
                       {VAL3, "Speed", "float"},
                       {VAL4, "Phase", "float"},
                       {VAL5, "Shift", "float"}},
                      {list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4), N(VAL5)})}};
        k["power"] = {{{VAL1, "In", "float"}, {VAL2, "Pow", "float"}}, {list({NOTIFY, N(VAL1), N(VAL2)})}};
        k["map range"] = {{{VAL1, "In", "float"},
                           {VAL2, "", "float"},
                           {VAL3, "", "float"},
                           {VAL4, "", "float"},
                           {VAL5, "", "float"},
                           {OPT1, "", "iPopChoice"},
                           {OPT2, "", "iPopChoice"}},
                          {list({NOTIFY, C(OPT1, kRangeModes), C(OPT2, kRangeModes), N(VAL1), N(VAL2), N(VAL3), N(VAL4),
                                 N(VAL5), A({VAL2, VAL4, OPT1}), B({VAL1, VAL3, VAL5})})},
                          {},
                          {{OPT1, kRangeModes}, {OPT2, kRangeModes}}};
        k["one-comparison"] = {{{VAL1, "", "float"},
                                {VAL2, "", "float"},
                                {OPT1, "Ope", "iPopChoice"},
                                {VAL3, "True", "float"},
                                {VAL4, "False", "float"}},
                               {cmp_list, list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4)})},
                               {},
                               {{OPT1, kComparisons}}};
        k["two-comparison"] = {
            {{VAL1, "", "float"},
             {VAL2, "", "float"},
             {OPT1, "Ope", "iPopChoice"},
             {VAL3, "", "float"},
             {VAL4, "", "float"},
             {OPT2, "Ope", "iPopChoice"},
             {OPT3, "Ope", "iPopChoice"},
             {VAL5, "True", "float"},
             {VAL6, "False", "float"}},
            {cmp_list, two_cmp_list, list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4), N(VAL5), N(VAL6)})},
            {},
            {{OPT1, kComparisons}, {OPT2, kComparisons}, {OPT3, kCombinations}}};
        k["one-comparison vector"] = {{{VAL1, "", "float"}, {VAL2, "", "float"}, {OPT1, "Ope", "iPopChoice"}},
                                      {cmp_list, list({NOTIFY, N(VAL1), N(VAL2)})},
                                      {},
                                      {{OPT1, kComparisons}}};
        k["two-comparison vector"] = {{{VAL1, "", "float"},
                                       {VAL2, "", "float"},
                                       {OPT1, "Ope", "iPopChoice"},
                                       {VAL3, "", "float"},
                                       {VAL4, "", "float"},
                                       {OPT2, "Ope", "iPopChoice"},
                                       {OPT3, "Ope", "iPopChoice"}},
                                      {cmp_list, two_cmp_list, list({NOTIFY, N(VAL1), N(VAL2), N(VAL3), N(VAL4)})},
                                      {},
                                      {{OPT1, kComparisons}, {OPT2, kComparisons}, {OPT3, kCombinations}}};
        k["clamp"] = {{{VAL2, "Min", "float"}, {VAL3, "Max", "float"}}, {list({NOTIFY, N(VAL2), N(VAL3)})}};
        k["vector clamp"] = {{{VAL1, "Min", "float3"}, {VAL2, "Max", "float3"}},
                             {list({NOTIFY, N(VAL1), N(VAL2), B({VAL1})})}};
        k["sign mode"] = {{{OPT1, "", "iChoice"}}, {list({NOTIFY, C(OPT1, kSignModes)})}, {}, {{OPT1, kSignModes}}};
        k["axis rotation"] = {{{VAL1, "Axis", "float3"}, {VAL2, "Rot", "float"}},
                              {list({NOTIFY, N(VAL1), N(VAL2), B({VAL1})})}};
        k["ratio"] = {{{RATIO, "", "percent"}}, {list({NOTIFY, N(RATIO)})}};
        k["invert"] = {{{OPT1, kInvert, "iBoolean"}}, {NOTIFY}};
        k["test"] = {{{OPT1, "test", "iBoolean"}}, {NOTIFY}};
        k["replace"] = {{{OPT1, "Replace\x03(g:57)", "iBoolean"}}, {NOTIFY}};
        k["viewer, scalar or vector"] = {{{VAL2, kShowDegS, "iBoolean"}, {VAL3, kShowDegV, "iBoolean"}}, {NOTIFY}};
        k["viewer, mixed"] = {
            {{VAL1, kShowHex, "iBoolean"}, {VAL2, kShowDegS, "iBoolean"}, {VAL3, kShowDegV, "iBoolean"}},
            {list({NOTIFY, A({VAL1})})}};
        k["viewer, integer"] = {
            {{VAL1, kShowHex, "iBoolean"}, {VAL2, kShowDegS, "iBoolean"}, {VAL3, kShowDegV, "iBoolean"}},
            {list({NOTIFY, A({VAL1})}), list({AUX(VAL2), AUX(VAL3)})},
            {VAL2, VAL3}};
        return k;
    }();
    return kinds;
}

// Which panel every node builds.
const std::vector<std::pair<const char *, const char *>> kPanelOfNode = {
    {"QvT_F2T", "frame"},
    {"QvMs_ACOS", "one-value"},
    {"QvMs_ASIN", "one-value"},
    {"QvMs_ATAN", "one-value"},
    {"QvMs_COS", "one-value"},
    {"QvMs_SIN", "one-value"},
    {"QvMs_TAN", "one-value"},
    {"QvMs_ERF", "one-value"},
    {"QvMs_EXP", "one-value"},
    {"QvMs_LOG", "one-value"},
    {"QvMs_LOG2", "one-value"},
    {"QvMs_LOG0", "one-value"},
    {"QvMs_ROND", "one-value"},
    {"QvMs_SQRT", "one-value"},
    {"QvMs_TRNC", "one-value"},
    {"QvMs_DEG", "one-value"},
    {"QvMs_RAD", "one-value"},
    {"QvMs_CSGN", "one-value"},
    {"QvMs_ADD", "two-value"},
    {"QvMs_SUB", "two-value"},
    {"QvMs_MUL", "two-value"},
    {"QvMs_DIV", "two-value"},
    {"QvMs_ATAN2", "plain two-value"},
    {"QvMs_LEN", "plain two-value"},
    {"QvMs_NORM", "plain two-value"},
    {"QvMs_ADD4", "four-value"},
    {"QvMs_SUB4", "four-value"},
    {"QvMs_MUL4", "four-value"},
    {"QvMs_MIN4", "four-value"},
    {"QvMs_MAX4", "four-value"},
    {"QvMv_ANGL", "two-vector"},
    {"QvMv_ADD", "two-vector"},
    {"QvMv_SUB", "two-vector"},
    {"QvMv_MUL", "two-vector"},
    {"QvMv_DIV", "two-vector"},
    {"QvMv_MAX", "two-vector"},
    {"QvMv_MIN", "two-vector"},
    {"QvMs_DIST", "distance"},
    {"QvMv_CROS", "normalize"},
    {"QvMv_DOT", "normalize"},
    {"QvMs_DOT", "scalar dot"},
    {"QvMs_ANGL", "angle"},
    {"QvMs_ANGL2", "four-value angle"},
    {"QvT_NOIS", "noise"},
    {"QvMs_POW", "power"},
    {"QvT_MAPR", "map range"},
    {"QvT_LGC1", "one-comparison"},
    {"QvT_LGC2", "two-comparison"},
    {"QvT_LGC1V", "one-comparison vector"},
    {"QvT_LGC2V", "two-comparison vector"},
    {"QvMs_CLMP", "clamp"},
    {"QvMv_CLMP", "vector clamp"},
    {"QvMs_ABS", "sign mode"},
    {"QvMv_QROT", "axis rotation"},
    {"QvT_QRMAT", "axis rotation"},
    {"QvT_SLPMT", "ratio"},
    {"QvT_E2Mat", "invert"},
    {"QvT_M2Euler", "test"},
    {"QvT_INVMat", "replace"},
    {"QvT_VIEW", "viewer, mixed"},
    {"QvT_VIEWI", "viewer, integer"},
    {"QvT_VIEWS", "viewer, scalar or vector"},
    {"QvT_VIEWV", "viewer, scalar or vector"},
};

const std::vector<const char *> kWithoutPanel = {
    "QvMs_EPSI", "QvMs_PI",   "QvMs_TIME", "QvMs_SIGN",   "QvMv_ADNml", "QvMv_SBNml", "QvMv_DEG",  "QvMv_RAD",
    "QvMv_NORM", "QvMv_SIGN", "QvMv_TRAN", "QvMv_TRAN4",  "QvT_C2RGB",  "QvT_CtRGB",  "QvT_G2P",   "QvT_MVEC",
    "QvT_V2XYZ", "QvT_VtXYZ", "QvT_SPMTL", "QvT_INVMat4", "QvT_MULMat", "QvT_S2Mat",  "QvT_SWCHS", "QvT_SWCHV",
    "QvC_INT",   "QvC_SCL",   "QvC_VEC",   "QvC_MAT",     "QvC_MTL",
};

class PanelTest : public NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        refhost::clear_toolkit_calls();
        refhost::Application::get().clear_instance_updates();
    }

    refhost::Panel *open(refhost::HostNode *n) {
        std::string error;
        const refhost::Network::PanelOpening o = net->open_panel(n->id, error);
        EXPECT_EQ(o.code, QV_AFUNC_OK) << n->server << ": " << error;
        EXPECT_NE(o.panel, nullptr) << n->server;
        return refhost::panel_of(o.panel);
    }
};

// ---- Panels, kind by kind -----------------------------------------------------

TEST_F(PanelTest, EveryNodeIsListedOnce) {
    EXPECT_EQ(kPanelOfNode.size(), 63u);
    EXPECT_EQ(kWithoutPanel.size(), 29u);
    std::map<std::string, int> seen;
    for (const auto &[node, kind] : kPanelOfNode) {
        ++seen[node];
        EXPECT_EQ(panel_kinds().count(kind), 1u) << kind;
    }
    for (const char *node : kWithoutPanel) ++seen[node];
    int interface_records = 0;
    for (const QvServerRecord *r : net->module().servers()) {
        if (std::string(r->server_class) != "NodeInterface") continue;
        ++interface_records;
        EXPECT_EQ(seen[r->name], 1) << r->name;
    }
    EXPECT_EQ(interface_records, 92);
    EXPECT_EQ(seen.size(), 92u);
}

TEST_F(PanelTest, EveryPanelIsBuiltOnceAsItsKindSays) {
    for (const auto &[server, kind] : kPanelOfNode) {
        SCOPED_TRACE(std::string(server) + ": " + kind + " panel");
        const PanelLayout &layout = panel_kinds().at(kind);
        net = std::make_unique<refhost::Network>(shared_module());
        const int alive = refhost::panels_alive();
        refhost::HostNode *n = make(server);
        ASSERT_NE(n, nullptr);
        refhost::clear_toolkit_calls();

        std::string error;
        const refhost::Network::PanelOpening first = net->open_panel(n->id, error);
        ASSERT_EQ(first.code, QV_AFUNC_OK) << error;
        ASSERT_NE(first.panel, nullptr);
        std::vector<std::string> calls = {"create", "describe"};
        for (std::size_t k = 0; k < layout.hints.size(); ++k) calls.push_back("hint");
        calls.push_back("view_inst");
        calls.push_back("set_data");
        EXPECT_EQ(refhost::toolkit_calls(), calls);

        // Cached: the same handle, and nothing given to the toolkit again.
        const refhost::Network::PanelOpening second = net->open_panel(n->id, error);
        EXPECT_EQ(second.code, QV_AFUNC_OK);
        EXPECT_EQ(second.panel, first.panel);
        EXPECT_EQ(refhost::toolkit_calls(), calls);
        EXPECT_EQ(refhost::panels_alive(), alive + 1);

        const refhost::Panel *p = refhost::panel_of(first.panel);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->errors().empty()) << p->errors().front();
        EXPECT_EQ(p->kind(), QV_XPANEL_KIND_CONFIG);
        ASSERT_EQ(p->controls().size(), layout.controls.size());
        for (std::size_t k = 0; k < layout.controls.size(); ++k) {
            const refhost::PanelControl &c = p->controls()[k];
            SCOPED_TRACE(hex(c.id));
            EXPECT_EQ(c.id, layout.controls[k].id);
            EXPECT_EQ(c.raw_label, layout.controls[k].label);
            EXPECT_EQ(c.cls, layout.controls[k].cls);
            EXPECT_TRUE(c.described);
            const bool numeric_class =
                c.cls == "float" || c.cls == "float3" || c.cls == "integer" || c.cls == "percent";
            EXPECT_EQ(c.value_type, numeric_class ? c.cls : "integer");
            EXPECT_EQ(c.numeric, numeric_class);  // every numeric control, and only those
            const bool hidden = std::count(layout.hidden.begin(), layout.hidden.end(), c.id) != 0;
            EXPECT_EQ(c.hidden, hidden);
            auto ch = layout.choices.find(c.id);
            EXPECT_EQ(c.has_choices, ch != layout.choices.end());
            if (ch != layout.choices.end()) {
                EXPECT_EQ(c.choices, ch->second);
            }
            // Every control shows a value while nothing is connected.
            EXPECT_TRUE(p->value_text(c.id).has_value());
        }
        EXPECT_EQ(p->hint_lists(), layout.hints);
        EXPECT_EQ(p->notify_hints(), 1);
        EXPECT_NE(p->notify(), nullptr);
        EXPECT_EQ(p->instance(), n->instance);
        EXPECT_EQ(p->user_data(0), n->instance);

        // The panel goes with its node.
        net.reset();
        EXPECT_EQ(refhost::panel_of(first.panel), nullptr);
        EXPECT_EQ(refhost::panels_alive(), alive);
        const std::vector<std::string> after = refhost::toolkit_calls();
        EXPECT_EQ(std::count(after.begin(), after.end(), "destroy"), 1);
        EXPECT_TRUE(refhost::toolkit_errors().empty()) << refhost::toolkit_errors().front();
    }
}

TEST_F(PanelTest, NodesWithoutAPanelAnswerWithNone) {
    for (const char *server : kWithoutPanel) {
        SCOPED_TRACE(server);
        refhost::HostNode *n = make(server);
        ASSERT_NE(n, nullptr);
        refhost::clear_toolkit_calls();
        std::string error;
        const refhost::Network::PanelOpening o = net->open_panel(n->id, error);
        EXPECT_EQ(o.code, QV_AFUNC_OK) << error;
        EXPECT_EQ(o.panel, nullptr);
        EXPECT_TRUE(refhost::toolkit_calls().empty());
    }
}

TEST_F(PanelTest, VersionsBelowFourAreRefusedAndTheRecordIsUntouched) {
    int marker[3];
    for (const char *server : {"QvMs_SIN", "QvMs_PI", "QvT_VIEW", "QvT_LGC2"}) {
        SCOPED_TRACE(server);
        refhost::HostNode *n = make(server);
        ASSERT_NE(n, nullptr);
        QvNodeInterface record{n->instance, &marker[0], &marker[1], &marker[2]};
        refhost::clear_toolkit_calls();
        EXPECT_EQ(refhost::activate_interface(net->module(), server, record, 3), QV_AFUNC_BADVERSION);
        EXPECT_EQ(record.inst, n->instance);
        EXPECT_EQ(record.panel, &marker[0]);
        EXPECT_EQ(record.word3, &marker[1]);
        EXPECT_EQ(record.word4, &marker[2]);
        EXPECT_TRUE(refhost::toolkit_calls().empty());
        // Through the network with the application's version set to 3.
        refhost::Application::get().config().interface_version = 3;
        std::string error;
        EXPECT_EQ(net->open_panel(n->id, error).code, QV_AFUNC_BADVERSION);
        refhost::Application::get().config().interface_version = 4;
    }
}

TEST_F(PanelTest, InterfaceRecordGetsThePanelAndTwoZeros) {
    int marker[3];
    refhost::HostNode *n = make("QvMs_POW");
    ASSERT_NE(n, nullptr);
    QvNodeInterface record{n->instance, &marker[0], &marker[1], &marker[2]};
    EXPECT_EQ(refhost::activate_interface(net->module(), "QvMs_POW", record, 4), QV_AFUNC_OK);
    EXPECT_NE(refhost::panel_of(record.panel), nullptr);
    EXPECT_EQ(record.word3, nullptr);
    EXPECT_EQ(record.word4, nullptr);
    refhost::HostNode *pi = make("QvMs_PI");
    record = QvNodeInterface{pi->instance, &marker[0], &marker[1], &marker[2]};
    EXPECT_EQ(refhost::activate_interface(net->module(), "QvMs_PI", record, 4), QV_AFUNC_OK);
    EXPECT_EQ(record.panel, nullptr);
    EXPECT_EQ(record.word3, nullptr);
    EXPECT_EQ(record.word4, nullptr);
}

TEST_F(PanelTest, ToolkitIsAcquiredOnceAndOnlyForPanels) {
    auto module = fresh_module();
    ASSERT_TRUE(module);
    net = std::make_unique<refhost::Network>(module);
    auto &app = refhost::Application::get();
    refhost::HostNode *pi = make("QvMs_PI");
    refhost::HostNode *sin = make("QvMs_SIN");
    refhost::HostNode *pow = make("QvMs_POW");
    ASSERT_TRUE(pi && sin && pow);
    std::string error;

    app.clear_requests();
    EXPECT_EQ(net->open_panel(pi->id, error).code, QV_AFUNC_OK);
    EXPECT_TRUE(app.requests().empty());

    // Withheld: 2, nothing cached; a later activation tries again.
    app.config().withheld.insert("LWXPanel");
    refhost::clear_toolkit_calls();
    int marker;
    QvNodeInterface record{sin->instance, &marker, &marker, &marker};
    EXPECT_EQ(refhost::activate_interface(*module, "QvMs_SIN", record, 4), QV_AFUNC_BADGLOBAL);
    EXPECT_EQ(record.panel, &marker);
    EXPECT_EQ(record.word3, &marker);
    EXPECT_TRUE(refhost::toolkit_calls().empty());
    app.config().withheld.clear();

    app.clear_requests();
    EXPECT_NE(net->open_panel(sin->id, error).panel, nullptr);
    EXPECT_NE(net->open_panel(pow->id, error).panel, nullptr);
    EXPECT_EQ(app.requests(), (std::vector<std::string>{"LWXPanel"}));
}

// ---- Values, edits and connections ---------------------------------------------

TEST_F(PanelTest, EditsReachTheInstanceAndTheApplication) {
    refhost::HostNode *n = make("QvMs_SIN");
    refhost::Panel *p = open(n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->value_text(VAL1), "0");
    std::string error;
    ASSERT_TRUE(p->edit("In", "0.5", error)) << error;
    EXPECT_EQ(p->value_text(VAL1), "0.5");
    const auto &updates = refhost::Application::get().instance_updates();
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].server_class, "NodeHandler");
    EXPECT_EQ(updates[0].instance, n->instance);
    EXPECT_TRUE(near_ulps(std::sin(0.5), eval(n)));
}

TEST_F(PanelTest, IdsBeyondThePanelReachNoStorageTheNodeLacks) {
    // A one-input node keeps its function where other nodes keep option words
    // and the extra value: accessors called with those ids leave it alone.
    const struct {
        const char *server;
        uint32_t id;
        bool reached;
    } cases[] = {
        {"QvMs_SIN", OPT1, false},   {"QvMs_SIN", OPT2, false},  {"QvMs_SIN", INT1, false},
        {"QvMs_SIN", 0x8014, false}, {"QvMs_SIN", RATIO, false}, {"QvMs_ABS", OPT1, true},
        {"QvMs_ABS", OPT2, false},   {"QvT_MAPR", OPT2, true},   {"QvT_SLPMT", RATIO, true},
    };
    std::map<std::string, refhost::HostNode *> nodes;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.server) + " " + hex(c.id));
        refhost::HostNode *&n = nodes[c.server];
        if (n == nullptr) n = make(c.server);
        refhost::Panel *p = open(n);
        ASSERT_NE(p, nullptr);
        const double value[3] = {1.0, 2.0, 3.0};
        EXPECT_EQ(p->getter()(n->instance, c.id) != nullptr, c.reached);
        EXPECT_EQ(p->setter()(n->instance, c.id, const_cast<double *>(value)), c.reached ? 1 : 0);
    }
    feed(nodes["QvMs_SIN"], "In", 0.5);
    EXPECT_TRUE(near_ulps(std::sin(0.5), eval(nodes["QvMs_SIN"])));
}

TEST_F(PanelTest, ChoicesStoreTheirIndex) {
    refhost::HostNode *m = make("QvT_MAPR");
    refhost::Panel *p = open(m);
    ASSERT_NE(p, nullptr);
    std::string error;
    ASSERT_TRUE(p->edit("0x8010", "Reflect", error)) << error;
    EXPECT_EQ(p->integer_value(OPT1), 3);
    EXPECT_EQ(p->integer_value(OPT2), 0);

    refhost::HostNode *l = make("QvT_LGC2");
    p = open(l);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->edit("0x8012", "True || False", error)) << error;
    ASSERT_TRUE(p->edit("0x8011", "A <= B", error)) << error;
    EXPECT_EQ(p->integer_value(OPT3), 4);
    EXPECT_EQ(p->integer_value(OPT2), 5);
    EXPECT_EQ(p->integer_value(OPT1), 0);
    EXPECT_FALSE(p->edit("Ope", "A != B", error));
    EXPECT_EQ(error, "label \"Ope\" names 3 controls (0x8010, 0x8011, 0x8012); use the id");
    EXPECT_EQ(refhost::Application::get().instance_updates().size(), 3u);
}

TEST_F(PanelTest, ChangeCallbackReactsToEventsOneAndTwoOnly) {
    refhost::HostNode *n = make("QvMs_ABS");
    refhost::Panel *p = open(n);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->notify(), nullptr);
    auto &app = refhost::Application::get();
    for (int event : {0, 3, -1}) p->notify()(p->handle(), OPT1, OPT1, event);
    EXPECT_TRUE(app.instance_updates().empty());
    for (int event : {1, 2}) p->notify()(p->handle(), OPT1, OPT1, event);
    ASSERT_EQ(app.instance_updates().size(), 2u);
    EXPECT_EQ(app.instance_updates()[1].instance, n->instance);
}

struct Connection {
    const char *server;
    const char *input;
    uint32_t control;
    const char *shown;  // while unconnected
};

TEST_F(PanelTest, ConnectedInputsShowNoValue) {
    const Connection cases[] = {
        {"QvMs_SIN", "In", VAL1, "0"},        {"QvMs_POW", "Pow", VAL2, "1"},       {"QvMs_CLMP", "Min", VAL2, "0"},
        {"QvMs_CLMP", "Max", VAL3, "1"},      {"QvMv_ADD", "In2", VAL2, "0,0,0"},   {"QvMv_CLMP", "Min", VAL1, "0,0,0"},
        {"QvMv_CLMP", "Max", VAL2, "1,1,1"},  {"QvMv_QROT", "Axis", VAL1, "0,0,1"}, {"QvMv_QROT", "Rot", VAL2, "0"},
        {"QvT_QRMAT", "Axis", VAL1, "0,0,1"}, {"QvT_F2T", "Frm", INT1, "0"},        {"QvT_SLPMT", "%", RATIO, "0"},
        {"QvT_MAPR", "mapEd", VAL5, "1"},     {"QvT_LGC1", "A1", VAL1, "0"},        {"QvT_LGC2", "False", VAL6, "0"},
    };
    for (const Connection &c : cases) {
        SCOPED_TRACE(std::string(c.server) + " " + c.input);
        net = std::make_unique<refhost::Network>(shared_module());
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        refhost::Panel *p = open(n);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->value_text(c.control), c.shown);
        const int refreshes = p->refreshes();
        feed(n, c.input, 7.0);
        EXPECT_EQ(p->value_text(c.control), std::nullopt);
        EXPECT_EQ(p->refreshes(), refreshes + 1);
        std::string error;
        EXPECT_FALSE(p->edit(c.control, "2", error));
        ASSERT_TRUE(net->disconnect(n->id, c.input, error)) << error;
        EXPECT_EQ(p->value_text(c.control), c.shown);  // the stored value never changed
        EXPECT_EQ(p->refreshes(), refreshes + 2);
        // The other controls keep their values throughout.
        for (const refhost::PanelControl &other : p->controls()) {
            if (other.id != c.control) {
                EXPECT_TRUE(p->value_text(other.id).has_value()) << hex(other.id);
            }
        }
    }
}

// ---- qvhost panel and preview ------------------------------------------------------

struct CliCase {
    std::vector<std::string> args;
    std::string out;
};

TEST(QvhostPanel, PrintsEveryVisibleControl) {
    const std::string cmp = "[A == B] | A != B | A > B | A < B | A >= B | A <= B";
    const CliCase cases[] = {
        {{"panel", "QvMs_SIN"}, "In: 0\n"},
        {{"panel", "QvMs_SIN", "In=1"}, "In: (empty)\n"},
        {{"panel", "QvMs_SIN", "--set", "In=0.25"}, "In: 0.25\n"},
        {{"panel", "QvMs_POW", "--set", "Pow=3", "In=2"}, "In: (empty)\nPow: 3\n"},
        {{"panel", "QvMs_PI"}, "no options\n"},
        {{"panel", "QvMv_QROT", "--set", "Axis=1,0,0"}, "Axis: 1,0,0\nRot: 0\n"},
        {{"panel", "QvMs_ABS", "--set", "0x8010=Abs -"}, "0x8010: Abs + | [Abs -]\n"},
        {{"panel", "QvT_MAPR", "--set", "0x8010=Reflect", "--set", "0x8003=2"},
         "In: 0\n0x8002: 0\n0x8003: 2\n0x8004: 0\n0x8005: 1\n0x8010: Linear | Constant | Repeat | [Reflect]\n"
         "0x8011: [Linear] | Constant | Repeat | Reflect\n"},
        {{"panel", "QvT_LGC1", "A1=1", "--set", "Ope=A != B"},
         "0x8001: (empty)\n0x8002: 0\nOpe: A == B | [A != B] | A > B | A < B | A >= B | A <= B\nTrue: 1\nFalse: 0\n"},
        {{"panel", "QvT_LGC2", "--set", "0x8012=True || False"},
         "0x8001: 0\n0x8002: 0\nOpe: " + cmp + "\n0x8003: 0\n0x8004: 0\nOpe: " + cmp +
             "\nOpe: True && True | False && False | True && False | False && True | [True || False]\nTrue: 1\nFalse: "
             "0\n"},
        {{"panel", "QvT_SLPMT", "--set", "0x8015=50%"}, "0x8015: 0.5\n"},
        {{"panel", "QvT_E2Mat", "--set", "Invert=on"}, "Invert: 1\n"},
        {{"panel", "QvT_VIEW"}, "ShowHex: 0\nShowDeg S: 0\nShowDeg V: 0\n"},
        {{"panel", "QvT_VIEWI", "--set", "ShowHex=1"}, "ShowHex: 1\n"},
        {{"panel", "QvT_VIEWS"}, "ShowDeg S: 0\nShowDeg V: 0\n"},
        {{"panel", "QvT_VIEWV", "--set", "ShowDeg V=1"}, "ShowDeg S: 0\nShowDeg V: 1\n"},
    };
    for (const CliCase &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(QvhostPreview, PrintsTheTextsDrawn) {
    const std::string t = " #B0B0B0 ";
    const CliCase cases[] = {
        {{"preview", "QvT_VIEWI", "Integer=-1", "Integer=255", "--set", "ShowHex=1"},
         "0,0" + t + "0xFFFFFFFF\n0,13" + t + "0x000000FF\n0,26" + t + "0x00000000\n0,39" + t + "0x00000000\n0,52" + t +
             "0x00000000\n0,65" + t + "0x00000000\n"},
        {{"preview", "QvT_VIEW", "Color=1,0.5,0", "Y=2", "--width", "200", "--height", "90"},
         "0,0" + t + "255 : 127 : 000\n0,13" + t + "0\n0,26" + t + "+0.000000\n0,39" + t + "+0.00000\n0,51" + t +
             "+2.00000\n0,63" + t + "+0.00000\n"},
        {{"preview", "QvT_VIEWS", "Scalar=3.141592653589793", "--set", "ShowDeg S=1"},
         "72,13 #20E020 *\n0,0" + t + "+180.000\n0,13" + t + "+0.00000\n0,26" + t + "+0.00000\n0,39" + t +
             "+0.00000\n0,52" + t + "+0.00000\n0,65" + t + "+0.00000\n"},
    };
    for (const CliCase &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(QvhostPreview, WritesThePng) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) /
                         ("qv_qvhost_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    const std::string png = (dir / "view.png").string();
    const CliResult r = qvhost_run({"preview", "QvT_VIEWV", "Vector=1,2,3", "--png", png});
    if (!refhost::have_cairo()) {
        EXPECT_NE(r.code, 0);
        EXPECT_NE(r.err.find("without cairo"), std::string::npos) << r.err;
        fs::remove_all(dir);
        QV_SKIP("built without cairo");
    }
    ASSERT_EQ(r.code, 0) << r.err;
    refhost::Image img;
    std::string error;
    ASSERT_TRUE(refhost::read_png(png, img, error)) << error;
    EXPECT_EQ(img.width, 128);
    EXPECT_EQ(img.height, 80);
    EXPECT_EQ(img.at(127, 79), 0xFF000000u);  // the background
    EXPECT_EQ(img.at(100, 37), 0xFF20A0F0u);  // the vector colour's line: R 0x20, G 0xA0, B 0xF0
    fs::remove_all(dir);
}

struct CliError {
    std::vector<std::string> args;
    int code;
    const char *message;  // part of the one error line
};

TEST(QvhostPanel, BadInputGivesOneLineAndFails) {
    const CliError cases[] = {
        {{"panel", "QvMs_NOPE"}, 1, "unknown node \"QvMs_NOPE\""},
        {{"panel", "QvMs_SIN", "--set", "Nope=1"}, 2, "no control \"Nope\""},
        {{"panel", "QvMs_SIN", "--set", "In=abc"}, 2, "control \"In\" (0x8001): 'abc' is not a number"},
        {{"panel", "QvMs_SIN", "--set", "In"}, 2, "'In' is not LABEL=VALUE"},
        {{"panel", "QvMs_SIN", "In=1", "--set", "In=2"}, 2, "shows no value"},
        {{"panel", "QvMs_SIN", "Out=1"}, 2, "QvMs_SIN has no input \"Out\""},
        {{"panel", "QvMs_PI", "--set", "X=1"}, 2, "QvMs_PI has no options"},
        {{"panel", "QvT_LGC1", "--set", "Ope=Sideways"}, 2, "\"Sideways\" is not one of its choices"},
        {{"panel", "QvT_LGC2", "--set", "Ope=A > B"}, 2, "label \"Ope\" names 3 controls"},
        {{"panel", "QvT_VIEWI", "--set", "ShowDeg S=1"}, 2, "is hidden"},
        {{"preview", "QvMs_SIN"}, 1, "(QvMs_SIN) draws no preview"},
        {{"preview", "QvT_VIEWV", "Vector=1", "Vector=2", "Vector=3"}, 2, "has 2 inputs named \"Vector\""},
        {{"preview", "QvT_VIEW", "--width", "0"}, 2, "--width"},
        {{"preview", "QvT_VIEW", "--set", "ShowHex=maybe"}, 2, "control \"ShowHex\" (0x8001)"},
    };
    for (const CliError &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("qvhost: ", 0), 0u) << r.err;
    }
}

}  // namespace
