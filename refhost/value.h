// Values that travel on connections, as the host keeps them.
#pragma once

#include "host/host_api.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace refhost {

// Bytes a value of a connection type occupies; 0 for an unknown type.
// The material record is four colours of three doubles (diffuse, specular,
// reflection, refraction) and the transparency.
inline std::size_t type_size(int type) {
    switch (type) {
    case QV_TYPE_SCALAR: return sizeof(double);
    case QV_TYPE_INTEGER: return sizeof(int32_t);
    case QV_TYPE_COLOR:
    case QV_TYPE_VECTOR: return 3 * sizeof(double);
    case QV_TYPE_MATERIAL: return 13 * sizeof(double);
    default: return 0;
    }
}
const char *type_name(int type);
int type_from_name(const std::string &name);  // 0 when unknown

struct Value {
    int type = 0;  // 0: no value was set
    alignas(8) unsigned char bytes[128] = {};

    static Value scalar(double v);
    static Value integer(int32_t v);
    static Value triple(int type, double x, double y, double z);

    double as_scalar() const;
    int32_t as_integer() const;
    const double *doubles() const { return reinterpret_cast<const double *>(bytes); }
    double *doubles() { return reinterpret_cast<double *>(bytes); }
};

// Whether a value of type `from` may feed an input of type `to`: the same
// type, scalar and integer either way, scalar into vector or colour, and
// vector and colour into each other.
bool can_convert(int from, int to);

// Writes `v` converted to `to` into dst (type_size(to) bytes).
void convert_value(const Value &v, int to, void *dst);

// Copies a value of a type from src to dst: the evaluation path's copy, of
// the type's size exactly.
inline void copy_value_bytes(int type, void *dst, const void *src) {
    switch (type) {
    case QV_TYPE_SCALAR: std::memcpy(dst, src, sizeof(double)); break;
    case QV_TYPE_INTEGER: std::memcpy(dst, src, sizeof(int32_t)); break;
    case QV_TYPE_COLOR:
    case QV_TYPE_VECTOR: std::memcpy(dst, src, 3 * sizeof(double)); break;
    default: std::memcpy(dst, src, type_size(type)); break;
    }
}

// Parses "2", "1,2,3" or "13 comma-separated numbers" for a connection type;
// false with a message on error.
bool parse_value(int type, const std::string &text, Value &out, std::string &error);

// Text of a value: numbers in shortest round-trip form, comma-separated.
std::string format_value(const Value &v);

}  // namespace refhost
