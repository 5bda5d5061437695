// The qvhost command line, run in-process.
#include "tests/module_fixture.h"

#include "tools/qvhost.h"

#include <sstream>

using namespace qvtest;

namespace {

struct CliResult {
    int code;
    std::string out, err;
};

CliResult qvhost_run(const std::vector<std::string> &args) {
    std::ostringstream out, err;
    const int code = qvhost::run(args, out, err, kModuleFile);
    refhost::Application::get().reset_config();
    return {code, out.str(), err.str()};
}

int count_lines(const std::string &s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

}  // namespace

TEST(Qvhost, NodesListsAllNinetyTwo) {
    CliResult r = qvhost_run({"nodes"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(count_lines(r.out), 93);  // a header and one line per node
    EXPECT_NE(r.out.find("QvMs_POW      \"Pow\"       QvTool/Math/Func_C    yes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("QvC_VEC       \"Vector\"    QvTool/Tool/Cache     yes"), std::string::npos) << r.out;
    // Material nodes need a host newer than build 1164.
    r = qvhost_run({"--build", "1164", "nodes"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("QvC_MTL       \"Material\"  QvTool/Tool/Cache     no"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("QvT_SPMTL     \"Split Mtl\" QvTool/Tool/Conv      no"), std::string::npos) << r.out;
}

TEST(Qvhost, EvalPrintsEveryOutput) {
    CliResult r = qvhost_run({"eval", "QvMs_POW", "In=2", "Pow=10"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Out = 1024\n");
    r = qvhost_run({"eval", "QvMs_ACOS"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Out = 1.5707963267948966\n");
    r = qvhost_run({"eval", "QvMs_LOG", "In=0"});
    EXPECT_EQ(r.out, "Out = -inf\n");
}

TEST(Qvhost, BadArgumentsGiveOneLineAndFail) {
    struct Case {
        std::vector<std::string> args;
        const char *message;
    };
    const Case cases[] = {
        {{"eval", "QvMs_NOPE"}, "unknown node \"QvMs_NOPE\""},
        {{"--build", "1164", "eval", "QvC_MTL"}, "not available"},
        {{"--build", "5000", "nodes"}, "--build"},
        {{"eval", "QvMs_POW", "Base=2"}, "no input \"Base\""},
        {{"eval", "QvMs_POW", "In=abc"}, "'abc' is not a number"},
        {{"eval", "QvMs_POW", "In"}, "not INPUT=VALUE"},
        {{"frobnicate"}, "qvhost:"},
        {{}, "qvhost:"},
        {{"--module", "no-such-module.p", "nodes"}, "no-such-module.p"},
    };
    for (const Case &c : cases) {
        CliResult r = qvhost_run(c.args);
        EXPECT_NE(r.code, 0);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(count_lines(r.err), 1) << r.err;
    }
}
