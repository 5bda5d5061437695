// Every command that writes a file, run as a user runs it, against the one
// rule: regular files and new names only, links followed, never a command's
// own input, a name that fits what is written, nothing half done or left
// behind, signals included.
#include "tests/fixtures/module_fixture.h"
#include "tests/fixtures/qvhost_run.h"
#include "tests/fixtures/temp_dir.h"

#include "refhost/draw.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

using namespace qvtest;

namespace {

namespace fs = std::filesystem;

const char *const kViewer = "[node.view]\nserver = \"QvT_VIEW\"\n[node.wave]\nserver = \"QvMs_SIN\"\nIn = \"@u\"\n";

// Every entry of a folder, a link as "-> TARGET", a file as its content.
std::map<std::string, std::string> snapshot(const std::string &dir) {
    std::map<std::string, std::string> out;
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().lexically_relative(dir).string();
        if (e.is_symlink())
            out[name] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_regular_file())
            out[name] =
                std::string(std::istreambuf_iterator<char>(std::ifstream(e.path(), std::ios::binary).rdbuf()), {});
        else
            out[name] = "(folder)";
    }
    return out;
}

#ifndef _WIN32
// The names in a folder.
std::vector<std::string> names_in(const std::string &dir) {
    std::vector<std::string> out;
    for (const fs::directory_entry &e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// The system's temporary folder, pointed at `dir` while this lives.
class TemporaryFolderAt {
public:
    explicit TemporaryFolderAt(const std::string &dir) {
        if (const char *old = std::getenv("TMPDIR")) old_ = old;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TemporaryFolderAt() { old_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", old_.c_str(), 1); }

private:
    std::string old_;
};
#endif

}  // namespace

// Any width of %d names each frame; none is cut.
TEST(Writes, FramePatternsTakeAnyWidth) {
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    const struct {
        const char *pattern;
        std::vector<std::string> names;
    } cases[] = {
        {"f%d.png", {"f9.png", "f10.png"}},
        {"f%04d.png", {"f0009.png", "f0010.png"}},
        {"f%-3d.png", {"f9  .png", "f10 .png"}},
        {"f%040d.png", {"f" + std::string(39, '0') + "9.png", "f" + std::string(38, '0') + "10.png"}},
        {"f%40d.png", {"f" + std::string(39, ' ') + "9.png", "f" + std::string(38, ' ') + "10.png"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern);
        TempDir dir;
        const std::string net = dir.file("net.qvn.toml", kViewer);
        const CliResult r =
            qvhost_run({"render", net, "wave.Out", "--size", "2x2", "--frames", "9-10", "-o", dir.file(c.pattern)});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "wrote " + dir.file(c.names[0]) + "\nwrote " + dir.file(c.names[1]) + "\n");
        for (const std::string &name : c.names) EXPECT_TRUE(fs::is_regular_file(dir.file(name))) << name;
    }
}

// demo replaces none of its files without --force, and writes all of them with it.
TEST(Writes, DemoReplacesOnlyWithForce) {
    TempDir dir;
    dir.file("demo.png", "mine");
    const CliResult refused = qvhost_run({"demo", "--out", dir.path()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find(dir.file("demo.png") + ": the file exists; --force replaces"), std::string::npos);
    EXPECT_EQ(snapshot(dir.path()), (std::map<std::string, std::string>{{"demo.png", "mine"}}));
    if (!refhost::have_cairo()) QV_SKIP("this build has no cairo");
    const CliResult forced = qvhost_run({"demo", "--out", dir.path(), "--force"});
    EXPECT_EQ(forced.code, 0) << forced.err;
    EXPECT_EQ(snapshot(dir.path()).size(), 7u);
}


#ifndef _WIN32
// Each refusal happens before anything is written, with one line naming the
// path whole and why.
TEST(Writes, EveryCommandRefusesWhatTheRuleRefuses) {
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml", kViewer), scene = dir.file("s.qvs");
    ASSERT_EQ(qvhost_run({"save", net, "--scene", scene}).code, 0);
    fs::create_directory(dir.file("folder"));
    fs::create_directory(dir.file("d.svg"));
    fs::copy_file(refhost::kModuleFile, dir.file("module.so"));
    fs::create_symlink(net, dir.file("net.png"));
    fs::create_symlink("folder", dir.file("folder.png"));
    fs::create_symlink("f2.png", dir.file("f1.png"));
    const std::string deep =
        dir.file("a folder whose name alone is longer than sixty characters, as paths are") + "/p.png";
    const struct {
        std::vector<std::string> args;
        int code;
        std::string err;
    } cases[] = {
        {{"preview", net, "view", "--png", net}, 2, "--png " + net + ": the preview ends in .png"},
        {{"preview", net, "view", "--png", dir.file("net.png")}, 2, ": that is " + net + ", an input of this command"},
        {{"save", net, "--scene", dir.file("s.toml")}, 2, "a scene file is never named .toml"},
        {{"save", net, "--scene", dir.file("s.exr")}, 2, "a scene file is never named .exr"},
        {{"save", scene, "--scene", scene}, 2, "an input of this command"},
        {{"--module", dir.file("module.so"), "save", net, "--scene", dir.file("module.so")}, 2, "an input"},
        {{"save", net, "--scene", "/dev/null"}, 1, "/dev/null: cannot replace the file (it is a device"},
        {{"save", net, "--scene", dir.file("folder")}, 1, "folder: cannot replace the file (it is a directory"},
        {{"graph", net, "-o", dir.file("d.svg")}, 1, "d.svg: cannot replace the file (it is a directory"},
        {{"render", net, "wave.Out", "--size", "4x4", "-o", dir.file("folder.png")}, 1, "(it links to "},
        {{"plot", net, "wave.Out", "--frames", "0-1", "-o", deep}, 1, deep + ": cannot write the file (the folder "},
        {{"preview", "QvT_VIEW", "--png", deep}, 1, "does not exist)"},
        {{"render", net, "wave.Out", "--size", "4x4", "--frames", "1-2", "-o", dir.file("f%d.png")},
         2,
         "frames 1 and 2 would both be written to " + dir.file("f2.png")},
        {{"render", net, "wave.Out", "--size", "4x4", "--frames", "1-2", "-o", dir.file("f%4097d.png")},
         2,
         "the frame's width is at most 4096"},
        {{"render", net, "wave.Out", "--size", "4x4", "-o", dir.file(std::string(300, 'f') + ".png")},
         1,
         "(File name too long)"},
    };
    const auto before = snapshot(dir.path());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const CliResult r = qvhost_run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

// A link is followed: the file it names is written, and the link stays.
TEST(Writes, LinksAreFollowedToTheFileTheyName) {
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml", kViewer), old = dir.file("old.qvs", "old");
    fs::create_symlink("old.qvs", dir.file("to_old.qvs"));
    fs::create_symlink("new.qvs", dir.file("to_new.qvs"));
    for (const char *link : {"to_old.qvs", "to_new.qvs"}) {
        ASSERT_EQ(qvhost_run({"save", net, "--scene", dir.file(link)}).code, 0);
        EXPECT_TRUE(fs::is_symlink(dir.file(link)));
    }
    const auto after = snapshot(dir.path());
    EXPECT_EQ(after.at("new.qvs"), after.at("old.qvs"));
    EXPECT_NE(after.at("old.qvs"), "old");
    EXPECT_EQ(after.size(), 5u);
}

// A name near the system's limit is written: the temporary's name is short.
TEST(Writes, LongNamesAreWrittenAndNothingIsLeft) {
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml", kViewer), name = std::string(246, 'n') + ".qvs";
    const CliResult r = qvhost_run({"save", net, "--scene", dir.file(name)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(snapshot(dir.path()).size(), 2u);
    EXPECT_TRUE(fs::is_regular_file(dir.file(name)));
}

// A module copy (for --refuse, and doc's) lives in a folder of its own under
// the system's temporary folder, removed when the command ends.
TEST(Writes, ModuleCopiesLeaveNothing) {
    TempDir dir;
    const TemporaryFolderAt temporary(dir.path());
    const auto beside_module = names_in(".");
    EXPECT_EQ(qvhost_run({"--refuse", "LWXPanel", "nodes"}).code, 0);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    for (const std::string &name : names_in("."))  // other tests may write here meanwhile, but no module
        if (fs::path(name).extension() == fs::path(refhost::kModuleFile).extension()) {
            EXPECT_EQ(std::count(beside_module.begin(), beside_module.end(), name), 1) << name;
        }
}

// SIGTERM while frames render: exit 130, the frames done are whole, the one
// under way is not written and no temporary is left.
TEST(Signals, TermDuringARenderLeavesNoTemporary) {
    TempDir dir;
    const std::string net = dir.file("net.qvn.toml", kViewer);
    QvhostProcess qvhost(
        {"render", net, "wave.Out", "--size", "1024x1024", "--frames", "0-99", "-o", dir.file("f%03d.png")},
        dir.file("err.txt"));
    ASSERT_TRUE(qvhost.started());
    EXPECT_EQ(qvhost.read_line(), "wrote " + dir.file("f000.png"));
    qvhost.send(SIGTERM);
    EXPECT_EQ(qvhost.wait(), 130) << qvhost.err();
    EXPECT_NE(qvhost.err().find("was not written"), std::string::npos) << qvhost.err();
    for (const auto &[name, content] : snapshot(dir.path())) EXPECT_EQ(name.find(".tmp-"), std::string::npos);
    EXPECT_LT(snapshot(dir.path()).size(), 100u);
}

// Ctrl-C or SIGHUP while a network is read from standard input, the module
// copied for --refuse: exit 130, no scene and no copy left.
TEST(Signals, InterruptedSavesWriteNothingAndRemoveTheModuleCopy) {
    for (int signal : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        fs::create_directory(dir.file("tmp"));
        QvhostProcess qvhost({"--refuse", "LWXPanel", "save", "-", "--scene", dir.file("s.qvs")}, dir.file("err.txt"),
                             "TMPDIR", dir.file("tmp"));
        ASSERT_TRUE(qvhost.started());
        ASSERT_TRUE(qvhost.catches(signal));
        for (int tries = 0; tries < 2000 && fs::is_empty(dir.file("tmp")); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(names_in(dir.file("tmp")).size(), 1u);  // the module's copy, while it is loaded
        qvhost.send(signal);
        qvhost.write_input(kViewer);
        EXPECT_EQ(qvhost.wait(), 130) << qvhost.err();
        EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
        EXPECT_FALSE(fs::exists(dir.file("s.qvs")));
    }
}

// Started ignoring SIGHUP (nohup), a job runs on when the terminal closes.
TEST(Signals, AHangupIgnoredAtTheStartStaysIgnored) {
    TempDir dir;
    std::signal(SIGHUP, SIG_IGN);
    QvhostProcess qvhost({"save", "-", "--scene", dir.file("s.qvs")}, dir.file("err.txt"));
    std::signal(SIGHUP, SIG_DFL);
    ASSERT_TRUE(qvhost.catches(SIGTERM));
    qvhost.send(SIGHUP);
    qvhost.write_input(kViewer);
    EXPECT_EQ(qvhost.wait(), 0) << qvhost.err();
    EXPECT_TRUE(fs::is_regular_file(dir.file("s.qvs")));
}

// More threads than the machine runs: our own word on it, and no library's.
TEST(Signals, ManyThreadsAreNamedInOurWordsOnly) {
    TempDir dir;
    QvhostProcess qvhost({"render", dir.file("net.qvn.toml", kViewer), "wave.Out", "--size", "4x4", "--threads", "256",
                          "-o", dir.file("t.exr")},
                         dir.file("err.txt"));
    qvhost.wait();
    EXPECT_NE(qvhost.err().find("qvhost: --threads 256: this machine runs "), std::string::npos) << qvhost.err();
    EXPECT_EQ(qvhost.err().find("TBB"), std::string::npos) << qvhost.err();
}
#endif
