// A window that records what the core showed, and a list view whose selection
// the test sets.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/window_controls.h"

namespace j3::testing {

class FakeWindow : public WindowControls {
  public:
    void set_control_text(int control, std::string_view text) override;
    void enable_control(int control, bool enabled) override;
    void set_speed_indicator(bool on) override;
    void set_info_text(std::string_view text) override;
    void set_progress_range(int32_t minimum, int32_t maximum) override;
    void set_progress_value(int32_t value) override;
    int32_t sample_number_value() const override;

    void list_add_item(uint32_t id) override;
    void list_remove_all() override;
    std::vector<uint32_t> list_selected_ids() const override;
    void list_select_item(uint32_t id) override;
    void list_reveal_item(uint32_t id) override;
    void list_update() override;

    // Test side.
    void select(std::vector<uint32_t> ids);
    std::string text(int control) const;
    bool enabled(int control) const;
    std::vector<std::string> texts(int control) const;  // every text shown, in order

    mutable std::mutex mutex;
    std::map<int, std::vector<std::string>> text_history;
    std::map<int, bool> enabled_state;
    bool speed_indicator = false;
    std::string info_text;
    int32_t progress_min = 0, progress_max = 0, progress_value = 0;
    std::vector<int32_t> progress_values;
    std::vector<uint32_t> list_items;  // ids currently shown, in order
    std::vector<uint32_t> selection;   // ascending
    uint32_t revealed = 0;
    int list_updates = 0;
};

}  // namespace j3::testing
