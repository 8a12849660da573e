// What one calculation and its failure risk cost (the window computes every
// level on every repaint) and what a whole "--calc" process costs.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <utility>
#include <vector>

#include "l10n.h"
#include "raid.h"

extern char** environ;

namespace {

void BM_Compute(benchmark::State& state) {
    raid::Config c;
    c.level = raid::kLevels[state.range(0)];
    c.disks = static_cast<int>(state.range(1));
    c.spares = 1;
    for (auto _ : state) {
        raid::Result r = raid::compute(c);
        benchmark::DoNotOptimize(r);
    }
    state.SetLabel(raid::name(c.level));
}
BENCHMARK(BM_Compute)->ArgsProduct({benchmark::CreateDenseRange(0, 8, 1), {9, 25}});

void BM_AllLevels(benchmark::State& state) {
    raid::Config c;
    c.disks = 12;
    for (auto _ : state) {
        for (raid::Level l : raid::kLevels) {
            c.level = l;
            benchmark::DoNotOptimize(raid::compute(c));
        }
    }
}
BENCHMARK(BM_AllLevels);

// The failure risk of all nine levels at 256 disks; the window's budget is
// 50 µs. With argument 1, failures so frequent and repairs so slow that RAID
// 1 walks all 255 states of its chain instead of overflowing early.
void BM_ReliabilityAllLevels(benchmark::State& state) {
    raid::Config c;
    c.disks = 256;
    c.spares = 0;
    if (state.range(0) == 1) {
        c.afr_percent = raid::kMaxAfr;
        c.repair_hours = raid::kMaxRepairHours;
    }
    std::vector<std::pair<raid::Config, raid::Result>> arrays;
    for (raid::Level l : raid::kLevels) {
        c.level = l;
        arrays.emplace_back(c, raid::compute(c));
    }
    for (auto _ : state)
        for (const auto& [config, result] : arrays) benchmark::DoNotOptimize(raid::reliability(config, result));
}
BENCHMARK(BM_ReliabilityAllLevels)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Layout(benchmark::State& state) {
    raid::Config c;
    c.level = raid::Level::R60;
    c.disks = 24;
    const raid::Result r = raid::compute(c);
    for (auto _ : state) benchmark::DoNotOptimize(raid::layout(c, r, 4));
}
BENCHMARK(BM_Layout);

void BM_Report(benchmark::State& state) {
    L10n::setLanguage("en");
    raid::Config c;
    c.disks = 8;
    c.spares = 1;
    const raid::Result r = raid::compute(c);
    for (auto _ : state) benchmark::DoNotOptimize(raid::to_text(c, r));
}
BENCHMARK(BM_Report);

// Spawns the program the way a shell would; also spawns /bin/true as the floor.
void spawn_and_wait(const char* exe, char* const* argv) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, exe, &fa, nullptr, argv, environ) == 0) {
        int st = 0;
        waitpid(pid, &st, 0);
    }
    posix_spawn_file_actions_destroy(&fa);
}

void BM_CalcProcess(benchmark::State& state) {
    char* argv[] = {const_cast<char*>(ZXRC_EXE), const_cast<char*>("--calc"), const_cast<char*>("raid6"),
                    const_cast<char*>("8"),      const_cast<char*>("12TB"),   const_cast<char*>("1"),
                    nullptr};
    for (auto _ : state) spawn_and_wait(ZXRC_EXE, argv);
}
BENCHMARK(BM_CalcProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VersionProcess(benchmark::State& state) {
    char* argv[] = {const_cast<char*>(ZXRC_EXE), const_cast<char*>("--version"), nullptr};
    for (auto _ : state) spawn_and_wait(ZXRC_EXE, argv);
}
BENCHMARK(BM_VersionProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TrueProcess(benchmark::State& state) {
    char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
    for (auto _ : state) spawn_and_wait("/bin/true", argv);
}
BENCHMARK(BM_TrueProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
