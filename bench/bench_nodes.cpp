// What the module adds to each node's mathematics.  Every node whose evaluate
// is its own (and one node of each family that shares one) is driven through
// the minimal host (bench_host.h), with its inputs connected and on its
// stored defaults, next to a baseline written by hand: the same value from
// the same formulas, with the same host calls (one input evaluation per input
// the node reads, the same connection questions, one set output value), as
// an evaluate would be with nothing around the mathematics.  The baselines
// use the module's geometry routines where the node does: those are the
// mathematics, not what surrounds it.  Before measuring, each baseline's
// value is checked against the node's, bit for bit.
//
// Reported as "module/CASE/MODE": the node and its baseline in alternating
// blocks (bench::alternate), with the heap allocations per evaluate as the
// counter "allocs".
#include "bench/bench_host.h"
#include "bench/bench_ratios.h"
#include "geometry/geometry.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using bench::Host;
using bench::kMaxPorts;
using bench::Node;
using bench::Port;
using qv::Euler;
using qv::Mat3;
using qv::Mat4;
using qv::Quat;
using qv::Vec3;

// ---- The hand-written side --------------------------------------------------------

// The values a cache holds between time steps, by hand: no other thread reads it.
struct HandCache {
    bool pending = true;
    alignas(16) double value[16] = {};
};

// What a baseline knows: the host's services, the node's inputs (the same
// handles, so the host does the same work) and the stored values the node
// was given, read from the same saved blocks.
struct Hand {
    const QvNodeInputFuncs *input = nullptr;
    const QvNodeOutputFuncs *output = nullptr;
    const QvTextureFuncs *texture = nullptr;
    const QvSceneInfo *scene = nullptr;
    QvInputId in[kMaxPorts] = {};
    double d[7] = {};       // "val0" to "val6"
    double extra = 0.0;     // "valD"
    int32_t words[3] = {};  // "Int1", "Int2" or "Logic"
    double time = 0.0;      // the last new time
    mutable HandCache cache;

    void read(int k, QvSampleAccess *sa, void *result) const { input->evaluate(in[k], sa, result); }
    bool asks(int k) const { return (input->connected(in[k]) & 0xFF) != 0; }
    void set(QvNodeValue value, const void *r) const { output->set_value(value, r); }
};

// A scalar input: evaluated when connected, else its stored default.
template <bool C>
double scalar(const Hand &h, int k, QvSampleAccess *sa) {
    if constexpr (C) {
        double v;
        h.read(k, sa, &v);
        return v;
    } else {
        return h.d[k];
    }
}

// A vector input: evaluated when connected, else three stored defaults.
template <bool C>
Vec3 vec(const Hand &h, int k, int first, QvSampleAccess *sa) {
    if constexpr (C) {
        Vec3 v;
        h.read(k, sa, &v);
        return v;
    } else {
        return Vec3{h.d[first], h.d[first + 1], h.d[first + 2]};
    }
}

// A vector input that has no stored default.
template <bool C>
Vec3 vec_or_zero(const Hand &h, int k, QvSampleAccess *sa) {
    Vec3 v{0.0, 0.0, 0.0};
    if constexpr (C) h.read(k, sa, &v);
    return v;
}

constexpr Vec3 kZero{0.0, 0.0, 0.0};

double add(double a, double b) { return a + b; }
double sub(double a, double b) { return a - b; }
double mul(double a, double b) { return a * b; }
double min_of(double r, double x) { return x < r ? x : r; }
double max_of(double r, double x) { return r > x ? r : x; }
double divide_or_zero(double a, double b) { return b != 0.0 && !std::isnan(b) ? a / b : 0.0; }
double degrees(double c) { return c * qv::kRadiansToDegrees; }
double radians(double c) { return c * qv::kDegreesToRadians; }
double negate(double c) { return -c; }
double dot(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

bool normalise_pair(double &p, double &q) {
    const double s = q * q + p * p;
    if (!(s > 0.0)) return false;
    const double k = 1.0 / std::sqrt(s);
    p = p * k;
    q = q * k;
    return true;
}

double signed_angle(double a, double t, int32_t invert, int32_t round) {
    const bool flip = invert != 0 ? t < 0.0 : t > 0.0;
    if (!flip) return a;
    return round != 0 ? qv::kTwoPi - a : -a;
}

// ---- Scalar functions and arithmetic ------------------------------------------------

struct Sin {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double r = std::sin(scalar<C>(h, 0, sa));
        h.set(value, &r);
    }
};

struct Atan2 {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double x = scalar<C>(h, 0, sa), y = scalar<C>(h, 1, sa);
        const double r = y == 0.0 ? 0.0 : std::atan2(y, x);
        h.set(value, &r);
    }
};

struct Pow {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double b = scalar<C>(h, 0, sa), e = scalar<C>(h, 1, sa);
        const double r = b == 0.0 ? 0.0 : e == 0.0 ? 1.0 : std::pow(b, e);
        h.set(value, &r);
    }
};

struct Abs {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double r = 0.0;
        if constexpr (C) {
            double x;
            h.read(0, sa, &x);
            r = h.words[0] == 0 ? std::fabs(x) : -std::fabs(x);
        }
        h.set(value, &r);
    }
};

template <double (*Op)(double, double)>
struct TwoInputs {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double a = scalar<C>(h, 0, sa);
        const double r = Op(a, scalar<C>(h, 1, sa));
        h.set(value, &r);
    }
};

template <double (*Op)(double, double)>
struct FourInputs {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double r = scalar<C>(h, 0, sa);
        r = Op(r, scalar<C>(h, 1, sa));
        r = Op(r, scalar<C>(h, 2, sa));
        r = Op(r, scalar<C>(h, 3, sa));
        h.set(value, &r);
    }
};

struct Divide {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double divisor = scalar<C>(h, 1, sa);
        const double r = divisor == 0.0 ? 0.0 : scalar<C>(h, 0, sa) / divisor;
        h.set(value, &r);
    }
};

// ---- Scalar measures ----------------------------------------------------------------

struct Angle {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double x = scalar<C>(h, 0, sa), y = scalar<C>(h, 1, sa);
        double r = 0.0;
        if (normalise_pair(x, y)) r = signed_angle(std::acos(x), y, h.words[0], h.words[1]);
        h.set(value, &r);
    }
};

struct Angle2 {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double ax = scalar<C>(h, 0, sa), ay = scalar<C>(h, 1, sa);
        double bx = scalar<C>(h, 2, sa), by = scalar<C>(h, 3, sa);
        double r = 0.0;
        const bool a_ok = normalise_pair(ax, ay);
        const bool b_ok = normalise_pair(bx, by);
        if (a_ok && b_ok) r = signed_angle(std::acos(ax * bx + ay * by), ay * bx - by * ax, h.words[0], h.words[1]);
        h.set(value, &r);
    }
};

struct Clamp {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double in = 0.0;
        if constexpr (C) h.read(0, sa, &in);
        const double lo = scalar<C>(h, 1, sa), hi = scalar<C>(h, 2, sa);
        const double m = in > lo ? in : lo;
        const double r = m < hi ? m : hi;
        h.set(value, &r);
    }
};

struct Degrees {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double r = (180.0 * scalar<C>(h, 0, sa)) / qv::kPi;
        h.set(value, &r);
    }
};

struct Radians {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double r = (qv::kPi * scalar<C>(h, 0, sa)) / 180.0;
        h.set(value, &r);
    }
};

struct Distance {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double ax = scalar<C>(h, 0, sa), ay = scalar<C>(h, 1, sa);
        const double bx = scalar<C>(h, 2, sa), by = scalar<C>(h, 3, sa);
        const double dx = ax - bx, dy = ay - by;
        const double r = std::sqrt(dx * dx + dy * dy);
        h.set(value, &r);
    }
};

struct Dot2 {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double ax = scalar<C>(h, 0, sa), ay = scalar<C>(h, 1, sa);
        double bx = scalar<C>(h, 2, sa), by = scalar<C>(h, 3, sa);
        if (h.words[0] != 0) {
            normalise_pair(ax, ay);
            normalise_pair(bx, by);
        }
        const double r = ax * bx + ay * by;
        h.set(value, &r);
    }
};

struct Length {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double x = scalar<C>(h, 0, sa), y = scalar<C>(h, 1, sa);
        const double r = std::sqrt(x * x + y * y);
        h.set(value, &r);
    }
};

// The "Y" output.
struct Normal2 {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double x = scalar<C>(h, 0, sa), y = scalar<C>(h, 1, sa);
        normalise_pair(x, y);
        h.set(value, &y);
    }
};

struct Sign {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double r = 0.0;
        if constexpr (C) {
            h.read(0, sa, &r);
            r = -r;
        }
        h.set(value, &r);
    }
};

struct CopySign {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double r = scalar<C>(h, 0, sa);
        if constexpr (C) {
            double s;
            h.read(1, sa, &s);
            r = std::copysign(r, s);
        }
        h.set(value, &r);
    }
};

// ---- Vector arithmetic and geometry -------------------------------------------------

template <double (*Op)(double, double)>
struct TwoVectors {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const Vec3 a = vec<C>(h, 0, 0, sa);
        const Vec3 b = vec<C>(h, 1, 3, sa);
        const Vec3 r{Op(a.x, b.x), Op(a.y, b.y), Op(a.z, b.z)};
        h.set(value, &r);
    }
};

struct VectorClamp {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const Vec3 lo = vec<C>(h, 1, 0, sa);
        const Vec3 hi = vec<C>(h, 2, 3, sa);
        const Vec3 in = vec_or_zero<C>(h, 0, sa);
        auto clamp = [](double x, double l, double u) {
            const double m = x > l ? x : l;
            return m < u ? m : u;
        };
        const Vec3 r{clamp(in.x, lo.x, hi.x), clamp(in.y, lo.y, hi.y), clamp(in.z, lo.z, hi.z)};
        h.set(value, &r);
    }
};

template <bool Subtract>
struct NormalSum {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 acc{0.0, 0.0, 0.0};
        if constexpr (C) {
            for (int i = 0; i < 4; ++i) {
                Vec3 v;
                h.read(i, sa, &v);
                if (Subtract && i > 0)
                    acc = Vec3{acc.x - v.x, acc.y - v.y, acc.z - v.z};
                else if (Subtract)
                    acc = v;
                else
                    acc = Vec3{acc.x + v.x, acc.y + v.y, acc.z + v.z};
            }
            qv::vec_normalize(acc, acc);
        }
        h.set(value, &acc);
    }
};

struct VectorAngle {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 a = vec<C>(h, 0, 0, sa), b = vec<C>(h, 1, 3, sa);
        double r = 0.0;
        if (qv::vec_normalize(a, a) == 0 && qv::vec_normalize(b, b) == 0) r = std::acos(dot(a, b));
        h.set(value, &r);
    }
};

// Both operands, normalised when Normalize is on; false unless both are
// connected and not all six components are tiny.
template <bool C>
bool dot_cross_operands(const Hand &h, QvSampleAccess *sa, Vec3 &a, Vec3 &b) {
    if constexpr (!C) return false;
    h.read(0, sa, &a);
    h.read(1, sa, &b);
    const double c[6] = {a.x, a.y, a.z, b.x, b.y, b.z};
    bool all_tiny = true;
    for (double v : c) all_tiny = all_tiny && std::fabs(v) < qv::kTiny;
    if (all_tiny) return false;
    if (h.words[0] != 0) {
        qv::vec_normalize(a, a);
        qv::vec_normalize(b, b);
    }
    return true;
}

struct VectorDot {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 a, b;
        double r = 0.0;
        if (dot_cross_operands<C>(h, sa, a, b)) r = dot(a, b);
        h.set(value, &r);
    }
};

struct VectorCross {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 a, b, r{0.0, 0.0, 0.0};
        if (dot_cross_operands<C>(h, sa, a, b))
            r = Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
        h.set(value, &r);
    }
};

template <double (*Fn)(double)>
struct Components {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 r{0.0, 0.0, 0.0};
        if constexpr (C) {
            Vec3 v;
            h.read(0, sa, &v);
            r = Vec3{Fn(v.x), Fn(v.y), Fn(v.z)};
        }
        h.set(value, &r);
    }
};

// The "out2" output.
struct VectorNormal {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 r = vec_or_zero<C>(h, 1, sa);
        if constexpr (C) qv::vec_normalize(r, r);
        h.set(value, &r);
    }
};

// The axis (input k, else stored defaults 0 to 2) and the angle (input k + 1,
// else the stored degrees) as a rotation; false for a zero angle.
template <bool C>
bool axis_rotation(const Hand &h, int k, QvSampleAccess *sa, Quat &q) {
    Vec3 axis = vec<C>(h, k, 0, sa);
    if (qv::vec_normalize(axis, axis) != 0) axis = kZero;
    const double angle = C ? scalar<true>(h, k + 1, sa) : h.extra * qv::kDegreesToRadians;
    if (angle == 0.0) return false;
    qv::quat_from_axis_angle(q, axis, angle);
    return true;
}

struct VectorRotate {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 r{0.0, 0.0, 0.0};
        if constexpr (C) {
            h.read(0, sa, &r);
            Quat q;
            if (axis_rotation<C>(h, 1, sa, q)) qv::quat_rotate(r, r, q);
        }
        h.set(value, &r);
    }
};

struct Transform {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 r{0.0, 0.0, 1.0};
        if constexpr (C) {
            h.read(3, sa, &r);
            Mat3 m;
            for (int i = 0; i < 3; ++i) h.read(i, sa, &m.row[i]);
            qv::vec_mul_mat3(r, r, m);
        }
        h.set(value, &r);
    }
};

struct Transform4 {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 r{0.0, 0.0, 1.0};
        if constexpr (C) {
            h.read(4, sa, &r);
            Mat4 m;
            qv::mat4_identity(m);
            for (int i = 0; i < 4; ++i) {
                Vec3 row;
                h.read(i, sa, &row);
                m.row[i].x = row.x;
                m.row[i].y = row.y;
                m.row[i].z = row.z;
            }
            qv::point_mul_mat4(r, r, m);
        }
        h.set(value, &r);
    }
};

// ---- Matrices -----------------------------------------------------------------------

// Rows from inputs k to k + 2.
void read_rows(const Hand &h, int k, QvSampleAccess *sa, Mat3 &m) {
    for (int i = 0; i < 3; ++i) h.read(k + i, sa, &m.row[i]);
}

// The "Up" row.
struct EulerToMatrix {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Mat3 m;
        if constexpr (C) {
            Euler e;
            h.read(0, sa, &e);
            if (h.words[0] == 0)
                qv::mat3_from_euler(m, e);
            else
                qv::mat3_from_euler_reversed(m, Euler{-e.heading, -e.pitch, -e.bank});
        } else {
            qv::mat3_identity(m);
        }
        h.set(value, &m.row[1]);
    }
};

// The "Fwd" row.
struct InvertMatrix {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Mat3 m;
        qv::mat3_identity(m);
        if constexpr (C) {
            read_rows(h, 0, sa, m);
            if (h.words[0] != 0)
                qv::mat3_transpose(m, m);
            else
                qv::mat3_inverse(m, m);
        }
        h.set(value, &m.row[2]);
    }
};

// The "Vec" row.
struct InvertMatrix4 {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Vec3 r{0.0, 0.0, 0.0};
        if constexpr (C) {
            Mat4 m;
            qv::mat4_identity(m);
            for (int i = 0; i < 4; ++i) {
                Vec3 row;
                h.read(i, sa, &row);
                m.row[i].x = row.x;
                m.row[i].y = row.y;
                m.row[i].z = row.z;
            }
            qv::mat4_inverse_affine(m, m);
            r = Vec3{m.row[3].x, m.row[3].y, m.row[3].z};
        }
        h.set(value, &r);
    }
};

struct MatrixToEuler {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Euler e{0.0, 0.0, 0.0};
        if constexpr (C) {
            Mat3 m;
            for (int i = 0; i < 3; ++i) {
                h.read(i, sa, &m.row[i]);
                qv::vec_normalize(m.row[i], m.row[i]);
            }
            qv::euler_from_mat3(e, m, h.words[0]);
        }
        h.set(value, &e);
    }
};

// The "Fwd" row.
struct MultiplyMatrix {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Mat3 a;
        if constexpr (C) {
            Mat3 b;
            read_rows(h, 0, sa, a);
            read_rows(h, 3, sa, b);
            qv::mat3_mul(a, a, b);
        } else {
            qv::mat3_identity(a);
        }
        h.set(value, &a.row[2]);
    }
};

// The "Up" row.
struct RotateMatrix {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        Mat3 m;
        qv::mat3_identity(m);
        if constexpr (C) read_rows(h, 0, sa, m);
        Quat q;
        if (axis_rotation<C>(h, 3, sa, q))
            for (Vec3 &row : m.row) qv::quat_rotate(row, row, q);
        h.set(value, &m.row[1]);
    }
};

// The "Up" row.
struct ScaleMatrix {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double scale[3] = {1.0, 1.0, 1.0};
        if constexpr (C) h.read(0, sa, scale);
        const double row[3] = {0.0, scale[1], 0.0};
        h.set(value, row);
    }
};

// The "Up" row; t strictly inside (0, 1).
struct SlerpMatrix {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double t = C ? scalar<true>(h, 6, sa) : h.extra;
        Quat a{0.0, 0.0, 0.0, 1.0}, b{0.0, 0.0, 0.0, 1.0};
        Mat3 m;
        if constexpr (C) {
            read_rows(h, 0, sa, m);
            qv::quat_from_mat3(a, m);
            read_rows(h, 3, sa, m);
            qv::quat_from_mat3(b, m);
        }
        Quat q;
        qv::quat_slerp(q, a, b, t);
        qv::quat_to_mat3(m, q);
        h.set(value, &m.row[1]);
    }
};

// ---- Conversions ----------------------------------------------------------------------

struct FrameToTime {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        int32_t f = h.words[0];
        if (h.asks(0)) h.read(0, sa, &f);
        f = f > 8388607 ? 8388607 : f < -8388607 ? -8388607 : f;
        const double t = static_cast<double>(f) / h.scene->frames_per_second;
        h.set(value, &t);
    }
};

struct PowerOfTwo {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const double x = scalar<C>(h, 0, sa);
        double c = 0.0 > x ? 0.0 : x;
        c = c < 1.0 ? c : 1.0;
        const double r = std::pow(2.0, c * 10.0 + 2.0);
        h.set(value, &r);
    }
};

// The split nodes: component `Out` of the only input, asked afresh whether
// connected; 5 is the node's measure (luma or length).
template <int Out, bool Colour>
struct Split {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double r = 0.0;
        if (h.asks(0)) {
            double c[3];
            h.read(0, sa, c);
            if constexpr (Out < 3)
                r = c[Out];
            else if constexpr (Colour)
                r = (0.298912 * c[0] + 0.586611 * c[1]) + 0.114478 * c[2];
            else
                r = std::sqrt((c[2] * c[2] + c[0] * c[0]) + c[1] * c[1]);
        }
        h.set(value, &r);
    }
};

struct MakeVector {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double v[3] = {0.0, 0.0, 0.0};
        if constexpr (C) {
            h.read(0, sa, v);
            for (int i = 0; i < 3; ++i) h.read(i + 1, sa, &v[i]);
        }
        h.set(value, v);
    }
};

// The "Specular" colour.
struct SplitMaterial {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        if constexpr (C) {
            QvMaterialValue m;
            h.read(0, sa, &m);
            h.set(value, m.specular);
        } else {
            h.set(value, &kZero);
        }
    }
};

// ---- Map range and the noisy channel -----------------------------------------------------

bool truncated_is_odd(double q) { return std::fmod(std::fabs(std::trunc(q)), 2.0) == 1.0; }

double beyond_low(double r, double low, double high, double w, int32_t m) {
    if (m == 0) return r;
    if (m == 1) return low;
    const double h = std::fmod(r - low, w);
    if (m == 2) return high + h;
    return truncated_is_odd((r - low) / w) ? high + h : low - h;
}

double beyond_high(double r, double low, double high, double w, int32_t m) {
    if (m == 0) return r;
    if (m == 1) return high;
    const double h = std::fmod(r - high, w);
    if (m == 2) return low + h;
    return truncated_is_odd((r - high) / w) ? low + h : high - h;
}

struct MapRange {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double v[5];
        for (int i = 0; i < 5; ++i) v[i] = scalar<C>(h, i, sa);
        const double in = v[0], st = v[1], ed = v[2], a = v[3], b = v[4];
        double out;
        if (std::fabs(ed - st) <= qv::kTiny) {
            out = in;
        } else if (std::fabs(b - a) <= qv::kTiny) {
            out = a;
        } else {
            const double r = (b - a) / (ed - st) * (in - st) + a;
            const double w = b - a;
            const bool rising = b > a;
            const double low = rising ? a : b, high = rising ? b : a;
            const int32_t mode_low = rising ? h.words[0] : h.words[1];
            const int32_t mode_high = rising ? h.words[1] : h.words[0];
            if (r < low)
                out = beyond_low(r, low, high, w, mode_low);
            else if (r > high)
                out = beyond_high(r, low, high, w, mode_high);
            else
                out = r;
        }
        h.set(value, &out);
    }
};

struct Noise {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        double v[5];
        for (int i = 0; i < 5; ++i) v[i] = scalar<C>(h, i, sa);
        double p[3] = {(h.time - v[4]) * v[2] * 10.0, v[3], 20.0};
        const double out = (h.texture->noise(p) - 0.5) * v[1] + v[0];
        h.set(value, &out);
    }
};

// ---- Logic and switches --------------------------------------------------------------------

int32_t compare(int32_t op, double a, double b) {
    switch (op) {
    case 1: return std::fabs(a - b) > qv::kTiny ? 1 : 0;
    case 2: return a > b ? 1 : 0;
    case 3: return a < b ? 1 : 0;
    case 4: return a >= b ? 1 : 0;
    case 5: return a <= b ? 1 : 0;
    default: return std::fabs(a - b) <= qv::kTiny ? 1 : 0;
    }
}

int32_t combine(int32_t op, int32_t r1, int32_t r2) {
    switch (op) {
    case 1: return r1 == 0 && r2 == 0 ? 1 : 0;
    case 2: return r1 == 1 && r2 == 0 ? 1 : 0;
    case 3: return r1 == 0 && r2 == 1 ? 1 : 0;
    case 4: return r1 == 1 || r2 == 1 ? 1 : 0;
    default: return r1 == 1 && r2 == 1 ? 1 : 0;
    }
}

template <bool Two, bool C>
int32_t comparison(const Hand &h, QvSampleAccess *sa) {
    const double a1 = scalar<C>(h, 0, sa), b1 = scalar<C>(h, 1, sa);
    const int32_t r1 = compare(h.words[0], a1, b1);
    if constexpr (!Two) return r1;
    const double a2 = scalar<C>(h, 2, sa), b2 = scalar<C>(h, 3, sa);
    return combine(h.words[2], r1, compare(h.words[1], a2, b2));
}

// The "Out" output.
template <bool Two>
struct Logic {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const int32_t r = comparison<Two, C>(h, sa);
        const int first = Two ? 4 : 2;
        const double on_true = scalar<C>(h, first, sa), on_false = scalar<C>(h, first + 1, sa);
        const double routed = r == 1 ? on_true : on_false;
        h.set(value, &routed);
    }
};

template <bool Two>
struct LogicVector {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        const int32_t r = comparison<Two, C>(h, sa);
        const Vec3 v = vec_or_zero<C>(h, (Two ? 4 : 2) + (r == 1 ? 0 : 1), sa);
        h.set(value, &v);
    }
};

// The "out2" output: "True2" or "false2".
struct Switch {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        int32_t sel = 0;
        if constexpr (C) h.read(0, sa, &sel);
        const Vec3 v = vec_or_zero<C>(h, sel != 0 ? 3 : 4, sa);
        h.set(value, &v);
    }
};

// ---- Constants, time, caches -------------------------------------------------------------

struct QuarterPi {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *, QvNodeValue value) {
        static const double kValue = qv::kQuarterPi;
        h.set(value, &kValue);
    }
};

struct Time {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *, QvNodeValue value) {
        h.set(value, &h.time);
    }
};

// A cache's value: taken from its input at the first evaluation after a new
// time.  Rows: the matrix cache, whose "Up" output is asked for.
template <int Bytes, bool Rows = false>
struct Cache {
    template <bool C>
    static void run(const Hand &h, QvSampleAccess *sa, QvNodeValue value) {
        HandCache &c = h.cache;
        if (c.pending) {
            if constexpr (Rows) {
                Mat3 m;
                qv::mat3_identity(m);
                if constexpr (C) read_rows(h, 0, sa, m);
                std::memcpy(c.value, &m, sizeof m);
            } else if constexpr (C) {
                h.read(0, sa, c.value);
            } else {
                std::memset(c.value, 0, Bytes);
            }
            c.pending = false;
        }
        h.set(value, Rows ? &c.value[3] : c.value);
    }
};

QvError hand_new_time(void *hand, int32_t, double) {
    static_cast<Hand *>(hand)->cache.pending = true;
    return nullptr;
}

// ---- The cases ---------------------------------------------------------------------------

using EvaluateFn = void (*)(void *, QvSampleAccess *, QvOutputId, QvNodeValue);

template <typename F, bool C>
void by_hand(void *h, QvSampleAccess *sa, QvOutputId, QvNodeValue value) {
    F::template run<C>(*static_cast<const Hand *>(h), sa, value);
}

struct Baselines {
    EvaluateFn connected, defaults;
};

template <typename F>
constexpr Baselines hand() {
    return {by_hand<F, true>, by_hand<F, false>};
}

enum class Refresh { none, fresh, every_sample };

using Feed = std::vector<std::vector<double>>;

struct Case {
    std::string name;  // the server, and the variant where a server has several cases
    const char *server;
    const char *output;  // the output asked for
    const char *stored;  // saved blocks the node loads first: stored defaults and options
    Feed feed;           // each input's value while connected, in the order the node made them
    Baselines hand;
    Refresh refresh = Refresh::none;
};

const std::vector<double> kA{0.5, 0.25, 1.0}, kB{-0.25, 0.75, 0.5}, kC{1.0, 0.0, -0.5}, kD{0.25, 0.5, 0.75};
// Rotations about Z, and a general invertible matrix, by rows.
const std::vector<double> kRot1[3] = {{0.8, 0.6, 0.0}, {-0.6, 0.8, 0.0}, {0.0, 0.0, 1.0}};
const std::vector<double> kRot2[3] = {{0.6, 0.8, 0.0}, {-0.8, 0.6, 0.0}, {0.0, 0.0, 1.0}};
const std::vector<double> kGeneral[3] = {{1.0, 0.5, 0.0}, {0.0, 2.0, 0.25}, {0.5, 0.0, 1.0}};
const std::vector<double> kMaterial{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2, 0.25};

Feed rows(const std::vector<double> (&m)[3]) { return {m[0], m[1], m[2]}; }
Feed operator+(Feed a, const Feed &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const char *const kTwoVectorsStored = "val0 0.5 0.25 1\nval1 -0.25 0.75 0.5\n";

std::vector<Case> cases() {
    // clang-format off
    std::vector<Case> c = {
        // Constants and time: no inputs.
        {"QvMs_PI",         "QvMs_PI",     "PI/4",     "", {}, hand<QuarterPi>()},
        {"QvMs_TIME",       "QvMs_TIME",   "Time",     "", {}, hand<Time>()},
        // Scalar functions.
        {"QvMs_SIN",        "QvMs_SIN",    "Out",      "val0 0.5\n",              {{0.5}},                          hand<Sin>()},
        {"QvMs_ATAN2",      "QvMs_ATAN2",  "Out",      "val0 0.75\nval1 0.625\n", {{0.75}, {0.625}},                hand<Atan2>()},
        {"QvMs_POW",        "QvMs_POW",    "Out",      "val0 1.5\nval1 2.5\n",    {{1.5}, {2.5}},                   hand<Pow>()},
        {"QvMs_ABS",        "QvMs_ABS",    "Out",      "Int1 0\n",                {{-0.75}},                        hand<Abs>()},
        // Scalar arithmetic.
        {"QvMs_ADD",        "QvMs_ADD",    "Out",      "val0 0.75\nval1 1.25\n",  {{0.75}, {1.25}},                 hand<TwoInputs<add>>()},
        {"QvMs_SUB",        "QvMs_SUB",    "Out",      "val0 0.75\nval1 1.25\n",  {{0.75}, {1.25}},                 hand<TwoInputs<sub>>()},
        {"QvMs_MUL",        "QvMs_MUL",    "Out",      "val0 0.75\nval1 1.25\n",  {{0.75}, {1.25}},                 hand<TwoInputs<mul>>()},
        {"QvMs_DIV",        "QvMs_DIV",    "Out",      "val0 0.75\nval1 1.25\n",  {{0.75}, {1.25}},                 hand<Divide>()},
        {"QvMs_ADD4",       "QvMs_ADD4",   "Out",      "val0 0.75\nval1 1.25\nval2 -0.5\nval3 2\n", {{0.75}, {1.25}, {-0.5}, {2.0}}, hand<FourInputs<add>>()},
        {"QvMs_SUB4",       "QvMs_SUB4",   "Out",      "val0 0.75\nval1 1.25\nval2 -0.5\nval3 2\n", {{0.75}, {1.25}, {-0.5}, {2.0}}, hand<FourInputs<sub>>()},
        {"QvMs_MUL4",       "QvMs_MUL4",   "Out",      "val0 0.75\nval1 1.25\nval2 -0.5\nval3 2\n", {{0.75}, {1.25}, {-0.5}, {2.0}}, hand<FourInputs<mul>>()},
        {"QvMs_MIN4",       "QvMs_MIN4",   "Out",      "val0 0.75\nval1 1.25\nval2 -0.5\nval3 2\n", {{0.75}, {1.25}, {-0.5}, {2.0}}, hand<FourInputs<min_of>>()},
        {"QvMs_MAX4",       "QvMs_MAX4",   "Out",      "val0 0.75\nval1 1.25\nval2 -0.5\nval3 2\n", {{0.75}, {1.25}, {-0.5}, {2.0}}, hand<FourInputs<max_of>>()},
        // Scalar measures.
        {"QvMs_ANGL",       "QvMs_ANGL",   "Out",      "val0 0.75\nval1 0.5\nInt2 0 1\n",           {{0.75}, {0.5}},                 hand<Angle>()},
        {"QvMs_ANGL2",      "QvMs_ANGL2",  "Out",      "val0 0.75\nval1 0.5\nval2 -0.25\nval3 1\nInt2 0 1\n", {{0.75}, {0.5}, {-0.25}, {1.0}}, hand<Angle2>()},
        {"QvMs_CLMP",       "QvMs_CLMP",   "Out",      "val1 0.25\nval2 1\n",                       {{1.5}, {0.25}, {1.0}},          hand<Clamp>()},
        {"QvMs_DEG",        "QvMs_DEG",    "Out",      "val0 0.5\n",                                {{0.5}},                         hand<Degrees>()},
        {"QvMs_DIST",       "QvMs_DIST",   "Out",      "val0 0.75\nval1 0.5\nval2 -0.25\nval3 1\n", {{0.75}, {0.5}, {-0.25}, {1.0}}, hand<Distance>()},
        {"QvMs_DOT",        "QvMs_DOT",    "Out",      "val0 0.75\nval1 0.5\nval2 -0.25\nval3 1\nInt1 1\n", {{0.75}, {0.5}, {-0.25}, {1.0}}, hand<Dot2>()},
        {"QvMs_LEN",        "QvMs_LEN",    "Out",      "val0 0.75\nval1 0.5\n",                     {{0.75}, {0.5}},                 hand<Length>()},
        {"QvMs_NORM",       "QvMs_NORM",   "Y",        "val0 0.75\nval1 0.5\n",                     {{0.75}, {0.5}},                 hand<Normal2>()},
        {"QvMs_RAD",        "QvMs_RAD",    "Out",      "val0 30\n",                                 {{30.0}},                        hand<Radians>()},
        {"QvMs_SIGN",       "QvMs_SIGN",   "Out",      "",                                          {{0.75}},                        hand<Sign>()},
        {"QvMs_CSGN",       "QvMs_CSGN",   "Out",      "val0 0.75\n",                               {{0.75}, {-1.0}},                hand<CopySign>()},
        // Vector arithmetic.
        {"QvMv_ADD",        "QvMv_ADD",    "Out",      kTwoVectorsStored, {kA, kB},             hand<TwoVectors<add>>()},
        {"QvMv_SUB",        "QvMv_SUB",    "Out",      kTwoVectorsStored, {kA, kB},             hand<TwoVectors<sub>>()},
        {"QvMv_MUL",        "QvMv_MUL",    "Out",      kTwoVectorsStored, {kA, kB},             hand<TwoVectors<mul>>()},
        {"QvMv_DIV",        "QvMv_DIV",    "Out",      kTwoVectorsStored, {kA, kB},             hand<TwoVectors<divide_or_zero>>()},
        {"QvMv_MAX",        "QvMv_MAX",    "Out",      kTwoVectorsStored, {kA, kB},             hand<TwoVectors<max_of>>()},
        {"QvMv_MIN",        "QvMv_MIN",    "Out",      kTwoVectorsStored, {kA, kB},             hand<TwoVectors<min_of>>()},
        {"QvMv_CLMP",       "QvMv_CLMP",   "Out",      "val0 0 0 0\nval1 1 1 1\n", {{1.5, -0.5, 0.5}, {0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}}, hand<VectorClamp>()},
        // Vector geometry.
        {"QvMv_ADNml",      "QvMv_ADNml",  "Out",      "",                {kA, kB, kC, kD},     hand<NormalSum<false>>()},
        {"QvMv_SBNml",      "QvMv_SBNml",  "Out",      "",                {kA, kB, kC, kD},     hand<NormalSum<true>>()},
        {"QvMv_ANGL",       "QvMv_ANGL",   "Out",      kTwoVectorsStored, {kA, kB},             hand<VectorAngle>()},
        {"QvMv_CROS",       "QvMv_CROS",   "Out",      "Int1 1\n",        {kA, kB},             hand<VectorCross>()},
        {"QvMv_DOT",        "QvMv_DOT",    "Out",      "Int1 1\n",        {kA, kB},             hand<VectorDot>()},
        {"QvMv_DEG",        "QvMv_DEG",    "Out",      "",                {kA},                 hand<Components<degrees>>()},
        {"QvMv_RAD",        "QvMv_RAD",    "Out",      "",                {kA},                 hand<Components<radians>>()},
        {"QvMv_SIGN",       "QvMv_SIGN",   "Out",      "",                {kA},                 hand<Components<negate>>()},
        {"QvMv_NORM",       "QvMv_NORM",   "out2",     "",                {kA, kB, kC},         hand<VectorNormal>()},
        {"QvMv_QROT",       "QvMv_QROT",   "Out",      "val0 0 1 0.5\nvalD 30\n", {kA, {0.0, 1.0, 0.5}, {0.5}}, hand<VectorRotate>()},
        {"QvMv_TRAN",       "QvMv_TRAN",   "Out",      "",                rows(kRot1) + Feed{kA},            hand<Transform>()},
        {"QvMv_TRAN4",      "QvMv_TRAN4",  "Out",      "",                rows(kRot1) + Feed{{1.0, 2.0, 3.0}, kA}, hand<Transform4>()},
        // Matrices.
        {"QvT_E2Mat",       "QvT_E2Mat",   "Up",       "Int1 0\n",        {{0.25, -0.75, 1.125}}, hand<EulerToMatrix>()},
        {"QvT_INVMat",      "QvT_INVMat",  "Fwd",      "Int1 0\n",        rows(kGeneral),       hand<InvertMatrix>()},
        {"QvT_INVMat4",     "QvT_INVMat4", "Vec",      "",                rows(kGeneral) + Feed{{1.0, 2.0, 3.0}}, hand<InvertMatrix4>()},
        {"QvT_M2Euler",     "QvT_M2Euler", "Rot",      "Int1 1\n",        rows(kRot1),          hand<MatrixToEuler>()},
        {"QvT_MULMat",      "QvT_MULMat",  "Fwd",      "",                rows(kGeneral) + rows(kRot1), hand<MultiplyMatrix>()},
        {"QvT_QRMAT",       "QvT_QRMAT",   "Up",       "val0 0 1 0.5\nvalD 30\n", rows(kRot1) + Feed{{0.0, 1.0, 0.5}, {0.5}}, hand<RotateMatrix>()},
        {"QvT_S2Mat",       "QvT_S2Mat",   "Up",       "",                {{2.0, 3.0, 4.0}},    hand<ScaleMatrix>()},
        {"QvT_SLPMT",       "QvT_SLPMT",   "Up",       "valD 0.25\n",     rows(kRot1) + rows(kRot2) + Feed{{0.25}}, hand<SlerpMatrix>()},
        // Conversions.
        {"QvT_F2T",         "QvT_F2T",     "Time",     "Int1 36\n",       {{48.0}},             hand<FrameToTime>()},
        {"QvT_G2P",         "QvT_G2P",     "Out",      "",                {{0.25}},             hand<PowerOfTwo>()},
        {"QvT_C2RGB",       "QvT_C2RGB",   "Luma",     "",                {{1.0, 0.5, 0.25}},   hand<Split<5, true>>()},
        {"QvT_CtRGB",       "QvT_CtRGB",   "B",        "",                {{1.0, 0.5, 0.25}},   hand<Split<2, true>>()},
        {"QvT_V2XYZ",       "QvT_V2XYZ",   "Len",      "",                {{3.0, 4.0, 12.0}},   hand<Split<5, false>>()},
        {"QvT_VtXYZ",       "QvT_VtXYZ",   "Z",        "",                {{3.0, 4.0, 12.0}},   hand<Split<2, false>>()},
        {"QvT_MVEC",        "QvT_MVEC",    "Out",      "",                {{1.0, 2.0, 3.0}, {0.5}, {0.25}, {0.125}}, hand<MakeVector>()},
        {"QvT_SPMTL",       "QvT_SPMTL",   "Specular", "",                {kMaterial},          hand<SplitMaterial>()},
        // Map range in each mode, beyond the upper end; the noisy channel.
        {"QvT_MAPR.linear",   "QvT_MAPR",  "Out",      "Int2 0 0\n",      {{1.75}, {0.0}, {1.0}, {0.5}, {1.25}}, hand<MapRange>()},
        {"QvT_MAPR.constant", "QvT_MAPR",  "Out",      "Int2 1 1\n",      {{1.75}, {0.0}, {1.0}, {0.5}, {1.25}}, hand<MapRange>()},
        {"QvT_MAPR.repeat",   "QvT_MAPR",  "Out",      "Int2 2 2\n",      {{1.75}, {0.0}, {1.0}, {0.5}, {1.25}}, hand<MapRange>()},
        {"QvT_MAPR.reflect",  "QvT_MAPR",  "Out",      "Int2 3 3\n",      {{1.75}, {0.0}, {1.0}, {0.5}, {1.25}}, hand<MapRange>()},
        {"QvT_NOIS",        "QvT_NOIS",    "Out",      "val0 0.25\nval1 1.5\nval2 2\nval3 0.5\nval4 0.125\n", {{0.25}, {1.5}, {2.0}, {0.5}, {0.125}}, hand<Noise>()},
        // Logic and switches.
        {"QvT_LGC1",        "QvT_LGC1",    "Out",      "val0 0.75\nval1 0.5\nval2 1.25\nval3 -1.25\nLogic 2 0 0\n", {{0.75}, {0.5}, {1.25}, {-1.25}}, hand<Logic<false>>()},
        {"QvT_LGC2",        "QvT_LGC2",    "Out",      "val0 0.75\nval1 0.5\nval2 0.25\nval3 1\nval4 1.25\nval5 -1.25\nLogic 2 3 0\n", {{0.75}, {0.5}, {0.25}, {1.0}, {1.25}, {-1.25}}, hand<Logic<true>>()},
        {"QvT_LGC1V",       "QvT_LGC1V",   "Out",      "val0 0.75\nval1 0.5\nLogic 2 0 0\n", {{0.75}, {0.5}, kA, kB}, hand<LogicVector<false>>()},
        {"QvT_LGC2V",       "QvT_LGC2V",   "Out",      "val0 0.75\nval1 0.5\nval2 0.25\nval3 1\nLogic 2 3 0\n", {{0.75}, {0.5}, {0.25}, {1.0}, kA, kB}, hand<LogicVector<true>>()},
        {"QvT_SWCHS",       "QvT_SWCHS",   "out2",     "",                {{1.0}, {0.5}, {0.25}, {0.75}, {-0.5}, {2.0}, {3.0}}, hand<Switch>()},
        {"QvT_SWCHV",       "QvT_SWCHV",   "out2",     "",                {{1.0}, kA, kB, kC, kD, kA, kB}, hand<Switch>()},
    };
    // Each cache fresh (holding the value of the time step) and refreshing
    // (a new time before every sample).
    const struct {
        const char *server, *output;
        Feed feed;
        Baselines hand;
    } caches[] = {
        {"QvC_INT", "Out", {{7.0}},            hand<Cache<4>>()},
        {"QvC_SCL", "Out", {{0.5}},            hand<Cache<8>>()},
        {"QvC_VEC", "Out", {kA},               hand<Cache<24>>()},
        {"QvC_MTL", "Out", {kMaterial},        hand<Cache<sizeof(QvMaterialValue)>>()},
        {"QvC_MAT", "Up",  rows(kRot1),        hand<Cache<72, true>>()},
    };
    // clang-format on
    for (const auto &k : caches) {
        c.push_back({std::string(k.server) + ".fresh", k.server, k.output, "", k.feed, k.hand, Refresh::fresh});
        c.push_back(
            {std::string(k.server) + ".refreshing", k.server, k.output, "", k.feed, k.hand, Refresh::every_sample});
    }
    return c;
}

// ---- Running a case ----------------------------------------------------------------------

constexpr int32_t kFrame = 12;
constexpr double kTime = 0.5;

// The stored values the saved blocks give: "valK v" sets default K, "valK x
// y z" defaults 3K to 3K + 2 (the vector nodes' blocks), "valD" the extra
// value, "Int1", "Int2" and "Logic" the option words.  Floats, as saved.
void read_stored(const std::string &text, Hand &h) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string id;
        words >> id;
        std::vector<double> v;
        for (float f; words >> f;) v.push_back(f);
        if (id.size() == 4 && id.compare(0, 3, "val") == 0 && id[3] >= '0' && id[3] <= '6') {
            const int k = id[3] - '0';
            if (v.size() == 1) h.d[k] = v[0];
            for (std::size_t j = 0; v.size() == 3 && j < 3; ++j) h.d[3 * k + j] = v[j];
        } else if (id == "valD" && !v.empty()) {
            h.extra = v[0];
        } else {
            for (std::size_t j = 0; j < v.size() && j < 3; ++j) h.words[j] = static_cast<int32_t>(v[j]);
        }
    }
}

struct Prepared {
    std::unique_ptr<Node> node;
    Port *out = nullptr;
    bench::SampleValues values;
    Hand hand;
    bench::Result node_result, hand_result;
    EvaluateFn by_hand = nullptr;
};

bool prepare(const Case &c, bool connected, Prepared &p, std::string &error) {
    Host &host = Host::get();
    p.node = host.create(c.server);
    Node &n = *p.node;
    if (static_cast<std::size_t>(n.input_count) != c.feed.size()) {
        error = "the case feeds " + std::to_string(c.feed.size()) + " inputs, the node has " +
                std::to_string(n.input_count);
        return false;
    }
    p.out = n.output(c.output);
    if (p.out == nullptr) {
        error = std::string("no output ") + c.output;
        return false;
    }
    host.load(n, c.stored);
    for (int i = 0; i < n.input_count; ++i) {
        double *slot = p.values.value[i];
        const std::vector<double> &v = c.feed[static_cast<std::size_t>(i)];
        if (n.inputs[i].type == QV_TYPE_INTEGER) {
            const int32_t k = static_cast<int32_t>(v[0]);
            std::memcpy(slot, &k, sizeof k);
        } else {
            for (std::size_t j = 0; j < v.size(); ++j) slot[j] = v[j];
        }
        if (connected) host.connect(n, n.inputs[i]);
        p.hand.in[i] = &n.inputs[i];
    }
    n.rend.init(n.instance, 0);
    n.rend.new_time(n.instance, kFrame, kTime);
    p.hand.input = host.input_funcs();
    p.hand.output = host.output_funcs();
    p.hand.texture = host.texture_funcs();
    p.hand.scene = host.scene();
    p.hand.time = kTime;
    read_stored(c.stored, p.hand);
    p.by_hand = connected ? c.hand.connected : c.hand.defaults;
    p.node_result.bytes = p.hand_result.bytes = p.out->bytes;

    // The baseline must give the node's value, bit for bit.
    QvSampleAccess sa = Host::sample(p.values);
    n.evaluate(&sa, p.out, &p.node_result);
    p.by_hand(&p.hand, &sa, p.out, &p.hand_result);
    if (std::memcmp(p.node_result.data, p.hand_result.data, static_cast<std::size_t>(p.out->bytes)) != 0) {
        double a, b;
        std::memcpy(&a, p.node_result.data, sizeof a);
        std::memcpy(&b, p.hand_result.data, sizeof b);
        char text[120];
        std::snprintf(text, sizeof text, "the baseline gives %.17g, the node %.17g", b, a);
        error = text;
        return false;
    }
    return true;
}

// Evaluates per block: long enough that the clock's cost does not count,
// short enough that few blocks are interrupted.
constexpr int kBlock = 512;

void run_case(benchmark::State &state, const Case &c, bool connected) {
    Prepared p;
    std::string error;
    if (!prepare(c, connected, p, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    Node &n = *p.node;
    QvSampleAccess sa = Host::sample(p.values);
    EvaluateFn by_hand = p.by_hand;
    QvNewTimeFunc hand_time = hand_new_time;
    benchmark::DoNotOptimize(by_hand);
    benchmark::DoNotOptimize(hand_time);
    const bool refresh = c.refresh == Refresh::every_sample;
    state.SetLabel(c.output);
    bench::alternate(
        state, kBlock,
        [&] {
            for (int k = 0; k < kBlock; ++k) {
                if (refresh) n.rend.new_time(n.instance, kFrame, kTime);
                n.evaluate(&sa, p.out, &p.node_result);
            }
            benchmark::DoNotOptimize(p.node_result.data);
        },
        [&] {
            for (int k = 0; k < kBlock; ++k) {
                if (refresh) hand_time(&p.hand, kFrame, kTime);
                by_hand(&p.hand, &sa, p.out, &p.hand_result);
            }
            benchmark::DoNotOptimize(p.hand_result.data);
        });
}

const bool kRegistered = [] {
    static const std::vector<Case> all = cases();
    for (const Case &c : all) {
        const bool has_inputs = !c.feed.empty();
        for (const bool connected : {true, false}) {
            if (connected && !has_inputs) continue;
            const std::string mode = !has_inputs ? "none" : connected ? "connected" : "defaults";
            const std::string name = "module/" + c.name + "/" + mode;
            benchmark::RegisterBenchmark(name.c_str(), [&c, connected](benchmark::State &s) {
                run_case(s, c, connected);
            })->UseManualTime();
        }
    }
    return true;
}();

}  // namespace
