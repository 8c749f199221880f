#include "midi/midi_events.h"

namespace j3 {

uint32_t midi_message_length(uint8_t status) {
    if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;  // Cn and Dn carry one data byte
    switch (status) {
        case 0xF1:  // time code quarter frame
        case 0xF3:  // song select
            return 2;
        case 0xF2:  // song position
            return 3;
        default:
            return 1;
    }
}

uint32_t EventCutter::next(const uint8_t* data, uint32_t remaining) {
    if (remaining == 0) return 0;
    const uint32_t limit = remaining < kMaxEventBytes ? remaining : kMaxEventBytes;
    const uint8_t first = data[0];
    if (first >= 0xF8) return 1;  // real time: alone, whatever it interrupts

    if (first == 0xF0 || (first < 0x80 && (in_sysex_ || running_status_ == 0))) {
        // A SysEx message, or the rest of one under way (data with no status
        // before it can be nothing else).
        running_status_ = 0;
        in_sysex_ = true;
        uint32_t n = first == 0xF0 ? 1 : 0;
        for (; n < limit; ++n) {
            const uint8_t b = data[n];
            if (b == 0xF7) {
                in_sysex_ = false;
                return n + 1;
            }
            if (b >= 0xF8) return n;  // goes on after the real-time byte
            if (b >= 0x80) {
                // Another status ends the message without its F7.
                in_sysex_ = false;
                return n;
            }
        }
        return n;  // the message goes on in the next event (or request)
    }

    in_sysex_ = false;
    uint32_t length;
    uint32_t n;
    if (first >= 0x80) {
        running_status_ = first < 0xF0 ? first : 0;
        length = midi_message_length(first);
        n = 1;
    } else {
        // Running status: the data bytes of one more message of that kind.
        length = midi_message_length(running_status_) - 1;
        n = 0;
    }
    while (n < length && n < limit && data[n] < 0x80) ++n;
    return n == 0 ? 1 : n;
}

}  // namespace j3
