// qvhost's commands.  Each writes its results to `out`, one-line errors
// ("qvhost: ...") to `err`, and returns the exit code: 0 done, 1 the job
// failed, 2 the command line was wrong.
#pragma once

#include "refhost/module_loader.h"

#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace qvhost {

struct Context {
    std::ostream &out;
    std::ostream &err;
    std::string module_path;
    bool err_is_terminal = false;               // progress is drawn as a bar only on a terminal
    bool quiet = false;                         // no progress at all
    const std::atomic<bool> *cancel = nullptr;  // set by Ctrl-C
    // The module is loaded from a private copy, so that its service slots
    // start empty even where this process has loaded it before (for a
    // refused service to be asked for at all).
    bool fresh_module = false;

    std::shared_ptr<refhost::Module> load_module() const;
    int fail(const std::string &message, int code = 1) const;
};

// ---- One node -------------------------------------------------------------------

int list_nodes(const Context &ctx);
int eval_node(const Context &ctx, const std::string &server, const std::vector<std::string> &inputs, int frame,
              double time, double fps, bool modeler);
int show_panel(const Context &ctx, const std::string &server, const std::vector<std::string> &sets,
               const std::vector<std::string> &inputs);
int draw_node(const Context &ctx, const std::string &server, const std::vector<std::string> &sets,
              const std::vector<std::string> &inputs, int width, int height, const std::string &png);

// ---- Networks ---------------------------------------------------------------------

struct FrameSpan {
    int first = 0, last = 0;
    double fps = 30.0;
};

int check_network(const Context &ctx, const std::string &path);
int eval_network(const Context &ctx, const std::string &path, const std::vector<std::string> &outputs,
                 const FrameSpan &frames, double u, double v, const std::string &format);
int plot_network(const Context &ctx, const std::string &path, const std::vector<std::string> &outputs,
                 const FrameSpan &frames, bool over_u, double v, int width, int height, const std::string &png);
int render_network(const Context &ctx, const std::string &path, const std::string &output, int width, int height,
                   const FrameSpan &frames, int threads, double lo, double hi, const std::string &pattern);
int preview_in_network(const Context &ctx, const std::string &path, const std::string &node, int frame, double fps,
                       int width, int height, const std::string &png);
int graph_network(const Context &ctx, const std::string &path, const std::string &file);
int save_network(const Context &ctx, const std::string &path, const std::string &scene, bool binary);
int run_demo(const Context &ctx, const std::string &dir);

// ---- The node reference -----------------------------------------------------------

// Writes the node reference into `dir`: index.md, a page per node group, the
// whole as QV_Math_Node_reference.html, and the pictures under images/.
int write_reference(const Context &ctx, const std::string &dir);

}  // namespace qvhost
