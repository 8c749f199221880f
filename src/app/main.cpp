#include <QApplication>

#include "app/main_window.h"
#include "app/preferences_location.h"
#include "cli/cli.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "engine/sysex_send.h"
#include "midi/rtmidi_service.h"

int main(int argc, char** argv) {
    // `j3 VERB ...` runs headless and never touches the preferences; `j3`
    // alone opens the window.
    if (argc > 1) return j3::run_cli(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("J3"));

    // The window outlives the MIDI service: requests the service still holds
    // when it is destroyed complete (as cancelled) into a live window.
    j3::Context ctx;
    j3::SystemClock clock;
    ctx.clock = &clock;
    j3::MainWindow window(ctx, j3::preferences_location());
    std::unique_ptr<j3::MidiService> midi = j3::make_midi_service();
    ctx.midi = midi.get();

    if (!window.start()) return 0;  // no virtual destination: nothing can be sent
    const int status = QApplication::exec();
    // Completions of a send cut short by quitting find the send stopped.
    if (ctx.transfer.send_mode != j3::kSendIdle) j3::stop_sending(ctx);
    midi.reset();
    return status;
}
