// Numbers as text, written one way throughout the reference host: in scene
// files (text form) and in printed values.
#pragma once

#include <charconv>
#include <cmath>
#include <string>
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

}  // namespace support
