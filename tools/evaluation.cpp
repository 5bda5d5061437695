#include "tools/evaluation.h"

#include "refhost/application.h"

#include <thread>

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

// Evaluates one row of the grid into its place in the image.
void render_row(const refhost::HostOutput &out, ValueImage &image, int py, double time, int frame, int thread) {
    const int channels = image.channels;
    float *row = image.values.data() + static_cast<std::size_t>(py) * image.width * channels;
    for (int px = 0; px < image.width; ++px) {
        refhost::HostSample sample = pixel_sample(image.width, image.height, px, py, time, frame, thread);
        refhost::Value v;
        float *pixel = row + px * channels;
        if (!refhost::evaluate_output(out, &sample.access, v)) {
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

}  // namespace

bool render_grid(const OutputRef &output, int width, int height, double time, int frame, const RenderControl &control,
                 ValueImage &image, std::string &error) {
    const refhost::HostOutput &out = *output.output;
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
                for (int py = rows.begin(); py != rows.end(); ++py) {
                    if (cancelled(control)) return;
                    render_row(out, image, py, time, frame, thread);
                    row_done();
                }
            });
        });
        if (cancelled(control)) {
            error = "interrupted";
            return false;
        }
        return true;
    }
#endif
    for (int py = 0; py < height; ++py) {
        if (cancelled(control)) {
            error = "interrupted";
            return false;
        }
        render_row(out, image, py, time, frame, 0);
        row_done();
    }
    return true;
}

}  // namespace qvhost
