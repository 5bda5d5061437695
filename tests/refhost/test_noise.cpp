// The host's noise: gradient noise zero on the lattice and bounded, texture
// noise continuous and in 0 to 1, and the texture service offering it.
#include "tests/fixtures/module_fixture.h"

#include "refhost/noise.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace qvtest;
using refhost::Application;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(HostNoise, GradientNoiseIsZeroOnTheLatticeAndBounded) {
    for (int x = -3; x <= 3; ++x)
        for (int y = -3; y <= 3; ++y)
            for (int z = 250; z <= 260; ++z) EXPECT_TRUE(same_double(0.0, std::fabs(refhost::gradient_noise(x, y, z))));
    double lo = 0.0, hi = 0.0;
    for (int k = 0; k < 20000; ++k) {
        const double v = refhost::gradient_noise(k * 0.0137, k * 0.0071 - 3.0, std::sin(k * 0.01) * 5.0);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_GE(lo, -1.0);
    EXPECT_LE(hi, 1.0);
    EXPECT_LT(lo, -0.4);
    EXPECT_GT(hi, 0.4);
}

TEST(HostNoise, TextureNoiseIsContinuousAndInZeroToOne) {
    double prev[3] = {0.0, 0.0, 0.0};
    double p[3] = {0.0, 0.0, 0.0};
    double last = refhost::texture_noise(prev);
    for (int k = 1; k < 20000; ++k) {
        p[0] = k * 1e-3;
        p[1] = 0.25;
        p[2] = 20.0;
        const double v = refhost::texture_noise(p);
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
        if (k > 1) {
            EXPECT_LT(std::fabs(v - last), 0.01) << p[0];
        }
        last = v;
    }
    double far[3] = {1e12, -1e15, 3e300};
    const double v = refhost::texture_noise(far);
    EXPECT_GE(v, 0.0);
    EXPECT_LE(v, 1.0);
    double bad[3] = {kNaN, 0.0, kInf};
    EXPECT_TRUE(same_double(0.5, refhost::texture_noise(bad)));
    // Round positions do not all sit on the mid value.
    double round[3] = {3.0, 0.0, 20.0};
    EXPECT_NE(refhost::texture_noise(round), 0.5);
}

TEST(HostNoise, TheServiceOffersNoiseAtOperation24) {
    auto global = Application::get().global_function();
    Application::get().reset_config();
    const auto *t = static_cast<const QvTextureFuncs *>(global("Texture Functions 3", 0));
    ASSERT_NE(t, nullptr);
    void *const *words = reinterpret_cast<void *const *>(t);
    for (int k = 0; k < 23; ++k) EXPECT_EQ(words[k], nullptr) << k;
    ASSERT_NE(t->noise, nullptr);
    double p[3] = {1.5, 2.5, 3.5};
    EXPECT_TRUE(same_double(refhost::texture_noise(p), t->noise(p)));
}
