// The window-controls seam: what the core asks of the main window. The Qt
// window implements it; a recording fake serves the tests; the command line
// has a console implementation.
//
// Threads: the engine calls the control setters from the MIDI service's
// completion and input threads too. Implementations must not block those
// threads on the GUI (the Qt one queues the call to the GUI thread) and must
// keep the order of calls. The list-view calls are made on the GUI thread only.
// All text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace j3 {

// Main window control ids.
enum ControlId : int {
    kSendButton = 1,
    kReceiveButton = 2,
    kConfigButton = 6,
    kFileList = 8,
    kProgressBar = 9,
    kInfoText = 10,
    kSendStatus = 11,
    kReceiveStatus = 12,
    kLoopButton = 13,
    kStereoButton = 14,
    kSampleNumberField = 15,
    kSpeedIndicator = 17,
    kSpeedLabel = 18,
    kWaveformButton = 19,
};

class WindowControls {
  public:
    virtual ~WindowControls() = default;

    // Buttons (1, 2, 13, 14, 19), status lines (11, 12), the speed label (18)
    // and the sample-number field (15) take a text.
    virtual void set_control_text(int control, std::string_view text) = 0;
    virtual void enable_control(int control, bool enabled) = 0;
    virtual void set_speed_indicator(bool on) = 0;
    virtual void set_info_text(std::string_view text) = 0;

    // Progress bar (9): range and value.
    virtual void set_progress_range(int32_t minimum, int32_t maximum) = 0;
    virtual void set_progress_value(int32_t value) = 0;

    // Integer value of the sample-number field's text (leading digits, 0 when
    // none). Safe from any thread: reads a copy kept beside the widget.
    virtual int32_t sample_number_value() const = 0;

    // List view (8), GUI thread only. Item ids are positions + 1.
    virtual void list_add_item(uint32_t id) = 0;
    virtual void list_remove_all() = 0;
    // Selected item ids in ascending order.
    virtual std::vector<uint32_t> list_selected_ids() const = 0;
    virtual void list_select_item(uint32_t id) = 0;
    virtual void list_reveal_item(uint32_t id) = 0;
    // Redraw the rows (names, sizes or types changed in place).
    virtual void list_update() = 0;
};

}  // namespace j3
