// Load plus save of generated preferences files, from 10 to 100,000 options, all in
// one section or ten options to a section. The time per option should stay flat as
// the file grows: the store must not slow down as it fills.
//
// The files live on /dev/shm when it exists, so that the disk's sync time does not
// hide the store's own cost. The loop repeats thousands of times what the launcher
// does once; main() asks the C library to keep freed memory, because otherwise it
// hands the whole store back to the kernel after every round and the figures mostly
// measure page faults of the machine rather than the store.
#include "configfile.h"
#include "platform/files.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path bench_dir()
{
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "ktlaunch-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

void write_prefs(const fs::path &file, long options, long per_section)
{
    std::ofstream out(file, std::ios::trunc);
    for (long i = 0; i < options; ++i) {
        if (i % per_section == 0)
            out << "[Section" << i / per_section << "]\n";
        out << "Key" << i << " = value of option " << i << "\n";
    }
}

void load_and_save(benchmark::State &state, long per_section)
{
    const long options = state.range(0);
    const fs::path dir = bench_dir();
    platform::testing::set_program_dir(dir.string());
    write_prefs(dir / "Karthos.prefs", options, per_section ? per_section : options);

    for (auto _ : state) {
        if (!config_init() || !config_save())
            state.SkipWithError("load or save failed");
        config_shut();
    }
    state.SetItemsProcessed(state.iterations() * options);
    state.counters["ns_per_option"] =
        benchmark::Counter(static_cast<double>(state.iterations() * options),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    platform::testing::set_program_dir(std::nullopt);
    fs::remove_all(dir);
}

void BM_LoadSave_OneSection(benchmark::State &state)
{
    load_and_save(state, 0);
}
void BM_LoadSave_TenPerSection(benchmark::State &state)
{
    load_and_save(state, 10);
}

// The store alone, without the file: options set in one section, then released.
void BM_Store_SetOptions(benchmark::State &state)
{
    const long options = state.range(0);
    platform::testing::set_program_dir("/nonexistent");
    for (auto _ : state) {
        config_init();
        for (long i = 0; i < options; ++i) {
            const std::string key = "Key" + std::to_string(i);
            config_set_option("Section", key.c_str(), "value");
        }
        config_shut();
    }
    state.SetItemsProcessed(state.iterations() * options);
    platform::testing::set_program_dir(std::nullopt);
}

} // namespace

BENCHMARK(BM_LoadSave_OneSection)
    ->RangeMultiplier(10)
    ->Range(10, 100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadSave_TenPerSection)
    ->RangeMultiplier(10)
    ->Range(10, 100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Store_SetOptions)
    ->RangeMultiplier(10)
    ->Range(10, 100000)
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    if (!getenv("KTLAUNCH_BENCH_DEFAULT_MALLOC")) {
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
