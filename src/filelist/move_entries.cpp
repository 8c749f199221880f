#include "filelist/move_entries.h"

#include <algorithm>

namespace j3 {

size_t gap_for_drop_on(uint32_t target_id, uint32_t first_dragged_id, size_t count) {
    if (target_id == 0 || target_id > count) return count;
    return target_id <= first_dragged_id ? target_id - 1 : target_id;
}

std::vector<size_t> move_entries(FileList& list, const std::vector<uint32_t>& ascending_ids,
                                 size_t gap) {
    std::vector<size_t> new_position;
    list.with_entries([&](std::vector<FileEntry>& entries) {
        const size_t count = entries.size();
        gap = std::min(gap, count);
        std::vector<bool> dragged(count, false);
        for (uint32_t id : ascending_ids) dragged[id - 1] = true;

        // The new order by old position: the others before the gap, the
        // dragged ones, the others after it.
        std::vector<size_t> order;
        order.reserve(count);
        for (size_t p = 0; p < gap; ++p) {
            if (!dragged[p]) order.push_back(p);
        }
        for (uint32_t id : ascending_ids) order.push_back(id - 1);
        for (size_t p = gap; p < count; ++p) {
            if (!dragged[p]) order.push_back(p);
        }

        std::vector<FileEntry> moved;
        moved.reserve(count);
        new_position.resize(count);
        for (size_t i = 0; i < count; ++i) {
            new_position[order[i]] = i;
            moved.push_back(std::move(entries[order[i]]));
        }
        entries = std::move(moved);
    });
    return new_position;
}

}  // namespace j3
