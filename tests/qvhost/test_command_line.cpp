// The qvhost command line, run in-process.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "qvhost/commands/commands.h"
#include "refhost/draw.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>

#ifndef _WIN32
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace qvtest;

namespace {

int count_lines(const std::string &s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

namespace fs = std::filesystem;

fs::path test_dir() {
    const fs::path dir = fs::path(::testing::TempDir()) /
                         (std::string("qv_qvhost_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    return dir;
}

std::string file_bytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

// `nodes NAME` describes one node: inputs with types and defaults,
// outputs, the panel's controls by the names a file uses, with their
// choices, and the hosts that offer it.
TEST(Qvhost, NodesDescribesOneNode) {
    const struct {
        const char *server;
        std::vector<std::string> lines;  // each found in the output
    } cases[] = {
        {"QvT_MAPR",
         {"QvT_MAPR  \"MapRange\"  QvTool/Tool\n", "inputs:\n  In      scalar   default 0\n",
          "outputs:\n  Out     scalar\n",
          "\n  OPT2   iPopChoice  \"Linear\" (choices: \"Linear\" | \"Constant\" | \"Repeat\" | \"Reflect\")\n",
          "hosts: builds up to 1164: yes; builds 1165 to 3226: yes; 2018 and later (build 3227 on): yes\n"}},
        {"QvT_VIEW", {"  Color    color\n", "outputs: none\n", "  ShowHex    iBoolean    off\n"}},
        {"QvMs_PI", {"inputs: none\n", "panel: none\n"}},
        {"QvC_MTL", {"hosts: builds up to 1164: no; builds 1165 to 3226: yes; 2018 and later (build 3227 on): no\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.server);
        const CliResult r = qvhost_run({"nodes", c.server});
        EXPECT_EQ(r.code, 0) << r.err;
        for (const std::string &line : c.lines) EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    }
    const CliResult r = qvhost_run({"nodes", "QvMs_NOPE"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "qvhost: unknown node \"QvMs_NOPE\"\n");
}

namespace {

// The qvhost command lines in a text: each line that starts with "qvhost "
// once spaces and an "example:" are put aside, without a comment in
// parentheses after it.
std::vector<std::vector<std::string>> command_lines(const std::string &text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        for (const char *lead : {"#", "examples:", "example:"})
            if (line.rfind(lead, 0) == 0) line.erase(0, std::strlen(lead));
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, 7, "qvhost ") != 0) continue;
        line = line.substr(start + 7,
                           line.find("  (") == std::string::npos ? std::string::npos : line.find("  (") - start - 7);
        std::istringstream words(line);
        std::vector<std::string> args;
        for (std::string w; words >> w;) args.push_back(w);
        lines.push_back(args);
    }
    return lines;
}

}  // namespace

// Every example a user is shown runs as written: the one under each
// command's --help and those in the examples' headers, the examples and
// what the commands write in a folder of their own.
TEST(Qvhost, EveryExampleRuns) {
    TempDir dir;
    std::vector<std::vector<std::string>> lines;
    std::size_t examples = 0;
    for (const auto &entry : std::filesystem::directory_iterator(source_dir() / "examples")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        dir.file(entry.path().filename().string(), text);
        for (auto &args : command_lines(text)) lines.push_back(args);
        ++examples;
    }
    for (std::size_t k = 0; k < qvhost::kCommandCount; ++k)
        for (auto &args : command_lines(qvhost::kCommandTable[k].example)) lines.push_back(args);
    EXPECT_GE(lines.size(), qvhost::kCommandCount + examples);
    for (std::vector<std::string> &args : lines) {
        std::string line;
        bool draws = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i].rfind("examples/", 0) == 0) args[i] = dir.file(args[i].substr(9));
            if (i > 0 && (args[i - 1] == "-o" || args[i - 1] == "--out" || args[i - 1] == "--scene")) {
                draws = draws || args[i].find(".exr") == std::string::npos;
                args[i] = dir.path() + "/out_" + args[i];
            }
            line += args[i] + " ";
        }
        if (draws && !refhost::have_cairo()) continue;
        SCOPED_TRACE(line);
        const CliResult r = qvhost_run(args);
        EXPECT_EQ(r.code, 0) << r.err;
    }
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
        std::string message;
    };
    const Case cases[] = {
        {{"eval", "QvMs_NOPE"}, "unknown node \"QvMs_NOPE\""},
        {{"--build", "1164", "eval", "QvC_MTL"}, "not available"},
        {{"--build", "1164", "eval", "QvC_MTL"},
         "hosts up to build 1164 do not offer it; it needs build 1165 or later"},
        {{"--build", "3227", "eval", "QvC_MTL"}, "hosts of 2018 and later do not offer it"},
        {{"eval", "QvMS_COS"}, "unknown node \"QvMS_COS\"; did you mean \"QvMs_COS\"?"},
        {{"--build", "5000", "nodes"}, "--build"},
        {{"eval", "QvMs_POW", "Base=2"}, "no input \"Base\""},
        {{"eval", "QvMs_POW", "In=abc"}, "'abc' is not a number"},
        {{"eval", "QvMs_POW", "In"}, "not INPUT=VALUE"},
        {{"frobnicate"}, "qvhost:"},
        {{}, "qvhost:"},
        {{"--module", "no-such-module.p", "nodes"}, "no-such-module.p"},
        {{"--module", ".", "nodes"}, ".: not a regular file"},
        // Every number on the command line: finite, in range, one message form naming the option.
        {{"eval", "QvMs_TIME", "--fps", "0"}, "--fps: \"0\" is not a frame rate from 0.001 to 1000"},
        {{"eval", "QvMs_TIME", "--fps", "-30"}, "--fps: \"-30\" is not a frame rate"},
        {{"eval", "QvMs_TIME", "--fps", "nan"}, "--fps: \"nan\" is not a frame rate"},
        {{"eval", "QvMs_TIME", "--fps", "inf"}, "--fps: \"inf\" is not a frame rate"},
        {{"eval", "QvMs_TIME", "--fps", "1e-310"}, "--fps: \"1e-310\" is not a frame rate"},
        {{"eval", "QvMs_TIME", "--time", "1e400"}, "--time: \"1e400\" is not a time in seconds"},
        {{"eval", "QvMs_TIME", "--time", ""}, "--time: \"\" is not a time in seconds"},
        {{"eval", "QvMs_TIME", "--time", "4.9e-324"}, "--time: \"4.9e-324\" is not a time"},
        {{"eval", "QvMs_TIME", "--frame", "99999999999"}, "--frame: \"99999999999\" is not a frame from -9999999"},
        {{"eval", "QvMs_TIME", "--frame", "1.5"}, "--frame: \"1.5\" is not a frame"},
        {{"--build", "-1", "nodes"}, "--build: \"-1\" is not a build number from 0 to 4095"},
        {{"--build", "", "nodes"}, "--build: \"\" is not a build number"},
        {{"preview", "QvT_VIEW", "--width", "4097"}, "--width: \"4097\" is not a width in pixels from 1 to 4096"},
        {{"preview", "QvT_VIEW", "--height", "0x10"}, "--height: \"0x10\" is not a height"},
        // The user's text as given: control bytes and invalid UTF-8 escaped, long items cut.
        {{"bogus\x1b[2J"}, "unknown command \"bogus\\x1B[2J\" (commands: nodes, eval,"},
        {{"eval", "QvMs_\x01\xff"}, "unknown node \"QvMs_\\x01\\xFF\""},
        {{"eval", "QvMs_" + std::string(200, 'A')}, "unknown node \"QvMs_" + std::string(55, 'A') + "...\""},
        {{"eval", "QvMs_POW", "In=\n1"}, "input \"In\": '\\x0A1' is not a number"},
        {{"eval", "QvMs_POW", "\x7f"}, "'\\x7F' is not INPUT=VALUE"},
        {{"eval", "QvMs_POW", "B\xc3\xa4se=1"}, "no input \"B\xc3\xa4se\""},
        {{"--module", "lost\rmodule.so", "nodes"}, "lost\\x0Dmodule.so: no such module file"},
        // Services the application refuses.
        {{"--refuse", "Texture Functions 3", "eval", "QvT_NOIS"}, "\"QvT_NOIS\" is not available (activation result"},
        {{"--refuse", "NodeFuncs", "--refuse", "LWXPanel", "eval", "QvMs_SIN"}, "not available (activation result 2)"},
        {{"--refuse", "LWXPanel", "panel", "QvMs_SIN"}, "the options of QvMs_SIN are not available (activation"},
        {{"--refuse", "Bogus", "nodes"}, "--refuse: \"Bogus\" is not a service of the application (services:"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        CliResult r = qvhost_run(c.args);
        EXPECT_NE(r.code, 0);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(count_lines(r.err), 1) << r.err;
    }
}

#ifndef _WIN32
// The end of the module's last loadable segment: a copy cut anywhere before
// it would be mapped past its end.
std::size_t end_of_segments(const std::string &image) {
    Elf64_Ehdr eh;
    std::memcpy(&eh, image.data(), sizeof eh);
    std::size_t end = 0;
    for (unsigned i = 0; i < eh.e_phnum; ++i) {
        Elf64_Phdr ph;
        std::memcpy(&ph, image.data() + eh.e_phoff + i * sizeof ph, sizeof ph);
        if (ph.p_type == PT_LOAD) end = std::max<std::size_t>(end, ph.p_offset + ph.p_filesz);
    }
    return end;
}
#endif

TEST(Qvhost, TruncatedModulesAreRefusedBeforeLoading) {
#ifdef _WIN32
    QV_SKIP("the Windows loader refuses truncated files itself");
#else
    const std::string image = file_bytes(kModuleFile);
    ASSERT_GT(image.size(), sizeof(Elf64_Ehdr));
    const std::size_t end = end_of_segments(image);
    const fs::path dir = test_dir();
    const struct {
        std::size_t length;
        const char *message;
    } cases[] = {
        {0, "cannot load the module"},
        {10, "cannot load the module"},  // too short to be told ELF: the system loader refuses it
        {40, "file is truncated (the ELF header is cut short)"},
        {sizeof(Elf64_Ehdr), "file is truncated (its program headers lie past the end)"},
        {600, "file is truncated"},
        {end / 2, "file is truncated (a loadable segment lies past the end)"},
        {end - 1, "file is truncated (a loadable segment lies past the end)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        const fs::path cut = dir / ("cut-" + std::to_string(c.length) + ".so");
        std::ofstream(cut, std::ios::binary).write(image.data(), static_cast<std::streamsize>(c.length));
        const CliResult r = qvhost_run({"--module", cut.string(), "nodes"});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(count_lines(r.err), 1) << r.err;
    }
#endif
}

TEST(Qvhost, AFifoAsTheModuleIsRefusedAtOnce) {
#ifdef _WIN32
    QV_SKIP("no FIFOs on Windows");
#else
    const fs::path fifo = test_dir() / "module.so";
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto run = std::async(std::launch::async, [&] { return qvhost_run({"--module", fifo.string(), "nodes"}); });
    if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // qvhost waits for a writer: be one, so that the test ends.
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        ADD_FAILURE() << "qvhost opened the FIFO";
    }
    const CliResult r = run.get();
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("module.so: not a regular file"), std::string::npos) << r.err;
    fs::remove(fifo);
#endif
}

// Bare qvhost and `qvhost help [COMMAND]` show the usage, which names the
// exit codes; a command's help carries an example that names a real output.
TEST(Qvhost, UsageAndHelp) {
    const struct {
        std::vector<std::string> args;
        int code;
        const char *out;  // part of stdout
        const char *err;  // part of stderr
    } cases[] = {
        {{}, 2, "Subcommands:", "a command is required"},
        {{"help"}, 0, "exit codes: 0 done, 1 the job failed, 2 a usage error, 130 interrupted", ""},
        {{"help", "render"}, 0, "--range", ""},
        {{"help", "plot"}, 0, "-o,--png", ""},
        {{"render", "--help"}, 0, "examples/texture.qvn.toml out.out1", ""},
        {{"help", "bogus"}, 2, "", "help: \"bogus\" is not a command (commands: nodes, eval,"},
        {{"help", "eval", "x"}, 2, "", "\"x\" is not a command"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.empty() ? "qvhost" : c.args.back());
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// A node alone is evaluated at the frame and time given: the time follows
// the frame unless --time gives it, and the frame follows --time.
TEST(Qvhost, EvalOfANodeUsesItsFrameAndTime) {
    const struct {
        std::vector<std::string> args;
        const char *out;
    } cases[] = {
        {{"eval", "QvMs_TIME", "--frame", "36"}, "Time = 1.2\nFrame = 36\n"},
        {{"eval", "QvMs_TIME", "--frame", "36", "--fps", "24"}, "Time = 1.5\nFrame = 36\n"},
        {{"eval", "QvMs_TIME", "--time", "2.5"}, "Time = 2.5\nFrame = 75\n"},
        {{"eval", "QvMs_TIME", "--time", "2.5", "--frame", "3"}, "Time = 2.5\nFrame = 3\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.out);
        const CliResult r = qvhost_run(c.args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
    }
    // The noise channel moves with the frame.
    const std::string at_0 = qvhost_run({"eval", "QvT_NOIS"}).out;
    const std::string at_36 = qvhost_run({"eval", "QvT_NOIS", "--frame", "36"}).out;
    EXPECT_NE(at_0, at_36);
    EXPECT_EQ(qvhost_run({"eval", "QvT_NOIS", "--time", "1.2"}).out, at_36);
}
