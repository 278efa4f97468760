// The store against other INI readers and writers, in one process, on the same file
// in the same directory (/dev/shm when it exists): one load and one save of a file
// of 1,000 or 100,000 options, all in one section or ten options to a section. The
// contenders take turns, each starting from the same file; each one's best run
// counts. Printed: ns per option, the store's ratio to inih, and each contender's
// cost per option at 100,000 against its cost at 1,000.
//
// Every contender saves as the store does: the whole file into a temporary file
// beside it, synced, renamed over the old one, and the directory synced.
//   store      config_init + config_save + config_shut, the launcher's own path
//   inih       ini_parse into a flat buffer that keeps the options in file order
//              (no lookup, no merging), then a plain fprintf writer of the
//              store's layout
//   SimpleIni  CSimpleIniA LoadFile, then SaveFile into the temporary file
//   QSettings  IniFormat; one value set, so that it writes (QSaveFile does the
//              temporary file, fsync and rename; the directory is not synced)
//
// As in prefs_bench, the C library is asked to keep freed memory, for every
// contender alike (KTLAUNCH_BENCH_DEFAULT_MALLOC=1 turns that off).
#include "configfile.h"
#include "platform/files.h"

#include <QSettings>
#include <SimpleIni.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ini.h>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "peers_bench: %s\n", what);
    std::exit(1);
}

fs::path bench_dir()
{
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "ktlaunch-peers-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        fail("no temporary directory");
    return pattern;
}

// A file of `options` options, `per_section` to a section, as it is read (without
// indents: Debian's inih reads an indented line as the continuation of the one
// before) or as the store writes it.
std::string make_prefs(long options, long per_section, bool as_written)
{
    std::string text;
    for (long i = 0; i < options; ++i) {
        const std::string n = std::to_string(i);
        if (i % per_section == 0)
            text += (i && as_written ? "\n[Section" : "[Section") +
                    std::to_string(i / per_section) + (as_written ? "]\n\n" : "]\n");
        text += (as_written ? "\tKey" : "Key") + n + " = value of option " + n + "\n";
    }
    return text;
}

void put_file(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string get_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The peers' save: `write` fills a temporary file beside `path`, which is then
// synced and renamed over it, and the directory synced.
void save_atomically(const fs::path &path, const std::function<void(FILE *)> &write)
{
    const fs::path temp = path.parent_path() / ".peer.tmp";
    FILE *out = std::fopen(temp.c_str(), "w");
    if (!out)
        fail("cannot create the temporary file");
    write(out);
    if (std::fflush(out) != 0 || fsync(fileno(out)) != 0 || std::fclose(out) != 0 ||
        std::rename(temp.c_str(), path.c_str()) != 0)
        fail("cannot save");
    const int dir = open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    fsync(dir);
    close(dir);
}

void store_load_save(const fs::path &prefs)
{
    platform::testing::set_program_dir(prefs.parent_path().string());
    if (!config_init() || !config_save())
        fail("the store cannot load or save");
    config_shut();
}

// inih keeps nothing itself: its handler appends "section\0key\0value\0".
int keep_option(void *user, const char *section, const char *key, const char *value)
{
    auto &kept = *static_cast<std::string *>(user);
    for (const char *text : {section, key, value}) kept.append(text, std::strlen(text) + 1);
    return 1;
}

void inih_load_save(const fs::path &prefs)
{
    std::string kept;
    if (ini_parse(prefs.c_str(), keep_option, &kept) != 0)
        fail("inih cannot load");
    save_atomically(prefs, [&](FILE *out) {
        const char *section = nullptr;
        for (const char *p = kept.data(); p < kept.data() + kept.size();) {
            const char *sec = p, *key = sec + std::strlen(sec) + 1,
                       *val = key + std::strlen(key) + 1;
            if (!section || std::strcmp(section, sec) != 0)
                std::fprintf(out, section ? "\n[%s]\n\n" : "[%s]\n\n", sec);
            section = sec;
            std::fprintf(out, "\t%s = %s\n", key, val);
            p = val + std::strlen(val) + 1;
        }
    });
}

void simpleini_load_save(const fs::path &prefs)
{
    CSimpleIniA ini;
    if (ini.LoadFile(prefs.c_str()) < 0)
        fail("SimpleIni cannot load");
    save_atomically(prefs, [&](FILE *out) { ini.SaveFile(out); });
}

void qsettings_load_save(const fs::path &prefs)
{
    QSettings settings(QString::fromStdString(prefs.string()), QSettings::IniFormat);
    settings.setValue("Section0/Key0", settings.value("Section0/Key0").toString() + "x");
    settings.sync();
    if (settings.status() != QSettings::NoError)
        fail("QSettings cannot load or save");
}

struct Contender {
    const char *name;
    void (*load_save)(const fs::path &prefs);
};

constexpr std::array<Contender, 4> CONTENDERS = {{{"store", store_load_save},
                                                  {"inih+fprintf", inih_load_save},
                                                  {"SimpleIni", simpleini_load_save},
                                                  {"QSettings", qsettings_load_save}}};

using Figures = std::array<double, CONTENDERS.size()>; // best ns per option

// Each round runs every contender once, from a fresh copy of the same file, the
// first of them changing from round to round.
Figures race(const fs::path &dir, long options, long per_section, int rounds)
{
    const fs::path prefs = dir / "Karthos.prefs";
    const std::string text = make_prefs(options, per_section, false);
    const std::string written = make_prefs(options, per_section, true);
    Figures best;
    best.fill(1e300);
    for (int round = 0; round < rounds; ++round)
        for (std::size_t turn = 0; turn < CONTENDERS.size(); ++turn) {
            const std::size_t c = (turn + static_cast<std::size_t>(round)) % CONTENDERS.size();
            put_file(prefs, text);
            const auto start = std::chrono::steady_clock::now();
            CONTENDERS[c].load_save(prefs);
            const std::chrono::duration<double, std::nano> took =
                std::chrono::steady_clock::now() - start;
            best[c] = std::min(best[c], took.count() / static_cast<double>(options));
            if (c <= 1 && get_file(prefs) != written) // the store's layout, byte for byte
                fail(CONTENDERS[c].name);
        }
    return best;
}

} // namespace

int main()
{
    if (!getenv("KTLAUNCH_BENCH_DEFAULT_MALLOC")) {
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
    }
    const fs::path dir = bench_dir();
    std::printf("load + save, ns per option, best of the rounds, in %s\n\n", dir.c_str());
    std::printf("%-8s %-13s %6s", "options", "layout", "rounds");
    for (const Contender &c : CONTENDERS) std::printf(" %13s", c.name);
    std::printf(" %11s\n", "store/inih");
    for (const long per_section : {0L, 10L}) {
        Figures small{};
        for (const long options : {1000L, 100000L}) {
            const int rounds = options < 10000 ? 200 : 7;
            const Figures f = race(dir, options, per_section ? per_section : options, rounds);
            std::printf("%-8ld %-13s %6d", options, per_section ? "ten a section" : "one section",
                        rounds);
            for (const double ns : f) std::printf(" %13.1f", ns);
            std::printf(" %11.2f\n", f[0] / f[1]);
            if (options == 1000)
                small = f;
            else {
                std::printf("%-8s %-13s %6s", "", "100k / 1k", "");
                for (std::size_t c = 0; c < f.size(); ++c) std::printf(" %13.2f", f[c] / small[c]);
                std::printf("\n");
            }
        }
    }
    platform::testing::set_program_dir(std::nullopt);
    fs::remove_all(dir);
    return 0;
}
