// The wiring of the program: main creates one, each test creates a fresh
// one. It holds the seams, the settings, the file list, the send and the
// endpoint and FFT tables; the reception (receive/reception.h) lives a floor
// above and is wired in like a seam. There is no other process-wide state.
#pragma once

#include "audio/sample_info.h"
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
    SendLoop send;           // the send's owner
    SampleInfo sample_info;  // filled by readers run for the info text
    FftTables fft;
};

}  // namespace j3
