// Everything the program keeps, in one object: main creates it once, each
// test creates a fresh one. There is no other process-wide state.
#pragma once

#include "audio/sample_info.h"
#include "audio/sds_encoder.h"
#include "engine/clock.h"
#include "engine/input_state.h"
#include "engine/receive_state.h"
#include "engine/settings.h"
#include "engine/transfer_state.h"
#include "engine/window_controls.h"
#include "filelist/file_entry.h"
#include "midi/endpoints.h"
#include "midi/midi_service.h"
#include "waveform/fft.h"

namespace j3 {

struct Context {
    // The seams; set by whoever creates the context and kept alive by it.
    MidiService* midi = nullptr;
    WindowControls* window = nullptr;
    Clock* clock = nullptr;

    Settings settings;
    TransferState transfer;
    FileList files;
    MidiEndpoints endpoints;
    SampleInfo sample_info;  // filled by readers run for the info text
    SdsEncoder encoder;      // keeps its own SampleInfo for the item being sent
    ReceiveState receive;
    InputState input;  // the input routine's reception and replies
    FftTables fft;
};

}  // namespace j3
