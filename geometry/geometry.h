// Vector, matrix and quaternion routines used by the vector geometry nodes,
// the matrix nodes and the matrix cache node.
//
// Storage and conventions
//
//   All values are IEEE doubles in plain C-layout structs, so a Vec3 is the
//   three consecutive doubles that a vector connection carries and a matrix
//   row can be handed to the host's input and output services as it is.
//
//   Matrices are row-major: Mat3::row[i] is row i, and its x, y, z are
//   columns 0, 1, 2.  Below, mij means row i, column j.
//
//   Vectors are row vectors multiplied on the left of a matrix: v' = v·M,
//   component j of v' being v.x·m0j + v.y·m1j + v.z·m2j.  Row 0 is therefore
//   the image of the X axis, row 1 of Y, row 2 of Z (the nodes' "Rgt", "Up"
//   and "Fwd"), and a product A·B applies A first: v·(A·B) = (v·A)·B.
//
//   A Mat4 holds the 3x3 part in rows 0 to 2, columns 0 to 2, and the
//   translation in row 3, columns 0 to 2 (the nodes' "Vec").  Column 3 (the
//   w of every row) is never read; mat4_identity and mat4_inverse_affine
//   write it.  vec_mul_mat3 transforms directions (no translation);
//   point_mul_mat4 transforms points: it adds the translation row and does no
//   projective division.
//
//   A Quat is x, y, z (vector part) then w (scalar part).  Rotation
//   quaternions are expected to be unit length; nothing here normalises one.
//
//   Euler angles are radians: heading about Y, pitch about X, bank about Z.
//   With the elementary rotations written in the row-vector convention
//     Rx(a) = rows (1, 0, 0), (0, c, s), (0, -s, c)
//     Ry(a) = rows (c, 0, -s), (0, 1, 0), (s, 0, c)
//     Rz(a) = rows (c, s, 0), (-s, c, 0), (0, 0, 1)
//   mat3_from_euler builds Rz(bank)·Rx(pitch)·Ry(heading): bank is applied
//   first, then pitch, then heading.
//
// Zero lengths and singular matrices
//
//   Only vec_normalize, mat3_inverse and mat4_inverse_affine can fail.  They
//   return 0 on success; on failure they return 1 and leave the output
//   exactly as it was, and the caller decides what to use instead.  A vector
//   fails only when its squared length is not greater than zero (zero, an
//   underflow to zero, or a NaN); there is no other epsilon.  A matrix is
//   singular when the magnitude of its determinant is below kTiny; a NaN
//   determinant is not singular.  No routine checks for NaN or infinity
//   beyond that: they travel through the arithmetic.
//
// Every routine takes its output first.  It reads all of its inputs before it
// writes the output, so the output may be the same object as an input of the
// same type (normalising, transposing, inverting, interpolating or rotating in
// place).  Nothing allocates, throws or keeps state, and every expression is
// evaluated in a fixed order so that results are the same on every target.
#pragma once

#include <type_traits>

namespace qv {

struct Vec3 {
    double x, y, z;
};

// A row of a Mat4: the three columns of the 3x3 part (or the translation) and
// column 3.
struct Vec4 {
    double x, y, z, w;
};

struct Quat {
    double x, y, z, w;
};

struct Euler {
    double heading, pitch, bank;
};

struct Mat3 {
    Vec3 row[3];
};

struct Mat4 {
    Vec4 row[4];
};

static_assert(sizeof(Vec3) == 3 * sizeof(double), "a vector is three doubles");
static_assert(sizeof(Vec4) == 4 * sizeof(double), "a Mat4 row is four doubles");
static_assert(sizeof(Quat) == 4 * sizeof(double), "a quaternion is four doubles");
static_assert(sizeof(Euler) == 3 * sizeof(double), "Euler angles travel as a vector");
static_assert(sizeof(Mat3) == 9 * sizeof(double), "a Mat3 is nine doubles, row by row");
static_assert(sizeof(Mat4) == 16 * sizeof(double), "a Mat4 is sixteen doubles, row by row");
static_assert(std::is_trivially_copyable<Mat4>::value && std::is_standard_layout<Mat4>::value &&
                  std::is_trivially_copyable<Mat3>::value && std::is_standard_layout<Mat3>::value &&
                  std::is_trivially_copyable<Quat>::value && std::is_standard_layout<Quat>::value &&
                  std::is_trivially_copyable<Euler>::value && std::is_standard_layout<Euler>::value,
              "geometry values are plain C-layout records");

// 2^-52 (0x3CB0000000000000): the singular-matrix threshold, the snapping of
// small Euler angles to zero and the gimbal-lock test; also the tolerance of
// the nodes' equality tests and the "Double" epsilon.
constexpr double kTiny = 2.220446049250313e-16;
// 2^-23 (0x3E80000000000000): quaternions closer than this to parallel (or
// opposite) are not interpolated.
constexpr double kSlerpTolerance = 1.1920928955078125e-07;
// pi and its multiples as exact doubles; pi/2 (0x3FF921FB54442D18) is also
// the pitch at the poles.
constexpr double kPi = 3.141592653589793;          // 0x400921FB54442D18
constexpr double kTwoPi = 6.283185307179586;       // 0x401921FB54442D18
constexpr double kHalfPi = 1.5707963267948966;     // 0x3FF921FB54442D18
constexpr double kQuarterPi = 0.7853981633974483;  // 0x3FE921FB54442D18
// Degrees per radian and radians per degree, the doubles nearest 180/pi and
// pi/180.
constexpr double kRadiansToDegrees = 57.29577951308232;     // 0x404CA5DC1A63C1F8
constexpr double kDegreesToRadians = 0.017453292519943295;  // 0x3F91DF46A2529D39

// out = in / |in|.  Returns 1 and leaves out untouched when in has no length.
int vec_normalize(Vec3 &out, const Vec3 &in);

// 1.0 on the diagonal, +0.0 elsewhere.
void mat3_identity(Mat3 &out);

// c = a·b (a applied first).
void mat3_mul(Mat3 &c, const Mat3 &a, const Mat3 &b);

void mat3_transpose(Mat3 &out, const Mat3 &in);

// Adjugate over determinant.  Returns 1 and leaves out untouched when in is
// singular.
int mat3_inverse(Mat3 &out, const Mat3 &in);

// 1.0 on the diagonal, +0.0 elsewhere.
void mat4_identity(Mat4 &out);

// Inverse of a 3x3 part with a translation row; the input's column 3 is not
// read.  Writes +0.0 into column 3 of rows 0 to 2 and into row 3 column 3 the
// ratio of two expansions of the determinant (1 within rounding).  Returns 1
// and leaves out untouched when the 3x3 part is singular.
int mat4_inverse_affine(Mat4 &out, const Mat4 &in);

// Rz(bank)·Rx(pitch)·Ry(heading).
void mat3_from_euler(Mat3 &out, const Euler &e);

// Ry(e.heading)·Rx(e.pitch)·Rz(e.bank): with the angles negated, the
// transpose (and so the inverse) of mat3_from_euler.
void mat3_from_euler_reversed(Mat3 &out, const Euler &e);

// The angles of a matrix built by mat3_from_euler: pitch in [-pi/2, pi/2],
// heading and bank in [-pi, pi].  Angles within kTiny of zero come out as
// +0.0.  When resolve_gimbal_lock is non-zero and the pitch is at a pole, the
// bank is +0.0 and the heading takes the whole rotation about the vertical.
void euler_from_mat3(Euler &out, const Mat3 &m, int resolve_gimbal_lock);

// The rotation of m (taken as a pure rotation) as a quaternion, by the
// largest-component method; the sign of w is whatever that gives.
void quat_from_mat3(Quat &out, const Mat3 &m);

void quat_to_mat3(Mat3 &out, const Quat &q);

// A rotation of angle radians about axis; the axis is used as given, so
// callers normalise it first.
void quat_from_axis_angle(Quat &out, const Vec3 &axis, double angle);

// Spherical interpolation from a (t = 0) to b (t = 1) along the shorter arc.
// t is not clamped; the result is not renormalised.  Quaternions within
// kSlerpTolerance of parallel or opposite, or whose dot product's magnitude
// reaches 1 (non-unit quaternions), give a unchanged.
void quat_slerp(Quat &out, const Quat &a, const Quat &b, double t);

// q·(v, 0)·q*: for a unit quaternion, v·quat_to_mat3(q).
void quat_rotate(Vec3 &out, const Vec3 &v, const Quat &q);

// v·m, a direction: no translation.
void vec_mul_mat3(Vec3 &out, const Vec3 &v, const Mat3 &m);

// p·m for a point: the 3x3 part plus the translation row.
void point_mul_mat4(Vec3 &out, const Vec3 &p, const Mat4 &m);

}  // namespace qv
