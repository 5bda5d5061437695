// Where a write lands, named by a path: links followed to a regular file or
// a new name in a folder that exists, anything else refused with why.
#include "support/write_target.h"

#include "tests/fixtures/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using qvtest::TempDir;

namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// Where a write lands: links followed to a regular file or a new name; a
// directory or a device refused, named or linked to.
TEST(WriteTarget, ARegularFileOrANewName) {
    TempDir dir;
    dir.file("file", "old");
    fs::create_directory(dir.file("folder"));
    const std::pair<const char *, const char *> links[] = {
        {"to_file", "file"},      {"to_to_file", "to_file"}, {"to_new", "new"},    {"to_folder", "folder"},
        {"to_null", "/dev/null"}, {"loop_a", "loop_b"},      {"loop_b", "loop_a"},
    };
    for (const auto &[link, to] : links) fs::create_symlink(to, dir.file(link));
    const struct {
        const char *path;    // in the directory, or absolute
        const char *target;  // in the directory; null where refused
        const char *error;   // after the path
    } cases[] = {
        {"file", "file", ""},
        {"new", "new", ""},
        {"to_file", "file", ""},
        {"to_to_file", "file", ""},
        {"to_new", "new", ""},
        {"folder", nullptr, ": cannot replace the file (it is a directory, not a regular file)"},
        {"to_folder", nullptr, ": cannot replace the file (it links to "},
        {"/dev/null", nullptr, ": cannot replace the file (it is a device, not a regular file)"},
        {"to_null", nullptr, ": cannot replace the file (it links to /dev/null, a device, not a regular file)"},
        {"loop_a", nullptr, ": cannot write the file (its links form a loop)"},
        {"missing/new", nullptr, ": cannot write the file (the folder "},
        {"file/new", nullptr, " is not a folder)"},
    };
    for (const auto &c : cases) {
        const std::string path = c.path[0] == '/' ? c.path : dir.file(c.path);
        std::string target, error;
        EXPECT_EQ(support::resolve_write_target(path, target, error), c.target != nullptr) << c.path;
        if (c.target != nullptr) {
            EXPECT_TRUE(fs::equivalent(fs::path(target).parent_path(), dir.path())) << target;
            EXPECT_EQ(fs::path(target).filename(), c.target);
        } else {
            EXPECT_EQ(error.rfind(path, 0), 0u) << error;
            EXPECT_NE(error.find(c.error, path.size()), std::string::npos) << error;
        }
    }
}

#endif

TEST(WriteTarget, SameFileFollowsLinks) {
    TempDir dir;
    const std::string file = dir.file("file", "x"), other = dir.file("other", "x");
    std::error_code ec;
    fs::create_symlink("file", dir.file("link"), ec);
    EXPECT_TRUE(support::same_file(file, file));
    EXPECT_EQ(support::same_file(dir.file("link"), file), !ec);
    EXPECT_FALSE(support::same_file(file, other));
    EXPECT_FALSE(support::same_file(dir.file("missing"), dir.file("missing")));
}

}  // namespace
