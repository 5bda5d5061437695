#include "refhost/application.h"

#include "refhost/draw.h"
#include "refhost/noise.h"
#include "refhost/services.h"
#include "refhost/panel/xpanel.h"

namespace refhost {

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

void Application::instance_update(const char *server_class, void *inst) {
    get().updates_.push_back({server_class != nullptr ? server_class : "", inst});
}

void *Application::global(const char *service, int) {
    Application &app = get();
    const std::string name = service != nullptr ? service : "";
    app.requests_.push_back(name);
    const QvServiceName *offer = nullptr;
    for (const QvServiceName &row : qv_service_names)
        if (name == row.name) offer = &row;
    if (offer == nullptr || app.config_.build < offer->first_build || app.config_.withheld.count(name)) return nullptr;

    auto value = [](uint32_t v) { return reinterpret_cast<void *>(static_cast<uintptr_t>(v)); };
    switch (offer->service) {
    case QV_SERVICE_PRODUCT_INFO: return value(app.config_.build << 4 | (app.config_.product & 0xF));
    case QV_SERVICE_SYSTEM_ID: return value(app.config_.system_id);
    case QV_SERVICE_NODE_FUNCS: return const_cast<QvNodeFuncs *>(&node_funcs());
    case QV_SERVICE_INSTANCE_UPDATE: return reinterpret_cast<void *>(&Application::instance_update);
    case QV_SERVICE_INPUT_FUNCS: return const_cast<QvNodeInputFuncs *>(&input_funcs());
    case QV_SERVICE_OUTPUT_FUNCS: return const_cast<QvNodeOutputFuncs *>(&output_funcs());
    case QV_SERVICE_SCENE_INFO: return &app.scene_;
    case QV_SERVICE_TIME_INFO: return &app.time_;
    case QV_SERVICE_TEXTURE_FUNCS: return const_cast<QvTextureFuncs *>(&texture_funcs());
    case QV_SERVICE_XPANEL: return const_cast<QvXPanelFuncs *>(&xpanel_funcs());
    case QV_SERVICE_DRAW_FUNCS: return const_cast<QvNodeDrawFuncs *>(&draw_funcs());
    }
    return nullptr;
}

}  // namespace refhost
