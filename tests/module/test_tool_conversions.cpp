// Conversion nodes: splitting colours, vectors and materials, making vectors,
// frames to time and the power-of-two mapping, through the module as the host
// runs them.
#include "tests/fixtures/module_fixture.h"

#include <array>
#include <limits>
#include <vector>

using namespace qvtest;
using refhost::Application;
using refhost::Value;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Port {
    int type;
    std::string name;
    bool operator==(const Port &o) const { return type == o.type && name == o.name; }
};

std::vector<Port> ports(const refhost::HostNode &n, bool inputs) {
    std::vector<Port> out;
    if (inputs)
        for (const auto &p : n.inputs) out.push_back({p->type, p->name});
    else
        for (const auto &p : n.outputs) out.push_back({p->type, p->name});
    return out;
}

std::vector<Port> scalars(std::initializer_list<const char *> names) {
    std::vector<Port> out;
    for (const char *n : names) out.push_back({QV_TYPE_SCALAR, n});
    return out;
}

Value material(double first) {
    Value v;
    v.type = QV_TYPE_MATERIAL;
    for (int i = 0; i < 13; ++i) v.doubles()[i] = first + i;
    return v;
}

class Conversions : public NetworkTest {
protected:
    void feed_value(refhost::HostNode *n, const std::string &input, const Value &v) {
        std::string error;
        EXPECT_NE(net->feed(n->id, input, v, error), nullptr) << error;
    }
    Value eval_value(refhost::HostNode *n, const std::string &output) {
        net->render_init();
        Value v;
        std::string error;
        EXPECT_TRUE(net->evaluate(n->id, output, v, error)) << error;
        return v;
    }
    std::array<double, 3> eval_triple(refhost::HostNode *n, const std::string &output) {
        const Value v = eval_value(n, output);
        EXPECT_TRUE(v.type == QV_TYPE_VECTOR || v.type == QV_TYPE_COLOR) << output;
        return {v.doubles()[0], v.doubles()[1], v.doubles()[2]};
    }
};

void expect_triple(const std::array<double, 3> &expected, const std::array<double, 3> &actual) {
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(same_double(expected[i], actual[i])) << "component " << i;
}

}  // namespace

TEST_F(Conversions, CreatesMakeTheirPortsAndColours) {
    struct CreateCase {
        const char *server;
        std::array<int32_t, 3> colour;
        std::vector<Port> inputs, outputs;
    };
    const CreateCase cases[] = {
        {"QvT_C2RGB", {90, 90, 150}, {{QV_TYPE_COLOR, "Col"}}, scalars({"R", "G", "B", "Max", "Min", "Luma", "Avg"})},
        {"QvT_V2XYZ", {90, 90, 150}, {{QV_TYPE_VECTOR, "Vec"}}, scalars({"X", "Y", "Z", "Max", "Min", "Len", "Avg"})},
        {"QvT_CtRGB", {90, 90, 150}, {{QV_TYPE_COLOR, "Col"}}, scalars({"R", "G", "B"})},
        {"QvT_VtXYZ", {90, 90, 150}, {{QV_TYPE_VECTOR, "Vec"}}, scalars({"X", "Y", "Z"})},
        {"QvT_MVEC",
         {90, 90, 150},
         {{QV_TYPE_VECTOR, "Vec"}, {QV_TYPE_SCALAR, "X"}, {QV_TYPE_SCALAR, "Y"}, {QV_TYPE_SCALAR, "Z"}},
         {{QV_TYPE_VECTOR, "Out"}}},
        {"QvT_SPMTL",
         {90, 90, 150},
         {{QV_TYPE_MATERIAL, "Mtl"}},
         {{QV_TYPE_COLOR, "Diffuse"},
          {QV_TYPE_COLOR, "Specular"},
          {QV_TYPE_COLOR, "RefrEct"},
          {QV_TYPE_COLOR, "RefrAct"},
          {QV_TYPE_SCALAR, "Transpar."}}},
        {"QvT_F2T", {90, 120, 100}, {{QV_TYPE_INTEGER, "Frm"}}, {{QV_TYPE_SCALAR, "Time"}}},
        {"QvT_G2P", {90, 120, 100}, {{QV_TYPE_SCALAR, "In"}}, {{QV_TYPE_SCALAR, "Out"}}},
    };
    for (const CreateCase &c : cases) {
        SCOPED_TRACE(c.server);
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ((std::vector<std::string>{"colour", "mode"}), n->calls);
        EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}), c.colour);
        EXPECT_EQ(n->mode, QV_NODE_MODE_NO_PREVIEW);
        EXPECT_EQ(ports(*n, true), c.inputs);
        EXPECT_EQ(ports(*n, false), c.outputs);
    }
}

// ---- Colour and vector components ------------------------------------------

TEST_F(Conversions, SplitNodesGiveEachOutput) {
    struct SplitCase {
        const char *server, *input;
        std::array<double, 3> value;
        const char *output;
        double expected;
    };
    const SplitCase cases[] = {
        {"QvT_C2RGB", "Col", {1, 0.5, 0}, "R", 1.0},
        {"QvT_C2RGB", "Col", {1, 0.5, 0}, "G", 0.5},
        {"QvT_C2RGB", "Col", {1, 0.5, 0}, "B", 0.0},
        {"QvT_C2RGB", "Col", {1, 0.5, 0}, "Max", 1.0},
        {"QvT_C2RGB", "Col", {1, 0.5, 0}, "Min", 0.0},
        {"QvT_C2RGB", "Col", {1, 0.5, 0}, "Luma", 0.5922175000000001},
        {"QvT_C2RGB", "Col", {1, 0.5, 0}, "Avg", 0.5},
        {"QvT_C2RGB", "Col", {1, 1, 1}, "Luma", 1.0000010000000001},
        {"QvT_C2RGB", "Col", {1, 1, 1}, "Avg", 1.0},
        // The weights themselves, bit for bit.
        {"QvT_C2RGB", "Col", {1, 0, 0}, "Luma", 0.298912},
        {"QvT_C2RGB", "Col", {0, 1, 0}, "Luma", 0.586611},
        {"QvT_C2RGB", "Col", {0, 0, 1}, "Luma", 0.114478},
        // The average multiplies by the double nearest 1/3: 5/3 would be ...667.
        {"QvT_C2RGB", "Col", {2, 2, 1}, "Avg", 1.6666666666666665},
        {"QvT_C2RGB", "Col", {-1, -3, 2}, "Max", 2.0},
        {"QvT_C2RGB", "Col", {-1, -3, 2}, "Min", -3.0},
        // Max and Min are plain comparisons: a NaN first component loses.
        {"QvT_C2RGB", "Col", {kNaN, 1, 2}, "Max", 2.0},
        {"QvT_C2RGB", "Col", {kNaN, 1, 2}, "Min", 1.0},
        {"QvT_V2XYZ", "Vec", {3, 4, 12}, "Len", 13.0},
        {"QvT_V2XYZ", "Vec", {3, 4, 12}, "Max", 12.0},
        {"QvT_V2XYZ", "Vec", {3, 4, 12}, "Min", 3.0},
        {"QvT_V2XYZ", "Vec", {3, 4, 12}, "Avg", 6.333333333333333},
        {"QvT_V2XYZ", "Vec", {3, 4, 12}, "X", 3.0},
        {"QvT_V2XYZ", "Vec", {3, 4, 12}, "Y", 4.0},
        {"QvT_V2XYZ", "Vec", {3, 4, 12}, "Z", 12.0},
        {"QvT_V2XYZ", "Vec", {-3, 0, 4}, "Len", 5.0},
        {"QvT_CtRGB", "Col", {0.25, -2, 7}, "R", 0.25},
        {"QvT_CtRGB", "Col", {0.25, -2, 7}, "G", -2.0},
        {"QvT_CtRGB", "Col", {0.25, -2, 7}, "B", 7.0},
        {"QvT_VtXYZ", "Vec", {0.25, -2, 7}, "X", 0.25},
        {"QvT_VtXYZ", "Vec", {0.25, -2, 7}, "Y", -2.0},
        {"QvT_VtXYZ", "Vec", {0.25, -2, 7}, "Z", 7.0},
    };
    for (const SplitCase &c : cases) {
        SCOPED_TRACE(std::string(c.server) + " " + c.output + " of " + std::to_string(c.value[0]) + "," +
                     std::to_string(c.value[1]) + "," + std::to_string(c.value[2]));
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        const int type = n->inputs[0]->type;
        feed_value(n, c.input, Value::triple(type, c.value[0], c.value[1], c.value[2]));
        EXPECT_TRUE(same_double(c.expected, eval(n, c.output)));
    }
}

TEST_F(Conversions, SplitNodesGiveZeroWhileUnconnectedAndAskTheHostEachTime) {
    for (const char *server : {"QvT_C2RGB", "QvT_V2XYZ", "QvT_CtRGB", "QvT_VtXYZ"}) {
        SCOPED_TRACE(server);
        refhost::HostNode *n = make(server);
        ASSERT_NE(n, nullptr);
        for (const auto &out : n->outputs) EXPECT_TRUE(same_double(0.0, eval(n, out->name))) << out->name;
        const int asked = n->inputs[0]->connected_queries.load();
        EXPECT_TRUE(same_double(0.0, eval(n, n->outputs.back()->name)));
        EXPECT_EQ(n->inputs[0]->connected_queries.load(), asked + 1) << "connection asked afresh";
        feed_value(n, n->inputs[0]->name, Value::triple(n->inputs[0]->type, 2, 2, 2));
        EXPECT_TRUE(same_double(2.0, eval(n, n->outputs[0]->name)));
    }
}

TEST_F(Conversions, ComponentsOfAnotherNodesOutputAreLeftUnset) {
    refhost::HostNode *n = make("QvT_VtXYZ");
    refhost::HostNode *other = make("QvT_CtRGB");
    feed_value(n, "Vec", Value::triple(QV_TYPE_VECTOR, 1, 2, 3));
    net->render_init();
    Value v;
    refhost::HostValueSlot slot{QV_TYPE_SCALAR, &v};
    n->handler.evaluate(n->instance, nullptr, other->outputs[0].get(), &slot);
    EXPECT_EQ(v.type, 0);
}

// ---- Make vector -------------------------------------------------------------

TEST_F(Conversions, MakeVectorReplacesComponentsOfConnectedScalars) {
    struct MakeCase {
        bool vec;
        std::vector<std::pair<const char *, double>> scalars;
        std::array<double, 3> expected;
    };
    const MakeCase cases[] = {
        {true, {{"Y", 9}}, {1, 9, 3}},
        {false, {}, {0, 0, 0}},
        {false, {{"Z", 5}}, {0, 0, 5}},
        {true, {}, {1, 2, 3}},
        {true, {{"X", -1}, {"Y", -2}, {"Z", -3}}, {-1, -2, -3}},
        {false, {{"X", 0.5}}, {0.5, 0, 0}},
    };
    for (const MakeCase &c : cases) {
        refhost::HostNode *n = make("QvT_MVEC");
        ASSERT_NE(n, nullptr);
        if (c.vec) feed_value(n, "Vec", Value::triple(QV_TYPE_VECTOR, 1, 2, 3));
        for (const auto &s : c.scalars) feed(n, s.first, s.second);
        expect_triple(c.expected, eval_triple(n, "Out"));
    }
}

TEST_F(Conversions, MakeVectorUsesTheConnectedFlagsOfRenderInit) {
    refhost::HostNode *n = make("QvT_MVEC");
    feed(n, "X", 4);
    net->render_init();
    const int asked = n->inputs[1]->connected_queries.load();
    expect_triple({4, 0, 0}, eval_triple(n, "Out"));
    EXPECT_EQ(n->inputs[1]->connected_queries.load(), asked);
}

// ---- Split material ----------------------------------------------------------

TEST_F(Conversions, SplitMaterialGivesTheFourColoursAndTheTransparency) {
    refhost::HostNode *n = make("QvT_SPMTL");
    ASSERT_NE(n, nullptr);
    feed_value(n, "Mtl", material(1.0));
    expect_triple({1, 2, 3}, eval_triple(n, "Diffuse"));
    expect_triple({4, 5, 6}, eval_triple(n, "Specular"));
    expect_triple({7, 8, 9}, eval_triple(n, "RefrEct"));
    expect_triple({10, 11, 12}, eval_triple(n, "RefrAct"));
    EXPECT_TRUE(same_double(13.0, eval(n, "Transpar.")));
}

TEST_F(Conversions, SplitMaterialUnconnectedGivesZeros) {
    refhost::HostNode *n = make("QvT_SPMTL");
    ASSERT_NE(n, nullptr);
    for (const char *out : {"Diffuse", "Specular", "RefrEct", "RefrAct"}) expect_triple({0, 0, 0}, eval_triple(n, out));
    EXPECT_TRUE(same_double(0.0, eval(n, "Transpar.")));
}

TEST_F(Conversions, SplitMaterialGivesZerosForAnotherNodesOutput) {
    refhost::HostNode *n = make("QvT_SPMTL");
    refhost::HostNode *other = make("QvT_MVEC");
    feed_value(n, "Mtl", material(1.0));
    net->render_init();
    Value v;
    refhost::HostValueSlot slot{QV_TYPE_VECTOR, &v};
    n->handler.evaluate(n->instance, nullptr, other->outputs[0].get(), &slot);
    ASSERT_EQ(v.type, QV_TYPE_VECTOR);
    expect_triple({0, 0, 0}, {v.doubles()[0], v.doubles()[1], v.doubles()[2]});
}

TEST_F(Conversions, SplitMaterialAndMaterialCacheNeedABuildAbove1164) {
    struct BuildCase {
        uint32_t build;
        int expected;
    };
    const BuildCase cases[] = {
        {1164, QV_AFUNC_BADGLOBAL}, {1165, QV_AFUNC_OK}, {100, QV_AFUNC_BADGLOBAL}, {3000, QV_AFUNC_OK}};
    auto m = shared_module();
    ASSERT_TRUE(m);
    for (const char *server : {"QvT_SPMTL", "QvC_MTL"}) {
        for (const BuildCase &c : cases) {
            SCOPED_TRACE(std::string(server) + " build " + std::to_string(c.build));
            Application::get().reset_config();
            Application::get().config().build = c.build;
            Application::get().clear_requests();
            refhost::HostNode probe;
            EXPECT_EQ(refhost::activate_handler(*m, server, probe, 2), c.expected);
            ASSERT_FALSE(Application::get().requests().empty());
            EXPECT_EQ(Application::get().requests().front(), "Product Info");
            if (c.expected != QV_AFUNC_OK) {
                EXPECT_EQ(Application::get().requests().size(), 1u) << "refused before anything else";
                EXPECT_EQ(probe.inst.create, nullptr);
            }
        }
    }
}

// ---- Frame to time -------------------------------------------------------------

TEST_F(Conversions, FrameToTimeDividesTheClampedFrameByTheFrameRate) {
    struct FrameCase {
        double fps;
        int32_t frame;
        double expected;
    };
    const FrameCase cases[] = {
        {24.0, 48, 2.0},
        {24.0, -12, -0.5},
        {24.0, 0, 0.0},
        {30.0, 1, 1.0 / 30.0},
        {24.0, 8388607, 8388607.0 / 24.0},
        {24.0, 8388608, 8388607.0 / 24.0},
        {24.0, std::numeric_limits<int32_t>::max(), 8388607.0 / 24.0},
        {24.0, -8388607, -8388607.0 / 24.0},
        {24.0, -8388608, -8388607.0 / 24.0},
        {24.0, std::numeric_limits<int32_t>::min(), -8388607.0 / 24.0},
        {1.0, 8388608, 8388607.0},
        {1.0, -8388609, -8388607.0},
    };
    for (const FrameCase &c : cases) {
        SCOPED_TRACE(std::to_string(c.frame) + " at " + std::to_string(c.fps));
        Application::get().set_frame_rate(c.fps);
        refhost::HostNode *n = make("QvT_F2T");
        ASSERT_NE(n, nullptr);
        feed_value(n, "Frm", Value::integer(c.frame));
        EXPECT_TRUE(same_double(c.expected, eval(n, "Time")));
    }
    Application::get().set_frame_rate(30.0);
}

TEST_F(Conversions, FrameToTimeUsesItsDefaultFrameWhileUnconnected) {
    Application::get().set_frame_rate(24.0);
    refhost::HostNode *n = make("QvT_F2T");
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(same_double(0.0, eval(n, "Time")));
    EXPECT_EQ(save_text(n), "Int1 0\n");
    load_text(n, "Int1 36\n");
    EXPECT_TRUE(same_double(1.5, eval(n, "Time")));
    load_text(n, "Int1 9000000\n");
    EXPECT_TRUE(same_double(8388607.0 / 24.0, eval(n, "Time")));
    EXPECT_EQ(save_text(n), "Int1 9000000\n") << "the stored frame itself is kept unclamped";
    // The frame rate is read at every evaluation.
    load_text(n, "Int1 36\n");
    Application::get().set_frame_rate(12.0);
    EXPECT_TRUE(same_double(3.0, eval(n, "Time")));
    Application::get().set_frame_rate(30.0);
}

TEST_F(Conversions, FrameToTimeAsksTheHostWhetherFrmIsConnected) {
    Application::get().set_frame_rate(24.0);
    refhost::HostNode *n = make("QvT_F2T");
    load_text(n, "Int1 24\n");
    feed_value(n, "Frm", Value::integer(48));
    net->render_init();
    const int asked = n->inputs[0]->connected_queries.load();
    EXPECT_TRUE(same_double(2.0, eval(n, "Time")));
    EXPECT_GT(n->inputs[0]->connected_queries.load(), asked);
    std::string error;
    ASSERT_TRUE(net->disconnect(n->id, "Frm", error)) << error;
    EXPECT_TRUE(same_double(1.0, eval(n, "Time")));
    Application::get().set_frame_rate(30.0);
}

TEST_F(Conversions, FrameToTimeInTheModellerGivesZero) {
    auto m = fresh_module();
    ASSERT_TRUE(m);
    Application::get().config().system_id = QV_SYSTEM_MODELER;
    Application::get().clear_requests();
    refhost::Network modeller(m);
    std::string error;
    refhost::HostNode *n = modeller.create("QvT_F2T", error);
    ASSERT_NE(n, nullptr) << error;
    for (const std::string &r : Application::get().requests()) EXPECT_EQ(r.find("LW Scene Info"), std::string::npos);
    ASSERT_NE(modeller.feed(n->id, "Frm", Value::integer(48), error), nullptr) << error;
    modeller.render_init();
    Value v;
    ASSERT_TRUE(modeller.evaluate(n->id, "Time", v, error)) << error;
    ASSERT_EQ(v.type, QV_TYPE_SCALAR);
    EXPECT_TRUE(same_double(0.0, v.as_scalar()));
}

TEST_F(Conversions, FrameToTimeWithoutHeldSceneInformationGivesZero) {
    // Activated in the modeller, the module holds no scene information; a
    // create that then finds no modeller must not convert with a scene it
    // does not have.
    auto m = fresh_module();
    ASSERT_TRUE(m);
    Application::get().config().system_id = QV_SYSTEM_MODELER;
    refhost::HostNode node;
    ASSERT_EQ(refhost::activate_handler(*m, "QvT_F2T", node, 2), QV_AFUNC_OK);
    Application::get().config().system_id = 0;
    QvError err = nullptr;
    node.instance = node.inst.create(node.inst.priv, &node, &err);
    ASSERT_NE(node.instance, nullptr);
    Value v;
    refhost::HostValueSlot slot{QV_TYPE_SCALAR, &v};
    node.handler.evaluate(node.instance, nullptr, node.outputs[0].get(), &slot);
    ASSERT_EQ(v.type, QV_TYPE_SCALAR);
    EXPECT_TRUE(same_double(0.0, v.as_scalar()));
    node.inst.destroy(node.instance);
}

TEST_F(Conversions, FrameToTimeSharesTheSceneSlotWithTheTimeNode) {
    {
        // Frame to time first: it asks for "LW Scene Info 4", and the time
        // node then finds the slot held.
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().clear_requests();
        refhost::HostNode f2t, time;
        ASSERT_EQ(refhost::activate_handler(*m, "QvT_F2T", f2t, 2), QV_AFUNC_OK);
        const auto &r = Application::get().requests();
        ASSERT_GE(r.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(r.end() - 2, r.end()),
                  (std::vector<std::string>{"System ID", "LW Scene Info 4"}));
        Application::get().clear_requests();
        ASSERT_EQ(refhost::activate_handler(*m, "QvMs_TIME", time, 2), QV_AFUNC_OK);
        for (const std::string &s : Application::get().requests())
            EXPECT_EQ(s.find("LW Scene Info"), std::string::npos);
        Application::get().clear_requests();
        ASSERT_EQ(refhost::activate_handler(*m, "QvT_F2T", f2t, 2), QV_AFUNC_OK);
        EXPECT_EQ(Application::get().requests(), (std::vector<std::string>{"Product Info", "System ID"}));
    }
    {
        // The time node first: its versioned name decides, and frame to time
        // asks for nothing more.
        auto m = fresh_module();
        ASSERT_TRUE(m);
        refhost::HostNode f2t, time;
        ASSERT_EQ(refhost::activate_handler(*m, "QvMs_TIME", time, 2), QV_AFUNC_OK);
        Application::get().clear_requests();
        Application::get().config().withheld = {"LW Scene Info 4"};
        EXPECT_EQ(refhost::activate_handler(*m, "QvT_F2T", f2t, 2), QV_AFUNC_OK);
        EXPECT_EQ(Application::get().requests(), (std::vector<std::string>{"Product Info", "System ID"}));
    }
    {
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().config().withheld = {"LW Scene Info 4"};
        refhost::HostNode f2t;
        EXPECT_EQ(refhost::activate_handler(*m, "QvT_F2T", f2t, 2), QV_AFUNC_BADGLOBAL);
    }
}

// ---- Power of two ----------------------------------------------------------------

TEST_F(Conversions, PowerOfTwoRunsFrom4To4096) {
    const std::pair<double, double> cases[] = {
        {0.0, 4.0},     {0.5, 128.0}, {1.0, 4096.0}, {2.0, 4096.0}, {-1.0, 4.0}, {0.25, 22.627416997969522},
        {kNaN, 4096.0}, {0.1, 8.0},   {-0.0, 4.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        refhost::HostNode *n = make("QvT_G2P");
        ASSERT_NE(n, nullptr);
        feed(n, "In", c.first);
        EXPECT_TRUE(near_ulps(c.second, eval(n)));
    }
}

TEST_F(Conversions, PowerOfTwoKeepsNothing) {
    refhost::HostNode *n = make("QvT_G2P");
    ASSERT_NE(n, nullptr);
    load_text(n, "val0 0.5\n");
    EXPECT_TRUE(same_double(4.0, eval(n)));
    EXPECT_EQ(save_text(n), "");
}

TEST_F(Conversions, NodesWithoutOptionsSaveNothing) {
    for (const char *server : {"QvT_C2RGB", "QvT_V2XYZ", "QvT_CtRGB", "QvT_VtXYZ", "QvT_MVEC", "QvT_SPMTL"}) {
        refhost::HostNode *n = make(server);
        ASSERT_NE(n, nullptr);
        load_text(n, "val0 2\nInt1 3\n");
        EXPECT_EQ(save_text(n), "") << server;
    }
}
