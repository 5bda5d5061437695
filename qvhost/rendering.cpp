#include "qvhost/rendering.h"

#include "refhost/application.h"

#include <thread>
#include <vector>

#ifdef QV_HAVE_TBB
#include <tbb/blocked_range.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#endif

namespace qvhost {

void start_frame(refhost::Network &net, int frame, double fps) {
    refhost::Application::get().set_frame_rate(fps);
    net.new_time(frame, frame_time(frame, fps));
}

refhost::HostSample pixel_sample(int width, int height, int px, int py, double time, int frame, int thread) {
    const double x = px + 0.5, y = py + 0.5;
    return refhost::HostSample::at(x / width, 1.0 - y / height, x, y, time, frame, thread);
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

// Evaluates one row of the grid into its place in the image; with reuse,
// each output is evaluated once per sample (see SampleMemo).
void render_row(const refhost::HostOutput &out, refhost::SampleMemo &memo, ValueImage &image, int py, double time,
                int frame, int thread) {
    const int channels = image.channels;
    float *row = image.values.data() + static_cast<std::size_t>(py) * image.width * channels;
    refhost::HostSample sample = pixel_sample(image.width, image.height, 0, py, time, frame, thread);
    sample.extras.memo = &memo;
    refhost::Value own;
    const bool through_memo = memo.holds(out);
    for (int px = 0; px < image.width; ++px) {
        const double x = px + 0.5;
        sample.access.uv[0] = sample.access.position[0] = x / image.width;
        sample.extras.pixel[0] = x;
        memo.next();
        float *pixel = row + px * channels;
        if (!through_memo) refhost::evaluate_output(out, &sample.access, own);
        const refhost::Value &v = through_memo ? memo.value(out, &sample.access) : own;
        if (v.type == 0) {
            for (int c = 0; c < channels; ++c) pixel[c] = 0.0f;
        } else if (v.type == QV_TYPE_INTEGER) {
            pixel[0] = static_cast<float>(v.as_integer());
        } else {
            for (int c = 0; c < channels; ++c) pixel[c] = static_cast<float>(v.doubles()[c]);
        }
    }
}

bool cancelled(const RenderControl &control) {
    return control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed);
}

// Adds what one thread's memo evaluated to the render's count.
void count_evaluations(const RenderControl &control, const refhost::SampleMemo &memo) {
    if (control.evaluations != nullptr) control.evaluations->fetch_add(memo.evaluations(), std::memory_order_relaxed);
}

}  // namespace

bool render_grid(const OutputRef &output, int width, int height, double time, int frame, const RenderControl &control,
                 ValueImage &image, std::string &error) {
    const refhost::HostOutput &out = *output.output;
    const refhost::Network &network = output.network();
    const int channels = value_channels(out.type);
    if (channels == 0) {
        error = output.text + ": a " + std::string(refhost::type_name(out.type)) + " output makes no image";
        return false;
    }
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.is_vector = out.type == QV_TYPE_VECTOR;
    image.values.assign(static_cast<std::size_t>(width) * height * channels, 0.0f);

    // The first sample of the frame, on this thread: nodes that keep a value
    // per time step take it from here.
    {
        refhost::HostSample first = pixel_sample(width, height, 0, 0, time, frame);
        refhost::Value v;
        refhost::evaluate_output(out, &first.access, v);
    }

    std::atomic<int> rows_done{0};
    auto row_done = [&] {
        const int done = rows_done.fetch_add(1, std::memory_order_relaxed) + 1;
        if (control.on_row) control.on_row(done);
    };
    const int threads = control.threads > 0 ? control.threads : available_threads();
#ifdef QV_HAVE_TBB
    if (threads > 1) {
        tbb::task_arena arena(threads);
        arena.execute([&] {
            tbb::parallel_for(tbb::blocked_range<int>(0, height), [&](const tbb::blocked_range<int> &rows) {
                const int thread = tbb::this_task_arena::current_thread_index();
                refhost::SampleMemo memo = network.make_memo(control.reuse);
                for (int py = rows.begin(); py != rows.end() && !cancelled(control); ++py) {
                    render_row(out, memo, image, py, time, frame, thread);
                    row_done();
                }
                count_evaluations(control, memo);
            });
        });
        if (cancelled(control)) {
            error = "interrupted";
            return false;
        }
        return true;
    }
#else
    if (threads > 1) {
        // Without oneTBB (the Windows builds, and ThreadSanitizer's, which
        // cannot see inside the uninstrumented library): threads that take
        // the next row in turn.
        std::atomic<int> next_row{0};
        auto worker = [&](int thread) {
            refhost::SampleMemo memo = network.make_memo(control.reuse);
            for (int py = next_row.fetch_add(1); py < height && !cancelled(control); py = next_row.fetch_add(1)) {
                render_row(out, memo, image, py, time, frame, thread);
                row_done();
            }
            count_evaluations(control, memo);
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) pool.emplace_back(worker, t);
        worker(0);
        for (std::thread &t : pool) t.join();
        if (cancelled(control)) {
            error = "interrupted";
            return false;
        }
        return true;
    }
#endif
    refhost::SampleMemo memo = network.make_memo(control.reuse);
    for (int py = 0; py < height; ++py) {
        if (cancelled(control)) {
            count_evaluations(control, memo);
            error = "interrupted";
            return false;
        }
        render_row(out, memo, image, py, time, frame, 0);
        row_done();
    }
    count_evaluations(control, memo);
    return true;
}

}  // namespace qvhost
