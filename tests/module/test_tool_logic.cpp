// Logic and switch nodes: the comparisons at their thresholds and with NaN
// operands, the combinations, which inputs each variant reads, and the
// switches' selectors.
#include "tests/fixtures/module_fixture.h"

#include "core/node_instance.h"

#include <array>
#include <limits>
#include <vector>

using namespace qvtest;
using refhost::Value;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kEps = 2.220446049250313e-16;  // 2^-52

const qv::LogicInstance *logic(refhost::HostNode *n) { return static_cast<const qv::LogicInstance *>(n->instance); }

using Triple = std::array<double, 3>;

class LogicNodes : public NetworkTest {
protected:
    refhost::HostSource *feed_value(refhost::HostNode *n, const std::string &input, const Value &v) {
        std::string error;
        refhost::HostSource *s = net->feed(n->id, input, v, error);
        EXPECT_NE(s, nullptr) << error;
        return s;
    }
    refhost::HostSource *feed_source(refhost::HostNode *n, const std::string &input, double v) {
        return feed_value(n, input, Value::scalar(v));
    }
    Value eval_value(refhost::HostNode *n, const std::string &output) {
        net->render_init();
        Value v;
        std::string error;
        EXPECT_TRUE(net->evaluate(n->id, output, v, error)) << error;
        return v;
    }
    int32_t eval_bool(refhost::HostNode *n) {
        const Value v = eval_value(n, "Bool");
        EXPECT_EQ(v.type, QV_TYPE_INTEGER);
        return v.as_integer();
    }
    Triple eval_triple(refhost::HostNode *n, const std::string &output) {
        const Value v = eval_value(n, output);
        EXPECT_EQ(v.type, QV_TYPE_VECTOR) << output;
        return {v.doubles()[0], v.doubles()[1], v.doubles()[2]};
    }
};

void expect_triple(const Triple &expected, const Triple &actual) {
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(same_double(expected[i], actual[i])) << "component " << i;
}

std::string logic_words(int a, int b, int c) {
    return "Logic " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + "\n";
}

}  // namespace

TEST_F(LogicNodes, CreatesSetFlagsDefaultsAndPorts) {
    struct CreateCase {
        const char *server;
        uint32_t flags;
        std::vector<double> defaults;
        std::vector<std::pair<int, std::string>> inputs, outputs;
        const char *saved;
    };
    const CreateCase cases[] = {
        {"QvT_LGC1",
         0x8000F,
         {0, 0, 1, 0, 0, 0, 0},
         {{2, "A1"}, {2, "B1"}, {2, "True"}, {2, "False"}},
         {{2, "Out"}, {4, "Bool"}},
         "val0 0\nval1 0\nval2 1\nval3 0\nLogic 0 0 0\n"},
        {"QvT_LGC2",
         0x8003F,
         {0, 0, 0, 0, 1, 0, 0},
         {{2, "A1"}, {2, "B1"}, {2, "A2"}, {2, "B2"}, {2, "True"}, {2, "False"}},
         {{2, "Out"}, {4, "Bool"}},
         "val0 0\nval1 0\nval2 0\nval3 0\nval4 1\nval5 0\nLogic 0 0 0\n"},
        {"QvT_LGC1V",
         0x80003,
         {0, 0, 0, 0, 0, 0, 0},
         {{2, "A1"}, {2, "B1"}, {3, "True"}, {3, "False"}},
         {{3, "Out"}, {4, "Bool"}},
         "val0 0\nval1 0\nLogic 0 0 0\n"},
        {"QvT_LGC2V",
         0x8000F,
         {0, 0, 0, 0, 0, 0, 0},
         {{2, "A1"}, {2, "B1"}, {2, "A2"}, {2, "B2"}, {3, "True"}, {3, "False"}},
         {{3, "Out"}, {4, "Bool"}},
         "val0 0\nval1 0\nval2 0\nval3 0\nLogic 0 0 0\n"},
    };
    for (const CreateCase &c : cases) {
        SCOPED_TRACE(c.server);
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        const qv::LogicInstance *l = logic(n);
        EXPECT_EQ(l->base.flags, c.flags);
        for (int k = 0; k < 7; ++k) EXPECT_TRUE(same_double(c.defaults[k], l->base.defaults[k])) << k;
        EXPECT_EQ(l->operators[0], 0);
        EXPECT_EQ(l->operators[1], 0);
        EXPECT_EQ(l->operators[2], 0);
        EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}),
                  (std::array<int32_t, 3>{110, 90, 150}));
        std::vector<std::pair<int, std::string>> ins, outs;
        for (const auto &p : n->inputs) ins.push_back({p->type, p->name});
        for (const auto &p : n->outputs) outs.push_back({p->type, p->name});
        EXPECT_EQ(ins, c.inputs);
        EXPECT_EQ(outs, c.outputs);
        EXPECT_EQ(save_text(n), c.saved);
    }
}

TEST_F(LogicNodes, OperatorWordsTravelThroughLoadSaveAndCopy) {
    refhost::HostNode *n = make("QvT_LGC2");
    load_text(n, "Logic 1 2 4\nval4 0.5\n");
    EXPECT_EQ(save_text(n), "val0 0\nval1 0\nval2 0\nval3 0\nval4 0.5\nval5 0\nLogic 1 2 4\n");
    std::string error;
    refhost::HostNode *copy = net->copy(n->id, error);
    ASSERT_NE(copy, nullptr) << error;
    EXPECT_EQ(logic(copy)->operators[0], 1);
    EXPECT_EQ(logic(copy)->operators[1], 2);
    EXPECT_EQ(logic(copy)->operators[2], 4);
}

TEST_F(LogicNodes, Comparisons) {
    struct CompareCase {
        int op;
        double a, b;
        int32_t expected;
    };
    const CompareCase cases[] = {
        {0, 1.0, 1.0, 1},
        {0, 1.0, 1.0 + kEps, 1},      // 2^-52 apart: equal
        {0, 1.0, 1.0 + 2 * kEps, 0},  // 2^-51 apart: not
        {0, 1.0 + 2 * kEps, 1.0, 0},
        {0, 0.0, kEps, 1},
        {0, 0.0, -kEps, 1},
        {0, 0.0, 2 * kEps, 0},
        {0, -0.0, 0.0, 1},
        {1, 1.0, 1.0 + kEps, 0},
        {1, 1.0, 1.0 + 2 * kEps, 1},
        {1, 0.0, 2 * kEps, 1},
        {2, 2.0, 1.0, 1},
        {2, 1.0, 1.0, 0},
        {2, 1.0, 1.0 + kEps, 0},  // the others are exact comparisons
        {2, 1.0 + kEps, 1.0, 1},
        {3, 1.0, 2.0, 1},
        {3, 1.0, 1.0, 0},
        {4, 1.0, 1.0, 1},
        {4, 1.0, 1.0 + kEps, 0},
        {4, 2.0, 1.0, 1},
        {5, 1.0, 1.0, 1},
        {5, 1.0 + kEps, 1.0, 0},
        {5, 0.5, 1.0, 1},
        // Words outside the table compare as "A == B".
        {6, 1.0, 1.0 + kEps, 1},
        {6, 1.0, 2.0, 0},
        {-1, 3.0, 3.0, 1},
        {1000, 3.0, 4.0, 0},
        // Infinities: the same infinity differs by NaN, so it is not "equal".
        {2, kInf, 1e308, 1},
        {3, -kInf, -1e308, 1},
        {4, kInf, kInf, 1},
        {0, kInf, kInf, 0},
    };
    for (const CompareCase &c : cases) {
        char label[120];
        std::snprintf(label, sizeof label, "op %d, A %.17g, B %.17g", c.op, c.a, c.b);
        SCOPED_TRACE(label);
        refhost::HostNode *n = make("QvT_LGC1");
        ASSERT_NE(n, nullptr);
        load_text(n, logic_words(c.op, 0, 0));
        feed(n, "A1", c.a);
        feed(n, "B1", c.b);
        feed(n, "True", 7.5);
        feed(n, "False", -2.0);
        EXPECT_EQ(eval_bool(n), c.expected);
        EXPECT_TRUE(same_double(c.expected ? 7.5 : -2.0, eval(n, "Out")));
    }
}

TEST_F(LogicNodes, EveryComparisonWithNaNIsFalse) {
    for (int op = 0; op <= 6; ++op) {
        for (const auto &ab : {std::pair<double, double>{kNaN, 1.0}, {1.0, kNaN}, {kNaN, kNaN}}) {
            SCOPED_TRACE("op " + std::to_string(op));
            refhost::HostNode *n = make("QvT_LGC1");
            load_text(n, logic_words(op, 0, 0));
            feed(n, "A1", ab.first);
            feed(n, "B1", ab.second);
            EXPECT_EQ(eval_bool(n), 0);
            EXPECT_TRUE(same_double(0.0, eval(n, "Out")));
        }
    }
}

TEST_F(LogicNodes, UnconnectedLogicOneHolds) {
    refhost::HostNode *n = make("QvT_LGC1");
    EXPECT_TRUE(same_double(1.0, eval(n, "Out")));
    EXPECT_EQ(eval_bool(n), 1);
    refhost::HostNode *two = make("QvT_LGC2");
    EXPECT_TRUE(same_double(1.0, eval(two, "Out")));
    EXPECT_EQ(eval_bool(two), 1);
}

TEST_F(LogicNodes, StoredDefaultsFeedUnconnectedInputs) {
    refhost::HostNode *n = make("QvT_LGC1");
    load_text(n, "Logic 2 0 0\nval0 3\nval1 2\nval2 0.25\nval3 0.5\n");
    EXPECT_EQ(eval_bool(n), 1);
    EXPECT_TRUE(same_double(0.25, eval(n, "Out")));
    load_text(n, "val1 4\n");
    EXPECT_TRUE(same_double(0.5, eval(n, "Out")));
}

TEST_F(LogicNodes, Combinations) {
    // Operator words 2 ("A > B") for both comparisons; r1 from A1 > B1, r2
    // from A2 > B2.
    struct CombineCase {
        int op;
        int r1, r2;
        int32_t expected;
    };
    std::vector<CombineCase> cases;
    const int truth[][4] = {
        // op: r (1,1), (0,0), (1,0), (0,1)
        {1, 0, 0, 0},  // 0 True && True
        {0, 1, 0, 0},  // 1 False && False
        {0, 0, 1, 0},  // 2 True && False
        {0, 0, 0, 1},  // 3 False && True
        {1, 0, 1, 1},  // 4 True || False
        {1, 0, 0, 0},  // 5: as 0
        {1, 0, 0, 0},  // -1: as 0
    };
    const int ops[] = {0, 1, 2, 3, 4, 5, -1};
    const int pairs[][2] = {{1, 1}, {0, 0}, {1, 0}, {0, 1}};
    for (int o = 0; o < 7; ++o)
        for (int p = 0; p < 4; ++p) cases.push_back({ops[o], pairs[p][0], pairs[p][1], truth[o][p]});
    for (const char *server : {"QvT_LGC2", "QvT_LGC2V"}) {
        for (const CombineCase &c : cases) {
            SCOPED_TRACE(std::string(server) + " op " + std::to_string(c.op) + " r1 " + std::to_string(c.r1) + " r2 " +
                         std::to_string(c.r2));
            refhost::HostNode *n = make(server);
            load_text(n, logic_words(2, 2, c.op));
            feed(n, "A1", c.r1 ? 2.0 : 1.0);
            feed(n, "B1", 1.5);
            feed(n, "A2", c.r2 ? -1.0 : -3.0);
            feed(n, "B2", -2.0);
            EXPECT_EQ(eval_bool(n), c.expected);
        }
    }
}

TEST_F(LogicNodes, TwoComparisonsUseTheirOwnOperatorWords) {
    refhost::HostNode *n = make("QvT_LGC2");
    // r1: 1 < 2 under word 1 = 3; r2: 5 >= 5 under word 2 = 4; combined by 2
    // ("True && False"): 0, then by 0: 1.
    load_text(n, "Logic 3 4 2\n");
    feed(n, "A1", 1.0);
    feed(n, "B1", 2.0);
    feed(n, "A2", 5.0);
    feed(n, "B2", 5.0);
    feed(n, "True", 10.0);
    feed(n, "False", 20.0);
    EXPECT_EQ(eval_bool(n), 0);
    EXPECT_TRUE(same_double(20.0, eval(n, "Out")));
    load_text(n, "Logic 3 4 0\n");
    EXPECT_EQ(eval_bool(n), 1);
    EXPECT_TRUE(same_double(10.0, eval(n, "Out")));
}

TEST_F(LogicNodes, ScalarVariantsReadEveryInputVectorVariantsOnlyTheChosenOne) {
    struct ReadCase {
        const char *server;
        const char *output;
        bool holds;
        long true_reads, false_reads;
    };
    const ReadCase cases[] = {
        {"QvT_LGC1", "Out", true, 1, 1},   {"QvT_LGC1", "Bool", false, 1, 1}, {"QvT_LGC2", "Out", false, 1, 1},
        {"QvT_LGC2", "Bool", true, 1, 1},  {"QvT_LGC1V", "Out", true, 1, 0},  {"QvT_LGC1V", "Out", false, 0, 1},
        {"QvT_LGC1V", "Bool", true, 1, 0}, {"QvT_LGC2V", "Out", true, 1, 0},  {"QvT_LGC2V", "Bool", false, 0, 1},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(std::string(c.server) + " " + c.output + (c.holds ? " holds" : " fails"));
        refhost::HostNode *n = make(c.server);
        const bool two = n->inputs.size() == 6;
        refhost::HostSource *a1 = feed_source(n, "A1", c.holds ? 1.0 : 2.0);
        refhost::HostSource *b1 = feed_source(n, "B1", 1.0);
        refhost::HostSource *a2 = two ? feed_source(n, "A2", 0.0) : nullptr;
        refhost::HostSource *b2 = two ? feed_source(n, "B2", 0.0) : nullptr;
        const int routed = n->inputs[two ? 4 : 2]->type;
        const bool scalar = routed == QV_TYPE_SCALAR;
        refhost::HostSource *t = feed_value(n, "True", scalar ? Value::scalar(1.0) : Value::triple(routed, 1, 1, 1));
        refhost::HostSource *f = feed_value(n, "False", scalar ? Value::scalar(2.0) : Value::triple(routed, 2, 2, 2));
        eval_value(n, c.output);
        EXPECT_EQ(a1->evaluations.load(), 1);
        EXPECT_EQ(b1->evaluations.load(), 1);
        if (two) {
            EXPECT_EQ(a2->evaluations.load(), 1);
            EXPECT_EQ(b2->evaluations.load(), 1);
        }
        EXPECT_EQ(t->evaluations.load(), c.true_reads);
        EXPECT_EQ(f->evaluations.load(), c.false_reads);
    }
}

TEST_F(LogicNodes, VectorVariantsRouteVectorsAndZeroWhenUnconnected) {
    refhost::HostNode *n = make("QvT_LGC1V");
    // The comparison holds (0 == 0) but "True" is unconnected.
    feed_value(n, "False", Value::triple(QV_TYPE_VECTOR, 4, 5, 6));
    expect_triple({0, 0, 0}, eval_triple(n, "Out"));
    EXPECT_EQ(eval_bool(n), 1);
    feed_value(n, "True", Value::triple(QV_TYPE_VECTOR, 1, 2, 3));
    expect_triple({1, 2, 3}, eval_triple(n, "Out"));
    feed(n, "A1", 1.0);
    expect_triple({4, 5, 6}, eval_triple(n, "Out"));
    EXPECT_EQ(eval_bool(n), 0);

    refhost::HostNode *two = make("QvT_LGC2V");
    load_text(two, "Logic 0 0 1\n");  // "False && False": r = 0 with both holding
    feed_value(two, "True", Value::triple(QV_TYPE_VECTOR, 1, 2, 3));
    expect_triple({0, 0, 0}, eval_triple(two, "Out"));
    feed_value(two, "False", Value::triple(QV_TYPE_VECTOR, -1, -2, -3));
    expect_triple({-1, -2, -3}, eval_triple(two, "Out"));
    feed(two, "A2", 1.0);
    feed(two, "A1", 1.0);
    expect_triple({1, 2, 3}, eval_triple(two, "Out"));
}

// ---- Switches ---------------------------------------------------------------------

namespace {

class Switches : public LogicNodes {};

}  // namespace

TEST_F(Switches, CreatesMakeTheirPortsAndKeepNothing) {
    for (const char *server : {"QvT_SWCHS", "QvT_SWCHV"}) {
        SCOPED_TRACE(server);
        refhost::HostNode *n = make(server);
        ASSERT_NE(n, nullptr);
        const int routed = std::string(server) == "QvT_SWCHS" ? QV_TYPE_SCALAR : QV_TYPE_VECTOR;
        std::vector<std::pair<int, std::string>> ins, outs;
        for (const auto &p : n->inputs) ins.push_back({p->type, p->name});
        for (const auto &p : n->outputs) outs.push_back({p->type, p->name});
        EXPECT_EQ(ins, (std::vector<std::pair<int, std::string>>{{QV_TYPE_INTEGER, "Bool"},
                                                                 {routed, "True1"},
                                                                 {routed, "false1"},
                                                                 {routed, "True2"},
                                                                 {routed, "false2"},
                                                                 {routed, "True3"},
                                                                 {routed, "false3"}}));
        EXPECT_EQ(outs,
                  (std::vector<std::pair<int, std::string>>{{routed, "out1"}, {routed, "out2"}, {routed, "out3"}}));
        EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}),
                  (std::array<int32_t, 3>{110, 90, 150}));
        const auto *inst = static_cast<const qv::NodeInstance *>(n->instance);
        EXPECT_EQ(inst->flags, 0u);
        load_text(n, "val0 1\nInt1 1\n");
        EXPECT_EQ(save_text(n), "");
    }
}

TEST_F(Switches, SelectorRoutesEachPair) {
    struct SwitchCase {
        bool connected;
        int32_t sel;
        bool routes_true;
    };
    const SwitchCase cases[] = {
        {false, 0, false}, {true, 0, false}, {true, 1, true},
        {true, -1, true},  {true, 2, true},  {true, std::numeric_limits<int32_t>::min(), true},
    };
    for (const SwitchCase &c : cases) {
        SCOPED_TRACE(std::to_string(c.connected) + " " + std::to_string(c.sel));
        refhost::HostNode *s = make("QvT_SWCHS");
        refhost::HostNode *v = make("QvT_SWCHV");
        if (c.connected) {
            feed_value(s, "Bool", Value::integer(c.sel));
            feed_value(v, "Bool", Value::integer(c.sel));
        }
        const char *names[] = {"True1", "false1", "True2", "false2", "True3", "false3"};
        for (int k = 0; k < 6; ++k) {
            feed(s, names[k], 10.0 + k);
            feed_value(v, names[k], Value::triple(QV_TYPE_VECTOR, k, -k, 100 + k));
        }
        const char *outs[] = {"out1", "out2", "out3"};
        for (int p = 0; p < 3; ++p) {
            const int k = 2 * p + (c.routes_true ? 0 : 1);
            EXPECT_TRUE(same_double(10.0 + k, eval(s, outs[p]))) << outs[p];
            expect_triple({double(k), double(-k), 100.0 + k}, eval_triple(v, outs[p]));
        }
    }
}

TEST_F(Switches, UnconnectedChosenInputGivesZero) {
    refhost::HostNode *s = make("QvT_SWCHS");
    refhost::HostNode *v = make("QvT_SWCHV");
    feed(s, "True1", 5.0);
    feed_value(v, "True2", Value::triple(QV_TYPE_VECTOR, 1, 2, 3));
    for (const char *out : {"out1", "out2", "out3"}) {
        EXPECT_TRUE(same_double(0.0, eval(s, out)));
        expect_triple({0, 0, 0}, eval_triple(v, out));
    }
    feed_value(s, "Bool", Value::integer(-1));
    feed_value(v, "Bool", Value::integer(-1));
    EXPECT_TRUE(same_double(5.0, eval(s, "out1")));
    EXPECT_TRUE(same_double(0.0, eval(s, "out2")));
    expect_triple({1, 2, 3}, eval_triple(v, "out2"));
    expect_triple({0, 0, 0}, eval_triple(v, "out3"));
}

TEST_F(Switches, OnlyTheChosenInputIsRead) {
    refhost::HostNode *s = make("QvT_SWCHS");
    refhost::HostSource *sel = feed_value(s, "Bool", Value::integer(0));
    std::vector<refhost::HostSource *> sources;
    for (const char *name : {"True1", "false1", "True2", "false2", "True3", "false3"})
        sources.push_back(feed_source(s, name, 1.0));
    eval(s, "out2");
    EXPECT_EQ(sel->evaluations.load(), 1);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(sources[k]->evaluations.load(), k == 3 ? 1 : 0) << k;
}
