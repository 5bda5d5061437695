// The vector, matrix and quaternion routines, tested directly.
#include "geometry/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace qv;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

uint64_t bits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// Same value and same sign of zero (and both NaN counts as the same).
::testing::AssertionResult same(double a, double b) {
    if (bits(a) == bits(b) || (std::isnan(a) && std::isnan(b))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " (0x" << std::hex << bits(a) << ") vs " << b << " (0x" << bits(b)
                                         << ")";
}

double at(const Mat3 &m, int i, int j) {
    const Vec3 &r = m.row[i];
    return j == 0 ? r.x : j == 1 ? r.y : r.z;
}

double at(const Mat4 &m, int i, int j) {
    const Vec4 &r = m.row[i];
    return j == 0 ? r.x : j == 1 ? r.y : j == 2 ? r.z : r.w;
}

void expect_same(const Vec3 &a, const Vec3 &b) {
    EXPECT_TRUE(same(a.x, b.x));
    EXPECT_TRUE(same(a.y, b.y));
    EXPECT_TRUE(same(a.z, b.z));
}

void expect_same(const Quat &a, const Quat &b) {
    EXPECT_TRUE(same(a.x, b.x));
    EXPECT_TRUE(same(a.y, b.y));
    EXPECT_TRUE(same(a.z, b.z));
    EXPECT_TRUE(same(a.w, b.w));
}

void expect_same(const Mat3 &a, const Mat3 &b) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_TRUE(same(at(a, i, j), at(b, i, j))) << "m" << i << j;
}

void expect_same(const Mat4 &a, const Mat4 &b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_TRUE(same(at(a, i, j), at(b, i, j))) << "m" << i << j;
}

void expect_near(const Vec3 &a, const Vec3 &b, double tol) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void expect_near(const Quat &a, const Quat &b, double tol) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
    EXPECT_NEAR(a.w, b.w, tol);
}

void expect_near(const Mat3 &a, const Mat3 &b, double tol) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(at(a, i, j), at(b, i, j), tol) << "m" << i << j;
}

Mat3 identity3() {
    Mat3 m;
    mat3_identity(m);
    return m;
}

Mat3 rows(Vec3 r0, Vec3 r1, Vec3 r2) { return Mat3{{r0, r1, r2}}; }

Mat3 diag(double a, double b, double c) { return rows({a, 0, 0}, {0, b, 0}, {0, 0, c}); }

// A value no routine would write: shows that an output was left alone.
const Vec3 kSentinel3 = {7.5, -8.25, 9.125};
const Mat3 kSentinelM3 = rows({1.5, 2.5, 3.5}, {4.5, 5.5, 6.5}, {7.5, 8.5, 9.5});

// The elementary rotations in the row-vector convention.
Mat3 rot_x(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return rows({1, 0, 0}, {0, c, s}, {0, -s, c});
}
Mat3 rot_y(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return rows({c, 0, -s}, {0, 1, 0}, {s, 0, c});
}
Mat3 rot_z(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return rows({c, s, 0}, {-s, c, 0}, {0, 0, 1});
}

Mat3 mul(const Mat3 &a, const Mat3 &b) {
    Mat3 c;
    mat3_mul(c, a, b);
    return c;
}

Mat3 transpose(const Mat3 &m) {
    Mat3 t;
    mat3_transpose(t, m);
    return t;
}

double det(const Mat3 &m) {
    return at(m, 0, 0) * (at(m, 1, 1) * at(m, 2, 2) - at(m, 1, 2) * at(m, 2, 1)) -
           at(m, 0, 1) * (at(m, 1, 0) * at(m, 2, 2) - at(m, 1, 2) * at(m, 2, 0)) +
           at(m, 0, 2) * (at(m, 1, 0) * at(m, 2, 1) - at(m, 1, 1) * at(m, 2, 0));
}

// Fixed-seed uniform doubles: 53 random bits from two 32-bit Mersenne Twister
// outputs, mapped by hand so that every standard library draws the same values.
class Rng {
public:
    explicit Rng(uint32_t seed) : gen_(seed) {}
    double unit() {                       // [0, 1)
        const uint64_t hi = gen_() >> 5;  // 27 bits
        const uint64_t lo = gen_() >> 6;  // 26 bits
        return static_cast<double>((hi << 26) | lo) * (1.0 / 9007199254740992.0);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    Vec3 vec(double r) { return {uniform(-r, r), uniform(-r, r), uniform(-r, r)}; }
    Mat3 mat(double r) { return Mat3{{vec(r), vec(r), vec(r)}}; }  // braces: drawn in order
    Quat unit_quat() {
        for (;;) {
            const Quat q = {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
            const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
            if (n > 0.1 && n <= 1.0) return {q.x / n, q.y / n, q.z / n, q.w / n};
        }
    }

private:
    std::mt19937 gen_;
};

// The angle a, brought into [-pi, pi).
double wrap(double a) {
    const double r = std::fmod(a + kPi, 2 * kPi);
    return (r < 0 ? r + 2 * kPi : r) - kPi;
}

}  // namespace

// ---- Constants --------------------------------------------------------------

TEST(GeometryConstants, BitPatterns) {
    EXPECT_EQ(bits(kTiny), 0x3CB0000000000000u);
    EXPECT_EQ(bits(kSlerpTolerance), 0x3E80000000000000u);
    EXPECT_EQ(bits(kHalfPi), 0x3FF921FB54442D18u);
}

// ---- vec_normalize ----------------------------------------------------------

TEST(VecNormalize, Table) {
    struct Case {
        const char *what;
        Vec3 in;
        int result;
        Vec3 expected;  // kSentinel3 when the output must be left alone
        bool exact;
    };
    const std::vector<Case> cases = {
        {"zero", {0, 0, 0}, 1, kSentinel3, true},
        {"negative zeros", {-0.0, -0.0, -0.0}, 1, kSentinel3, true},
        {"squared length underflows", {1e-200, 0, 0}, 1, kSentinel3, true},
        {"NaN component", {kNaN, 0, 0}, 1, kSentinel3, true},
        {"3-4-5", {3, 0, 4}, 0, {0.6, 0, 0.8}, false},
        {"already unit on Z", {0, 0, 1}, 0, {0, 0, 1}, true},
        {"along -X", {-2, 0, 0}, 0, {-1, 0, 0}, true},
        {"along Y", {0, 5, 0}, 0, {0, 1, 0}, true},
        {"tiny but representable squared length", {1e-150, 0, 0}, 0, {1, 0, 0}, false},
        {"large", {1e150, 1e150, 0}, 0, {0.7071067811865476, 0.7071067811865476, 0}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Vec3 out = kSentinel3;
        EXPECT_EQ(vec_normalize(out, c.in), c.result);
        if (c.exact)
            expect_same(out, c.expected);
        else
            expect_near(out, c.expected, 2e-16);
    }
}

TEST(VecNormalize, UnitLengthForRandomVectors) {
    Rng rng(1001);
    for (int i = 0; i < 500; ++i) {
        const Vec3 v = rng.vec(std::pow(10.0, rng.uniform(-100, 100)));
        Vec3 out;
        ASSERT_EQ(vec_normalize(out, v), 0);
        EXPECT_NEAR(out.x * out.x + out.y * out.y + out.z * out.z, 1.0, 1e-15);
        // Same direction: the cross product vanishes, the dot product is positive.
        EXPECT_GT(out.x * v.x + out.y * v.y + out.z * v.z, 0.0);
    }
}

// ---- Identities, product, transpose -----------------------------------------

TEST(Identity, Mat3IsOnesAndPositiveZeros) {
    Mat3 m = kSentinelM3;
    mat3_identity(m);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_TRUE(same(at(m, i, j), i == j ? 1.0 : 0.0));
}

TEST(Identity, Mat4IsOnesAndPositiveZeros) {
    Mat4 m;
    for (int i = 0; i < 4; ++i) m.row[i] = {kNaN, -0.0, 3.0, -4.0};
    mat4_identity(m);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_TRUE(same(at(m, i, j), i == j ? 1.0 : 0.0));
}

TEST(Mat3Mul, Table) {
    const Mat3 a = rows({1, 2, 3}, {4, 5, 6}, {7, 8, 10});
    const Mat3 b = rows({-1, 0.5, 2}, {3, -2, 0.25}, {1, 1, -1});
    struct Case {
        const char *what;
        Mat3 a, b, expected;
    };
    const std::vector<Case> cases = {
        {"identity on the left", identity3(), a, a},
        {"identity on the right", a, identity3(), a},
        {"general", a, b,
         rows({1 * -1 + 2 * 3 + 3 * 1, 1 * 0.5 + 2 * -2 + 3 * 1, 1 * 2 + 2 * 0.25 + 3 * -1},
              {4 * -1 + 5 * 3 + 6 * 1, 4 * 0.5 + 5 * -2 + 6 * 1, 4 * 2 + 5 * 0.25 + 6 * -1},
              {7 * -1 + 8 * 3 + 10 * 1, 7 * 0.5 + 8 * -2 + 10 * 1, 7 * 2 + 8 * 0.25 + 10 * -1})},
        // First Rgt (2, 0, 0) then second Rgt (0, 3, 0): X goes to 2X, then to 6Y.
        {"rows compose left first", rows({2, 0, 0}, {0, 1, 0}, {0, 0, 1}), rows({0, 3, 0}, {0, 1, 0}, {0, 0, 1}),
         rows({0, 6, 0}, {0, 1, 0}, {0, 0, 1})},
        {"scale then scale", diag(2, 3, 4), diag(0.5, 2, -1), diag(1, 6, -4)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        expect_same(mul(c.a, c.b), c.expected);
    }
}

TEST(Mat3Mul, RowVectorAppliesLeftFactorFirst) {
    // X turned a quarter about Z is Y; Y turned a quarter about X is Z.
    const Mat3 ab = mul(rot_z(kPi / 2), rot_x(kPi / 2));
    Vec3 v;
    vec_mul_mat3(v, {1, 0, 0}, ab);
    expect_near(v, {0, 0, 1}, 1e-15);

    Rng rng(1002);
    for (int i = 0; i < 200; ++i) {
        const Mat3 a = rng.mat(2), b = rng.mat(2);
        const Vec3 p = rng.vec(3);
        Vec3 lhs, va, rhs;
        vec_mul_mat3(lhs, p, mul(a, b));
        vec_mul_mat3(va, p, a);
        vec_mul_mat3(rhs, va, b);
        expect_near(lhs, rhs, 1e-13);
    }
}

TEST(Mat3Transpose, SwapsRowsAndColumns) {
    const Mat3 m = rows({1, 2, 3}, {4, 5, 6}, {7, 8, 9});
    expect_same(transpose(m), rows({1, 4, 7}, {2, 5, 8}, {3, 6, 9}));
    expect_same(transpose(transpose(m)), m);
}

// ---- mat3_inverse -----------------------------------------------------------

TEST(Mat3Inverse, Table) {
    struct Case {
        const char *what;
        Mat3 in;
        int result;
        Mat3 expected;  // kSentinelM3 when the output must be left alone
    };
    const std::vector<Case> cases = {
        {"identity", identity3(), 0, identity3()},
        {"diagonal", diag(2, 4, 8), 0, diag(0.5, 0.25, 0.125)},
        {"negative diagonal", diag(-2, 4, -0.5), 0, diag(-0.5, 0.25, -2)},
        {"determinant 1e-17", diag(1e-17, 1, 1), 1, kSentinelM3},
        {"negative determinant -1e-17", diag(1, -1e-17, 1), 1, kSentinelM3},
        {"dependent rows", rows({1, 2, 3}, {2, 4, 6}, {0, 0, 1}), 1, kSentinelM3},
        {"zero", rows({0, 0, 0}, {0, 0, 0}, {0, 0, 0}), 1, kSentinelM3},
        {"determinant exactly tiny is not singular", diag(kTiny, 1, 1), 0, diag(1 / kTiny, 1, 1)},
        {"permutation", rows({0, 1, 0}, {0, 0, 1}, {1, 0, 0}), 0, rows({0, 0, 1}, {1, 0, 0}, {0, 1, 0})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Mat3 out = kSentinelM3;
        EXPECT_EQ(mat3_inverse(out, c.in), c.result);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) EXPECT_EQ(at(out, i, j), at(c.expected, i, j)) << "m" << i << j;
        if (c.result == 1) expect_same(out, kSentinelM3);
    }
}

TEST(Mat3Inverse, NaNDeterminantIsNotSingular) {
    Mat3 out = kSentinelM3;
    EXPECT_EQ(mat3_inverse(out, diag(kNaN, 1, 1)), 0);
    EXPECT_TRUE(std::isnan(at(out, 0, 0)));
}

TEST(Mat3Inverse, RandomProductsWithTheIdentity) {
    Rng rng(1003);
    int tested = 0;
    while (tested < 500) {
        const Mat3 m = rng.mat(2);
        if (std::fabs(det(m)) < 0.1) continue;
        ++tested;
        Mat3 inv;
        ASSERT_EQ(mat3_inverse(inv, m), 0);
        expect_near(mul(m, inv), identity3(), 1e-11);
        expect_near(mul(inv, m), identity3(), 1e-11);
    }
}

TEST(Mat3Inverse, RotationInverseIsTranspose) {
    Rng rng(1004);
    for (int i = 0; i < 200; ++i) {
        Mat3 r, inv;
        quat_to_mat3(r, rng.unit_quat());
        ASSERT_EQ(mat3_inverse(inv, r), 0);
        expect_near(inv, transpose(r), 1e-14);
    }
}

// ---- mat4_inverse_affine ----------------------------------------------------

namespace {

Mat4 affine(const Mat3 &r, Vec3 t, double column3 = 0.0) {
    Mat4 m;
    for (int i = 0; i < 3; ++i) m.row[i] = {r.row[i].x, r.row[i].y, r.row[i].z, column3};
    m.row[3] = {t.x, t.y, t.z, column3 == 0.0 ? 1.0 : column3};
    return m;
}

Mat3 block(const Mat4 &m) {
    return rows({m.row[0].x, m.row[0].y, m.row[0].z}, {m.row[1].x, m.row[1].y, m.row[1].z},
                {m.row[2].x, m.row[2].y, m.row[2].z});
}

}  // namespace

TEST(Mat4InverseAffine, Table) {
    struct Case {
        const char *what;
        Mat4 in;
        int result;
        Mat4 expected;
    };
    Mat4 sentinel;
    for (int i = 0; i < 4; ++i) sentinel.row[i] = {0.5 + i, 1.5 + i, 2.5 + i, 3.5 + i};
    const std::vector<Case> cases = {
        {"identity", affine(identity3(), {0, 0, 0}), 0, affine(identity3(), {-0.0, -0.0, -0.0})},
        {"translation only", affine(identity3(), {1, 2, 3}), 0, affine(identity3(), {-1, -2, -3})},
        {"column 3 is not read", affine(identity3(), {1, 2, 3}, kNaN), 0, affine(identity3(), {-1, -2, -3})},
        {"column 3 is not read (finite)", affine(identity3(), {1, 2, 3}, 42.0), 0, affine(identity3(), {-1, -2, -3})},
        {"scale and translation", affine(diag(2, 4, 8), {2, 4, 8}), 0, affine(diag(0.5, 0.25, 0.125), {-1, -1, -1})},
        {"singular block", affine(rows({1, 2, 3}, {2, 4, 6}, {0, 0, 1}), {1, 2, 3}), 1, sentinel},
        {"determinant 1e-17", affine(diag(1, 1, 1e-17), {0, 0, 0}), 1, sentinel},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Mat4 out = sentinel;
        EXPECT_EQ(mat4_inverse_affine(out, c.in), c.result);
        expect_same(out, c.expected);
    }
}

TEST(Mat4InverseAffine, RandomProductsWithTheIdentity) {
    Rng rng(1005);
    int tested = 0;
    while (tested < 500) {
        const Mat3 r = rng.mat(2);
        if (std::fabs(det(r)) < 0.1) continue;
        ++tested;
        const Vec3 t = rng.vec(10);
        const Mat4 m = affine(r, t, rng.uniform(-5, 5));
        Mat4 inv;
        ASSERT_EQ(mat4_inverse_affine(inv, m), 0);
        // Column 3 is written, not carried over.
        EXPECT_TRUE(same(inv.row[0].w, 0.0));
        EXPECT_TRUE(same(inv.row[1].w, 0.0));
        EXPECT_TRUE(same(inv.row[2].w, 0.0));
        EXPECT_NEAR(inv.row[3].w, 1.0, 1e-13);
        // The 3x3 block is the block's inverse; the affine maps compose to
        // the identity both ways round.
        expect_near(mul(block(m), block(inv)), identity3(), 1e-11);
        expect_near(mul(block(inv), block(m)), identity3(), 1e-11);
        for (int k = 0; k < 4; ++k) {
            const Vec3 p = rng.vec(10);
            Vec3 q, back;
            point_mul_mat4(q, p, m);
            point_mul_mat4(back, q, inv);
            expect_near(back, p, 1e-10);
            point_mul_mat4(q, p, inv);
            point_mul_mat4(back, q, m);
            expect_near(back, p, 1e-10);
        }
    }
}

TEST(Mat4InverseAffine, CornerIsTheRatioOfTwoDeterminantExpansions) {
    Rng rng(1015);
    int not_one = 0;
    for (int i = 0; i < 500; ++i) {
        const Mat3 r = rng.mat(2);
        if (std::fabs(det(r)) < 0.1) continue;
        const double m00 = at(r, 0, 0), m01 = at(r, 0, 1), m02 = at(r, 0, 2);
        const double m10 = at(r, 1, 0), m11 = at(r, 1, 1), m12 = at(r, 1, 2);
        const double m20 = at(r, 2, 0), m21 = at(r, 2, 1), m22 = at(r, 2, 2);
        const double c00 = m11 * m22 - m12 * m21;
        const double by_row = m00 * c00 + m01 * (m12 * m20 - m10 * m22) + m02 * (m10 * m21 - m11 * m20);
        const double by_column = m00 * c00 - m10 * (m22 * m01 - m21 * m02) + m20 * (m12 * m01 - m11 * m02);
        Mat4 inv;
        ASSERT_EQ(mat4_inverse_affine(inv, affine(r, rng.vec(3))), 0);
        EXPECT_TRUE(same(inv.row[3].w, by_column / by_row));
        if (inv.row[3].w != 1.0) ++not_one;
    }
    EXPECT_GT(not_one, 0);  // rounding does show in the corner
}

// ---- Euler angles -----------------------------------------------------------

TEST(Mat3FromEuler, Table) {
    struct Case {
        const char *what;
        Euler e;
        Mat3 expected;
    };
    const std::vector<Case> cases = {
        {"zero angles", {0, 0, 0}, identity3()},
        {"quarter heading", {kPi / 2, 0, 0}, rows({0, 0, -1}, {0, 1, 0}, {1, 0, 0})},
        {"quarter pitch tilts forward down", {0, kPi / 2, 0}, rows({1, 0, 0}, {0, 0, 1}, {0, -1, 0})},
        {"quarter bank", {0, 0, kPi / 2}, rows({0, 1, 0}, {-1, 0, 0}, {0, 0, 1})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Mat3 m = kSentinelM3;
        mat3_from_euler(m, c.e);
        expect_near(m, c.expected, 1e-16);
    }
}

TEST(Mat3FromEuler, IsBankThenPitchThenHeading) {
    Rng rng(1006);
    for (int i = 0; i < 300; ++i) {
        const Euler e = {rng.uniform(-4, 4), rng.uniform(-4, 4), rng.uniform(-4, 4)};
        Mat3 m, r;
        mat3_from_euler(m, e);
        expect_near(m, mul(mul(rot_z(e.bank), rot_x(e.pitch)), rot_y(e.heading)), 1e-15);
        mat3_from_euler_reversed(r, e);
        expect_near(r, mul(mul(rot_y(e.heading), rot_x(e.pitch)), rot_z(e.bank)), 1e-15);
    }
}

TEST(Mat3FromEulerReversed, NegatedAnglesGiveTheTranspose) {
    Rng rng(1007);
    std::vector<Euler> angles = {{0.3, -0.7, 1.1}, {0, 0, 0}, {kPi, kHalfPi, -kPi}};
    for (int i = 0; i < 300; ++i) angles.push_back({rng.uniform(-7, 7), rng.uniform(-7, 7), rng.uniform(-7, 7)});
    for (const Euler &e : angles) {
        Mat3 m, r;
        mat3_from_euler(m, e);
        mat3_from_euler_reversed(r, {-e.heading, -e.pitch, -e.bank});
        expect_same(r, transpose(m));
        expect_near(mul(m, r), identity3(), 1e-15);
    }
}

TEST(EulerFromMat3, Table) {
    Mat3 known;
    mat3_from_euler(known, {0.3, -0.7, 1.1});
    struct Case {
        const char *what;
        Mat3 m;
        int flag;
        Euler expected;
        bool exact;
    };
    const std::vector<Case> cases = {
        {"identity, no negative zeros", identity3(), 0, {0.0, 0.0, 0.0}, true},
        {"identity, resolving", identity3(), 1, {0.0, 0.0, 0.0}, true},
        {"known angles", known, 0, {0.3, -0.7, 1.1}, false},
        {"known angles, resolving", known, 1, {0.3, -0.7, 1.1}, false},
        // Heading a quarter turn at the upper pole: all of it goes to heading.
        {"pole resolved", rows({0, 0, -1}, {1, 0, 0}, {0, -1, 0}), 1, {kHalfPi, kHalfPi, 0.0}, true},
        // Without resolution both arctangents see (0, 0).
        {"pole not resolved", rows({0, 0, -1}, {1, 0, 0}, {0, -1, 0}), 0, {0.0, kHalfPi, 0.0}, true},
        {"m21 above 1 is the lower pole", rows({1, 0, 0}, {0, 0, -1}, {0, 1.5, 0}), 1, {0.0, -kHalfPi, 0.0}, true},
        {"m21 below -1 is the upper pole",
         rows({1, 0, 0}, {0, 0, 1}, {0, -1.0000001, 0}),
         1,
         {0.0, kHalfPi, 0.0},
         true},
        {"heading below tiny snaps to +0", rows({1, 0, 0}, {0, 1, 0}, {-1e-17, 0, 1}), 0, {0.0, 0.0, 0.0}, true},
        {"pitch below tiny snaps to +0", rows({1, 0, 0}, {0, 1, 0}, {0, 1e-17, 1}), 0, {0.0, 0.0, 0.0}, true},
        {"bank below tiny snaps to +0", rows({1, -2e-16, 0}, {0, 1, 0}, {0, 0, 1}), 0, {0.0, 0.0, 0.0}, true},
        {"angles of exactly tiny snap to +0",
         rows({1, kTiny, 0}, {0, 1, 0}, {kTiny, -kTiny, 1}),
         0,
         {0.0, 0.0, 0.0},
         true},
        {"angles just above tiny are kept",
         rows({1, 3e-16, 0}, {0, 1, 0}, {3e-16, 0, 1}),
         0,
         {3e-16, 0.0, 3e-16},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Euler e = {kNaN, kNaN, kNaN};
        euler_from_mat3(e, c.m, c.flag);
        if (c.exact) {
            EXPECT_TRUE(same(e.heading, c.expected.heading));
            EXPECT_TRUE(same(e.pitch, c.expected.pitch));
            EXPECT_TRUE(same(e.bank, c.expected.bank));
        } else {
            EXPECT_NEAR(e.heading, c.expected.heading, 1e-14);
            EXPECT_NEAR(e.pitch, c.expected.pitch, 1e-14);
            EXPECT_NEAR(e.bank, c.expected.bank, 1e-14);
        }
    }
}

TEST(EulerFromMat3, NaNPitchSkipsGimbalLock) {
    Euler e;
    euler_from_mat3(e, rows({1, 0, 0}, {0, 1, 0}, {0.5, kNaN, 0.5}), 1);
    EXPECT_TRUE(std::isnan(e.pitch));
    EXPECT_NEAR(e.heading, kPi / 4, 1e-15);  // from m20 and m22, not from m00 and m02
    EXPECT_TRUE(same(e.bank, 0.0));
}

TEST(EulerFromMat3, RoundTripAwayFromThePoles) {
    Rng rng(1008);
    for (int i = 0; i < 2000; ++i) {
        const Euler e = {rng.uniform(-kPi + 1e-3, kPi - 1e-3), rng.uniform(-kHalfPi + 1e-2, kHalfPi - 1e-2),
                         rng.uniform(-kPi + 1e-3, kPi - 1e-3)};
        Mat3 m;
        mat3_from_euler(m, e);
        Euler plain, resolved;
        euler_from_mat3(plain, m, 0);
        euler_from_mat3(resolved, m, 1);
        EXPECT_NEAR(plain.heading, e.heading, 1e-12);
        EXPECT_NEAR(plain.pitch, e.pitch, 1e-12);
        EXPECT_NEAR(plain.bank, e.bank, 1e-12);
        // Away from the poles the flag changes nothing.
        EXPECT_TRUE(same(resolved.heading, plain.heading));
        EXPECT_TRUE(same(resolved.pitch, plain.pitch));
        EXPECT_TRUE(same(resolved.bank, plain.bank));
    }
}

TEST(EulerFromMat3, RoundTripAtThePoles) {
    Rng rng(1009);
    for (int i = 0; i < 1000; ++i) {
        const double pitch = (i & 1) ? kHalfPi : -kHalfPi;
        const Euler e = {rng.uniform(-kPi + 1e-3, kPi - 1e-3), pitch, rng.uniform(-kPi + 1e-3, kPi - 1e-3)};
        Mat3 m;
        mat3_from_euler(m, e);
        SCOPED_TRACE(testing::Message() << "heading " << e.heading << " pitch " << pitch << " bank " << e.bank);

        // cos(kHalfPi) is not zero, so the built matrix still carries heading
        // and bank apart in its tiny entries and the plain formula finds them.
        Euler plain;
        euler_from_mat3(plain, m, 0);
        EXPECT_TRUE(same(plain.pitch, pitch));
        EXPECT_NEAR(plain.heading, e.heading, 1e-12);
        EXPECT_NEAR(plain.bank, e.bank, 1e-12);

        // Resolved: bank is +0.0 and heading takes the combined turn about
        // the vertical, H - B at the upper pole and H + B at the lower.
        Euler resolved;
        euler_from_mat3(resolved, m, 1);
        EXPECT_TRUE(same(resolved.pitch, pitch));
        EXPECT_TRUE(same(resolved.bank, 0.0));
        const double combined = pitch > 0 ? e.heading - e.bank : e.heading + e.bank;
        EXPECT_NEAR(wrap(resolved.heading - combined), 0.0, 1e-12);
        Mat3 back;
        mat3_from_euler(back, resolved);
        expect_near(back, m, 1e-12);
    }
}

// ---- Quaternions and matrices -----------------------------------------------

TEST(QuatFromMat3, Table) {
    const double r = std::sqrt(2.0) * 0.5;  // s of a component whose t is 1
    const double h2 = 2.0 * (0.25 / r);     // the others, through h
    struct Case {
        const char *what;
        Mat3 m;
        Quat expected;
    };
    const std::vector<Case> cases = {
        {"identity", identity3(), {0, 0, 0, 1}},
        {"half turn about X", diag(1, -1, -1), {1, 0, 0, 0}},
        {"half turn about Y", diag(-1, 1, -1), {0, 1, 0, 0}},
        {"half turn about Z", diag(-1, -1, 1), {0, 0, 1, 0}},
        // tx == ty: x keeps the pick, so x is s and y comes through h.
        {"x and y tie", rows({0, 1, 0}, {1, 0, 0}, {0, 0, -1}), {r, h2, 0, 0}},
        // ty == tz with x lower: y keeps the pick.
        {"y and z tie", rows({-1, 0, 0}, {0, 0, 1}, {0, 1, 0}), {0, r, h2, 0}},
        // trace == tx: the trace must be strictly greater, so x is picked.
        {"trace and x tie", rows({1, 0, 0}, {0, 0, 1}, {0, -1, 0}), {r, 0, 0, h2}},
        // A quarter turn about -Y: w and the y pick tie the same way.
        {"trace and y tie", rows({0, 0, 1}, {0, 1, 0}, {-1, 0, 0}), {0, r, 0, -h2}},
    };
    ASSERT_NE(bits(r), bits(h2));  // the ties above would not show otherwise
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Quat q = {kNaN, kNaN, kNaN, kNaN};
        quat_from_mat3(q, c.m);
        EXPECT_EQ(q.x, c.expected.x);
        EXPECT_EQ(q.y, c.expected.y);
        EXPECT_EQ(q.z, c.expected.z);
        EXPECT_EQ(q.w, c.expected.w);
    }
}

TEST(QuatFromMat3, IdentityHasPositiveZeros) {
    Quat q;
    quat_from_mat3(q, identity3());
    expect_same(q, {0.0, 0.0, 0.0, 1.0});
}

TEST(QuatFromMat3, RoundTripThroughEveryBranch) {
    Rng rng(1010);
    // Each pass forces the largest component into one slot, so every branch
    // of the pick (x, y, z, and the trace for w) is taken; the picked
    // component comes out positive, which shows the branch that ran.
    for (int slot = 0; slot < 4; ++slot) {
        SCOPED_TRACE(testing::Message() << "largest component "
                                        << "xyzw"[slot]);
        for (int i = 0; i < 500; ++i) {
            const Quat u = rng.unit_quat();
            double c[4] = {u.x, u.y, u.z, u.w};
            int big = 0;
            for (int k = 1; k < 4; ++k)
                if (std::fabs(c[k]) > std::fabs(c[big])) big = k;
            std::swap(c[big], c[slot]);
            const Quat q = {c[0], c[1], c[2], c[3]};

            Mat3 m, back;
            Quat got;
            quat_to_mat3(m, q);
            quat_from_mat3(got, m);
            const double g[4] = {got.x, got.y, got.z, got.w};
            EXPECT_GT(g[slot], 0.0);
            const double sign = c[slot] > 0 ? 1.0 : -1.0;
            expect_near(got, {sign * q.x, sign * q.y, sign * q.z, sign * q.w}, 1e-14);
            quat_to_mat3(back, got);
            expect_near(back, m, 1e-14);
        }
    }
}

TEST(QuatToMat3, Table) {
    const double s = std::sin(kPi / 4), c = std::cos(kPi / 4);
    struct Case {
        const char *what;
        Quat q;
        Mat3 expected;
    };
    const std::vector<Case> cases = {
        {"identity", {0, 0, 0, 1}, identity3()},
        {"negated identity", {0, 0, 0, -1}, identity3()},
        {"half turn about X", {1, 0, 0, 0}, diag(1, -1, -1)},
        {"quarter turn about Z takes X to Y", {0, 0, s, c}, rot_z(kPi / 2)},
        {"quarter turn about X", {s, 0, 0, c}, rot_x(kPi / 2)},
        {"quarter turn about Y", {0, s, 0, c}, rot_y(kPi / 2)},
    };
    for (const Case &cs : cases) {
        SCOPED_TRACE(cs.what);
        Mat3 m = kSentinelM3;
        quat_to_mat3(m, cs.q);
        expect_near(m, cs.expected, 1e-15);
    }
}

TEST(QuatToMat3, UnitQuaternionsGiveRotations) {
    Rng rng(1011);
    for (int i = 0; i < 300; ++i) {
        Mat3 m;
        quat_to_mat3(m, rng.unit_quat());
        expect_near(mul(m, transpose(m)), identity3(), 1e-14);
        EXPECT_NEAR(det(m), 1.0, 1e-14);
    }
}

TEST(QuatFromAxisAngle, Table) {
    struct Case {
        const char *what;
        Vec3 axis;
        double angle;
        Quat expected;
    };
    const std::vector<Case> cases = {
        {"zero angle", {0, 0, 1}, 0.0, {0, 0, 0, 1}},
        {"quarter about Z", {0, 0, 1}, kPi / 2, {0, 0, std::sin(kPi / 4), std::cos(kPi / 4)}},
        {"half about X", {1, 0, 0}, kPi, {1, 0, 0, std::cos(kPi / 2)}},
        {"axis used as given", {0, 2, 0}, 1.0, {0, 2 * std::sin(0.5), 0, std::cos(0.5)}},
        {"zero axis", {0, 0, 0}, 1.0, {0, 0, 0, std::cos(0.5)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Quat q = {kNaN, kNaN, kNaN, kNaN};
        quat_from_axis_angle(q, c.axis, c.angle);
        // The platform's sin and cos may differ from the compiler's folded
        // constants near zero (cos(pi/2)), so compare with a small margin.
        EXPECT_NEAR(q.x, c.expected.x, 1e-16);
        EXPECT_NEAR(q.y, c.expected.y, 1e-16);
        EXPECT_NEAR(q.z, c.expected.z, 1e-16);
        EXPECT_NEAR(q.w, c.expected.w, 1e-16);
    }
}

TEST(QuatFromAxisAngle, AgreesWithTheElementaryRotations) {
    Rng rng(1012);
    for (int i = 0; i < 100; ++i) {
        const double a = rng.uniform(-7, 7);
        Quat q;
        Mat3 m;
        quat_from_axis_angle(q, {1, 0, 0}, a);
        quat_to_mat3(m, q);
        expect_near(m, rot_x(a), 1e-15);
        quat_from_axis_angle(q, {0, 1, 0}, a);
        quat_to_mat3(m, q);
        expect_near(m, rot_y(a), 1e-15);
        quat_from_axis_angle(q, {0, 0, 1}, a);
        quat_to_mat3(m, q);
        expect_near(m, rot_z(a), 1e-15);
    }
}

// ---- quat_slerp -------------------------------------------------------------

TEST(QuatSlerp, Table) {
    const Quat one = {0, 0, 0, 1};
    const Quat turn = {0, 0, std::sin(0.5), std::cos(0.5)};  // 1 radian about Z
    const Quat neg_turn = {-turn.x, -turn.y, -turn.z, -turn.w};
    struct Case {
        const char *what;
        Quat a, b;
        double t;
        Quat expected;
        bool exact;
    };
    const std::vector<Case> cases = {
        {"opposite gives a at 0.5", one, {0, 0, 0, -1}, 0.5, one, true},
        {"opposite gives a at 1", one, {0, 0, 0, -1}, 1.0, one, true},
        {"opposite gives a at -3", one, {0, 0, 0, -1}, -3.0, one, true},
        {"equal gives a", turn, turn, 0.25, turn, true},
        {"within tolerance of parallel gives a", one, {0, 0, std::sin(1e-4), std::cos(1e-4)}, 0.5, one, true},
        {"halfway", one, turn, 0.5, {0, 0, std::sin(0.25), std::cos(0.25)}, false},
        {"t = 0", one, turn, 0.0, one, false},
        {"t = 1", one, turn, 1.0, turn, false},
        {"shorter way round", one, neg_turn, 0.5, {0, 0, std::sin(0.25), std::cos(0.25)}, false},
        {"orthogonal keeps b's sign", one, {0, 0, 1, 0}, 0.5, {0, 0, std::sqrt(0.5), std::sqrt(0.5)}, false},
        {"extrapolated", one, turn, 2.0, {0, 0, std::sin(1.0), std::cos(1.0)}, false},
        {"extrapolated backwards", one, turn, -1.0, {0, 0, std::sin(-0.5), std::cos(-0.5)}, false},
        {"just outside tolerance interpolates",
         one,
         {0, 0, std::sin(1e-3), std::cos(1e-3)},
         0.5,
         {0, 0, std::sin(5e-4), std::cos(5e-4)},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Quat q = {kNaN, kNaN, kNaN, kNaN};
        quat_slerp(q, c.a, c.b, c.t);
        if (c.exact)
            expect_same(q, c.expected);
        else
            expect_near(q, c.expected, 1e-15);
    }
}

TEST(QuatSlerp, RandomStaysUnitAndSplitsTheAngle) {
    Rng rng(1013);
    for (int i = 0; i < 500; ++i) {
        const Quat a = rng.unit_quat(), b = rng.unit_quat();
        const double t = rng.uniform(0, 1);
        Quat q;
        quat_slerp(q, a, b, t);
        EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-13);
        const double ab = std::fabs(a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w);
        const double aq = std::fabs(a.x * q.x + a.y * q.y + a.z * q.z + a.w * q.w);
        EXPECT_NEAR(std::acos(std::fmin(aq, 1.0)), t * std::acos(ab), 1e-7);
    }
}

// ---- Transforming vectors ---------------------------------------------------

TEST(QuatRotate, Table) {
    const double s = std::sin(kPi / 4), c = std::cos(kPi / 4);
    struct Case {
        const char *what;
        Vec3 v;
        Quat q;
        Vec3 expected;
    };
    const std::vector<Case> cases = {
        {"X a quarter about Z is Y", {1, 0, 0}, {0, 0, s, c}, {0, 1, 0}},
        {"Y a quarter about X is Z", {0, 1, 0}, {s, 0, 0, c}, {0, 0, 1}},
        {"Z a quarter about Y is X", {0, 0, 1}, {0, s, 0, c}, {1, 0, 0}},
        {"the axis stays", {0, 0, 3}, {0, 0, s, c}, {0, 0, 3}},
        // No vector part: v scaled by w squared.
        {"zero axis scales",
         {2, -4, 6},
         {0, 0, 0, std::cos(0.5)},
         {2 * std::cos(0.5) * std::cos(0.5), -4 * std::cos(0.5) * std::cos(0.5), 6 * std::cos(0.5) * std::cos(0.5)}},
    };
    for (const Case &cs : cases) {
        SCOPED_TRACE(cs.what);
        Vec3 out = kSentinel3;
        quat_rotate(out, cs.v, cs.q);
        expect_near(out, cs.expected, 1e-15);
    }
}

TEST(QuatRotate, IdentityQuaternionLeavesVectorsExactly) {
    Vec3 out;
    quat_rotate(out, {1.25, -3.5, 1e-300}, {0, 0, 0, 1});
    expect_same(out, {1.25, -3.5, 1e-300});
}

TEST(QuatRotate, MatchesTheMatrixOfAUnitQuaternion) {
    Rng rng(1014);
    for (int i = 0; i < 2000; ++i) {
        const Quat q = rng.unit_quat();
        const Vec3 v = rng.vec(100);
        Mat3 m;
        quat_to_mat3(m, q);
        Vec3 by_quat, by_matrix;
        quat_rotate(by_quat, v, q);
        vec_mul_mat3(by_matrix, v, m);
        expect_near(by_quat, by_matrix, 1e-12);
    }
}

TEST(VecMulMat3, Table) {
    const Mat3 m = rows({1, 2, 3}, {4, 5, 6}, {7, 8, 9});
    struct Case {
        const char *what;
        Vec3 v;
        Mat3 m;
        Vec3 expected;
    };
    const std::vector<Case> cases = {
        {"X picks row 0", {1, 0, 0}, m, {1, 2, 3}},
        {"Y picks row 1", {0, 1, 0}, m, {4, 5, 6}},
        {"Z picks row 2", {0, 0, 1}, m, {7, 8, 9}},
        {"combination of rows", {1, -1, 2}, m, {1 - 4 + 14, 2 - 5 + 16, 3 - 6 + 18}},
        {"only Fwd set", {0, 0, 1}, rows({1, 0, 0}, {0, 1, 0}, {0, 2, 0}), {0, 2, 0}},
        {"identity", {-1.5, 2.25, 1e-300}, identity3(), {-1.5, 2.25, 1e-300}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Vec3 out = kSentinel3;
        vec_mul_mat3(out, c.v, c.m);
        EXPECT_EQ(out.x, c.expected.x);
        EXPECT_EQ(out.y, c.expected.y);
        EXPECT_EQ(out.z, c.expected.z);
    }
}

TEST(PointMulMat4, Table) {
    Mat4 id;
    mat4_identity(id);
    Mat4 moved = id;
    moved.row[3] = {5, 0, 0, 1};
    Mat4 projective = affine(rows({1, 2, 3}, {4, 5, 6}, {7, 8, 9}), {10, 20, 30}, kNaN);
    struct Case {
        const char *what;
        Vec3 p;
        Mat4 m;
        Vec3 expected;
    };
    const std::vector<Case> cases = {
        {"identity", {1, 2, 3}, id, {1, 2, 3}},
        {"translation row added", {0, 0, 1}, moved, {5, 0, 1}},
        {"origin goes to the translation", {0, 0, 0}, projective, {10, 20, 30}},
        {"column 3 ignored", {1, -1, 2}, projective, {1 - 4 + 14 + 10, 2 - 5 + 16 + 20, 3 - 6 + 18 + 30}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Vec3 out = kSentinel3;
        point_mul_mat4(out, c.p, c.m);
        EXPECT_EQ(out.x, c.expected.x);
        EXPECT_EQ(out.y, c.expected.y);
        EXPECT_EQ(out.z, c.expected.z);
    }
}

// ---- Order of evaluation ----------------------------------------------------
//
// Results must be bit-identical on every target, so the routines whose
// formulas fix the order of their operations are checked, bit for bit,
// against the formulas written out term by term.

TEST(EvaluationOrder, MatchesTheFormulasBitForBit) {
    Rng rng(3001);
    for (int i = 0; i < 200; ++i) {
        const Mat3 a = rng.mat(3), b = rng.mat(3);
        const double m00 = at(a, 0, 0), m01 = at(a, 0, 1), m02 = at(a, 0, 2);
        const double m10 = at(a, 1, 0), m11 = at(a, 1, 1), m12 = at(a, 1, 2);
        const double m20 = at(a, 2, 0), m21 = at(a, 2, 1), m22 = at(a, 2, 2);
        const Vec3 v = rng.vec(5);

        Vec3 n;
        ASSERT_EQ(vec_normalize(n, v), 0);
        const double k = 1.0 / std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        expect_same(n, {v.x * k, v.y * k, v.z * k});

        const Mat3 c = mul(a, b);
        for (int r = 0; r < 3; ++r)
            for (int j = 0; j < 3; ++j)
                EXPECT_TRUE(same(at(c, r, j),
                                 at(a, r, 0) * at(b, 0, j) + at(a, r, 1) * at(b, 1, j) + at(a, r, 2) * at(b, 2, j)));

        Mat3 inv;
        if (mat3_inverse(inv, a) == 0) {
            const double c00 = m11 * m22 - m12 * m21, c01 = m12 * m20 - m10 * m22, c02 = m10 * m21 - m11 * m20;
            const double d = 1.0 / (m00 * c00 + m01 * c01 + m02 * c02);
            expect_same(inv, rows({c00 * d, (m02 * m21 - m01 * m22) * d, (m01 * m12 - m02 * m11) * d},
                                  {c01 * d, (m00 * m22 - m02 * m20) * d, (m02 * m10 - m00 * m12) * d},
                                  {c02 * d, (m01 * m20 - m00 * m21) * d, (m00 * m11 - m01 * m10) * d}));
            Mat4 inv4;
            ASSERT_EQ(mat4_inverse_affine(inv4, affine(a, v)), 0);
            EXPECT_TRUE(same(inv4.row[3].x, -(v.x * at(inv, 0, 0) + v.y * at(inv, 1, 0) + v.z * at(inv, 2, 0))));
            EXPECT_TRUE(same(inv4.row[3].y, -(v.x * at(inv, 0, 1) + v.y * at(inv, 1, 1) + v.z * at(inv, 2, 1))));
            EXPECT_TRUE(same(inv4.row[3].z, -(v.x * at(inv, 0, 2) + v.y * at(inv, 1, 2) + v.z * at(inv, 2, 2))));
        }

        Vec3 t;
        vec_mul_mat3(t, v, a);
        expect_same(t, {v.x * m00 + v.y * m10 + v.z * m20, v.x * m01 + v.y * m11 + v.z * m21,
                        v.x * m02 + v.y * m12 + v.z * m22});
        const Vec3 tr = rng.vec(5);
        point_mul_mat4(t, v, affine(a, tr));
        expect_same(t, {v.x * m00 + v.y * m10 + v.z * m20 + tr.x, v.x * m01 + v.y * m11 + v.z * m21 + tr.y,
                        v.x * m02 + v.y * m12 + v.z * m22 + tr.z});

        const Quat q = rng.unit_quat();
        const double x = q.x, y = q.y, z = q.z, w = q.w;
        Mat3 qm;
        quat_to_mat3(qm, q);
        expect_same(qm, rows({1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)},
                             {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)},
                             {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)}));

        const Euler e = {rng.uniform(-4, 4), rng.uniform(-4, 4), rng.uniform(-4, 4)};
        const double sH = std::sin(e.heading), cH = std::cos(e.heading);
        const double sP = std::sin(e.pitch), cP = std::cos(e.pitch);
        const double sB = std::sin(e.bank), cB = std::cos(e.bank);
        Mat3 em;
        mat3_from_euler(em, e);
        expect_same(em, rows({cH * cB + sH * sP * sB, cP * sB, cH * sP * sB - sH * cB},
                             {sH * sP * cB - cH * sB, cP * cB, sH * sB + cH * sP * cB}, {sH * cP, -sP, cH * cP}));
        mat3_from_euler_reversed(em, e);
        expect_same(em, rows({cH * cB - sH * sP * sB, cH * sB + sH * sP * cB, -sH * cP}, {-cP * sB, cP * cB, sP},
                             {sH * cB + cH * sP * sB, sH * sB - cH * sP * cB, cH * cP}));
    }
}

// ---- Output in the same storage as an input ---------------------------------
//
// Each routine whose output has the type of an input is run with the output
// in that input's storage and must give exactly the separate-storage result.

TEST(Aliasing, VecNormalize) {
    Rng rng(2001);
    for (int i = 0; i < 50; ++i) {
        Vec3 v = rng.vec(10), separate;
        ASSERT_EQ(vec_normalize(separate, v), 0);
        ASSERT_EQ(vec_normalize(v, v), 0);
        expect_same(v, separate);
    }
    Vec3 zero = {0, 0, 0};
    EXPECT_EQ(vec_normalize(zero, zero), 1);
    expect_same(zero, {0, 0, 0});
}

TEST(Aliasing, Mat3Mul) {
    Rng rng(2002);
    for (int i = 0; i < 50; ++i) {
        const Mat3 a = rng.mat(3), b = rng.mat(3);
        Mat3 separate, aa;
        mat3_mul(separate, a, b);
        mat3_mul(aa, a, a);

        Mat3 left = a;  // c is a
        mat3_mul(left, left, b);
        expect_same(left, separate);
        Mat3 right = b;  // c is b
        mat3_mul(right, a, right);
        expect_same(right, separate);
        Mat3 all = a;  // c, a and b all one
        mat3_mul(all, all, all);
        expect_same(all, aa);
    }
}

TEST(Aliasing, Mat3Transpose) {
    Rng rng(2003);
    Mat3 m = rng.mat(3), separate;
    mat3_transpose(separate, m);
    mat3_transpose(m, m);
    expect_same(m, separate);
}

TEST(Aliasing, Mat3Inverse) {
    Rng rng(2004);
    for (int i = 0; i < 50; ++i) {
        Mat3 m = rng.mat(3), separate;
        if (std::fabs(det(m)) < 0.1) continue;
        ASSERT_EQ(mat3_inverse(separate, m), 0);
        ASSERT_EQ(mat3_inverse(m, m), 0);
        expect_same(m, separate);
    }
    Mat3 singular = rows({1, 2, 3}, {2, 4, 6}, {0, 0, 1});
    const Mat3 before = singular;
    EXPECT_EQ(mat3_inverse(singular, singular), 1);
    expect_same(singular, before);
}

TEST(Aliasing, Mat4InverseAffine) {
    Rng rng(2005);
    for (int i = 0; i < 50; ++i) {
        const Mat3 r = rng.mat(3);
        if (std::fabs(det(r)) < 0.1) continue;
        Mat4 m = affine(r, rng.vec(10), 2.0), separate;
        ASSERT_EQ(mat4_inverse_affine(separate, m), 0);
        ASSERT_EQ(mat4_inverse_affine(m, m), 0);
        expect_same(m, separate);
    }
    Mat4 singular = affine(rows({1, 2, 3}, {2, 4, 6}, {0, 0, 1}), {1, 2, 3}, 7.0);
    const Mat4 before = singular;
    EXPECT_EQ(mat4_inverse_affine(singular, singular), 1);
    expect_same(singular, before);
}

TEST(Aliasing, QuatSlerp) {
    Rng rng(2006);
    for (int i = 0; i < 50; ++i) {
        const Quat a = rng.unit_quat(), b = rng.unit_quat();
        const double t = rng.uniform(-0.5, 1.5);
        Quat separate;
        quat_slerp(separate, a, b, t);
        Quat qa = a;
        quat_slerp(qa, qa, b, t);
        expect_same(qa, separate);
        Quat qb = b;
        quat_slerp(qb, a, qb, t);
        expect_same(qb, separate);
    }
}

TEST(Aliasing, QuatRotate) {
    Rng rng(2007);
    for (int i = 0; i < 50; ++i) {
        const Quat q = rng.unit_quat();
        Vec3 v = rng.vec(10), separate;
        quat_rotate(separate, v, q);
        quat_rotate(v, v, q);
        expect_same(v, separate);
    }
}

TEST(Aliasing, VecMulMat3) {
    Rng rng(2008);
    for (int i = 0; i < 50; ++i) {
        const Mat3 m = rng.mat(3);
        Vec3 v = rng.vec(10), separate;
        vec_mul_mat3(separate, v, m);
        vec_mul_mat3(v, v, m);
        expect_same(v, separate);
        // A row of the matrix as the output (a node transforming its own rows).
        for (int k = 0; k < 3; ++k) {
            Mat3 own = m;
            const Vec3 p = rng.vec(10);
            vec_mul_mat3(separate, p, own);
            vec_mul_mat3(own.row[k], p, own);
            expect_same(own.row[k], separate);
        }
    }
}

TEST(Aliasing, PointMulMat4) {
    Rng rng(2009);
    for (int i = 0; i < 50; ++i) {
        const Mat3 r = rng.mat(3);
        const Mat4 m = affine(r, rng.vec(10));
        Vec3 p = rng.vec(10), separate;
        point_mul_mat4(separate, p, m);
        point_mul_mat4(p, p, m);
        expect_same(p, separate);
    }
}
