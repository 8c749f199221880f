// The read-only commands on a large WAV (J3_BENCH_WAV_MB megabytes of 16-bit
// stereo, 600 unless set), made once in the system's temporary folder:
//
//   BM_HeaderOnlyRead: open, read the first 4 KiB, parse the header: the
//     least any reader can do, to read the others against;
//   BM_InfoCommand: `j3 info FILE` (output to /dev/null);
//   BM_ConvertCommand: `j3 convert [--extended] FILE -o OUT.syx`.
//
// Each reports "rss_anon_kb", the process's anonymous memory after the run
// (a copy of the input or output would show as hundreds of megabytes; the
// runs free nothing they could keep), and "vm_hwm_kb", the resident peak so
// far, which also counts the file's pages in the system's cache.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "audio/audio_info.h"
#include "audio/sample_info.h"
#include "cli/cli.h"
#include "format/bytes.h"

namespace {

namespace fs = std::filesystem;

const fs::path& big_wav() {
    static const fs::path path = [] {
        const char* mb_text = std::getenv("J3_BENCH_WAV_MB");
        const uint64_t mb = mb_text ? std::strtoull(mb_text, nullptr, 10) : 600;
        const uint32_t data = uint32_t(mb * 1024 * 1024 / 4 * 4);
        fs::path p = fs::temp_directory_path() / ("j3_file_bench_" + std::to_string(mb) + ".wav");
        if (fs::exists(p) && fs::file_size(p) == uint64_t(data) + 44) return p;
        std::vector<uint8_t> header(44);
        uint8_t* h = header.data();
        std::memcpy(h, "RIFF", 4);
        j3::write_le32(h + 4, data + 36);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        j3::write_le32(h + 16, 16);
        j3::write_le16(h + 20, 1);
        j3::write_le16(h + 22, 2);
        j3::write_le32(h + 24, 44100);
        j3::write_le32(h + 28, 44100 * 4);
        j3::write_le16(h + 32, 4);
        j3::write_le16(h + 34, 16);
        std::memcpy(h + 36, "data", 4);
        j3::write_le32(h + 40, data);
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(h), 44);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = char(i * 7919 >> 3);
        for (uint64_t left = data; left > 0;) {
            const size_t n = size_t(std::min<uint64_t>(left, block.size()));
            out.write(block.data(), std::streamsize(n));
            left -= n;
        }
        return p;
    }();
    return path;
}

// A field of /proc/self/status in kB, or -1.
double status_kb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double value = -1;
    const size_t len = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, len) == 0 && line[len] == ':') {
            value = std::atof(line + len + 1);
            break;
        }
    }
    std::fclose(f);
    return value;
}

void report_memory(benchmark::State& state) {
    state.counters["rss_anon_kb"] = status_kb("RssAnon");
    state.counters["vm_hwm_kb"] = status_kb("VmHWM");
}

void BM_HeaderOnlyRead(benchmark::State& state) {
    const fs::path& path = big_wav();
    for (auto _ : state) {
        std::vector<uint8_t> head(4096);
        const int fd = ::open(path.c_str(), O_RDONLY);
        const ssize_t n = ::read(fd, head.data(), head.size());
        ::close(fd);
        j3::SampleInfo info;
        benchmark::DoNotOptimize(j3::audio_info_text(head.data(), size_t(n), info));
    }
    report_memory(state);
}
BENCHMARK(BM_HeaderOnlyRead)->Unit(benchmark::kMillisecond);

// Standard output goes to /dev/null while a command runs.
struct QuietStdout {
    QuietStdout() {
        std::fflush(stdout);
        saved = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        ::dup2(saved, 1);
        ::close(saved);
    }
    int saved;
};

void BM_InfoCommand(benchmark::State& state) {
    const std::string path = big_wav().string();
    for (auto _ : state) {
        QuietStdout quiet;
        benchmark::DoNotOptimize(j3::info_command({path}));
    }
    report_memory(state);
}
BENCHMARK(BM_InfoCommand)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ConvertCommand(benchmark::State& state) {
    const std::string path = big_wav().string();
    const std::string out = (fs::temp_directory_path() / "j3_file_bench_out.syx").string();
    std::vector<std::string> args = {path, "-o", out};
    if (state.range(0)) args.insert(args.begin(), "--extended");
    for (auto _ : state) {
        QuietStdout quiet;
        benchmark::DoNotOptimize(j3::convert_command(args));
    }
    report_memory(state);
    std::error_code ec;
    fs::remove(out, ec);
}
BENCHMARK(BM_ConvertCommand)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"extended"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
