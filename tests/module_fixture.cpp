#include "tests/module_fixture.h"

#include "refhost/scene_io.h"

namespace qvtest {

std::shared_ptr<refhost::Module> shared_module() {
    static std::shared_ptr<refhost::Module> module = [] {
        std::string error;
        auto m = refhost::Module::load(kModuleFile, error);
        if (!m) ADD_FAILURE() << error;
        return m;
    }();
    return module;
}

std::shared_ptr<refhost::Module> fresh_module() {
    std::string error;
    auto m = refhost::Module::load(kModuleFile, error, true);
    if (!m) ADD_FAILURE() << error;
    return m;
}

::testing::AssertionResult near_ulps(double expected, double actual, int ulps) {
    if (same_double(expected, actual)) return ::testing::AssertionSuccess();
    if (std::isfinite(expected) && std::isfinite(actual)) {
        double x = expected;
        for (int i = 0; i < ulps; ++i) x = std::nextafter(x, actual);
        if ((expected <= actual && actual <= x) || (x <= actual && actual <= expected))
            return ::testing::AssertionSuccess();
    }
    return same_double(expected, actual);
}

void NetworkTest::SetUp() {
    refhost::Application::get().reset_config();
    auto module = shared_module();
    ASSERT_TRUE(module);
    net = std::make_unique<refhost::Network>(module);
}

void NetworkTest::TearDown() {
    net.reset();
    refhost::Application::get().reset_config();
}

refhost::HostNode *NetworkTest::make(const std::string &server) {
    std::string error;
    refhost::HostNode *n = net->create(server, error);
    EXPECT_NE(n, nullptr) << error;
    return n;
}

void NetworkTest::feed(refhost::HostNode *n, const std::string &input, double v) {
    std::string error;
    EXPECT_NE(net->feed(n->id, input, refhost::Value::scalar(v), error), nullptr) << error;
}

double NetworkTest::eval(refhost::HostNode *n, const std::string &output) {
    net->render_init();
    refhost::Value v;
    std::string error;
    EXPECT_TRUE(net->evaluate(n->id, output, v, error)) << error;
    EXPECT_EQ(v.type, QV_TYPE_SCALAR);
    return v.as_scalar();
}

void NetworkTest::feed_vector(refhost::HostNode *n, const std::string &input, const V3 &v) {
    std::string error;
    EXPECT_NE(net->feed(n->id, input, refhost::Value::triple(QV_TYPE_VECTOR, v[0], v[1], v[2]), error), nullptr)
        << error;
}

refhost::Value NetworkTest::eval_value(refhost::HostNode *n, const std::string &output) {
    net->render_init();
    refhost::Value v;
    std::string error;
    EXPECT_TRUE(net->evaluate(n->id, output, v, error)) << error;
    return v;
}

NetworkTest::V3 NetworkTest::eval_vector(refhost::HostNode *n, const std::string &output) {
    const refhost::Value v = eval_value(n, output);
    EXPECT_EQ(v.type, QV_TYPE_VECTOR) << output;
    return {v.doubles()[0], v.doubles()[1], v.doubles()[2]};
}

void NetworkTest::load_text(refhost::HostNode *n, const std::string &text) {
    refhost::SceneReader reader(refhost::SceneForm::text, text, "test");
    ASSERT_TRUE(reader.ok()) << reader.error();
    n->inst.load(n->instance, reader.state());
    EXPECT_TRUE(reader.ok()) << reader.error();
}

std::string NetworkTest::save_text(refhost::HostNode *n) {
    refhost::SceneWriter writer(refhost::SceneForm::text);
    n->inst.save(n->instance, writer.state());
    std::string s = writer.finish();
    EXPECT_TRUE(writer.ok()) << writer.error();
    return s;
}

}  // namespace qvtest
