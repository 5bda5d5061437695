// The benchmark program: every benchmark of bench/, then the ratios their
// files registered, each measured in this one run.
//
//   qv_bench [--benchmark options]   run from the directory holding the module
#include "bench/bench_ratios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace bench {

namespace {

std::vector<std::pair<std::string, std::string>> &ratios() {
    static std::vector<std::pair<std::string, std::string>> r;
    return r;
}

#ifdef _WIN32
constexpr const char *kModuleFile = "QV_Math_Node.p";
#else
constexpr const char *kModuleFile = "QV_Math_Node.so";
#endif

// Prints the runs as the console reporter does, then the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (ratios().empty()) return;
        std::printf("\nratios (time over the baseline's, same run):\n");
        for (const auto &[name, baseline] : ratios()) {
            const auto a = times_.find(name), b = times_.find(baseline);
            if (a == times_.end() || b == times_.end() || b->second <= 0) continue;
            std::printf("  %-44s / %-40s %7.3f\n", name.c_str(), baseline.c_str(), a->second / b->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

std::shared_ptr<refhost::Module> module() {
    static std::shared_ptr<refhost::Module> m = [] {
        std::string error;
        auto loaded = refhost::Module::load(kModuleFile, error);
        if (!loaded) {
            std::fprintf(stderr, "qv_bench: %s\n", error.c_str());
            std::exit(1);
        }
        return loaded;
    }();
    return m;
}

bool compare(const std::string &benchmark, const std::string &baseline) {
    ratios().emplace_back(benchmark, baseline);
    return true;
}

}  // namespace bench

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    bench::module();
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
