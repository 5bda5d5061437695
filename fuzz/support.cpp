// What the fuzz targets share: the module, running a network once, saving.
#include "fuzz/fuzz_targets.h"

#include "refhost/application.h"
#include "refhost/draw.h"
#include "refhost/module_loader.h"
#include "refhost/panel/xpanel.h"

#include <cstdio>
#include <cstdlib>

namespace qvfuzz {

namespace {

using refhost::kModuleFile;

std::string &path_slot() {
    static std::string path = kModuleFile;
    return path;
}

}  // namespace

void set_module_path(const std::string &path) { path_slot() = path; }
const std::string &module_path() { return path_slot(); }

std::shared_ptr<refhost::Module> module() {
    static const std::shared_ptr<refhost::Module> loaded = [] {
        std::string error;
        auto m = refhost::Module::load(module_path(), error);
        if (!m) {
            // Nothing can be fuzzed without the module: say so and stop.
            std::fprintf(stderr, "qvfuzz: %s\n", error.c_str());
            std::abort();
        }
        return m;
    }();
    return loaded;
}

void fresh_application() {
    refhost::Application &app = refhost::Application::get();
    app.reset_config();
    app.clear_requests();
    app.clear_instance_updates();
    refhost::clear_toolkit_calls();
    app.set_frame_rate(30.0);
    app.set_time(0, 0.0);
}

const std::vector<std::string> &node_servers() {
    static const std::vector<std::string> servers = [] {
        std::vector<std::string> names;
        for (const QvServerRecord *r : module()->servers())
            if (std::string(r->server_class) == "NodeHandler") names.push_back(r->name);
        return names;
    }();
    return servers;
}

void evaluate_everything(refhost::Network &net, int32_t frame, double time) {
    net.render_init();
    net.new_time(frame, time);
    refhost::HostSample sample = refhost::HostSample::at(0.25, 0.75, 3.5, 7.5, time, frame);
    // Each upstream output once for the sample, as a render evaluates it:
    // deep networks of shared inputs take linear time.
    refhost::SampleMemo memo = net.make_memo();
    sample.extras.memo = &memo;
    for (const auto &n : net.nodes()) {
        for (const auto &out : n->outputs) {
            refhost::Value v;
            refhost::evaluate_output(*out, &sample.access, v);
        }
        if (n->handler.custom_preview != nullptr) refhost::render_preview(net, n->id, 48, 32);
    }
    net.render_cleanup();
}

Finding save(const refhost::Network &net, refhost::SceneForm form, std::string &content) {
    std::string error;
    if (!net.save(form, content, error))
        return std::string(form == refhost::SceneForm::text ? "text" : "binary") + " save failed: " + error;
    return {};
}

bool one_line_starting(const std::string &message, const std::string &prefix) {
    return message.find('\n') == std::string::npos && message.compare(0, prefix.size(), prefix) == 0 &&
           message.size() > prefix.size();
}

}  // namespace qvfuzz
