// The control tables, value descriptions and hint lists of every panel kind,
// laid out one control per line.
#include "nodes/tool/viewers.h"
#include "panels/panels.h"

namespace qv {

namespace {

// clang-format off
const char *const kComparisons[] = {"A == B", "A != B", "A > B", "A < B", "A >= B", "A <= B", nullptr};
const char *const kCombinations[] = {"True && True", "False && False", "True && False", "False && True", "True || False", nullptr};
const char *const kSignModes[] = {"Abs +", "Abs -", nullptr};
const char *const kRangeModes[] = {"Linear", "Constant", "Repeat", "Reflect", nullptr};

#define QV_END {0, nullptr, nullptr}

const QvXPanelControl kFrame[] = {
    {CTL_INT1, "In", "integer"},
    QV_END};
const QvXPanelControl kOneValue[] = {
    {CTL_VAL1, "In", "float"},
    QV_END};
const QvXPanelControl kTwoValue[] = {
    {CTL_VAL1, "In1", "float"},
    {CTL_VAL2, "In2", "float"},
    QV_END};
const QvXPanelControl kPlainTwoValue[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    QV_END};
const QvXPanelControl kFourValue[] = {
    {CTL_VAL1, "In1", "float"},
    {CTL_VAL2, "In2", "float"},
    {CTL_VAL3, "In3", "float"},
    {CTL_VAL4, "In4", "float"},
    QV_END};
const QvXPanelControl kTwoVector[] = {
    {CTL_VAL1, "In1", "float3"},
    {CTL_VAL2, "In2", "float3"},
    QV_END};
const QvXPanelControl kDistance[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    QV_END};
const QvXPanelControl kNormalize[] = {
    {CTL_OPT1, "Normalize\x03(g:55)", "iBoolean"},
    QV_END};
const QvXPanelControl kOneInteger[] = {
    {CTL_OPT1, "", "integer"},
    QV_END};
const QvXPanelControl kScalarDot[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT1, "Normalize\x03(g:55)", "iBoolean"},
    QV_END};
const QvXPanelControl kScalarDotData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT1, "", "integer"},
    QV_END};
const QvXPanelControl kAngle[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "Invert\x03(g:68)", "iBoolean"},
    {CTL_OPT2, "Round\x03(g:74)", "iBoolean"},
    QV_END};
const QvXPanelControl kAngleData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "", "integer"},
    {CTL_OPT2, "", "integer"},
    QV_END};
const QvXPanelControl kFourValueAngle[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT1, "Invert\x03(g:68)", "iBoolean"},
    {CTL_OPT2, "Round\x03(g:74)", "iBoolean"},
    QV_END};
const QvXPanelControl kFourValueAngleData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT1, "", "integer"},
    {CTL_OPT2, "", "integer"},
    QV_END};
const QvXPanelControl kNoise[] = {
    {CTL_VAL1, "Offset", "float"},
    {CTL_VAL2, "Scale", "float"},
    {CTL_VAL3, "Speed", "float"},
    {CTL_VAL4, "Phase", "float"},
    {CTL_VAL5, "Shift", "float"},
    QV_END};
const QvXPanelControl kPower[] = {
    {CTL_VAL1, "In", "float"},
    {CTL_VAL2, "Pow", "float"},
    QV_END};
const QvXPanelControl kMapRange[] = {
    {CTL_VAL1, "In", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_VAL5, "", "float"},
    {CTL_OPT1, "", "iPopChoice"},
    {CTL_OPT2, "", "iPopChoice"},
    QV_END};
const QvXPanelControl kMapRangeData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_VAL5, "", "float"},
    {CTL_OPT1, "", "integer"},
    {CTL_OPT2, "", "integer"},
    QV_END};
const QvXPanelControl kOneComparison[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "Ope", "iPopChoice"},
    {CTL_VAL3, "True", "float"},
    {CTL_VAL4, "False", "float"},
    QV_END};
const QvXPanelControl kOneComparisonData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "", "integer"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    QV_END};
const QvXPanelControl kTwoComparison[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "Ope", "iPopChoice"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT2, "Ope", "iPopChoice"},
    {CTL_OPT3, "Ope", "iPopChoice"},
    {CTL_VAL5, "True", "float"},
    {CTL_VAL6, "False", "float"},
    QV_END};
const QvXPanelControl kTwoComparisonData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "", "integer"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT2, "", "integer"},
    {CTL_OPT3, "", "integer"},
    {CTL_VAL5, "", "float"},
    {CTL_VAL6, "", "float"},
    QV_END};
const QvXPanelControl kOneComparisonVector[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "Ope", "iPopChoice"},
    QV_END};
const QvXPanelControl kOneComparisonVectorData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "", "integer"},
    QV_END};
const QvXPanelControl kTwoComparisonVector[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "Ope", "iPopChoice"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT2, "Ope", "iPopChoice"},
    {CTL_OPT3, "Ope", "iPopChoice"},
    QV_END};
const QvXPanelControl kTwoComparisonVectorData[] = {
    {CTL_VAL1, "", "float"},
    {CTL_VAL2, "", "float"},
    {CTL_OPT1, "", "integer"},
    {CTL_VAL3, "", "float"},
    {CTL_VAL4, "", "float"},
    {CTL_OPT2, "", "integer"},
    {CTL_OPT3, "", "integer"},
    QV_END};
const QvXPanelControl kClamp[] = {
    {CTL_VAL2, "Min", "float"},
    {CTL_VAL3, "Max", "float"},
    QV_END};
const QvXPanelControl kVectorClamp[] = {
    {CTL_VAL1, "Min", "float3"},
    {CTL_VAL2, "Max", "float3"},
    QV_END};
const QvXPanelControl kSignMode[] = {
    {CTL_OPT1, "", "iChoice"},
    QV_END};
const QvXPanelControl kAxisRotation[] = {
    {CTL_VAL1, "Axis", "float3"},
    {CTL_VAL2, "Rot", "float"},
    QV_END};
const QvXPanelControl kRatio[] = {
    {CTL_RATIO, "", "percent"},
    QV_END};
const QvXPanelControl kInvert[] = {
    {CTL_OPT1, "Invert\x03(g:68)", "iBoolean"},
    QV_END};
const QvXPanelControl kTest[] = {
    {CTL_OPT1, "test", "iBoolean"},
    QV_END};
const QvXPanelControl kReplace[] = {
    {CTL_OPT1, "Replace\x03(g:57)", "iBoolean"},
    QV_END};
// The scalar and vector viewers start at the second entry (no "ShowHex").
const QvXPanelControl kViewer[] = {
    {CTL_SHOW_HEX, "ShowHex\x03(g:57)", "iBoolean"},
    {CTL_SHOW_DEG_S, "ShowDeg S\x03(g:47)", "iBoolean"},
    {CTL_SHOW_DEG_V, "ShowDeg V\x03(g:46)", "iBoolean"},
    QV_END};
const QvXPanelControl kViewerData[] = {
    {CTL_SHOW_HEX, "", "integer"},
    {CTL_SHOW_DEG_S, "", "integer"},
    {CTL_SHOW_DEG_V, "", "integer"},
    QV_END};

#undef QV_END

const HintList kComparisonList = {{choices(CTL_OPT1, kComparisons), list_a(CTL_VAL1), list_b(CTL_OPT1)}, 3};
const HintList kSecondComparisonList = {{choices(CTL_OPT2, kComparisons), choices(CTL_OPT3, kCombinations),
                                         list_a(CTL_VAL3), list_b(CTL_OPT2, CTL_OPT3)}, 4};

//                                      controls               data                       accessors                             hint lists
const PanelSpec kFrameSpec =           {kFrame,                kFrame,                    standard_get, standard_set,           {{{notify(), numeric(CTL_INT1)}, 2}}, 1};
const PanelSpec kOneValueSpec =        {kOneValue,             kOneValue,                 standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1)}, 2}}, 1};
const PanelSpec kTwoValueSpec =        {kTwoValue,             kTwoValue,                 standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2)}, 3}}, 1};
const PanelSpec kPlainTwoValueSpec =   {kPlainTwoValue,        kPlainTwoValue,            standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_a(CTL_VAL1)}, 4}}, 1};
const PanelSpec kFourValueSpec =       {kFourValue,            kFourValue,                standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4)}, 5}}, 1};
const PanelSpec kSignModeSpec =        {kSignMode,             kOneInteger,               standard_get, standard_set,           {{{notify(), choices(CTL_OPT1, kSignModes)}, 2}}, 1};
const PanelSpec kPowerSpec =           {kPower,                kPower,                    standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2)}, 3}}, 1};
const PanelSpec kAngleSpec =           {kAngle,                kAngleData,                standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_a(CTL_VAL1, CTL_OPT1), list_b(CTL_VAL2)}, 5}}, 1};
const PanelSpec kFourValueAngleSpec =  {kFourValueAngle,       kFourValueAngleData,       standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), list_a(CTL_VAL1, CTL_VAL3, CTL_OPT1), list_b(CTL_VAL2, CTL_VAL4)}, 7}}, 1};
const PanelSpec kClampSpec =           {kClamp,                kClamp,                    standard_get, standard_set,           {{{notify(), numeric(CTL_VAL2), numeric(CTL_VAL3)}, 3}}, 1};
const PanelSpec kDistanceSpec =        {kDistance,             kDistance,                 standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), list_a(CTL_VAL1, CTL_VAL3), list_b(CTL_VAL2, CTL_VAL4)}, 7}}, 1};
const PanelSpec kScalarDotSpec =       {kScalarDot,            kScalarDotData,            standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), list_a(CTL_VAL1, CTL_VAL3), list_b(CTL_VAL2, CTL_VAL4)}, 7}}, 1};
const PanelSpec kTwoVectorSpec =       {kTwoVector,            kTwoVector,                vector_get, vector_set,               {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_b(CTL_VAL1)}, 4}}, 1};
const PanelSpec kVectorClampSpec =     {kVectorClamp,          kVectorClamp,              vector_clamp_get, vector_clamp_set,   {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_b(CTL_VAL1)}, 4}}, 1};
const PanelSpec kNormalizeSpec =       {kNormalize,            kOneInteger,               standard_get, standard_set,           {{{notify()}, 1}}, 1};
const PanelSpec kAxisRotationSpec =    {kAxisRotation,         kAxisRotation,             axis_rotation_get, axis_rotation_set, {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_b(CTL_VAL1)}, 4}}, 1};
const PanelSpec kNoiseSpec =           {kNoise,                kNoise,                    standard_get, standard_set,           {{{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), numeric(CTL_VAL5)}, 6}}, 1};
const PanelSpec kMapRangeSpec =        {kMapRange,             kMapRangeData,             standard_get, standard_set,           {{{notify(), choices(CTL_OPT1, kRangeModes), choices(CTL_OPT2, kRangeModes), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), numeric(CTL_VAL5), list_a(CTL_VAL2, CTL_VAL4, CTL_OPT1), list_b(CTL_VAL1, CTL_VAL3, CTL_VAL5)}, 10}}, 1};
const PanelSpec kInvertSpec =          {kInvert,               kOneInteger,               standard_get, standard_set,           {{{notify()}, 1}}, 1};
const PanelSpec kReplaceSpec =         {kReplace,              kOneInteger,               standard_get, standard_set,           {{{notify()}, 1}}, 1};
const PanelSpec kTestSpec =            {kTest,                 kOneInteger,               standard_get, standard_set,           {{{notify()}, 1}}, 1};
const PanelSpec kRatioSpec =           {kRatio,                kRatio,                    standard_get, standard_set,           {{{notify(), numeric(CTL_RATIO)}, 2}}, 1};
const PanelSpec kOneComparisonSpec =   {kOneComparison,        kOneComparisonData,        logic_get, logic_set,                 {kComparisonList, {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4)}, 5}}, 2};
const PanelSpec kTwoComparisonSpec =   {kTwoComparison,        kTwoComparisonData,        logic_get, logic_set,                 {kComparisonList, kSecondComparisonList, {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), numeric(CTL_VAL5), numeric(CTL_VAL6)}, 7}}, 3};
const PanelSpec kOneComparisonVectorSpec = {kOneComparisonVector, kOneComparisonVectorData, logic_get, logic_set,             {kComparisonList, {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2)}, 3}}, 2};
const PanelSpec kTwoComparisonVectorSpec = {kTwoComparisonVector, kTwoComparisonVectorData, logic_get, logic_set,             {kComparisonList, kSecondComparisonList, {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4)}, 5}}, 3};
const PanelSpec kViewerDegreesSpec =   {kViewer + 1,           kViewerData + 1,           viewer_get, viewer_set,               {{{notify()}, 1}}, 1};
const PanelSpec kViewerMixedSpec =     {kViewer,               kViewerData,               viewer_get, viewer_set,               {{{notify(), list_a(CTL_SHOW_HEX)}, 2}}, 1};
const PanelSpec kViewerIntegerSpec =   {kViewer,               kViewerData,               viewer_get, viewer_set,               {{{notify(), list_a(CTL_SHOW_HEX)}, 2}, {{aux(CTL_SHOW_DEG_S), aux(CTL_SHOW_DEG_V)}, 2}}, 2};
// clang-format on

const PanelSpec *viewer_spec(const void *inst) {
    switch (viewer_kind(static_cast<const ViewerRecord *>(inst))) {
    case kViewerScalar:
    case kViewerVector: return &kViewerDegreesSpec;
    case kViewerInteger: return &kViewerIntegerSpec;
    default: return &kViewerMixedSpec;
    }
}

}  // namespace

const PanelSpec *panel_spec(PanelKind kind, const void *inst) {
    switch (kind) {
    case PanelKind::none: return nullptr;
    case PanelKind::one_value: return &kOneValueSpec;
    case PanelKind::plain_two_value: return &kPlainTwoValueSpec;
    case PanelKind::two_value: return &kTwoValueSpec;
    case PanelKind::four_value: return &kFourValueSpec;
    case PanelKind::sign_mode: return &kSignModeSpec;
    case PanelKind::power: return &kPowerSpec;
    case PanelKind::angle: return &kAngleSpec;
    case PanelKind::four_value_angle: return &kFourValueAngleSpec;
    case PanelKind::clamp: return &kClampSpec;
    case PanelKind::distance: return &kDistanceSpec;
    case PanelKind::scalar_dot: return &kScalarDotSpec;
    case PanelKind::two_vector: return &kTwoVectorSpec;
    case PanelKind::vector_clamp: return &kVectorClampSpec;
    case PanelKind::normalize: return &kNormalizeSpec;
    case PanelKind::axis_rotation: return &kAxisRotationSpec;
    case PanelKind::frame: return &kFrameSpec;
    case PanelKind::map_range: return &kMapRangeSpec;
    case PanelKind::noise: return &kNoiseSpec;
    case PanelKind::viewer: return viewer_spec(inst);
    case PanelKind::invert: return &kInvertSpec;
    case PanelKind::replace: return &kReplaceSpec;
    case PanelKind::test: return &kTestSpec;
    case PanelKind::ratio: return &kRatioSpec;
    case PanelKind::one_comparison: return &kOneComparisonSpec;
    case PanelKind::two_comparison: return &kTwoComparisonSpec;
    case PanelKind::one_comparison_vector: return &kOneComparisonVectorSpec;
    case PanelKind::two_comparison_vector: return &kTwoComparisonVectorSpec;
    }
    return nullptr;
}

}  // namespace qv
