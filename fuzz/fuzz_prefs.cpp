// Any bytes as "Karthos.prefs": loading must never crash, and saving is a fixed
// point: what the writer produced loads back and saves to the very same bytes.
#include "configfile.h"
#include "platform/files.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path &fuzz_dir()
{
    static const fs::path dir = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "ktlaunch-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        platform::testing::set_program_dir(pattern);
        std::atexit([] { fs::remove_all(fuzz_dir()); });
        return fs::path(pattern);
    }();
    return dir;
}

std::string load_and_save(const std::string &bytes)
{
    const fs::path prefs = fuzz_dir() / "Karthos.prefs";
    std::ofstream(prefs, std::ios::binary | std::ios::trunc) << bytes;
    if (!config_init() || !config_save())
        std::abort();
    config_shut();
    std::ostringstream saved;
    saved << std::ifstream(prefs, std::ios::binary).rdbuf();
    return saved.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string once = load_and_save(std::string(reinterpret_cast<const char *>(data), size));
    if (load_and_save(once) != once)
        std::abort();
    return 0;
}
