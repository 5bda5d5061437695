// Files written whole or not at all: a failure at any step leaves the old
// file as it was and no temporary beside it; writers on several threads do
// not meet on a temporary name.
#include "support/atomic_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

namespace fs = std::filesystem;

// An empty directory of its own, removed with everything in it at the end.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &name)
        : path_(fs::path(::testing::TempDir()) /
                ("qv_atomic_" + name + "_" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string &name) const { return (path_ / name).string(); }
    // The names in the directory, sorted.
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const fs::directory_entry &e : fs::directory_iterator(path_)) out.insert(e.path().filename().string());
        return out;
    }

private:
    fs::path path_;
};

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_all(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

TEST(AtomicFile, BytesReplaceTheFileWhole) {
    ScratchDir dir("bytes");
    const std::string path = dir.file("net.qvn");
    const std::string contents[] = {"first\n", std::string("\0binary\r\n\x7f", 10), ""};
    for (const std::string &bytes : contents) {
        std::string error;
        ASSERT_TRUE(support::write_file_atomically(path, bytes, error)) << error;
        EXPECT_EQ(read_all(path), bytes);
        EXPECT_EQ(dir.names(), std::set<std::string>{"net.qvn"});
    }
}

TEST(AtomicFile, WriterGetsAFreshTemporaryBesideTheTarget) {
    ScratchDir dir("names");
    const std::string path = dir.file("p.png");
    std::set<std::string> temps;
    for (int i = 0; i < 3; ++i) {
        std::string error;
        ASSERT_TRUE(support::write_file_atomically(
            path,
            [&](const std::string &temp, std::string &) {
                EXPECT_FALSE(fs::exists(temp)) << temp;
                EXPECT_EQ(fs::path(temp).parent_path(), fs::path(path).parent_path());
                EXPECT_EQ(fs::path(temp).filename().string().rfind("p.png.tmp-", 0), 0u) << temp;
                temps.insert(temp);
                write_all(temp, "png " + std::to_string(i));
                return true;
            },
            error))
            << error;
        EXPECT_EQ(read_all(path), "png " + std::to_string(i));
    }
    EXPECT_EQ(temps.size(), 3u);
    EXPECT_EQ(dir.names(), std::set<std::string>{"p.png"});
}

// Every failure keeps the old file and leaves nothing else in the directory.
TEST(AtomicFile, FailuresKeepTheOldFile) {
    enum class Step { writer_fails, writer_fails_silently, bytes_into_missing_directory, rename_over_directory };
    struct Case {
        const char *name;
        Step step;
        const char *target;  // relative to the directory
        const char *error_after_path;
    };
    const Case cases[] = {
        {"writer fails after writing part", Step::writer_fails, "old.png", ": cannot write the image (no memory)"},
        {"writer fails without a problem", Step::writer_fails_silently, "old.png", ": cannot write the file"},
        {"bytes into a missing directory", Step::bytes_into_missing_directory, "missing/new.qvn",
         ": cannot write the file"},
        {"rename over a directory", Step::rename_over_directory, "taken", ": cannot replace the file ("},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir("fail");
        write_all(dir.file("old.png"), "old");
        fs::create_directories(dir.file("taken"));
        write_all(dir.file("taken/inside"), "kept");
        const std::set<std::string> before = dir.names();

        const std::string path = dir.file(c.target);
        std::string error;
        bool ok = true;
        switch (c.step) {
        case Step::writer_fails:
            ok = support::write_file_atomically(
                path,
                [](const std::string &temp, std::string &problem) {
                    write_all(temp, "half");
                    problem = "cannot write the image (no memory)";
                    return false;
                },
                error);
            break;
        case Step::writer_fails_silently:
            ok = support::write_file_atomically(
                path, [](const std::string &, std::string &) { return false; }, error);
            break;
        case Step::bytes_into_missing_directory:
        case Step::rename_over_directory: ok = support::write_file_atomically(path, std::string("new"), error); break;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(error.rfind(path + c.error_after_path, 0), 0u) << error;
        EXPECT_EQ(dir.names(), before);
        EXPECT_EQ(read_all(dir.file("old.png")), "old");
        EXPECT_EQ(read_all(dir.file("taken/inside")), "kept");
    }
}

TEST(AtomicFile, WriterExceptionRemovesTheTemporary) {
    ScratchDir dir("throw");
    const std::string path = dir.file("old.png");
    write_all(path, "old");
    std::string error;
    EXPECT_THROW(support::write_file_atomically(
                     path,
                     [](const std::string &temp, std::string &) -> bool {
                         write_all(temp, "half");
                         throw std::runtime_error("writer gave up");
                     },
                     error),
                 std::runtime_error);
    EXPECT_EQ(read_all(path), "old");
    EXPECT_EQ(dir.names(), std::set<std::string>{"old.png"});
}

// Threads writing side by side in one directory, each many times, to a file of
// its own and to one they share: each own file ends as its thread's last
// content, the shared one as one whole content of them, and no temporary is
// left behind.  Windows may refuse a rename over a file that another rename
// is replacing at that moment; that write fails as a whole.
TEST(AtomicFile, ThreadsWriteBesideEachOther) {
    ScratchDir dir("threads");
    constexpr int kThreads = 4, kRounds = 25;
    const std::string shared = dir.file("shared.png");
    std::vector<std::string> own_errors(kThreads), shared_errors(kThreads);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t)
        pool.emplace_back([&, t] {
            const std::string own = dir.file("out" + std::to_string(t) + ".png");
            for (int r = 0; r < kRounds; ++r) {
                const auto write = [&](const std::string &temp, std::string &) {
                    write_all(temp, std::to_string(t) + ":" + std::to_string(r));
                    return true;
                };
                std::string error;
                if (!support::write_file_atomically(own, write, error)) own_errors[t] = error;
                error.clear();
                if (!support::write_file_atomically(shared, write, error)) shared_errors[t] = error;
            }
        });
    for (std::thread &th : pool) th.join();
    std::set<std::string> expected{"shared.png"}, whole;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(own_errors[t], "") << t;
#ifdef _WIN32
        if (!shared_errors[t].empty()) {
            EXPECT_EQ(shared_errors[t].rfind(shared + ": cannot replace the file (", 0), 0u) << shared_errors[t];
        }
#else
        EXPECT_EQ(shared_errors[t], "") << t;
#endif
        const std::string name = "out" + std::to_string(t) + ".png";
        expected.insert(name);
        EXPECT_EQ(read_all(dir.file(name)), std::to_string(t) + ":" + std::to_string(kRounds - 1));
    }
    for (int t = 0; t < kThreads; ++t)
        for (int r = 0; r < kRounds; ++r) whole.insert(std::to_string(t) + ":" + std::to_string(r));
    EXPECT_EQ(whole.count(read_all(shared)), 1u) << read_all(shared);
    EXPECT_EQ(dir.names(), expected);
}

}  // namespace

namespace {

// A temporary's name keeps at most the first 32 bytes of the target's name,
// never part of a character.
TEST(AtomicFile, TemporaryNamesAreShort) {
    const std::string e_acute = "\xC3\xA9";
    const struct {
        std::string name, kept;
    } cases[] = {
        {"p.png", "p.png"},
        {std::string(32, 'a'), std::string(32, 'a')},
        {std::string(250, 'a'), std::string(32, 'a')},
        {std::string(31, 'a') + e_acute + "b", std::string(31, 'a')},
        {std::string(30, 'a') + e_acute + "b", std::string(30, 'a') + e_acute},
    };
    for (const auto &c : cases)
        EXPECT_EQ(support::temporary_file_name(c.name, 4711, 12), c.kept + ".tmp-4711-12") << c.name;
}

#ifndef _WIN32
// The system's reason, the permissions kept, and an interruption that
// renames nothing.
TEST(AtomicFile, WritesSayWhyAndKeepWhatTheyReplace) {
    ScratchDir dir("why");
    const std::string path = dir.file("old.qvs");
    write_all(path, "old");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    std::string error;
    ASSERT_TRUE(support::write_file_atomically(path, std::string("new"), error)) << error;
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit, small;
    getrlimit(RLIMIT_FSIZE, &limit);
    small = limit;
    small.rlim_cur = 2;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = support::write_file_atomically(path, std::string("longer"), error);
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, path + ": cannot write the file (File too large)");

    const std::atomic<bool> interrupted{true};
    support::set_write_interrupt_flag(&interrupted);
    EXPECT_FALSE(support::write_file_atomically(path, std::string("newer"), error));
    support::set_write_interrupt_flag(nullptr);
    EXPECT_EQ(error, path + ": not written (interrupted)");
    EXPECT_EQ(read_all(path), "new");
    EXPECT_EQ(dir.names(), std::set<std::string>{"old.qvs"});
}
#endif

TEST(AtomicFile, PrivateFoldersGoWithTheirFiles) {
    std::string error, path;
    {
        const support::PrivateFolder folder("qv_test-", error);
        path = folder.path();
        ASSERT_FALSE(path.empty()) << error;
        EXPECT_EQ(fs::path(path).filename().string().rfind("qv_test-", 0), 0u);
        write_all((fs::path(path) / "module.so").string(), "copy");
    }
    EXPECT_FALSE(fs::exists(path));
}

}  // namespace
