// Evaluating a network's outputs as the application's renderer does: frame
// by frame (a new time at each, t = frame / fps) and, within a frame, sample
// by sample over an image grid on every core.  The node instances are shared
// by all threads; each thread evaluates with a sample record of its own.
#pragma once

#include "qvhost/network_toml.h"
#include "qvhost/pictures/pictures.h"

#include <atomic>
#include <functional>

namespace qvhost {

// The time the application sends for a frame.
inline double frame_time(int frame, double fps) { return static_cast<double>(frame) / fps; }

// Tells every node of the network that the scene is at `frame`: the scene's
// frame rate and time information, then the new time t = frame / fps.
void start_frame(refhost::Network &net, int frame, double fps);

// The sample of pixel (px, py) of a width x height image: u and v from 0 to
// 1 at the pixel's centre (v up), x and y the pixel centre.
refhost::HostSample pixel_sample(int width, int height, int px, int py, double time, int frame, int thread = 0);

// The number of values an output of this type gives per sample (1 or 3),
// 0 for types an image cannot hold.
int value_channels(int type);

struct RenderControl {
    int threads = 1;                            // 0: every core
    const std::atomic<bool> *cancel = nullptr;  // set to stop between rows
    std::function<void(int rows_done)> on_row;  // called as rows complete, from any thread
    // Whether an output feeding several inputs is evaluated once per sample
    // (the reference host's render path) or once for every input it feeds
    // (the application's); the values are the same either way.
    bool reuse = true;
    // When set, receives the number of node outputs the grid evaluated
    // (the first sample's evaluation before the grid not counted).
    std::atomic<long> *evaluations = nullptr;
};

// Evaluates `output` at every pixel of a width x height grid at the current
// frame into `image`.  Before the grid, the first pixel is evaluated once on
// this thread, so that nodes which keep one value per time step (the caches)
// take it from the same sample whatever the number of threads: every value
// is the same with one thread or many.  False when cancelled or when the
// output's type gives no image.
bool render_grid(const OutputRef &output, int width, int height, double time, int frame, const RenderControl &control,
                 ValueImage &image, std::string &error);

// The cores the machine offers.
int available_threads();

}  // namespace qvhost
