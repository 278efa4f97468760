// Start-up of the launcher against the floor of any Qt Widgets window (one push
// button: toolkit, style, fonts), side by side and alternating, on a virtual X
// server. Each program is measured with every process it starts:
// - the time from starting it to its window being mapped;
// - the CPU time (user and system) of the whole tree, from wait4 (which counts its
//   threads and the children it reaped), when it is ended 1.5 s after the window shows
//   (after the pictures are decoded and the pad support has started);
// - the peak of the tree's memory: the sum of the RSS of all its live processes,
//   sampled every 3 ms;
// - the tree's PSS 1.5 s after the window shows;
// - how many processes it started meanwhile.
//
// The launcher runs in a demo game directory with the banner, a German language
// pack and a stored Vexel mode, as a player would have it. It keeps the icon it drew
// in a cache of the benchmark's own: the pairs find it there, as every start but the
// first after a change of icon theme does. The first start, with the cache empty, is
// measured on its own and printed as the "_cold" figures.
#include <X11/Xlib.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto SETTLE = std::chrono::milliseconds(1500);
constexpr auto SAMPLE = std::chrono::milliseconds(3);

struct Run {
    double ms = -1;
    double cpu_ms = 0;
    double peak_kb = 0, pss_kb = 0;
    double children = 0;
};

// A /proc file's text; empty when the process has gone (even while it is read).
std::string proc_text(const std::string &file)
{
    try {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    } catch (const std::ios_base::failure &) {
        return {};
    }
}

// The "Field:   123 kB" line of a /proc file; 0 when the process has gone.
double proc_kb(const std::string &file, const std::string &field)
{
    std::istringstream in(proc_text(file));
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(field + ":"))
            return std::stod(line.substr(field.size() + 1));
    return 0;
}

// The process and all its live descendants, found through their parents in /proc.
std::vector<pid_t> tree_of(pid_t root)
{
    std::vector<std::pair<pid_t, pid_t>> parents; // pid, ppid
    const std::unique_ptr<DIR, int (*)(DIR *)> proc(opendir("/proc"), closedir);
    while (const dirent *entry = proc ? readdir(proc.get()) : nullptr) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        const std::string text = proc_text("/proc/" + std::to_string(pid) + "/stat");
        const auto close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (state != 'Z')
            parents.emplace_back(pid, ppid);
    }
    std::vector<pid_t> tree = {root};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const auto &[pid, ppid] : parents)
            if (ppid == tree[i])
                tree.push_back(pid);
    return tree;
}

double tree_kb(const std::vector<pid_t> &tree, const char *file, const char *field)
{
    double sum = 0;
    for (pid_t pid : tree) sum += proc_kb("/proc/" + std::to_string(pid) + "/" + file, field);
    return sum;
}

// Samples the tree's memory until `until`; watches for the window's map while
// `mapped` is not yet set.
void sample(Display *display, pid_t pid, Clock::time_point start, Clock::time_point until, Run &run,
            std::set<pid_t> &seen)
{
    while (Clock::now() < until) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && run.ms < 0)
                run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (run.ms >= 0 && until - Clock::now() > SETTLE)
            until = Clock::now() + SETTLE; // mapped: 1.5 s from now
        const std::vector<pid_t> tree = tree_of(pid);
        seen.insert(tree.begin(), tree.end());
        run.peak_kb = std::max(run.peak_kb, tree_kb(tree, "status", "VmRSS"));
        std::this_thread::sleep_for(SAMPLE);
    }
}

// Starts `program` in `dir`, follows it until 1.5 s after its first top-level window
// is mapped, and ends it with SIGTERM.
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
    std::set<pid_t> seen;
    sample(display, pid, start, start + std::chrono::seconds(30), run, seen);
    run.pss_kb = tree_kb(tree_of(pid), "smaps_rollup", "Pss");
    run.children = static_cast<double>(seen.size()) - 1;
    kill(pid, SIGTERM);
    rusage usage{};
    wait4(pid, nullptr, 0, &usage);
    const auto ms = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    run.cpu_ms = ms(usage.ru_utime) + ms(usage.ru_stime);
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
    setenv("XDG_CACHE_HOME", (game / "cache").c_str(), 1);
    const Run cold = measure(display, (game / "KTLaunch").string(), game);
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
    counters("cpu_ms", &Run::cpu_ms, 1);
    counters("peak_MiB", &Run::peak_kb, 1024);
    counters("pss_MiB", &Run::pss_kb, 1024);
    state.counters["ms_launcher_cold"] = cold.ms;
    state.counters["cpu_ms_launcher_cold"] = cold.cpu_ms;
    state.counters["peak_MiB_launcher_cold"] = cold.peak_kb / 1024;
    std::vector<double> children;
    for (const Run &r : runs[0]) children.push_back(r.children);
    state.counters["processes_started"] = median(children);
    XCloseDisplay(display);
    fs::remove_all(game);
}

} // namespace

// Medians of 31 alternating pairs: this machine is a shared one, and 15 vary from run to run.
BENCHMARK(BM_StartupAgainstQtFloor)->Iterations(31)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
