// The window-controls seam: what the core asks of the main window, one call
// for each thing the window shows. The Qt window implements it; a recording
// fake serves the tests; the command line has a console implementation.
//
// Threads: the engine calls the control setters from the MIDI service's
// completion and input threads too. Implementations must not block those
// threads on the GUI (the Qt one queues the call to the GUI thread) and must
// keep the order of calls. The list-view calls are made on the GUI thread only.
// All text is UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "format/item_choices.h"

namespace j3 {

class WindowControls {
  public:
    virtual ~WindowControls() = default;

    // Send button: "Send" while idle, "Stop!" while sending.
    virtual void show_sending(bool sending) = 0;
    // Receive button: "Receive" while idle, "Stop!" while receiving.
    virtual void show_receiving(bool receiving) = 0;
    virtual void set_send_status(std::string_view text) = 0;
    virtual void set_receive_status(std::string_view text) = 0;
    // The speed in force: its label (" " at normal speed) and the indicator,
    // on while a faster speed is in force.
    virtual void set_speed_label(std::string_view text) = 0;
    virtual void set_speed_indicator(bool on) = 0;

    // The selected item's choices on the Loop and Stereo buttons, and which
    // of the item buttons apply to it.
    virtual void show_loop_choice(LoopChoice choice) = 0;
    virtual void show_stereo_choice(StereoChoice choice) = 0;
    virtual void enable_loop_button(bool enabled) = 0;
    virtual void enable_stereo_button(bool enabled) = 0;
    virtual void enable_waveform_button(bool enabled) = 0;

    virtual void set_info_text(std::string_view text) = 0;

    // Progress bar: range and value (bytes or sample words).
    virtual void set_progress_range(int32_t minimum, int32_t maximum) = 0;
    virtual void set_progress_value(int32_t value) = 0;

    // The sample-number field.
    virtual void set_sample_number(int32_t number) = 0;
    // Integer value of the field's text (leading digits, 0 when none). Safe
    // from any thread: reads a copy kept beside the widget.
    virtual int32_t sample_number_value() const = 0;

    // List view, GUI thread only. Item ids are positions + 1.
    virtual void list_add_item(uint32_t id) = 0;
    virtual void list_remove_all() = 0;
    // Selected item ids in ascending order.
    virtual std::vector<uint32_t> list_selected_ids() const = 0;
    virtual void list_select_item(uint32_t id) = 0;
    virtual void list_reveal_item(uint32_t id) = 0;
    // Redraw the rows (names, sizes or types changed in place).
    virtual void list_update() = 0;

    // Runs work on the GUI thread, after the work and control changes asked
    // for before it, and returns at once. Any thread; this is how an entry
    // made on the input thread reaches the list.
    virtual void post_to_gui(std::function<void()> work) = 0;
};

}  // namespace j3
