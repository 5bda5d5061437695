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

void HostConfig::play_build(uint32_t b) {
    const HostConfig defaults;
    build = b;
    const bool since_2018 = b >= kBuild2020;
    major = since_2018 ? 15 : defaults.major;
    year = since_2018 ? 2020 : defaults.year;
    handler_version = since_2018 ? QV_HANDLER_VERSION_2018 : defaults.handler_version;
    interface_version = since_2018 ? QV_INTERFACE_VERSION_2018 : defaults.interface_version;
}

QvGlobalFunc Application::global_function() const { return &Application::global; }

void Application::instance_update(const char *server_class, void *inst) {
    get().updates_.push_back({server_class != nullptr ? server_class : "", inst});
}

void *Application::global(const char *service, int) {
    Application &app = get();
    const std::string name = service != nullptr ? service : "";
    app.requests_.push_back(name);
    // A host before 2018 offers the names of its era from their first
    // builds on; a host of 2018 and later only the newest name of each.
    const QvHostEra era = app.config_.era();
    const QvServiceName *offer = nullptr;
    for (const QvServiceName &row : qv_service_names)
        if (name == row.name) offer = &row;
    if (offer == nullptr || app.config_.withheld.count(name)) return nullptr;
    if (era == QV_ERA_2018 ? offer != qv_service_newest(offer->service)
                           : offer->era != QV_ERA_BEFORE_2018 || app.config_.build < offer->first_build)
        return nullptr;

    auto value = [](uint32_t v) { return reinterpret_cast<void *>(static_cast<uintptr_t>(v)); };
    switch (offer->service) {
    case QV_SERVICE_PRODUCT_INFO: return value(app.config_.product_info());
    case QV_SERVICE_SYSTEM_ID: return value(app.config_.system_id);
    case QV_SERVICE_NODE_FUNCS: return const_cast<QvNodeFuncs *>(&node_funcs(offer->era));
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
