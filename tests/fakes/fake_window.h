// A window that records what the core showed, and a list view whose selection
// the test sets.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/window_controls.h"

namespace j3::testing {

// What the fake records, each as the texts the window would show in turn.
enum Shown : int {
    kSendButton,     // "Send" / "Stop!"
    kReceiveButton,  // "Receive" / "Stop!"
    kSendStatus,
    kReceiveStatus,
    kSpeedLabel,
    kLoopButton,    // the choice's title
    kStereoButton,  // the choice's title
    kWaveformButton,
    kSampleNumberField,
};

class FakeWindow : public WindowControls {
  public:
    void show_sending(bool sending) override;
    void show_receiving(bool receiving) override;
    void set_send_status(std::string_view text) override;
    void set_receive_status(std::string_view text) override;
    void set_speed_label(std::string_view text) override;
    void set_speed_indicator(bool on) override;
    void show_loop_choice(LoopChoice choice) override;
    void show_stereo_choice(StereoChoice choice) override;
    void enable_loop_button(bool enabled) override;
    void enable_stereo_button(bool enabled) override;
    void enable_waveform_button(bool enabled) override;
    void set_info_text(std::string_view text) override;
    void set_progress_range(int32_t minimum, int32_t maximum) override;
    void set_progress_value(int32_t value) override;
    void set_sample_number(int32_t number) override;
    int32_t sample_number_value() const override;

    void list_add_item(uint32_t id) override;
    void list_remove_all() override;
    std::vector<uint32_t> list_selected_ids() const override;
    void list_select_item(uint32_t id) override;
    void list_reveal_item(uint32_t id) override;
    void list_update() override;
    // Queued; the test runs the queue with run_posted, standing in for the
    // GUI thread.
    void post_to_gui(std::function<void()> work) override;

    // Test side.
    // Runs the work posted so far, in order, on the caller's thread; returns
    // how much ran.
    int run_posted();
    void select(std::vector<uint32_t> ids);
    std::string text(Shown control) const;
    bool enabled(Shown control) const;
    std::vector<std::string> texts(Shown control) const;  // every text shown, in order

    mutable std::mutex mutex;
    std::map<Shown, std::vector<std::string>> text_history;
    std::map<Shown, bool> enabled_state;
    bool speed_indicator = false;
    std::string info_text;
    int32_t sample_number = 0;
    int32_t progress_min = 0, progress_max = 0, progress_value = 0;
    std::vector<int32_t> progress_values;
    std::vector<uint32_t> list_items;  // ids currently shown, in order
    std::vector<uint32_t> selection;   // ascending
    uint32_t revealed = 0;
    int list_updates = 0;
    std::deque<std::function<void()>> posted;

  private:
    void record(Shown control, std::string text);
    void set_enabled(Shown control, bool on);
};

}  // namespace j3::testing
