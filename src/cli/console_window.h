// The command line's window controls: no widgets, a list kept in memory, and
// the status line printed when it changes.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "engine/window_controls.h"

namespace j3 {

class ConsoleWindow : public WindowControls {
  public:
    explicit ConsoleWindow(FILE* status_out = nullptr) : status_out_(status_out) {}

    void set_control_text(int control, std::string_view text) override;
    void enable_control(int, bool) override {}
    void set_speed_indicator(bool) override {}
    void set_info_text(std::string_view text) override;
    void set_progress_range(int32_t, int32_t) override {}
    void set_progress_value(int32_t) override {}
    int32_t sample_number_value() const override { return sample_number_; }

    void list_add_item(uint32_t id) override;
    void list_remove_all() override;
    std::vector<uint32_t> list_selected_ids() const override;
    void list_select_item(uint32_t id) override;
    void list_reveal_item(uint32_t) override {}
    void list_update() override {}

    void set_sample_number(int32_t n) { sample_number_ = n; }
    void select_all();
    std::string info_text() const;

  private:
    FILE* status_out_;
    std::atomic<int32_t> sample_number_{0};
    mutable std::mutex mutex_;
    uint32_t item_count_ = 0;
    std::vector<uint32_t> selected_;
    std::string info_text_;
    std::string last_status_;
};

}  // namespace j3
