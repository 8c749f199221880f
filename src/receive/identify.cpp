#include "receive/identify.h"

#include <algorithm>

#include "analysis/message_index.h"
#include "engine/context.h"
#include "engine/turbo.h"
#include "receive/reception.h"

namespace j3 {

void IdentityListener::start() {
    {
        Lock lock(mutex_);
        message_.clear();
        in_message_ = false;
        replies_.clear();
    }
    listening_ = true;
}

std::vector<IdentityReply> IdentityListener::stop() {
    listening_ = false;
    Lock lock(mutex_);
    std::vector<IdentityReply> replies;
    replies.swap(replies_);
    return replies;
}

void IdentityListener::feed(const MidiPacketList& packets) {
    if (!listening_) return;
    Lock lock(mutex_);
    for (const MidiPacket& packet : packets) {
        for (const uint8_t byte : packet.bytes) {
            if (byte >= 0xF8) continue;  // real-time bytes may sit anywhere
            if (byte == 0xF0) {
                message_.assign(1, byte);
                in_message_ = true;
                continue;
            }
            if (!in_message_) continue;
            if (byte >= 0x80 && byte != 0xF7) {  // a status byte cuts the message short
                in_message_ = false;
                continue;
            }
            if (message_.size() >= kLongest) {
                in_message_ = false;
                continue;
            }
            message_.push_back(byte);
            if (byte != 0xF7) continue;
            in_message_ = false;
            const std::optional<IdentityReply> r =
                read_identity_reply(message_.data(), message_.size());
            if (r && std::find(replies_.begin(), replies_.end(), *r) == replies_.end())
                replies_.push_back(*r);
        }
    }
}

bool ask_identity(Context& ctx, uint8_t device) {
    const Endpoint destination = ctx.endpoints.destination_endpoint;
    if (destination == kNoEndpoint) return false;
    IdentityListener& listener = ctx.reception->identity();
    listener.start();
    const auto request = identity_request(device);
    if (!send_control_message(ctx, destination, request.data(), request.size())) {
        listener.stop();
        return false;
    }
    return true;
}

std::string identity_reply_line(const IdentityReply& reply) {
    // The maker's name as the message table gives it: asked of a message
    // that is nothing but the id.
    uint8_t id_message[5] = {0xF0};
    for (size_t i = 0; i < reply.maker_size; ++i) id_message[1 + i] = reply.maker[i];
    id_message[1 + reply.maker_size] = 0xF7;
    const uint32_t length = uint32_t(reply.maker_size) + 2;
    const MessageFacts facts = describe_message(id_message, length, {0, length});
    std::string line =
        "Device " + std::to_string(reply.device) + ": maker " + identity_maker_hex(reply);
    if (!facts.maker_name.empty()) line += " (" + std::string(facts.maker_name) + ")";
    line += ", family " + std::to_string(reply.family) + ", member " +
            std::to_string(reply.member) + ", version " + identity_version_text(reply);
    return line;
}

}  // namespace j3
