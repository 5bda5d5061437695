// Numbers as text, as printed values show them; the scene text form's own
// rule for NaN is tested with the scene files.
#include "support/number_text.h"
#include "refhost/value.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(NumberText, DoublesFloatsAndIntegers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char *text;
    } doubles[] = {
        {0.1, "0.1"},
        {-0.0, "-0"},
        {1e30, "1e+30"},
        {1.0 / 3.0, "0.3333333333333333"},
        {DBL_MAX, "1.7976931348623157e+308"},
        {5e-324, "5e-324"},
        {inf, "inf"},
        {-inf, "-inf"},
        {nan, "nan"},
        {-nan, "-nan"},
    };
    for (const auto &c : doubles) EXPECT_EQ(support::number_text(c.value), c.text);

    const struct {
        float value;
        const char *text;
    } floats[] = {
        {0.1f, "0.1"},
        {16777216.0f, "16777216"},
        {FLT_MAX, "3.4028235e+38"},
        {-std::numeric_limits<float>::quiet_NaN(), "-nan"},
    };
    for (const auto &c : floats) EXPECT_EQ(support::number_text(c.value), c.text);

    EXPECT_EQ(support::number_text(std::numeric_limits<int32_t>::min()), "-2147483648");
    EXPECT_EQ(support::number_text(static_cast<int8_t>(-128)), "-128");
    EXPECT_EQ(support::number_text(static_cast<uint8_t>(255)), "255");
    EXPECT_EQ(support::number_text(std::numeric_limits<uint32_t>::max()), "4294967295");
}

// Printed values keep the sign of a NaN.
TEST(NumberText, FormatValueUsesIt) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(refhost::format_value(refhost::Value::triple(QV_TYPE_VECTOR, 0.1, -nan, -0.0)), "0.1,-nan,-0");
    EXPECT_EQ(refhost::format_value(refhost::Value::scalar(nan)), "nan");
    EXPECT_EQ(refhost::format_value(refhost::Value::integer(-7)), "-7");
}

// Reading tells a number out of range from text that is no number.
TEST(NumberText, ReadingTellsOutOfRangeFromNotANumber) {
    using support::NumberRead;
    const struct {
        const char *text;
        NumberRead as_double, as_int32;
    } cases[] = {
        {"1e999", NumberRead::out_of_range, NumberRead::not_a_number},
        {"-1e-999", NumberRead::out_of_range, NumberRead::not_a_number},
        {"5e-324", NumberRead::ok, NumberRead::not_a_number},
        {"2147483648", NumberRead::ok, NumberRead::out_of_range},
        {"-2147483648", NumberRead::ok, NumberRead::ok},
        {"1e9x", NumberRead::not_a_number, NumberRead::not_a_number},
        {" 1", NumberRead::not_a_number, NumberRead::not_a_number},
        {"", NumberRead::not_a_number, NumberRead::not_a_number},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        double d = 42;
        int32_t i = 42;
        EXPECT_EQ(support::read_number(c.text, d), c.as_double);
        EXPECT_EQ(support::read_number(c.text, i), c.as_int32);
        if (c.as_double != NumberRead::ok) EXPECT_EQ(d, 42);
    }
    EXPECT_EQ(support::number_range_text<int32_t>(), "-2147483648 to 2147483647");
    EXPECT_EQ(support::number_range_text<double>(),
              "-1.7976931348623157e+308 to 1.7976931348623157e+308, and 0 or no nearer to 0 than 5e-324");
}

}  // namespace
