// The main window "J3": the controls of the window-controls seam, the file
// list, the menu bar, the commands and the status timer. One class over
// several files, one a concern: main_window.cpp (building, start-up,
// placement, preferences at quit), main_window_menus.cpp (menus and
// actions), main_window_transfer.cpp (send, receive, status lines, progress),
// main_window_list.cpp (the list and its selection), main_window_items.cpp
// (the selected item's buttons, info text and views) and request_commands.cpp
// (Request Samples, Send and Receive).
//
// Threads: the window lives on the GUI thread. The engine calls the control
// setters of WindowControls from the MIDI service's completion and input
// threads as well; those calls are queued to the GUI thread in the order they
// were made. sample_number_value() reads an atomic copy of the sample-number field.
#pragma once

#include <QItemSelection>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "engine/send_time_left.h"
#include "engine/window_controls.h"
#include "receive/request_series.h"

class QAction;
class QCloseEvent;
class QScreen;

namespace Ui {
class MainWindow;
}

namespace j3 {

struct Context;
struct LoadNotes;
class ConfigWindow;
class FileListModel;
class ItemViews;

// Command ids: four characters, the first in the top byte.
constexpr uint32_t command_id(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
           uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}
enum Command : uint32_t {
    kCmdSend = command_id("SEND"),
    kCmdReceive = command_id("RECE"),
    kCmdConfig = command_id("CONF"),
    kCmdErase = command_id("ERAS"),
    kCmdLoop = command_id("LOOP"),
    kCmdStereo = command_id("STER"),
    kCmdWaveform = command_id("MONO"),
    kCmdTurbo = command_id("TURB"),
    kCmdOpen = command_id("open"),
    kCmdSave = command_id("save"),
    kCmdQuit = command_id("quit"),
};

class MainWindow : public QMainWindow, public WindowControls {
    Q_OBJECT
  public:
    // Builds the window, its handlers, the sample-number field and the list
    // (start-up steps 1 to 5). ctx.window is set to this window; the MIDI
    // service and the clock may be set afterwards, before start().
    // preferences_file is where the preferences are read and written.
    MainWindow(Context& ctx, std::filesystem::path preferences_file, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up steps 6 to 13: MIDI scan, preferences, the virtual destination,
    // FFT tables, the speed request, placement on screen (the primary one when
    // none is given), show, and the 0.1 s status timer. false when the virtual
    // destination cannot be made: the program then ends with status 0.
    bool start(QScreen* screen = nullptr);

    // Runs a command of the menu bar or the buttons.
    void command(uint32_t id);

    // The status timer's work: the progress lines of a running send and reception.
    void update_status();

    // Adds files to the list as the open dialog does (`j3 FILE...`); those
    // that cannot be read are named in a message.
    void open_files(const QStringList& paths) { add_files(paths); }

    // Replaces the open dialog (tests choose files without a dialog).
    void set_file_chooser(std::function<QStringList()> chooser) {
        choose_files_ = std::move(chooser);
    }
    // Replaces the save-list dialog: given the proposed path, the chosen one
    // (empty: cancelled).
    void set_list_file_chooser(std::function<QString(const QString&)> chooser) {
        choose_list_file_ = std::move(chooser);
    }
    // Replaces the save dialog of a selected entry: given the proposed name,
    // the path to write, or an empty text to cancel.
    void set_save_chooser(std::function<QString(const QString& proposed)> chooser) {
        choose_save_path_ = std::move(chooser);
    }
    // Replaces the question asked before received entries that were never
    // saved would be lost (quit, window close): given their count, Save,
    // Discard or Cancel.
    void set_unsaved_prompt(std::function<int(int count)> prompt) {
        unsaved_prompt_ = std::move(prompt);
    }
    // Replaces the Request Samples dialog: the series to ask for (first,
    // last, wait), or nullopt to cancel.
    void set_request_chooser(std::function<std::optional<RequestSeries>()> chooser) {
        choose_request_ = std::move(chooser);
    }

    // Transfer > Request Samples… and Send and Receive (request_commands.cpp).
    void request_samples_command();
    void send_and_receive_command();
    // The series running, if any.
    const std::optional<RequestSeries>& request_series() const { return series_; }

    // Places the window's frame ("structure bounds") at bounds, in screen
    // coordinates; the content area is what the frame leaves.
    void set_frame_bounds(const QRect& bounds);

    // Saves the preferences with the window's current bounds. When they
    // cannot be written the user is asked (Quit anyway / Cancel): false
    // means stay, and the next quit tries again.
    bool save_preferences_now();
    // Replaces that question: given the reason, true to quit anyway.
    void set_preferences_failure_prompt(std::function<bool(const QString& reason)> prompt) {
        preferences_failure_prompt_ = std::move(prompt);
    }

    // The About box's text: J3's version and those of the libraries it runs on.
    static QString about_text();

    ConfigWindow* config_window() const;
    FileListModel* file_list_model() const { return model_; }
    // The selected item's picture and message table, beside the info text.
    ItemViews* item_views() const { return item_views_; }
    // The control of that number (see control_lookup.h).
    QWidget* control(int id) const;

    // WindowControls.
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
    void post_to_gui(std::function<void()> work) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Queues a widget change to the GUI thread, after those queued before.
    template <typename Change>
    void post(Change change) {
        QMetaObject::invokeMethod(this, std::move(change), Qt::QueuedConnection);
    }

    // Building and start-up (main_window.cpp).
    // The item buttons' state, the widest title of each changing button and
    // the smallest window size that clips no control.
    void fit_controls();
    // Stored bounds, or first_size where the preferences hold none.
    void place_window(QScreen* screen, QSize first_size);
    // Placement and show at start, sized for the first rows when nothing is stored.
    void place_on_start(QScreen* screen);
    QMargins frame_margins();

    // Menus and actions (main_window_menus.cpp).
    void connect_commands();
    void open_command();
    void add_files(const QStringList& paths);
    void save_selected();
    void save_list_command();
    void show_problems(const QStringList& problems, const QString& summary);
    void open_config_window();
    void config_window_closed(int result);
    void show_about();

    // Transfer controls (main_window_transfer.cpp).
    void set_up_transfer_controls();
    void send_command();
    void receive_command();
    // A new command's line replaces the previous command's outcome.
    void clear_outcome_lines();
    void show_status_message(const char* text);
    // A status line for a state the user can mend (no destination, a port
    // that is not there); it goes once the configuration's OK mends it.
    void show_condition_message(const QString& text);
    QString port_conditions() const;
    void report_load_notes(const LoadNotes& notes);
    // The chosen MIDI ports, in the label under the status lines.
    void show_ports();
    static QString qt_text(std::string_view text);

    // The list (main_window_list.cpp).
    void set_up_list();
    void selection_changed(const QItemSelection& selected, const QItemSelection& deselected);
    // The selection became empty: the item buttons and the info text follow.
    void selection_state_changed();
    // Enables the controls by the selection and whether a send runs.
    void apply_control_state();
    // Before quitting: received data never saved is saved, dropped or kept
    // by the user's answer. False when the user chose to stay.
    bool received_data_settled();
    // Before the entries `ids` are removed or replaced: those never saved
    // are saved, dropped or kept by the user's answer (`question` says what
    // would happen to them). False when the user chose to keep them.
    bool entries_settled(const std::vector<uint32_t>& ids, const QString& question);
    // Save, Discard or Cancel for `count` unsaved items.
    int ask_unsaved(int count, const QString& question);

    // The item views (main_window_items.cpp).
    void set_up_item_views();
    void show_item_views(uint32_t id);
    void loop_command(bool stereo);

    // Request Samples and Send and Receive (request_commands.cpp).
    void add_request_actions();
    // The progress bar's text: the time left of a dump being received.
    void show_time_left();
    // What the send being started puts on the wire, for its time left.
    void plan_send_time_left();
    // The status timer's part: follows the series; true while it runs.
    bool follow_request_series();
    std::optional<RequestSeries> ask_request_range();

    Context& ctx_;
    std::filesystem::path preferences_file_;
    std::unique_ptr<Ui::MainWindow> ui_;
    QRect placed_bounds_;  // the frame bounds start() asked for
    QMargins placed_margins_;
    QRect placed_content_;  // the content geometry that placement gave
    std::function<bool(const QString&)> preferences_failure_prompt_;
    bool preferences_saved_ = false;

    // Menus and actions.
    QPointer<ConfigWindow> config_window_;
    std::function<QStringList()> choose_files_;
    std::function<QString(const QString&)> choose_list_file_;
    std::function<QString(const QString&)> choose_save_path_;
    QString dialog_folder_;         // where the last Open or Save dialog ended
    bool send_after_open_ = false;  // Send with nothing selected: send what Open adds
    bool quit_confirmed_ = false;

    // Transfer controls.
    QTimer status_timer_;
    uint32_t speed_labels_shown_ = 0;  // speeds put in force, to tell a Turbo answered
    int ports_ticks_ = 0;              // status timer ticks since the port line was last looked at
    std::atomic<int32_t> sample_number_{0};
    QString condition_message_;  // the status line shown by show_condition_message
    SendPlan send_plan_;
    RateMeter send_rate_;
    RateMeter dump_rate_;
    // Request Samples: the series running, and what the dialog offers next.
    std::function<std::optional<RequestSeries>()> choose_request_;
    std::optional<RequestSeries> series_;
    RequestSeries request_choice_;

    // The list.
    FileListModel* model_ = nullptr;
    std::function<int(int)> unsaved_prompt_;
    // Control state as the engine last asked for it (GUI thread).
    bool sending_ = false;
    bool loop_allowed_ = false;
    bool stereo_allowed_ = false;
    bool waveform_allowed_ = false;

    // The item views.
    ItemViews* item_views_ = nullptr;
    // The buffer of the entry the item views show (null: none); an entry is
    // known by its buffer, which stays put when entries move in the list.
    const uint8_t* shown_data_ = nullptr;
};

}  // namespace j3
