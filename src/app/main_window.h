// The main window "J3": the controls of the window-controls seam, the file
// list, the menu bar, the commands and the status timer.
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

#include "engine/window_controls.h"

class QAction;
class QCloseEvent;
class QScreen;

namespace Ui {
class MainWindow;
}

namespace j3 {

struct Context;
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

    // The status timer's work: formats the transfer state into the status lines.
    void update_status();

    // Replaces the open dialog (tests choose files without a dialog).
    void set_file_chooser(std::function<QStringList()> chooser) {
        choose_files_ = std::move(chooser);
    }
    // Replaces the save-list dialog: given the proposed path, the chosen one
    // (empty: cancelled).
    void set_list_file_chooser(std::function<QString(const QString&)> chooser) {
        choose_list_file_ = std::move(chooser);
    }

    // Places the window's frame ("structure bounds") at bounds, in screen
    // coordinates; the content area is what the frame leaves.
    void set_frame_bounds(const QRect& bounds);

    // Saves the preferences with the window's current bounds.
    void save_preferences_now();

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

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Queues a widget change to the GUI thread, after those queued before.
    template <typename Change>
    void post(Change change);

    void send_command();
    void start_send(int attempts_left);
    void open_command();
    void add_files(const QStringList& paths);
    void save_list_command();
    void show_problems(const QStringList& problems, const QString& summary);
    void loop_command(bool stereo);
    void open_config_window();
    void config_window_closed();
    void selection_changed(const QItemSelection& selected, const QItemSelection& deselected);
    void show_item_views(uint32_t id);
    void place_window(QScreen* screen);
    void show_status_message(const char* text);
    QMargins frame_margins();

    Context& ctx_;
    std::filesystem::path preferences_file_;
    std::unique_ptr<Ui::MainWindow> ui_;
    FileListModel* model_ = nullptr;
    ItemViews* item_views_ = nullptr;
    // The buffer of the entry the item views show (null: none); an entry is
    // known by its buffer, which stays put when entries move in the list.
    const uint8_t* shown_data_ = nullptr;
    QPointer<ConfigWindow> config_window_;
    QTimer status_timer_;
    std::atomic<int32_t> sample_number_{0};
    std::function<QStringList()> choose_files_;
    std::function<QString(const QString&)> choose_list_file_;
    QString dialog_folder_;      // where the last Open or save-list dialog ended
    bool send_pending_ = false;  // a send waits for the previous one's last request
    bool preferences_saved_ = false;
    QRect placed_bounds_;  // the frame bounds start() asked for
    QMargins placed_margins_;
    QRect placed_content_;  // the content geometry that placement gave
};

}  // namespace j3
