#include "midi/midi_service.h"

#include <chrono>

namespace j3 {

uint64_t arrival_time_ns() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

const char* send_result_text(SendResult result) {
    switch (result) {
        case kSendTaken:
            return "taken";
        case kSendTooLarge:
            return "the message is larger than the destination's MIDI system carries";
        case kSendNoDestination:
            return "the destination is not there";
        case kSendBackendLost:
            return "the MIDI server behind the destination has gone away";
        case kSendDisconnected:
            return "the destination was disconnected from J3's output";
        case kSendBackendError:
            return "the MIDI system refused the message";
    }
    return "the MIDI service refused the message";
}

}  // namespace j3
