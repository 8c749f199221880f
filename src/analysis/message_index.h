// The SysEx messages a buffer is made of, for the window's message table and
// `j3 info --messages`: where each one lies, and what can be told of it.
//
//     std::vector<MessageSpan> spans = index_messages(data, size);    // once per buffer
//     MessageFacts facts = describe_message(data, size, spans[row]);  // per row shown
//
// A message runs from an F0 to the first F7 after it, both included: the
// messages the send loop sends (it cuts one of more than 4096 bytes into
// pieces, which are still one message here). Bytes between an F7 and the next
// F0 belong to no message, and an F0 without an F7 after it (an unterminated
// tail) is not a message. Plain functions that read only inside the buffer; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace j3 {

// Items are below 2 GiB, so 32 bits hold every offset and length.
struct MessageSpan {
    uint32_t offset = 0;  // the F0
    uint32_t length = 0;  // bytes from the F0 to the F7, both included
};

// Every message of the buffer, in order. Two memchr scans per message, so it
// runs at memory speed whatever the bytes.
std::vector<MessageSpan> index_messages(const uint8_t* data, size_t size);

enum class MessageCheck { kNone, kGood, kBad };

struct MessageFacts {
    // The maker id bytes as upper-case hex pairs: "43", "00 20 3C", "7E"
    // (universal messages); empty when the message ends before them.
    std::string maker;
    std::string_view maker_name;  // for the common ids, else empty
    std::string_view family;      // "KX", "LY", "SDS", ... or empty
    std::string kind;             // "Kit", "Waveform", "Data packet", ... or empty
    // Block messages of the families and SDS data packets carry a checksum;
    // kBad also for such a message cut too short to hold it.
    MessageCheck check = MessageCheck::kNone;
};

MessageFacts describe_message(const uint8_t* data, size_t size, const MessageSpan& span);

// "good", "bad" or "".
std::string_view check_word(MessageCheck check);

}  // namespace j3
