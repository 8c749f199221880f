#include "app/sample_view.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "format/item_choices.h"

namespace j3 {
namespace {

// Frames on each side of the seam in the inset.
constexpr int32_t kSeamFrames = 32;
constexpr int kMargin = 4;
constexpr size_t kKeptPeaks = 4;

QColor with_alpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

// y of a word in a lane: full scale at the lane's edges.
double lane_y(const QRectF& lane, double value, double full_scale) {
    const double v = std::clamp(value / full_scale, -1.0, 1.0);
    return lane.center().y() - v * lane.height() / 2.0;
}

}  // namespace

SampleView::SampleView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

bool SampleView::show_audio(const uint8_t* bytes, size_t size, int32_t loop_choice,
                            int32_t stereo_choice) {
    owned_.clear();
    data_ = bytes;
    size_ = size;
    keep_peaks_ = true;
    versions_.reset();
    info_ = SampleInfo{};
    peaks_width_ = -1;
    peaks_ = SamplePeaks{};
    if (!parse_audio_file(bytes, size, info_) || info_.sample_length <= 0) {
        clear();
        return false;
    }
    mode_ = Mode::kAudio;
    loop_choice_ = loop_choice;
    stereo_choice_ = stereo_choice;
    update_loop();
    update_peaks();
    update();
    return true;
}

bool SampleView::show_owned_audio(std::vector<uint8_t> file, int32_t loop_choice,
                                  int32_t stereo_choice) {
    std::vector<uint8_t> kept = std::move(file);
    const bool shown = show_audio(kept.data(), kept.size(), loop_choice, stereo_choice);
    if (shown) owned_ = std::move(kept);  // the vector's buffer, and data_, stay where they are
    // Its buffer goes with the next item, so its peaks are not kept.
    keep_peaks_ = false;
    std::erase_if(kept_, [this](const KeptPeaks& k) { return k.data == data_; });
    return shown;
}

void SampleView::set_choices(int32_t loop_choice, int32_t stereo_choice) {
    loop_choice_ = loop_choice;
    stereo_choice_ = stereo_choice;
    if (mode_ != Mode::kAudio) return;
    update_loop();
    update();
}

void SampleView::show_waveform(WaveformVersions versions) {
    clear();
    versions_ = std::move(versions);
    mode_ = Mode::kWaveform;
    update();
}

void SampleView::clear() {
    mode_ = Mode::kEmpty;
    data_ = nullptr;
    size_ = 0;
    owned_.clear();
    info_ = SampleInfo{};
    loop_ = SentLoop{};
    seam_ = LoopSeam{};
    peaks_ = SamplePeaks{};
    peaks_width_ = -1;
    versions_.reset();
    update();
}

void SampleView::forget_peaks() {
    kept_.clear();
}

void SampleView::update_loop() {
    loop_ = sent_loop(info_, loop_choice_);
    seam_ = loop_.looped ? loop_seam(info_, loop_.start, loop_.end, kSeamFrames) : LoopSeam{};
}

void SampleView::update_peaks() {
    const int32_t columns = std::max(width() - 2 * kMargin, 1);
    if (mode_ != Mode::kAudio || columns == peaks_width_) return;
    peaks_width_ = columns;
    for (const KeptPeaks& k : kept_) {
        if (k.data == data_ && k.size == size_ && k.width == columns) {
            peaks_ = k.peaks;
            return;
        }
    }
    peaks_ = compute_peaks(info_, 0, info_.sample_length, columns);
    if (!keep_peaks_) return;
    if (kept_.size() == kKeptPeaks) kept_.erase(kept_.begin());
    kept_.push_back({data_, size_, columns, peaks_});
}

void SampleView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update_peaks();
}

void SampleView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().mid().color());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    switch (mode_) {
        case Mode::kAudio:
            paint_audio(p, area);
            break;
        case Mode::kWaveform:
            paint_waveform(p, area);
            break;
        case Mode::kEmpty:
            p.setPen(palette().placeholderText().color());
            p.drawText(area, Qt::AlignCenter, tr("No picture for this item"));
            break;
    }
}

void SampleView::paint_audio(QPainter& p, const QRect& area) {
    if (peaks_.columns <= 0 || peaks_.channels <= 0) return;
    const QColor strong = palette().highlight().color();
    const QColor weak = with_alpha(palette().text().color(), 90);
    const int32_t ch = peaks_.channels;
    // The channels a dump of this item carries: both for a stereo mix.
    auto sent = [&](int32_t c) {
        if (ch != 2) return c == 0;
        if (stereo_choice_ == kStereoLeft) return c == 0;
        if (stereo_choice_ == kStereoRight) return c == 1;
        return true;
    };
    const double frames = double(std::max<int64_t>(peaks_.frame_count, 1));
    auto frame_x = [&](double f) { return area.left() + f * area.width() / frames; };

    if (loop_.looped) {
        const double x0 = frame_x(loop_.start);
        const double x1 = frame_x(double(loop_.end) + 1.0);
        p.fillRect(QRectF(x0, area.top(), std::max(x1 - x0, 1.0), area.height()),
                   with_alpha(strong, 45));
        p.setPen(QPen(strong, 1));
        p.drawLine(QPointF(x0, area.top()), QPointF(x0, area.bottom()));
        p.drawLine(QPointF(x1, area.top()), QPointF(x1, area.bottom()));
    }

    const double lane_height = double(area.height()) / ch;
    for (int32_t c = 0; c < ch; ++c) {
        const QRectF lane(area.left(), area.top() + c * lane_height, area.width(), lane_height);
        p.setPen(with_alpha(palette().mid().color(), 160));
        p.drawLine(QPointF(lane.left(), lane.center().y()),
                   QPointF(lane.right(), lane.center().y()));
        p.setPen(QPen(sent(c) ? strong : weak, 1));
        const int32_t columns = std::min<int32_t>(peaks_.columns, area.width());
        for (int32_t x = 0; x < columns; ++x) {
            const double top = lane_y(lane, peaks_.max_of(c, x), peaks_.full_scale);
            const double bottom = lane_y(lane, peaks_.min_of(c, x), peaks_.full_scale);
            p.drawLine(QPointF(area.left() + x + 0.5, top), QPointF(area.left() + x + 0.5, bottom));
        }
    }

    // What the dump announces, in words beside the picture.
    p.setPen(palette().text().color());
    QFont small = font();
    small.setPointSizeF(std::max(small.pointSizeF() * 0.85, 6.0));
    p.setFont(small);
    const QString caption =
        loop_.looped ? tr("Loop %1 – %2").arg(loop_.start).arg(loop_.end) : tr("No loop");
    p.drawText(area.adjusted(2, 0, 0, -1), Qt::AlignLeft | Qt::AlignBottom, caption);

    if (loop_.looped && !seam_.after.empty() && !seam_.before.empty()) {
        const int w = std::min(180, area.width() / 3);
        const int h = std::min(72, area.height() / 2);
        paint_seam(p, QRect(area.right() - w, area.top(), w, h));
    }
}

void SampleView::paint_seam(QPainter& p, const QRect& box) {
    const QColor strong = palette().highlight().color();
    p.fillRect(box, palette().window());
    p.setPen(palette().dark().color());
    p.drawRect(box.adjusted(0, 0, -1, -1));
    // The words the dump carries: the mix of a stereo pair, or the channel chosen.
    const int32_t ch = std::max(seam_.channels, 1);
    auto word = [&](const std::vector<int32_t>& frames, size_t f) -> double {
        const int32_t* w = frames.data() + f * size_t(ch);
        if (ch == 2 && stereo_choice_ == kStereoMix) return (double(w[0]) + double(w[1])) / 2.0;
        if (ch == 2 && stereo_choice_ == kStereoRight) return w[1];
        return w[0];
    };
    const size_t before = seam_.before.size() / size_t(ch);
    const size_t after = seam_.after.size() / size_t(ch);
    const size_t total = before + after;
    const QRectF plot = QRectF(box).adjusted(4, 4, -4, -4);
    const double step = plot.width() / double(std::max<size_t>(total, 2) - 1);
    const double seam_x = plot.left() + (double(before) - 0.5) * step;
    p.setPen(QPen(palette().mid().color(), 1, Qt::DashLine));
    p.drawLine(QPointF(seam_x, box.top() + 1), QPointF(seam_x, box.bottom() - 1));
    p.drawLine(QPointF(plot.left(), plot.center().y()), QPointF(plot.right(), plot.center().y()));

    QPainterPath path;
    for (size_t i = 0; i < total; ++i) {
        const double v = i < before ? word(seam_.before, i) : word(seam_.after, i - before);
        const QPointF pt(plot.left() + double(i) * step, lane_y(plot, v, seam_.full_scale));
        if (i == 0) {
            path.moveTo(pt);
        } else {
            path.lineTo(pt);
        }
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(strong, 1.5));
    p.drawPath(path);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(palette().text().color());
    p.drawText(box.adjusted(4, 1, -4, -1), Qt::AlignRight | Qt::AlignTop, tr("seam"));
}

void SampleView::paint_waveform(QPainter& p, const QRect& area) {
    if (!versions_) return;
    const QColor strong = palette().highlight().color();
    // The equalisation headroom keeps the words well below full scale: every
    // version is drawn on one scale, that of the largest word.
    int32_t peak = 1;
    for (const std::vector<int16_t>* words : {&versions_->full, &versions_->half}) {
        for (int16_t w : *words) peak = std::max(peak, std::abs(int32_t(w)));
    }
    const double scale = peak;
    auto draw_cycle = [&](std::span<const int16_t> words, const QRectF& box, double pen) {
        p.setPen(palette().mid().color());
        p.drawRect(box);
        p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
        if (words.empty()) return;
        QPainterPath path;
        const double step = box.width() / double(words.size());
        for (size_t i = 0; i < words.size(); ++i) {
            const QPointF pt(box.left() + (double(i) + 0.5) * step, lane_y(box, words[i], scale));
            if (i == 0) {
                path.moveTo(pt);
            } else {
                path.lineTo(pt);
            }
        }
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(strong, pen));
        p.drawPath(path);
        p.setRenderHint(QPainter::Antialiasing, false);
    };

    const int big_width = area.width() * 11 / 20;
    const QRectF big(area.left(), area.top() + 14, big_width, area.height() - 14);
    draw_cycle(versions_->full_band(1024), big, 1.5);
    p.setPen(palette().text().color());
    p.drawText(QRect(area.left(), area.top(), big_width, 14), Qt::AlignLeft | Qt::AlignTop,
               tr("%1 · slot %2 · 1024 samples · peak %3 %")
                   .arg(QString::fromLatin1(versions_->name))
                   .arg(versions_->slot)
                   .arg(std::lround(100.0 * peak / 32768.0)));

    // Small multiples: full band 512 ... 4 in the first two rows, half band in the last two.
    const QRectF grid(area.left() + big_width + 8, area.top() + 14, area.width() - big_width - 8,
                      area.height() - 14);
    p.drawText(QRectF(grid.left(), area.top(), grid.width(), 14), Qt::AlignLeft | Qt::AlignTop,
               tr("full band / half band, 512 … 4"));
    const double cell_w = grid.width() / 4.0;
    const double cell_h = grid.height() / 4.0;
    int32_t size = 512;
    for (int k = 0; k < 8; ++k, size /= 2) {
        for (int half = 0; half < 2; ++half) {
            const int row = (k / 4) + 2 * half;
            const QRectF cell(grid.left() + (k % 4) * cell_w + 1, grid.top() + row * cell_h + 1,
                              cell_w - 3, cell_h - 3);
            draw_cycle(half ? versions_->half_band(size) : versions_->full_band(size), cell, 1.0);
        }
    }
}

}  // namespace j3
