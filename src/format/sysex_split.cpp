#include "format/sysex_split.h"

namespace j3 {

int32_t split_next_message(SplitState& s, int32_t& pos, int32_t total, const uint8_t*& ptr) {
    if (pos == 0) {
        s.split_ptr = ptr;
        s.split_total = total;
    }
    if (!s.split_continue) {
        while (pos < s.split_total && *s.split_ptr != kSysexStart) {
            ++s.split_ptr;
            ++pos;
        }
    }
    ptr = s.split_ptr;
    if (pos >= s.split_total) return 0;

    s.split_continue = false;
    int32_t n = 0;
    while (pos + n < s.split_total && s.split_ptr[n] != kSysexEnd) {
        ++n;
        if (n == kPieceLimit - 1) {
            s.split_continue = true;
            break;
        }
    }
    if (pos + n >= s.split_total) {
        // The buffer ended before an F7: the unterminated message is not sent.
        ++s.split_ptr;
        ++pos;
        return 0;
    }
    // A piece that happens to end on the message's F7 closes the message, so
    // bytes after it are not taken for the message's continuation.
    if (s.split_continue && s.split_ptr[n] == kSysexEnd) s.split_continue = false;
    // n == 0 only in a continuation that starts on its message's F7 (an F7
    // exactly 4096 bytes after its F0): that one-byte piece is sent too, so
    // the message is closed and later messages still go out.
    s.split_ptr += n + 1;
    pos += n + 1;
    return n + 1;
}

}  // namespace j3
