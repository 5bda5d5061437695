// NodeHandler activation: the services asked for under each host build, the
// handler record it fills, and its failures.
#include "tests/fixtures/module_fixture.h"

#include "refhost/handler_record.h"
#include "refhost/sanitizers.h"

#include <vector>

using namespace qvtest;
using refhost::Application;

namespace {

int sentinel_query(void *) { return 42; }

int activate(const refhost::Module &m, const std::string &server, refhost::HostNode &node, int version = 2) {
    return refhost::activate_handler(m, server, node, version);
}

class ActivationTest : public ::testing::Test {
protected:
    void SetUp() override { Application::get().reset_config(); }
    void TearDown() override { Application::get().reset_config(); }
};

struct BuildCase {
    uint32_t build;
    const char *input;
    const char *output;
};

// Each build number at both sides of every threshold.
const BuildCase kBuilds[] = {
    {1164, "NodeInputFuncs", "NodeOutputFuncs"},     {1446, "NodeInputFuncs", "NodeOutputFuncs"},
    {1447, "NodeInputFuncs 2", "NodeOutputFuncs"},   {2237, "NodeInputFuncs 2", "NodeOutputFuncs"},
    {2238, "NodeInputFuncs 3", "NodeOutputFuncs 2"}, {2525, "NodeInputFuncs 3", "NodeOutputFuncs 2"},
    {2526, "NodeInputFuncs 4", "NodeOutputFuncs 2"}, {2722, "NodeInputFuncs 4", "NodeOutputFuncs 2"},
    {2723, "NodeInputFuncs 4", "NodeOutputFuncs 3"}, {4095, "NodeInputFuncs 4", "NodeOutputFuncs 3"},
};

}  // namespace

TEST_F(ActivationTest, ServiceNamesFollowTheHostBuild) {
    for (const BuildCase &c : kBuilds) {
        SCOPED_TRACE(c.build);
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().config().build = c.build;
        Application::get().clear_requests();
        refhost::HostNode node;
        EXPECT_EQ(activate(*m, "QvMs_SIN", node), QV_AFUNC_OK);
        const std::vector<std::string> expected = {"Product Info", "NodeFuncs", c.input, c.output, "Instance Update"};
        EXPECT_EQ(Application::get().requests(), expected);
    }
}

TEST_F(ActivationTest, ASecondActivationAsksOnlyForProductInfo) {
    auto m = fresh_module();
    ASSERT_TRUE(m);
    refhost::HostNode first, second;
    ASSERT_EQ(activate(*m, "QvMs_SIN", first), QV_AFUNC_OK);
    Application::get().clear_requests();
    ASSERT_EQ(activate(*m, "QvMs_POW", second), QV_AFUNC_OK);
    EXPECT_EQ(Application::get().requests(), std::vector<std::string>{"Product Info"});
}

TEST_F(ActivationTest, AMissingServiceFailsAndIsAskedForAgainLater) {
    const char *const kServices[] = {"NodeFuncs", "NodeInputFuncs 4", "NodeOutputFuncs 3", "Instance Update"};
    for (const char *missing : kServices) {
        SCOPED_TRACE(missing);
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().config().withheld = {missing};
        refhost::HostNode node;
        EXPECT_EQ(activate(*m, "QvMs_SIN", node), QV_AFUNC_BADGLOBAL);
        EXPECT_EQ(node.inst.create, nullptr) << "a failed activation installs no create";
        Application::get().config().withheld.clear();
        Application::get().clear_requests();
        EXPECT_EQ(activate(*m, "QvMs_SIN", node), QV_AFUNC_OK);
        EXPECT_EQ(Application::get().requests().back(), "Instance Update");
        EXPECT_NE(
            std::find(Application::get().requests().begin(), Application::get().requests().end(), std::string(missing)),
            Application::get().requests().end());
    }
}

TEST_F(ActivationTest, TheExtraQueryIsWrittenOnlyAboveVersionOne) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    const QvExtraQueryFunc untouched = sentinel_query;
    for (int version : {1, 2}) {
        SCOPED_TRACE(version);
        const QvServerRecord *r = m->find("NodeHandler", "QvMs_COS");
        ASSERT_NE(r, nullptr);
        QvInstanceFuncs inst{};
        QvRenderFuncs rend{};
        QvNodeHandler handler{};
        handler.inst = &inst;
        handler.rend = &rend;
        handler.extra_query = untouched;
        ASSERT_EQ(r->activate(version, Application::get().global_function(), &handler, nullptr), QV_AFUNC_OK);
        if (version == 1) {
            EXPECT_EQ(handler.extra_query, untouched);
        } else {
            ASSERT_NE(handler.extra_query, untouched);
            ASSERT_NE(handler.extra_query, nullptr);
            EXPECT_EQ(handler.extra_query(nullptr), 0);
        }
        EXPECT_EQ(handler.item, nullptr);
        EXPECT_EQ(handler.custom_preview, nullptr);
        EXPECT_EQ(handler.host_reserved, nullptr);
    }
}

TEST_F(ActivationTest, OneInputNodesShareOneEvaluateAndCarryTheirFunction) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    refhost::HostNode sin_node, cos_node, pow_node;
    ASSERT_EQ(activate(*m, "QvMs_SIN", sin_node), QV_AFUNC_OK);
    ASSERT_EQ(activate(*m, "QvMs_COS", cos_node), QV_AFUNC_OK);
    ASSERT_EQ(activate(*m, "QvMs_POW", pow_node), QV_AFUNC_OK);
    EXPECT_EQ(sin_node.handler.evaluate, cos_node.handler.evaluate);
    EXPECT_NE(sin_node.inst.priv, cos_node.inst.priv);
    EXPECT_EQ(sin_node.inst.create, cos_node.inst.create);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pow_node.inst.priv), 0x13u);
    for (refhost::HostNode *n : {&sin_node, &pow_node}) {
        EXPECT_NE(n->inst.destroy, nullptr);
        EXPECT_NE(n->inst.copy, nullptr);
        EXPECT_NE(n->inst.load, nullptr);
        EXPECT_NE(n->inst.save, nullptr);
        EXPECT_NE(n->rend.init, nullptr);
        ASSERT_NE(n->rend.new_time, nullptr);
        EXPECT_EQ(n->rend.new_time(nullptr, 1, 1.0), nullptr);
        ASSERT_NE(n->rend.cleanup, nullptr);
    }
}

// The module and the reference host read the same table of service names:
// a host offers each name from its first build on, never before it.
TEST_F(ActivationTest, TheHostOffersEachServiceNameFromItsFirstBuild) {
    const QvGlobalFunc global = Application::get().global_function();
    for (const QvServiceName &row : qv_service_names) {
        if (row.era != QV_ERA_BEFORE_2018) continue;  // the newer hosts' names: test_host_eras.cpp
        SCOPED_TRACE(row.name);
        Application::get().config().build = row.first_build;
        if (row.service != QV_SERVICE_SYSTEM_ID) {  // the plain value 0: not the modeller
            EXPECT_NE(global(row.name, 0), nullptr);
        }
        EXPECT_STREQ(qv_service_name(row.service, row.first_build), row.name);
        if (row.first_build == 0) continue;
        Application::get().config().build = row.first_build - 1;
        EXPECT_EQ(global(row.name, 0), nullptr);
        EXPECT_STRNE(qv_service_name(row.service, row.first_build - 1), row.name);
    }
    EXPECT_EQ(global("NodeInputFuncs 5", 0), nullptr);
}

// Hosts before build 2238 lay out six words of handler record, later ones
// seven: the extra query is written only where the host's record has word 7,
// and no activation writes past the record's end.
TEST_F(ActivationTest, TheExtraQueryIsWrittenOnlyWhereTheHostRecordHasIt) {
    const struct {
        uint32_t build;
        int version;
        bool written;
    } cases[] = {{1000, 2, false}, {2000, 2, false}, {2000, 3, false}, {2237, 3, false},
                 {2238, 2, true},  {2238, 3, true},  {3000, 3, true},  {3000, 1, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE("build " + std::to_string(c.build) + ", version " + std::to_string(c.version));
        auto m = fresh_module();
        ASSERT_TRUE(m);
        Application::get().config().build = c.build;
        for (const QvServerRecord *r : m->servers()) {
            if (std::string(r->server_class) != "NodeHandler") continue;
            refhost::HostNode node;
            activate(*m, r->name, node, c.version);
            EXPECT_FALSE(node.wrote_past_record) << r->name;
        }
        refhost::HostNode sin;
        ASSERT_EQ(activate(*m, "QvMs_SIN", sin, c.version), QV_AFUNC_OK);
        EXPECT_EQ(sin.handler.extra_query != nullptr, c.written);
        EXPECT_EQ(sin.handler.host_reserved, nullptr);
    }
}

// A handler version above 3 is a record of a layout the module does not
// know: every activation answers 1 and neither asks for a service nor
// writes a word.
TEST_F(ActivationTest, NewerHandlerVersionsAreRefusedUntouched) {
    auto m = fresh_module();
    ASSERT_TRUE(m);
    for (const QvServerRecord *r : m->servers()) {
        if (std::string(r->server_class) != "NodeHandler") continue;
        SCOPED_TRACE(r->name);
        int marker = 0;
        QvInstanceFuncs inst;
        QvRenderFuncs rend;
        std::memset(&inst, 0x5A, sizeof inst);
        std::memset(&rend, 0x5A, sizeof rend);
        QvNodeHandler handler;
        void **words = reinterpret_cast<void **>(&handler);
        for (std::size_t i = 0; i < sizeof handler / sizeof(void *); ++i) words[i] = &marker;
        handler.inst = &inst;
        handler.rend = &rend;
        const QvNodeHandler before = handler;
        const QvInstanceFuncs inst_before = inst;
        const QvRenderFuncs rend_before = rend;
        Application::get().clear_requests();
        EXPECT_EQ(r->activate(4, Application::get().global_function(), &handler, nullptr), QV_AFUNC_BADVERSION);
        EXPECT_EQ(std::memcmp(&handler, &before, sizeof handler), 0);
        EXPECT_EQ(std::memcmp(&inst, &inst_before, sizeof inst), 0);
        EXPECT_EQ(std::memcmp(&rend, &rend_before, sizeof rend), 0);
        EXPECT_TRUE(Application::get().requests().empty());
    }
    std::string error;
    Application::get().config().handler_version = 4;
    refhost::Network net(m);
    EXPECT_EQ(net.create("QvMs_SIN", error), nullptr);
    EXPECT_NE(error.find("not available (activation result 1)"), std::string::npos) << error;
}

#if !defined(QV_UNDER_ASAN)
// The reference host's own guard: an activation that writes word 7 into a
// six-word record is caught (under AddressSanitizer the write itself stops
// the program instead).
TEST_F(ActivationTest, TheHostSeesWritesPastItsHandlerRecord) {
    const QvActivateFunc rogue = [](int, QvGlobalFunc, void *local, void *) {
        static_cast<QvNodeHandler *>(local)->extra_query = sentinel_query;
        return QV_AFUNC_OK;
    };
    for (uint32_t build : {2237u, 2238u}) {
        refhost::HostNode node;
        refhost::activate_in_host_record(rogue, 2, Application::get().global_function(), build, node);
        EXPECT_EQ(node.wrote_past_record, build < 2238) << build;
        EXPECT_EQ(node.handler.extra_query != nullptr, build >= 2238) << build;
    }
}
#endif
