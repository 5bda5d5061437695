// The control tables and hint lists of every panel kind, laid out one
// control per line, and the table of panel kinds that the builder reads.
#include "nodes/tool/viewers.h"
#include "panels/panels.h"

namespace qv {

namespace {

// clang-format off
const char *const kComparisons[] = {"A == B", "A != B", "A > B", "A < B", "A >= B", "A <= B", nullptr};
const char *const kCombinations[] = {"True && True", "False && False", "True && False", "False && True", "True || False", nullptr};
const char *const kSignModes[] = {"Abs +", "Abs -", nullptr};
const char *const kRangeModes[] = {"Linear", "Constant", "Repeat", "Reflect", nullptr};

// Labels that several panels share: the visible text, the byte 0x03 and the
// toolkit's decoration.
constexpr const char kNormalizeLabel[] = "Normalize\x03(g:55)";
constexpr const char kInvertLabel[] = "Invert\x03(g:68)";
constexpr const char kRoundLabel[] = "Round\x03(g:74)";
constexpr const char kOperatorLabel[] = "Ope";

constexpr auto kFrame = control_table({
    {CTL_INT1, "In", kInteger}});
constexpr auto kOneValue = control_table({
    {CTL_VAL1, "In", kFloat}});
constexpr auto kTwoValue = control_table({
    {CTL_VAL1, "In1", kFloat},
    {CTL_VAL2, "In2", kFloat}});
constexpr auto kPlainTwoValue = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat}});
constexpr auto kFourValue = control_table({
    {CTL_VAL1, "In1", kFloat},
    {CTL_VAL2, "In2", kFloat},
    {CTL_VAL3, "In3", kFloat},
    {CTL_VAL4, "In4", kFloat}});
constexpr auto kTwoVector = control_table({
    {CTL_VAL1, "In1", kFloat3},
    {CTL_VAL2, "In2", kFloat3}});
constexpr auto kDistance = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_VAL3, "", kFloat},
    {CTL_VAL4, "", kFloat}});
constexpr auto kNormalize = control_table({
    {CTL_OPT1, kNormalizeLabel, kBoolean}});
constexpr auto kScalarDot = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_VAL3, "", kFloat},
    {CTL_VAL4, "", kFloat},
    {CTL_OPT1, kNormalizeLabel, kBoolean}});
constexpr auto kAngle = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_OPT1, kInvertLabel, kBoolean},
    {CTL_OPT2, kRoundLabel, kBoolean}});
constexpr auto kFourValueAngle = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_VAL3, "", kFloat},
    {CTL_VAL4, "", kFloat},
    {CTL_OPT1, kInvertLabel, kBoolean},
    {CTL_OPT2, kRoundLabel, kBoolean}});
constexpr auto kNoise = control_table({
    {CTL_VAL1, "Offset", kFloat},
    {CTL_VAL2, "Scale", kFloat},
    {CTL_VAL3, "Speed", kFloat},
    {CTL_VAL4, "Phase", kFloat},
    {CTL_VAL5, "Shift", kFloat}});
constexpr auto kPower = control_table({
    {CTL_VAL1, "In", kFloat},
    {CTL_VAL2, "Pow", kFloat}});
constexpr auto kMapRange = control_table({
    {CTL_VAL1, "In", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_VAL3, "", kFloat},
    {CTL_VAL4, "", kFloat},
    {CTL_VAL5, "", kFloat},
    {CTL_OPT1, "", kPopChoice},
    {CTL_OPT2, "", kPopChoice}});
constexpr auto kOneComparison = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_OPT1, kOperatorLabel, kPopChoice},
    {CTL_VAL3, "True", kFloat},
    {CTL_VAL4, "False", kFloat}});
constexpr auto kTwoComparison = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_OPT1, kOperatorLabel, kPopChoice},
    {CTL_VAL3, "", kFloat},
    {CTL_VAL4, "", kFloat},
    {CTL_OPT2, kOperatorLabel, kPopChoice},
    {CTL_OPT3, kOperatorLabel, kPopChoice},
    {CTL_VAL5, "True", kFloat},
    {CTL_VAL6, "False", kFloat}});
constexpr auto kOneComparisonVector = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_OPT1, kOperatorLabel, kPopChoice}});
constexpr auto kTwoComparisonVector = control_table({
    {CTL_VAL1, "", kFloat},
    {CTL_VAL2, "", kFloat},
    {CTL_OPT1, kOperatorLabel, kPopChoice},
    {CTL_VAL3, "", kFloat},
    {CTL_VAL4, "", kFloat},
    {CTL_OPT2, kOperatorLabel, kPopChoice},
    {CTL_OPT3, kOperatorLabel, kPopChoice}});
constexpr auto kClamp = control_table({
    {CTL_VAL2, "Min", kFloat},
    {CTL_VAL3, "Max", kFloat}});
constexpr auto kVectorClamp = control_table({
    {CTL_VAL1, "Min", kFloat3},
    {CTL_VAL2, "Max", kFloat3}});
constexpr auto kSignMode = control_table({
    {CTL_OPT1, "", kChoice}});
constexpr auto kAxisRotation = control_table({
    {CTL_VAL1, "Axis", kFloat3},
    {CTL_VAL2, "Rot", kFloat}});
constexpr auto kRatio = control_table({
    {CTL_RATIO, "", kPercent}});
constexpr auto kInvert = control_table({
    {CTL_OPT1, kInvertLabel, kBoolean}});
constexpr auto kTest = control_table({
    {CTL_OPT1, "test", kBoolean}});
constexpr auto kReplace = control_table({
    {CTL_OPT1, "Replace\x03(g:57)", kBoolean}});
// The scalar and vector viewers start at the second entry (no "ShowHex").
constexpr auto kViewer = control_table({
    {CTL_SHOW_HEX, "ShowHex\x03(g:57)", kBoolean},
    {CTL_SHOW_DEG_S, "ShowDeg S\x03(g:47)", kBoolean},
    {CTL_SHOW_DEG_V, "ShowDeg V\x03(g:46)", kBoolean}});

constexpr Accessors kStandard = {standard_get, standard_set};
constexpr Accessors kLogic = {logic_get, logic_set};
constexpr Accessors kVector = {vector_get, vector_set};
constexpr Accessors kVectorClampAccessors = {vector_clamp_get, vector_clamp_set};
constexpr Accessors kAxisRotationAccessors = {axis_rotation_get, axis_rotation_set};
constexpr Accessors kViewerAccessors = {viewer_get, viewer_set};

constexpr HintList kComparisonList = {choices(CTL_OPT1, kComparisons), list_a(CTL_VAL1), list_b(CTL_OPT1)};
constexpr HintList kSecondComparisonList = {choices(CTL_OPT2, kComparisons), choices(CTL_OPT3, kCombinations),
                                            list_a(CTL_VAL3), list_b(CTL_OPT2, CTL_OPT3)};

using K = PanelKind;

// One row per panel kind, in the order of PanelKind.
constexpr PanelSpec kPanels[] = {
    //    kind                      controls               accessors               hint lists, in the order applied
    {K::none, nullptr, nullptr, nullptr, nullptr, {}, 0},
    panel(K::one_value,             kOneValue,             kStandard,              {{notify(), numeric(CTL_VAL1)}}),
    panel(K::plain_two_value,       kPlainTwoValue,        kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_a(CTL_VAL1)}}),
    panel(K::two_value,             kTwoValue,             kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2)}}),
    panel(K::four_value,            kFourValue,            kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4)}}),
    panel(K::sign_mode,             kSignMode,             kStandard,              {{notify(), choices(CTL_OPT1, kSignModes)}}),
    panel(K::power,                 kPower,                kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2)}}),
    panel(K::angle,                 kAngle,                kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_a(CTL_VAL1, CTL_OPT1), list_b(CTL_VAL2)}}),
    panel(K::four_value_angle,      kFourValueAngle,       kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), list_a(CTL_VAL1, CTL_VAL3, CTL_OPT1), list_b(CTL_VAL2, CTL_VAL4)}}),
    panel(K::clamp,                 kClamp,                kStandard,              {{notify(), numeric(CTL_VAL2), numeric(CTL_VAL3)}}),
    panel(K::distance,              kDistance,             kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), list_a(CTL_VAL1, CTL_VAL3), list_b(CTL_VAL2, CTL_VAL4)}}),
    panel(K::scalar_dot,            kScalarDot,            kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), list_a(CTL_VAL1, CTL_VAL3), list_b(CTL_VAL2, CTL_VAL4)}}),
    panel(K::two_vector,            kTwoVector,            kVector,                {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_b(CTL_VAL1)}}),
    panel(K::vector_clamp,          kVectorClamp,          kVectorClampAccessors,  {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_b(CTL_VAL1)}}),
    panel(K::normalize,             kNormalize,            kStandard,              {{notify()}}),
    panel(K::axis_rotation,         kAxisRotation,         kAxisRotationAccessors, {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), list_b(CTL_VAL1)}}),
    panel(K::frame,                 kFrame,                kStandard,              {{notify(), numeric(CTL_INT1)}}),
    panel(K::map_range,             kMapRange,             kStandard,              {{notify(), choices(CTL_OPT1, kRangeModes), choices(CTL_OPT2, kRangeModes), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), numeric(CTL_VAL5), list_a(CTL_VAL2, CTL_VAL4, CTL_OPT1), list_b(CTL_VAL1, CTL_VAL3, CTL_VAL5)}}),
    panel(K::noise,                 kNoise,                kStandard,              {{notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), numeric(CTL_VAL5)}}),
    panel(K::viewer,                kViewer,               kViewerAccessors,       {{notify(), list_a(CTL_SHOW_HEX)}}),  // the mixed viewer's
    panel(K::invert,                kInvert,               kStandard,              {{notify()}}),
    panel(K::replace,               kReplace,              kStandard,              {{notify()}}),
    panel(K::test,                  kTest,                 kStandard,              {{notify()}}),
    panel(K::ratio,                 kRatio,                kStandard,              {{notify(), numeric(CTL_RATIO)}}),
    panel(K::one_comparison,        kOneComparison,        kLogic,                 {kComparisonList, {notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4)}}),
    panel(K::two_comparison,        kTwoComparison,        kLogic,                 {kComparisonList, kSecondComparisonList, {notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4), numeric(CTL_VAL5), numeric(CTL_VAL6)}}),
    panel(K::one_comparison_vector, kOneComparisonVector,  kLogic,                 {kComparisonList, {notify(), numeric(CTL_VAL1), numeric(CTL_VAL2)}}),
    panel(K::two_comparison_vector, kTwoComparisonVector,  kLogic,                 {kComparisonList, kSecondComparisonList, {notify(), numeric(CTL_VAL1), numeric(CTL_VAL2), numeric(CTL_VAL3), numeric(CTL_VAL4)}}),
};

// The viewer panels of the other kinds.
constexpr PanelSpec kViewerDegreesPanel = panel(K::viewer, kViewer, kViewerAccessors, {{notify()}}, 1);
constexpr PanelSpec kViewerIntegerPanel = panel(K::viewer, kViewer, kViewerAccessors, {{notify(), list_a(CTL_SHOW_HEX)}, {aux(CTL_SHOW_DEG_S), aux(CTL_SHOW_DEG_V)}});
// clang-format on

static_assert(sizeof(kPanels) / sizeof(kPanels[0]) == kPanelKindCount, "one row per panel kind");

constexpr bool rows_follow_the_kinds() {
    for (int i = 0; i < kPanelKindCount; ++i)
        if (static_cast<int>(kPanels[i].kind) != i) return false;
    return true;
}
static_assert(rows_follow_the_kinds(), "the rows follow the order of PanelKind");

}  // namespace

const PanelSpec *panel_spec(PanelKind kind, const void *inst) {
    if (kind == PanelKind::none || static_cast<int>(kind) >= kPanelKindCount) return nullptr;
    if (kind == PanelKind::viewer) {
        switch (viewer_kind(static_cast<const ViewerRecord *>(inst))) {
        case kViewerScalar:
        case kViewerVector: return &kViewerDegreesPanel;
        case kViewerInteger: return &kViewerIntegerPanel;
        default: break;
        }
    }
    return &kPanels[static_cast<int>(kind)];
}

}  // namespace qv
