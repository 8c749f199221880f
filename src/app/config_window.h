// The configuration window "Conf": MIDI source (103) and destination (104),
// and the transfer settings (105 to 112). Opening it rescans MIDI (and every
// second while open); the ports in use stay connected through each rescan.
// OK takes every value into the settings and the preferences; Close (or Esc)
// takes nothing and leaves every connection as it was.
// GUI thread.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <string>

#include "midi/midi_service.h"

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
    // After a rescan: the ports in use when the window opened, connected
    // again wherever they are listed now.
    void keep_connections();

    Context& ctx_;
    std::unique_ptr<Ui::ConfigWindow> ui_;
    QTimer port_timer_;
    QPushButton* identify_button_ = nullptr;
    QLabel* identify_result_ = nullptr;
    void add_identify_row();
    void show_identity_replies();
    // The ports in use when the window opened (empty: none).
    std::string connected_in_name_;
    std::string connected_out_name_;
    Endpoint connected_in_ = kNoEndpoint;
    // The chosen ports by name: the list's selection, or a stored port not
    // there now. OK keeps a chosen name while its port is away.
    std::string chosen_in_name_;
    std::string chosen_out_name_;
};

// 1-based position of a list's first selected item, 0 when none.
int32_t first_selected_position(const QListWidget* list);

}  // namespace j3
