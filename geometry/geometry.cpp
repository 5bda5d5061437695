#include "geometry/geometry.h"

#include <cmath>

namespace qv {

namespace {

// The inverse of the 3x3 block m (adjugate over determinant) into inv, with
// its determinant d expanded along the first row.  Returns false, writing
// only d, when the block is singular.
bool invert_block(Vec3 (&inv)[3], double &d, const double (&m)[3][3]) {
    const double m00 = m[0][0], m01 = m[0][1], m02 = m[0][2];
    const double m10 = m[1][0], m11 = m[1][1], m12 = m[1][2];
    const double m20 = m[2][0], m21 = m[2][1], m22 = m[2][2];

    const double c00 = m11 * m22 - m12 * m21;
    const double c01 = m12 * m20 - m10 * m22;
    const double c02 = m10 * m21 - m11 * m20;
    d = m00 * c00 + m01 * c01 + m02 * c02;
    if (std::fabs(d) < kTiny) return false;  // false for a NaN determinant

    const double k = 1.0 / d;
    inv[0] = {c00 * k, (m02 * m21 - m01 * m22) * k, (m01 * m12 - m02 * m11) * k};
    inv[1] = {c01 * k, (m00 * m22 - m02 * m20) * k, (m02 * m10 - m00 * m12) * k};
    inv[2] = {c02 * k, (m01 * m20 - m00 * m21) * k, (m00 * m11 - m01 * m10) * k};
    return true;
}

// An angle within kTiny of zero becomes +0.0, so no -0.0 or rounding residue
// comes out of the arcsine and arctangents.  A NaN is kept.
double snap(double a) { return std::fabs(a) <= kTiny ? 0.0 : a; }

}  // namespace

int vec_normalize(Vec3 &out, const Vec3 &in) {
    const double x = in.x, y = in.y, z = in.z;
    const double s = x * x + y * y + z * z;
    if (!(s > 0.0)) return 1;  // zero, underflowed to zero, or NaN
    const double k = 1.0 / std::sqrt(s);
    out = {x * k, y * k, z * k};
    return 0;
}

void mat3_identity(Mat3 &out) {
    out.row[0] = {1.0, 0.0, 0.0};
    out.row[1] = {0.0, 1.0, 0.0};
    out.row[2] = {0.0, 0.0, 1.0};
}

void mat3_mul(Mat3 &c, const Mat3 &a, const Mat3 &b) {
    const Mat3 l = a, r = b;  // c may be a or b
    for (int i = 0; i < 3; ++i) {
        const Vec3 &li = l.row[i];
        c.row[i] = {li.x * r.row[0].x + li.y * r.row[1].x + li.z * r.row[2].x,
                    li.x * r.row[0].y + li.y * r.row[1].y + li.z * r.row[2].y,
                    li.x * r.row[0].z + li.y * r.row[1].z + li.z * r.row[2].z};
    }
}

void mat3_transpose(Mat3 &out, const Mat3 &in) {
    const Mat3 m = in;
    out.row[0] = {m.row[0].x, m.row[1].x, m.row[2].x};
    out.row[1] = {m.row[0].y, m.row[1].y, m.row[2].y};
    out.row[2] = {m.row[0].z, m.row[1].z, m.row[2].z};
}

int mat3_inverse(Mat3 &out, const Mat3 &in) {
    const double m[3][3] = {{in.row[0].x, in.row[0].y, in.row[0].z},
                            {in.row[1].x, in.row[1].y, in.row[1].z},
                            {in.row[2].x, in.row[2].y, in.row[2].z}};
    Vec3 inv[3];
    double d;
    if (!invert_block(inv, d, m)) return 1;
    out.row[0] = inv[0];
    out.row[1] = inv[1];
    out.row[2] = inv[2];
    return 0;
}

void mat4_identity(Mat4 &out) {
    out.row[0] = {1.0, 0.0, 0.0, 0.0};
    out.row[1] = {0.0, 1.0, 0.0, 0.0};
    out.row[2] = {0.0, 0.0, 1.0, 0.0};
    out.row[3] = {0.0, 0.0, 0.0, 1.0};
}

int mat4_inverse_affine(Mat4 &out, const Mat4 &in) {
    const double m[3][3] = {{in.row[0].x, in.row[0].y, in.row[0].z},
                            {in.row[1].x, in.row[1].y, in.row[1].z},
                            {in.row[2].x, in.row[2].y, in.row[2].z}};
    const double t0 = in.row[3].x, t1 = in.row[3].y, t2 = in.row[3].z;
    Vec3 inv[3];
    double d;
    if (!invert_block(inv, d, m)) return 1;

    // The determinant again, expanded along the first column; the ratio of
    // the two expansions is 1 within rounding and fills the corner.
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double d_column = m[0][0] * c00 - m[1][0] * (m[2][2] * m[0][1] - m[2][1] * m[0][2]) +
                            m[2][0] * (m[1][2] * m[0][1] - m[1][1] * m[0][2]);

    // The translation goes back through the inverted block: -T·R^-1.
    const Vec4 translation = {-(t0 * inv[0].x + t1 * inv[1].x + t2 * inv[2].x),
                              -(t0 * inv[0].y + t1 * inv[1].y + t2 * inv[2].y),
                              -(t0 * inv[0].z + t1 * inv[1].z + t2 * inv[2].z), d_column / d};
    out.row[0] = {inv[0].x, inv[0].y, inv[0].z, 0.0};
    out.row[1] = {inv[1].x, inv[1].y, inv[1].z, 0.0};
    out.row[2] = {inv[2].x, inv[2].y, inv[2].z, 0.0};
    out.row[3] = translation;
    return 0;
}

void mat3_from_euler(Mat3 &out, const Euler &e) {
    const double sh = std::sin(e.heading), ch = std::cos(e.heading);
    const double sp = std::sin(e.pitch), cp = std::cos(e.pitch);
    const double sb = std::sin(e.bank), cb = std::cos(e.bank);
    out.row[0] = {ch * cb + sh * sp * sb, cp * sb, ch * sp * sb - sh * cb};
    out.row[1] = {sh * sp * cb - ch * sb, cp * cb, sh * sb + ch * sp * cb};
    out.row[2] = {sh * cp, -sp, ch * cp};
}

void mat3_from_euler_reversed(Mat3 &out, const Euler &e) {
    const double sa = std::sin(e.heading), ca = std::cos(e.heading);
    const double sb = std::sin(e.pitch), cb = std::cos(e.pitch);
    const double sc = std::sin(e.bank), cc = std::cos(e.bank);
    out.row[0] = {ca * cc - sa * sb * sc, ca * sc + sa * sb * cc, -sa * cb};
    out.row[1] = {-cb * sc, cb * cc, sb};
    out.row[2] = {sa * cc + ca * sb * sc, sa * sc - ca * sb * cc, ca * cb};
}

void euler_from_mat3(Euler &out, const Mat3 &m, int resolve_gimbal_lock) {
    const double m00 = m.row[0].x, m01 = m.row[0].y, m02 = m.row[0].z;
    const double m11 = m.row[1].y;
    const double m20 = m.row[2].x, m21 = m.row[2].y, m22 = m.row[2].z;

    double pitch, cp;
    if (m21 >= 1.0) {
        pitch = -kHalfPi;
        cp = 0.0;
    } else if (m21 <= -1.0) {
        pitch = kHalfPi;
        cp = 0.0;
    } else {  // a NaN m21 lands here and gives NaN angles
        pitch = snap(std::asin(-m21));
        cp = std::cos(pitch);
    }

    double heading, bank;
    if (resolve_gimbal_lock != 0 && std::fabs(cp) <= kTiny) {
        // At a pole heading and bank turn about the same axis: give it all
        // to the heading, read from the right row.
        heading = snap(std::atan2(-m02, m00));
        bank = 0.0;
    } else {
        heading = snap(std::atan2(m20, m22));
        bank = snap(std::atan2(m01, m11));
    }
    out = {heading, pitch, bank};
}

void quat_from_mat3(Quat &out, const Mat3 &m) {
    const double m00 = m.row[0].x, m01 = m.row[0].y, m02 = m.row[0].z;
    const double m10 = m.row[1].x, m11 = m.row[1].y, m12 = m.row[1].z;
    const double m20 = m.row[2].x, m21 = m.row[2].y, m22 = m.row[2].z;

    // 4x²-1, 4y²-1, 4z²-1 and 4w²-1 of a unit quaternion.
    const double tx = m00 - m11 - m22;
    const double ty = m11 - m00 - m22;
    const double tz = m22 - m00 - m11;
    const double trace = m00 + m11 + m22;

    // The largest of the four squared components is recovered from its own
    // diagonal term, the others from sums and differences across the diagonal.
    // Ties go to x before y before z before w.
    enum { kX, kY, kZ } pick = kX;
    double t = tx;
    if (ty > t) {
        pick = kY;
        t = ty;
    }
    if (tz > t) {
        pick = kZ;
        t = tz;
    }

    if (trace > t) {
        const double s = std::sqrt(trace + 1.0) * 0.5;
        const double h = 0.25 / s;
        out = {(m12 - m21) * h, (m20 - m02) * h, (m01 - m10) * h, s};
        return;
    }
    const double s = std::sqrt(t + 1.0) * 0.5;
    const double h = 0.25 / s;
    switch (pick) {
    case kX: out = {s, (m01 + m10) * h, (m20 + m02) * h, (m12 - m21) * h}; break;
    case kY: out = {(m01 + m10) * h, s, (m12 + m21) * h, (m20 - m02) * h}; break;
    case kZ: out = {(m20 + m02) * h, (m12 + m21) * h, s, (m01 - m10) * h}; break;
    }
}

void quat_to_mat3(Mat3 &out, const Quat &q) {
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    out.row[0] = {1.0 - 2.0 * (y * y + z * z), 2.0 * (x * y + w * z), 2.0 * (x * z - w * y)};
    out.row[1] = {2.0 * (x * y - w * z), 1.0 - 2.0 * (x * x + z * z), 2.0 * (y * z + w * x)};
    out.row[2] = {2.0 * (x * z + w * y), 2.0 * (y * z - w * x), 1.0 - 2.0 * (x * x + y * y)};
}

void quat_from_axis_angle(Quat &out, const Vec3 &axis, double angle) {
    const double h = 0.5 * angle;
    const double s = std::sin(h);
    out = {axis.x * s, axis.y * s, axis.z * s, std::cos(h)};
}

void quat_slerp(Quat &out, const Quat &a, const Quat &b, double t) {
    const Quat qa = a;
    Quat qb = b;
    double d = qa.x * qb.x + qa.y * qb.y + qa.z * qb.z + qa.w * qb.w;
    // Parallel or opposite: nothing to interpolate.  Quaternions of scaled
    // matrices are not unit, and their |d| can pass 1; they count as parallel
    // rather than giving NaN through the square root below.
    if (std::fabs(d) >= 1.0 || std::fabs(1.0 - d * d) < kSlerpTolerance) {
        out = qa;
        return;
    }
    if (d < 0.0) {  // the other sign of b is the shorter way round
        d = -d;
        qb = {-qb.x, -qb.y, -qb.z, -qb.w};
    }
    const double theta = std::atan2(std::sqrt(1.0 - d * d), d);
    const double sin_theta = std::sin(theta);
    const double ka = std::sin((1.0 - t) * theta) / sin_theta;
    const double kb = std::sin(t * theta) / sin_theta;
    out = {ka * qa.x + kb * qb.x, ka * qa.y + kb * qb.y, ka * qa.z + kb * qb.z, ka * qa.w + kb * qb.w};
}

void quat_rotate(Vec3 &out, const Vec3 &v, const Quat &q) {
    const double vx = v.x, vy = v.y, vz = v.z;
    const double x = q.x, y = q.y, z = q.z, w = q.w;

    // p = q·(v, 0): vector part w·v + (x, y, z) × v, scalar part -(x, y, z)·v.
    const double px = w * vx + (y * vz - z * vy);
    const double py = w * vy + (z * vx - x * vz);
    const double pz = w * vz + (x * vy - y * vx);
    const double pw = -(x * vx + y * vy + z * vz);

    // The vector part of p·q*, q* = (c, w) with c = -(x, y, z), taken as
    // pw·c + w·(px, py, pz) + (px, py, pz) × c, in that order.
    const double cx = -x, cy = -y, cz = -z;
    out = {pw * cx + w * px + (py * cz - pz * cy), pw * cy + w * py + (pz * cx - px * cz),
           pw * cz + w * pz + (px * cy - py * cx)};
}

void vec_mul_mat3(Vec3 &out, const Vec3 &v, const Mat3 &m) {
    const Vec3 p = v;  // out may be v, or a row of m
    const Mat3 r = m;
    out = {p.x * r.row[0].x + p.y * r.row[1].x + p.z * r.row[2].x,
           p.x * r.row[0].y + p.y * r.row[1].y + p.z * r.row[2].y,
           p.x * r.row[0].z + p.y * r.row[1].z + p.z * r.row[2].z};
}

void point_mul_mat4(Vec3 &out, const Vec3 &p, const Mat4 &m) {
    const Vec3 a = p;  // out may be p
    const Mat4 r = m;
    out = {a.x * r.row[0].x + a.y * r.row[1].x + a.z * r.row[2].x + r.row[3].x,
           a.x * r.row[0].y + a.y * r.row[1].y + a.z * r.row[2].y + r.row[3].y,
           a.x * r.row[0].z + a.y * r.row[1].z + a.z * r.row[2].z + r.row[3].z};
}

}  // namespace qv
