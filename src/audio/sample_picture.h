// What the window draws of an audio item: the smallest and largest sample
// word of each pixel column over a range of frames, and the frames around the
// loop seam. The window only paints these numbers.
//
//     SampleInfo info;
//     if (parse_audio_file(data, size, info)) {
//         SamplePeaks p = compute_peaks(info, 0, info.sample_length, width_px);
//         // p.min_of(channel, column) ... p.max_of(channel, column), in words
//     }
//
// Words are the packet fillers' words (read_sample_word): bits_per_sample
// bits, so full scale is 2^(bits_per_sample - 1). Plain functions over the
// buffer SampleInfo points into; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/sample_info.h"

namespace j3 {

struct SamplePeaks {
    int32_t channels = 0;
    int32_t columns = 0;
    int64_t first_frame = 0;  // the range actually covered, inside the sample
    int64_t frame_count = 0;
    int32_t full_scale = 1;     // 2^(bits_per_sample - 1)
    std::vector<int32_t> low;   // [channel * columns + column]
    std::vector<int32_t> high;  // same layout

    int32_t min_of(int32_t channel, int32_t column) const {
        return low[size_t(channel) * size_t(columns) + size_t(column)];
    }
    int32_t max_of(int32_t channel, int32_t column) const {
        return high[size_t(channel) * size_t(columns) + size_t(column)];
    }
};

// Frames of column c (0 <= c < columns) of a range of count frames from
// first: [first + c * count / columns, first + (c + 1) * count / columns),
// widened to one frame when that is empty, so a range narrower than the
// columns repeats each frame over the columns it spans.
struct FrameSpan {
    int64_t begin = 0;
    int64_t end = 0;
};
FrameSpan column_frames(int64_t first, int64_t count, int32_t columns, int32_t column);

// Min and max word per channel and column of frames first ... first + count
// - 1, clipped to the sample. One pass over the words; 16-bit integer data
// (WAV, AIFC sowt) takes a path the compiler vectorises, every other layout
// the converters read (8 to 32-bit integers either way round, 32 and 64-bit
// floats) a tight loop of its own that converts only each column's extremes,
// and anything else the general reader. Empty (columns 0)
// when the record has no sample data, the clipped range is empty or columns
// is not positive.
SamplePeaks compute_peaks(const SampleInfo& info, int64_t first_frame, int64_t frame_count,
                          int32_t columns);

// The words on both sides of the loop seam: the last frames up to and
// including loop_end, then the first ones from loop_start, as the instrument
// plays them one after the other. Frames are interleaved by channel; each
// side holds up to `frames` frames, fewer where the sample ends.
struct LoopSeam {
    int32_t channels = 0;
    int32_t full_scale = 1;
    int64_t before_first = 0;     // frame number of before's first frame
    std::vector<int32_t> before;  // frames before_first ... loop_end
    std::vector<int32_t> after;   // frames loop_start ...
};
LoopSeam loop_seam(const SampleInfo& info, int32_t loop_start, int32_t loop_end, int32_t frames);

}  // namespace j3
