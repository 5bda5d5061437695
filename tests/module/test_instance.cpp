// Creating node instances, keeping their connected flags, render init and
// destroy, through the module's callbacks.
#include "tests/fixtures/module_fixture.h"

#include "core/create.h"
#include "refhost/panel/xpanel.h"

#include <array>
#include <vector>

using namespace qvtest;

namespace {

struct Port {
    int type;
    std::string name;
    bool operator==(const Port &o) const { return type == o.type && name == o.name; }
};

enum Order { inputs_first, interleaved };  // interleaved: input i, then output i

struct CreateCase {
    const char *server;
    std::array<int32_t, 3> colour;
    std::vector<Port> inputs;
    std::vector<Port> outputs;
    Order order = inputs_first;
};

const Port kRgt = {QV_TYPE_VECTOR, "Rgt"}, kUp = {QV_TYPE_VECTOR, "Up"}, kFwd = {QV_TYPE_VECTOR, "Fwd"};
// The rows of the two matrices of a product or an interpolation.
const Port kRgt1 = {QV_TYPE_VECTOR, "1:Rgt"}, kUp1 = {QV_TYPE_VECTOR, "1:Up"}, kFwd1 = {QV_TYPE_VECTOR, "1:Fwd"};
const Port kRgt2 = {QV_TYPE_VECTOR, "2:Rgt"}, kUp2 = {QV_TYPE_VECTOR, "2:Up"}, kFwd2 = {QV_TYPE_VECTOR, "2:Fwd"};

const std::vector<CreateCase> kCreates = {
    {"QvMs_SIN", {120, 110, 64}, {{QV_TYPE_SCALAR, "In"}}, {{QV_TYPE_SCALAR, "Out"}}},
    {"QvMs_ACOS", {120, 110, 64}, {{QV_TYPE_SCALAR, "In"}}, {{QV_TYPE_SCALAR, "Out"}}},
    {"QvMs_LOG", {90, 120, 100}, {{QV_TYPE_SCALAR, "In"}}, {{QV_TYPE_SCALAR, "Out"}}},
    {"QvMs_TRNC", {90, 120, 100}, {{QV_TYPE_SCALAR, "In"}}, {{QV_TYPE_SCALAR, "Out"}}},
    {"QvMs_ATAN2", {120, 110, 64}, {{QV_TYPE_SCALAR, "X"}, {QV_TYPE_SCALAR, "Y"}}, {{QV_TYPE_SCALAR, "Out"}}},
    {"QvMs_POW", {90, 120, 100}, {{QV_TYPE_SCALAR, "In"}, {QV_TYPE_SCALAR, "Pow"}}, {{QV_TYPE_SCALAR, "Out"}}},
    {"QvMs_ABS", {90, 120, 100}, {{QV_TYPE_SCALAR, "In"}}, {{QV_TYPE_SCALAR, "Out"}}},
    {"QvMv_NORM",
     {50, 120, 150},
     {{QV_TYPE_VECTOR, "In1"}, {QV_TYPE_VECTOR, "In2"}, {QV_TYPE_VECTOR, "In3"}},
     {{QV_TYPE_VECTOR, "out1"}, {QV_TYPE_VECTOR, "out2"}, {QV_TYPE_VECTOR, "out3"}},
     interleaved},
    {"QvT_E2Mat", {64, 80, 120}, {{QV_TYPE_VECTOR, "Rot"}}, {kRgt, kUp, kFwd}},
    {"QvT_M2Euler", {64, 80, 120}, {kRgt, kUp, kFwd}, {{QV_TYPE_VECTOR, "Rot"}}},
    {"QvT_INVMat", {64, 80, 120}, {kRgt, kUp, kFwd}, {kRgt, kUp, kFwd, {QV_TYPE_INTEGER, "Bool"}}, interleaved},
    {"QvT_INVMat4",
     {64, 80, 120},
     {kRgt, kUp, kFwd, {QV_TYPE_VECTOR, "Vec"}},
     {kRgt, kUp, kFwd, {QV_TYPE_VECTOR, "Vec"}, {QV_TYPE_INTEGER, "Bool"}},
     interleaved},
    {"QvT_MULMat", {64, 80, 120}, {kRgt1, kUp1, kFwd1, kRgt2, kUp2, kFwd2}, {kRgt, kUp, kFwd}},
    {"QvT_QRMAT",
     {64, 80, 120},
     {kRgt, kUp, kFwd, {QV_TYPE_VECTOR, "Axis"}, {QV_TYPE_SCALAR, "Rot"}},
     {kRgt, kUp, kFwd}},
    {"QvT_S2Mat", {64, 80, 120}, {{QV_TYPE_VECTOR, "In"}}, {kRgt, kUp, kFwd}},
    {"QvT_SLPMT", {64, 80, 120}, {kRgt1, kUp1, kFwd1, kRgt2, kUp2, kFwd2, {QV_TYPE_SCALAR, "%"}}, {kRgt, kUp, kFwd}},
};

// The order in which a node of the case makes its ports, as the host records it.
std::vector<std::string> creation_order(const CreateCase &c) {
    std::vector<std::string> order;
    for (std::size_t i = 0; i < c.inputs.size() || i < c.outputs.size(); ++i) {
        if (i < c.inputs.size()) order.push_back("in " + c.inputs[i].name);
        if (c.order == interleaved && i < c.outputs.size()) order.push_back("out " + c.outputs[i].name);
    }
    if (c.order == inputs_first)
        for (const Port &p : c.outputs) order.push_back("out " + p.name);
    return order;
}

std::vector<Port> ports(const refhost::HostNode &n, bool inputs) {
    std::vector<Port> out;
    if (inputs)
        for (const auto &p : n.inputs) out.push_back({p->type, p->name});
    else
        for (const auto &p : n.outputs) out.push_back({p->type, p->name});
    return out;
}

class InstanceTest : public NetworkTest {};

}  // namespace

TEST_F(InstanceTest, CreateSetsColourThenModeAndMakesPortsInSlotOrder) {
    for (const CreateCase &c : kCreates) {
        SCOPED_TRACE(c.server);
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ((std::vector<std::string>{"colour", "mode"}), n->calls);
        EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}), c.colour);
        EXPECT_EQ(n->mode, QV_NODE_MODE_NO_PREVIEW);
        EXPECT_EQ(ports(*n, true), c.inputs);
        EXPECT_EQ(ports(*n, false), c.outputs);
        EXPECT_EQ(n->ports_made, creation_order(c));
        for (const auto &in : n->inputs) EXPECT_NE(in->event, nullptr);
    }
}

TEST_F(InstanceTest, InputEventsSetAndClearTheConnectedFlag) {
    refhost::HostNode *n = make("QvMs_EXP");
    refhost::HostInput *in = n->input("In");
    net->render_init();
    EXPECT_TRUE(same_double(1.0, eval(n)));  // exp(0): the stored default
    feed(n, "In", 1.0);                      // the host connects: event 0
    EXPECT_TRUE(near_ulps(2.718281828459045, eval(n)));
    // Any event other than 0 clears the flag, although the host still feeds it.
    EXPECT_EQ(in->event(n->instance, in, 7, QV_TYPE_SCALAR), 1);
    EXPECT_TRUE(same_double(1.0, eval(n)));
    EXPECT_EQ(in->event(n->instance, in, QV_EVENT_CONNECT, QV_TYPE_SCALAR), 1);
    EXPECT_TRUE(near_ulps(2.718281828459045, eval(n)));
    // A handle the node does not own changes nothing.
    refhost::HostNode *other = make("QvMs_EXP");
    EXPECT_EQ(in->event(n->instance, other->input("In"), QV_EVENT_DISCONNECT, QV_TYPE_SCALAR), 1);
    EXPECT_EQ(in->event(n->instance, nullptr, QV_EVENT_DISCONNECT, QV_TYPE_SCALAR), 1);
    EXPECT_TRUE(near_ulps(2.718281828459045, eval(n)));
    std::string error;
    ASSERT_TRUE(net->disconnect(n->id, "In", error)) << error;
    EXPECT_TRUE(same_double(1.0, eval(n)));
}

// Slerp uses all seven input slots; connections made after render init reach
// each of them through input events alone.
TEST_F(InstanceTest, InputEventsAfterRenderInitReachEverySlot) {
    refhost::HostNode *n = make("QvT_SLPMT");
    // The diagonal of the matrix the node outputs.
    auto diagonal = [&] { return V3{eval_vector(n, "Rgt")[0], eval_vector(n, "Up")[1], eval_vector(n, "Fwd")[2]}; };
    net->render_init();
    const char *const rows[] = {"1:Rgt", "1:Up", "1:Fwd", "2:Rgt", "2:Up", "2:Fwd"};
    for (int i = 0; i < 6; ++i) {
        V3 row{0, 0, 0};
        row[i % 3] = i + 2.0;
        feed_vector(n, rows[i], row);
    }
    EXPECT_TRUE(same_vector({2, 3, 4}, diagonal()));  // the stored ratio 0: the first matrix
    feed(n, "%", 1.0);
    EXPECT_TRUE(same_vector({5, 6, 7}, diagonal()));
    std::string error;
    ASSERT_TRUE(net->disconnect(n->id, "%", error)) << error;
    EXPECT_TRUE(same_vector({2, 3, 4}, diagonal()));
}

TEST_F(InstanceTest, RenderInitReadsConnectionsOnce) {
    refhost::HostNode *n = make("QvMs_POW");
    // Connections made before the node heard of them (as in a loaded scene).
    n->input("In")->source = std::make_unique<refhost::HostSource>();
    n->input("In")->source->value = refhost::Value::scalar(3.0);
    net->render_init();
    EXPECT_EQ(n->input("In")->connected_queries.load(), 1);
    EXPECT_EQ(n->input("Pow")->connected_queries.load(), 1);
    EXPECT_TRUE(same_double(3.0, eval(n)));  // 3 ^ stored 1.0
    net->render_init();
    net->render_init();
    EXPECT_EQ(n->input("In")->connected_queries.load(), 1);
    EXPECT_EQ(n->input("Pow")->connected_queries.load(), 1);
}

TEST_F(InstanceTest, DestroyIgnoresNull) {
    refhost::HostNode *n = make("QvMs_SIN");
    feed(n, "In", 0.5);
    std::string error;
    ASSERT_NE(net->open_panel(n->id, error).panel, nullptr) << error;
    const double before = eval(n);
    const int panels = refhost::panels_alive();
    const std::size_t toolkit_errors = refhost::toolkit_errors().size();
    n->inst.destroy(nullptr);
    EXPECT_EQ(refhost::panels_alive(), panels) << "no panel was destroyed";
    EXPECT_EQ(refhost::toolkit_errors().size(), toolkit_errors);
    EXPECT_TRUE(same_double(before, eval(n))) << "the node's own instance still evaluates";
}

// The private word fields of the shared creates, including words no node of
// this build uses yet.
TEST(CreateTemplates, TwoInputPrivateWord) {
    struct Case {
        uint32_t word;
        double d0, d1;
        const char *in0, *in1;
        qv::Colour colour;
        const char *out0, *out1;
        uint32_t flags;
    };
    const Case cases[] = {
        {0x202, 0.0, 1.0, "In1", "In2", {50, 100, 64}, "Out", nullptr, 0x3},
        {0x1021, 1.0, 0.0, "X", "Y", {90, 120, 100}, "X", "Y", 0x3},
        {0x121, 1.0, 0.0, "X", "Y", {120, 110, 64}, "Out", nullptr, 0x3},
        {0x13, 1.0, 1.0, "In", "Pow", {90, 120, 100}, "Out", nullptr, 0x3},
        {0x20021, 1.0, 0.0, "X", "Y", {90, 120, 100}, "Out", nullptr, 0x20003},
        {0x200, 0.0, 0.0, "In1", "In2", {50, 100, 64}, "Out", nullptr, 0x3},
        {0x4, 0.0, 0.0, "In1", "In2", {90, 120, 100}, "Out", nullptr, 0x3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        const qv::NodeLayout l = qv::two_input_layout(c.word);
        EXPECT_EQ(l.defaults[0], c.d0);
        EXPECT_EQ(l.defaults[1], c.d1);
        EXPECT_STREQ(l.inputs[0].name, c.in0);
        EXPECT_STREQ(l.inputs[1].name, c.in1);
        EXPECT_EQ(l.inputs[2].name, nullptr);
        EXPECT_EQ(l.colour.r, c.colour.r);
        EXPECT_EQ(l.colour.g, c.colour.g);
        EXPECT_EQ(l.colour.b, c.colour.b);
        EXPECT_STREQ(l.outputs[0].name, c.out0);
        if (c.out1 != nullptr)
            EXPECT_STREQ(l.outputs[1].name, c.out1);
        else
            EXPECT_EQ(l.outputs[1].name, nullptr);
        EXPECT_EQ(l.flags, c.flags);
    }
}

TEST(CreateTemplates, FourInputPrivateWord) {
    struct Case {
        uint32_t word;
        double d[4];
        const char *in0;
        int32_t red;
        uint32_t flags;
    };
    const Case cases[] = {
        {0x200, {0, 0, 0, 0}, "In1", 50, 0xF},      {0x20F, {1, 1, 1, 1}, "In1", 50, 0xF},
        {0x25, {1, 0, 1, 0}, "Ax", 90, 0xF},        {0x10025, {1, 0, 1, 0}, "Ax", 90, 0x1000F},
        {0x20025, {1, 0, 1, 0}, "Ax", 90, 0x2000F}, {0x30025, {1, 0, 1, 0}, "Ax", 90, 0x1000F},  // one option word wins
        {0x3, {0, 0, 0, 0}, "In1", 90, 0xF},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        const qv::NodeLayout l = qv::four_input_layout(c.word);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(l.defaults[i], c.d[i]) << i;
        EXPECT_STREQ(l.inputs[0].name, c.in0);
        EXPECT_NE(l.inputs[3].name, nullptr);
        EXPECT_EQ(l.colour.r, c.red);
        EXPECT_EQ(l.flags, c.flags);
        EXPECT_STREQ(l.outputs[0].name, "Out");
    }
}
