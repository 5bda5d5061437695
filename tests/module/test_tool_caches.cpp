// Cache nodes: one upstream evaluation per time step, what they give before
// the first new time and after a render ends, the matrix cache's identity
// rows, and their own activation and record.
#include "tests/fixtures/module_fixture.h"

#include "nodes/tool/caches.h"

#include <array>
#include <vector>

using namespace qvtest;
using refhost::Application;
using refhost::Value;

namespace {

using Triple = std::array<double, 3>;

class Caches : public NetworkTest {
protected:
    refhost::HostSource *feed_value(refhost::HostNode *n, const std::string &input, const Value &v) {
        std::string error;
        refhost::HostSource *s = net->feed(n->id, input, v, error);
        EXPECT_NE(s, nullptr) << error;
        return s;
    }
    Value eval_value(refhost::HostNode *n, const std::string &output) {
        net->render_init();
        Value v;
        std::string error;
        EXPECT_TRUE(net->evaluate(n->id, output, v, error)) << error;
        return v;
    }
    Triple eval_triple(refhost::HostNode *n, const std::string &output) {
        const Value v = eval_value(n, output);
        EXPECT_EQ(v.type, QV_TYPE_VECTOR) << output;
        return {v.doubles()[0], v.doubles()[1], v.doubles()[2]};
    }
    void expect_rows(refhost::HostNode *m, const std::array<Triple, 3> &rows) {
        const char *names[] = {"Rgt", "Up", "Fwd"};
        for (int i = 0; i < 3; ++i) {
            const Triple got = eval_triple(m, names[i]);
            for (int k = 0; k < 3; ++k) EXPECT_TRUE(same_double(rows[i][k], got[k])) << names[i] << " " << k;
        }
    }
};

Value material(double first) {
    Value v;
    v.type = QV_TYPE_MATERIAL;
    for (int i = 0; i < 13; ++i) v.doubles()[i] = first + i * 0.5;
    return v;
}

const std::array<Triple, 3> kIdentity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
const std::array<Triple, 3> kZeroRows = {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};

}  // namespace

TEST_F(Caches, CreatesMakeTheirPortsAndColour) {
    struct CreateCase {
        const char *server;
        int type;
        std::vector<std::string> names;
    };
    const CreateCase cases[] = {
        {"QvC_INT", QV_TYPE_INTEGER, {"In"}},
        {"QvC_SCL", QV_TYPE_SCALAR, {"In"}},
        {"QvC_VEC", QV_TYPE_VECTOR, {"In"}},
        {"QvC_MTL", QV_TYPE_MATERIAL, {"In"}},
        {"QvC_MAT", QV_TYPE_VECTOR, {"Rgt", "Up", "Fwd"}},
    };
    for (const CreateCase &c : cases) {
        SCOPED_TRACE(c.server);
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ((std::vector<std::string>{"colour", "mode"}), n->calls);
        EXPECT_EQ((std::array<int32_t, 3>{n->colour[0], n->colour[1], n->colour[2]}),
                  (std::array<int32_t, 3>{64, 64, 64}));
        EXPECT_EQ(n->mode, QV_NODE_MODE_NO_PREVIEW);
        ASSERT_EQ(n->inputs.size(), c.names.size());
        ASSERT_EQ(n->outputs.size(), c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(n->inputs[i]->type, c.type);
            EXPECT_EQ(n->outputs[i]->type, c.type);
            EXPECT_EQ(n->inputs[i]->name, c.names.size() == 1 ? "In" : c.names[i]);
            EXPECT_EQ(n->outputs[i]->name, c.names.size() == 1 ? "Out" : c.names[i]);
            EXPECT_NE(n->inputs[i]->event, nullptr);
        }
        const auto *r = static_cast<const qv::CacheRecord *>(n->instance);
        EXPECT_EQ(r->node, static_cast<QvNodeId>(n));
        EXPECT_EQ(r->flags.load(), 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(n->instance) % 16, 0u);
        load_text(n, "val0 1\nInt1 2\n");
        EXPECT_EQ(save_text(n), "");
    }
}

TEST_F(Caches, ActivationInstallsTheCacheCallbacksWithoutTheExtraQuery) {
    auto m = shared_module();
    ASSERT_TRUE(m);
    const QvServerRecord *scl = m->find("NodeHandler", "QvC_SCL");
    const QvServerRecord *mat = m->find("NodeHandler", "QvC_MAT");
    const QvServerRecord *sin = m->find("NodeHandler", "QvMs_SIN");
    ASSERT_TRUE(scl && mat && sin);
    auto sentinel = [](void *) { return 42; };
    QvNodeHandler h[3];
    QvInstanceFuncs inst[3];
    QvRenderFuncs rend[3];
    const QvServerRecord *records[] = {scl, mat, sin};
    for (int i = 0; i < 3; ++i) {
        h[i] = QvNodeHandler{};
        inst[i] = QvInstanceFuncs{};
        rend[i] = QvRenderFuncs{};
        h[i].inst = &inst[i];
        h[i].rend = &rend[i];
        h[i].extra_query = sentinel;
        ASSERT_EQ(records[i]->activate(2, Application::get().global_function(), &h[i], nullptr), QV_AFUNC_OK);
    }
    EXPECT_EQ(h[0].extra_query(nullptr), 42) << "word 7 untouched";
    EXPECT_EQ(h[1].extra_query(nullptr), 42);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(inst[0].priv), 1u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(inst[1].priv), 3u);
    EXPECT_EQ(inst[0].create, inst[1].create);
    EXPECT_NE(h[0].evaluate, h[1].evaluate);
    EXPECT_NE(inst[0].destroy, inst[2].destroy);
    EXPECT_NE(rend[0].init, rend[2].init);
    EXPECT_NE(rend[0].cleanup, rend[2].cleanup);
    EXPECT_NE(rend[0].new_time, rend[2].new_time);
    EXPECT_EQ(h[0].custom_preview, nullptr);
}

TEST_F(Caches, SingleValueCachesHoldTheFirstSampleOfATimeStep) {
    struct ValueCase {
        const char *server;
        Value first, second;
    };
    const ValueCase cases[] = {
        {"QvC_INT", Value::integer(-7), Value::integer(123456)},
        {"QvC_SCL", Value::scalar(0.1), Value::scalar(-2.5e300)},
        {"QvC_VEC", Value::triple(QV_TYPE_VECTOR, 1, 2, 3), Value::triple(QV_TYPE_VECTOR, -4, 0.5, 1e-300)},
        {"QvC_MTL", material(1.0), material(-40.0)},
    };
    for (const ValueCase &c : cases) {
        SCOPED_TRACE(c.server);
        refhost::HostNode *n = make(c.server);
        ASSERT_NE(n, nullptr);
        refhost::HostSource *src = feed_value(n, "In", c.first);
        const std::size_t size = refhost::type_size(c.first.type);

        // Before the first new time: zero, and upstream untouched.
        Value v = eval_value(n, "Out");
        ASSERT_EQ(v.type, c.first.type);
        EXPECT_EQ(std::vector<unsigned char>(v.bytes, v.bytes + size), std::vector<unsigned char>(size, 0));
        EXPECT_EQ(src->evaluations.load(), 0);

        net->new_time(1, 1.0 / 30);
        v = eval_value(n, "Out");
        EXPECT_EQ(0, std::memcmp(v.bytes, c.first.bytes, size));
        // The input changes between samples of one time step: the cache keeps
        // the first sample's value and asks upstream no more.
        src->value = c.second;
        for (int k = 0; k < 5; ++k) {
            v = eval_value(n, "Out");
            EXPECT_EQ(0, std::memcmp(v.bytes, c.first.bytes, size));
        }
        EXPECT_EQ(src->evaluations.load(), 1);

        net->new_time(2, 2.0 / 30);
        v = eval_value(n, "Out");
        EXPECT_EQ(0, std::memcmp(v.bytes, c.second.bytes, size));
        EXPECT_EQ(src->evaluations.load(), 2);
    }
}

TEST_F(Caches, AnUnconnectedInputAtRefreshGivesZero) {
    refhost::HostNode *n = make("QvC_SCL");
    feed_value(n, "In", Value::scalar(3.0));
    net->new_time(1, 0.1);
    EXPECT_TRUE(same_double(3.0, eval(n)));
    std::string error;
    ASSERT_TRUE(net->disconnect(n->id, "In", error)) << error;
    EXPECT_TRUE(same_double(3.0, eval(n))) << "kept until the next time step";
    net->new_time(2, 0.2);
    EXPECT_TRUE(same_double(0.0, eval(n)));
}

TEST_F(Caches, RenderCleanupDropsAPendingRefresh) {
    refhost::HostNode *n = make("QvC_SCL");
    refhost::HostSource *src = feed_value(n, "In", Value::scalar(1.0));
    net->new_time(1, 0.1);
    EXPECT_TRUE(same_double(1.0, eval(n)));
    net->new_time(2, 0.2);
    net->render_cleanup();
    src->value = Value::scalar(2.0);
    EXPECT_TRUE(same_double(1.0, eval(n)));
    EXPECT_EQ(src->evaluations.load(), 1);
    net->new_time(3, 0.3);
    EXPECT_TRUE(same_double(2.0, eval(n)));
}

TEST_F(Caches, MatrixCacheGivesZeroRowsThenIdentityRows) {
    refhost::HostNode *m = make("QvC_MAT");
    ASSERT_NE(m, nullptr);
    expect_rows(m, kZeroRows);
    net->new_time(1, 0.1);
    expect_rows(m, kIdentity);
    net->new_time(2, 0.2);
    expect_rows(m, kIdentity);
}

TEST_F(Caches, MatrixCacheReplacesConnectedRowsOnly) {
    refhost::HostNode *m = make("QvC_MAT");
    refhost::HostSource *up = feed_value(m, "Up", Value::triple(QV_TYPE_VECTOR, 2, 3, 4));
    net->new_time(1, 0.1);
    expect_rows(m, {{{1, 0, 0}, {2, 3, 4}, {0, 0, 1}}});
    EXPECT_EQ(up->evaluations.load(), 1);
    refhost::HostSource *rgt = feed_value(m, "Rgt", Value::triple(QV_TYPE_VECTOR, -1, -2, -3));
    refhost::HostSource *fwd = feed_value(m, "Fwd", Value::triple(QV_TYPE_VECTOR, 7, 8, 9));
    net->new_time(2, 0.2);
    // Asking "Fwd" first refreshes all three rows at once.
    const Triple f = eval_triple(m, "Fwd");
    EXPECT_TRUE(same_double(7.0, f[0]));
    EXPECT_EQ(rgt->evaluations.load(), 1);
    EXPECT_EQ(up->evaluations.load(), 2);
    EXPECT_EQ(fwd->evaluations.load(), 1);
    up->value = Value::triple(QV_TYPE_VECTOR, 0, 0, 0);
    expect_rows(m, {{{-1, -2, -3}, {2, 3, 4}, {7, 8, 9}}});
    EXPECT_EQ(rgt->evaluations.load(), 1);
    EXPECT_EQ(up->evaluations.load(), 2);
    EXPECT_EQ(fwd->evaluations.load(), 1);
}

TEST_F(Caches, MatrixCacheSetsNothingForAnotherOutput) {
    refhost::HostNode *m = make("QvC_MAT");
    refhost::HostNode *other = make("QvC_VEC");
    net->new_time(1, 0.1);
    net->render_init();
    Value v;
    refhost::HostValueSlot slot{QV_TYPE_VECTOR, &v};
    m->handler.evaluate(m->instance, nullptr, other->outputs[0].get(), &slot);
    EXPECT_EQ(v.type, 0);
    expect_rows(m, kIdentity);
}

TEST_F(Caches, CopyStartsEmpty) {
    refhost::HostNode *n = make("QvC_VEC");
    feed_value(n, "In", Value::triple(QV_TYPE_VECTOR, 5, 6, 7));
    net->new_time(1, 0.1);
    const Triple t = eval_triple(n, "Out");
    EXPECT_TRUE(same_double(6.0, t[1]));
    std::string error;
    refhost::HostNode *copy = net->copy(n->id, error);
    ASSERT_NE(copy, nullptr) << error;
    const Triple c = eval_triple(copy, "Out");
    for (double d : c) EXPECT_TRUE(same_double(0.0, d));
}

TEST_F(Caches, RenderInitReadsConnectionsOnceAndEventsKeepThem) {
    refhost::HostNode *m = make("QvC_MAT");
    net->render_init();
    std::vector<int> asked;
    for (const auto &in : m->inputs) asked.push_back(in->connected_queries.load());
    for (int k = 0; k < 3; ++k) EXPECT_EQ(asked[k], 1);
    net->render_init();
    for (int k = 0; k < 3; ++k) EXPECT_EQ(m->inputs[k]->connected_queries.load(), 1);
    const auto *r = static_cast<const qv::CacheRecord *>(m->instance);
    EXPECT_EQ(r->flags.load() & qv::kCacheFlagsRead, qv::kCacheFlagsRead);
    feed_value(m, "Fwd", Value::triple(QV_TYPE_VECTOR, 1, 1, 1));
    EXPECT_EQ(r->connected[2], 1);
    EXPECT_EQ(r->connected[0], 0);
    // An event naming an input of another node changes nothing and returns 1.
    refhost::HostNode *other = make("QvC_SCL");
    EXPECT_EQ(m->inputs[0]->event(m->instance, other->inputs[0].get(), QV_EVENT_CONNECT, QV_TYPE_VECTOR), 1);
    EXPECT_EQ(r->connected[0], 0);
    EXPECT_EQ(m->inputs[2]->event(m->instance, m->inputs[2].get(), 5, QV_TYPE_VECTOR), 1);
    EXPECT_EQ(r->connected[2], 0) << "any event but connect clears";
}
