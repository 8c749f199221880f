#include "midi/midi_service.h"

namespace j3 {

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
