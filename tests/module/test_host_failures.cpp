// The host failing on purpose: every service a node asks for refused in
// turn, and then whatever the handler record holds called as the
// application might call it.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/node_table_counts.h"

#include "refhost/panel/xpanel.h"

#include <vector>

using namespace qvtest;
using refhost::Application;

namespace {

// The node's servers in the order of the table.
std::vector<std::string> node_servers(const refhost::Module &m) {
    std::vector<std::string> names;
    for (const QvServerRecord *r : m.servers())
        if (std::string(r->server_class) == "NodeHandler") names.push_back(r->name);
    return names;
}

// The services asked for since the last clear, each once, in order.
std::vector<std::string> services_asked() {
    std::vector<std::string> names;
    for (const std::string &s : Application::get().requests())
        if (std::find(names.begin(), names.end(), s) == names.end()) names.push_back(s);
    return names;
}

// Calls what the handler record holds, as the application does with a node:
// create, render init, new time, evaluate every output the node made,
// cleanup, destroy.
void call_what_the_record_holds(refhost::HostNode &node) {
    if (node.inst.create == nullptr) return;
    QvError err = nullptr;
    node.instance = node.inst.create(node.inst.priv, &node, &err);
    if (node.instance == nullptr) return;
    if (node.rend.init != nullptr) node.rend.init(node.instance, 0);
    if (node.rend.new_time != nullptr) node.rend.new_time(node.instance, 3, 0.1);
    refhost::HostSample sample;
    for (const auto &out : node.outputs) {
        refhost::Value v;
        refhost::evaluate_output(*out, &sample.access, v);
    }
    if (node.rend.cleanup != nullptr) node.rend.cleanup(node.instance);
    if (node.inst.destroy != nullptr) node.inst.destroy(node.instance);
    node.instance = nullptr;
}

class HostFailures : public ::testing::Test {
protected:
    void SetUp() override { Application::get().reset_config(); }
    void TearDown() override { Application::get().reset_config(); }
};

}  // namespace

TEST_F(HostFailures, EachServiceANodeAsksForRefusedInTurnGivesCodeTwo) {
    auto shared = shared_module();
    ASSERT_TRUE(shared);
    const int version = Application::get().config().handler_version;
    int cases = 0;
    for (const std::string &server : node_servers(*shared)) {
        // What the node asks of a host that has everything, on a module whose slots are empty.
        std::vector<std::string> asked;
        Application::get().config().withheld.clear();
        {
            auto m = fresh_module();
            ASSERT_TRUE(m);
            Application::get().clear_requests();
            refhost::HostNode node;
            ASSERT_EQ(refhost::activate_handler(*m, server, node, version), QV_AFUNC_OK) << server;
            asked = services_asked();
            QvNodeInterface record{};
            refhost::activate_interface(*m, server, record, Application::get().config().interface_version);
            for (const std::string &s : services_asked())
                if (std::find(asked.begin(), asked.end(), s) == asked.end()) asked.push_back(s);
        }
        for (const std::string &refused : asked) {
            SCOPED_TRACE(server + " without \"" + refused + "\"");
            auto m = fresh_module();
            ASSERT_TRUE(m);
            Application::get().config().withheld = {refused};
            refhost::HostNode node;
            refhost::NetworkShared outputs;
            node.shared = &outputs;
            const int rc = refhost::activate_handler(*m, server, node, version);
            // "Product Info" and "System ID" are plain values: refused, they read as 0, a host of build 0
            // and a host that is not the modeller.
            int expected = QV_AFUNC_BADGLOBAL;
            if (refused == "Product Info") {
                expected = server == "QvT_SPMTL" || server == "QvC_MTL" ? QV_AFUNC_BADGLOBAL : QV_AFUNC_OK;
            } else if (refused == "System ID" || refused == "LWXPanel") {
                expected = QV_AFUNC_OK;
            }
            EXPECT_EQ(rc, expected);
            if (rc != QV_AFUNC_OK) {
                EXPECT_EQ(node.inst.create, nullptr) << "a failed activation installs no create";
            }
            call_what_the_record_holds(node);
            ++cases;

            if (refused == "LWXPanel") {
                // The node binds; its panel cannot be built, and the record is left as it was.
                QvError err = nullptr;
                node.instance = node.inst.create(node.inst.priv, &node, &err);
                ASSERT_NE(node.instance, nullptr);
                QvNodeInterface record{};
                record.inst = node.instance;
                const int interface_version = Application::get().config().interface_version;
                EXPECT_EQ(refhost::activate_interface(*m, server, record, interface_version), QV_AFUNC_BADGLOBAL);
                EXPECT_EQ(record.panel, nullptr);
                node.inst.destroy(node.instance);
            }
        }
    }
    EXPECT_GE(cases, static_cast<int>(kNodes) * 5)
        << "every node asks for Product Info and the four node services at least";
}

// ---- Allocation failure -------------------------------------------------------

namespace {

#ifdef _WIN32
constexpr const char *kFaultModuleFile = "QV_Math_Node_alloc_faults.p";
#else
constexpr const char *kFaultModuleFile = "QV_Math_Node_alloc_faults.so";
#endif

// The test build of the module whose n-th allocation from the arming fails.
class AllocationFaults : public HostFailures {
protected:
    void SetUp() override {
        HostFailures::SetUp();
        std::string error;
        module = refhost::Module::load(kFaultModuleFile, error);
        ASSERT_TRUE(module) << error;
        fail_at = reinterpret_cast<long (*)(long)>(module->find_export("qv_fail_allocation_at"));
        ASSERT_NE(fail_at, nullptr);
        fail_at(0);
    }
    void TearDown() override {
        if (fail_at != nullptr) fail_at(0);
        HostFailures::TearDown();
    }

    std::shared_ptr<refhost::Module> module;
    long (*fail_at)(long) = nullptr;  // arms the fault; the allocations since the last arming
};

}  // namespace

TEST_F(AllocationFaults, EveryCreateAnswersNullWithErr) {
    refhost::Network net(module);
    for (const std::string &server : node_servers(*module)) {
        SCOPED_TRACE(server);
        std::string error;
        fail_at(1);
        EXPECT_EQ(net.create(server, error), nullptr);
        EXPECT_NE(error.find("create failed (err)"), std::string::npos) << error;
        EXPECT_EQ(fail_at(0), 1) << "create allocates once";
        refhost::HostNode *made = net.create(server, error);
        ASSERT_NE(made, nullptr) << error;
        EXPECT_EQ(fail_at(1), 1);
        EXPECT_EQ(net.copy(made->id, error), nullptr);
        EXPECT_NE(error.find("create failed (err)"), std::string::npos) << error;
        fail_at(0);
    }
}

TEST_F(AllocationFaults, ALoadStopsAtTheFailingCreateAndKeepsNothing) {
    // A network of every node, saved, then loaded with each of its creates failing in turn.
    std::string content, error;
    std::size_t nodes = 0;
    {
        refhost::Network all(module);
        for (const std::string &server : node_servers(*module)) ASSERT_NE(all.create(server, error), nullptr) << error;
        nodes = all.nodes().size();
        ASSERT_TRUE(all.save(refhost::SceneForm::text, content, error)) << error;
    }
    refhost::Network net(module);
    for (std::size_t n = 1; n <= nodes; ++n) {
        SCOPED_TRACE(n);
        fail_at(static_cast<long>(n));
        EXPECT_FALSE(net.load(content, "all.qvs", error));
        EXPECT_NE(error.find("all.qvs: node " + std::to_string(n) + ": "), std::string::npos) << error;
        EXPECT_NE(error.find("create failed (err)"), std::string::npos) << error;
        EXPECT_EQ(fail_at(0), static_cast<long>(n));
        EXPECT_TRUE(net.nodes().empty());
    }
    fail_at(static_cast<long>(nodes) + 1);
    EXPECT_TRUE(net.load(content, "all.qvs", error)) << error;
    EXPECT_EQ(net.nodes().size(), nodes);
}

TEST_F(HostFailures, PanelBuildsAnswerNullWhenTheToolkitMakesNoPanel) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    refhost::Network net(m);
    const int alive = refhost::panels_alive();
    const std::size_t errors = refhost::toolkit_errors().size();
    int panels = 0;
    for (const std::string &server : node_servers(*m)) {
        SCOPED_TRACE(server);
        std::string error;
        const refhost::HostNode *n = net.create(server, error);
        ASSERT_NE(n, nullptr) << error;
        Application::get().config().panels_fail = true;
        const refhost::Network::PanelOpening failed = net.open_panel(n->id, error);
        EXPECT_EQ(failed.code, QV_AFUNC_OK);
        EXPECT_EQ(failed.panel, nullptr);
        Application::get().config().panels_fail = false;
        // The next opening builds the panel.
        const refhost::Network::PanelOpening opened = net.open_panel(n->id, error);
        EXPECT_EQ(opened.code, QV_AFUNC_OK);
        if (opened.panel != nullptr) ++panels;
    }
    EXPECT_EQ(panels, static_cast<int>(kNodesWithPanel));
    EXPECT_EQ(refhost::panels_alive(), alive + panels);
    std::string error;
    ASSERT_TRUE(net.load("", "empty.qvs", error)) << error;  // destroys every node
    EXPECT_EQ(refhost::panels_alive(), alive);
    EXPECT_EQ(refhost::toolkit_errors().size(), errors) << "a destroy handed the toolkit no panel of its own";
}
