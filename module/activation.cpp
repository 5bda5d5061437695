#include "module/activation.h"

#include "core/callbacks.h"
#include "core/persistence.h"

namespace qv {

namespace {

int extra_query_none(void *) { return 0; }

void install_persistence(QvInstanceFuncs *inst, Persistence set) {
    switch (set) {
    case Persistence::standard:
        inst->copy = standard_copy;
        inst->load = standard_load;
        inst->save = standard_save;
        break;
    case Persistence::vector:
        inst->copy = standard_copy;
        inst->load = vector_load;
        inst->save = vector_save;
        break;
    case Persistence::empty:
        inst->copy = empty_copy;
        inst->load = empty_load;
        inst->save = empty_save;
        break;
    }
}

int acquire_scene_services(QvGlobalFunc global, ExtraServices extra) {
    if (host_is_modeler(global)) return QV_AFUNC_OK;
    if (extra == ExtraServices::time) {
        if (g_host.scene == nullptr) acquire(global, QV_SERVICE_SCENE_INFO, host_build(global), g_host.scene);
        if (g_host.scene == nullptr) return QV_AFUNC_BADGLOBAL;
        if (!acquire(global, QV_SERVICE_TIME_INFO, 0, g_host.time)) return QV_AFUNC_BADGLOBAL;
    } else {
        // The frame node asks for the first version; whichever of the two
        // scene nodes activates first decides the version the slot holds.
        if (!acquire(global, QV_SERVICE_SCENE_INFO, 0, g_host.scene)) return QV_AFUNC_BADGLOBAL;
    }
    return QV_AFUNC_OK;
}

// The services beyond the common ones that a node's callbacks use.
int acquire_extra_services(QvGlobalFunc global, ExtraServices extra) {
    switch (extra) {
    case ExtraServices::draw:
        return acquire(global, QV_SERVICE_DRAW_FUNCS, 0, g_host.draw) ? QV_AFUNC_OK : QV_AFUNC_BADGLOBAL;
    case ExtraServices::time:
    case ExtraServices::frame: return acquire_scene_services(global, extra);
    case ExtraServices::texture:
        return acquire(global, QV_SERVICE_TEXTURE_FUNCS, 0, g_host.texture) ? QV_AFUNC_OK : QV_AFUNC_BADGLOBAL;
    case ExtraServices::none:
    case ExtraServices::needs_build: break;
    }
    return QV_AFUNC_OK;
}

}  // namespace

int bind_handler(const HandlerBinding &binding, QvCreateFunc either_form_create, int version, QvGlobalFunc global,
                 QvNodeHandler *handler) {
    // A record of a layout the module does not know: bind nothing into it,
    // so that the host lists the node as unavailable (or, activating with
    // its newest version first, tries an older one).
    if (!knows_handler_version(version)) return QV_AFUNC_BADVERSION;
    if (binding.create == nullptr) return QV_AFUNC_BADGLOBAL;  // not in this build
    if (global == nullptr || handler == nullptr || handler->inst == nullptr || handler->rend == nullptr)
        return QV_AFUNC_BADGLOBAL;
    if (binding.extra == ExtraServices::needs_build) {
        // Hosts of 2018 and later carry projections on connection type 6
        // and materials as handles the module cannot read.
        const uint32_t info = host_value(global, QV_SERVICE_PRODUCT_INFO);
        if (decide_era(global, version, &info) == QV_ERA_2018) return QV_AFUNC_BADGLOBAL;
        if (QV_PRODUCT_BUILD(info) <= QV_LAST_BUILD_WITHOUT_MATERIAL_NODES) return QV_AFUNC_BADGLOBAL;
    }

    // "Product Info" comes first; its build tells whether the host's record
    // has the seventh word at all, and with the version it tells the era.
    const uint32_t info = host_value(global, QV_SERVICE_PRODUCT_INFO);
    const uint32_t build = QV_PRODUCT_BUILD(info);
    decide_era(global, version, &info);
    if (version == QV_HANDLER_VERSION_2018) {
        // Word 6 is the flags query; word 7 is the host's own.
        if (binding.writes_extra_query) handler->flags_query = extra_query_none;
    } else if (version > 1 && binding.writes_extra_query && build >= QV_FIRST_BUILD_WITH_HANDLER_WORD7) {
        handler->extra_query = extra_query_none;
    }
    // Every service the node's callbacks use is acquired before any of them
    // is installed: a node that cannot have a service is left with nothing
    // that the host could call and that would reach for it.
    if (int rc = acquire_node_services(global, build)) return rc;
    if (int rc = acquire_extra_services(global, binding.extra)) return rc;

    QvInstanceFuncs *inst = handler->inst;
    QvRenderFuncs *rend = handler->rend;
    inst->destroy = binding.destroy != nullptr ? binding.destroy : standard_destroy;
    rend->init = binding.render_init != nullptr ? binding.render_init : standard_render_init;

    switch (binding.source) {
    case PrivateSource::word: inst->priv = reinterpret_cast<void *>(static_cast<uintptr_t>(binding.word)); break;
    case PrivateSource::function: inst->priv = reinterpret_cast<void *>(binding.fn); break;
    case PrivateSource::global: inst->priv = reinterpret_cast<void *>(global); break;
    }
    inst->create = since_2018() ? either_form_create : binding.create;
    install_persistence(inst, binding.persistence);
    rend->cleanup = binding.cleanup != nullptr ? binding.cleanup : cleanup_none;
    rend->new_time = binding.new_time != nullptr ? binding.new_time : new_time_none;
    handler->evaluate = binding.evaluate;
    if (binding.custom_preview != nullptr) handler->custom_preview = binding.custom_preview;
    return QV_AFUNC_OK;
}

}  // namespace qv
