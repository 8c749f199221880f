// Which thread is the program's main one (the window's GUI thread, or the
// command line's main), recorded once at start, so code that must run there
// can check it in every build, tests included.
#pragma once

namespace j3 {

// Call once on the main thread before any other thread starts.
void record_main_thread();
// True on the recorded thread, and before any thread was recorded (a test
// that never records one runs everything on its own thread).
bool on_main_thread();
// Ends the program with a message naming `where` when called off the main
// thread: a widget or list touched from a MIDI thread is a fault, not a race
// to ride out.
void expect_main_thread(const char* where);

}  // namespace j3
