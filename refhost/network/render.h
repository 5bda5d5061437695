// Rendering a network as the application's renderer does: frame by frame (a
// new time at each, t = frame / fps) and, within a frame, sample by sample
// over an image grid on every core.  The node instances are shared by all
// threads; each thread evaluates with a sample record of its own.  One
// scheduler runs the rows: oneTBB's parallel_for where the build has it,
// threads of the standard library otherwise.
#pragma once

#include "refhost/network/network.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace refhost {

// The time the application sends for a frame.
inline double frame_time(int frame, double fps) { return static_cast<double>(frame) / fps; }

// Tells every node of the network that the scene is at `frame`: the scene's
// frame rate and time information, then the new time t = frame / fps.
void start_frame(Network &net, int frame, double fps);

// The sample of pixel (px, py) of a width x height image: u and v from 0 to
// 1 at the pixel's centre (v up), x and y the pixel centre.
HostSample pixel_sample(int width, int height, int px, int py, double time, int frame, int thread = 0);

// The number of values an output of this type gives per sample (1 or 3),
// 0 for types an image cannot hold.
int value_channels(int type);

// A grid of samples, row by row from the top, `channels` values per pixel:
// 1 for a scalar or integer output, 3 for a colour or vector (x, y, z).
struct ValueImage {
    int width = 0, height = 0, channels = 1;
    bool is_vector = false;     // 3 channels of a vector (mapped from -1..1 in a PNG), not a colour
    std::vector<float> values;  // width * height * channels
    float at(int x, int y, int c = 0) const { return values[(static_cast<std::size_t>(y) * width + x) * channels + c]; }

    // The values that the file the image is written to cannot hold, as
    // evaluated (see RenderControl::cannot_hold): how many, and the first
    // kFirstUnheld of them in the order of `values`.
    struct Unheld {
        std::size_t index;  // into values
        double value;
    };
    static constexpr std::size_t kFirstUnheld = 3;
    std::vector<Unheld> unheld;
    long long unheld_count = 0;
};

struct RenderControl {
    int threads = 1;                            // 0: every core
    const std::atomic<bool> *cancel = nullptr;  // set to stop between rows
    std::function<void(int rows_done)> on_row;  // called as rows complete, from any thread
    // Whether an output feeding several inputs is evaluated once per sample
    // (the reference host's render path) or once for every input it feeds
    // (the application's); the values are the same either way.
    bool reuse = true;
    // With reuse: whether each sample evaluates the output's upstream first
    // (UpstreamOrder: no evaluation nests inside another) or each output when
    // an input asks for it.  The values are the same either way.
    bool in_order = true;
    // When set, receives the number of node outputs the grid evaluated
    // (the first sample's evaluation before the grid not counted).
    std::atomic<long> *evaluations = nullptr;
    // When set, says which evaluated values the file the image goes to
    // cannot hold; they are kept in ValueImage::unheld.
    bool (*cannot_hold)(double value) = nullptr;
};

// Evaluates the network's `output` (named `name` in messages) at every pixel
// of a width x height grid at the current frame into `image`.  Before the
// grid, the first pixel is evaluated once on this thread, so that nodes
// which keep one value per time step (the caches) take it from the same
// sample whatever the number of threads: every value is the same with one
// thread or many.  False when cancelled ("interrupted") or when the output's
// type gives no image.
bool render_grid(const Network &network, const HostOutput &output, const std::string &name, int width, int height,
                 double time, int frame, const RenderControl &control, ValueImage &image, std::string &error);

// The cores the machine offers.
int available_threads();

// The one scheduler of renders: body(first, last, thread) for runs of rows
// that cover 0 to `rows` once, on at most `threads` threads at a time,
// `thread` from 0 to threads - 1 and never the same for two runs at once.
// One thread: all rows in order on this one.  Otherwise oneTBB's
// parallel_for where the build has it; without it (the Windows builds, and
// ThreadSanitizer's, which cannot see inside the uninstrumented library)
// threads of the standard library that take the next row in turn.
void schedule_rows(int rows, int threads, const std::function<void(int first, int last, int thread)> &body);

}  // namespace refhost
