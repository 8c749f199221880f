// Fuzz target for the way out and back: a mono integer WAV made from the
// input (its bits, rate, loop points and samples all taken from it) is encoded
// as J3 sends it, in the standard or the extended form, then received as J3
// receives it into a WAV. Beyond not crashing: J3 reads every dump it writes
// (the header is accepted, the dump completes), and the samples come back
// bit for bit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/sample_info.h"
#include "audio/sds_encoder.h"
#include "fixtures/audio_files.h"
#include "receive/dump_assembler.h"

namespace {

using namespace j3;
using j3::testing::Bytes;

void check(bool ok) {
    if (!ok) std::abort();
}

int32_t read32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

// At most this many frames, so one input runs in well under a millisecond.
constexpr size_t kMaxFrames = 4000;
constexpr size_t kHeaderBytes = 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes) return 0;
    // 0: bits (8, 16, 24) and the header form; 1: loop choice; 2-3: rate;
    // 4-11: loop start and end as the file's marker states them.
    constexpr int32_t kBits[] = {8, 16, 24};
    const int32_t bits = kBits[data[0] % 3];
    const bool extended = data[0] & 0x10;
    const int32_t container = bits / 8;
    j3::testing::WavFile w;
    w.bits = bits;
    w.container = container;
    w.rate = 1000 + (data[2] | data[3] << 8);
    w.loop = j3::testing::Loop{read32(data + 4), read32(data + 8), 0};
    const size_t frames = std::min((size - kHeaderBytes) / size_t(container), kMaxFrames);
    if (frames == 0) return 0;
    const Bytes samples(data + kHeaderBytes, data + kHeaderBytes + frames * size_t(container));
    w.raw_data = samples;
    const Bytes file = j3::testing::make_wav(w);

    const std::string name = "fuzz";
    SdsItemParams item;
    item.loop_choice = data[1] % 3;
    item.name_text = extended ? &name : nullptr;
    SdsEncoder enc;
    int32_t pos = 0, length = int32_t(file.size());
    const uint8_t* message = file.data();
    int32_t n = next_sds_message(enc, item, pos, &length, message);
    check(n > 0);
    Bytes dump(message, message + n);
    while (pos < length) {
        n = next_sds_message(enc, item, pos, nullptr, message);
        check(n == int32_t(kSdsPacketSize));
        dump.insert(dump.end(), message, message + n);
    }

    DumpAssembler a;
    a.sds_format = kSdsFormatWav;
    assemble_bytes(a, dump.data(), dump.size());
    finish_assembly(a, dump.size());
    check(a.events.size() == 1 && a.events[0].kind == DumpEvent::kItemDone);
    const Bytes& back = a.events[0].item;
    SampleInfo info;
    check(parse_wav(back.data(), back.size(), info) == AudioParseStatus::kOk);
    check(info.sample_length == int32_t(frames));
    check(info.bits_per_sample == bits);
    check(size_t(info.data_end - info.data_start) == samples.size());
    check(std::memcmp(info.data_start, samples.data(), samples.size()) == 0);
    return 0;
}
