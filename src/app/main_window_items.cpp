// The main window's item views: the selected item's Loop, Stereo and
// Waveform buttons, its info text, and its picture and messages beside it.
#include <QVBoxLayout>

#include <optional>

#include "app/item_views.h"
#include "app/main_window.h"
#include "engine/context.h"
#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "ui_main_window.h"

namespace j3 {

void MainWindow::set_up_item_views() {
    ui_->infoText->setTextFormat(Qt::PlainText);
    item_views_ = new ItemViews(ui_->itemViewsHolder);
    auto* views_layout = new QVBoxLayout(ui_->itemViewsHolder);
    views_layout->setContentsMargins(0, 0, 0, 0);
    views_layout->addWidget(item_views_);
    ui_->itemSplitter->setStretchFactor(0, 1);
    ui_->itemSplitter->setStretchFactor(1, 1);
    ui_->itemSplitter->setSizes({100, 100});
}

void MainWindow::loop_command(bool stereo) {
    refresh_selection(ctx_);
    // The completion thread reads an item's choices under the list's lock
    // when it loads the item.
    for (uint32_t id : ctx_.files.selected_ids()) {
        ctx_.files.with_entry(id, [&](FileEntry& e) {
            if (stereo) {
                e.stereo = set_stereo_button(*this, e.stereo, 1);
            } else {
                e.loop = set_loop_button(*this, e.loop, 1);
            }
            if (shown_data_ != nullptr && e.data.data() == shown_data_) {
                item_views_->set_choices(e.loop, e.stereo);
            }
        });
    }
}

void MainWindow::show_item_views(uint32_t id) {
    const std::optional<FileEntry> entry = ctx_.files.entry(id);
    if (!entry) return;
    item_views_->show_entry(*entry);
    shown_data_ = entry->data.data();
}

void MainWindow::show_loop_choice(LoopChoice choice) {
    post([this, choice] { ui_->loopButton->setText(QString::fromUtf8(loop_title(choice))); });
}

void MainWindow::show_stereo_choice(StereoChoice choice) {
    post([this, choice] { ui_->stereoButton->setText(QString::fromUtf8(stereo_title(choice))); });
}

void MainWindow::enable_loop_button(bool enabled) {
    post([this, enabled] {
        loop_allowed_ = enabled;
        apply_control_state();
    });
}

void MainWindow::enable_stereo_button(bool enabled) {
    post([this, enabled] {
        stereo_allowed_ = enabled;
        apply_control_state();
    });
}

void MainWindow::enable_waveform_button(bool enabled) {
    post([this, enabled] {
        waveform_allowed_ = enabled;
        apply_control_state();
    });
}

void MainWindow::set_info_text(std::string_view text) {
    post([this, info = qt_text(text)] { ui_->infoText->setText(info); });
}

}  // namespace j3
