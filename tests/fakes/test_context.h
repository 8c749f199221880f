// A fresh context wired to the fakes.
#pragma once

#include <memory>

#include "engine/context.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_midi_service.h"
#include "fakes/fake_window.h"
#include "receive/reception.h"

namespace j3::testing {

struct TestContext {
    TestContext() {
        ctx.midi = &midi;
        ctx.window = &window;
        ctx.clock = &clock;
        ctx.reception = &reception;
    }
    FakeMidiService midi;
    FakeWindow window;
    FakeClock clock;
    Reception reception;
    Context ctx;
};

}  // namespace j3::testing
