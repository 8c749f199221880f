// An entry's bytes: either bytes J3 owns (a received dump, a built waveform,
// anything made in memory) or a read-only mapping of the item's file, whose
// pages stay the system's reclaimable file cache. Readers see one buffer
// that never changes while they hold it; copies share it.
//
//     entry.data = std::vector<uint8_t>{...};            // owned
//     map_item_file(path, entry.data);                   // mapped
//     parse(entry.data.data(), entry.data.size());
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "filelist/mapped_file.h"

namespace j3 {

struct EntryBytes {
    EntryBytes() = default;
    EntryBytes(std::vector<uint8_t> bytes);  // owned; implicit, as the vector it stands for
    EntryBytes(std::initializer_list<uint8_t> bytes) : EntryBytes(std::vector<uint8_t>(bytes)) {}
    explicit EntryBytes(std::shared_ptr<const MappedFile> file);

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }
    uint8_t operator[](size_t i) const { return data_[i]; }
    std::span<const uint8_t> span() const { return {data_, size_}; }

    // True when the bytes are a mapping whose file changed under J3 since it
    // was mapped (see changed_on_disk in mapped_file.h); owned bytes never do.
    bool changed_on_disk() const;
    // True when a read of the mapping met pages lost to a cut (cut_short in
    // mapped_file.h): one atomic load, no look at the disk.
    bool cut_short() const { return file_ && j3::cut_short(*file_); }
    // True when the bytes are a mapping of the file, not a copy.
    bool mapped() const { return file_ && file_->mapping != nullptr; }

    friend bool operator==(const EntryBytes& a, const std::vector<uint8_t>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

  private:
    std::shared_ptr<const MappedFile> file_;  // null when empty
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace j3
