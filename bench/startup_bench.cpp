// Start-up of the launcher against the floor of any Qt Widgets window (one push
// button: toolkit, style, fonts), side by side and alternating, on a virtual X
// server: the time from starting the program to its window being mapped, and the
// peak memory of the process.
//
// The launcher runs in a demo game directory with the banner, a German language
// pack and a stored Vexel mode, as a player would have it.
#include <X11/Xlib.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Run {
    double ms;
    long max_rss_kb;
};

// Starts `program` in `dir`, waits for its first top-level window to be mapped and
// then `settle` longer, ends it and collects its peak memory.
Run measure(Display *display, const std::string &program, const fs::path &dir,
            std::chrono::milliseconds settle)
{
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True); // drop what happened before
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    double ms = -1;
    const auto deadline = start + std::chrono::seconds(30);
    while (ms < 0 && Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && ms < 0)
                ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (ms < 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(settle);
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {ms, usage.ru_maxrss};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

fs::path make_game_dir()
{
    std::string pattern = (fs::temp_directory_path() / "ktlaunch-startup-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    const fs::path dir = pattern;
    fs::copy_file(KTLAUNCH_EXE, dir / "KTLaunch");
    fs::create_directories(dir / "data" / "missionsDE");
    if (fs::exists(EXAMPLES_DIR "/kt.iff"))
        fs::copy_file(EXAMPLES_DIR "/kt.iff", dir / "kt.iff");
    fs::copy_file(EXAMPLES_DIR "/Karthos.prefs", dir / "Karthos.prefs");
    return dir;
}

// Up to the window shown; or, with a settle time, also what the window does once it
// shows (the pictures it decodes then).
void startup(benchmark::State &state, std::chrono::milliseconds settle)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    const fs::path game = make_game_dir();
    std::vector<double> launcher_ms, floor_ms;
    long launcher_kb = 0, floor_kb = 0;
    bool launcher_first = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool launcher = (turn == 0) == launcher_first;
            const Run run = measure(display, launcher ? (game / "KTLaunch").string() : QT_FLOOR_EXE,
                                    game, settle);
            (launcher ? launcher_ms : floor_ms).push_back(run.ms);
            long &kb = launcher ? launcher_kb : floor_kb;
            kb = std::max(kb, run.max_rss_kb);
        }
        launcher_first = !launcher_first; // alternate who goes first
    }
    const double l = median(launcher_ms), f = median(floor_ms);
    state.counters["launcher_ms"] = l;
    state.counters["floor_ms"] = f;
    state.counters["time_ratio"] = f > 0 ? l / f : 0;
    state.counters["launcher_MiB"] = static_cast<double>(launcher_kb) / 1024;
    state.counters["floor_MiB"] = static_cast<double>(floor_kb) / 1024;
    state.counters["memory_ratio"] =
        floor_kb ? static_cast<double>(launcher_kb) / static_cast<double>(floor_kb) : 0;
    XCloseDisplay(display);
    fs::remove_all(game);
}

} // namespace

void BM_StartupAgainstQtFloor(benchmark::State &state)
{
    startup(state, {});
}
void BM_SettledAgainstQtFloor(benchmark::State &state)
{
    startup(state, std::chrono::seconds(1));
}

BENCHMARK(BM_StartupAgainstQtFloor)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettledAgainstQtFloor)->Iterations(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
