// The scalar function nodes, evaluated through the module as the host does.
#include "tests/fixtures/module_fixture.h"

#include "refhost/scene/scene_io.h"

#include <cfenv>
#include <limits>
#include <vector>

using namespace qvtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kPi = 3.141592653589793;

enum Match { exact, ulps };

struct Case {
    const char *server;
    std::vector<std::pair<const char *, double>> inputs;  // fed by the host; others keep defaults
    double expected;
    Match match;
};

const std::vector<Case> kCases = {
    // Fresh nodes, nothing connected.
    {"QvMs_ACOS", {}, 1.5707963267948966, exact},
    {"QvMs_ASIN", {}, 0.0, exact},
    {"QvMs_ATAN", {}, 0.0, exact},
    {"QvMs_COS", {}, 1.0, exact},
    {"QvMs_SIN", {}, 0.0, exact},
    {"QvMs_TAN", {}, 0.0, exact},
    {"QvMs_ERF", {}, 0.0, exact},
    {"QvMs_EXP", {}, 1.0, exact},
    {"QvMs_LOG", {}, -kInf, exact},
    {"QvMs_LOG2", {}, -kInf, exact},
    {"QvMs_LOG0", {}, -kInf, exact},
    {"QvMs_ROND", {}, 0.0, exact},
    {"QvMs_SQRT", {}, 0.0, exact},
    {"QvMs_TRNC", {}, 0.0, exact},
    {"QvMs_ATAN2", {}, 0.0, exact},
    {"QvMs_POW", {}, 1.0, exact},
    {"QvMs_ABS", {}, 0.0, exact},
    // The library's functions, unchanged.
    {"QvMs_ACOS", {{"In", -1.0}}, kPi, exact},
    {"QvMs_ACOS", {{"In", 2.0}}, kNaN, exact},
    {"QvMs_ASIN", {{"In", 1.0}}, 1.5707963267948966, exact},
    {"QvMs_ATAN", {{"In", 1.0}}, 0.7853981633974483, ulps},
    {"QvMs_COS", {{"In", kPi}}, -1.0, exact},
    {"QvMs_SIN", {{"In", kPi / 2}}, 1.0, exact},
    {"QvMs_SIN", {{"In", 0.5}}, 0.479425538604203, ulps},
    {"QvMs_TAN", {{"In", 0.7853981633974483}}, 0.9999999999999999, ulps},
    {"QvMs_ERF", {{"In", 10.0}}, 1.0, exact},
    {"QvMs_ERF", {{"In", -10.0}}, -1.0, exact},
    {"QvMs_ERF", {{"In", 0.5}}, 0.5204998778130465, ulps},
    {"QvMs_EXP", {{"In", 1.0}}, 2.718281828459045, ulps},
    {"QvMs_LOG", {{"In", -1.0}}, kNaN, exact},
    {"QvMs_LOG", {{"In", 2.718281828459045}}, 1.0, ulps},
    {"QvMs_LOG2", {{"In", 8.0}}, 3.0, exact},
    {"QvMs_LOG0", {{"In", 1000.0}}, 3.0, ulps},
    {"QvMs_SQRT", {{"In", -1.0}}, kNaN, exact},
    {"QvMs_SQRT", {{"In", 2.0}}, 1.4142135623730951, exact},
    // Rounding: halfway cases away from zero; NaN and infinities as they are.
    {"QvMs_ROND", {{"In", 0.5}}, 1.0, exact},
    {"QvMs_ROND", {{"In", -0.5}}, -1.0, exact},
    {"QvMs_ROND", {{"In", 1.5}}, 2.0, exact},
    {"QvMs_ROND", {{"In", 2.5}}, 3.0, exact},
    {"QvMs_ROND", {{"In", -2.5}}, -3.0, exact},
    {"QvMs_ROND", {{"In", 2.4999}}, 2.0, exact},
    {"QvMs_ROND", {{"In", 0.49999999999999994}}, 0.0, exact},
    {"QvMs_ROND", {{"In", -0.0}}, -0.0, exact},
    {"QvMs_ROND", {{"In", kNaN}}, kNaN, exact},
    {"QvMs_ROND", {{"In", -kInf}}, -kInf, exact},
    {"QvMs_TRNC", {{"In", 2.9}}, 2.0, exact},
    {"QvMs_TRNC", {{"In", -2.7}}, -2.0, exact},
    {"QvMs_TRNC", {{"In", -0.5}}, -0.0, exact},
    {"QvMs_TRNC", {{"In", kInf}}, kInf, exact},
    // ATan2: a zero Y gives 0.0 whatever X is.
    {"QvMs_ATAN2", {{"X", -1.0}, {"Y", 0.0}}, 0.0, exact},
    {"QvMs_ATAN2", {{"X", -1.0}, {"Y", -0.0}}, 0.0, exact},
    {"QvMs_ATAN2", {{"X", kNaN}, {"Y", 0.0}}, 0.0, exact},
    {"QvMs_ATAN2", {{"X", 0.0}, {"Y", 1.0}}, kPi / 2, exact},
    {"QvMs_ATAN2", {{"X", -1.0}, {"Y", 1.0}}, 2.356194490192345, exact},
    {"QvMs_ATAN2", {{"X", -1.0}, {"Y", -1.0}}, -2.356194490192345, exact},
    {"QvMs_ATAN2", {{"X", 1.0}, {"Y", kNaN}}, kNaN, exact},
    // Pow: a zero base gives 0.0, a zero exponent 1.0, NaN counts as non-zero.
    {"QvMs_POW", {{"In", 0.0}, {"Pow", 0.0}}, 0.0, exact},
    {"QvMs_POW", {{"In", 0.0}, {"Pow", -2.0}}, 0.0, exact},
    {"QvMs_POW", {{"In", -0.0}, {"Pow", -1.0}}, 0.0, exact},
    {"QvMs_POW", {{"In", 0.0}, {"Pow", kNaN}}, 0.0, exact},
    {"QvMs_POW", {{"In", 5.0}, {"Pow", 0.0}}, 1.0, exact},
    {"QvMs_POW", {{"In", kNaN}, {"Pow", 0.0}}, 1.0, exact},
    {"QvMs_POW", {{"In", 2.0}, {"Pow", 10.0}}, 1024.0, exact},
    {"QvMs_POW", {{"In", -8.0}, {"Pow", 1.0 / 3.0}}, kNaN, exact},
    {"QvMs_POW", {{"In", 2.0}}, 2.0, exact},
    {"QvMs_POW", {{"Pow", 3.0}}, 1.0, exact},
    // Abs "Abs +" (a fresh node): the sign bit cleared.
    {"QvMs_ABS", {{"In", -3.0}}, 3.0, exact},
    {"QvMs_ABS", {{"In", -0.0}}, 0.0, exact},
    {"QvMs_ABS", {{"In", -kInf}}, kInf, exact},
};

class ScalarFunctions : public NetworkTest {
protected:
};

}  // namespace

TEST_F(ScalarFunctions, Table) {
    for (const Case &c : kCases) {
        std::string label = c.server;
        for (auto &in : c.inputs) label += std::string(" ") + in.first + "=" + std::to_string(in.second);
        SCOPED_TRACE(label);
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        for (auto &in : c.inputs) feed(n, in.first, in.second);
        const double out = eval(n);
        EXPECT_TRUE(c.match == exact ? same_double(c.expected, out) : near_ulps(c.expected, out));
    }
}

TEST_F(ScalarFunctions, AbsMinusSetsTheSignBit) {
    struct AbsCase {
        double in, out;
    };
    const AbsCase cases[] = {{-3.0, -3.0}, {3.0, -3.0}, {0.0, -0.0}, {kInf, -kInf}};
    for (const AbsCase &c : cases) {
        refhost::HostNode *n = make("QvMs_ABS");
        load_text(n, "Int1 1\n");
        feed(n, "In", c.in);
        EXPECT_TRUE(same_double(c.out, eval(n))) << c.in;
    }
    refhost::HostNode *n = make("QvMs_ABS");
    load_text(n, "Int1 1\n");
    EXPECT_TRUE(same_double(0.0, eval(n))) << "an unconnected In gives 0.0 in both modes";
    feed(n, "In", kNaN);
    EXPECT_TRUE(std::isnan(eval(n)));
}

TEST_F(ScalarFunctions, AConnectedInputIgnoresTheStoredDefault) {
    refhost::HostNode *n = make("QvMs_SIN");
    load_text(n, "val0 0.5\n");
    EXPECT_TRUE(same_double(std::sin(static_cast<double>(0.5f)), eval(n)));
    feed(n, "In", 0.0);
    EXPECT_TRUE(same_double(0.0, eval(n)));
    std::string error;
    ASSERT_TRUE(net->disconnect(n->id, "In", error)) << error;
    EXPECT_TRUE(same_double(std::sin(0.5), eval(n)));
}

TEST_F(ScalarFunctions, ANodeFeedsAnother) {
    // Sqrt(Pow(2, 10)) through a real connection.
    refhost::HostNode *pow = make("QvMs_POW");
    refhost::HostNode *sqrt = make("QvMs_SQRT");
    feed(pow, "In", 2.0);
    feed(pow, "Pow", 10.0);
    std::string error;
    ASSERT_TRUE(net->connect(pow->id, "Out", sqrt->id, "In", error)) << error;
    EXPECT_TRUE(same_double(32.0, eval(sqrt)));
}

TEST_F(ScalarFunctions, RoundingIgnoresTheRoundingMode) {
    refhost::HostNode *rond = make("QvMs_ROND");
    refhost::HostNode *trnc = make("QvMs_TRNC");
    refhost::HostSource *r = nullptr;
    std::string error;
    r = net->feed(rond->id, "In", refhost::Value::scalar(2.5), error);
    ASSERT_NE(r, nullptr);
    ASSERT_NE(net->feed(trnc->id, "In", refhost::Value::scalar(-2.7), error), nullptr);
    const int saved = std::fegetround();
    for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        if (std::fesetround(mode) != 0) continue;
        EXPECT_TRUE(same_double(3.0, eval(rond))) << mode;
        EXPECT_TRUE(same_double(-2.0, eval(trnc))) << mode;
    }
    std::fesetround(saved);
}
