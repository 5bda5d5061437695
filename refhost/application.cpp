#include "refhost/application.h"

#include "refhost/draw.h"
#include "refhost/noise.h"
#include "refhost/services.h"
#include "refhost/xpanel.h"

namespace refhost {

namespace {

struct Offer {
    const char *name;
    int first_build;
};

// Services under every name the application knows, with the build that
// introduced each versioned name.
constexpr Offer kOffers[] = {
    {"Product Info", 0},        {"System ID", 0},
    {"NodeFuncs", 0},           {"Instance Update", 0},
    {"NodeInputFuncs", 0},      {"NodeInputFuncs 2", 1447},
    {"NodeInputFuncs 3", 2238}, {"NodeInputFuncs 4", 2526},
    {"NodeOutputFuncs", 0},     {"NodeOutputFuncs 2", 2238},
    {"NodeOutputFuncs 3", 2723},
    {"LW Scene Info 4", 0},     {"LW Scene Info 5", 1270},
    {"LW Scene Info 6", 1539},  {"LW Time Info", 0},
    {"Texture Functions 3", 0},
    {"LWXPanel", 0},            {"NodeDrawFuncs", 0},
};

}  // namespace

Application::Application() {
    scene_.name = "refhost";
    scene_.filename = "";
    scene_.frames_per_second = 30.0;
}

Application &Application::get() {
    static Application app;
    return app;
}

QvGlobalFunc Application::global_function() const { return &Application::global; }

int Application::first_build_offering(const std::string &service) {
    for (const Offer &o : kOffers)
        if (service == o.name) return o.first_build;
    return -1;
}

void Application::instance_update(const char *server_class, void *inst) {
    get().updates_.push_back({server_class != nullptr ? server_class : "", inst});
}

void *Application::global(const char *service, int) {
    Application &app = get();
    const std::string name = service != nullptr ? service : "";
    app.requests_.push_back(name);
    const int first = first_build_offering(name);
    if (first < 0 || static_cast<int>(app.config_.build) < first || app.config_.withheld.count(name)) return nullptr;

    auto value = [](uint32_t v) { return reinterpret_cast<void *>(static_cast<uintptr_t>(v)); };
    if (name == "Product Info") return value(app.config_.build << 4 | (app.config_.product & 0xF));
    if (name == "System ID") return value(app.config_.system_id);
    if (name == "NodeFuncs") return const_cast<QvNodeFuncs *>(&node_funcs());
    if (name == "Instance Update") return reinterpret_cast<void *>(&Application::instance_update);
    if (name.rfind("NodeInputFuncs", 0) == 0) return const_cast<QvNodeInputFuncs *>(&input_funcs());
    if (name.rfind("NodeOutputFuncs", 0) == 0) return const_cast<QvNodeOutputFuncs *>(&output_funcs());
    if (name.rfind("LW Scene Info", 0) == 0) return &app.scene_;
    if (name == "LW Time Info") return &app.time_;
    if (name == "Texture Functions 3") return const_cast<QvTextureFuncs *>(&texture_funcs());
    if (name == "LWXPanel") return const_cast<QvXPanelFuncs *>(&xpanel_funcs());
    if (name == "NodeDrawFuncs") return const_cast<QvNodeDrawFuncs *>(&draw_funcs());
    return nullptr;
}

}  // namespace refhost
