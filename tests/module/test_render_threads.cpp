// Several render threads evaluating one network at once, each with its own
// sample access record and all sharing the node instances, as the
// application does: caches refresh once per time step and every thread sees
// the value of its own step; the other nodes give what one thread gives.
#include "tests/fixtures/module_fixture.h"

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

using namespace qvtest;
using refhost::Value;

namespace {

int thread_count() {
    const unsigned hw = std::thread::hardware_concurrency();
    return static_cast<int>(std::max(4u, std::min(hw, 8u)));
}

class Threads : public NetworkTest {
protected:
    refhost::HostSource *feed_value(refhost::HostNode *n, const std::string &input, const Value &v) {
        std::string error;
        refhost::HostSource *s = net->feed(n->id, input, v, error);
        EXPECT_NE(s, nullptr) << error;
        return s;
    }
    void connect(refhost::HostNode *from, const std::string &out, refhost::HostNode *to, const std::string &in) {
        std::string error;
        EXPECT_TRUE(net->connect(from->id, out, to->id, in, error)) << error;
    }
    // A chain of adders that passes its input on unchanged, so that a refresh
    // takes long enough for other threads to arrive while it runs.
    refhost::HostNode *chain(int length, refhost::HostNode *&head) {
        head = make("QvMs_ADD");
        refhost::HostNode *last = head;
        for (int k = 1; k < length; ++k) {
            refhost::HostNode *next = make("QvMs_ADD");
            connect(last, "Out", next, "In1");
            last = next;
        }
        return last;
    }
};

double scalar_of_step(int step) { return step * 1.5 + 0.25; }
Value row_of_step(int row, int step) {
    return Value::triple(QV_TYPE_VECTOR, step + row * 0.125, -step - 0.5 * row, 1000.0 + row);
}

}  // namespace

TEST_F(Threads, EachThreadHasItsOwnSampleAccess) {
    const int n = thread_count();
    refhost::Application::get().set_time(12, 0.4);
    std::vector<int> seen(static_cast<std::size_t>(n), -1);
    std::vector<const QvSampleAccess *> records(static_cast<std::size_t>(n), nullptr);
    std::vector<double> times(static_cast<std::size_t>(n), 0.0);
    net->run_threads(n, [&](int t, QvSampleAccess &sa) {
        seen[static_cast<std::size_t>(t)] = sa.thread;
        records[static_cast<std::size_t>(t)] = &sa;
        times[static_cast<std::size_t>(t)] = sa.time;
    });
    for (int t = 0; t < n; ++t) {
        EXPECT_EQ(seen[t], t);
        EXPECT_TRUE(same_double(0.4, times[t]));
    }
    EXPECT_EQ(std::set<const QvSampleAccess *>(records.begin(), records.end()).size(), static_cast<std::size_t>(n));
    refhost::Application::get().set_time(0, 0.0);
}

TEST_F(Threads, CachesRefreshOncePerTimeStepAndEveryThreadSeesItsStep) {
    const int threads = thread_count();
    const int steps = 150;
    const int samples = 8;

    // Scalar cache behind a chain of adders fed by a counting source.
    refhost::HostNode *head = nullptr;
    refhost::HostNode *tail = chain(24, head);
    refhost::HostSource *scalar_src = feed_value(head, "In1", Value::scalar(0.0));
    refhost::HostNode *scl = make("QvC_SCL");
    connect(tail, "Out", scl, "In");
    // A node downstream of the scalar cache, so that the cache is also
    // reached through another node's evaluation.
    refhost::HostNode *after = make("QvMs_ADD");
    connect(scl, "Out", after, "In1");
    feed(after, "In2", 0.5);

    // Matrix cache: "Rgt" and "Fwd" fed directly, "Up" through a vector
    // maker behind its own chain.
    refhost::HostNode *mat = make("QvC_MAT");
    refhost::HostSource *rgt = feed_value(mat, "Rgt", row_of_step(0, 0));
    refhost::HostSource *fwd = feed_value(mat, "Fwd", row_of_step(2, 0));
    refhost::HostNode *mvec = make("QvT_MVEC");
    refhost::HostSource *up = feed_value(mvec, "Vec", row_of_step(1, 0));
    connect(mvec, "Out", mat, "Up");

    // A vector cache fed by the scalar cache's chain as well: two caches
    // refreshing from one upstream at once.
    refhost::HostNode *vec = make("QvC_VEC");
    connect(tail, "Out", vec, "In");

    const std::vector<refhost::Network::Request> requests = {
        {scl->id, "Out"}, {mat->id, "Fwd"}, {after->id, "Out"}, {mat->id, "Rgt"}, {mat->id, "Up"}, {vec->id, "Out"},
    };

    net->render_init();
    for (int step = 1; step <= steps; ++step) {
        scalar_src->value = Value::scalar(scalar_of_step(step));
        rgt->value = row_of_step(0, step);
        up->value = row_of_step(1, step);
        fwd->value = row_of_step(2, step);
        net->new_time(step, step / 30.0);
        const auto results = net->evaluate_parallel(threads, requests, samples);

        // Upstream evaluated once per step for each cache: the scalar source
        // once for the scalar cache and once for the vector cache.
        ASSERT_EQ(scalar_src->evaluations.load(), 2L * step) << "step " << step;
        ASSERT_EQ(rgt->evaluations.load(), step) << "step " << step;
        ASSERT_EQ(up->evaluations.load(), step) << "step " << step;
        ASSERT_EQ(fwd->evaluations.load(), step) << "step " << step;

        const double s = scalar_of_step(step);
        for (int t = 0; t < threads; ++t) {
            SCOPED_TRACE("step " + std::to_string(step) + ", thread " + std::to_string(t));
            ASSERT_EQ(results[t].size(), requests.size() * samples);
            for (int k = 0; k < samples; ++k) {
                const Value *v = &results[t][k * requests.size()];
                ASSERT_EQ(v[0].type, QV_TYPE_SCALAR);
                ASSERT_TRUE(same_double(s, v[0].as_scalar()));
                ASSERT_TRUE(same_double(s + 0.5, v[2].as_scalar()));
                // Requests 1, 3 and 4 are the rows "Fwd", "Rgt" and "Up".
                for (const auto &qr : {std::pair<int, int>{1, 2}, {3, 0}, {4, 1}}) {
                    const int q = qr.first;
                    const Value expected = row_of_step(qr.second, step);
                    ASSERT_EQ(v[q].type, QV_TYPE_VECTOR);
                    for (int c = 0; c < 3; ++c) ASSERT_TRUE(same_double(expected.doubles()[c], v[q].doubles()[c])) << q;
                }
                ASSERT_EQ(v[5].type, QV_TYPE_VECTOR);
                for (int c = 0; c < 3; ++c) ASSERT_TRUE(same_double(s, v[5].doubles()[c]));
            }
        }
    }
    net->render_cleanup();
}

TEST_F(Threads, IntegerAndMaterialCachesUnderThreads) {
    const int threads = thread_count();
    refhost::HostNode *ic = make("QvC_INT");
    refhost::HostNode *mc = make("QvC_MTL");
    refhost::HostSource *isrc = feed_value(ic, "In", Value::integer(0));
    Value m;
    m.type = QV_TYPE_MATERIAL;
    refhost::HostSource *msrc = feed_value(mc, "In", m);
    refhost::HostNode *split = make("QvT_SPMTL");
    connect(mc, "Out", split, "Mtl");
    const std::vector<refhost::Network::Request> requests = {
        {ic->id, "Out"}, {mc->id, "Out"}, {split->id, "Transpar."}, {split->id, "RefrAct"}};
    net->render_init();
    for (int step = 1; step <= 60; ++step) {
        isrc->value = Value::integer(-step);
        for (int k = 0; k < 13; ++k) msrc->value.doubles()[k] = step * 100.0 + k;
        net->new_time(step, step / 25.0);
        const auto results = net->evaluate_parallel(threads, requests, 4);
        ASSERT_EQ(isrc->evaluations.load(), step);
        ASSERT_EQ(msrc->evaluations.load(), step);
        for (int t = 0; t < threads; ++t) {
            for (std::size_t k = 0; k < results[t].size(); k += requests.size()) {
                const Value *v = &results[t][k];
                ASSERT_EQ(v[0].as_integer(), -step);
                ASSERT_EQ(0, std::memcmp(v[1].bytes, msrc->value.bytes, 104));
                ASSERT_TRUE(same_double(step * 100.0 + 12, v[2].as_scalar()));
                ASSERT_TRUE(same_double(step * 100.0 + 9, v[3].doubles()[0]));
            }
        }
    }
}

TEST_F(Threads, OtherNodesGiveWhatOneThreadGives) {
    const int threads = thread_count();
    refhost::HostNode *noise = make("QvT_NOIS");
    feed(noise, "Speed", 0.7);
    refhost::HostNode *map = make("QvT_MAPR");
    load_text(map, "Int2 3 2\n");
    connect(noise, "Out", map, "In");
    feed(map, "Ed", 0.1);
    refhost::HostNode *lgc = make("QvT_LGC2V");
    load_text(lgc, "Logic 2 3 4\n");
    connect(map, "Out", lgc, "A1");
    feed(lgc, "B1", 0.5);
    connect(noise, "Out", lgc, "A2");
    feed_value(lgc, "True", Value::triple(QV_TYPE_VECTOR, 1, 2, 3));
    feed_value(lgc, "False", Value::triple(QV_TYPE_VECTOR, 4, 5, 6));
    refhost::HostNode *sw = make("QvT_SWCHS");
    connect(lgc, "Bool", sw, "Bool");
    connect(map, "Out", sw, "True2");
    connect(noise, "Out", sw, "false2");
    refhost::HostNode *split = make("QvT_V2XYZ");
    connect(lgc, "Out", split, "Vec");
    refhost::HostNode *f2t = make("QvT_F2T");
    connect(lgc, "Bool", f2t, "Frm");
    const std::vector<refhost::Network::Request> requests = {
        {noise->id, "Out"}, {map->id, "Out"},  {lgc->id, "Out"},
        {lgc->id, "Bool"},  {sw->id, "out2"},  {split->id, "Luma" /* none: unset */},
        {split->id, "Len"}, {f2t->id, "Time"},
    };
    net->render_init();
    for (int step = 0; step < 40; ++step) {
        net->new_time(step, step * 0.37);
        const auto single = net->evaluate_parallel(1, requests, 1)[0];
        const auto results = net->evaluate_parallel(threads, requests, 10);
        for (int t = 0; t < threads; ++t) {
            for (std::size_t k = 0; k < results[t].size(); ++k) {
                const Value &a = results[t][k];
                const Value &b = single[k % requests.size()];
                ASSERT_EQ(a.type, b.type) << k;
                ASSERT_EQ(0, std::memcmp(a.bytes, b.bytes, refhost::type_size(a.type))) << k;
            }
        }
    }
}
