// The command line's window controls: no widgets, a list kept in memory, and
// the status line printed when it changes. Work posted to "the GUI thread"
// runs in order on a thread of the console's own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/thread_annotations.h"
#include "engine/window_controls.h"

namespace j3 {

class ConsoleWindow : public WindowControls {
  public:
    explicit ConsoleWindow(FILE* status_out = nullptr) : status_out_(status_out) {}
    // Runs the work still posted, then ends the console's thread.
    ~ConsoleWindow() override;

    void show_sending(bool sending) override;
    void show_receiving(bool receiving) override;
    void set_send_status(std::string_view text) override { print_status(text); }
    void set_receive_status(std::string_view text) override { print_status(text); }
    void set_speed_label(std::string_view) override {}
    void set_speed_indicator(bool) override {}
    void show_loop_choice(LoopChoice) override {}
    void show_stereo_choice(StereoChoice) override {}
    void enable_loop_button(bool) override {}
    void enable_stereo_button(bool) override {}
    void enable_waveform_button(bool) override {}
    void set_info_text(std::string_view text) override;
    void set_progress_range(int32_t, int32_t) override {}
    void set_progress_value(int32_t) override {}
    void set_sample_number(int32_t number) override { sample_number_ = number; }
    int32_t sample_number_value() const override { return sample_number_; }

    void list_add_item(uint32_t id) override;
    void list_remove_all() override;
    std::vector<uint32_t> list_selected_ids() const override;
    void list_select_item(uint32_t id) override;
    void list_reveal_item(uint32_t) override {}
    void list_update() override {}
    void post_to_gui(std::function<void()> work) override;

    // Waits until all work posted so far has run. Not from posted work.
    void drain();
    // Waits until one more piece of posted work has run, or `most` has passed.
    // Not from posted work.
    void wait_for_work(std::chrono::milliseconds most);

    // A progress line of the send: printed only while the send shows as
    // going, so a line read just before the send ended never follows the
    // line that says how it ended.
    void set_send_progress(std::string_view text);
    // The same for the reception's progress lines.
    void set_receive_progress(std::string_view text);

    void select_all();
    // Prints no more status lines (the caller prints the last one itself).
    void mute_status();
    std::string info_text() const;

  private:
    // Prints a status line when it differs from the last one printed.
    void print_status(std::string_view text) J3_EXCLUDES(mutex_);
    void print_status_locked(std::string_view text) J3_REQUIRES(mutex_);

    FILE* status_out_;
    std::atomic<int32_t> sample_number_{0};
    // Taken only inside the calls above, never around anything but the
    // fields below and the status line's print.
    mutable Mutex mutex_{LockRank::kConsoleStatus};
    uint32_t item_count_ J3_GUARDED_BY(mutex_) = 0;
    std::vector<uint32_t> selected_ J3_GUARDED_BY(mutex_);
    std::string info_text_ J3_GUARDED_BY(mutex_);
    std::string last_status_ J3_GUARDED_BY(mutex_);
    bool muted_ J3_GUARDED_BY(mutex_) = false;
    bool sending_ J3_GUARDED_BY(mutex_) = false;
    bool receiving_ J3_GUARDED_BY(mutex_) = false;

    void run_posted() J3_EXCLUDES(post_mutex_);
    // Never held while posted work runs.
    Mutex post_mutex_{LockRank::kConsolePosts};
    std::condition_variable_any post_changed_;
    std::deque<std::function<void()>> posted_ J3_GUARDED_BY(post_mutex_);
    bool running_work_ J3_GUARDED_BY(post_mutex_) = false;
    uint64_t work_done_ J3_GUARDED_BY(post_mutex_) = 0;  // pieces of posted work run so far
    bool stopping_ J3_GUARDED_BY(post_mutex_) = false;
    // Started with the first post; joined by the destructor, once stopping_
    // lets it end.
    std::thread post_thread_ J3_GUARDED_BY(post_mutex_);
};

}  // namespace j3
