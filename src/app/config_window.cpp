#include "app/config_window.h"

#include <QPushButton>

#include "app/control_lookup.h"
#include "app/digit_field.h"
#include "engine/config_values.h"
#include "engine/context.h"
#include "engine/turbo.h"
#include "receive/midi_read.h"
#include "ui_config_window.h"

namespace j3 {
namespace {

// Items of the turbo popup (107), 1 .. 8, by the speed each allows.
const char* const kTurboItems[kTurboMenuItems] = {
    "20× standard", "8×", "6.7×", "5×", "4×", "3.3×", "2×", "Off (standard speed)",
};

// Items of the SDS-format popup (110), 1 .. 4: how received sample dumps are kept.
const char* const kSdsFormatItems[kSdsFormatMax] = {
    "SysEx (.syx)",
    "WAV (.wav)",
    "AIFF (.aiff)",
    "SysEx, dumps kept together",
};

}  // namespace

int32_t first_selected_position(const QListWidget* list) {
    int32_t first = 0;
    for (const QListWidgetItem* item : list->selectedItems()) {
        const int32_t position = list->row(item) + 1;
        if (first == 0 || position < first) first = position;
    }
    return first;
}

ConfigWindow::ConfigWindow(Context& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx), ui_(std::make_unique<Ui::ConfigWindow>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ui_->buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(ui_->buttons, &QDialogButtonBox::accepted, this, &ConfigWindow::ok);
    connect(ui_->buttons, &QDialogButtonBox::rejected, this, &ConfigWindow::close_window);
    // RELO: the setting follows each click; the file gets it only on OK.
    connect(ui_->reloadCheck, &QCheckBox::toggled, this,
            [this](bool checked) { ctx_.settings.reload_files = checked; });

    for (const char* item : kTurboItems) ui_->turboPopup->addItem(QString::fromUtf8(item));
    for (const char* item : kSdsFormatItems) ui_->sdsFormatPopup->addItem(QString::fromUtf8(item));
    make_digit_field(ui_->delayField);
    make_digit_field(ui_->deviceNumberField);

    // The ports in use now, by name: every rescan below drops the input's
    // connection, and looking at the settings must not end a reception.
    const auto in_use = [](const std::vector<std::string>& names, int32_t position) {
        return position >= 1 && size_t(position) <= names.size() ? names[size_t(position) - 1]
                                                                 : std::string();
    };
    if (ctx_.endpoints.source_connected) {
        connected_in_name_ = in_use(ctx_.endpoints.source_names, ctx_.settings.selected_in);
        connected_in_ = ctx_.endpoints.source_endpoint;
    }
    connected_out_name_ = in_use(ctx_.endpoints.destination_names, ctx_.settings.selected_out);
    // The endpoint lists as they are now.
    scan_midi(*ctx_.midi, ctx_.endpoints, midi_read_proc(ctx_));
    keep_connections();
    const ConfigValues v = open_config_values(ctx_);
    fill_endpoint_list(ui_->sourceList, ctx_.endpoints.source_count, true, v.selected_in);
    fill_endpoint_list(ui_->destinationList, ctx_.endpoints.destination_count, false,
                       v.selected_out);
    ui_->turboPopup->setCurrentIndex(v.turbo_item - 1);
    ui_->sdsFormatPopup->setCurrentIndex(v.sds_format_item - 1);
    {
        const QSignalBlocker block(ui_->reloadCheck);
        ui_->reloadCheck->setChecked(v.reload_files);
    }
    ui_->handshakeCheck->setChecked(v.handshake);
    ui_->sendFilenameCheck->setChecked(v.send_filename);
    ui_->extendedSdsCheck->setChecked(v.extended_sds);
    ui_->delayField->setText(QString::fromStdString(v.delay_text));
    ui_->deviceNumberField->setText(QString::fromStdString(v.device_number_text));
    chosen_in_name_ = in_use(ctx_.endpoints.source_names, v.selected_in);
    if (chosen_in_name_.empty()) chosen_in_name_ = v.absent_in_name;
    chosen_out_name_ = in_use(ctx_.endpoints.destination_names, v.selected_out);
    if (chosen_out_name_.empty()) chosen_out_name_ = v.absent_out_name;
    // The user's choice, by name, so it survives its port leaving and coming
    // back while the window is open.
    const auto follow = [this](QListWidget* list, bool sources, std::string& chosen) {
        connect(list, &QListWidget::itemSelectionChanged, this, [this, list, sources, &chosen] {
            const auto& names =
                sources ? ctx_.endpoints.source_names : ctx_.endpoints.destination_names;
            const int32_t p = first_selected_position(list);
            chosen = p >= 1 && size_t(p) <= names.size() ? names[size_t(p) - 1] : std::string();
        });
    };
    follow(ui_->sourceList, true, chosen_in_name_);
    follow(ui_->destinationList, false, chosen_out_name_);

    constexpr int kPortPollMs = 1000;
    port_timer_.setInterval(kPortPollMs);
    connect(&port_timer_, &QTimer::timeout, this, &ConfigWindow::refresh_endpoint_lists);
    port_timer_.start();
    add_identify_row();
}

void ConfigWindow::refresh_endpoint_lists() {
    const std::vector<std::string> sources_before = ctx_.endpoints.source_names;
    const std::vector<std::string> destinations_before = ctx_.endpoints.destination_names;
    scan_midi(*ctx_.midi, ctx_.endpoints, midi_read_proc(ctx_));
    keep_connections();
    const MidiEndpoints& now = ctx_.endpoints;
    const auto refill = [this](QListWidget* list, const std::vector<std::string>& old_names,
                               const std::vector<std::string>& names, int32_t count, bool sources,
                               const std::string& chosen) {
        if (old_names == names) return;
        // The chosen port stays chosen wherever it is now, and is chosen again
        // when it comes back.
        const QSignalBlocker block(list);
        list->clear();
        fill_endpoint_list(list, count, sources, position_for_name(names, 0, chosen));
    };
    refill(ui_->sourceList, sources_before, now.source_names, now.source_count, true,
           chosen_in_name_);
    refill(ui_->destinationList, destinations_before, now.destination_names, now.destination_count,
           false, chosen_out_name_);
}

void ConfigWindow::keep_connections() {
    MidiEndpoints& e = ctx_.endpoints;
    if (!connected_in_name_.empty()) {
        if (const int32_t p = position_for_name(e.source_names, 0, connected_in_name_); p > 0) {
            ctx_.settings.selected_in = choose_source(*ctx_.midi, e, p, false);
        } else {
            // Gone: the input still names it, so a reception from it ends as
            // one whose source has left.
            e.source_endpoint = connected_in_;
            e.source_connected = false;
            ctx_.settings.selected_in = 0;
        }
    }
    if (!connected_out_name_.empty()) {
        if (const int32_t p = position_for_name(e.destination_names, 0, connected_out_name_); p > 0)
            ctx_.settings.selected_out = choose_destination(*ctx_.midi, e, p, false);
    }
}

ConfigWindow::~ConfigWindow() = default;

void ConfigWindow::fill_endpoint_list(QListWidget* list, int32_t count, bool sources,
                                      int32_t selected) {
    const auto& names = sources ? ctx_.endpoints.source_names : ctx_.endpoints.destination_names;
    const int32_t shown = std::min<int32_t>(count, int32_t(names.size()));
    for (int32_t i = 0; i < shown; ++i) list->addItem(QString::fromStdString(names[size_t(i)]));
    if (selected >= 1 && selected <= shown) {
        list->setCurrentRow(selected - 1);
        list->scrollToItem(list->item(selected - 1));
    } else {
        list->clearSelection();
    }
}

QWidget* ConfigWindow::control(int id) const {
    return find_control(this, id);
}

void ConfigWindow::ok() {
    ConfigValues v;
    v.selected_in = first_selected_position(ui_->sourceList);
    v.selected_out = first_selected_position(ui_->destinationList);
    v.reload_files = ctx_.settings.reload_files;
    v.delay_text = ui_->delayField->text().toStdString();
    v.turbo_item = ui_->turboPopup->currentIndex() + 1;
    v.handshake = ui_->handshakeCheck->isChecked();
    v.device_number_text = ui_->deviceNumberField->text().toStdString();
    v.sds_format_item = ui_->sdsFormatPopup->currentIndex() + 1;
    v.send_filename = ui_->sendFilenameCheck->isChecked();
    v.extended_sds = ui_->extendedSdsCheck->isChecked();
    // A chosen port that is away now keeps its name: OK never turns it into
    // none, and it is chosen again when it returns.
    v.absent_in_name = chosen_in_name_;
    v.absent_out_name = chosen_out_name_;
    apply_config_values(ctx_, v);
    request_speed(ctx_, true);
    done(QDialog::Accepted);
}

void ConfigWindow::close_window() {
    done(QDialog::Rejected);
}

}  // namespace j3
