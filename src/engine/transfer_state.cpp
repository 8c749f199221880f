#include "engine/transfer_state.h"

namespace j3 {

void set_status_text(TransferState& state, std::string text) {
    std::lock_guard lock(state.text_mutex);
    state.status_text = std::move(text);
}

std::string status_text(const TransferState& state) {
    std::lock_guard lock(state.text_mutex);
    return state.status_text;
}

void set_receive_status_text(TransferState& state, std::string text) {
    std::lock_guard lock(state.text_mutex);
    state.receive_status_text = std::move(text);
}

std::string receive_status_text(const TransferState& state) {
    std::lock_guard lock(state.text_mutex);
    return state.receive_status_text;
}

}  // namespace j3
