#include "filelist/mapped_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include "filelist/file_entry.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define J3_HAVE_MMAP 1
#endif

namespace j3 {

#ifdef J3_HAVE_MMAP
namespace {

// The mappings J3 holds, read by the SIGBUS handler: a fixed table of
// atomics, so the handler takes no lock and allocates nothing. A slot is
// taken (taken), then filled (length, then start); start is 0 while a slot
// is free or being filled or emptied.
struct MappedRange {
    std::atomic<bool> taken{false};
    std::atomic<uintptr_t> start{0};
    std::atomic<size_t> length{0};
    std::atomic<bool> changed{false};
};

// Lists of many items hold many mappings; past this many a file is read
// instead.
constexpr int kMappingSlots = 4096;
MappedRange g_ranges[kMappingSlots];
struct sigaction g_previous_sigbus {};

void on_sigbus(int signal, siginfo_t* info, void* context) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (MappedRange& range : g_ranges) {
        const uintptr_t start = range.start.load(std::memory_order_acquire);
        if (start == 0 || address < start) continue;
        const size_t length = range.length.load(std::memory_order_relaxed);
        if (address - start >= length) continue;
        // Zero pages over the whole mapping: the reader goes on, and what it
        // reads is plainly not the file.
        void* zeros = ::mmap(reinterpret_cast<void*>(start), length, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED) break;
        range.changed.store(true, std::memory_order_release);
        return;
    }
    // Not one of J3's mappings: whatever was in place before J3 takes it.
    ::sigaction(SIGBUS, &g_previous_sigbus, nullptr);
    if (info->si_code <= 0) ::raise(signal);  // sent, not a fault: sent again
    // A fault happens again on return, now with the previous action.
    (void)context;
}

void install_sigbus_handler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = on_sigbus;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous_sigbus);
    });
}

int take_slot(const void* mapping, size_t size) {
    install_sigbus_handler();
    for (int i = 0; i < kMappingSlots; ++i) {
        bool free = false;
        if (!g_ranges[i].taken.compare_exchange_strong(free, true)) continue;
        g_ranges[i].changed.store(false, std::memory_order_relaxed);
        g_ranges[i].length.store(size, std::memory_order_relaxed);
        g_ranges[i].start.store(reinterpret_cast<uintptr_t>(mapping), std::memory_order_release);
        return i;
    }
    return -1;
}

void free_slot(int slot) {
    g_ranges[slot].start.store(0, std::memory_order_release);
    g_ranges[slot].taken.store(false, std::memory_order_release);
}

int64_t modified_ns(const struct stat& st) {
#ifdef __APPLE__
    return int64_t(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
}

}  // namespace
#endif

MappedFile::~MappedFile() {
#ifdef J3_HAVE_MMAP
    if (slot >= 0) free_slot(slot);
    if (mapping) ::munmap(mapping, size);
#endif
}

Result map_file(const std::filesystem::path& path, MappedFile& file) {
#ifdef J3_HAVE_MMAP
    // The checks of read_whole_file first: no FIFO is opened, no file of 2 GiB
    // or more is mapped, a folder gets the system's words.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::is_regular_file(status)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return failure(std::strerror(errno));
        struct stat st {};
        void* mapping = MAP_FAILED;
        const bool sized = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
                           uint64_t(st.st_size) <= kMaxEntryBytes;
        if (sized) mapping = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        if (mapping != MAP_FAILED) {
            // Registered before a byte is read, so no read of it can fault
            // unguarded.
            const int slot = take_slot(mapping, size_t(st.st_size));
            if (slot >= 0) {
                file.mapping = mapping;
                file.slot = slot;
                file.data = static_cast<const uint8_t*>(mapping);
                file.size = size_t(st.st_size);
                file.path = path.string();
                file.device = uint64_t(st.st_dev);
                file.inode = uint64_t(st.st_ino);
                file.modified_ns = modified_ns(st);
                return {};
            }
            ::munmap(mapping, size_t(st.st_size));
        }
        // Empty, too large, not mappable or no slot left: the reader says which.
    }
#endif
    const Result read = read_whole_file(path, file.owned);
    if (!read) return read;
    file.data = file.owned.empty() ? nullptr : file.owned.data();
    file.size = file.owned.size();
    return {};
}

bool cut_short(const MappedFile& file) {
#ifdef J3_HAVE_MMAP
    return file.slot >= 0 && g_ranges[file.slot].changed.load(std::memory_order_acquire);
#else
    (void)file;
    return false;
#endif
}

bool changed_on_disk(const MappedFile& file) {
#ifdef J3_HAVE_MMAP
    if (file.slot < 0) return false;
    if (cut_short(file)) return true;
    struct stat st {};
    if (::stat(file.path.c_str(), &st) != 0) return false;  // gone: the mapping keeps it
    if (uint64_t(st.st_dev) != file.device || uint64_t(st.st_ino) != file.inode) return false;
    return uint64_t(st.st_size) != file.size || modified_ns(st) != file.modified_ns;
#else
    (void)file;
    return false;
#endif
}

}  // namespace j3
