// A window that shows nothing, for benchmarks and fuzz runs, where recording
// what the window would show only costs time. Header-only: those programs do
// not link the recording fakes.
#pragma once

#include <functional>
#include <vector>

#include "engine/window_controls.h"

namespace j3::testing {

class NullWindow : public WindowControls {
  public:
    void show_sending(bool) override {}
    void show_receiving(bool) override {}
    void set_send_status(std::string_view) override {}
    void set_receive_status(std::string_view) override {}
    void set_speed_label(std::string_view) override {}
    void set_speed_indicator(bool) override {}
    void show_loop_choice(LoopChoice) override {}
    void show_stereo_choice(StereoChoice) override {}
    void enable_loop_button(bool) override {}
    void enable_stereo_button(bool) override {}
    void enable_waveform_button(bool) override {}
    void set_info_text(std::string_view) override {}
    void set_progress_range(int32_t, int32_t) override {}
    void set_progress_value(int32_t) override {}
    void set_sample_number(int32_t) override {}
    int32_t sample_number_value() const override { return 0; }
    void list_add_item(uint32_t) override {}
    void list_remove_all() override {}
    std::vector<uint32_t> list_selected_ids() const override { return selected; }
    void list_select_item(uint32_t) override {}
    void list_reveal_item(uint32_t) override {}
    void list_update() override {}
    // The caller's thread stands in for the GUI thread: posted work runs at
    // once, or is dropped when the program does not measure it.
    void post_to_gui(std::function<void()> work) override {
        if (run_posted) work();
    }

    std::vector<uint32_t> selected;
    bool run_posted = false;
};

}  // namespace j3::testing
