// Matrix nodes through the module's entry points: matrices travel as rows.
#include "tests/fixtures/module_fixture.h"

#include <vector>

using namespace qvtest;

namespace {

using V3 = std::array<double, 3>;
const double kPi = 3.141592653589793;

class MatrixNodes : public NetworkTest {
protected:
    void feed_rows(refhost::HostNode *n, const std::vector<std::pair<const char *, V3>> &rows) {
        for (auto &r : rows) feed_vector(n, r.first, r.second);
    }
    std::array<V3, 3> rows(refhost::HostNode *n) {
        return {eval_vector(n, "Rgt"), eval_vector(n, "Up"), eval_vector(n, "Fwd")};
    }
    int32_t eval_bool(refhost::HostNode *n) {
        const refhost::Value v = eval_value(n, "Bool");
        EXPECT_EQ(v.type, QV_TYPE_INTEGER);
        return v.as_integer();
    }
    void expect_rows(refhost::HostNode *n, const std::array<V3, 3> &expected, bool exact) {
        const auto got = rows(n);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(exact ? same_vector(expected[i], got[i]) : near_vector(expected[i], got[i])) << "row " << i;
    }
};

const std::array<V3, 3> kIdentity = {V3{1, 0, 0}, V3{0, 1, 0}, V3{0, 0, 1}};

}  // namespace

TEST_F(MatrixNodes, EulerToMatrixAndBack) {
    refhost::HostNode *e2m = make("QvT_E2Mat");
    expect_rows(e2m, kIdentity, true);
    feed_vector(e2m, "Rot", {kPi / 2, 0, 0});
    expect_rows(e2m, {V3{0, 0, -1}, V3{0, 1, 0}, V3{1, 0, 0}}, false);
    refhost::HostNode *inv = make("QvT_E2Mat");
    load_text(inv, "Int1 1\n");
    feed_vector(inv, "Rot", {kPi / 2, 0, 0});
    expect_rows(inv, {V3{0, 0, 1}, V3{0, 1, 0}, V3{-1, 0, 0}}, false);

    refhost::HostNode *source = make("QvT_E2Mat");
    feed_vector(source, "Rot", {0.3, -0.7, 1.1});
    // With all three angles in play, Invert gives the transpose.
    refhost::HostNode *inverse = make("QvT_E2Mat");
    load_text(inverse, "Int1 1\n");
    feed_vector(inverse, "Rot", {0.3, -0.7, 1.1});
    const auto m = rows(source);
    expect_rows(inverse, {V3{m[0][0], m[1][0], m[2][0]}, V3{m[0][1], m[1][1], m[2][1]}, V3{m[0][2], m[1][2], m[2][2]}},
                false);
    refhost::HostNode *m2e = make("QvT_M2Euler");
    std::string error;
    for (const char *row : {"Rgt", "Up", "Fwd"})
        ASSERT_TRUE(net->connect(source->id, row, m2e->id, row, error)) << error;
    EXPECT_TRUE(near_vector({0.3, -0.7, 1.1}, eval_vector(m2e, "Rot")));
    // Rows of any length give the same angles.
    refhost::HostNode *scaled = make("QvT_M2Euler");
    const double scale[3] = {2, 4, 0.5};
    const char *const names[3] = {"Rgt", "Up", "Fwd"};
    for (int i = 0; i < 3; ++i)
        feed_vector(scaled, names[i], {m[i][0] * scale[i], m[i][1] * scale[i], m[i][2] * scale[i]});
    EXPECT_TRUE(near_vector({0.3, -0.7, 1.1}, eval_vector(scaled, "Rot")));

    refhost::HostNode *fwd_only = make("QvT_M2Euler");
    feed_vector(fwd_only, "Fwd", {0, 0, 5});
    EXPECT_TRUE(same_vector({0, 0, 0}, eval_vector(fwd_only, "Rot")));
    EXPECT_TRUE(same_vector({0, 0, 0}, eval_vector(make("QvT_M2Euler"), "Rot")));
}

TEST_F(MatrixNodes, Invert) {
    refhost::HostNode *n = make("QvT_INVMat");
    expect_rows(n, kIdentity, true);
    EXPECT_EQ(eval_bool(n), 0);
    feed_rows(n, {{"Rgt", {2, 0, 0}}, {"Up", {0, 4, 0}}, {"Fwd", {0, 0, 8}}});
    expect_rows(n, {V3{0.5, 0, 0}, V3{0, 0.25, 0}, V3{0, 0, 0.125}}, false);
    EXPECT_EQ(eval_bool(n), 1);

    refhost::HostNode *singular = make("QvT_INVMat");
    feed_rows(singular, {{"Rgt", {1, 2, 3}}, {"Up", {2, 4, 6}}, {"Fwd", {0, 0, 1}}});
    expect_rows(singular, {V3{1, 2, 3}, V3{2, 4, 6}, V3{0, 0, 1}}, true);
    EXPECT_EQ(eval_bool(singular), 0);

    refhost::HostNode *replace = make("QvT_INVMat");
    load_text(replace, "Int1 1\n");
    feed_rows(replace, {{"Rgt", {2, 0, 0}}, {"Up", {0, 1, 0}}, {"Fwd", {0, 0, 1}}});
    expect_rows(replace, {V3{2, 0, 0}, V3{0, 1, 0}, V3{0, 0, 1}}, true);
    EXPECT_EQ(eval_bool(replace), 1);
    feed_rows(replace, {{"Up", {7, 1, 0}}});
    expect_rows(replace, {V3{2, 7, 0}, V3{0, 1, 0}, V3{0, 0, 1}}, true);
}

TEST_F(MatrixNodes, InvertFour) {
    refhost::HostNode *n = make("QvT_INVMat4");
    ASSERT_EQ(n->outputs.size(), 5u);
    // Each row input is followed by its output when the node is made.
    EXPECT_EQ(n->outputs[4]->name, "Bool");
    EXPECT_EQ(eval_bool(n), 0);
    feed_vector(n, "Vec", {1, 2, 3});
    expect_rows(n, kIdentity, true);
    EXPECT_TRUE(same_vector({-1, -2, -3}, eval_vector(n, "Vec")));
    EXPECT_EQ(eval_bool(n), 1);
    feed_rows(n, {{"Rgt", {0, 0, 0}}});
    EXPECT_EQ(eval_bool(n), 0);
    EXPECT_TRUE(same_vector({0, 0, 0}, eval_vector(n, "Rgt")));
    EXPECT_TRUE(same_vector({1, 2, 3}, eval_vector(n, "Vec")));
}

TEST_F(MatrixNodes, Multiply) {
    refhost::HostNode *n = make("QvT_MULMat");
    expect_rows(n, kIdentity, true);
    feed_vector(n, "2:Fwd", {1, 2, 3});
    expect_rows(n, {V3{1, 0, 0}, V3{0, 1, 0}, V3{1, 2, 3}}, true);
    refhost::HostNode *m = make("QvT_MULMat");
    feed_vector(m, "1:Rgt", {2, 0, 0});
    feed_vector(m, "2:Rgt", {0, 3, 0});
    EXPECT_TRUE(same_vector({0, 6, 0}, eval_vector(m, "Rgt")));
    EXPECT_TRUE(same_vector({0, 1, 0}, eval_vector(m, "Up")));
}

TEST_F(MatrixNodes, RotateAndScale) {
    refhost::HostNode *rot = make("QvT_QRMAT");
    feed_rows(rot, {{"Rgt", {2, 0, 0}}});
    expect_rows(rot, {V3{2, 0, 0}, V3{0, 1, 0}, V3{0, 0, 1}}, true);
    load_text(rot, "valD 90\n");
    expect_rows(rot, {V3{0, 2, 0}, V3{-1, 0, 0}, V3{0, 0, 1}}, false);

    refhost::HostNode *scale = make("QvT_S2Mat");
    expect_rows(scale, kIdentity, true);
    feed_vector(scale, "In", {2, 3, 4});
    expect_rows(scale, {V3{2, 0, 0}, V3{0, 3, 0}, V3{0, 0, 4}}, true);
}

TEST_F(MatrixNodes, Slerp) {
    const double h = std::sqrt(0.5);
    const std::vector<std::pair<const char *, V3>> quarter_turn = {
        {"2:Rgt", {0, 0, -1}}, {"2:Up", {0, 1, 0}}, {"2:Fwd", {1, 0, 0}}};
    refhost::HostNode *half = make("QvT_SLPMT");
    feed_rows(half, quarter_turn);
    feed(half, "%", 0.5);
    expect_rows(half, {V3{h, 0, -h}, V3{0, 1, 0}, V3{h, 0, h}}, false);
    // The stored ratio, and both ends taken as they come.
    refhost::HostNode *stored = make("QvT_SLPMT");
    feed_rows(stored, {{"2:Rgt", {0, 0, -2}}, {"2:Up", {0, 2, 0}}, {"2:Fwd", {2, 0, 0}}});
    load_text(stored, "valD 1\n");
    expect_rows(stored, {V3{0, 0, -2}, V3{0, 2, 0}, V3{2, 0, 0}}, true);
    load_text(stored, "valD 0\n");
    expect_rows(stored, kIdentity, true);
    load_text(stored, "valD -3\n");
    expect_rows(stored, kIdentity, true);
    refhost::HostNode *first = make("QvT_SLPMT");
    feed_rows(first, {{"1:Rgt", {2, 0, 0}}, {"1:Up", {0, 3, 0}}, {"1:Fwd", {0, 0, 4}}});
    feed_rows(first, quarter_turn);
    expect_rows(first, {V3{2, 0, 0}, V3{0, 3, 0}, V3{0, 0, 4}}, true);  // the stored ratio, 0 exactly
    // Scaled rows inside the range give finite rows, not NaN.
    load_text(stored, "valD 0.5\n");
    for (const V3 &row : rows(stored))
        for (double c : row) EXPECT_TRUE(std::isfinite(c));
    refhost::HostNode *nan = make("QvT_SLPMT");
    feed_rows(nan, quarter_turn);
    feed(nan, "%", std::nan(""));
    const auto r = rows(nan);
    (void)r;  // NaN takes the interpolating branch; whatever it gives, it must not crash
}
