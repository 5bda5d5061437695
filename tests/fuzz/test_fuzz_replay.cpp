// Every file of fuzz/regressions/<target>/ (the inputs a fuzzer once found a
// fault with) and fuzz/corpus/<target>/ (the seeds it starts from) run through
// its fuzz target, in every configuration.
#include "tests/fixtures/module_fixture.h"

#include "fuzz/fuzz_targets.h"

#include <fstream>
#include <iterator>
#include <vector>

using namespace qvtest;

namespace qvfuzz {
void PrintTo(const Target &target, std::ostream *os) { *os << target.name; }
}  // namespace qvfuzz

namespace {

namespace fs = std::filesystem;

// The files of a folder in name order; none when it does not exist.
std::vector<fs::path> files_in(const fs::path &dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzReplay : public ::testing::TestWithParam<qvfuzz::Target> {
protected:
    void TearDown() override { qvfuzz::fresh_application(); }
};

}  // namespace

TEST_P(FuzzReplay, RegressionsAndSeedsHold) {
    const qvfuzz::Target &target = GetParam();
    ASSERT_TRUE(shared_module());
    std::size_t seeds = 0;
    for (const char *folder : {"regressions", "corpus"}) {
        for (const fs::path &file : files_in(source_dir() / "fuzz" / folder / target.name)) {
            std::ifstream in(file, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(target.run(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()), "") << file;
            if (std::string(folder) == "corpus") ++seeds;
        }
    }
    EXPECT_GT(seeds, 0u) << "fuzz/corpus/" << target.name << " holds no seeds";
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(qvfuzz::kTargets),
                         [](const ::testing::TestParamInfo<qvfuzz::Target> &info) {
                             return std::string(info.param.name);
                         });
