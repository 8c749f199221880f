// The service over two scripted backends: endpoints are numbered and listed
// in the backends' order, and every call about an endpoint reaches the
// backend that owns it, with that backend's own name of the port.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "midi/port_names.h"
#include "midi/routing_service.h"

namespace j3 {
namespace {

using namespace std::chrono_literals;

// Lists what the test says and notes every call about a port, as
// "<call> <key>"; transmit and crossed come from the link thread.
struct ScriptedBackend final : MidiBackend {
    std::vector<std::string> sources, destinations;
    uint64_t xrun_count = 0, stalled_ns = 0;

    void open(const ClientNames&) override {}
    std::vector<std::string> ports(bool source) override { return source ? sources : destinations; }
    EndpointInfo describe(const std::string& key) const override {
        return endpoint_info_from_port_name(PortNaming::kJack, key);
    }
    bool connect_source(const std::string& key) override { return note("connect", key); }
    bool disconnect_source(const std::string& key) override { return note("disconnect", key); }
    bool present(const std::string& key, bool source) override {
        return note(source ? "present-source" : "present-destination", key);
    }
    SendResult check(const std::string& key, const SysexRequest&) override {
        note("check", key);
        return kSendTaken;
    }
    Transmitted transmit(const std::string& key, const SysexRequest&, int bytes_per_second,
                         const std::function<bool()>&) override {
        note("transmit at " + std::to_string(bytes_per_second), key);
        return {kSendTaken, false};
    }
    void crossed(const std::string& key, const uint8_t*, uint32_t count) override {
        note("crossed " + std::to_string(count), key);
    }
    bool can_hold_for_ack(const std::string& key) override { return note("hold", key); }
    uint64_t xruns() override { return xrun_count; }
    uint64_t stall_ns() override { return stalled_ns; }
    std::string last_error() override { return "error of " + sources.front(); }

    bool note(const std::string& call, const std::string& key) {
        std::lock_guard lock(mutex);
        calls.push_back(call + " " + key);
        changed.notify_all();
        return true;
    }
    std::vector<std::string> taken_calls() {
        std::lock_guard lock(mutex);
        return std::exchange(calls, {});
    }
    bool wait_calls(size_t n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return calls.size() >= n; });
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> calls;
};

struct Routing : ::testing::Test {
    void SetUp() override {
        a->sources = {"synth:out", "J3:Input port", "", "a:two"};
        a->destinations = {"synth:in"};
        b->sources = {"synth:midi", "J3-02:Output port"};
        b->destinations = {"box:in", "J3:Output port"};
        midi = std::make_unique<RoutingService>([this](InputPump&) {
            BackendList list;
            list.push_back(std::move(a_owned));
            list.push_back(std::move(b_owned));
            return list;
        });
        midi->create_client("J3", "Input port", "Output port", nullptr);
    }
    std::vector<std::string> names(bool source) {
        std::vector<std::string> out;
        const int n = source ? midi->source_count() : midi->destination_count();
        for (int i = 0; i < n; ++i) {
            const EndpointInfo info =
                midi->endpoint_info(source ? midi->source(i) : midi->destination(i));
            out.push_back(info.device_name + ":" + info.name + "/" +
                          std::to_string(info.device_entities));
        }
        return out;
    }

    std::unique_ptr<ScriptedBackend> a_owned = std::make_unique<ScriptedBackend>();
    std::unique_ptr<ScriptedBackend> b_owned = std::make_unique<ScriptedBackend>();
    ScriptedBackend* a = a_owned.get();
    ScriptedBackend* b = b_owned.get();
    std::unique_ptr<RoutingService> midi;
};

// This program's ports (another J3's too) and nameless ones are left out; a
// device's endpoints are counted over every backend.
TEST_F(Routing, ListsEachBackendsPortsInTheirOrderWithoutItsOwn) {
    EXPECT_EQ(names(true), (std::vector<std::string>{"synth:out/2", "a:two/1", "synth:midi/2"}));
    EXPECT_EQ(names(false), (std::vector<std::string>{"synth:in/1", "box:in/1"}));
}

TEST_F(Routing, AnEndpointKeepsItsIdWhileItsPortComesAndGoes) {
    const Endpoint out = midi->source(0), two = midi->source(1), b_midi = midi->source(2);
    a->sources = {"a:two", "a:new"};
    midi->create_client("J3", "Input port", "Output port", nullptr);
    EXPECT_EQ(midi->source(0), two);
    EXPECT_EQ(midi->source(2), b_midi);
    const Endpoint added = midi->source(1);
    EXPECT_NE(added, out);
    a->sources = {"synth:out", "a:two", "a:new"};
    midi->create_client("J3", "Input port", "Output port", nullptr);
    EXPECT_EQ(midi->source(0), out);
    EXPECT_EQ(midi->source(2), added);
}

TEST_F(Routing, EveryCallReachesTheBackendThatOwnsTheEndpoint) {
    struct Case {
        const char* description;
        std::function<void()> call;
        ScriptedBackend* owner;
        std::vector<std::string> want;
    };
    const Endpoint a_out = midi->source(0), b_midi = midi->source(2);
    const Endpoint a_in = midi->destination(0), b_in = midi->destination(1);
    const Case cases[] = {
        {"connect a source of the first",
         [&] { midi->connect_source(a_out); },
         a,
         {"connect synth:out"}},
        {"connect a source of the second",
         [&] { midi->connect_source(b_midi); },
         b,
         {"connect synth:midi"}},
        {"disconnect", [&] { midi->disconnect_source(b_midi); }, b, {"disconnect synth:midi"}},
        {"a source's presence",
         [&] { midi->source_present(a_out); },
         a,
         {"present-source synth:out"}},
        {"a destination's presence",
         [&] { midi->destination_present(b_in); },
         b,
         {"present-destination box:in"}},
        {"holding for an ACK", [&] { midi->can_hold_for_ack(a_in); }, a, {"hold synth:in"}},
        {"a destination is no source", [&] { midi->connect_source(a_in); }, nullptr, {}},
        {"a source is no destination", [&] { midi->destination_present(b_midi); }, nullptr, {}},
        {"no endpoint", [&] { midi->source_present(kNoEndpoint); }, nullptr, {}},
    };
    for (const Case& c : cases) {
        c.call();
        for (ScriptedBackend* backend : {a, b}) {
            const std::vector<std::string> want =
                backend == c.owner ? c.want : std::vector<std::string>{};
            EXPECT_EQ(backend->taken_calls(), want) << c.description;
        }
    }
    EXPECT_EQ(midi->backend_error(b_in), "error of synth:midi");
    EXPECT_EQ(midi->backend_error(a_out), "error of synth:out");
}

// Checked, handed over at the destination's own speed, and its bytes
// reported crossed: all to the destination's backend.
TEST_F(Routing, ARequestGoesToItsDestinationsBackendAtItsSpeed) {
    const Endpoint b_in = midi->destination(1);
    midi->set_max_sysex_speed(b_in, 1000000);
    const std::vector<uint8_t> bytes = {0xF0, 0x01, 0xF7};
    SysexRequest r;
    r.destination = b_in;
    r.data = bytes.data();
    r.bytes_to_send = uint32_t(bytes.size());
    ASSERT_EQ(midi->send_sysex(&r), kSendTaken);
    ASSERT_TRUE(b->wait_calls(3));
    EXPECT_EQ(b->taken_calls(),
              (std::vector<std::string>{"check box:in", "transmit at 1000000 box:in",
                                        "crossed 3 box:in"}));
    EXPECT_TRUE(a->taken_calls().empty());
    // The record is the test's until the service has completed it.
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!r.complete && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(r.complete);
}

TEST_F(Routing, XrunsAndStallsAreSummedOverTheBackends) {
    a->xrun_count = 2;
    b->xrun_count = 3;
    a->stalled_ns = 1000;
    b->stalled_ns = 20;
    EXPECT_EQ(midi->xrun_count(), 5u);
    EXPECT_EQ(midi->stall_ns(), 1020u);
}

}  // namespace
}  // namespace j3
