// NodeHandler activation: acquiring the host services and binding a node's
// callbacks into the host's handler record.
#include "module/binding.h"

namespace qv {

namespace {

int extra_query_none(void *) { return 0; }

int acquire_scene_services(QvGlobalFunc global, ExtraServices extra) {
    if (host_value(global, "System ID") & QV_SYSTEM_MODELER) return QV_AFUNC_OK;
    if (extra == ExtraServices::time) {
        if (g_host.scene == nullptr) {
            const uint32_t build = QV_PRODUCT_BUILD(host_value(global, "Product Info"));
            g_host.scene = static_cast<const QvSceneInfo *>(global(scene_info_name(build), 0));
        }
        if (g_host.scene == nullptr) return QV_AFUNC_BADGLOBAL;
        if (g_host.time == nullptr) g_host.time = static_cast<const QvTimeInfo *>(global("LW Time Info", 0));
        if (g_host.time == nullptr) return QV_AFUNC_BADGLOBAL;
    } else {
        if (g_host.scene == nullptr) g_host.scene = static_cast<const QvSceneInfo *>(global("LW Scene Info 4", 0));
        if (g_host.scene == nullptr) return QV_AFUNC_BADGLOBAL;
    }
    return QV_AFUNC_OK;
}

}  // namespace

int bind_handler(const HandlerBinding &binding, int version, QvGlobalFunc global, QvNodeHandler *handler) {
    if (binding.create == nullptr) return QV_AFUNC_BADGLOBAL;  // not in this build
    if (global == nullptr || handler == nullptr || handler->inst == nullptr || handler->rend == nullptr)
        return QV_AFUNC_BADGLOBAL;
    if (binding.extra == ExtraServices::needs_build &&
        (host_value(global, "Product Info") & 0xFFF0u) <= 0x48C0u)
        return QV_AFUNC_BADGLOBAL;

    if (version > 1 && binding.writes_extra_query) handler->extra_query = extra_query_none;
    if (int rc = acquire_node_services(global)) return rc;
    if (binding.extra == ExtraServices::draw) {
        if (g_host.draw == nullptr) g_host.draw = static_cast<const QvNodeDrawFuncs *>(global("NodeDrawFuncs", 0));
        if (g_host.draw == nullptr) return QV_AFUNC_BADGLOBAL;
    }

    QvInstanceFuncs *inst = handler->inst;
    QvRenderFuncs *rend = handler->rend;
    inst->destroy = binding.destroy;
    rend->init = binding.render_init;

    switch (binding.source) {
    case PrivateSource::word: inst->priv = reinterpret_cast<void *>(static_cast<uintptr_t>(binding.word)); break;
    case PrivateSource::function: inst->priv = reinterpret_cast<void *>(binding.fn); break;
    case PrivateSource::global: inst->priv = reinterpret_cast<void *>(global); break;
    }
    inst->create = binding.create;
    inst->copy = binding.persistence.copy;
    inst->load = binding.persistence.load;
    inst->save = binding.persistence.save;
    rend->cleanup = binding.cleanup;
    rend->new_time = binding.new_time;
    handler->evaluate = binding.evaluate;
    if (binding.custom_preview != nullptr) handler->custom_preview = binding.custom_preview;

    if (binding.extra == ExtraServices::time || binding.extra == ExtraServices::frame)
        return acquire_scene_services(global, binding.extra);
    if (binding.extra == ExtraServices::texture) {
        if (g_host.texture == nullptr)
            g_host.texture = static_cast<const QvTextureFuncs *>(global("Texture Functions 3", 0));
        if (g_host.texture == nullptr) return QV_AFUNC_BADGLOBAL;
    }
    return QV_AFUNC_OK;
}

}  // namespace qv
