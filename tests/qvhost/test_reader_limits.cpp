// What the readers refuse, as a user meets it: network files nested deeper
// than the limit (refused before the TOML parser recurses), node names that
// break the one rule of every form, scene ids at the ends of their range,
// names printed escaped and numbers out of range named so.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "qvhost/network_toml.h"
#include "refhost/sanitizers.h"
#include "support/file_reading.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace qvtest;

namespace {

std::string repeated(const std::string &part, std::size_t n, const std::string &between) {
    std::string s;
    for (std::size_t k = 0; k < n; ++k) s += (k ? between : "") + part;
    return s;
}

// A scene of nodes of QvMs_PI, in text: each row an Id and a Name ("" for none).
std::string pi_scene(const std::vector<std::pair<std::string, std::string>> &nodes) {
    std::string s = "Version 1\n";
    for (const auto &[id, name] : nodes) {
        s += "{ Node\n  Id " + id + "\n  Server \"QvMs_PI\"\n";
        if (!name.empty()) s += "  Name \"" + name + "\"\n";
        s += "  { Data\n  }\n}\n";
    }
    return s;
}

const std::string kNode = "[node.wave]\nserver = \"QvMs_SIN\"\n";

}  // namespace

// Each part of a header or dotted key, each array and inline table is a
// level; the scan refuses the first line past the limit, whatever the parser
// would do with it, and counts nothing inside strings or comments.
TEST(ReaderLimits, NetworkFilesNestingDeeperThanTheLimitAreRefusedBeforeParsing) {
    const std::size_t limit = qvhost::kMaxTomlNesting;
    const struct {
        const char *name;
        std::string text;
        std::size_t line;  // where it is too deep; 0 for within the limit
    } cases[] = {
        {"header at the limit", "[" + repeated("k", limit, ".") + "]\n", 0},
        {"header past it", "[" + repeated("k", limit + 1, ".") + "]\n", 1},
        {"header of 200000 parts", "\n[" + repeated("k", 200000, ".") + "]\n", 2},
        {"array of tables past it", "[[" + repeated("k", limit, ".") + "]]\n", 1},
        {"dotted key after a header", kNode + repeated("k", limit - 1, " . ") + " = 1\n", 3},
        {"dotted key at the limit", kNode + repeated("k", limit - 2, ".") + " = 1\n", 0},
        {"quoted parts", "[" + repeated("\"k.\"", limit + 1, ".") + "]\n", 1},
        {"arrays past the parser's own limit", kNode + "In = " + std::string(300, '[') + std::string(300, ']'), 3},
        {"arrays over lines", kNode + "In = [\n" + repeated("[ # [[[[\n", limit, "") + std::string(limit, ']'),
         limit + 1},  // line k opens an array k levels deep
        {"inline tables", kNode + "panel = " + repeated("{ a.b = ", 15, "") + "1" + std::string(15, '}'), 3},
        {"dots and brackets in strings",
         kNode + "\"a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q.r.s.t.u.v.w.x.y.z.0.1.2.3.4.5\" = "
                 "'[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[['\n",
         0},
        {"multi-line strings", kNode + "a = \"\"\"\n[" + repeated("k", 40, ".") + "]\n\"\"\"\n", 0},
        {"comments", kNode + "# [" + repeated("k", 40, ".") + "]\n", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qvhost::toml_nesting_too_deep(c.text), c.line);
        qvhost::NetworkFile file;
        std::vector<std::string> problems;
        qvhost::read_network_toml(c.text, "net.toml", shared_module(), file, problems);
        const std::string refusal =
            "net.toml:" + std::to_string(c.line) + ": nested more than " + std::to_string(limit) + " levels deep";
        const bool refused = !problems.empty() && problems[0].rfind(refusal, 0) == 0;
        EXPECT_EQ(refused, c.line != 0) << (problems.empty() ? "no problem" : problems[0]);
    }
}

TEST(ReaderLimits, CheckRefusesTheDeepHeaderThatOverflowedTheStack) {
    TempDir dir;
    const std::string deep = dir.file("deep.toml", "[" + repeated("k", 200000, ".") + "]\n");
    const CliResult r = qvhost_run({"check", deep});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qvhost: " + deep +
                         ":1: nested more than 32 levels deep (each part of a table header or "
                         "dotted key, each array and inline table is a level)\n");
}

// One rule for names in every form: nothing cut, nothing ambiguous, each
// refusal naming the file and the line of the name.
TEST(ReaderLimits, SceneNamesFollowTheOneRule) {
    TempDir dir;
    const std::string a300 = std::string(255, 'a') + std::string(45, 'x'),
                      b300 = std::string(255, 'a') + std::string(45, 'y');
    const struct {
        const char *name;
        std::vector<std::pair<std::string, std::string>> nodes;
        const char *problem;  // after "FILE:"; "" when it loads
    } cases[] = {
        {"names longer than 255 bytes, whole", {{"1", a300}, {"2", b300}}, ""},
        {"a name at the limit", {{"1", std::string(1024, 'n')}}, ""},
        {"a name past the limit",
         {{"1", std::string(1025, 'n')}},
         "5: node 1: a node name is at most 1024 bytes; this one is longer"},
        {"two nodes of one name", {{"1", "pi"}, {"2", "pi"}}, "12: node 2: name \"pi\" is node 1's too"},
        {"the name of an unnamed node", {{"1", ""}, {"2", "n1"}}, "11: node 2: name \"n1\" is node 1's too"},
        {"a name holding a dot",
         {{"1", "a.b"}},
         "5: node 1: node name \"a.b\" holds \".\", so NAME.OUTPUT cannot name its outputs"},
        {"an id below 1", {{"0", "pi"}}, "3: node Id 0 is out of range (1 to 2147483647)"},
        {"the lowest id", {{"-2147483648", "pi"}}, "3: node Id -2147483648 is out of range (1 to 2147483647)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string scene = dir.file("net.qvs", pi_scene(c.nodes));
        const CliResult r = qvhost_run({"check", scene});
        if (*c.problem == '\0') {
            ASSERT_EQ(r.code, 0) << r.err;
            for (const auto &[id, name] : c.nodes) EXPECT_NE(r.out.find("  " + name + ": QvMs_PI"), std::string::npos);
        } else {
            EXPECT_EQ(r.code, 1);
            // One line naming the file (as messages show a path) and the line.
            EXPECT_EQ(r.err.rfind("qvhost: ", 0), 0u) << r.err;
            EXPECT_TRUE(r.err.size() > std::strlen(c.problem) &&
                        r.err.compare(r.err.size() - std::strlen(c.problem) - 2, std::string::npos,
                                      ":" + std::string(c.problem) + "\n") == 0)
                << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    // The two long names reach their own nodes, also after a save in either form.
    const std::string scene = dir.file("long.qvs", pi_scene({{"1", a300}, {"2", b300}}));
    for (const bool binary : {false, true}) {
        const std::string saved = dir.file(binary ? "saved.qvb" : "saved.qvs");
        std::vector<std::string> args{"save", scene, "--scene", saved};
        if (binary) args.push_back("--binary");
        const CliResult r = qvhost_run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        qvhost::NetworkFile file;
        std::vector<std::string> problems;
        ASSERT_TRUE(qvhost::read_network_file(saved, shared_module(), file, problems));
        ASSERT_NE(file.find(a300), nullptr);
        ASSERT_NE(file.find(b300), nullptr);
        EXPECT_EQ(file.find(a300)->id, 1);
        EXPECT_EQ(file.find(b300)->id, 2);
    }
    // In a network file the same limit holds.
    const std::string toml = dir.file("long.toml", "[node." + std::string(1025, 'n') + "]\nserver = \"QvMs_PI\"\n");
    const CliResult r = qvhost_run({"check", toml});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(toml + ":1: node \"nnnn"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("a node name is at most 1024 bytes; this one is longer"), std::string::npos) << r.err;
}

TEST(ReaderLimits, CheckEscapesNamesFromTheFile) {
    TempDir dir;
    const std::string scene = dir.file("net.qvs", pi_scene({{"1", "\\x1b[31mred\\x1b[0m"}}));
    const CliResult r = qvhost_run({"check", scene});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("  \\x1B[31mred\\x1B[0m: QvMs_PI"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

// A scene's problems name its file whole, however long its path.
TEST(ReaderLimits, SceneProblemsNameTheWholePath) {
    TempDir dir;
    const std::string folder = dir.path() + "/" + std::string(80, 'f');
    std::filesystem::create_directory(folder);
    const std::string scene = folder + "/open.qvs";
    std::ofstream(scene) << "Version 1\n{ Bogus\n";
    const CliResult r = qvhost_run({"check", scene});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(scene + ":2: block \"Bogus\" is not closed"), std::string::npos) << r.err;
}

TEST(ReaderLimits, NumbersOutOfRangeSaySoWithTheRange) {
    const struct {
        std::vector<std::string> args;
        const char *message;
    } cases[] = {
        {{"eval", "QvMs_POW", "In=1e999"},
         "'1e999' is out of range (-1.7976931348623157e+308 to 1.7976931348623157e+308, and 0 or no nearer to 0 than "
         "5e-324)"},
        {{"eval", "QvMs_POW", "In=-1e-999"}, "'-1e-999' is out of range"},
        {{"eval", "QvMs_POW", "In=1e99x"}, "'1e99x' is not a number"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[2]);
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

// Short of memory, a network is refused whole, never read in part: a child
// process whose address space cannot hold the file reads it through the
// reader and through qvhost check.
TEST(ReaderLimits, ShortOfMemoryAFileIsRefusedNotCut) {
#if defined(_WIN32) || defined(QV_UNDER_ASAN) || defined(QV_UNDER_TSAN)
    QV_SKIP("the address space is limited with setrlimit, which the sanitizers' own mappings do not survive");
#else
    TempDir dir;
    const std::string big = dir.file("big.qvn.toml", kNode + "# " + std::string(1000, 'x') + "\n");
    std::filesystem::resize_file(big, std::uintmax_t{200} << 20);  // sparse: no disk is used
    ASSERT_TRUE(shared_module());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{96} << 20);
        const rlimit limit{room, room};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(10);
        std::string content = "kept", problem;
        if (support::read_whole_file(big, content, problem) || problem != "not enough memory to read it" ||
            content != "kept")
            _exit(11);
        const CliResult r = qvhost_run({"check", big});
        if (r.code != 1 || r.err != "qvhost: " + big + ": not enough memory to read it\n") _exit(12);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended with signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no limit set, 11: the reader, 12: qvhost check";
#endif
}
