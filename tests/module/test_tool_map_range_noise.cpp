// The range mapper at both ends of rising and reversed target ranges, and the
// noisy channel over the host's noise.
#include "tests/fixtures/module_fixture.h"

#include "core/node_instance.h"
#include "refhost/noise.h"

#include <cmath>
#include <limits>
#include <vector>

using namespace qvtest;
using refhost::Application;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kEps = 2.220446049250313e-16;  // 2^-52

const qv::NodeInstance *instance(refhost::HostNode *n) { return static_cast<const qv::NodeInstance *>(n->instance); }

struct MapCase {
    const char *modes;  // "Int2 first second", or "" for (0, 0)
    double in, st, ed, map_st, map_ed;
    double expected;
};

class MapRange : public NetworkTest {
protected:
    void run(const std::vector<MapCase> &cases) {
        for (const MapCase &c : cases) {
            char label[200];
            std::snprintf(label, sizeof label, "[%s] In %.17g, St %.17g, Ed %.17g, mapSt %.17g, mapEd %.17g", c.modes,
                          c.in, c.st, c.ed, c.map_st, c.map_ed);
            SCOPED_TRACE(label);
            refhost::HostNode *n = make("QvT_MAPR");
            ASSERT_NE(n, nullptr);
            if (*c.modes) load_text(n, c.modes);
            // Every input is fed as an exact double (stored defaults travel
            // through floats).
            feed(n, "In", c.in);
            feed(n, "St", c.st);
            feed(n, "Ed", c.ed);
            feed(n, "mapSt", c.map_st);
            feed(n, "mapEd", c.map_ed);
            EXPECT_TRUE(same_double(c.expected, eval(n)));
        }
    }
};

}  // namespace

TEST_F(MapRange, CreateSetsDefaultsFlagsAndPorts) {
    refhost::HostNode *n = make("QvT_MAPR");
    ASSERT_NE(n, nullptr);
    const qv::NodeInstance *i = instance(n);
    EXPECT_EQ(i->flags, 0x2001Fu);
    const double defaults[] = {0.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0.0};
    for (int k = 0; k < 7; ++k) EXPECT_TRUE(same_double(defaults[k], i->defaults[k])) << k;
    EXPECT_EQ(i->extra.words[0], 0);
    EXPECT_EQ(i->extra.words[1], 0);
    EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}),
              (std::array<int32_t, 3>{90, 90, 150}));
    const char *names[] = {"In", "St", "Ed", "mapSt", "mapEd"};
    ASSERT_EQ(n->inputs.size(), 5u);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(n->inputs[k]->name, names[k]);
        EXPECT_EQ(n->inputs[k]->type, QV_TYPE_SCALAR);
    }
    ASSERT_EQ(n->outputs.size(), 1u);
    EXPECT_EQ(n->outputs[0]->name, "Out");
    EXPECT_EQ(save_text(n), "val0 0\nval1 0\nval2 1\nval3 0\nval4 1\nInt2 0 0\n");
    load_text(n, "Int2 2 3\nval0 0.25\n");
    EXPECT_EQ(save_text(n), "val0 0.25\nval1 0\nval2 1\nval3 0\nval4 1\nInt2 2 3\n");
}

TEST_F(MapRange, DefaultsMapInOntoItself) {
    const double ins[] = {0.0, 0.25, 0.5, 1.0, -3.0, 7.5};
    for (double in : ins) {
        refhost::HostNode *n = make("QvT_MAPR");
        feed(n, "In", in);
        EXPECT_TRUE(same_double(in, eval(n))) << in;
    }
    refhost::HostNode *n = make("QvT_MAPR");
    EXPECT_TRUE(same_double(0.0, eval(n)));
}

TEST_F(MapRange, DegenerateSpans) {
    run({
        // No source span, within 2^-52: In passes whatever the target.
        {"", 0.7, 1.0, 1.0, 5.0, 9.0, 0.7},
        {"", 0.7, 1.0, 1.0 + kEps, 5.0, 9.0, 0.7},
        {"", 0.7, 1.0 + kEps, 1.0, 5.0, 9.0, 0.7},
        {"Int2 1 1\n", 42.0, 3.0, 3.0, 0.0, 1.0, 42.0},
        // 2^-51 is a span: (9 − 5) / 2^-51 · (0.7 − 1) + 5.
        {"", 0.75, 1.0, 1.0 + 2 * kEps, 5.0, 9.0, 4.0 / (2 * kEps) * (0.75 - 1.0) + 5.0},
        // No target span: everything lands on mapSt.
        {"", 0.7, 0.0, 1.0, 5.0, 5.0, 5.0},
        {"", 0.7, 0.0, 1.0, 0.25, 0.25 + kEps, 0.25},
        {"", 0.5, 0.0, 1.0, 0.25, 0.25 + 2 * kEps, 0.25 + kEps},
        {"Int2 2 3\n", 100.0, 0.0, 1.0, -2.0, -2.0, -2.0},
        // A NaN span fails both tests and reaches the mapping.
        {"", 0.5, kNaN, 1.0, 0.0, 1.0, kNaN},
    });
}

TEST_F(MapRange, LinearAndConstantAtBothEnds) {
    run({
        {"", 1.5, 0.0, 1.0, 0.0, 1.0, 1.5},
        {"", -0.5, 0.0, 1.0, 0.0, 1.0, -0.5},
        {"Int2 1 1\n", 1.5, 0.0, 1.0, 0.0, 1.0, 1.0},
        {"Int2 1 1\n", -0.5, 0.0, 1.0, 0.0, 1.0, 0.0},
        {"Int2 1 0\n", -0.5, 0.0, 1.0, 0.0, 1.0, 0.0},
        {"Int2 1 0\n", 1.5, 0.0, 1.0, 0.0, 1.0, 1.5},
        {"Int2 0 1\n", -0.5, 0.0, 1.0, 0.0, 1.0, -0.5},
        {"Int2 0 1\n", 1.5, 0.0, 1.0, 0.0, 1.0, 1.0},
        // Inside the range the modes do nothing; the ends themselves are inside.
        {"Int2 1 1\n", 0.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 2 2\n", 1.0, 0.0, 1.0, 0.0, 1.0, 1.0},
        {"Int2 3 3\n", 0.0, 0.0, 1.0, 0.0, 1.0, 0.0},
        // A different source range: (In − 2) / 4 onto [10, 20].
        {"", 4.0, 2.0, 6.0, 10.0, 20.0, 15.0},
        {"Int2 1 1\n", 10.0, 2.0, 6.0, 10.0, 20.0, 20.0},
    });
}

TEST_F(MapRange, RepeatAndReflectAboveTheRange) {
    run({
        {"Int2 0 2\n", 1.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 0 2\n", 2.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 0 2\n", 2.0, 0.0, 1.0, 0.0, 1.0, 0.0},
        {"Int2 0 3\n", 1.25, 0.0, 1.0, 0.0, 1.0, 0.75},
        {"Int2 0 3\n", 2.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 0 3\n", 2.0, 0.0, 1.0, 0.0, 1.0, 0.0},
        {"Int2 0 3\n", 3.0, 0.0, 1.0, 0.0, 1.0, 1.0},
        {"Int2 0 3\n", 3.75, 0.0, 1.0, 0.0, 1.0, 0.25},
        // Target [2, 6] (span 4) reached from [0, 1]: r = 4·In + 2.
        {"Int2 0 2\n", 1.5, 0.0, 1.0, 2.0, 6.0, 4.0},
        {"Int2 0 3\n", 1.5, 0.0, 1.0, 2.0, 6.0, 4.0},
        {"Int2 0 3\n", 2.25, 0.0, 1.0, 2.0, 6.0, 3.0},
        {"Int2 0 2\n", 2.25, 0.0, 1.0, 2.0, 6.0, 3.0},
        // Any mode word above 3 or below 0 reflects.
        {"Int2 0 7\n", 1.25, 0.0, 1.0, 0.0, 1.0, 0.75},
        {"Int2 0 -1\n", 1.25, 0.0, 1.0, 0.0, 1.0, 0.75},
    });
}

TEST_F(MapRange, RepeatAndReflectBelowTheRange) {
    run({
        {"Int2 2 0\n", -0.25, 0.0, 1.0, 0.0, 1.0, 0.75},
        {"Int2 2 0\n", -1.25, 0.0, 1.0, 0.0, 1.0, 0.75},
        {"Int2 2 0\n", -1.0, 0.0, 1.0, 0.0, 1.0, 1.0},
        {"Int2 3 0\n", -0.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 3 0\n", -1.25, 0.0, 1.0, 0.0, 1.0, 0.75},
        {"Int2 3 0\n", -2.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 3 0\n", -1.0, 0.0, 1.0, 0.0, 1.0, 1.0},
        {"Int2 3 0\n", -2.0, 0.0, 1.0, 0.0, 1.0, 0.0},
        {"Int2 2 0\n", -0.5, 0.0, 1.0, 2.0, 6.0, 4.0},
        {"Int2 3 0\n", -0.75, 0.0, 1.0, 2.0, 6.0, 5.0},
        {"Int2 3 0\n", -1.75, 0.0, 1.0, 2.0, 6.0, 3.0},
        {"Int2 9 0\n", -0.25, 0.0, 1.0, 0.0, 1.0, 0.25},
    });
}

TEST_F(MapRange, ReversedTargetRangeSwapsTheModeWords) {
    // mapSt 1, mapEd 0: r = 1 − In.  The low end is mapEd (second word), the
    // high end mapSt (first word).
    run({
        {"Int2 1 0\n", 1.5, 0.0, 1.0, 1.0, 0.0, -0.5},    // below 0: second word, linear
        {"Int2 1 0\n", -0.5, 0.0, 1.0, 1.0, 0.0, 1.0},    // above 1: first word, constant
        {"Int2 0 1\n", 1.5, 0.0, 1.0, 1.0, 0.0, 0.0},     // below 0: constant at 0
        {"Int2 0 1\n", -0.5, 0.0, 1.0, 1.0, 0.0, 1.5},    // above 1: linear
        {"Int2 2 3\n", 1.25, 0.0, 1.0, 1.0, 0.0, 0.25},   // below, reflect: k 0
        {"Int2 2 3\n", 2.25, 0.0, 1.0, 1.0, 0.0, 0.75},   // below, reflect: k 1
        {"Int2 2 3\n", -0.25, 0.0, 1.0, 1.0, 0.0, 0.25},  // above, repeat
        {"Int2 3 2\n", 1.25, 0.0, 1.0, 1.0, 0.0, 0.75},   // below, repeat
        {"Int2 3 2\n", -0.25, 0.0, 1.0, 1.0, 0.0, 0.75},  // above, reflect: k 0
        {"Int2 3 2\n", -1.25, 0.0, 1.0, 1.0, 0.0, 0.25},  // above, reflect: k 1
        {"Int2 3 3\n", 0.25, 0.0, 1.0, 1.0, 0.0, 0.75},   // inside
        // A reversed source range maps the other way round as well.
        {"Int2 1 1\n", 2.0, 1.0, 0.0, 0.0, 1.0, 0.0},
        {"Int2 0 0\n", 0.25, 1.0, 0.0, 0.0, 1.0, 0.75},
    });
}

TEST_F(MapRange, NonFiniteAndHugeResults) {
    run({
        {"Int2 3 3\n", kNaN, 0.0, 1.0, 0.0, 1.0, kNaN},  // NaN is neither below nor above
        {"Int2 1 1\n", kNaN, 0.0, 1.0, 0.0, 1.0, kNaN},
        {"Int2 1 1\n", kInf, 0.0, 1.0, 0.0, 1.0, 1.0},
        {"Int2 1 1\n", -kInf, 0.0, 1.0, 0.0, 1.0, 0.0},
        {"Int2 2 2\n", kInf, 0.0, 1.0, 0.0, 1.0, kNaN},  // no remainder of infinity
        // Far beyond the range: 1e300 − 1 is an even number of spans past it.
        {"Int2 3 3\n", 1e300, 0.0, 1.0, 0.0, 1.0, 1.0},
        {"Int2 3 3\n", -1e300, 0.0, 1.0, 0.0, 1.0, 0.0},
        // More spans past the range than a 32-bit integer counts.
        {"Int2 3 3\n", 3e9 + 0.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 3 3\n", 3e9 + 1.25, 0.0, 1.0, 0.0, 1.0, 0.75},
        {"Int2 3 3\n", -3e9 - 0.25, 0.0, 1.0, 0.0, 1.0, 0.25},
        {"Int2 3 3\n", -3e9 - 1.25, 0.0, 1.0, 0.0, 1.0, 0.75},
    });
}

// ---- Noisy channel ------------------------------------------------------------

namespace {

class NoisyChannel : public NetworkTest {
protected:
    double expected(double t, double offset, double scale, double speed, double phase, double shift) {
        double p[3] = {(t - shift) * speed * 10.0, phase, 20.0};
        return (refhost::texture_noise(p) - 0.5) * scale + offset;
    }
};

}  // namespace

TEST_F(NoisyChannel, CreateSetsDefaultsAndKeepsTheTimeOutOfTheScene) {
    refhost::HostNode *n = make("QvT_NOIS");
    ASSERT_NE(n, nullptr);
    const qv::NodeInstance *i = instance(n);
    EXPECT_EQ(i->flags, 0x1Fu);
    const double defaults[] = {0.0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < 7; ++k) EXPECT_TRUE(same_double(defaults[k], i->defaults[k])) << k;
    EXPECT_TRUE(same_double(0.0, i->extra.value));
    const char *names[] = {"Offset", "Scale", "Speed", "Phase", "Shift"};
    ASSERT_EQ(n->inputs.size(), 5u);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(n->inputs[k]->name, names[k]);
    EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}),
              (std::array<int32_t, 3>{90, 90, 150}));
    net->new_time(30, 1.0);
    EXPECT_TRUE(same_double(1.0, i->extra.value));
    EXPECT_EQ(save_text(n), "val0 0\nval1 1\nval2 1\nval3 0\nval4 0\n");
    load_text(n, "valD 7\n");
    // A copy carries the stored defaults, never the time.
    std::string error;
    refhost::HostNode *copy = net->copy(n->id, error);
    ASSERT_NE(copy, nullptr) << error;
    EXPECT_TRUE(same_double(0.0, instance(copy)->extra.value));
}

TEST_F(NoisyChannel, OutputIsTheHostsNoiseScaledAndOffset) {
    struct NoiseCase {
        double t, offset, scale, speed, phase, shift;
    };
    const NoiseCase cases[] = {
        {0.0, 0.0, 1.0, 1.0, 0.0, 0.0},     {1.3, 0.0, 1.0, 1.0, 0.0, 0.0},    {1.3, 2.0, 3.0, 2.0, 0.5, 0.2},
        {-4.1, -1.0, 0.5, 0.3, 7.25, -2.0}, {10.0, 0.0, -2.0, 1.0, 0.0, 9.95}, {0.55, 0.25, 1.0, 4.0, -3.5, 0.0},
    };
    for (const NoiseCase &c : cases) {
        SCOPED_TRACE(c.t);
        refhost::HostNode *n = make("QvT_NOIS");
        ASSERT_NE(n, nullptr);
        feed(n, "Offset", c.offset);
        feed(n, "Scale", c.scale);
        feed(n, "Speed", c.speed);
        feed(n, "Phase", c.phase);
        feed(n, "Shift", c.shift);
        net->new_time(static_cast<int32_t>(c.t * 30), c.t);
        EXPECT_TRUE(same_double(expected(c.t, c.offset, c.scale, c.speed, c.phase, c.shift), eval(n)));
    }
}

TEST_F(NoisyChannel, TheTimeStartsAtZeroUntilTheFirstNewTime) {
    refhost::HostNode *n = make("QvT_NOIS");
    feed(n, "Shift", 0.37);
    Application::get().set_time(90, 3.0);  // the scene's time is not read
    EXPECT_TRUE(same_double(expected(0.0, 0.0, 1.0, 1.0, 0.0, 0.37), eval(n)));
    net->new_time(15, 0.5);
    EXPECT_TRUE(same_double(expected(0.5, 0.0, 1.0, 1.0, 0.0, 0.37), eval(n)));
}

TEST_F(NoisyChannel, ZeroScaleGivesTheOffsetExactly) {
    for (double offset : {0.0, 1.0, -2.5, 1e-300, 123456.789}) {
        refhost::HostNode *n = make("QvT_NOIS");
        feed(n, "Offset", offset);
        feed(n, "Scale", 0.0);
        for (double t : {0.0, 0.123, 7.77}) {
            net->new_time(0, t);
            EXPECT_TRUE(same_double(offset, eval(n))) << offset << " at " << t;
        }
    }
}

TEST_F(NoisyChannel, DrawsASmoothChannelOverTime) {
    refhost::HostNode *n = make("QvT_NOIS");
    ASSERT_NE(n, nullptr);
    // Ten seconds in steps of a tenth of a frame at 30 frames per second.
    std::vector<double> values;
    for (int step = 0; step <= 3000; ++step) {
        net->new_time(step / 10, step / 300.0);
        values.push_back(eval(n));
    }
    double lo = values[0], hi = values[0], largest_step = 0.0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        EXPECT_GE(values[k], -0.5);
        EXPECT_LE(values[k], 0.5);
        lo = std::min(lo, values[k]);
        hi = std::max(hi, values[k]);
        if (k) largest_step = std::max(largest_step, std::fabs(values[k] - values[k - 1]));
    }
    EXPECT_GT(hi - lo, 0.3) << "the channel moves";
    EXPECT_LT(largest_step, 0.05) << "and moves smoothly";
    // The same time gives the same value.
    net->new_time(45, 450 / 300.0);
    EXPECT_TRUE(same_double(values[450], eval(n)));
}

TEST_F(NoisyChannel, ActivationNeedsTheTextureFunctions) {
    {
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().config().withheld = {"Texture Functions 3"};
        refhost::HostNode node;
        EXPECT_EQ(refhost::activate_handler(*m, "QvT_NOIS", node, 2), QV_AFUNC_BADGLOBAL);
        Application::get().config().withheld.clear();
        // MapRange needs no noise.
        refhost::HostNode map;
        Application::get().config().withheld = {"Texture Functions 3"};
        EXPECT_EQ(refhost::activate_handler(*m, "QvT_MAPR", map, 2), QV_AFUNC_OK);
    }
    {
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().reset_config();
        Application::get().clear_requests();
        refhost::HostNode node;
        ASSERT_EQ(refhost::activate_handler(*m, "QvT_NOIS", node, 2), QV_AFUNC_OK);
        EXPECT_EQ(Application::get().requests().back(), "Texture Functions 3");
        Application::get().clear_requests();
        ASSERT_EQ(refhost::activate_handler(*m, "QvT_NOIS", node, 2), QV_AFUNC_OK);
        EXPECT_EQ(Application::get().requests(), (std::vector<std::string>{"Product Info"}));
        EXPECT_NE(node.rend.new_time, nullptr);
    }
}
