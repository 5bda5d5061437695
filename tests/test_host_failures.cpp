// The host failing on purpose: every service a node asks for refused in
// turn, and then whatever the handler record holds called as the
// application might call it.
#include "tests/module_fixture.h"

#include <set>
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
    refhost::NetworkShared shared;
    node.shared = &shared;
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
            const int rc = refhost::activate_handler(*m, server, node, version);
            // "Product Info" and "System ID" are plain values: refused, they read as 0, a host of build 0
            // and a host that is not the modeller.
            if (refused == "Product Info")
                EXPECT_EQ(rc, server == "QvT_SPMTL" || server == "QvC_MTL" ? QV_AFUNC_BADGLOBAL : QV_AFUNC_OK);
            else if (refused == "System ID")
                EXPECT_EQ(rc, QV_AFUNC_OK);
            else if (refused != "LWXPanel")
                EXPECT_EQ(rc, QV_AFUNC_BADGLOBAL);
            if (rc != QV_AFUNC_OK) EXPECT_EQ(node.inst.create, nullptr) << "a failed activation installs no create";
            call_what_the_record_holds(node);
            ++cases;

            if (refused == "LWXPanel") {
                // The node binds; its panel cannot be built, and the record is left as it was.
                ASSERT_EQ(rc, QV_AFUNC_OK);
                QvError err = nullptr;
                node.instance = node.inst.create(node.inst.priv, &node, &err);
                ASSERT_NE(node.instance, nullptr);
                QvNodeInterface record{};
                record.inst = node.instance;
                EXPECT_EQ(refhost::activate_interface(*m, server, record, Application::get().config().interface_version),
                          QV_AFUNC_BADGLOBAL);
                EXPECT_EQ(record.panel, nullptr);
                node.inst.destroy(node.instance);
            }
        }
    }
    EXPECT_GE(cases, 92 * 5) << "every node asks for Product Info and the four node services at least";
}
