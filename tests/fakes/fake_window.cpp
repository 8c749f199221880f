#include "fakes/fake_window.h"

#include <algorithm>

namespace j3::testing {

void FakeWindow::record(Shown control, std::string text) {
    std::lock_guard lock(mutex);
    text_history[control].push_back(std::move(text));
}

void FakeWindow::set_enabled(Shown control, bool on) {
    std::lock_guard lock(mutex);
    enabled_state[control] = on;
}

void FakeWindow::show_sending(bool sending) {
    record(kSendButton, sending ? "Stop!" : "Send");
}

void FakeWindow::show_receiving(bool receiving) {
    record(kReceiveButton, receiving ? "Stop!" : "Receive");
}

void FakeWindow::set_send_status(std::string_view text) {
    record(kSendStatus, std::string(text));
}

void FakeWindow::set_receive_status(std::string_view text) {
    record(kReceiveStatus, std::string(text));
}

void FakeWindow::set_speed_label(std::string_view text) {
    record(kSpeedLabel, std::string(text));
}

void FakeWindow::set_speed_indicator(bool on) {
    std::lock_guard lock(mutex);
    speed_indicator = on;
}

void FakeWindow::show_loop_choice(LoopChoice choice) {
    record(kLoopButton, loop_title(choice));
}

void FakeWindow::show_stereo_choice(StereoChoice choice) {
    record(kStereoButton, stereo_title(choice));
}

void FakeWindow::enable_loop_button(bool enabled) {
    set_enabled(kLoopButton, enabled);
}

void FakeWindow::enable_stereo_button(bool enabled) {
    set_enabled(kStereoButton, enabled);
}

void FakeWindow::enable_waveform_button(bool enabled) {
    set_enabled(kWaveformButton, enabled);
}

void FakeWindow::set_sample_number(int32_t number) {
    record(kSampleNumberField, std::to_string(number));
    std::lock_guard lock(mutex);
    sample_number = number;
}

void FakeWindow::set_info_text(std::string_view text) {
    std::lock_guard lock(mutex);
    info_text = std::string(text);
}

void FakeWindow::set_progress_range(int32_t minimum, int32_t maximum) {
    std::lock_guard lock(mutex);
    progress_min = minimum;
    progress_max = maximum;
}

void FakeWindow::set_progress_value(int32_t value) {
    std::lock_guard lock(mutex);
    progress_value = value;
    progress_values.push_back(value);
}

int32_t FakeWindow::sample_number_value() const {
    std::lock_guard lock(mutex);
    return sample_number;
}

void FakeWindow::list_add_item(uint32_t id) {
    std::lock_guard lock(mutex);
    list_items.push_back(id);
}

void FakeWindow::list_remove_all() {
    std::lock_guard lock(mutex);
    list_items.clear();
    selection.clear();
}

std::vector<uint32_t> FakeWindow::list_selected_ids() const {
    std::lock_guard lock(mutex);
    return selection;
}

void FakeWindow::list_select_item(uint32_t id) {
    std::lock_guard lock(mutex);
    if (std::find(selection.begin(), selection.end(), id) == selection.end()) {
        selection.insert(std::upper_bound(selection.begin(), selection.end(), id), id);
    }
}

void FakeWindow::list_reveal_item(uint32_t id) {
    std::lock_guard lock(mutex);
    revealed = id;
}

void FakeWindow::list_update() {
    std::lock_guard lock(mutex);
    ++list_updates;
}

void FakeWindow::select(std::vector<uint32_t> ids) {
    std::sort(ids.begin(), ids.end());
    std::lock_guard lock(mutex);
    selection = std::move(ids);
}

std::string FakeWindow::text(Shown control) const {
    std::lock_guard lock(mutex);
    auto it = text_history.find(control);
    return it == text_history.end() || it->second.empty() ? std::string() : it->second.back();
}

bool FakeWindow::enabled(Shown control) const {
    std::lock_guard lock(mutex);
    auto it = enabled_state.find(control);
    return it != enabled_state.end() && it->second;
}

std::vector<std::string> FakeWindow::texts(Shown control) const {
    std::lock_guard lock(mutex);
    auto it = text_history.find(control);
    return it == text_history.end() ? std::vector<std::string>() : it->second;
}

void FakeWindow::post_to_gui(std::function<void()> work) {
    std::lock_guard lock(mutex);
    posted.push_back(std::move(work));
}

int FakeWindow::run_posted() {
    int ran = 0;
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(mutex);
            if (posted.empty()) return ran;
            work = std::move(posted.front());
            posted.pop_front();
        }
        work();
        ++ran;
    }
}

}  // namespace j3::testing
