// The kinds of option panel; each has one NodeInterface activation.
#pragma once

#include <cstdint>

namespace qv {

// clang-format off
#define QV_PANEL_KINDS(X) \
    X(none)                          \
    X(one_value)                     \
    X(plain_two_value)               \
    X(two_value)                     \
    X(four_value)                    \
    X(sign_mode)                     \
    X(power)                         \
    X(angle)                         \
    X(four_value_angle)              \
    X(clamp)                         \
    X(distance)                      \
    X(scalar_dot)                    \
    X(two_vector)                    \
    X(vector_clamp)                  \
    X(normalize)                     \
    X(axis_rotation)                 \
    X(frame)                         \
    X(map_range)                     \
    X(noise)                         \
    X(viewer)                        \
    X(invert)                        \
    X(replace)                       \
    X(test)                          \
    X(ratio)                         \
    X(one_comparison)                \
    X(two_comparison)                \
    X(one_comparison_vector)         \
    X(two_comparison_vector)
// clang-format on

enum class PanelKind : uint8_t {
#define QV_PANEL_ENUM(name) name,
    QV_PANEL_KINDS(QV_PANEL_ENUM)
#undef QV_PANEL_ENUM
};

constexpr int kPanelKindCount = 0
#define QV_PANEL_COUNT(name) +1
    QV_PANEL_KINDS(QV_PANEL_COUNT)
#undef QV_PANEL_COUNT
    ;

}  // namespace qv
