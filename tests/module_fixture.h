// Loading the built module for tests, as the application does.
#pragma once

#include "refhost/application.h"
#include "refhost/module_loader.h"
#include "refhost/network.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

// Leaves a test that needs something this build lacks.  GoogleTest's skip
// crashes the 32-bit Windows test program where Wine runs under qemu user
// emulation, so there the test ends early instead.
#if defined(_WIN32) && !defined(_WIN64)
#define QV_SKIP(why)                           \
    do {                                       \
        std::printf("  (not run: %s)\n", why); \
        return;                                \
    } while (0)
#else
#define QV_SKIP(why) GTEST_SKIP() << why
#endif

namespace qvtest {

// The checkout the tests were built from (examples/, tests/golden/).
inline std::filesystem::path source_dir() { return std::filesystem::path(__FILE__).parent_path().parent_path(); }

using refhost::kModuleFile;

// The module shared by tests that do not care about its service slots.
std::shared_ptr<refhost::Module> shared_module();

// A fresh copy of the module, whose service slots start empty.
std::shared_ptr<refhost::Module> fresh_module();

inline uint64_t bits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// Exact comparison that also tells NaN from NaN and -0.0 from 0.0.
inline ::testing::AssertionResult same_double(double expected, double actual) {
    if (std::isnan(expected) && std::isnan(actual)) return ::testing::AssertionSuccess();
    if (bits(expected) == bits(actual)) return ::testing::AssertionSuccess();
    char buf[160];
    std::snprintf(buf, sizeof buf, "expected %.17g (0x%016llx), got %.17g (0x%016llx)", expected,
                  static_cast<unsigned long long>(bits(expected)), actual,
                  static_cast<unsigned long long>(bits(actual)));
    return ::testing::AssertionFailure() << buf;
}

// Within a few units in the last place, for results of the platform's
// math library.
::testing::AssertionResult near_ulps(double expected, double actual, int ulps = 2);

inline ::testing::AssertionResult same_vector(const std::array<double, 3> &expected,
                                              const std::array<double, 3> &actual) {
    for (int i = 0; i < 3; ++i) {
        auto r = same_double(expected[i], actual[i]);
        if (!r) return r << " in component " << i;
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult near_vector(const std::array<double, 3> &expected,
                                              const std::array<double, 3> &actual, double tolerance = 1e-12) {
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(expected[i] - actual[i]) <= tolerance))
            return ::testing::AssertionFailure()
                   << "component " << i << ": expected " << expected[i] << ", got " << actual[i];
    return ::testing::AssertionSuccess();
}

// A network on the shared module, with the host's configuration reset.
class NetworkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    refhost::HostNode *make(const std::string &server);
    void feed(refhost::HostNode *n, const std::string &input, double v);
    double eval(refhost::HostNode *n, const std::string &output = "Out");
    using V3 = std::array<double, 3>;
    void feed_vector(refhost::HostNode *n, const std::string &input, const V3 &v);
    // Evaluates an output of any type into a Value.
    refhost::Value eval_value(refhost::HostNode *n, const std::string &output);
    V3 eval_vector(refhost::HostNode *n, const std::string &output = "Out");
    // Fills a node's stored values as the host does from a scene file's text.
    void load_text(refhost::HostNode *n, const std::string &text);
    std::string save_text(refhost::HostNode *n);

    std::unique_ptr<refhost::Network> net;
};

}  // namespace qvtest
