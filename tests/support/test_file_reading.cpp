// Files read whole: the bytes as they are, and every file that is not a
// regular one within the limit refused at once with the reason.
#include "support/file_reading.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path scratch_dir() {
    const fs::path dir = fs::path(::testing::TempDir()) /
                         ("qv_reading_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    return dir;
}

TEST(FileReading, ReadsTheBytesAsTheyAre) {
    const fs::path dir = scratch_dir();
    const std::string path = (dir / "net.qvn").string();
    const std::string bytes("\0binary\r\n\x7f", 10);
    std::ofstream(path, std::ios::binary) << bytes;
    std::string content, problem;
    ASSERT_TRUE(support::read_whole_file(path, content, problem)) << problem;
    EXPECT_EQ(content, bytes);
    fs::remove_all(dir);
}

TEST(FileReading, RefusesWhatIsNoRegularFileWithinTheLimit) {
    const fs::path dir = scratch_dir();
    const std::string big = (dir / "big").string(), fifo = (dir / "fifo").string();
    std::ofstream(big, std::ios::binary) << std::string(100, 'x');
#ifndef _WIN32
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
#endif
    const struct {
        std::string path;
        std::uintmax_t limit;
        const char *problem;
    } cases[] = {
        {(dir / "missing").string(), support::kFileSizeLimit, "cannot open the file"},
        {dir.string(), support::kFileSizeLimit, "not a regular file"},
        {big, 99, "larger than 99 bytes"},
#ifndef _WIN32
        {fifo, support::kFileSizeLimit, "not a regular file"},         // opening it would wait for a writer
        {"/dev/zero", support::kFileSizeLimit, "not a regular file"},  // it never ends
#endif
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        std::string content = "kept", problem;
        EXPECT_FALSE(support::read_whole_file(c.path, content, problem, c.limit));
        EXPECT_EQ(problem, c.problem);
        EXPECT_EQ(content, "kept");
    }
    fs::remove_all(dir);
}

}  // namespace
