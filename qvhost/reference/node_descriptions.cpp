#include "qvhost/reference/node_descriptions.h"

#include <cstring>

namespace qvhost {

// One row per node, in the order of the module's server table; a test
// (Reference.DescribesEveryNodeOnceAndNoOther) names any node of the loaded
// module without a row.  Inputs and outputs are named as the node names
// them; angles on connections are radians.  The text is the host's alone,
// so it stays out of the module's node table (docs/adding-a-node.md).
// clang-format off
const NodeDescription kNodeDescriptions[] = {
    // QvTool/Const
    {"QvMs_EPSI",   "The machine epsilons: Double gives 2^−52 (2.220446049250313e-16) and Float 2^−23 (1.1920928955078125e-07)."},
    {"QvMs_PI",     "π and three of its multiples, each the exact double: PI, 2PI, PI/2 and PI/4."},
    {"QvMs_TIME",   "The scene's current time in seconds, its frame, its frames per second and the seconds per frame (1 / FPS, infinite at a frame rate of 0). Where there is no scene time (in Modeler) every output is 0."},
    // QvTool/Math/Func_T
    {"QvMs_ACOS",   "The arc cosine of In, from 0 to π. Outside −1 to 1 it gives NaN."},
    {"QvMs_ASIN",   "The arc sine of In, from −π/2 to π/2. Outside −1 to 1 it gives NaN."},
    {"QvMs_ATAN",   "The arc tangent of In, between −π/2 and π/2."},
    {"QvMs_ATAN2",  "The angle of the point (X, Y) from the X axis, from −π to π (the arc tangent of Y / X in the right quadrant). Whenever Y is 0 (of either sign) it gives 0, also for a negative X, where the angle would be π."},
    {"QvMs_COS",    "The cosine of In."},
    {"QvMs_SIN",    "The sine of In."},
    {"QvMs_TAN",    "The tangent of In; it grows without bound towards the odd multiples of π/2."},
    // QvTool/Math/Func_C
    {"QvMs_ABS",    "\"Abs +\" gives In without its sign (|In|), \"Abs -\" gives −|In|; only the sign bit is set, so a NaN stays NaN and a zero takes the mode's sign. With In unconnected it gives 0 in both modes."},
    {"QvMs_ERF",    "The error function of In: 0 at 0, going to −1 and 1 for large negative and positive In."},
    {"QvMs_EXP",    "e to the power In; above about 709.78 the result is infinite."},
    {"QvMs_LOG",    "The natural logarithm of In: −infinity at 0 and NaN below 0."},
    {"QvMs_LOG2",   "The base-2 logarithm of In: −infinity at 0 and NaN below 0."},
    {"QvMs_LOG0",   "The base-10 logarithm of In: −infinity at 0 and NaN below 0."},
    {"QvMs_POW",    "In to the power Pow. Pow 0 gives 1, and In 0 gives 0 for every Pow, 0 and negative powers included (not 1 or infinity); a negative In to a fractional power gives NaN."},
    {"QvMs_ROND",   "In rounded to the nearest whole number, halves away from zero (2.5 gives 3, −2.5 gives −3). NaN and infinities pass unchanged."},
    {"QvMs_SQRT",   "The square root of In; NaN below 0."},
    {"QvMs_TRNC",   "In rounded toward zero (2.9 gives 2, −2.7 gives −2). NaN and infinities pass unchanged."},
    // QvTool/Math/Scalar
    {"QvMs_ANGL",   "The angle of the direction (X, Y) from the X axis, from 0 to π, made negative when Y is positive (with Invert on, when Y is negative); Round gives 2π − angle in place of the negative angle, so the result runs from 0 to 2π. A zero-length or NaN direction gives 0."},
    {"QvMs_ANGL2",  "The angle from the direction A = (Ax, Ay) to B = (Bx, By), from 0 to π, negative when B lies clockwise of A (Invert turns the sign over; Round gives 2π − angle in place of a negative angle). This is the opposite sign convention to Angle. If A or B has zero length it gives 0; equal directions can give NaN by rounding (the cosine comes out a hair above 1)."},
    {"QvMs_CLMP",   "In limited to Min and Max: the lower bound first, then the upper, so with Min above Max it gives Max. An unconnected In reads 0; a NaN In gives Min (then limited by Max)."},
    {"QvMs_DEG",    "In radians turned into degrees: 180 × In / π."},
    {"QvMs_DIST",   "The distance from the point (Ax, Ay) to the point (Bx, By)."},
    {"QvMs_DOT",    "The dot product Ax·Bx + Ay·By; with Normalize on, (Ax, Ay) and (Bx, By) are first scaled to length 1 (a zero-length pair stays as it is), which gives the cosine of the angle between them."},
    {"QvMs_LEN",    "The length √(X² + Y²) of the vector (X, Y)."},
    {"QvMs_NORM",   "The vector (X, Y) scaled to length 1, as outputs X and Y. A zero-length or NaN vector passes unchanged."},
    {"QvMs_RAD",    "In degrees turned into radians: π × In / 180."},
    {"QvMs_SIGN",   "In with its sign turned over (−In; 0 gives −0, a NaN stays NaN). With In unconnected it gives 0."},
    {"QvMs_CSGN",   "In with the sign of Sign (the sign bit copied, so a Sign of −0 makes it negative). With Sign unconnected, In passes unchanged."},
    // QvTool/Math/Scalar_
    {"QvMs_DIV",    "In1 / In2. A divisor of 0 (of either sign) gives 0, without evaluating In1; a NaN divisor gives NaN."},
    {"QvMs_ADD",    "In1 + In2."},
    {"QvMs_ADD4",   "The sum ((In1 + In2) + In3) + In4."},
    {"QvMs_MAX4",   "The largest of In1 to In4; on a tie the later input wins. A NaN is replaced by the next input, so only a NaN In4 gives NaN."},
    {"QvMs_MIN4",   "The smallest of In1 to In4; on a tie the earlier input wins. A NaN in In2 to In4 is passed over; a NaN In1 gives NaN."},
    {"QvMs_MUL",    "In1 × In2."},
    {"QvMs_MUL4",   "The product ((In1 × In2) × In3) × In4."},
    {"QvMs_SUB",    "In1 − In2."},
    {"QvMs_SUB4",   "((In1 − In2) − In3) − In4."},
    // QvTool/Math/Vector
    {"QvMv_ADNml",  "The sum of the connected inputs among In1 to In4, scaled to length 1. Unconnected inputs take no part; nothing connected, or a sum of zero length, gives (0, 0, 0)."},
    {"QvMv_ANGL",   "The angle between In1 and In2, from 0 to π. If either has zero length it gives 0; nearly parallel vectors can give NaN by rounding (the cosine comes out a hair above 1)."},
    {"QvMv_CLMP",   "In limited to Min and Max in each component: the lower bound first, then the upper, so where Min is above Max the component is Max. An unconnected In reads (0, 0, 0); a NaN component gives Min's."},
    {"QvMv_CROS",   "The cross product In1 × In2; with Normalize on, of In1 and In2 scaled to length 1 first (a zero-length one stays as it is). It gives (0, 0, 0) unless both inputs are connected, and also when every component of both is smaller than 2.2e-16."},
    {"QvMv_DEG",    "Each component of In turned from radians into degrees (× 180/π). With In unconnected it gives (0, 0, 0)."},
    {"QvMv_DOT",    "The dot product In1 · In2; with Normalize on, of In1 and In2 scaled to length 1 first, which gives the cosine of the angle between them. It gives 0 unless both inputs are connected, and also when every component of both is smaller than 2.2e-16."},
    {"QvMv_NORM",   "Three normalisers side by side: out1, out2 and out3 give In1, In2 and In3 scaled to length 1. An unconnected input gives (0, 0, 0); a zero-length one passes unchanged."},
    {"QvMv_RAD",    "Each component of In turned from degrees into radians (× π/180). With In unconnected it gives (0, 0, 0)."},
    {"QvMv_QROT",   "Vec turned about Axis by the angle Rot, counter-clockwise looking down the axis towards the origin; the panel's Rot is in degrees, a connected Rot in radians. A Rot of 0 leaves Vec unchanged, an unconnected Vec gives (0, 0, 0), and a zero-length Axis does not turn Vec but scales it by cos²(Rot/2)."},
    {"QvMv_SIGN",   "In with the sign of each component turned over (0 gives −0). With In unconnected it gives (0, 0, 0)."},
    {"QvMv_SBNml",  "The first connected input among In1 to In4 minus every later connected one, scaled to length 1. Unconnected inputs take no part; nothing connected, or a difference of zero length, gives (0, 0, 0)."},
    {"QvMv_TRAN",   "The direction Vec transformed by the matrix whose rows are Rgt, Up and Fwd: Vec.x × Rgt + Vec.y × Up + Vec.z × Fwd. An unconnected row is the identity's row; with no row connected Vec passes unchanged, and an unconnected Vec is (0, 0, 1)."},
    {"QvMv_TRAN4",  "The point In transformed by the matrix with rows Rgt, Up, Fwd and the translation Vec: In.x × Rgt + In.y × Up + In.z × Fwd + Vec. An unconnected row is the identity's row (Vec (0, 0, 0)); with none connected In passes unchanged, and an unconnected In is (0, 0, 1)."},
    // QvTool/Math/Vector_
    {"QvMv_ADD",    "In1 + In2, component by component."},
    {"QvMv_DIV",    "In1 / In2, component by component; a component whose divisor is 0 or NaN gives 0, the others are divided as usual."},
    {"QvMv_MUL",    "In1 × In2, component by component."},
    {"QvMv_SUB",    "In1 − In2, component by component."},
    {"QvMv_MAX",    "The larger of In1 and In2 in each component; where either is NaN, In2's component."},
    {"QvMv_MIN",    "The smaller of In1 and In2 in each component; where either is NaN, In1's component."},
    // QvTool/Tool/Conv, QvTool/Tool
    {"QvT_F2T",     "The time in seconds of the frame Frm at the scene's frame rate: Frm / FPS, with Frm limited to ±8388607. Where there is no scene time (in Modeler) it gives 0."},
    {"QvT_G2P",     "A power of two from 4 to 4096: 2 to the power (In × 10 + 2), In limited to 0 to 1 first (a NaN In counts as 1). With In unconnected it gives 4."},
    {"QvT_C2RGB",   "Col split into R, G and B, with its largest and smallest channel, its luma 0.298912 R + 0.586611 G + 0.114478 B (weights adding up to 1.000001, so white gives 1.000001) and its average. With Col unconnected every output is 0."},
    {"QvT_CtRGB",   "Col split into R, G and B. With Col unconnected every output is 0."},
    {"QvT_V2XYZ",   "Vec split into X, Y and Z, with its largest and smallest component, its length and its average. With Vec unconnected every output is 0."},
    {"QvT_VtXYZ",   "Vec split into X, Y and Z. With Vec unconnected every output is 0."},
    {"QvT_MVEC",    "A vector made from Vec ((0, 0, 0) when unconnected), each connected X, Y or Z replacing that component."},
    {"QvT_MAPR",    "In mapped from the range St to Ed onto mapSt to mapEd. Beyond each end of the target range the mode of that end applies (the first choice beyond mapSt, the second beyond mapEd): Linear goes on in a straight line, Constant holds the end, Repeat starts again from the other end, Reflect runs back and forth. When St equals Ed, In passes unchanged; when mapSt equals mapEd, it gives mapSt; a NaN passes through."},
    {"QvT_NOIS",    "A channel of the host's noise that moves with the scene time: (noise((time − Shift) × Speed × 10, Phase, 20) − 0.5) × Scale + Offset, the noise being nominally 0 to 1. Scale 0 gives Offset exactly."},
    {"QvT_SPMTL",   "The material Mtl split into its diffuse, specular, reflection and refraction colours and its transparency. With Mtl unconnected every output is 0."},
    // QvTool/Tool/View
    {"QvT_VIEW",    "Shows in its preview the colour (each channel × 255, truncated), the integer, the scalar and the vector, whose components connected X, Y and Z replace. ShowHex shows the integer in hexadecimal; ShowDeg S and ShowDeg V show the scalar and the vector × 180/π, marked with `*`. It has no outputs; what is unconnected shows as 0."},
    {"QvT_VIEWI",   "Shows six integers in its preview, in decimal or, with ShowHex, as eight hexadecimal digits (negative numbers as two's complement: −1 is 0xFFFFFFFF). It has no outputs; what is unconnected shows as 0."},
    {"QvT_VIEWS",   "Shows six scalars in its preview in two groups of three; ShowDeg S shows the first group × 180/π and ShowDeg V the second, each marked with `*`. It has no outputs; what is unconnected shows as 0."},
    {"QvT_VIEWV",   "Shows two vectors in its preview; ShowDeg S shows the first × 180/π and ShowDeg V the second, each marked with `*`. It has no outputs; what is unconnected shows as 0."},
    // QvTool/Math/Matrix
    {"QvT_E2Mat",   "The rotation matrix of the Euler angles Rot (heading, pitch and bank) as its rows Rgt, Up and Fwd; with Invert on, its inverse (the transpose). With Rot unconnected it gives the identity."},
    {"QvT_INVMat",  "The inverse of the matrix with rows Rgt, Up and Fwd, with Bool 1. A singular matrix (determinant smaller than 2.2e-16) passes unchanged with Bool 0, and nothing connected gives the identity with Bool 0. With Replace on it gives the transpose instead (the inverse of a pure rotation), with Bool 1."},
    {"QvT_INVMat4", "The inverse of the matrix with rows Rgt, Up, Fwd and the translation Vec, with Bool 1. A singular matrix passes unchanged with Bool 0, and nothing connected gives the identity with Bool 0."},
    {"QvT_M2Euler", "The Euler angles (heading, pitch and bank) of the matrix with rows Rgt, Up and Fwd, each row scaled to length 1 first (a zero row stays zero, an unconnected one is the identity's). With test on, gimbal lock is resolved with bank 0. Nothing connected gives (0, 0, 0)."},
    {"QvT_MULMat",  "The product of matrix 1 (rows 1:Rgt, 1:Up, 1:Fwd) and matrix 2 (rows 2:…), matrix 1 applied first. Unconnected rows are the identity's; when only one matrix has a connected row, that matrix passes alone, and nothing connected gives the identity."},
    {"QvT_QRMAT",   "The matrix with rows Rgt, Up and Fwd turned about Axis by the angle Rot; the panel's Rot is in degrees, a connected Rot in radians. A Rot of 0 leaves the matrix unchanged; a zero-length Axis does not turn the rows but scales them by cos²(Rot/2)."},
    {"QvT_S2Mat",   "The scale matrix with In.x, In.y and In.z on its diagonal, as rows Rgt, Up and Fwd. With In unconnected it gives the identity."},
    {"QvT_SLPMT",   "The rotation part way from matrix 1 to matrix 2, turning at an even rate (spherical interpolation): % 0 (0% in the panel) gives matrix 1 and 1 (100%) matrix 2, and at and beyond the ends that matrix passes as it is, scale included, while between them scale and shear are lost. Unconnected rows are the identity's."},
    // QvTool/Tool/Logic
    {"QvT_LGC1",    "Compares A1 with B1 by the chosen operator (\"A == B\" and \"A != B\" within 2.2e-16) and gives True or False on Out and 1 or 0 on Bool. Any comparison with a NaN is false, \"A != B\" included."},
    {"QvT_LGC2",    "Compares A1 with B1 and A2 with B2, each by its operator, and combines the two results by the third choice (both true, both false, the first only, the second only, either); gives True or False on Out and 1 or 0 on Bool. A comparison with a NaN is false."},
    {"QvT_LGC1V",   "As Logic1, with the vectors True and False routed to Out; only the chosen one is evaluated, and an unconnected one gives (0, 0, 0)."},
    {"QvT_LGC2V",   "As Logic2, with the vectors True and False routed to Out; only the chosen one is evaluated, and an unconnected one gives (0, 0, 0)."},
    {"QvT_SWCHS",   "Bool picks, for each output, one of its pair of inputs: out1 gives True1 when Bool is not 0 (negative too) and false1 when it is 0, out2 and out3 likewise. An unconnected Bool counts as 0, an unconnected chosen input gives 0."},
    {"QvT_SWCHV",   "Bool picks, for each output, one of its pair of vector inputs: out1 gives True1 when Bool is not 0 (negative too) and false1 when it is 0, out2 and out3 likewise. An unconnected Bool counts as 0, an unconnected chosen input gives (0, 0, 0)."},
    // QvTool/Tool/Cache
    {"QvC_INT",     "In evaluated once per frame, at the first sample after the frame changes, and that value given to every sample of the frame. Before the first frame, and with In unconnected, it gives 0."},
    {"QvC_MTL",     "The material In evaluated once per frame, at the first sample after the frame changes, and given to every sample of the frame. Before the first frame, and with In unconnected, every part is 0."},
    {"QvC_MAT",     "The matrix rows Rgt, Up and Fwd evaluated once per frame, at the first sample after the frame changes, and given to every sample of the frame. An unconnected row is the identity's; before the first frame every row is (0, 0, 0)."},
    {"QvC_SCL",     "In evaluated once per frame, at the first sample after the frame changes, and that value given to every sample of the frame. Before the first frame, and with In unconnected, it gives 0."},
    {"QvC_VEC",     "In evaluated once per frame, at the first sample after the frame changes, and that value given to every sample of the frame. Before the first frame, and with In unconnected, it gives (0, 0, 0)."},
};
// clang-format on
const std::size_t kNodeDescriptionCount = sizeof kNodeDescriptions / sizeof kNodeDescriptions[0];

// clang-format off
const GroupTitle kGroupTitles[] = {
    {"QvTool/Const",        "Constants and scene time"},
    {"QvTool/Math/Func_T",  "Trigonometric functions"},
    {"QvTool/Math/Func_C",  "Exponentials, logarithms, powers and rounding"},
    {"QvTool/Math/Scalar",  "Scalar measures"},
    {"QvTool/Math/Scalar_", "Scalar arithmetic"},
    {"QvTool/Math/Vector",  "Vector geometry"},
    {"QvTool/Math/Vector_", "Vector arithmetic"},
    {"QvTool/Tool/Conv",    "Conversions"},
    {"QvTool/Tool",         "Map range and noise"},
    {"QvTool/Tool/View",    "Viewers"},
    {"QvTool/Math/Matrix",  "Matrices"},
    {"QvTool/Tool/Logic",   "Logic and switches"},
    {"QvTool/Tool/Cache",   "Caches"},
};
// clang-format on
const std::size_t kGroupTitleCount = sizeof kGroupTitles / sizeof kGroupTitles[0];

const char *node_description(const char *server) {
    for (const NodeDescription &d : kNodeDescriptions)
        if (std::strcmp(d.server, server) == 0) return d.text;
    return nullptr;
}

const char *group_title(const char *group) {
    for (const GroupTitle &g : kGroupTitles)
        if (std::strcmp(g.group, group) == 0) return g.title;
    return nullptr;
}

}  // namespace qvhost
