// The module descriptor and its server table, as the host reads them.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/node_table_counts.h"

#include <map>
#include <set>

using namespace qvtest;

namespace {

struct Row {
    const char *server, *display, *group;
};

// The NodeHandler records in table order.  Golden: written out rather than
// read from the node table, so that any change to the server table a host
// sees (a node added, moved, renamed or regrouped) fails here until this
// list is changed with it on purpose.  The counts below follow its length.
const Row kHandlers[] = {
    {"QvMs_EPSI", "Epsilon", "QvTool/Const"},
    {"QvMs_PI", "PI", "QvTool/Const"},
    {"QvMs_TIME", "Time", "QvTool/Const"},
    {"QvMs_ACOS", "ArcCos", "QvTool/Math/Func_T"},
    {"QvMs_ASIN", "ArcSin", "QvTool/Math/Func_T"},
    {"QvMs_ATAN", "ArcTan", "QvTool/Math/Func_T"},
    {"QvMs_ATAN2", "ATan2", "QvTool/Math/Func_T"},
    {"QvMs_COS", "Cos", "QvTool/Math/Func_T"},
    {"QvMs_SIN", "Sin", "QvTool/Math/Func_T"},
    {"QvMs_TAN", "Tan", "QvTool/Math/Func_T"},
    {"QvMs_ABS", "Abs", "QvTool/Math/Func_C"},
    {"QvMs_ERF", "ErrFunc", "QvTool/Math/Func_C"},
    {"QvMs_EXP", "Exp", "QvTool/Math/Func_C"},
    {"QvMs_LOG", "Log", "QvTool/Math/Func_C"},
    {"QvMs_LOG2", "Log2", "QvTool/Math/Func_C"},
    {"QvMs_LOG0", "Log10", "QvTool/Math/Func_C"},
    {"QvMs_POW", "Pow", "QvTool/Math/Func_C"},
    {"QvMs_ROND", "Round", "QvTool/Math/Func_C"},
    {"QvMs_SQRT", "Sqrt", "QvTool/Math/Func_C"},
    {"QvMs_TRNC", "Trunc", "QvTool/Math/Func_C"},
    {"QvMs_ANGL", "Angle", "QvTool/Math/Scalar"},
    {"QvMs_ANGL2", "Angle2", "QvTool/Math/Scalar"},
    {"QvMs_CLMP", "Clamp", "QvTool/Math/Scalar"},
    {"QvMs_DEG", "Degree", "QvTool/Math/Scalar"},
    {"QvMs_DIST", "Dist", "QvTool/Math/Scalar"},
    {"QvMs_DIV", "Divide", "QvTool/Math/Scalar_"},
    {"QvMs_DOT", "Dot", "QvTool/Math/Scalar"},
    {"QvMs_LEN", "Length", "QvTool/Math/Scalar"},
    {"QvMs_NORM", "Normal", "QvTool/Math/Scalar"},
    {"QvMs_RAD", "Radian", "QvTool/Math/Scalar"},
    {"QvMs_SIGN", "Sign", "QvTool/Math/Scalar"},
    {"QvMs_CSGN", "CopySign", "QvTool/Math/Scalar"},
    {"QvMs_ADD", "Add", "QvTool/Math/Scalar_"},
    {"QvMs_ADD4", "Add 4", "QvTool/Math/Scalar_"},
    {"QvMs_MAX4", "Max 4", "QvTool/Math/Scalar_"},
    {"QvMs_MIN4", "Min 4", "QvTool/Math/Scalar_"},
    {"QvMs_MUL", "Multi", "QvTool/Math/Scalar_"},
    {"QvMs_MUL4", "Mul 4", "QvTool/Math/Scalar_"},
    {"QvMs_SUB", "Subtract", "QvTool/Math/Scalar_"},
    {"QvMs_SUB4", "Sub 4", "QvTool/Math/Scalar_"},
    {"QvMv_ADNml", "Add Norm", "QvTool/Math/Vector"},
    {"QvMv_ANGL", "Angle", "QvTool/Math/Vector"},
    {"QvMv_CLMP", "Clamp", "QvTool/Math/Vector"},
    {"QvMv_CROS", "Cross", "QvTool/Math/Vector"},
    {"QvMv_DEG", "Degree", "QvTool/Math/Vector"},
    {"QvMv_DOT", "Dot", "QvTool/Math/Vector"},
    {"QvMv_NORM", "Normal", "QvTool/Math/Vector"},
    {"QvMv_RAD", "Radian", "QvTool/Math/Vector"},
    {"QvMv_QROT", "Rotate", "QvTool/Math/Vector"},
    {"QvMv_SIGN", "Sign", "QvTool/Math/Vector"},
    {"QvMv_SBNml", "Sub Norm", "QvTool/Math/Vector"},
    {"QvMv_TRAN", "Transform", "QvTool/Math/Vector"},
    {"QvMv_TRAN4", "Transform4", "QvTool/Math/Vector"},
    {"QvMv_ADD", "Add", "QvTool/Math/Vector_"},
    {"QvMv_DIV", "Divide", "QvTool/Math/Vector_"},
    {"QvMv_MUL", "Multi", "QvTool/Math/Vector_"},
    {"QvMv_SUB", "Subtract", "QvTool/Math/Vector_"},
    {"QvMv_MAX", "Max", "QvTool/Math/Vector_"},
    {"QvMv_MIN", "Min", "QvTool/Math/Vector_"},
    {"QvT_F2T", "Frm2Time", "QvTool/Tool/Conv"},
    {"QvT_G2P", "G2P", "QvTool/Tool/Conv"},
    {"QvT_C2RGB", "Col2rgb", "QvTool/Tool/Conv"},
    {"QvT_CtRGB", "ColToRGB", "QvTool/Tool/Conv"},
    {"QvT_V2XYZ", "Vec2xyz", "QvTool/Tool/Conv"},
    {"QvT_VtXYZ", "VecToXYZ", "QvTool/Tool/Conv"},
    {"QvT_MVEC", "MakeVec", "QvTool/Tool/Conv"},
    {"QvT_MAPR", "MapRange", "QvTool/Tool"},
    {"QvT_NOIS", "NoisyChan", "QvTool/Tool"},
    {"QvT_SPMTL", "Split Mtl", "QvTool/Tool/Conv"},
    {"QvT_VIEW", "View", "QvTool/Tool/View"},
    {"QvT_VIEWI", "ViewI", "QvTool/Tool/View"},
    {"QvT_VIEWS", "ViewS", "QvTool/Tool/View"},
    {"QvT_VIEWV", "ViewV", "QvTool/Tool/View"},
    {"QvT_E2Mat", "Euler2M", "QvTool/Math/Matrix"},
    {"QvT_INVMat", "Invert", "QvTool/Math/Matrix"},
    {"QvT_INVMat4", "Invert4", "QvTool/Math/Matrix"},
    {"QvT_M2Euler", "M2Euler", "QvTool/Math/Matrix"},
    {"QvT_MULMat", "Multi", "QvTool/Math/Matrix"},
    {"QvT_QRMAT", "Rotate", "QvTool/Math/Matrix"},
    {"QvT_S2Mat", "Scale2M", "QvTool/Math/Matrix"},
    {"QvT_SLPMT", "Slerp", "QvTool/Math/Matrix"},
    {"QvT_LGC1", "Logic1", "QvTool/Tool/Logic"},
    {"QvT_LGC2", "Logic2", "QvTool/Tool/Logic"},
    {"QvT_LGC1V", "LogicV1", "QvTool/Tool/Logic"},
    {"QvT_LGC2V", "LogicV2", "QvTool/Tool/Logic"},
    {"QvT_SWCHS", "SwitchS", "QvTool/Tool/Logic"},
    {"QvT_SWCHV", "SwitchV", "QvTool/Tool/Logic"},
    {"QvC_INT", "Integer", "QvTool/Tool/Cache"},
    {"QvC_MTL", "Material", "QvTool/Tool/Cache"},
    {"QvC_MAT", "Matrix", "QvTool/Tool/Cache"},
    {"QvC_SCL", "Scalar", "QvTool/Tool/Cache"},
    {"QvC_VEC", "Vector", "QvTool/Tool/Cache"},
};

std::vector<const QvServerRecord *> records_of(const refhost::Module &m, const char *cls) {
    std::vector<const QvServerRecord *> out;
    for (const QvServerRecord *r : m.servers())
        if (std::string(r->server_class) == cls) out.push_back(r);
    return out;
}

}  // namespace

TEST(ServerTable, DescriptorWords) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->descriptor().sync, 0x04121994u);
    EXPECT_EQ(m->descriptor().version, 3u);
    EXPECT_EQ(m->descriptor().machine, 0x300u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m->startup_result()), 4u);
}

TEST(ServerTable, HandlersThenInterfacesThenZeros) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    const std::size_t nodes = std::size(kHandlers);
    ASSERT_EQ(m->servers().size(), 2 * nodes);
    for (std::size_t i = 0; i < 2 * nodes; ++i)
        EXPECT_STREQ(m->servers()[i]->server_class, i < nodes ? "NodeHandler" : "NodeInterface") << i;
    const QvServerRecord &end = m->descriptor().servers[2 * nodes];
    EXPECT_EQ(end.server_class, nullptr);
    EXPECT_EQ(end.name, nullptr);
    EXPECT_EQ(end.activate, nullptr);
    EXPECT_EQ(end.tags, nullptr);
}

TEST(ServerTable, HandlerRecordsNamesAndTags) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    auto handlers = records_of(*m, "NodeHandler");
    ASSERT_EQ(handlers.size(), std::size(kHandlers));
    for (std::size_t i = 0; i < handlers.size(); ++i) {
        const QvServerRecord &r = *handlers[i];
        SCOPED_TRACE(kHandlers[i].server);
        EXPECT_STREQ(r.name, kHandlers[i].server);
        ASSERT_NE(r.tags, nullptr);
        EXPECT_STREQ(r.tags[0].text, kHandlers[i].display);
        EXPECT_EQ(r.tags[0].tag, 0x0u);
        EXPECT_STREQ(r.tags[1].text, kHandlers[i].group);
        EXPECT_EQ(r.tags[1].tag, 0x70000u);
        EXPECT_STREQ(r.tags[2].text, "All");
        EXPECT_EQ(r.tags[2].tag, 0x80000u);
        EXPECT_EQ(r.tags[3].text, nullptr);
        EXPECT_EQ(r.tags[3].tag, 0u);
        if (i > 0) {
            EXPECT_NE(r.tags, handlers[i - 1]->tags) << "every record has its own list";
        }
    }
}

TEST(ServerTable, InterfaceRecordsFollowHandlerOrderExceptTheConversions) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    auto handlers = records_of(*m, "NodeHandler");
    auto interfaces = records_of(*m, "NodeInterface");
    ASSERT_EQ(interfaces.size(), std::size(kHandlers));
    // Golden, as kHandlers: the conversions' NodeInterface records, which
    // stand in a different order from their NodeHandler records.
    const char *const kReordered[] = {"QvT_C2RGB", "QvT_CtRGB", "QvT_F2T",   "QvT_G2P",  "QvT_MVEC",
                                      "QvT_MAPR",  "QvT_NOIS",  "QvT_V2XYZ", "QvT_VtXYZ"};
    for (std::size_t i = 0; i < std::size(kHandlers); ++i) {
        EXPECT_EQ(interfaces[i]->tags, nullptr);
        const char *expected = i >= 59 && i < 68 ? kReordered[i - 59] : handlers[i]->name;
        EXPECT_STREQ(interfaces[i]->name, expected) << i + 1;
    }
}

TEST(ServerTable, InterfaceActivationsAreOnePerPanelKind) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    std::set<QvActivateFunc> distinct;
    for (const QvServerRecord *r : records_of(*m, "NodeInterface")) distinct.insert(r->activate);
    EXPECT_EQ(distinct.size(), kPanelKindsUsed);
}

TEST(ServerTable, CachesAreInTableOrder) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    auto handlers = records_of(*m, "NodeHandler");
    // Golden, as kHandlers: the caches close the table.
    const char *const kCaches[] = {"QvC_INT", "QvC_MTL", "QvC_MAT", "QvC_SCL", "QvC_VEC"};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(handlers[87 + i]->name, kCaches[i]);
}

TEST(ServerTable, EveryNodeActivatesOnACurrentHost) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    refhost::Application::get().reset_config();
    for (const QvServerRecord *r : records_of(*m, "NodeHandler")) {
        refhost::HostNode probe;
        EXPECT_EQ(refhost::activate_handler(*m, r->name, probe, 2), QV_AFUNC_OK) << r->name;
    }
}

TEST(ServerTable, MaterialNodesRefuseOldHosts) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    for (uint32_t build : {1164u, 1165u}) {
        refhost::Application::get().config().build = build;
        for (const char *server : {"QvT_SPMTL", "QvC_MTL"}) {
            refhost::HostNode probe;
            EXPECT_EQ(refhost::activate_handler(*m, server, probe, 2), build > 1164 ? QV_AFUNC_OK : QV_AFUNC_BADGLOBAL)
                << server << " at build " << build;
        }
    }
    refhost::Application::get().reset_config();
}

TEST(ServerTable, InterfaceActivationsCheckTheVersion) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    const auto global = refhost::Application::get().global_function();
    const QvActivateFunc no_panel = m->find("NodeInterface", "QvMs_SIGN")->activate;
    int without_panel = 0;
    for (const QvServerRecord *r : records_of(*m, "NodeInterface")) {
        int sentinel = 0;
        QvNodeInterface record{&sentinel, &sentinel, &sentinel, &sentinel};
        EXPECT_EQ(r->activate(3, global, &record, nullptr), QV_AFUNC_BADVERSION) << r->name;
        EXPECT_EQ(record.panel, &sentinel) << "a refused activation leaves the record alone";
        if (r->activate != no_panel) continue;
        ++without_panel;
        EXPECT_EQ(r->activate(4, global, &record, nullptr), QV_AFUNC_OK) << r->name;
        EXPECT_EQ(record.panel, nullptr);
        EXPECT_EQ(record.word3, nullptr);
        EXPECT_EQ(record.word4, nullptr);
    }
    EXPECT_EQ(without_panel, static_cast<int>(kNodesWithoutPanel));
}
