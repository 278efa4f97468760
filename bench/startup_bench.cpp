// Start-up of the launcher against the floor of any Qt Widgets window (one push
// button: toolkit, style, fonts), side by side and alternating, on a virtual X
// server: the time from starting the program to its window being mapped, and its
// memory one second later (when the pictures are decoded and the pad support runs):
// the peak so far and what it holds then.
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
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Run {
    double ms = -1;
    double peak_kb = 0, settled_kb = 0; // VmHWM and VmRSS, a second after the window shows
};

// A "Vm...:   123 kB" line of /proc/PID/status.
double status_kb(pid_t pid, const std::string &field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":"))
            return std::stod(line.substr(field.size() + 1));
    return 0;
}

// Starts `program` in `dir`, waits for its first top-level window to be mapped and a
// second more, reads its memory and ends it.
Run measure(Display *display, const std::string &program, const fs::path &dir)
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
    Run run;
    const auto deadline = start + std::chrono::seconds(30);
    while (run.ms < 0 && Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && run.ms < 0)
                run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (run.ms < 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    run.peak_kb = status_kb(pid, "VmHWM");
    run.settled_kb = status_kb(pid, "VmRSS");
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return run;
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

void BM_StartupAgainstQtFloor(benchmark::State &state)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    const fs::path game = make_game_dir();
    std::vector<Run> runs[2]; // the launcher's, the floor's
    bool launcher_first = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool launcher = (turn == 0) == launcher_first;
            runs[launcher ? 0 : 1].push_back(
                measure(display, launcher ? (game / "KTLaunch").string() : QT_FLOOR_EXE, game));
        }
        launcher_first = !launcher_first; // alternate who goes first
    }
    const auto counters = [&](const char *name, double Run::*figure, double scale) {
        std::vector<double> mine, floor;
        for (const Run &r : runs[0]) mine.push_back(r.*figure / scale);
        for (const Run &r : runs[1]) floor.push_back(r.*figure / scale);
        // The ratio is the median of each pair's own: the two runs of a pair meet the
        // same moment of the machine, where separate medians may each meet another.
        std::vector<double> ratios;
        for (std::size_t i = 0; i < mine.size() && i < floor.size(); ++i)
            ratios.push_back(floor[i] > 0 ? mine[i] / floor[i] : 0);
        state.counters[std::string(name) + "_launcher"] = median(mine);
        state.counters[std::string(name) + "_floor"] = median(floor);
        state.counters[std::string(name) + "_ratio"] = median(ratios);
    };
    counters("ms", &Run::ms, 1);
    counters("peak_MiB", &Run::peak_kb, 1024);
    counters("settled_MiB", &Run::settled_kb, 1024);
    XCloseDisplay(display);
    fs::remove_all(game);
}

} // namespace

// Medians of 31 alternating pairs: fewer leave the ratio a few hundredths apart from run
// to run.
BENCHMARK(BM_StartupAgainstQtFloor)->Iterations(31)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
