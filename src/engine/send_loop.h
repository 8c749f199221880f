// The send: the queued items go to the chosen destination one after the
// other, a SysEx item message by message, a sample item as a sample dump
// (sds_handshake.cpp), with one request in flight.
//
//   idle --start_sending--> sending --(each completion: next piece, next item)--> ... --> idle
//
// Stop (the Send command while sending), a receiver's CANCEL and a refused or
// lost request lead to idle from any point. Every ending is one SendOutcome
// (outcomes.h), shown by the window and turned into the command line's exit
// status.
//
// SendLoop owns the send's state: nothing returns it, and only the send's
// entry points below and in turbo.h reach it. Threads: see
// docs/architecture.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/outcomes.h"
#include "midi/midi_service.h"

namespace j3 {

struct Context;
struct SendState;  // send_state.h: the send's own files only

// What an instrument answered, as the input routine heard it.
enum class InstrumentReply {
    kAck,          // value: the packet number
    kNak,          // value: the packet number asked for again
    kWait,         // the receiver needs time
    kCancel,       // the receiver ends the dump
    kSpeedReport,  // value: the speed index in force
};

class SendLoop {
  public:
    SendLoop();
    ~SendLoop();
    SendLoop(const SendLoop&) = delete;
    SendLoop& operator=(const SendLoop&) = delete;

    // A send runs. Any thread.
    bool sending() const;
    // A send runs, or the service still holds its last request and reads the
    // entry buffer it points into: entries must not be removed or rebuilt.
    // Any thread.
    bool busy() const;
    // Where the send is, for the status line. Any thread; takes the send's
    // lock, so a snapshot never follows the ending it raced with.
    SendProgress progress() const;
    // How the last send ended; nullopt before the first one ended.
    std::optional<SendOutcome> outcome() const;
    // The MIDI speed in force x 10 (10: standard speed). Any thread.
    int32_t speed_factor() const;

  private:
    // The send's entry points, here and in turbo.h, are the only code that
    // reaches its state; they hand it on to the send's own helpers.
    friend bool start_sending(Context& ctx);
    friend void send_completion(Context& ctx, SysexRequest* request);
    friend void stop_sending(Context& ctx);
    friend void cancel_sending(Context& ctx, std::string reason);
    friend void take_instrument_reply(Context& ctx, InstrumentReply reply, uint8_t value);
    friend void set_speed(Context& ctx, int32_t index);
    friend bool send_control_message(Context& ctx, Endpoint destination, const uint8_t* bytes,
                                     size_t size);
    friend bool control_messages_pending(Context& ctx);

    std::unique_ptr<SendState> state_;
};

// Starts sending the items of the current selection (GUI thread). The caller
// has checked that a destination is chosen and refresh_selection returned at
// least 1. When the previous send's last request is still held by the service
// (it is being cancelled), the send starts by itself once that request is
// back, and this returns false.
bool start_sending(Context& ctx);

// The completion procedure of the data request; runs on the MIDI service's
// completion thread and may pause there for "Delay" and the handshake.
void send_completion(Context& ctx, SysexRequest* request);

// Stop: the Send command while a send runs (or a start still waits). Any
// thread.
void stop_sending(Context& ctx);

// Ends a running send from outside with the reason the status line gives
// ("Stopped: " + reason). Any thread.
void cancel_sending(Context& ctx, std::string reason);

// The input routine's one way into the send: handshake replies count while a
// sample dump goes out (CANCEL ends it at once); a speed report puts that
// speed in force. Input thread.
void take_instrument_reply(Context& ctx, InstrumentReply reply, uint8_t value = 0);

}  // namespace j3
