// Constants and scene time, scalar arithmetic and measures, evaluated through
// the module as the host does.
#include "tests/fixtures/module_fixture.h"

#include <limits>
#include <vector>

using namespace qvtest;
using refhost::Application;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kPi = 3.141592653589793;

struct Case {
    const char *server;
    const char *options;                                  // scene text for the node's option words, or ""
    std::vector<std::pair<const char *, double>> inputs;  // fed by the host
    double expected;
    const char *output;
};

class ScalarNodes : public NetworkTest {
protected:
    void run(const std::vector<Case> &cases) {
        for (const Case &c : cases) {
            std::string label = std::string(c.server) + " " + c.options;
            for (auto &in : c.inputs) label += std::string(" ") + in.first + "=" + std::to_string(in.second);
            SCOPED_TRACE(label);
            refhost::HostNode *n = make(c.server);
            ASSERT_NE(n, nullptr);
            load_text(n, c.options);
            for (auto &in : c.inputs) feed(n, in.first, in.second);
            EXPECT_TRUE(same_double(c.expected, eval(n, c.output)));
        }
    }
};

}  // namespace

// ---- Constants and time ----------------------------------------------------

TEST_F(ScalarNodes, ConstantsAreTheExactDoubles) {
    struct Bits {
        const char *server, *output;
        uint64_t bits;
    };
    const Bits cases[] = {
        {"QvMs_EPSI", "Double", 0x3CB0000000000000ull}, {"QvMs_EPSI", "Float", 0x3E80000000000000ull},
        {"QvMs_PI", "PI", 0x400921FB54442D18ull},       {"QvMs_PI", "2PI", 0x401921FB54442D18ull},
        {"QvMs_PI", "PI/2", 0x3FF921FB54442D18ull},     {"QvMs_PI", "PI/4", 0x3FE921FB54442D18ull},
    };
    for (const Bits &c : cases) {
        refhost::HostNode *n = make(c.server);
        EXPECT_EQ(bits(eval(n, c.output)), c.bits) << c.server << " " << c.output;
        EXPECT_EQ(n->colour[0], 100);
        EXPECT_EQ(n->colour[1], 32);
        EXPECT_EQ(n->colour[2], 0);
    }
    EXPECT_EQ(make("QvMs_EPSI")->outputs.size(), 2u);
    EXPECT_EQ(make("QvMs_PI")->inputs.size(), 0u);
}

TEST_F(ScalarNodes, ConstantsKeepNothing) {
    refhost::HostNode *n = make("QvMs_PI");
    load_text(n, "val0 1\nval3 2\n");
    EXPECT_EQ(bits(eval(n, "PI")), 0x400921FB54442D18ull);
    EXPECT_EQ(save_text(n), "");
}

namespace {

struct TimeOutputs {
    double time;
    int32_t frame;
    double fps, spf;
};

TimeOutputs time_outputs(refhost::Network &net, refhost::HostNode *n) {
    TimeOutputs t{};
    refhost::Value v;
    std::string error;
    net.evaluate(n->id, "Time", v, error);
    EXPECT_EQ(v.type, QV_TYPE_SCALAR);
    t.time = v.as_scalar();
    net.evaluate(n->id, "Frame", v, error);
    EXPECT_EQ(v.type, QV_TYPE_INTEGER);
    t.frame = v.as_integer();
    net.evaluate(n->id, "FPS", v, error);
    t.fps = v.as_scalar();
    net.evaluate(n->id, "SPF", v, error);
    t.spf = v.as_scalar();
    return t;
}

}  // namespace

TEST_F(ScalarNodes, TimeReadsTheSceneUntilTheFirstNewTime) {
    Application::get().set_frame_rate(24.0);
    Application::get().set_time(12, 0.5);
    refhost::HostNode *n = make("QvMs_TIME");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->outputs.size(), 4u);
    net->render_init();
    TimeOutputs t = time_outputs(*net, n);
    EXPECT_TRUE(same_double(0.5, t.time));
    EXPECT_EQ(t.frame, 12);
    EXPECT_TRUE(same_double(24.0, t.fps));
    EXPECT_TRUE(same_double(1.0 / 24.0, t.spf));
    net->new_time(48, 2.0);
    Application::get().set_time(0, 0.0);  // the node keeps what new time gave it
    t = time_outputs(*net, n);
    EXPECT_TRUE(same_double(2.0, t.time));
    EXPECT_EQ(t.frame, 48);
    net->new_time(-3, -0.125);
    t = time_outputs(*net, n);
    EXPECT_TRUE(same_double(-0.125, t.time));
    EXPECT_EQ(t.frame, -3);
}

TEST_F(ScalarNodes, TimeAtAFrameRateOfZero) {
    Application::get().set_frame_rate(0.0);
    refhost::HostNode *n = make("QvMs_TIME");
    net->render_init();
    TimeOutputs t = time_outputs(*net, n);
    EXPECT_TRUE(same_double(0.0, t.fps));
    EXPECT_TRUE(same_double(kInf, t.spf));
    Application::get().set_frame_rate(30.0);
}

TEST_F(ScalarNodes, TimeLeavesAnUnknownOutputUntouched) {
    refhost::HostNode *n = make("QvMs_TIME");
    refhost::HostNode *pi = make("QvMs_PI");
    refhost::Value v;
    refhost::HostValueSlot slot{QV_TYPE_SCALAR, &v};
    n->handler.evaluate(n->instance, nullptr, pi->outputs[0].get(), &slot);
    EXPECT_EQ(v.type, 0) << "no value set";
}

TEST_F(ScalarNodes, TimeInTheModellerGivesZerosWithoutSceneServices) {
    auto m = fresh_module();
    ASSERT_TRUE(m);
    Application::get().config().system_id = QV_SYSTEM_MODELER;
    Application::get().set_frame_rate(25.0);
    Application::get().set_time(7, 1.0);
    Application::get().clear_requests();
    refhost::Network modeller(m);
    std::string error;
    refhost::HostNode *n = modeller.create("QvMs_TIME", error);
    ASSERT_NE(n, nullptr) << error;
    for (const std::string &r : Application::get().requests()) {
        EXPECT_EQ(r.find("LW Scene Info"), std::string::npos);
        EXPECT_NE(r, "LW Time Info");
    }
    modeller.render_init();
    modeller.new_time(9, 3.0);
    const TimeOutputs t = time_outputs(modeller, n);
    EXPECT_TRUE(same_double(0.0, t.time));
    EXPECT_EQ(t.frame, 0);
    EXPECT_TRUE(same_double(0.0, t.fps));
    EXPECT_TRUE(same_double(0.0, t.spf));
    Application::get().set_frame_rate(30.0);
}

TEST_F(ScalarNodes, TimeAsksForTheSceneServicesOfItsBuild) {
    struct BuildCase {
        uint32_t build;
        const char *scene;
    };
    const BuildCase cases[] = {
        {1269, "LW Scene Info 4"}, {1270, "LW Scene Info 5"}, {1538, "LW Scene Info 5"}, {1539, "LW Scene Info 6"}};
    for (const BuildCase &c : cases) {
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().config().build = c.build;
        Application::get().clear_requests();
        refhost::HostNode node;
        ASSERT_EQ(refhost::activate_handler(*m, "QvMs_TIME", node, 2), QV_AFUNC_OK);
        const auto &r = Application::get().requests();
        ASSERT_GE(r.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(r.end() - 4, r.end()),
                  (std::vector<std::string>{"System ID", "Product Info", c.scene, "LW Time Info"}));
        Application::get().clear_requests();
        ASSERT_EQ(refhost::activate_handler(*m, "QvMs_TIME", node, 2), QV_AFUNC_OK);
        EXPECT_EQ(Application::get().requests(), (std::vector<std::string>{"Product Info", "System ID"}));
    }
    auto m = fresh_module();
    Application::get().reset_config();
    Application::get().config().withheld = {"LW Time Info"};
    refhost::HostNode node;
    EXPECT_EQ(refhost::activate_handler(*m, "QvMs_TIME", node, 2), QV_AFUNC_BADGLOBAL);
}

// ---- Arithmetic -------------------------------------------------------------

TEST_F(ScalarNodes, Arithmetic) {
    run({
        {"QvMs_ADD", "", {}, 0.0, "Out"},
        {"QvMs_SUB", "", {}, 0.0, "Out"},
        {"QvMs_MUL", "", {}, 1.0, "Out"},
        {"QvMs_DIV", "", {}, 0.0, "Out"},
        {"QvMs_ADD4", "", {}, 0.0, "Out"},
        {"QvMs_SUB4", "", {}, 0.0, "Out"},
        {"QvMs_MUL4", "", {}, 1.0, "Out"},
        {"QvMs_MIN4", "", {}, 0.0, "Out"},
        {"QvMs_MAX4", "", {}, 1.0, "Out"},
        {"QvMs_ADD", "", {{"In1", 0.1}, {"In2", 0.2}}, 0.30000000000000004, "Out"},
        {"QvMs_SUB", "", {{"In1", 5}, {"In2", 7}}, -2.0, "Out"},
        {"QvMs_MUL", "", {{"In1", 3}}, 3.0, "Out"},
        {"QvMs_DIV", "", {{"In1", 6}, {"In2", 3}}, 2.0, "Out"},
        {"QvMs_DIV", "", {{"In1", 6}, {"In2", 0.0}}, 0.0, "Out"},
        {"QvMs_DIV", "", {{"In1", kInf}, {"In2", -0.0}}, 0.0, "Out"},
        {"QvMs_DIV", "", {{"In1", kNaN}, {"In2", 0.0}}, 0.0, "Out"},
        {"QvMs_DIV", "", {{"In1", 1}, {"In2", 1e-300}}, 9.999999999999999e+299, "Out"},  // no guard on tiny divisors
        {"QvMs_DIV", "", {{"In1", 1}, {"In2", kNaN}}, kNaN, "Out"},
        {"QvMs_SUB4", "", {{"In1", 10}, {"In2", 1}, {"In3", 2}, {"In4", 3}}, 4.0, "Out"},
        {"QvMs_ADD4", "", {{"In1", 1e308}, {"In2", 1e308}, {"In3", -1e308}, {"In4", 0}}, kInf, "Out"},
        {"QvMs_MUL4", "", {{"In1", 2}, {"In2", 3}, {"In3", 4}, {"In4", 5}}, 120.0, "Out"},
        {"QvMs_MIN4", "", {{"In1", 3}, {"In2", kNaN}, {"In3", 1}, {"In4", 2}}, 1.0, "Out"},
        {"QvMs_MIN4", "", {{"In1", kNaN}, {"In2", 1}, {"In3", 2}, {"In4", 3}}, kNaN, "Out"},
        {"QvMs_MIN4", "", {{"In1", 0.0}, {"In2", -0.0}, {"In3", 1}, {"In4", 2}}, 0.0, "Out"},
        {"QvMs_MAX4", "", {{"In1", 3}, {"In2", 5}, {"In3", kNaN}, {"In4", 2}}, 2.0, "Out"},
        {"QvMs_MAX4", "", {{"In1", 1}, {"In2", 2}, {"In3", 3}, {"In4", kNaN}}, kNaN, "Out"},
        {"QvMs_MAX4", "", {{"In1", 0.0}, {"In2", -0.0}, {"In3", -1}, {"In4", -2}}, -0.0, "Out"},
        {"QvMs_MAX4", "", {{"In3", 7}}, 7.0, "Out"},  // In1, In2, In4 keep their stored 1.0
        {"QvMs_ADD4", "", {{"In3", 7}}, 7.0, "Out"},
    });
}

TEST_F(ScalarNodes, DivideNeverEvaluatesIn1ForAZeroDivisor) {
    refhost::HostNode *n = make("QvMs_DIV");
    std::string error;
    refhost::HostSource *in1 = net->feed(n->id, "In1", refhost::Value::scalar(5.0), error);
    refhost::HostSource *in2 = net->feed(n->id, "In2", refhost::Value::scalar(0.0), error);
    ASSERT_NE(in1, nullptr);
    EXPECT_TRUE(same_double(0.0, eval(n)));
    EXPECT_EQ(in1->evaluations.load(), 0);
    EXPECT_EQ(in2->evaluations.load(), 1);
    in2->value = refhost::Value::scalar(2.0);
    EXPECT_TRUE(same_double(2.5, eval(n)));
    EXPECT_EQ(in1->evaluations.load(), 1);
}

TEST_F(ScalarNodes, ArithmeticCreatesTheirNodes) {
    for (const char *server : {"QvMs_ADD", "QvMs_DIV", "QvMs_SUB4", "QvMs_MAX4"}) {
        refhost::HostNode *n = make(server);
        EXPECT_EQ(n->colour[0], 50);
        EXPECT_EQ(n->colour[1], 100);
        EXPECT_EQ(n->colour[2], 64);
        EXPECT_EQ(n->inputs[0]->name, "In1");
        EXPECT_EQ(n->outputs[0]->name, "Out");
    }
    EXPECT_EQ(save_text(make("QvMs_DIV")), "val0 0\nval1 1\n");
    EXPECT_EQ(save_text(make("QvMs_MUL4")), "val0 1\nval1 1\nval2 1\nval3 1\n");
}

// ---- Measures ---------------------------------------------------------------

TEST_F(ScalarNodes, FreshMeasures) {
    run({
        {"QvMs_LEN", "", {}, 1.0, "Out"},
        {"QvMs_NORM", "", {}, 1.0, "X"},
        {"QvMs_NORM", "", {}, 0.0, "Y"},
        {"QvMs_ANGL", "", {}, 0.0, "Out"},
        {"QvMs_DIST", "", {}, 0.0, "Out"},
        {"QvMs_DOT", "", {}, 1.0, "Out"},
        {"QvMs_ANGL2", "", {}, 0.0, "Out"},
        {"QvMs_CLMP", "", {}, 0.0, "Out"},
        {"QvMs_SIGN", "", {}, 0.0, "Out"},
        {"QvMs_CSGN", "", {}, 0.0, "Out"},
        {"QvMs_DEG", "", {}, 0.0, "Out"},
        {"QvMs_RAD", "", {}, 0.0, "Out"},
    });
}

TEST_F(ScalarNodes, Measures) {
    run({
        {"QvMs_DEG", "", {{"In", kPi}}, 180.0, "Out"},
        {"QvMs_RAD", "", {{"In", 180}}, kPi, "Out"},
        {"QvMs_RAD", "", {{"In", 90}}, 1.5707963267948966, "Out"},
        {"QvMs_LEN", "", {{"X", 3}, {"Y", 4}}, 5.0, "Out"},
        {"QvMs_DIST", "", {{"Ax", 0}, {"Ay", 0}, {"Bx", 3}, {"By", 4}}, 5.0, "Out"},
        {"QvMs_DOT", "", {{"Ax", 2}, {"Ay", 0}, {"Bx", 3}, {"By", 4}}, 6.0, "Out"},
        {"QvMs_DOT", "Int1 1\n", {{"Ax", 2}, {"Ay", 0}, {"Bx", 3}, {"By", 4}}, 0.6000000000000001, "Out"},
        {"QvMs_DOT", "Int1 1\n", {{"Ax", 0}, {"Ay", 0}, {"Bx", 3}, {"By", 4}}, 0.0, "Out"},
        {"QvMs_NORM", "", {{"X", 3}, {"Y", 4}}, 0.6000000000000001, "X"},
        {"QvMs_NORM", "", {{"X", 3}, {"Y", 4}}, 0.8, "Y"},
        {"QvMs_NORM", "", {{"X", 0}, {"Y", 0}}, 0.0, "X"},
        {"QvMs_NORM", "", {{"X", 0}, {"Y", 0}}, 0.0, "Y"},
        {"QvMs_NORM", "", {{"X", kNaN}, {"Y", 2}}, 2.0, "Y"},
        {"QvMs_CLMP", "", {{"In", 5}}, 1.0, "Out"},
        {"QvMs_CLMP", "", {{"In", -5}}, 0.0, "Out"},
        {"QvMs_CLMP", "", {{"In", 0.25}}, 0.25, "Out"},
        {"QvMs_CLMP", "", {{"In", 0.5}, {"Min", 2}, {"Max", 1}}, 1.0, "Out"},
        {"QvMs_CLMP", "", {{"In", kNaN}, {"Min", 0.25}}, 0.25, "Out"},
        {"QvMs_CLMP", "", {{"In", 0.5}, {"Min", kNaN}}, 1.0, "Out"},
        {"QvMs_CLMP", "", {{"In", 0.5}, {"Max", kNaN}}, kNaN, "Out"},
        {"QvMs_CLMP", "val0 0.5\n", {}, 0.0, "Out"},  // In keeps no stored default
        {"QvMs_CSGN", "", {{"In", 3}, {"Sign", -0.0}}, -3.0, "Out"},
        {"QvMs_CSGN", "", {{"In", -3}, {"Sign", 2}}, 3.0, "Out"},
        {"QvMs_CSGN", "", {{"In", -3}}, -3.0, "Out"},
        {"QvMs_CSGN", "", {{"In", 3}, {"Sign", -kNaN}}, -3.0, "Out"},
        {"QvMs_SIGN", "", {{"In", -2.5}}, 2.5, "Out"},
        {"QvMs_SIGN", "", {{"In", 0.0}}, -0.0, "Out"},
    });
}

TEST_F(ScalarNodes, SignFlipsTheSignOfANaN) {
    refhost::HostNode *n = make("QvMs_SIGN");
    feed(n, "In", kNaN);
    const double out = eval(n);
    EXPECT_TRUE(std::isnan(out));
    EXPECT_NE(std::signbit(out), std::signbit(kNaN));
}

TEST_F(ScalarNodes, AngleInEveryInvertAndRoundSetting) {
    const double kHalf = 1.5707963267948966;
    const double kThreeHalves = 4.71238898038469;
    // Int2 holds Invert, then Round.
    run({
        {"QvMs_ANGL", "Int2 0 0\n", {{"X", 0}, {"Y", 1}}, -kHalf, "Out"},
        {"QvMs_ANGL", "Int2 0 1\n", {{"X", 0}, {"Y", 1}}, kThreeHalves, "Out"},
        {"QvMs_ANGL", "Int2 1 0\n", {{"X", 0}, {"Y", 1}}, kHalf, "Out"},
        {"QvMs_ANGL", "Int2 1 1\n", {{"X", 0}, {"Y", 1}}, kHalf, "Out"},
        {"QvMs_ANGL", "Int2 0 0\n", {{"X", 0}, {"Y", -1}}, kHalf, "Out"},
        {"QvMs_ANGL", "Int2 1 0\n", {{"X", 0}, {"Y", -1}}, -kHalf, "Out"},
        {"QvMs_ANGL", "Int2 1 1\n", {{"X", 0}, {"Y", -1}}, kThreeHalves, "Out"},
        {"QvMs_ANGL", "Int2 0 0\n", {{"X", -1}, {"Y", 0}}, kPi, "Out"},
        {"QvMs_ANGL", "Int2 0 1\n", {{"X", -1}, {"Y", 0}}, kPi, "Out"},
        {"QvMs_ANGL", "Int2 1 0\n", {{"X", -1}, {"Y", 0}}, kPi, "Out"},
        {"QvMs_ANGL", "Int2 1 1\n", {{"X", -1}, {"Y", 0}}, kPi, "Out"},
        {"QvMs_ANGL", "Int2 0 0\n", {{"X", 0}, {"Y", 0}}, 0.0, "Out"},
        {"QvMs_ANGL", "Int2 5 -1\n", {{"X", 0}, {"Y", -1}}, kThreeHalves, "Out"},  // any non-zero word is on
        {"QvMs_ANGL2", "Int2 0 0\n", {{"Ax", 1}, {"Ay", 0}, {"Bx", 0}, {"By", 1}}, kHalf, "Out"},
        {"QvMs_ANGL2", "Int2 0 0\n", {{"Ax", 1}, {"Ay", 0}, {"Bx", 0}, {"By", -1}}, -kHalf, "Out"},
        {"QvMs_ANGL2", "Int2 0 1\n", {{"Ax", 1}, {"Ay", 0}, {"Bx", 0}, {"By", -1}}, kThreeHalves, "Out"},
        {"QvMs_ANGL2", "Int2 1 0\n", {{"Ax", 1}, {"Ay", 0}, {"Bx", 0}, {"By", 1}}, -kHalf, "Out"},
        {"QvMs_ANGL2", "Int2 1 1\n", {{"Ax", 1}, {"Ay", 0}, {"Bx", 0}, {"By", 1}}, kThreeHalves, "Out"},
        {"QvMs_ANGL2", "Int2 1 1\n", {{"Ax", 1}, {"Ay", 0}, {"Bx", 0}, {"By", -1}}, kHalf, "Out"},
        {"QvMs_ANGL2", "", {{"Ax", 0}, {"Ay", 0}, {"Bx", 0}, {"By", 1}}, 0.0, "Out"},
        {"QvMs_ANGL2", "", {{"Ax", 1}, {"Ay", 0}, {"Bx", 0}, {"By", 0}}, 0.0, "Out"},
        {"QvMs_ANGL2", "", {{"Ax", 3}, {"Ay", 4}, {"Bx", 3}, {"By", 4}}, kNaN, "Out"},
    });
}

TEST_F(ScalarNodes, OptionWordsRoundTrip) {
    refhost::HostNode *angle = make("QvMs_ANGL");
    load_text(angle, "Int2 1 1\n");
    EXPECT_EQ(save_text(angle), "val0 1\nval1 0\nInt2 1 1\n");
    refhost::HostNode *dot = make("QvMs_DOT");
    load_text(dot, "Int1 1\nInt2 7 7\n");
    EXPECT_EQ(save_text(dot), "val0 1\nval1 0\nval2 1\nval3 0\nInt1 1\n");
    EXPECT_EQ(save_text(make("QvMs_SIGN")), "");
    EXPECT_EQ(save_text(make("QvMs_CLMP")), "val1 0\nval2 1\n");
    EXPECT_EQ(save_text(make("QvMs_CSGN")), "val0 0\n");
    for (refhost::SceneForm form : {refhost::SceneForm::text, refhost::SceneForm::binary}) {
        std::string content, error;
        ASSERT_TRUE(net->save(form, content, error)) << error;
        refhost::Network loaded(shared_module());
        ASSERT_TRUE(loaded.load(content, "options", error)) << error;
        refhost::HostNode *a = loaded.node(angle->id);
        refhost::HostNode *d = loaded.node(dot->id);
        EXPECT_EQ(save_text(a), "val0 1\nval1 0\nInt2 1 1\n");
        EXPECT_EQ(save_text(d), "val0 1\nval1 0\nval2 1\nval3 0\nInt1 1\n");
    }
}
