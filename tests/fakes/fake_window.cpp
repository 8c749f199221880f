#include "fakes/fake_window.h"

#include <algorithm>
#include <cstdlib>

namespace j3::testing {

void FakeWindow::set_control_text(int control, std::string_view text) {
    std::lock_guard lock(mutex);
    text_history[control].emplace_back(text);
}

void FakeWindow::enable_control(int control, bool on) {
    std::lock_guard lock(mutex);
    enabled_state[control] = on;
}

void FakeWindow::set_speed_indicator(bool on) {
    std::lock_guard lock(mutex);
    speed_indicator = on;
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
    auto it = text_history.find(kSampleNumberField);
    if (it == text_history.end() || it->second.empty()) return 0;
    return std::atoi(it->second.back().c_str());
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

std::string FakeWindow::text(int control) const {
    std::lock_guard lock(mutex);
    auto it = text_history.find(control);
    return it == text_history.end() || it->second.empty() ? std::string() : it->second.back();
}

bool FakeWindow::enabled(int control) const {
    std::lock_guard lock(mutex);
    auto it = enabled_state.find(control);
    return it != enabled_state.end() && it->second;
}

std::vector<std::string> FakeWindow::texts(int control) const {
    std::lock_guard lock(mutex);
    auto it = text_history.find(control);
    return it == text_history.end() ? std::vector<std::string>() : it->second;
}

}  // namespace j3::testing
