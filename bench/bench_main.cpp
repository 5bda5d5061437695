// The benchmark program: every benchmark of bench/, then the ratios their
// files registered, each measured in this one run.
//
//   qv_bench [--benchmark options]   run from the directory holding the module
//
// The machine is shared and noisy, so unless told otherwise every benchmark
// runs 5 times for at least 0.05 s each and is reported by its median; a
// benchmark measured in real time (threads) is compared in real time, every
// other in CPU time, which time spent waiting for the processor does not
// count.  The JSON output (--benchmark_out=FILE --benchmark_out_format=json)
// names the processor and the compiler in its context, for
// scripts/performance_report.py.
#include "bench/bench_ratios.h"
#include "refhost/module_loader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace bench {

namespace {

std::vector<std::pair<std::string, std::string>> &ratios() {
    static std::vector<std::pair<std::string, std::string>> r;
    return r;
}

using refhost::kModuleFile;

const char *const kDefaultFlags[] = {
    "--benchmark_repetitions=5",
    "--benchmark_min_time=0.05",
    "--benchmark_report_aggregates_only=true",
};

// The time a run is compared by: real time where the benchmark asked for it.
double compared_time(const benchmark::BenchmarkReporter::Run &r) {
    return r.run_name.time_type.empty() ? r.GetAdjustedCPUTime() : r.GetAdjustedRealTime();
}

// Prints the runs as the console reporter does, then the ratios: medians
// where the runs were repeated.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const std::string name = r.run_name.str();
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (!median && r.run_type != Run::RT_Iteration) continue;
            (median ? medians_ : single_)[name] = compared_time(r);
            if (auto ratio = r.counters.find("ratio"); ratio != r.counters.end())
                (median ? alternated_ : single_alternated_)[name] = ratio->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (!ratios().empty()) {
            std::printf("\nratios (time over the baseline's, same run, medians):\n");
            for (const auto &[name, baseline] : ratios()) {
                const double a = time(name), b = time(baseline);
                if (a <= 0 || b <= 0) continue;
                std::printf("  %-44s / %-44s %7.3f\n", name.c_str(), baseline.c_str(), a / b);
            }
        }
        for (const auto &[name, ratio] : single_alternated_)
            if (!alternated_.count(name)) alternated_[name] = ratio;
        if (!alternated_.empty()) {
            std::printf("\nratios over the baseline measured alongside (medians of block pairs):\n");
            for (const auto &[name, ratio] : alternated_) std::printf("  %-60s %7.3f\n", name.c_str(), ratio);
        }
    }

private:
    double time(const std::string &name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        if (auto s = single_.find(name); s != single_.end()) return s->second;
        return 0;
    }
    std::map<std::string, double> medians_, single_;
    std::map<std::string, double> alternated_, single_alternated_;
};

std::string processor() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.compare(0, 10, "model name") == 0) {
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos) return line.substr(line.find_first_not_of(' ', colon + 1));
        }
    return "unknown";
}

// The run's own description: what the report script needs besides the times.
void add_context() {
    benchmark::AddCustomContext("qv_processor", processor());
#if defined(__clang__)
    benchmark::AddCustomContext("qv_compiler", std::string("clang ") + __clang_version__);
#elif defined(__GNUC__)
    benchmark::AddCustomContext("qv_compiler", std::string("GCC ") + __VERSION__);
#endif
}

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
    // The defaults first, so that the command line overrides them.
    std::vector<char *> args{argv[0]};
    for (const char *flag : bench::kDefaultFlags) args.push_back(const_cast<char *>(flag));
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
    bench::module();
    bench::add_context();
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
