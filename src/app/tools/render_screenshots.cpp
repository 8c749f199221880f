// Renders the main window and the configuration window to PNG files, with a
// few example items and a send in progress, for the documentation: the main
// window once with a looped sample's picture and once with a SysEx bank's
// message table.
//
//   QT_QPA_PLATFORM=offscreen j3_screenshots OUTPUT_DIR
//
// Uses only the built-in loopback endpoints and a preferences file in a
// temporary folder: the user's own settings are never read or written.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTableView>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "analysis/item_info.h"
#include "app/config_window.h"
#include "app/item_views.h"
#include "app/main_window.h"
#include "app/message_table.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "engine/preferences.h"
#include "format/bytes.h"
#include "midi/midi_systems.h"
#include "receive/reception.h"
#include "waveform/waveform_builder.h"

namespace {

void write_file(const QString& path, size_t bytes) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    std::string data(bytes, '\x10');
    data.front() = '\xF0';
    data.back() = '\xF7';
    out << data;
}

// A 16-bit WAV at 44100 Hz of interleaved samples, with one forward loop
// from loop_start to loop_end (frames) in its smpl chunk.
void write_looped_pcm16(const QString& path, uint16_t channels, const std::vector<int16_t>& samples,
                        uint32_t loop_start, uint32_t loop_end) {
    const uint32_t data_bytes = uint32_t(samples.size()) * 2;
    std::vector<uint8_t> w(44 + data_bytes + 8 + 60);
    uint8_t* p = w.data();
    std::memcpy(p, "RIFF", 4);
    j3::write_le32(p + 4, uint32_t(w.size() - 8));
    std::memcpy(p + 8, "WAVEfmt ", 8);
    j3::write_le32(p + 16, 16);
    j3::write_le16(p + 20, 1);
    j3::write_le16(p + 22, channels);
    j3::write_le32(p + 24, 44100);
    j3::write_le32(p + 28, 44100u * 2 * channels);
    j3::write_le16(p + 32, uint16_t(2 * channels));
    j3::write_le16(p + 34, 16);
    std::memcpy(p + 36, "data", 4);
    j3::write_le32(p + 40, data_bytes);
    for (size_t i = 0; i < samples.size(); ++i)
        j3::write_le16(p + 44 + 2 * i, uint16_t(samples[i]));
    uint8_t* smpl = p + 44 + data_bytes;
    std::memcpy(smpl, "smpl", 4);
    j3::write_le32(smpl + 4, 60);
    j3::write_le32(smpl + 8 + 28, 1);  // one loop
    j3::write_le32(smpl + 8 + 44, loop_start);
    j3::write_le32(smpl + 8 + 48, loop_end);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(w.data()), std::streamsize(w.size()));
}

// Mono: a sawtooth whose one cycle of 1024 frames is looped.
void write_looped_wav(const QString& path, int32_t frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) samples[size_t(i)] = int16_t((i % 1024) * 48 - 24576);
    write_looped_pcm16(path, 1, samples, 1024, 2047);
}

// Stereo: a plucked bass tone whose sustain is looped over ten cycles of 400
// frames.
void write_bass_loop(const QString& path) {
    constexpr int32_t kFrames = 24000;
    constexpr int32_t kLoopStart = 12000;
    constexpr int32_t kLoopEnd = kLoopStart + 10 * 400 - 1;
    std::vector<int16_t> samples(size_t(kFrames) * 2);
    const double two_pi = 6.283185307179586;
    for (int32_t i = 0; i < kFrames; ++i) {
        const double t = double(i % 400) / 400.0;
        // Attack, decay to a sustain level that holds from before the loop on.
        const double env =
            i < 300 ? i / 300.0 : (i < 9000 ? 0.55 + 0.45 * std::exp(-(i - 300) / 1800.0) : 0.55);
        const double left =
            std::sin(two_pi * t) + 0.45 * std::sin(2 * two_pi * t) + 0.2 * std::sin(3 * two_pi * t);
        const double right = std::sin(two_pi * t + 0.6) + 0.3 * std::sin(3 * two_pi * t);
        samples[2 * size_t(i)] = int16_t(17000.0 * env * left);
        samples[2 * size_t(i) + 1] = int16_t(15000.0 * env * right);
    }
    write_looped_pcm16(path, 2, samples, kLoopStart, kLoopEnd);
}

// A bank of instrument blocks with correct checksums, one of them damaged,
// and a short SDS dump after it.
void write_bank(const QString& path) {
    std::vector<uint8_t> out;
    uint32_t seed = 7;
    auto block = [&](uint8_t id, size_t n, bool damaged) {
        const size_t start = out.size();
        const uint8_t header[] = {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, id, 0x01, 0x01};
        out.insert(out.end(), header, header + sizeof header);
        for (size_t k = 0; k < n; ++k) {
            seed = seed * 1664525u + 1013904223u;
            out.push_back(uint8_t(seed >> 25));
        }
        uint32_t sum = 0;
        for (size_t k = start + 9; k < out.size(); ++k) sum += out[k];
        sum = (sum + (damaged ? 1 : 0)) % 16384;
        const uint32_t length = uint32_t(out.size() - start + 5 - 10);
        const uint8_t tail[] = {uint8_t(sum >> 7), uint8_t(sum & 0x7F), uint8_t(length >> 7),
                                uint8_t(length & 0x7F), 0xF7};
        out.insert(out.end(), tail, tail + sizeof tail);
    };
    block(0x50, 300, false);
    for (int k = 0; k < 6; ++k) block(0x52, 2000, k == 3);
    for (int k = 0; k < 4; ++k) block(0x67, 6000, false);
    block(0x69, 1200, false);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
}

bool save(QWidget* w, const QString& path) {
    const bool ok = w->grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The items the pictures show, made in work_dir and named as in a user's folder.
void add_items(j3::Context& ctx, const QString& work_dir) {
    const struct {
        const char* name;
        size_t bytes;  // 0: a looped sample
    } items[] = {
        {"Bank A.syx", 48213}, {"Saw cycle.wav", 0},        {"Bass loop.wav", 0},
        {"Chain.syx", 1023},   {"Backup 2.1.syx", 1048576},
    };
    for (const auto& item : items) {
        const QString path = work_dir + "/" + QString::fromUtf8(item.name);
        if (std::strcmp(item.name, "Bank A.syx") == 0) {
            write_bank(path);
        } else if (std::strcmp(item.name, "Bass loop.wav") == 0) {
            write_bass_loop(path);
        } else if (item.bytes) {
            write_file(path, item.bytes);
        } else {
            write_looped_wav(path, 4096);
        }
        j3::add_file_entry(ctx, path.toStdString(), nullptr);
        ctx.files.with_entry(uint32_t(ctx.files.size()), [&](j3::FileEntry& e) {
            // Shown as it would be in a user's folder, not the temporary one.
            e.file = std::string("/home/you/Samples/") + item.name;
            // The picture then shows which channel a dump of it carries.
            if (std::strcmp(item.name, "Bass loop.wav") == 0) e.stereo = 1;
        });
    }
}

// The main window sending, then with the bank's messages, then with the
// waveform message's cycles.
bool save_main_window(j3::MainWindow& window, j3::Context& ctx, const QString& out_dir) {
    // The second item becomes a waveform message, as the Waveform button makes it.
    auto* view = window.findChild<QAbstractItemView*>();
    view->clearSelection();
    window.list_select_item(2);
    j3::build_waveform_items(ctx);
    view->clearSelection();
    window.list_select_item(3);
    j3::show_item_info(ctx, 3, j3::kItemSelectedNotification);
    window.list_update();
    window.show_sending(true);
    window.set_progress_range(0, 48213);
    window.set_progress_value(30720);
    window.set_speed_label("4x");
    window.set_speed_indicator(true);
    window.set_send_status("Sending file 1 of 2. 30720 bytes.");
    QApplication::processEvents();

    // Room for the list, the info text and the item's picture.
    window.resize(900, 640);
    QApplication::processEvents();
    bool ok = save(&window, out_dir + "/main-window.png");

    // The bank's messages (the damaged block in the error colour) and the
    // bytes of the one before it.
    view->clearSelection();
    window.list_select_item(1);
    j3::show_item_info(ctx, 1, j3::kItemSelectedNotification);
    window.item_views()->message_view()->table()->selectRow(3);
    QApplication::processEvents();
    ok = save(&window, out_dir + "/main-window-messages.png") && ok;

    // The cycles of the waveform message built from the saw.
    view->clearSelection();
    window.list_select_item(2);
    j3::show_item_info(ctx, 2, j3::kItemSelectedNotification);
    window.item_views()->setCurrentIndex(0);
    QApplication::processEvents();
    return save(&window, out_dir + "/main-window-waveform.png") && ok;
}

bool save_config_window(j3::MainWindow& window, const QString& out_dir) {
    bool ok = true;
    window.command(j3::kCmdConfig);
    QApplication::processEvents();
    if (j3::ConfigWindow* conf = window.config_window()) {
        conf->adjustSize();
        QApplication::processEvents();
        ok = save(conf, out_dir + "/configuration-window.png");
        conf->close_window();
    }
    QApplication::processEvents();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out_dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out_dir);
    QTemporaryDir work;
    if (!work.isValid()) return 1;

    j3::Reception reception;
    j3::Context ctx;
    j3::SystemClock clock;
    ctx.clock = &clock;
    ctx.reception = &reception;
    j3::MainWindow window(ctx, (work.path() + "/prefs.plist").toStdString());
    j3::MidiServiceOptions loopback_only;
    loopback_only.alsa = false;
    loopback_only.jack = false;
    auto midi = j3::make_midi_service(loopback_only);
    ctx.midi = midi.get();
    if (!window.start()) return 1;

    add_items(ctx, work.path());
    bool ok = save_main_window(window, ctx, out_dir);
    ok = save_config_window(window, out_dir) && ok;
    midi.reset();
    return ok ? 0 : 1;
}
