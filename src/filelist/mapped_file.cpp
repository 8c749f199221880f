#include "filelist/mapped_file.h"

#include <cerrno>
#include <cstring>

#include "filelist/file_entry.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define J3_HAVE_MMAP 1
#endif

namespace j3 {

MappedFile::~MappedFile() {
#ifdef J3_HAVE_MMAP
    if (mapping) munmap(mapping, size);
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
            file.mapping = mapping;
            file.data = static_cast<const uint8_t*>(mapping);
            file.size = size_t(st.st_size);
            return {};
        }
        // Empty, too large or not mappable: the reader says which.
    }
#endif
    const Result read = read_whole_file(path, file.owned);
    if (!read) return read;
    file.data = file.owned.empty() ? nullptr : file.owned.data();
    file.size = file.owned.size();
    return {};
}

}  // namespace j3
