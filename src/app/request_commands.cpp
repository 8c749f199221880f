// The window's commands that ask the instrument: Transfer > Request
// Samples… (a series of sample dump requests, followed by the status timer)
// and Send and Receive (the selected items go out while J3 listens).
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QMenu>
#include <QProgressBar>
#include <QSpinBox>

#include <algorithm>

#include "app/main_window.h"
#include "engine/context.h"
#include "engine/list_commands.h"
#include "engine/outcomes.h"
#include "engine/send_loop.h"
#include "engine/send_time_left.h"
#include "format/instrument_requests.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "ui_main_window.h"

namespace j3 {
void MainWindow::add_request_actions() {
    auto* request = new QAction(tr("Request &Samples…"), this);
    request->setObjectName(QStringLiteral("requestAction"));
    auto* send_receive = new QAction(tr("Send &and Receive"), this);
    send_receive->setObjectName(QStringLiteral("sendReceiveAction"));
    ui_->transferMenu->insertAction(ui_->loopAction, request);
    ui_->transferMenu->insertAction(ui_->loopAction, send_receive);
    ui_->transferMenu->insertSeparator(ui_->loopAction);
    connect(request, &QAction::triggered, this, &MainWindow::request_samples_command);
    connect(send_receive, &QAction::triggered, this, &MainWindow::send_and_receive_command);
}

std::optional<RequestSeries> MainWindow::ask_request_range() {
    if (choose_request_) return choose_request_();
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Request Samples"));
    auto* form = new QFormLayout(&dialog);
    auto* first = new QSpinBox(&dialog);
    auto* last = new QSpinBox(&dialog);
    auto* wait = new QSpinBox(&dialog);
    first->setRange(0, kSdsSampleNumberMax);
    last->setRange(0, kSdsSampleNumberMax);
    wait->setRange(1, 600);
    wait->setSuffix(tr(" s"));
    wait->setToolTip(
        tr("How long to wait for each sample's dump to start (2 s is enough for "
           "most instruments)"));
    first->setValue(request_choice_.first);
    last->setValue(request_choice_.last);
    wait->setValue(request_choice_.wait_ms / 1000);
    // The range never runs backwards.
    connect(first, &QSpinBox::valueChanged, last, [last](int v) {
        if (last->value() < v) last->setValue(v);
    });
    connect(last, &QSpinBox::valueChanged, first, [first](int v) {
        if (first->value() > v) first->setValue(v);
    });
    form->addRow(tr("First sample"), first);
    form->addRow(tr("Last sample"), last);
    form->addRow(tr("Wait for each"), wait);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    RequestSeries series;
    series.first = first->value();
    series.last = last->value();
    series.wait_ms = wait->value() * 1000;
    return series;
}

void MainWindow::request_samples_command() {
    // A second choice while a series runs ends it, as Stop does.
    if (series_ && series_->end == SeriesEnd::kRunning) {
        stop_request_series(ctx_, *series_);
        follow_request_series();
        return;
    }
    if (ctx_.endpoints.source_count <= 0 || ctx_.settings.selected_in == 0) {
        ui_->receiveStatus->setText(tr("No MIDI source: choose one with Configure…"));
        return;
    }
    if (ctx_.endpoints.destination_count <= 0 || ctx_.settings.selected_out == 0) {
        ui_->receiveStatus->setText(tr("No MIDI destination: choose one with Configure…"));
        return;
    }
    std::optional<RequestSeries> chosen = ask_request_range();
    if (!chosen) return;
    request_choice_ = *chosen;
    series_ = *chosen;
    clear_outcome_lines();
    if (!start_request_series(ctx_, *series_, steady_ms())) {
        series_.reset();
        ui_->receiveStatus->setText(tr("No MIDI source: choose one with Configure…"));
    }
}

bool MainWindow::follow_request_series() {
    if (!series_) return false;
    if (poll_request_series(ctx_, *series_, steady_ms())) return true;
    // Ended: a series that ran its course tells what came; one that was
    // stopped leaves the reception's own line.
    if (series_->end == SeriesEnd::kDone) {
        set_receive_status(series_outcome_text(series_outcome(*series_)));
    }
    series_.reset();
    return false;
}

void MainWindow::plan_send_time_left() {
    send_plan_ = plan_send(ctx_, ctx_.files.selected_ids());
    send_rate_ = RateMeter();
}

void MainWindow::show_time_left() {
    QProgressBar* bar = ui_->progressBar;
    const ReceiveProgress p = ctx_.reception->progress();
    std::string left;
    // A send has the bar; a dump being received has it otherwise.
    if (const SendProgress sending = ctx_.send.progress(); sending.sending) {
        send_rate_.add(steady_ms(), bytes_sent(send_plan_, sending));
        left = time_left_text(send_time_left_input(ctx_, send_plan_, sending, send_rate_.rate()));
    } else {
        left = dump_time_left_text(p, dump_rate_, steady_ms());
    }
    if (left.empty()) {
        if (bar->format() != QStringLiteral("%p%")) bar->setFormat(QStringLiteral("%p%"));
        return;
    }
    // The bar follows the dump unless a send or a series has it.
    if (!ctx_.send.sending() && !series_ && p.dump_packets > 0) {
        bar->setRange(0, std::max(p.dump_packets, 1));
        bar->setValue(std::min(p.dump_packets_taken, p.dump_packets));
    }
    bar->setFormat(QString::fromStdString(left));
}

void MainWindow::send_and_receive_command() {
    if (ctx_.endpoints.source_count <= 0 || ctx_.settings.selected_in == 0) {
        ui_->receiveStatus->setText(tr("No MIDI source: choose one with Configure…"));
        return;
    }
    if (ctx_.endpoints.destination_count <= 0 || ctx_.settings.selected_out == 0) {
        ui_->sendStatus->setText(tr("No MIDI destination: choose one with Configure…"));
        return;
    }
    if (ctx_.send.sending() || refresh_selection(ctx_) < 1) return;
    // Listening first, so an answer that comes at once is caught; the
    // reception runs on until Stop.
    clear_outcome_lines();
    start_receiving(ctx_);
    plan_send_time_left();
    start_sending(ctx_);
}

}  // namespace j3
