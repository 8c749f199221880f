#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_window.h"
#include "app/open_with.h"
#include "app/preferences_location.h"
#include "app/versions.h"
#include "base/thread_role.h"
#include "cli/cli.h"
#include "engine/clock.h"
#include "engine/context.h"
#include "midi/midi_systems.h"
#include "receive/reception.h"

int main(int argc, char** argv) {
    // `j3 VERB ...` (or what looks like a mistyped verb) runs headless and
    // never touches the preferences; `j3` alone opens the window, and
    // `j3 FILE...` opens it with those files.
    if (argc > 1 && !std::strcmp(argv[1], "--version")) {
        // The versions the About box names, without opening a window.
        std::fputs(j3::version_text().toUtf8().constData(), stdout);
        return 0;
    }
    if (argc > 1 && (j3::is_cli_argument(argv[1]) || j3::is_mistyped_verb(argc, argv)))
        return j3::run_cli(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("J3"));
    QApplication::setApplicationVersion(j3::j3_version());
    // Ties the window to its menu entry (the desktop's icon and name for it).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.j3.J3"));
    QIcon icon = QIcon::fromTheme(QStringLiteral("org.j3.J3"));
    if (icon.isNull()) {
        icon.addFile(QStringLiteral(":/icons/j3-48.png"));
        icon.addFile(QStringLiteral(":/icons/j3-256.png"));
    }
    QApplication::setWindowIcon(icon);

    // Made before the MIDI service, the window outlives it where main returns
    // (no virtual destination): requests the service still holds when it is
    // destroyed complete (as cancelled) into a live window. After the event
    // loop nothing is destroyed (see the end).
    j3::record_main_thread();
    j3::Context ctx;
    j3::SystemClock clock;
    ctx.clock = &clock;
    j3::Reception reception;
    ctx.reception = &reception;
    j3::MainWindow window(ctx, j3::preferences_location());
    std::unique_ptr<j3::MidiService> midi = j3::make_midi_service();
    ctx.midi = midi.get();

    if (!window.start()) return 0;  // no virtual destination: nothing can be sent
    window.open_files(j3::files_from_arguments(QApplication::arguments().mid(1)));
    const int status = QApplication::exec();
    // The preferences are written by now (quit and close write them before
    // the event loop ends). Closing the MIDI clients would wait on the MIDI
    // server, and through it on every client in its graph: a stalled one
    // keeps a JACK close waiting for many seconds. The system closes them
    // with the process, so it ends here, without closing anything itself.
    std::fflush(nullptr);
    std::_Exit(status);
}
