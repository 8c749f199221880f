// The main window's transfer controls: Send and Receive, the status lines,
// the ports line, the speed, the progress bar and the sample-number field,
// and the status timer that follows a running send and reception.
#include <QHeaderView>

#include <algorithm>

#include "app/digit_field.h"
#include "app/main_window.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/outcomes.h"
#include "engine/preferences.h"
#include "engine/send_loop.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "ui_main_window.h"

namespace j3 {
namespace {

constexpr int kStatusIntervalMs = 100;

const char* const kIndicatorOff =
    "border-radius: 5px; background: palette(mid); border: 1px solid palette(dark);";
const char* const kIndicatorOn =
    "border-radius: 5px; background: #2fbf4a; border: 1px solid #1c7a2e;";

}  // namespace

void MainWindow::set_up_transfer_controls() {
    // 3. The sample-number field: digits only, "0", centred. The engine reads
    // the copy kept beside it.
    make_digit_field(ui_->sampleNumberField);
    ui_->sampleNumberField->setText(QStringLiteral("0"));
    connect(ui_->sampleNumberField, &QLineEdit::textChanged, this,
            [this](const QString& text) { sample_number_ = text_to_int(text.toStdString()); });
    // Return or Enter ends the editing.
    connect(ui_->sampleNumberField, &QLineEdit::returnPressed, ui_->sampleNumberField,
            [this] { ui_->sampleNumberField->clearFocus(); });

    // 4. The speed indicator and the progress bar.
    ui_->speedIndicator->setStyleSheet(QString::fromUtf8(kIndicatorOff));
    ui_->progressBar->setRange(0, 1);

    status_timer_.setInterval(kStatusIntervalMs);
    connect(&status_timer_, &QTimer::timeout, this, &MainWindow::update_status);
}

void MainWindow::send_command() {
    if (ctx_.send.sending()) {
        stop_sending(ctx_);
        return;
    }
    if (ctx_.endpoints.destination_count <= 0 || ctx_.settings.selected_out == 0) {
        // A remembered port that is not there is named: sending elsewhere
        // would surprise.
        const std::string& remembered = ctx_.settings.selected_out_name;
        show_condition_message(
            remembered.empty()
                ? tr("No MIDI destination: choose one with Configure…")
                : QString::fromStdString(port_not_connected_text(false, remembered)));
        return;
    }
    // The send starts now, or by itself once the previous send's last
    // request is back from the MIDI service.
    if (refresh_selection(ctx_) >= 1) {
        plan_send_time_left();
        clear_outcome_lines();
        start_sending(ctx_);
        return;
    }
    // Nothing selected: what the open dialog adds is sent at once.
    send_after_open_ = true;
    open_command();
}

void MainWindow::receive_command() {
    if (!ctx_.reception->receiving()) clear_outcome_lines();
    if (toggle_receiving(ctx_)) return;
    ui_->receiveStatus->setText(tr("No MIDI source: choose one with Configure…"));
}

void MainWindow::clear_outcome_lines() {
    if (!ctx_.send.sending()) {
        ui_->sendStatus->clear();
        ui_->sendStatus->setToolTip({});
    }
    if (!ctx_.reception->receiving()) ui_->receiveStatus->clear();
}

QString MainWindow::port_conditions() const {
    const Settings& s = ctx_.settings;
    QStringList lines;
    if (s.selected_out == 0 && !s.selected_out_name.empty())
        lines << QString::fromStdString(port_not_connected_text(false, s.selected_out_name));
    if (s.selected_in == 0 && !s.selected_in_name.empty())
        lines << QString::fromStdString(port_not_connected_text(true, s.selected_in_name));
    return lines.join(QLatin1Char(' '));
}

void MainWindow::show_condition_message(const QString& text) {
    condition_message_ = text;
    show_status_message(text.toUtf8().constData());
}

void MainWindow::report_load_notes(const LoadNotes& notes) {
    QStringList lines;
    QStringList details;
    const auto count_line = [&](const std::vector<std::string>& files, const QString& one,
                                const QString& many) {
        if (files.empty()) return;
        lines << (files.size() == 1 ? one : many.arg(files.size()));
        for (const std::string& f : files) details << QString::fromStdString(f);
    };
    count_line(notes.files_not_found, tr("1 file of the list was not found."),
               tr("%1 files of the list were not found."));
    count_line(notes.files_unreadable, tr("1 file of the list could not be read."),
               tr("%1 files of the list could not be read."));
    const QString ports = port_conditions();
    if (lines.isEmpty() && ports.isEmpty()) return;
    if (!ports.isEmpty()) lines << ports;
    const QString text = lines.join(QLatin1Char(' '));
    if (ports.isEmpty()) {
        show_status_message(text.toUtf8().constData());
    } else {
        show_condition_message(text);
    }
    // The names of the dropped files, one a line.
    ui_->sendStatus->setToolTip(details.isEmpty() ? text : text + '\n' + details.join('\n'));
}

void MainWindow::show_ports() {
    const Settings& s = ctx_.settings;
    const MidiEndpoints& e = ctx_.endpoints;
    const auto port = [this](bool chosen, bool present, Endpoint endpoint,
                             const std::string& remembered) {
        const QString name =
            chosen ? QString::fromStdString(endpoint_display_name(*ctx_.midi, endpoint, false))
                   : QString::fromStdString(remembered);
        if (chosen && present) return name;
        // Chosen but gone from the system: it is connected again when it
        // comes back under its name.
        if (!name.isEmpty()) return tr("\"%1\" (not connected)").arg(name);
        return tr("none");
    };
    const Endpoint out = e.destination_endpoint;
    const QString text =
        tr("MIDI Out: %1    MIDI In: %2")
            .arg(port(s.selected_out != 0 && out != kNoEndpoint,
                      out != kNoEndpoint && ctx_.midi->destination_present(out), out,
                      s.selected_out_name),
                 port(e.source_connected, ctx_.midi->source_present(e.source_endpoint),
                      e.source_endpoint, s.selected_in_name));
    if (ui_->portsLabel->text() == text) return;
    ui_->portsLabel->setText(text);
    ui_->portsLabel->setToolTip(text);
}

void MainWindow::show_status_message(const char* text) {
    ui_->sendStatus->setText(QString::fromUtf8(text));
    ui_->sendStatus->setToolTip(QString::fromUtf8(text));
}

void MainWindow::update_status() {
    // The progress lines; an ending is shown by the owner that ended, queued
    // behind this tick, so a stale progress line never follows it.
    if (const SendProgress sending = ctx_.send.progress(); sending.sending) {
        const QString line = QString::fromStdString(send_progress_text(sending));
        if (ui_->sendStatus->text() != line) {
            ui_->sendStatus->setText(line);
            ui_->sendStatus->setToolTip(line);  // whole, where the line is cut
        }
    }
    stop_receiving_if_source_gone(ctx_);
    // A chosen port that leaves (or comes back) shows within a second.
    if (++ports_ticks_ * kStatusIntervalMs >= 1000) {
        ports_ticks_ = 0;
        show_ports();
    }
    show_time_left();
    if (follow_request_series()) return;
    if (const ReceiveProgress receiving = ctx_.reception->progress(); receiving.receiving) {
        const QString line = QString::fromStdString(receive_progress_text(receiving.bytes));
        if (ui_->receiveStatus->text() != line) ui_->receiveStatus->setText(line);
    }
}

// --- WindowControls -------------------------------------------------------------
// Each setter may run on a MIDI thread: the widget change is queued to the
// GUI thread, behind the changes asked for before it.

QString MainWindow::qt_text(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

void MainWindow::show_sending(bool sending) {
    post([this, sending] {
        ui_->sendButton->setText(sending ? tr("Stop!") : tr("Send"));
        sending_ = sending;
        apply_control_state();
    });
}

void MainWindow::show_receiving(bool receiving) {
    post([this, receiving] {
        ui_->receiveButton->setText(receiving ? tr("Stop!") : tr("Receive"));
    });
}

void MainWindow::set_send_status(std::string_view text) {
    post([this, line = qt_text(text)] {
        ui_->sendStatus->setText(line);
        ui_->sendStatus->setToolTip(line);  // whole, where the line is cut
    });
}

void MainWindow::set_receive_status(std::string_view text) {
    post([this, line = qt_text(text)] { ui_->receiveStatus->setText(line); });
}

void MainWindow::set_speed_label(std::string_view text) {
    post([this, label = qt_text(text)] {
        ui_->speedLabel->setText(label);
        ++speed_labels_shown_;
    });
}

void MainWindow::set_speed_indicator(bool on) {
    post([this, on] {
        ui_->speedIndicator->setStyleSheet(QString::fromUtf8(on ? kIndicatorOn : kIndicatorOff));
    });
}

void MainWindow::set_progress_range(int32_t minimum, int32_t maximum) {
    // An empty range would turn the bar into a busy indicator.
    post([this, minimum, maximum] {
        ui_->progressBar->setRange(minimum, std::max(maximum, minimum + 1));
    });
}

void MainWindow::set_progress_value(int32_t value) {
    post([this, value] {
        QProgressBar* bar = ui_->progressBar;
        bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
    });
}

void MainWindow::set_sample_number(int32_t number) {
    // The engine reads the field back before the queued update has run.
    sample_number_ = number;
    post([this, number] { ui_->sampleNumberField->setText(QString::number(number)); });
}

int32_t MainWindow::sample_number_value() const {
    return sample_number_;
}

void MainWindow::post_to_gui(std::function<void()> work) {
    post(std::move(work));
}

}  // namespace j3
