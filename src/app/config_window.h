// The configuration window "Conf": MIDI source (103) and destination (104),
// and the transfer settings (105 to 112). Opening it rescans MIDI, which
// leaves the input without a source until OK chooses one again; OK takes
// every value into the settings and the preferences, Close takes nothing.
// GUI thread.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

namespace Ui {
class ConfigWindow;
}

class QLabel;
class QListWidget;
class QPushButton;

namespace j3 {

struct Context;

class ConfigWindow : public QDialog {
    Q_OBJECT
  public:
    // Rescans MIDI and shows the current values. Deletes itself when closed.
    ConfigWindow(Context& ctx, QWidget* parent);
    ~ConfigWindow() override;

    // The control of that number (see control_lookup.h).
    QWidget* control(int id) const;

    // The standard commands: OK takes the values and closes, Close only closes.
    void ok();
    void close_window();

    // Rescans MIDI and shows the ports as they are now, keeping the chosen
    // ones chosen where they still are. Runs every second while the window
    // is open, so ports that appear or leave show up without reopening it.
    void refresh_endpoint_lists();

    // Identify: sends the identity request to the chosen MIDI Out and shows,
    // a second later, each reply heard on the chosen MIDI In, or "No
    // answer.". The ports are chosen only for that second.
    void identify();
    // What Identify showed last.
    QString identify_text() const;

  private:
    void fill_endpoint_list(QListWidget* list, int32_t count, bool sources, int32_t selected);

    Context& ctx_;
    std::unique_ptr<Ui::ConfigWindow> ui_;
    QTimer port_timer_;
    QPushButton* identify_button_ = nullptr;
    QLabel* identify_result_ = nullptr;
    void add_identify_row();
    void show_identity_replies();
    // Stored ports that were not there when the window opened; OK keeps them
    // unless another port is chosen.
    std::string absent_in_name_;
    std::string absent_out_name_;
};

// 1-based position of a list's first selected item, 0 when none.
int32_t first_selected_position(const QListWidget* list);

}  // namespace j3
