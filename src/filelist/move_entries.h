// Reordering the list by dragging rows: the dragged entries move together to
// the drop position, keeping their order, and every other entry keeps its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filelist/file_entry.h"

namespace j3 {

// The gap (0 = before the first entry, count = after the last) where entries
// dropped onto the entry target_id land: before it when they come from below
// it (moving up), after it when they come from above (moving down); the
// direction is judged from the first dragged id. A target of 0 or past the
// last entry (the empty space below the rows) is the end.
size_t gap_for_drop_on(uint32_t target_id, uint32_t first_dragged_id, size_t count);

// Moves the entries of the given ids (ascending, each 1 .. count, no repeats)
// to gap, counted in the list as it was, under the list's lock. Returns the
// new position of each old position. Nothing is lost or duplicated.
std::vector<size_t> move_entries(FileList& list, const std::vector<uint32_t>& ascending_ids,
                                 size_t gap);

}  // namespace j3
