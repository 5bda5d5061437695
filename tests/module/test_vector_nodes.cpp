// Vector arithmetic and vector geometry nodes through the module's entry points.
#include "tests/fixtures/module_fixture.h"

#include <limits>
#include <vector>

using namespace qvtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kPi = 3.141592653589793;
using V3 = std::array<double, 3>;

enum Match { exact, near };

struct Case {
    const char *server;
    const char *stored;  // scene text for stored values and option words
    std::vector<std::pair<const char *, V3>> vectors;
    std::vector<std::pair<const char *, double>> scalars;
    const char *output;
    V3 expected;
    Match match;
};

class VectorNodes : public NetworkTest {
protected:
    void run(const std::vector<Case> &cases) {
        for (const Case &c : cases) {
            std::string label = std::string(c.server) + " " + c.stored;
            for (auto &v : c.vectors) label += std::string(" ") + v.first;
            for (auto &v : c.scalars) label += std::string(" ") + v.first;
            SCOPED_TRACE(label + " -> " + c.output);
            refhost::HostNode *n = make(c.server);
            ASSERT_NE(n, nullptr);
            load_text(n, c.stored);
            for (auto &v : c.vectors) feed_vector(n, v.first, v.second);
            for (auto &v : c.scalars) feed(n, v.first, v.second);
            const V3 out = eval_vector(n, c.output);
            EXPECT_TRUE(c.match == exact ? same_vector(c.expected, out) : near_vector(c.expected, out));
        }
    }
};

}  // namespace

TEST_F(VectorNodes, Arithmetic) {
    run({
        {"QvMv_MUL", "", {}, {}, "Out", {1, 1, 1}, exact},
        {"QvMv_ADD", "", {}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_DIV", "", {}, {}, "Out", {1, 1, 1}, exact},
        {"QvMv_MAX", "", {}, {}, "Out", {1, 1, 1}, exact},
        {"QvMv_MIN", "", {}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_SUB", "", {}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_ADD", "", {{"In1", {1, 2, 3}}, {"In2", {10, 20, 30}}}, {}, "Out", {11, 22, 33}, exact},
        {"QvMv_SUB", "", {{"In1", {1, 2, 3}}, {"In2", {10, 20, 30}}}, {}, "Out", {-9, -18, -27}, exact},
        {"QvMv_MUL", "", {{"In2", {2, 3, 4}}}, {}, "Out", {2, 3, 4}, exact},  // stored In1 (1, 1, 1)
        {"QvMv_DIV", "", {{"In1", {6, 4, 2}}, {"In2", {3, 0, -2}}}, {}, "Out", {2, 0, -1}, exact},
        {"QvMv_DIV", "", {{"In1", {6, 4, 2}}, {"In2", {-0.0, kNaN, 0.5}}}, {}, "Out", {0, 0, 4}, exact},
        {"QvMv_MAX", "", {{"In1", {1, 5, -1}}, {"In2", {2, 3, -2}}}, {}, "Out", {2, 5, -1}, exact},
        {"QvMv_MIN", "", {{"In1", {1, 5, -1}}, {"In2", {2, 3, -2}}}, {}, "Out", {1, 3, -2}, exact},
        {"QvMv_ADD", "val0 1 2 3\nval1 4 5 6\n", {}, {}, "Out", {5, 7, 9}, exact},
        {"QvMv_CLMP", "", {}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_CLMP", "", {{"In", {2, -1, 0.5}}}, {}, "Out", {1, 0, 0.5}, exact},
        {"QvMv_CLMP", "", {{"In", {5, -5, 0.5}}, {"Min", {2, 2, 2}}, {"Max", {1, 1, 1}}}, {}, "Out", {1, 1, 1}, exact},
        {"QvMv_CLMP", "val0 -1 -1 -1\nval1 3 3 3\n", {{"In", {5, -5, 0.5}}}, {}, "Out", {3, -1, 0.5}, exact},
    });
}

TEST_F(VectorNodes, Geometry) {
    const double h = std::sqrt(0.5);
    run({
        {"QvMv_TRAN", "", {}, {}, "Out", {0, 0, 1}, exact},
        {"QvMv_TRAN", "", {{"Fwd", {0, 2, 0}}}, {}, "Out", {0, 2, 0}, exact},
        {"QvMv_TRAN", "", {{"Vec", {1, 2, 3}}}, {}, "Out", {1, 2, 3}, exact},
        {"QvMv_TRAN", "", {{"Vec", {1, 2, 3}}, {"Rgt", {0, 1, 0}}, {"Up", {1, 0, 0}}}, {}, "Out", {2, 1, 3}, exact},
        {"QvMv_TRAN4", "", {}, {}, "Out", {0, 0, 1}, exact},
        {"QvMv_TRAN4", "", {{"Vec", {5, 0, 0}}}, {}, "Out", {5, 0, 1}, exact},
        {"QvMv_TRAN4", "", {{"In", {1, 1, 1}}, {"Up", {0, 2, 0}}, {"Vec", {10, 0, 0}}}, {}, "Out", {11, 2, 1}, exact},
        {"QvMv_SBNml", "", {{"In3", {0, 3, 4}}}, {}, "Out", {0, 0.6000000000000001, 0.8}, exact},
        {"QvMv_SBNml", "", {{"In1", {1, 0, 0}}, {"In2", {1, 0, 0}}}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_SBNml", "", {{"In2", {3, 0, 0}}, {"In4", {0, 0, 4}}}, {}, "Out", {0.6000000000000001, 0, -0.8}, exact},
        {"QvMv_ADNml", "", {}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_ADNml", "", {{"In1", {1, 0, 0}}, {"In4", {0, 1, 0}}}, {}, "Out", {h, h, 0}, near},
        {"QvMv_NORM",
         "",
         {{"In1", {9, 9, 9}}, {"In2", {0, 3, 4}}, {"In3", {0, 0, 0}}},
         {},
         "out2",
         {0, 0.6000000000000001, 0.8},
         exact},
        {"QvMv_NORM", "", {{"In3", {0, 0, 0}}}, {}, "out3", {0, 0, 0}, exact},
        {"QvMv_NORM", "", {{"In3", {0, 0, 2}}}, {}, "out1", {0, 0, 0}, exact},
        {"QvMv_SIGN", "", {{"In", {1, 0, -2}}}, {}, "Out", {-1, -0.0, 2}, exact},
        {"QvMv_SIGN", "", {}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_DEG", "", {{"In", {kPi, -kPi / 2, 0}}}, {}, "Out", {180, -90, 0}, exact},
        {"QvMv_RAD", "", {{"In", {180, 90, -45}}}, {}, "Out", {kPi, kPi / 2, -kPi / 4}, exact},
        {"QvMv_CROS", "", {{"In1", {1, 0, 0}}, {"In2", {0, 1, 0}}}, {}, "Out", {0, 0, 1}, exact},
        {"QvMv_CROS", "", {{"In1", {1, 0, 0}}}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_CROS",
         "Int1 1\n",
         {{"In1", {1e-17, 1e-17, 1e-17}}, {"In2", {1e-17, -1e-17, 1e-17}}},
         {},
         "Out",
         {0, 0, 0},
         exact},
        {"QvMv_CROS", "Int1 1\n", {{"In1", {2, 0, 0}}, {"In2", {0, 0, 5}}}, {}, "Out", {0, -1, 0}, exact},
        {"QvMv_QROT", "", {}, {}, "Out", {0, 0, 0}, exact},
        {"QvMv_QROT", "", {{"Vec", {1, 2, 3}}}, {}, "Out", {1, 2, 3}, exact},
        {"QvMv_QROT", "valD 90\n", {{"Vec", {1, 0, 0}}}, {}, "Out", {0, 1, 0}, near},
        {"QvMv_QROT",
         "valD 90\n",
         {{"Vec", {1, 0, 0}}},
         {{"Rot", 90}},
         "Out",
         {std::cos(90.0), std::sin(90.0), 0},
         near},
        {"QvMv_QROT", "valD 90\nval0 1 0 0\n", {{"Vec", {0, 1, 0}}}, {}, "Out", {0, 0, 1}, near},
        {"QvMv_QROT", "", {{"Vec", {1, 0, 0}}, {"Axis", {0, 0, 0}}}, {{"Rot", kPi / 2}}, "Out", {0.5, 0, 0}, near},
    });
}

TEST_F(VectorNodes, ScalarOutputs) {
    struct ScalarCase {
        const char *server;
        const char *stored;
        std::vector<std::pair<const char *, V3>> vectors;
        double expected;
    };
    const ScalarCase cases[] = {
        {"QvMv_ANGL", "", {}, 0.0},
        {"QvMv_ANGL", "", {{"In1", {1, 0, 0}}}, kPi / 2},
        {"QvMv_ANGL", "", {{"In1", {0, 0, 0}}}, 0.0},
        {"QvMv_ANGL", "", {{"In1", {0, 0, -3}}}, kPi},
        {"QvMv_DOT", "", {{"In1", {2, 0, 0}}}, 0.0},
        {"QvMv_DOT", "", {{"In1", {2, 0, 0}}, {"In2", {3, 4, 0}}}, 6.0},
        {"QvMv_DOT", "Int1 1\n", {{"In1", {2, 0, 0}}, {"In2", {3, 4, 0}}}, 0.6000000000000001},
        {"QvMv_DOT", "Int1 1\n", {{"In1", {0, 0, 0}}, {"In2", {1e-17, 0, 0}}}, 0.0},
    };
    for (const ScalarCase &c : cases) {
        SCOPED_TRACE(c.server);
        refhost::HostNode *n = make(c.server);
        load_text(n, c.stored);
        for (auto &v : c.vectors) feed_vector(n, v.first, v.second);
        EXPECT_TRUE(same_double(c.expected, eval(n)));
    }
}

TEST_F(VectorNodes, CreatesAndSlots) {
    refhost::HostNode *rot = make("QvMv_QROT");
    ASSERT_EQ(rot->inputs.size(), 3u);
    EXPECT_EQ(rot->inputs[1]->name, "Axis");
    EXPECT_EQ(rot->inputs[2]->type, QV_TYPE_SCALAR);
    refhost::HostNode *norm = make("QvMv_NORM");
    EXPECT_EQ(norm->outputs[1]->name, "out2");
    refhost::HostNode *tran4 = make("QvMv_TRAN4");
    EXPECT_EQ(tran4->inputs.size(), 5u);
    EXPECT_EQ(tran4->inputs[4]->name, "In");
    EXPECT_EQ(make("QvMv_TRAN")->inputs.size(), 4u);
    EXPECT_EQ(make("QvMv_ANGL")->outputs[0]->type, QV_TYPE_SCALAR);
    for (const char *server : {"QvMv_CLMP", "QvMv_CROS", "QvMv_SIGN"}) {
        refhost::HostNode *n = make(server);
        EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}),
                  (std::array<int32_t, 3>{50, 120, 150}));
    }
    refhost::HostNode *add = make("QvMv_ADD");
    EXPECT_EQ((std::array<int32_t, 3>{add->colour[0], add->colour[1], add->colour[2]}),
              (std::array<int32_t, 3>{32, 90, 130}));
}

TEST_F(VectorNodes, StoredVectorsRoundTrip) {
    refhost::HostNode *rot = make("QvMv_QROT");
    load_text(rot, "val0 0.1 0.2 0.3\nvalD 45\nval1 9 9 9\n");
    EXPECT_EQ(save_text(rot), "val0 0.1 0.2 0.3\nvalD 45\n");
    refhost::HostNode *mul = make("QvMv_MUL");
    load_text(mul, "val1 4 5 6\nval0 1 2\n");  // a short block fills what it holds
    EXPECT_EQ(save_text(mul), "val0 1 2 1\nval1 4 5 6\n");
    refhost::HostNode *angle = make("QvMv_ANGL");
    EXPECT_EQ(save_text(angle), "val0 0 0 1\nval1 0 0 1\n");
    refhost::HostNode *dot = make("QvMv_DOT");
    load_text(dot, "Int1 1\n");
    EXPECT_EQ(save_text(dot), "Int1 1\n");
    EXPECT_EQ(save_text(make("QvMv_TRAN")), "");
    for (refhost::SceneForm form : {refhost::SceneForm::text, refhost::SceneForm::binary}) {
        std::string content, error;
        ASSERT_TRUE(net->save(form, content, error)) << error;
        refhost::Network loaded(shared_module());
        ASSERT_TRUE(loaded.load(content, "vectors", error)) << error;
        EXPECT_EQ(save_text(loaded.node(rot->id)), "val0 0.1 0.2 0.3\nvalD 45\n");
        EXPECT_EQ(save_text(loaded.node(mul->id)), "val0 1 2 1\nval1 4 5 6\n");
        EXPECT_EQ(save_text(loaded.node(dot->id)), "Int1 1\n");
    }
    std::string error;
    refhost::HostNode *copy = net->copy(rot->id, error);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(save_text(copy), "val0 0.1 0.2 0.3\nvalD 45\n");
}
