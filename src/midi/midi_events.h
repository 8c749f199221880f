// How a request's bytes are cut into the events a JACK port carries: one MIDI
// message per event, and a SysEx message longer than kMaxEventBytes in pieces
// of that many bytes. Receivers take an event as one message: several
// messages in one event are often dropped whole.
//
//   EventCutter cut;
//   for (uint32_t at = 0, n; at < length; at += n) {
//       n = cut.next(data + at, length - at);    // >= 1
//       put_event(data + at, n);
//   }
//
// A request may begin inside a SysEx message (the send loop cuts long ones
// into pieces): data bytes with no status before them belong to a SysEx
// message under way. A real-time byte (F8..FF) is an event of its own, also
// in the middle of a SysEx message, which then goes on in a new event.
#pragma once

#include <cstdint>

namespace j3 {

constexpr uint32_t kMaxEventBytes = 4096;

class EventCutter {
  public:
    // The length of the event that starts at data (remaining > 0): at least
    // 1, at most min(remaining, kMaxEventBytes).
    uint32_t next(const uint8_t* data, uint32_t remaining);

  private:
    bool in_sysex_ = false;
    uint8_t running_status_ = 0;  // the last channel message's status, 0 when none
};

// Bytes of a message with that status byte, itself included: 1 to 3.
uint32_t midi_message_length(uint8_t status);

}  // namespace j3
