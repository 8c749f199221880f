// Where the window meets the parts of the program that arrive one by one
// (content analysis, waveform builder, receiving, speed negotiation, saving).
// Each feature is connected in exactly one function here; until it is, the
// function does the plain thing its comment says. GUI thread, all of them.
#pragma once

#include <cstdint>
#include <string>

#include "midi/midi_service.h"

namespace j3 {

struct Context;
struct FileEntry;

// Text of the list's TYPE column for an entry: its family tag. "-" until the
// analysis is connected.
std::string type_tag_text(Context& ctx, FileEntry& entry);

// A row was selected: resets the item buttons and shows the item's analysis
// in the info text. Until the analysis is connected: the Loop and Stereo
// titles of the entry and an empty info text.
void show_selection_info(Context& ctx, uint32_t id);

// The input port's read procedure (runs on the MIDI service's input thread).
ReadProc input_read_proc(Context& ctx);

// The FFT tables for the waveform builder, made once at start-up.
void set_up_fft(Context& ctx);

// Asks the destination's instrument for its speed: at start-up when both
// endpoints are chosen, and after the configuration's OK (reset_first: back to
// normal speed before asking).
void request_speed(Context& ctx, bool reset_first);

// The waveform command (button 19): builds a waveform message from the
// selected looped sample.
void build_waveform(Context& ctx);

// The Receive command: starts or stops a reception. false while receiving is
// not connected (the button stays disabled).
bool receive_available();
void toggle_receive(Context& ctx);

// The Save command with items selected: writes them to disk. false while
// saving is not connected (the menu item stays disabled).
bool save_available();
void save_selected_items(Context& ctx);

}  // namespace j3
