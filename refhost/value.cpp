#include "refhost/value.h"

#include "support/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace refhost {

using support::number_text;

const char *type_name(int type) {
    switch (type) {
    case QV_TYPE_COLOR: return "color";
    case QV_TYPE_SCALAR: return "scalar";
    case QV_TYPE_VECTOR: return "vector";
    case QV_TYPE_INTEGER: return "integer";
    case QV_TYPE_MATERIAL: return "material";
    default: return "unknown";
    }
}

int type_from_name(const std::string &name) {
    for (int t : {QV_TYPE_COLOR, QV_TYPE_SCALAR, QV_TYPE_VECTOR, QV_TYPE_INTEGER, QV_TYPE_MATERIAL})
        if (name == type_name(t)) return t;
    return 0;
}

Value Value::scalar(double v) {
    Value r;
    r.type = QV_TYPE_SCALAR;
    std::memcpy(r.bytes, &v, sizeof v);
    return r;
}

Value Value::integer(int32_t v) {
    Value r;
    r.type = QV_TYPE_INTEGER;
    std::memcpy(r.bytes, &v, sizeof v);
    return r;
}

Value Value::triple(int type, double x, double y, double z) {
    Value r;
    r.type = type;
    const double d[3] = {x, y, z};
    std::memcpy(r.bytes, d, sizeof d);
    return r;
}

double Value::as_scalar() const {
    if (type == QV_TYPE_INTEGER) return as_integer();
    double d;
    std::memcpy(&d, bytes, sizeof d);
    return d;
}

int32_t Value::as_integer() const {
    int32_t i;
    std::memcpy(&i, bytes, sizeof i);
    return i;
}

bool can_convert(int from, int to) {
    if (type_size(from) == 0 || type_size(to) == 0) return false;
    if (from == to) return true;
    auto is_triple = [](int t) { return t == QV_TYPE_VECTOR || t == QV_TYPE_COLOR; };
    if ((from == QV_TYPE_SCALAR && to == QV_TYPE_INTEGER) || (from == QV_TYPE_INTEGER && to == QV_TYPE_SCALAR))
        return true;
    if (from == QV_TYPE_SCALAR && is_triple(to)) return true;
    return is_triple(from) && is_triple(to);
}

// A scalar becomes an integer by truncation toward zero, saturated to the
// 32-bit range; NaN gives 0.
static int32_t scalar_to_integer(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(d);
}

void convert_value(const Value &v, int to, void *dst) {
    if (v.type == to) {
        std::memcpy(dst, v.bytes, type_size(to));
        return;
    }
    if (to == QV_TYPE_INTEGER) {
        const int32_t i = scalar_to_integer(v.as_scalar());
        std::memcpy(dst, &i, sizeof i);
    } else if (to == QV_TYPE_SCALAR) {
        const double d = v.as_scalar();
        std::memcpy(dst, &d, sizeof d);
    } else if (v.type == QV_TYPE_SCALAR) {  // into a vector or colour
        const double d = v.as_scalar();
        const double t[3] = {d, d, d};
        std::memcpy(dst, t, sizeof t);
    } else {  // vector and colour into each other
        std::memcpy(dst, v.bytes, 3 * sizeof(double));
    }
}

static support::NumberRead parse_double(const std::string &s, double &out) {
    using support::NumberRead;
    if (s == "nan" || s == "NaN") {
        out = std::numeric_limits<double>::quiet_NaN();
        return NumberRead::ok;
    }
    if (s == "-nan" || s == "-NaN") {
        out = -std::numeric_limits<double>::quiet_NaN();
        return NumberRead::ok;
    }
    if (s == "inf" || s == "+inf") {
        out = std::numeric_limits<double>::infinity();
        return NumberRead::ok;
    }
    if (s == "-inf") {
        out = -std::numeric_limits<double>::infinity();
        return NumberRead::ok;
    }
    std::string_view text(s);
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    return support::read_number(text, out);
}

bool parse_value(int type, const std::string &text, Value &out, std::string &error) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    out = Value();
    out.type = type;
    if (type == QV_TYPE_INTEGER) {
        // Out of range too, the message names the type, whose range is known.
        int32_t i = 0;
        if (parts.size() != 1 || support::read_number(parts[0], i) != support::NumberRead::ok) {
            error = "'" + text + "' is not a 32-bit integer";
            return false;
        }
        std::memcpy(out.bytes, &i, sizeof i);
        return true;
    }
    const std::size_t count = type_size(type) / sizeof(double);
    if (count == 0) {
        error = "unknown connection type";
        return false;
    }
    if (parts.size() != count && !(parts.size() == 1 && count == 3)) {
        error = "'" + text + "' needs " + std::to_string(count) + " comma-separated numbers for a " + type_name(type);
        return false;
    }
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const support::NumberRead read = parse_double(parts[k], out.doubles()[k]);
        if (read == support::NumberRead::out_of_range) {
            error = "'" + parts[k] + "' is out of range (" + support::number_range_text<double>() + ")";
            return false;
        }
        if (read != support::NumberRead::ok) {
            error = "'" + parts[k] + "' is not a number";
            return false;
        }
    }
    if (parts.size() == 1 && count == 3) out.doubles()[1] = out.doubles()[2] = out.doubles()[0];
    return true;
}

std::string format_value(const Value &v) {
    if (v.type == QV_TYPE_INTEGER) return number_text(v.as_integer());
    const std::size_t count = type_size(v.type) / sizeof(double);
    std::string s;
    for (std::size_t k = 0; k < count; ++k) {
        if (k) s += ",";
        s += number_text(v.doubles()[k]);
    }
    return s;
}

}  // namespace refhost
