// The command line's status lines come out in the order the send lived them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/console_window.h"

namespace j3 {
namespace {

std::string printed(FILE* f) {
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += char(c);
    return text;
}

// The progress loop reads the state, then prints; the send or the reception
// may end in between. A progress line that comes after the ending is not
// printed.
TEST(ConsoleWindow, AProgressLineLateForTheEndingIsNotPrinted) {
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        ConsoleWindow window(out);
        window.show_sending(true);
        window.set_send_progress("Sending file 1 of 1. 1 samples.");
        window.show_sending(false);
        window.set_send_status("Stopped: the receiver cancelled the dump.");
        window.set_send_progress("Sending file 1 of 1. 120 samples.");

        window.show_receiving(true);
        window.set_receive_progress("Receiving. 10 bytes.");
        window.show_receiving(false);
        window.set_receive_status("Stopped: the MIDI source went away.");
        window.set_receive_progress("Receiving. 20 bytes.");
    }
    EXPECT_EQ(printed(out),
              "Sending file 1 of 1. 1 samples.\nStopped: the receiver cancelled the dump.\n"
              "Receiving. 10 bytes.\nStopped: the MIDI source went away.\n");
    std::fclose(out);
}

}  // namespace
}  // namespace j3
