// Render threads: one network evaluated on several threads at once, as the
// application renders, each thread with a sample access record of its own and
// all of them sharing the node instances.
#include "refhost/network/network.h"

#include "refhost/application.h"

#include <atomic>
#include <thread>

namespace refhost {

void Network::run_threads(int threads, const std::function<void(int, QvSampleAccess &)> &body) const {
    if (threads <= 0) return;
    const double time = Application::get().time_info().time;
    std::atomic<int> arrived{0};
    auto worker = [&](int t) {
        QvSampleAccess sa{};
        sa.thread = t;
        sa.time = time;
        // Start together, so that the threads meet on the same instances.
        arrived.fetch_add(1, std::memory_order_acq_rel);
        while (arrived.load(std::memory_order_acquire) < threads) std::this_thread::yield();
        body(t, sa);
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t) pool.emplace_back(worker, t);
    for (std::thread &th : pool) th.join();
}

std::vector<std::vector<Value>> Network::evaluate_parallel(int threads, const std::vector<Request> &requests,
                                                           int samples) const {
    std::vector<std::vector<Value>> results(static_cast<std::size_t>(threads > 0 ? threads : 0));
    for (auto &r : results) r.resize(requests.size() * static_cast<std::size_t>(samples > 0 ? samples : 0));
    // Outputs are looked up before the threads start; each thread writes only
    // its own result list.
    std::vector<const HostOutput *> outputs;
    for (const Request &q : requests) {
        const HostNode *n = node(q.node);
        outputs.push_back(n != nullptr ? n->output(q.output) : nullptr);
    }
    run_threads(threads, [&](int t, QvSampleAccess &sa) {
        std::vector<Value> &mine = results[static_cast<std::size_t>(t)];
        std::size_t k = 0;
        for (int s = 0; s < samples; ++s) {
            for (const HostOutput *out : outputs) {
                if (out != nullptr) evaluate_output(*out, &sa, mine[k]);
                ++k;
            }
        }
    });
    return results;
}

}  // namespace refhost
