#include "app/item_views.h"

#include <QTableView>

#include "analysis/device_family.h"
#include "analysis/message_index.h"
#include "app/message_table.h"
#include "app/sample_view.h"
#include "audio/sample_info.h"
#include "filelist/file_entry.h"
#include "format/item_choices.h"
#include "receive/stored_dump.h"
#include "waveform/waveform_cycles.h"

namespace j3 {

ItemViews::ItemViews(QWidget* parent)
    : QTabWidget(parent), sample_view_(new SampleView), message_view_(new MessageView) {
    setDocumentMode(true);
    picture_tab_ = addTab(sample_view_, tr("Picture"));
    messages_tab_ = addTab(message_view_, tr("Messages"));
    connect(
        message_view_, &MessageView::message_chosen, this,
        [this](const uint8_t* message, uint32_t length) { show_message_picture(message, length); });
    clear();
}

void ItemViews::show_entry(const FileEntry& entry) {
    const uint8_t* bytes = entry.data.data();
    const size_t size = entry.data.size();
    showing_audio_file_ = false;
    if (is_audio_file(bytes, size)) {
        message_view_->clear();
        showing_audio_file_ = sample_view_->show_audio(bytes, size, entry.loop, entry.stereo);
        setTabEnabled(messages_tab_, false);
        setTabEnabled(picture_tab_, true);
        setCurrentIndex(picture_tab_);
        return;
    }
    sample_view_->clear();
    message_view_->set_buffer(bytes, size);
    // The waveform message of the chosen row, else the item's first one.
    const std::vector<MessageSpan>& spans = message_view_->table_model()->spans();
    const int row = message_view_->table()->currentIndex().row();
    if (row >= 0 && size_t(row) < spans.size()) {
        show_message_picture(bytes + spans[size_t(row)].offset, spans[size_t(row)].length);
    }
    for (size_t i = 0; i < spans.size() && sample_view_->mode() == SampleView::Mode::kEmpty; ++i) {
        show_message_picture(bytes + spans[i].offset, spans[i].length);
    }
    bool picture = sample_view_->mode() != SampleView::Mode::kEmpty;
    if (!picture && is_sds_dump(bytes, size)) {
        // The dump's own loop: the Loop choice applies to audio items only.
        if (auto wav = first_dump_as_wav(bytes, size)) {
            picture = sample_view_->show_owned_audio(std::move(*wav), kLoopFile, kStereoMix);
        }
    }
    setTabEnabled(messages_tab_, true);
    setTabEnabled(picture_tab_, picture);
    if (!picture) setCurrentIndex(messages_tab_);
}

void ItemViews::show_message_picture(const uint8_t* message, uint32_t length) {
    if (auto versions = unpack_waveform_message(message, length)) {
        sample_view_->show_waveform(std::move(*versions));
        setTabEnabled(picture_tab_, true);
    }
}

void ItemViews::set_choices(int32_t loop_choice, int32_t stereo_choice) {
    if (showing_audio_file_) sample_view_->set_choices(loop_choice, stereo_choice);
}

void ItemViews::clear() {
    showing_audio_file_ = false;
    sample_view_->clear();
    sample_view_->forget_peaks();
    message_view_->clear();
    setTabEnabled(picture_tab_, true);
    setTabEnabled(messages_tab_, true);
}

}  // namespace j3
