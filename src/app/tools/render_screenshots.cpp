// Renders the main window and the configuration window to PNG files, with a
// few example items and a send in progress, for the documentation.
//
//   QT_QPA_PLATFORM=offscreen j3_screenshots OUTPUT_DIR
//
// Uses only the built-in loopback endpoints and a preferences file in a
// temporary folder: the user's own settings are never read or written.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>

#include "app/config_window.h"
#include "app/main_window.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/preferences.h"
#include "midi/rtmidi_service.h"

namespace {

void write_file(const QString& path, size_t bytes) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    std::string data(bytes, '\x10');
    data.front() = '\xF0';
    data.back() = '\xF7';
    out << data;
}

bool save(QWidget* w, const QString& path) {
    const bool ok = w->grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out_dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out_dir);
    QTemporaryDir work;
    if (!work.isValid()) return 1;

    j3::Context ctx;
    j3::SystemClock clock;
    ctx.clock = &clock;
    j3::MainWindow window(ctx, (work.path() + "/prefs.plist").toStdString());
    j3::MidiServiceOptions loopback_only;
    loopback_only.alsa = false;
    loopback_only.jack = false;
    auto midi = j3::make_midi_service(loopback_only);
    ctx.midi = midi.get();
    if (!window.start()) return 1;

    const struct {
        const char* name;
        size_t bytes;
    } items[] = {
        {"Drum kits, bank A.syx", 48213},
        {"Global settings.syx", 412},
        {"Songs 1-16.syx", 7027},
        {"Pattern chain.syx", 1023},
        {"Operating system 2.1.syx", 1048576},
    };
    for (const auto& item : items) {
        const QString path = work.path() + "/" + QString::fromUtf8(item.name);
        write_file(path, item.bytes);
        j3::add_file_entry(ctx, path.toStdString(), nullptr);
        // Shown as it would be in a user's folder, not the temporary one.
        ctx.files.file_array.back().file = std::string("/home/you/SysEx/") + item.name;
    }
    window.list_update();
    window.findChild<QAbstractItemView*>()->clearSelection();
    window.list_select_item(3);
    window.set_info_text("Songs 1-16.syx\n3 songs, 12 patterns and 1 setting; every block intact.");
    window.set_control_text(j3::kSendButton, "Stop!");
    window.set_progress_range(0, 7027);
    window.set_progress_value(4630);
    window.set_control_text(j3::kSpeedLabel, "4x");
    window.set_speed_indicator(true);
    j3::set_status_text(ctx.transfer, "Sending file 2 of 3. 4630 bytes.");
    window.update_status();
    QApplication::processEvents();

    bool ok = save(&window, out_dir + "/main-window.png");
    window.command(j3::kCmdConfig);
    QApplication::processEvents();
    if (j3::ConfigWindow* conf = window.config_window()) {
        conf->adjustSize();
        QApplication::processEvents();
        ok = save(conf, out_dir + "/configuration-window.png") && ok;
        conf->close_window();
    }
    QApplication::processEvents();
    midi.reset();
    return ok ? 0 : 1;
}
