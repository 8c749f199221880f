// The configuration window's Identify button: who answers on the chosen
// ports.
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/config_window.h"
#include "engine/context.h"
#include "midi/endpoints.h"
#include "receive/identify.h"
#include "receive/midi_read.h"
#include "receive/reception.h"
#include "ui_config_window.h"

namespace j3 {

void ConfigWindow::add_identify_row() {
    auto* row = new QHBoxLayout;
    identify_button_ = new QPushButton(tr("Identify"), this);
    identify_button_->setObjectName(QStringLiteral("identifyButton"));
    identify_button_->setToolTip(
        tr("Ask who answers on the chosen MIDI Out, with the replies on the chosen MIDI In"));
    identify_result_ = new QLabel(this);
    identify_result_->setObjectName(QStringLiteral("identifyResult"));
    identify_result_->setTextFormat(Qt::PlainText);
    identify_result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    identify_result_->setWordWrap(true);
    row->addWidget(identify_button_, 0, Qt::AlignTop);
    row->addWidget(identify_result_, 1);
    // Above the OK and Close buttons.
    ui_->confLayout->insertLayout(ui_->confLayout->count() - 1, row);
    connect(identify_button_, &QPushButton::clicked, this, &ConfigWindow::identify);
}

void ConfigWindow::identify() {
    const int32_t in = first_selected_position(ui_->sourceList);
    const int32_t out = first_selected_position(ui_->destinationList);
    if (in == 0 || out == 0) {
        identify_result_->setText(tr("Choose a MIDI In and a MIDI Out first."));
        return;
    }
    // The lists hold still while the ports are chosen for the question; the
    // next rescan lets them go again.
    port_timer_.stop();
    const Endpoint destination_before = ctx_.endpoints.destination_endpoint;
    choose_source(*ctx_.midi, ctx_.endpoints, in, false);
    choose_destination(*ctx_.midi, ctx_.endpoints, out, false);
    const bool asked = ask_identity(ctx_, kAllDevices);
    ctx_.endpoints.destination_endpoint = destination_before;
    if (!asked) {
        identify_result_->setText(tr("The request could not be sent."));
        refresh_endpoint_lists();
        port_timer_.start();
        return;
    }
    identify_button_->setEnabled(false);
    identify_result_->setText(tr("Asking…"));
    QTimer::singleShot(kIdentityWaitMs, this, &ConfigWindow::show_identity_replies);
}

void ConfigWindow::show_identity_replies() {
    const std::vector<IdentityReply> replies = ctx_.reception->identity().stop();
    QStringList lines;
    for (const IdentityReply& r : replies) lines << QString::fromStdString(identity_reply_line(r));
    identify_result_->setText(lines.isEmpty() ? tr("No answer.") : lines.join(QChar('\n')));
    identify_button_->setEnabled(true);
    // The source was chosen for the question only.
    scan_midi(*ctx_.midi, ctx_.endpoints, midi_read_proc(ctx_));
    port_timer_.start();
}

QString ConfigWindow::identify_text() const {
    return identify_result_ ? identify_result_->text() : QString();
}

}  // namespace j3
