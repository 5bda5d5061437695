// Numbers as text, written and read one way throughout the reference host:
// in scene files (text form), in printed values and in values given as text.
#pragma once

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace support {

// Integers in decimal.  Floats and doubles as the shortest text that reads
// back as the same value ("0.1", "-0", "1e+30"); infinities are "inf" and
// "-inf", and a NaN is "nan", or "-nan" when its sign bit is set (its payload
// is not shown).  The text does not depend on the locale.
template <class T>
std::string number_text(T v) {
    static_assert(std::is_arithmetic<T>::value && !std::is_same<T, bool>::value, "number_text takes a number");
    if constexpr (std::is_floating_point<T>::value) {
        if (std::isnan(v)) return std::signbit(v) ? "-nan" : "nan";
    }
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);  // floats: shortest round trip
    return std::string(buf, r.ptr);
}

// What reading a number from text found.
enum class NumberRead { ok, not_a_number, out_of_range };

// The whole of `text` as a decimal number of type T (no sign but "-", no
// space, no locale): out_of_range when it is a number that T cannot hold (an
// integer beyond T's range, a real whose magnitude is too large or too small
// for T and not 0), leaving `out` untouched unless ok.
template <class T>
NumberRead read_number(std::string_view text, T &out) {
    static_assert(std::is_arithmetic<T>::value && !std::is_same<T, bool>::value, "read_number reads a number");
    const char *b = text.data(), *e = b + text.size();
    T v{};
    std::from_chars_result r{};
    if constexpr (std::is_floating_point<T>::value)
        r = std::from_chars(b, e, v, std::chars_format::general);
    else
        r = std::from_chars(b, e, v, 10);
    if (b == e || r.ptr != e) return NumberRead::not_a_number;
    if (r.ec == std::errc::result_out_of_range) return NumberRead::out_of_range;
    if (r.ec != std::errc()) return NumberRead::not_a_number;
    out = v;
    return NumberRead::ok;
}

// The numbers T holds, as a message gives them: "-2147483648 to 2147483647";
// for reals "-1.7976931348623157e+308 to 1.7976931348623157e+308, and 0 or
// no nearer to 0 than 5e-324".
template <class T>
std::string number_range_text() {
    using limits = std::numeric_limits<T>;
    std::string range = number_text(limits::lowest()) + " to " + number_text(limits::max());
    if constexpr (std::is_floating_point<T>::value)
        range += ", and 0 or no nearer to 0 than " + number_text(limits::denorm_min());
    return range;
}

}  // namespace support
