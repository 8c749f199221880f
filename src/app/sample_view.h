// The picture of an item: the waveform of an audio sample (min and max per
// pixel column, each channel in its own lane, the channel the Stereo choice
// sends drawn strong), its loop shaded by the Loop choice and the loop seam
// magnified in an inset; or the cycles a waveform message carries, the
// 1024-sample version large and the smaller ones beside it. The numbers come
// from the core (audio/sample_picture.h, waveform/waveform_cycles.h); this
// widget only paints them.
//
// GUI thread. show_audio keeps a pointer into the item's buffer for redraws
// at other widths: the caller shows another item or calls clear() before that
// buffer goes away.
#pragma once

#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "audio/sample_info.h"
#include "audio/sample_picture.h"
#include "audio/sds_encoder.h"
#include "waveform/waveform_cycles.h"

namespace j3 {

class SampleView : public QWidget {
    Q_OBJECT
  public:
    enum class Mode { kEmpty, kAudio, kWaveform };

    explicit SampleView(QWidget* parent = nullptr);

    // An audio file (WAV, AIFF, AIFC) of size bytes, with the item's
    // LoopChoice and StereoChoice. False (and empty) when it does not parse.
    bool show_audio(const uint8_t* bytes, size_t size, int32_t loop_choice, int32_t stereo_choice);
    // The same for audio the view keeps itself (a stored dump made audio).
    bool show_owned_audio(std::vector<uint8_t> file, int32_t loop_choice, int32_t stereo_choice);
    // New Loop and Stereo choices for the audio shown; redraws at once.
    void set_choices(int32_t loop_choice, int32_t stereo_choice);
    void show_waveform(WaveformVersions versions);
    void clear();
    // Drops the peaks kept for earlier items (their buffers may be gone).
    void forget_peaks();

    Mode mode() const { return mode_; }
    // What is drawn, for tests: the loop the dump announces, the seam inset's
    // words and the peaks of the current width.
    const SentLoop& loop() const { return loop_; }
    int32_t stereo_choice() const { return stereo_choice_; }
    const LoopSeam& seam() const { return seam_; }
    const SamplePeaks& peaks() const { return peaks_; }

    QSize sizeHint() const override { return {420, 150}; }
    QSize minimumSizeHint() const override { return {160, 80}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void update_loop();
    void update_peaks();
    void paint_audio(QPainter& p, const QRect& area);
    void paint_seam(QPainter& p, const QRect& box);
    void paint_waveform(QPainter& p, const QRect& area);

    Mode mode_ = Mode::kEmpty;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    std::vector<uint8_t> owned_;
    SampleInfo info_;
    int32_t loop_choice_ = 0;
    int32_t stereo_choice_ = 0;
    SentLoop loop_;
    LoopSeam seam_;
    SamplePeaks peaks_;  // of the item shown, at peaks_width_ columns
    int32_t peaks_width_ = -1;
    // Peaks of the last few items and widths, so that going back to an
    // item does not read all of it again.
    struct KeptPeaks {
        const uint8_t* data;
        size_t size;
        int32_t width;
        SamplePeaks peaks;
    };
    std::vector<KeptPeaks> kept_;
    bool keep_peaks_ = false;  // false for audio the view owns
    std::optional<WaveformVersions> versions_;
};

}  // namespace j3
