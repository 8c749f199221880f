#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace j3 {
namespace {

std::atomic<bool> g_pressed{false};

extern "C" void on_ctrl_c(int) {
    g_pressed = true;
}

}  // namespace

CtrlC::CtrlC() {
    g_pressed = false;
    previous_ = std::signal(SIGINT, on_ctrl_c);
}

CtrlC::~CtrlC() {
    std::signal(SIGINT, previous_);
}

bool CtrlC::pressed() const {
    return g_pressed;
}

VerbEnd CtrlC::ending(VerbEnd end) const {
    return pressed() ? VerbEnd::kInterrupted : end;
}

}  // namespace j3
