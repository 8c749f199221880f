// Cutting a buffer of SysEx messages into the pieces the send loop hands to
// the MIDI service, one at a time. Pure: any thread, on its own SplitState.
//
//   SplitState split;
//   const uint8_t* ptr = buffer;
//   int32_t pos = 0, n;
//   while ((n = split_next_message(split, pos, total, ptr)) > 0) send(ptr, n);
#pragma once

#include <cstdint>

namespace j3 {

constexpr uint8_t kSysexStart = 0xF0;
constexpr uint8_t kSysexEnd = 0xF7;

// A piece is at most this many bytes; the scan for the closing F7 covers the
// first kPieceLimit - 1 bytes of a piece.
constexpr int32_t kPieceLimit = 4096;

// The splitter's place in the buffer.
struct SplitState {
    const uint8_t* split_ptr = nullptr;  // next unread byte
    int32_t split_total = 0;             // the buffer's byte count
    bool split_continue = false;         // the last piece stopped inside a message
};

// Cuts the next piece from the buffer. With pos 0 the splitter starts on
// (ptr, total); later calls read only its own state. Returns the piece's length
// (ptr set to its first byte), 0 when no further complete message remains.
// Bytes between an F7 and the next F0 are skipped; an unterminated last
// message is never returned.
int32_t split_next_message(SplitState& split, int32_t& pos, int32_t total, const uint8_t*& ptr);

}  // namespace j3
