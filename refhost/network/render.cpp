// Rendering (see render.h), and the render threads through which tests meet
// the module on several threads at once (Network::run_threads and
// evaluate_parallel).  Every thread is started or scheduled here.
#include "refhost/network/render.h"

#include "refhost/application.h"
#include "refhost/network/input_evaluation.h"
#include "support/stack_thread.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <thread>

#ifdef QV_HAVE_TBB
#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#endif

namespace refhost {

void start_frame(Network &net, int frame, double fps) {
    Application::get().set_frame_rate(fps);
    net.new_time(frame, frame_time(frame, fps));
}

HostSample pixel_sample(int width, int height, int px, int py, double time, int frame, int thread) {
    const double x = px + 0.5, y = py + 0.5;
    return HostSample::at(x / width, 1.0 - y / height, x, y, time, frame, thread);
}

int value_channels(int type) {
    switch (type) {
    case QV_TYPE_SCALAR:
    case QV_TYPE_INTEGER: return 1;
    case QV_TYPE_COLOR:
    case QV_TYPE_VECTOR: return 3;
    default: return 0;
    }
}

int available_threads() {
#ifdef QV_HAVE_TBB
    return tbb::info::default_concurrency();
#else
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
#endif
}

namespace {

// Runs body(thread) on `threads` threads, the calling thread being thread 0,
// and waits for all of them.  Each has a stack for the deepest network.
void on_threads(int threads, const std::function<void(int thread)> &body) {
    std::vector<std::unique_ptr<support::StackThread>> pool;
    pool.reserve(static_cast<std::size_t>(threads > 1 ? threads - 1 : 0));
    for (int t = 1; t < threads; ++t)
        pool.push_back(std::make_unique<support::StackThread>(Network::stack_bytes, [&body, t] { body(t); }));
    body(0);
    for (auto &th : pool) th->join();
}

}  // namespace

void schedule_rows(int rows, int threads, const std::function<void(int first, int last, int thread)> &body) {
    if (threads <= 1) {
        body(0, rows, 0);
        return;
    }
#ifdef QV_HAVE_TBB
    // oneTBB's workers, made once, with a stack for the deepest network.
    static const tbb::global_control stack(tbb::global_control::thread_stack_size, Network::stack_bytes);
    tbb::task_arena arena(threads);
    arena.execute([&] {
        tbb::parallel_for(tbb::blocked_range<int>(0, rows), [&](const tbb::blocked_range<int> &run) {
            body(run.begin(), run.end(), tbb::this_task_arena::current_thread_index());
        });
    });
#else
    std::atomic<int> next_row{0};
    on_threads(threads, [&](int thread) {
        for (int py = next_row.fetch_add(1); py < rows; py = next_row.fetch_add(1)) body(py, py + 1, thread);
    });
#endif
}

namespace {

// The values of a row that the image's file cannot hold.
struct RowUnheld {
    std::vector<ValueImage::Unheld> first;
    long long count = 0;
};

// Evaluates one row of the grid into its place in the image; with reuse,
// each output is evaluated once per sample (see SampleMemo), a block of
// samples at a time.
void render_row(const HostOutput &out, SampleMemo &memo, ValueImage &image, int py, double time, int frame, int thread,
                bool (*cannot_hold)(double), RowUnheld &unheld) {
    const int channels = image.channels;
    float *row = image.values.data() + static_cast<std::size_t>(py) * image.width * channels;
    const bool through_memo = memo.holds(out);
    const int slots = through_memo ? memo.slots() : 1;
    std::array<HostSample, SampleMemo::kMaxSlots> samples;
    for (int s = 0; s < slots; ++s) {
        samples[static_cast<std::size_t>(s)] = pixel_sample(image.width, image.height, 0, py, time, frame, thread);
        samples[static_cast<std::size_t>(s)].extras.memo = &memo;
        samples[static_cast<std::size_t>(s)].extras.slot = s;
    }
    Value own;
    for (int block = 0; block < image.width; block += slots) {
        const int count = std::min(slots, image.width - block);
        for (int s = 0; s < count; ++s) {
            HostSample &sample = samples[static_cast<std::size_t>(s)];
            const double x = block + s + 0.5;
            sample.access.uv[0] = sample.access.position[0] = x / image.width;
            sample.extras.pixel[0] = x;
        }
        memo.next();
        if (through_memo) memo.evaluate_block(out, samples.data(), count);
        for (int s = 0; s < count; ++s) {
            int type = 0;
            const unsigned char *bytes = nullptr;
            if (through_memo) {
                const uint64_t *c = memo.cell_in_slot(out, s);
                type = SampleMemo::cell_type(c);
                bytes = SampleMemo::cell_bytes(c);
            } else {
                evaluate_output(out, &samples[static_cast<std::size_t>(s)].access, own);
                type = own.type;
                bytes = own.bytes;
            }
            float *pixel = row + (block + s) * channels;
            double d[3] = {0.0, 0.0, 0.0};
            if (type == QV_TYPE_INTEGER) {
                int32_t i = 0;
                std::memcpy(&i, bytes, sizeof i);
                d[0] = i;
            } else if (type != 0) {
                std::memcpy(d, bytes, static_cast<std::size_t>(channels) * sizeof(double));
            }
            for (int c = 0; c < channels; ++c) pixel[c] = static_cast<float>(d[c]);
            if (cannot_hold == nullptr || type == 0) continue;
            for (int c = 0; c < channels; ++c) {
                if (!cannot_hold(d[c])) continue;
                if (unheld.first.size() < ValueImage::kFirstUnheld)
                    unheld.first.push_back({static_cast<std::size_t>(pixel - image.values.data()) + c, d[c]});
                ++unheld.count;
            }
        }
    }
}

bool cancelled(const RenderControl &control) {
    return control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed);
}

// A thread's memo, on a cache line of its own: it is written at every
// sample.
struct alignas(64) ThreadMemo {
    SampleMemo memo;
};

}  // namespace

bool render_grid(const Network &network, const HostOutput &out, const std::string &name, int width, int height,
                 double time, int frame, const RenderControl &control, ValueImage &image, std::string &error) {
    const int channels = value_channels(out.type);
    if (channels == 0) {
        error = name + ": a " + std::string(type_name(out.type)) + " output makes no image";
        return false;
    }
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.is_vector = out.type == QV_TYPE_VECTOR;
    image.values.assign(static_cast<std::size_t>(width) * height * channels, 0.0f);

    const int threads = control.threads > 0 ? control.threads : available_threads();
    // Each thread's memo is made on that thread, so that what it writes at
    // every sample lies among that thread's own allocations, not next to
    // another thread's memo (which cost two threads a third of their speed).
    // This thread is thread 0.
    std::vector<std::unique_ptr<ThreadMemo>> memos(static_cast<std::size_t>(threads > 1 ? threads : 1));
    memos[0] = std::make_unique<ThreadMemo>(
        ThreadMemo{network.make_memo(control.reuse, control.in_order, SampleMemo::kMaxSlots)});
    // The first sample of the frame, on this thread: nodes that keep a value
    // per time step take it from here.
    long before_grid = 0;
    {
        SampleMemo &memo = memos[0]->memo;
        HostSample first = pixel_sample(width, height, 0, 0, time, frame);
        memo.start(first);
        memo.value(out, &first.access);
        before_grid = memo.evaluations();
    }
    std::atomic<int> rows_done{0};
    // What each row found the file cannot hold, gathered in row order after.
    std::vector<RowUnheld> unheld(control.cannot_hold != nullptr ? static_cast<std::size_t>(height) : 0);
    RowUnheld none;
    schedule_rows(height, threads, [&](int first, int last, int thread) {
        std::unique_ptr<ThreadMemo> &mine = memos[static_cast<std::size_t>(thread)];
        // Made like thread 0's, from what it never changes once made (the
        // outputs' places and the order), while thread 0 evaluates.
        if (mine == nullptr)
            mine = std::make_unique<ThreadMemo>(ThreadMemo{SampleMemo(memos[0]->memo, SampleMemo::kMaxSlots)});
        SampleMemo &memo = mine->memo;
        for (int py = first; py != last && !cancelled(control); ++py) {
            render_row(out, memo, image, py, time, frame, thread, control.cannot_hold,
                       unheld.empty() ? none : unheld[static_cast<std::size_t>(py)]);
            const int done = rows_done.fetch_add(1, std::memory_order_relaxed) + 1;
            if (control.on_row) control.on_row(done);
        }
    });
    image.unheld.clear();
    image.unheld_count = 0;
    for (const RowUnheld &row : unheld) {
        for (const ValueImage::Unheld &u : row.first)
            if (image.unheld.size() < ValueImage::kFirstUnheld) image.unheld.push_back(u);
        image.unheld_count += row.count;
    }
    if (control.evaluations != nullptr) {
        long grid = -before_grid;
        for (const auto &m : memos)
            if (m != nullptr) grid += m->memo.evaluations();
        control.evaluations->fetch_add(grid, std::memory_order_relaxed);
    }
    if (rows_done.load() < height || cancel_requested()) {
        error = "interrupted";
        return false;
    }
    return true;
}

void Network::run_threads(int threads, const std::function<void(int, QvSampleAccess &)> &body) const {
    if (threads <= 0) return;
    const double time = Application::get().time_info().time;
    std::atomic<int> arrived{0};
    on_threads(threads, [&](int t) {
        HostSample sample;
        sample.access.thread = t;
        sample.access.time = time;
        // Start together, so that the threads meet on the same instances.
        arrived.fetch_add(1, std::memory_order_acq_rel);
        while (arrived.load(std::memory_order_acquire) < threads) std::this_thread::yield();
        body(t, sample.access);
    });
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
