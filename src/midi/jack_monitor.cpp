#include "midi/jack_monitor.h"

#if J3_WITH_JACK
#include <jack/jack.h>
#endif

#include <thread>

namespace j3 {
namespace {

constexpr uint32_t kRingUsable = 16383;
constexpr uint32_t kLengthField = 4;  // RtMidi stores each message's length as an int
// Bytes written while the counter read c are surely drained once it reads
// c + 3: by then a whole cycle of RtMidi's client has started after the write.
constexpr uint64_t kCyclesToDrain = 3;

}  // namespace

#if J3_WITH_JACK

namespace {
void quiet(const char*) {}
}  // namespace

std::unique_ptr<JackMonitor> JackMonitor::open(const std::string& client_name) {
    // Without a server, libjack prints its connection failures; a missing
    // server is a normal case here.
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status;
    jack_client_t* client = jack_client_open(client_name.c_str(), JackNoStartServer, &status);
    if (!client) return nullptr;
    std::unique_ptr<JackMonitor> monitor(new JackMonitor);
    monitor->client_ = client;
    jack_set_process_callback(client, process, monitor.get());
    jack_set_xrun_callback(client, xrun, monitor.get());
    jack_on_info_shutdown(
        client, [](jack_status_t, const char*, void* self) { shutdown(self); }, monitor.get());
    if (jack_activate(client) != 0) return nullptr;
    return monitor;
}

std::string JackMonitor::library_version() {
    const char* version = jack_get_version_string();
    return version ? version : "";
}

JackMonitor::~JackMonitor() {
    if (client_) jack_client_close(static_cast<jack_client_t*>(client_));
}

// JACK's process thread: counts cycles, nothing else.
int JackMonitor::process(uint32_t, void* self) {
    static_cast<JackMonitor*>(self)->cycles_.fetch_add(1, std::memory_order_release);
    return 0;
}

// A JACK thread, for every xrun the server reports.
int JackMonitor::xrun(void* self) {
    auto* monitor = static_cast<JackMonitor*>(self);
    const int64_t now = int64_t(monitor->cycles_.load(std::memory_order_acquire));
    if (now - monitor->last_write_cycle_.load(std::memory_order_relaxed) <= int64_t(kCyclesToDrain))
        monitor->xruns_.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

// A JACK thread, when the server shuts down or drops the client.
void JackMonitor::shutdown(void* self) {
    static_cast<JackMonitor*>(self)->alive_ = false;
}

bool JackMonitor::port_exists(const std::string& full_name) const {
    if (!alive_) return false;
    return jack_port_by_name(static_cast<jack_client_t*>(client_), full_name.c_str()) != nullptr;
}

std::vector<std::string> JackMonitor::connections(const std::string& full_name) const {
    std::vector<std::string> names;
    if (!alive_) return names;
    auto* client = static_cast<jack_client_t*>(client_);
    jack_port_t* port = jack_port_by_name(client, full_name.c_str());
    if (!port) return names;
    if (const char** list = jack_port_get_all_connections(client, port)) {
        for (const char** p = list; *p; ++p) names.emplace_back(*p);
        jack_free(list);
    }
    return names;
}

#else

std::unique_ptr<JackMonitor> JackMonitor::open(const std::string&) {
    return nullptr;
}
std::string JackMonitor::library_version() {
    return {};
}
JackMonitor::~JackMonitor() = default;
int JackMonitor::process(uint32_t, void*) {
    return 0;
}
void JackMonitor::shutdown(void*) {}
int JackMonitor::xrun(void*) {
    return 0;
}
bool JackMonitor::port_exists(const std::string&) const {
    return false;
}
std::vector<std::string> JackMonitor::connections(const std::string&) const {
    return {};
}

#endif

bool JackMonitor::make_room(uint32_t bytes, std::chrono::milliseconds patience,
                            const std::atomic<bool>* cancel) {
    const uint32_t need = bytes + kLengthField;
    if (need > kRingUsable) return false;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (!alive_ || (cancel && *cancel)) return false;
        const uint64_t cycles = cycles_.load(std::memory_order_acquire);
        while (!written_.empty() && written_.front().first + kCyclesToDrain <= cycles) {
            written_.pop_front();
        }
        uint32_t in_ring = 0;
        for (auto& w : written_) in_ring += w.second;
        if (in_ring + need <= kRingUsable) {
            written_.emplace_back(cycles, need);
            last_write_cycle_.store(int64_t(cycles), std::memory_order_relaxed);
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool JackMonitor::wait_cycles(uint64_t cycles, std::chrono::milliseconds patience) {
    const uint64_t until = cycles_.load(std::memory_order_acquire) + cycles;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (cycles_.load(std::memory_order_acquire) < until) {
        if (!alive_ || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace j3
