#include "filelist/entry_bytes.h"

#include <utility>

namespace j3 {

EntryBytes::EntryBytes(std::vector<uint8_t> bytes) {
    if (bytes.empty()) return;
    auto file = std::make_shared<MappedFile>();
    file->owned = std::move(bytes);
    file->data = file->owned.data();
    file->size = file->owned.size();
    data_ = file->data;
    size_ = file->size;
    file_ = std::move(file);
}

EntryBytes::EntryBytes(std::shared_ptr<const MappedFile> file) {
    if (!file || file->size == 0) return;
    data_ = file->data;
    size_ = file->size;
    file_ = std::move(file);
}

bool EntryBytes::changed_on_disk() const {
    return file_ && j3::changed_on_disk(*file_);
}

}  // namespace j3
