// The module on hosts of 2018 and later beside the older ones: the handler
// record of version 5, the service names asked with their fallback, preview
// codes, the material nodes, the viewers' sample block, the two forms of
// create's node argument and the interface versions.  Each case loads a
// fresh module: the module decides its host's era once.
#include "tests/fixtures/module_fixture.h"

#include "host/host_panel.h"
#include "qvhost/qvhost.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <vector>

using namespace qvtest;
using refhost::Application;

namespace {

int sentinel_query(void *) { return 42; }

class HostEras : public ::testing::Test {
protected:
    void SetUp() override { Application::get().reset_config(); }
    void TearDown() override { Application::get().reset_config(); }
};

// A host of its own, for what the reference host does not show: it answers
// only the names it is told to, with stub services that record what the
// module hands them.
namespace stub {

std::vector<std::string> asked;
std::set<std::string> answered;
uint32_t product_info = 0;
int last_mode = -1;
QvNodeId last_node = nullptr;  // the node id the last create input was given
bool block_was_zero = false;   // the sample block evaluate input saw: 4096 zero bytes
int input_handles[8];

void set_color(QvNodeId, const int32_t *) {}
void set_mode(QvNodeId, int mode) { last_mode = mode; }
QvInputId create_input(QvNodeId node, int, const char *, QvInputEventFunc) {
    last_node = node;
    return &input_handles[0];
}
void evaluate_input(QvInputId, QvSampleAccess *sa, void *result) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(sa);
    block_was_zero = true;
    for (std::size_t i = 0; i < 4096; ++i) block_was_zero = block_was_zero && bytes[i] == 0;
    (void)result;  // left as the viewer set it: zero
}
int connected(QvInputId) { return 1; }
QvOutputId create_output(QvNodeId, int, const char *) { return &input_handles[1]; }
void set_value(QvNodeValue, const void *) {}
void instance_update(const char *, void *) {}
void draw_line(QvNodeId, uint32_t, int, int, int, int) {}
void draw_box(QvNodeId, uint32_t, int, int, int, int) {}
void draw_text(QvNodeId, const char *, uint32_t, int, int) {}
void *panel_create(int, const QvXPanelControl *) { return nullptr; }
double noise(double *) { return 0.5; }

const QvNodeFuncs kNode = {nullptr, nullptr, nullptr, set_color, nullptr, set_mode};
const QvNodeInputFuncs kInput = {create_input, nullptr, evaluate_input, connected};
const QvNodeOutputFuncs kOutput = {create_output, nullptr, set_value};
const QvNodeDrawFuncs kDraw = {nullptr, nullptr, draw_line, draw_box, nullptr, nullptr, nullptr, draw_text};
QvXPanelFuncs xpanel() {
    QvXPanelFuncs x{};
    x.create = panel_create;
    return x;
}
const QvXPanelFuncs kXPanel = xpanel();
QvTextureFuncs texture() {
    QvTextureFuncs t{};
    t.noise = noise;
    return t;
}
const QvTextureFuncs kTexture = texture();
QvSceneInfo scene{};
QvTimeInfo time_info{};

void *global(const char *name, int) {
    asked.push_back(name);
    if (answered.count(name) == 0) return nullptr;
    const QvServiceName *row = nullptr;
    for (const QvServiceName &r : qv_service_names)
        if (std::string(name) == r.name) row = &r;
    switch (row->service) {
    case QV_SERVICE_PRODUCT_INFO: return reinterpret_cast<void *>(static_cast<uintptr_t>(product_info));
    case QV_SERVICE_SYSTEM_ID: return nullptr;
    case QV_SERVICE_NODE_FUNCS: return const_cast<QvNodeFuncs *>(&kNode);
    case QV_SERVICE_INPUT_FUNCS: return const_cast<QvNodeInputFuncs *>(&kInput);
    case QV_SERVICE_OUTPUT_FUNCS: return const_cast<QvNodeOutputFuncs *>(&kOutput);
    case QV_SERVICE_INSTANCE_UPDATE: return reinterpret_cast<void *>(&instance_update);
    case QV_SERVICE_SCENE_INFO: return &scene;
    case QV_SERVICE_TIME_INFO: return &time_info;
    case QV_SERVICE_TEXTURE_FUNCS: return const_cast<QvTextureFuncs *>(&kTexture);
    case QV_SERVICE_DRAW_FUNCS: return const_cast<QvNodeDrawFuncs *>(&kDraw);
    case QV_SERVICE_XPANEL: return const_cast<QvXPanelFuncs *>(&kXPanel);
    }
    return nullptr;
}

const uint32_t kHost2020 = QV_PRODUCT_INFO(3227, 1, 15, 2020);
const uint32_t kHost2015 = QV_PRODUCT_INFO(2847, 1, 15, 2015);

// A host of this "Product Info" that answers every name of either era but
// those of `service` other than `answering` ("" for none of them).
void answer(uint32_t info, QvService service = QV_SERVICE_PRODUCT_INFO, const std::string &answering = "Product Info") {
    asked.clear();
    answered.clear();
    product_info = info;
    for (const QvServiceName &r : qv_service_names)
        if (r.service != service || answering == r.name) answered.insert(r.name);
}

// A NodeHandler record with sentinels in words 6 and 7.
struct Record {
    QvInstanceFuncs inst{};
    QvRenderFuncs rend{};
    QvNodeHandler handler{};
    Record() {
        handler.inst = &inst;
        handler.rend = &rend;
        handler.flags_query = sentinel_query;
        handler.extra_query = sentinel_query;
    }
};

int activate(const refhost::Module &m, const char *server, int version, Record &r) {
    return m.find("NodeHandler", server)->activate(version, stub::global, &r.handler, nullptr);
}

}  // namespace stub

// The services of every era a node asks for, in the order asked.
std::vector<std::string> asked_of(QvService service) {
    std::vector<std::string> names;
    for (const std::string &n : stub::asked)
        for (const QvServiceName &r : qv_service_names)
            if (n == r.name && r.service == service) names.push_back(n);
    return names;
}

}  // namespace

// Word 6 of a version 5 record is the flags query, word 7 the host's own;
// versions 2 and 3 keep word 7 on hosts that have it.  The viewers and
// caches write neither query, in either era.
TEST_F(HostEras, HandlerRecordWordsFollowTheVersion) {
    const struct {
        const char *server;
        uint32_t info;
        int version;
        int code;
        bool word6, word7;
    } cases[] = {
        {"QvMs_SIN", stub::kHost2020, 5, QV_AFUNC_OK, true, false},
        {"QvT_VIEW", stub::kHost2020, 5, QV_AFUNC_OK, false, false},
        {"QvC_SCL", stub::kHost2020, 5, QV_AFUNC_OK, false, false},
        {"QvMs_SIN", stub::kHost2020, 4, QV_AFUNC_BADVERSION, false, false},
        {"QvMs_SIN", stub::kHost2020, 6, QV_AFUNC_BADVERSION, false, false},
        {"QvMs_SIN", stub::kHost2015, 3, QV_AFUNC_OK, false, true},
        {"QvMs_SIN", stub::kHost2015, 1, QV_AFUNC_OK, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.server) + " version " + std::to_string(c.version));
        auto m = fresh_module();
        ASSERT_TRUE(m);
        stub::answer(c.info);
        stub::Record r;
        EXPECT_EQ(stub::activate(*m, c.server, c.version, r), c.code);
        EXPECT_EQ(r.handler.flags_query != sentinel_query, c.word6);
        EXPECT_EQ(r.handler.extra_query != sentinel_query, c.word7);
        if (c.word6) {
            EXPECT_EQ(r.handler.flags_query(nullptr), 0);
        }
        if (c.word7) {
            EXPECT_EQ(r.handler.extra_query(nullptr), 0);
        }
    }
}

// On the 2020 host every node binds into the host's record without touching
// word 7, except the two material nodes, which are unavailable there.
TEST_F(HostEras, EveryNodeButTheMaterialOnesBindsVersionFive) {
    auto m = fresh_module();
    ASSERT_TRUE(m);
    Application::get().config().play_build(refhost::kBuild2020);
    int bound = 0;
    for (const QvServerRecord *r : m->servers()) {
        if (std::string(r->server_class) != "NodeHandler") continue;
        refhost::HostNode node;
        const int rc = refhost::activate_handler(*m, r->name, node, QV_HANDLER_VERSION_2018);
        EXPECT_FALSE(node.wrote_past_record) << r->name;
        const bool material = std::string(r->name) == "QvT_SPMTL" || std::string(r->name) == "QvC_MTL";
        EXPECT_EQ(rc, material ? QV_AFUNC_BADGLOBAL : QV_AFUNC_OK) << r->name;
        bound += rc == QV_AFUNC_OK;
    }
    EXPECT_EQ(bound, 90);
}

// The material nodes per host: refused up to build 1164 and from 2018 on.
TEST_F(HostEras, MaterialNodesNeedAHostBetween1165And2015) {
    const struct {
        uint32_t build;
        int code;
    } cases[] = {{1164, QV_AFUNC_BADGLOBAL}, {1165, QV_AFUNC_OK}, {2847, QV_AFUNC_OK}, {3227, QV_AFUNC_BADGLOBAL}};
    for (const auto &c : cases)
        for (const char *server : {"QvT_SPMTL", "QvC_MTL"}) {
            SCOPED_TRACE(std::string(server) + " build " + std::to_string(c.build));
            auto m = fresh_module();
            ASSERT_TRUE(m);
            Application::get().config().play_build(c.build);
            refhost::HostNode node;
            EXPECT_EQ(refhost::activate_handler(*m, server, node, Application::get().config().handler_version), c.code);
        }
}

// A host of 2018 and later is asked for each service under its newest name
// first, then each older name down to the one an older host is asked for.
TEST_F(HostEras, ServicesAreAskedNewestFirstDownToTheOlderName) {
    const struct {
        const char *server;
        QvService service;
        const char *answering;  // the one name of the service the host answers; "" for none
        std::vector<std::string> asked;
        int code;
    } cases[] = {
        {"QvMs_SIN", QV_SERVICE_NODE_FUNCS, "NodeFuncs 3", {"NodeFuncs 3"}, QV_AFUNC_OK},
        {"QvMs_SIN", QV_SERVICE_NODE_FUNCS, "NodeFuncs", {"NodeFuncs 3", "NodeFuncs"}, QV_AFUNC_OK},
        {"QvMs_SIN", QV_SERVICE_INPUT_FUNCS, "NodeInputFuncs 4", {"NodeInputFuncs 5", "NodeInputFuncs 4"}, QV_AFUNC_OK},
        {"QvMs_SIN", QV_SERVICE_INPUT_FUNCS, "", {"NodeInputFuncs 5", "NodeInputFuncs 4"}, QV_AFUNC_BADGLOBAL},
        {"QvMs_SIN", QV_SERVICE_OUTPUT_FUNCS, "", {"NodeOutputFuncs 4", "NodeOutputFuncs 3"}, QV_AFUNC_BADGLOBAL},
        {"QvT_VIEW", QV_SERVICE_DRAW_FUNCS, "NodeDrawFuncs", {"NodeDrawFuncs 2", "NodeDrawFuncs"}, QV_AFUNC_OK},
        {"QvT_NOIS",
         QV_SERVICE_TEXTURE_FUNCS,
         "",
         {"Texture Functions 6", "Texture Functions 4", "Texture Functions 3"},
         QV_AFUNC_BADGLOBAL},
        {"QvMs_TIME",
         QV_SERVICE_SCENE_INFO,
         "LW Scene Info 6",
         {"LW Scene Info 12", "LW Scene Info 10", "LW Scene Info 6"},
         QV_AFUNC_OK},
        {"QvT_F2T",
         QV_SERVICE_SCENE_INFO,
         "LW Scene Info 4",
         {"LW Scene Info 12", "LW Scene Info 10", "LW Scene Info 6", "LW Scene Info 5", "LW Scene Info 4"},
         QV_AFUNC_OK},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.server) + " answering \"" + c.answering + "\"");
        auto m = fresh_module();
        ASSERT_TRUE(m);
        stub::answer(stub::kHost2020, c.service, c.answering);
        stub::Record r;
        EXPECT_EQ(stub::activate(*m, c.server, QV_HANDLER_VERSION_2018, r), c.code);
        EXPECT_EQ(asked_of(c.service), c.asked);
    }
}

// The panel toolkit likewise, and an older host is asked for today's names only.
TEST_F(HostEras, ThePanelToolkitIsAskedNewestFirst) {
    const struct {
        uint32_t info;
        const char *answering;
        std::vector<std::string> asked;
    } cases[] = {
        {stub::kHost2020, "LWXPanel 3", {"LWXPanel 3"}},
        {stub::kHost2020, "LWXPanel", {"LWXPanel 3", "LWXPanel 2", "LWXPanel"}},
        {stub::kHost2015, "LWXPanel", {"LWXPanel"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answering);
        auto m = fresh_module();
        ASSERT_TRUE(m);
        stub::answer(c.info, QV_SERVICE_XPANEL, c.answering);
        QvNodeInterface record{};  // no instance: the toolkit is acquired, no panel built
        const int version = c.info == stub::kHost2020 ? QV_INTERFACE_VERSION_2018 : QV_INTERFACE_VERSION_BEFORE_2018;
        EXPECT_EQ(m->find("NodeInterface", "QvMs_POW")->activate(version, stub::global, &record, nullptr), QV_AFUNC_OK);
        EXPECT_EQ(asked_of(QV_SERVICE_XPANEL), c.asked);
    }
}

// Preview types reach the host in the numbering of the node service held.
TEST_F(HostEras, PreviewCodesFollowTheNodeServiceHeld) {
    const struct {
        uint32_t info;
        const char *node_funcs;
        const char *server;
        int code;
    } cases[] = {
        {stub::kHost2020, "NodeFuncs 3", "QvMs_SIN", 0}, {stub::kHost2020, "NodeFuncs 3", "QvT_VIEWI", 1},
        {stub::kHost2020, "NodeFuncs 3", "QvC_INT", 0},  {stub::kHost2020, "NodeFuncs", "QvMs_SIN", 2},
        {stub::kHost2020, "NodeFuncs", "QvT_VIEWI", 1},  {stub::kHost2015, "NodeFuncs", "QvC_INT", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.server) + " under " + c.node_funcs);
        auto m = fresh_module();
        ASSERT_TRUE(m);
        stub::answer(c.info, QV_SERVICE_NODE_FUNCS, c.node_funcs);
        stub::Record r;
        const int version = c.info == stub::kHost2020 ? QV_HANDLER_VERSION_2018 : 3;
        ASSERT_EQ(stub::activate(*m, c.server, version, r), QV_AFUNC_OK);
        int node_object[4] = {};
        QvError err = nullptr;
        void *inst = r.inst.create(r.inst.priv, node_object, &err);
        ASSERT_NE(inst, nullptr);
        EXPECT_EQ(stub::last_mode, c.code);
        r.inst.destroy(inst);
    }
}

// On a host of 2018 and later create takes the node id from a 'NODE'
// context record, or as it comes; an older host hands the node id, taken
// as it comes.
TEST_F(HostEras, CreateTakesEitherFormOfTheNodeArgument) {
    const struct {
        uint32_t info;
        bool context;
        bool unwrapped;
    } cases[] = {{stub::kHost2020, true, true}, {stub::kHost2020, false, false}, {stub::kHost2015, true, false}};
    for (const auto &c : cases)
        for (const char *server : {"QvMs_SIN", "QvT_VIEWV", "QvC_VEC", "QvT_LGC1", "QvMv_CROS"}) {
            SCOPED_TRACE(std::string(server) + (c.context ? " given a context record" : " given the node id"));
            auto m = fresh_module();
            ASSERT_TRUE(m);
            stub::answer(c.info);
            stub::Record r;
            ASSERT_EQ(stub::activate(*m, server, c.info == stub::kHost2020 ? 5 : 3, r), QV_AFUNC_OK);
            int node_object[4] = {7, 7, 7, 7};
            QvCreateContext context{QV_CREATE_CONTEXT_NODE, node_object, nullptr};
            void *argument = c.context ? static_cast<void *>(&context) : static_cast<void *>(node_object);
            QvError err = nullptr;
            void *inst = r.inst.create(r.inst.priv, argument, &err);
            ASSERT_NE(inst, nullptr);
            EXPECT_EQ(stub::last_node, c.unwrapped ? static_cast<void *>(node_object) : argument);
            r.inst.destroy(inst);
        }
}

// The reference host hands the context record on request: every node of a
// network of the 2020 host is made and evaluates.
TEST_F(HostEras, TheReferenceHostsContextRecordCreatesEveryNode) {
    auto m = fresh_module();
    ASSERT_TRUE(m);
    Application::get().config().play_build(refhost::kBuild2020);
    Application::get().config().context_create = true;
    refhost::Network net(m);
    std::string error;
    refhost::HostNode *pow = net.create("QvMs_POW", error);
    ASSERT_NE(pow, nullptr) << error;
    EXPECT_EQ(pow->ports_made, (std::vector<std::string>{"in In", "in Pow", "out Out"}));
    EXPECT_EQ(pow->mode, QV_NODE_MODE_NO_PREVIEW);
    ASSERT_NE(net.feed(pow->id, "In", refhost::Value::scalar(2.0), error), nullptr) << error;
    ASSERT_NE(net.feed(pow->id, "Pow", refhost::Value::scalar(10.0), error), nullptr) << error;
    net.render_init();
    refhost::Value v;
    ASSERT_TRUE(net.evaluate(pow->id, "Out", v, error)) << error;
    EXPECT_TRUE(same_double(1024.0, v.as_scalar()));
}

// The viewers evaluate their inputs with a zero-filled block of 4 KiB.
TEST_F(HostEras, ViewersHandTheHostAZeroBlockOfFourKiB) {
    for (const char *server : {"QvT_VIEW", "QvT_VIEWS", "QvT_VIEWV", "QvT_VIEWI"}) {
        SCOPED_TRACE(server);
        auto m = fresh_module();
        ASSERT_TRUE(m);
        stub::answer(stub::kHost2020);
        stub::Record r;
        ASSERT_EQ(stub::activate(*m, server, QV_HANDLER_VERSION_2018, r), QV_AFUNC_OK);
        int node_object[4] = {};
        QvError err = nullptr;
        void *inst = r.inst.create(r.inst.priv, node_object, &err);
        ASSERT_NE(inst, nullptr);
        r.rend.init(inst, 0);
        stub::block_was_zero = false;
        r.handler.custom_preview(inst, 120, 80);
        EXPECT_TRUE(stub::block_was_zero);
        r.inst.destroy(inst);
    }
}

// NodeInterface: 4 and above before 2018; from 2018 on 5 and above, a lower
// version being the host's legacy panel API.
TEST_F(HostEras, InterfaceVersionsFollowTheEra) {
    const struct {
        uint32_t build;
        int version;
        int code;
    } cases[] = {{3000, 3, QV_AFUNC_BADVERSION}, {3000, 4, QV_AFUNC_OK},         {3000, 5, QV_AFUNC_OK},
                 {3227, 3, QV_AFUNC_BADVERSION}, {3227, 4, QV_AFUNC_BADVERSION}, {3227, 5, QV_AFUNC_OK}};
    for (const auto &c : cases)
        for (const char *server : {"QvMs_POW", "QvMs_SIGN", "QvT_VIEW"}) {
            SCOPED_TRACE(std::string(server) + " build " + std::to_string(c.build) + " version " +
                         std::to_string(c.version));
            auto m = fresh_module();
            ASSERT_TRUE(m);
            Application::get().config().play_build(c.build);
            refhost::Network net(m);
            std::string error;
            refhost::HostNode *n = net.create(server, error);
            ASSERT_NE(n, nullptr) << error;
            QvNodeInterface record{n->instance, nullptr, nullptr, nullptr};
            EXPECT_EQ(refhost::activate_interface(*m, server, record, c.version), c.code);
        }
}

// The reference host plays the 2020 host from its build on: "Product Info",
// the handler and interface versions, and only the newest names.
TEST_F(HostEras, TheReferenceHostPlaysTheHostOfItsBuild) {
    refhost::HostConfig &config = Application::get().config();
    config.play_build(refhost::kBuild2020);
    const QvGlobalFunc global = Application::get().global_function();
    const uint32_t info = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(global("Product Info", 0)));
    EXPECT_EQ(QV_PRODUCT_BUILD(info), 3227u);
    EXPECT_EQ(QV_PRODUCT_MAJOR(info), 15u);
    EXPECT_EQ(QV_PRODUCT_YEAR(info), 2020u);
    EXPECT_EQ(config.handler_version, 5);
    EXPECT_EQ(config.interface_version, 5);
    for (const QvServiceName &row : qv_service_names) {
        if (row.service == QV_SERVICE_PRODUCT_INFO || row.service == QV_SERVICE_SYSTEM_ID) continue;
        EXPECT_EQ(global(row.name, 0) != nullptr, &row == qv_service_newest(row.service)) << row.name;
    }
    config.play_build(refhost::kBuild2020 - 1);
    EXPECT_EQ(config.era(), QV_ERA_BEFORE_2018);
    EXPECT_EQ(global("NodeFuncs 3", 0), nullptr);
    EXPECT_NE(global("NodeFuncs", 0), nullptr);
}

// qvhost as the 2020 host: 90 nodes, and every example network checks.
TEST_F(HostEras, QvhostPlaysTheHostOf2020) {
    std::ostringstream out, err;
    ASSERT_EQ(qvhost::run({"--build", "3227", "nodes"}, out, err, kModuleFile), 0) << err.str();
    const std::string listing = out.str();
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 93);
    int offered = 0;
    for (std::size_t at = listing.find(" yes\n"); at != std::string::npos; at = listing.find(" yes\n", at + 1))
        ++offered;
    EXPECT_EQ(offered, 90);
    for (const auto &entry : std::filesystem::directory_iterator(source_dir() / "examples")) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ostringstream o, e;
        EXPECT_EQ(qvhost::run({"--build", "3227", "check", entry.path().string()}, o, e, kModuleFile), 0) << e.str();
        Application::get().reset_config();
    }
}
