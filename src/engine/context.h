// The wiring of the program: main creates one, each test creates a fresh
// one. It holds the seams, the settings, the file list, the send and the
// endpoint and FFT tables; the reception (receive/reception.h) lives a floor
// above and is wired in like a seam. Beside it the process keeps only what a
// signal handler or a thread check must find without it: the table of file
// mappings (filelist/mapped_file.h), the main thread's id
// (base/thread_role.h) and the command line's interrupt flags.
#pragma once

#include "engine/clock.h"
#include "engine/send_loop.h"
#include "engine/settings.h"
#include "engine/window_controls.h"
#include "filelist/file_entry.h"
#include "midi/endpoints.h"
#include "midi/midi_service.h"
#include "waveform/fft.h"

namespace j3 {

class Reception;

struct Context {
    // The seams, and the reception's owner; set by whoever creates the
    // context and kept alive by it.
    MidiService* midi = nullptr;
    WindowControls* window = nullptr;
    Clock* clock = nullptr;
    Reception* reception = nullptr;

    Settings settings;
    FileList files;
    MidiEndpoints endpoints;
    SendLoop send;  // the send's owner
    FftTables fft;
};

}  // namespace j3
