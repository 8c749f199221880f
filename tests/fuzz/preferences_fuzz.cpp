// Fuzz target for the preferences loader: the input is the preferences file.
// Beyond not crashing or hanging at start-up: what was loaded, saved and
// loaded again gives the same settings, and once the file has been written
// by J3, writing it again changes nothing (nothing is lost on the way round).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/preferences.h"
#include "fakes/test_context.h"

namespace {

using namespace j3;
namespace fs = std::filesystem;

void check(bool ok, int line = __builtin_LINE()) {
    if (!ok) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

struct Taken {
    int32_t window_x, window_y, window_w, window_h, turbo_limit, sds_format, send_delay;
    bool reload_files, ignore_handshake, send_filename, extended_sds;
    uint8_t device_number;
    size_t entries;
    bool operator==(const Taken&) const = default;
};

Taken taken(const Context& ctx) {
    const Settings& s = ctx.settings;
    return {s.window_x,     s.window_y,      s.window_w,      s.window_h,         s.turbo_limit,
            s.sds_format,   s.send_delay,    s.reload_files,  s.ignore_handshake, s.send_filename,
            s.extended_sds, s.device_number, ctx.files.size()};
}

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One folder per process, so parallel fuzzing jobs keep apart; removed at
// exit.
struct Folder {
    Folder() {
        // In memory where there is such a folder: every save is flushed to
        // the disk, which would make the run crawl.
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = base / ("j3-fuzz-prefs-" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

const fs::path& folder() {
    static const Folder dir;
    return dir.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path file = folder() / kPreferencesFileName;
    std::error_code ec;
    fs::remove(fs::path(file) += ".bad", ec);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));

    j3::testing::TestContext first;
    const bool used = load_preferences(first.ctx, file) == PreferencesLoad::kFromFile;
    if (!save_preferences(first.ctx, file)) return 0;

    // Loading adds the switches a file lacks, so the first file written may
    // gain keys; from then on nothing changes. A refused file leaves what it
    // set before it was refused in memory (not in the defaults written), so
    // the comparison starts after it.
    j3::testing::TestContext second;
    check(load_preferences(second.ctx, file) == PreferencesLoad::kFromFile);
    const Taken want = taken(used ? first.ctx : second.ctx);
    check(taken(second.ctx) == want);
    check(save_preferences(second.ctx, file).ok);
    const std::string saved = contents(file);

    j3::testing::TestContext third;
    check(load_preferences(third.ctx, file) == PreferencesLoad::kFromFile);
    check(taken(third.ctx) == want);
    check(save_preferences(third.ctx, file).ok);
    check(contents(file) == saved);
    return 0;
}
