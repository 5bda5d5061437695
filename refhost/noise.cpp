#include "refhost/noise.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace refhost {

namespace {

// A fixed shuffle of 0..255 (Fisher-Yates driven by a 32-bit linear
// congruential generator with a fixed seed), doubled so that lookups of
// i + table[j] need no wrap.
constexpr std::array<uint8_t, 512> make_permutation() {
    std::array<uint8_t, 256> p{};
    for (int i = 0; i < 256; ++i) p[i] = static_cast<uint8_t>(i);
    uint32_t state = 0x51ED2701u;
    for (int i = 255; i > 0; --i) {
        state = state * 1664525u + 1013904223u;
        const int j = static_cast<int>((state >> 8) % static_cast<uint32_t>(i + 1));
        const uint8_t t = p[i];
        p[i] = p[j];
        p[j] = t;
    }
    std::array<uint8_t, 512> doubled{};
    for (int i = 0; i < 512; ++i) doubled[i] = p[i & 255];
    return doubled;
}

constexpr std::array<uint8_t, 512> kPerm = make_permutation();

// 6t^5 - 15t^4 + 10t^3: zero first and second derivatives at 0 and 1.
double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

double lerp(double t, double a, double b) { return a + t * (b - a); }

// The dot product of (x, y, z) with one of twelve edge directions of a cube
// (four of them repeated to make sixteen), chosen by the hash.
double grad(int hash, double x, double y, double z) {
    switch (hash & 15) {
    case 0: return x + y;
    case 1: return -x + y;
    case 2: return x - y;
    case 3: return -x - y;
    case 4: return x + z;
    case 5: return -x + z;
    case 6: return x - z;
    case 7: return -x - z;
    case 8: return y + z;
    case 9: return -y + z;
    case 10: return y - z;
    case 11: return -y - z;
    case 12: return x + y;
    case 13: return -y + z;
    case 14: return -x + y;
    default: return -y - z;
    }
}

// The lattice cell of a coordinate, wrapped to 0..255, and the position in it.
int cell(double v, double &frac) {
    const double f = std::floor(v);
    frac = v - f;
    // The lattice repeats every 256 cells; fmod keeps huge coordinates in range.
    double wrapped = std::fmod(f, 256.0);
    if (wrapped < 0.0) wrapped += 256.0;
    return static_cast<int>(wrapped) & 255;
}

// Offsets of the service's lattice from the integers.
constexpr double kOffset[3] = {0.3183098861837907, 0.5772156649015329, 0.1415926535897932};

}  // namespace

double gradient_noise(double x, double y, double z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return 0.0;
    double fx, fy, fz;
    const int X = cell(x, fx), Y = cell(y, fy), Z = cell(z, fz);
    const double u = fade(fx), v = fade(fy), w = fade(fz);

    const int A = kPerm[X] + Y, AA = kPerm[A] + Z, AB = kPerm[A + 1] + Z;
    const int B = kPerm[X + 1] + Y, BA = kPerm[B] + Z, BB = kPerm[B + 1] + Z;

    const double x0 = lerp(u, grad(kPerm[AA], fx, fy, fz), grad(kPerm[BA], fx - 1.0, fy, fz));
    const double x1 = lerp(u, grad(kPerm[AB], fx, fy - 1.0, fz), grad(kPerm[BB], fx - 1.0, fy - 1.0, fz));
    const double x2 = lerp(u, grad(kPerm[AA + 1], fx, fy, fz - 1.0), grad(kPerm[BA + 1], fx - 1.0, fy, fz - 1.0));
    const double x3 =
        lerp(u, grad(kPerm[AB + 1], fx, fy - 1.0, fz - 1.0), grad(kPerm[BB + 1], fx - 1.0, fy - 1.0, fz - 1.0));
    return lerp(w, lerp(v, x0, x1), lerp(v, x2, x3));
}

double texture_noise(double position[3]) {
    if (position == nullptr) return 0.5;
    const double n = gradient_noise(position[0] + kOffset[0], position[1] + kOffset[1], position[2] + kOffset[2]);
    const double scaled = 0.5 + 0.5 * n;
    return scaled < 0.0 ? 0.0 : scaled > 1.0 ? 1.0 : scaled;
}

const QvTextureFuncs &texture_funcs() {
    static const QvTextureFuncs funcs = [] {
        QvTextureFuncs f{};
        f.noise = texture_noise;
        return f;
    }();
    return funcs;
}

}  // namespace refhost
