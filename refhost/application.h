// The application as the module sees it: the global function that answers
// every service by name, the host's configuration, and a log of what the
// module asked for.  There is one application per process, as there is one
// host per process in the real application; tests configure it before they
// activate servers.
#pragma once

#include "host/host_api.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace refhost {

// The build number a default host reports: above every threshold at which a
// service gained a new version.
constexpr uint32_t kDefaultBuild = 3000;

// The build of the LightWave 2020 host: from it on, HostConfig::play_build
// plays a host of 2018 and later.
constexpr uint32_t kBuild2020 = 3227;

struct HostConfig {
    uint32_t build = kDefaultBuild;  // "Product Info": build, product, major version and year
    uint32_t product = 1;
    uint32_t system_id = 0;          // QV_SYSTEM_MODELER for the modeller
    std::set<std::string> withheld;  // services answered with null
    int handler_version = 2;         // version handed to NodeHandler activations
    int interface_version = 4;       // version handed to NodeInterface activations
    bool panels_fail = false;        // the panel toolkit's create answers null
    uint32_t major = 0;              // major version in "Product Info"; 0 says none
    uint32_t year = 0;               // model year in "Product Info", with major version 15
    // Create is handed a 'NODE' context record holding the node id instead
    // of the node id (hosts of 2018 and later may do either).
    bool context_create = false;

    uint32_t product_info() const { return QV_PRODUCT_INFO(build, product, major, year); }
    // The era the host plays: what its handler version and "Product Info" say.
    QvHostEra era() const { return qv_host_era(handler_version, product_info()); }
    // Plays the host of a build: from kBuild2020 on the 2020 host (major
    // version 15, year 2020, handler version 5, interface version 5); below
    // it an older host of that build.
    void play_build(uint32_t b);
};

struct InstanceUpdate {
    std::string server_class;
    void *instance;
};

class Application {
public:
    static Application &get();

    HostConfig &config() { return config_; }
    void reset_config() { config_ = HostConfig(); }

    QvGlobalFunc global_function() const;

    // Every service name asked for, in order.
    const std::vector<std::string> &requests() const { return requests_; }
    void clear_requests() { requests_.clear(); }

    // Scene and time information the services report.
    void set_frame_rate(double fps) { scene_.frames_per_second = fps; }
    void set_time(int32_t frame, double time) {
        time_.frame = frame;
        time_.time = time;
    }
    const QvSceneInfo &scene_info() const { return scene_; }
    const QvTimeInfo &time_info() const { return time_; }

    const std::vector<InstanceUpdate> &instance_updates() const { return updates_; }
    void clear_instance_updates() { updates_.clear(); }

private:
    Application();
    static void *global(const char *service, int use);
    static void instance_update(const char *server_class, void *inst);

    HostConfig config_;
    std::vector<std::string> requests_;
    std::vector<InstanceUpdate> updates_;
    QvSceneInfo scene_{};
    QvTimeInfo time_{};
};

}  // namespace refhost
