#include "jack_fixture.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace j3::testing {
namespace {

std::atomic<int> g_serial{0};

std::string unique_suffix() {
    return std::to_string(::getpid()) + "-" + std::to_string(g_serial++);
}

}  // namespace

std::string temp_path(const std::string& leaf) {
    return (std::filesystem::temp_directory_path() / ("j3-it-" + unique_suffix() + "-" + leaf))
        .string();
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& out_path,
            const std::string& err_path) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

int wait_child(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
}

RunResult run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    const std::string out = temp_path("out"), err = temp_path("err");
    RunResult r;
    r.status = wait_child(spawn(argv, out, err), timeout);
    r.out = read_text(out);
    r.err = read_text(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

namespace {

// Stops a server the way it is meant to stop, so that it gives back its slot
// in JACK's shared server registry (there are 8).
void terminate_server(pid_t pid) {
    ::kill(pid, SIGTERM);
    wait_child(pid, 10s);
}

constexpr int kServerNames = 4;

// A server left running under this name by a test run that was killed (its
// lock went with it): stopped, so the name can start again.
void stop_leftover_server(const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::vector<std::string> argv;
        for (std::string arg; std::getline(in, arg, '\0');) argv.push_back(arg);
        if (argv.empty() || std::filesystem::path(argv[0]).filename() != "jackd") continue;
        const auto n = std::find(argv.begin(), argv.end(), "-n");
        if (n == argv.end() || n + 1 == argv.end() || n[1] != name) continue;
        const pid_t leftover = std::stoi(pid);
        ::kill(leftover, SIGTERM);
        for (int i = 0; i < 100 && ::kill(leftover, 0) == 0; ++i)
            std::this_thread::sleep_for(100ms);
    }
}

// Takes the first free name of the set, waiting while every one is held by
// a running test; returns the lock's descriptor (-1 when none came free).
int claim_server_name(std::string& name) {
    const auto give_up = std::chrono::steady_clock::now() + 300s;
    while (std::chrono::steady_clock::now() < give_up) {
        for (int i = 0; i < kServerNames; ++i) {
            const std::string candidate = "j3test-" + std::to_string(i);
            const std::string path = "/tmp/" + candidate + ".lock";
            const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
            if (fd < 0) continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                name = candidate;
                return fd;
            }
            ::close(fd);
        }
        std::this_thread::sleep_for(200ms);
    }
    return -1;
}

}  // namespace

JackServer::JackServer(int period_frames) {
    name_lock_ = claim_server_name(name_);
    if (name_lock_ < 0) {
        std::fprintf(stderr, "every JACK test server name is in use\n");
        return;
    }
    stop_leftover_server(name_);
    const std::string log = temp_path("jackd.log");
    // Synchronous: a cycle ends when every client has run. A client kept
    // off the processor on a busy machine (or slowed by ThreadSanitizer)
    // then makes an xrun, instead of reading a port buffer its writer is
    // already refilling for the next cycle.
    std::vector<std::string> argv = {"jackd", "--no-realtime", "-S", "-n", name_, "-d", "dummy"};
    if (period_frames > 0) {
        argv.push_back("-p");
        argv.push_back(std::to_string(period_frames));
    }
    pid_ = spawn(argv, log, log);
    const RunResult waited =
        run({"jack_wait", "-n", "j3wait-" + unique_suffix(), "-w", "-s", name_, "-t", "20"}, 30s);
    if (waited.status != 0) {
        std::fprintf(stderr, "jackd -n %s did not start:\n%s\n", name_.c_str(),
                     read_text(log).c_str());
        terminate_server(pid_);
        pid_ = -1;
    }
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    std::filesystem::remove(log);
}

JackServer::~JackServer() {
    if (pid_ > 0) terminate_server(pid_);
    if (killed_) {
        // A killed server leaves its registry slot taken until a server of
        // the same name starts again: start one and stop it properly.
        const pid_t again =
            spawn({"jackd", "--no-realtime", "-n", name_, "-d", "dummy"}, "/dev/null", "/dev/null");
        run({"jack_wait", "-n", "j3wait-" + unique_suffix(), "-w", "-s", name_, "-t", "10"}, 20s);
        terminate_server(again);
    }
    // Later clients in this process find no server rather than a stale one
    // (unless another server has taken over meanwhile).
    const char* current = ::getenv("JACK_DEFAULT_SERVER");
    if (current && name_ == current) ::setenv("JACK_DEFAULT_SERVER", (name_ + "-gone").c_str(), 1);
    if (name_lock_ >= 0) ::close(name_lock_);
}

void JackServer::pause() {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
}

void JackServer::resume() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
}

void JackServer::kill_now() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    killed_ = true;
}

namespace {
// What MidiDump sends to learn that the monitor listens; left out of stop().
const Bytes kProbe = {0xFE};
}  // namespace

MidiDump::MidiDump(const std::string& client_name) : out_path_(temp_path("dump")) {
    // Line-buffered, so nothing is lost in stdio when it is stopped.
    pid_ = spawn({"stdbuf", "-oL", "jack_midi_dump", client_name}, out_path_, out_path_ + ".err");
    // Its port is listed before the client runs (it first locks a large
    // buffer into memory), and what reaches the port meanwhile is lost: probe
    // until the monitor prints something.
    TestMidiClient probe(client_name + "-probe");
    eventually([&] {
        if (!probe.connect_out(client_name + ":input")) return false;
        probe.send(kProbe);
        std::this_thread::sleep_for(20ms);
        return !read_text(out_path_).empty();
    });
}

MidiDump::~MidiDump() {
    if (pid_ > 0) stop();
}

std::vector<Bytes> MidiDump::stop() {
    if (pid_ > 0) {
        // SIGINT lets it close its JACK client; a client that just vanishes
        // keeps the server waiting for it when the server stops.
        ::kill(pid_, SIGINT);
        wait_child(pid_, 10s);
        pid_ = -1;
    }
    // Lines look like "   0: f0 11 22 f7" (frame, colon, bytes in hex).
    std::vector<Bytes> events;
    std::istringstream lines(read_text(out_path_));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::istringstream hex(line.substr(colon + 1));
        Bytes event;
        std::string byte;
        while (hex >> byte) event.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
        if (!event.empty() && event != kProbe) events.push_back(std::move(event));
    }
    std::filesystem::remove(out_path_);
    std::filesystem::remove(out_path_ + ".err");
    return events;
}

TestMidiClient::TestMidiClient(const std::string& name) {
    jack_status_t status;
    auto* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client) return;
    client_ = client;
    in_ = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, process, this);
    jack_on_shutdown(
        client, [](void* self) { static_cast<TestMidiClient*>(self)->server_gone_ = true; }, this);
    jack_activate(client);
}

TestMidiClient::~TestMidiClient() {
    close();
}

void TestMidiClient::close() {
    if (!client_) return;
    // libjack 1.9.21 may crash closing a client whose server has died; the
    // client is left as it is then.
    if (!server_gone_) jack_client_close(static_cast<jack_client_t*>(client_));
    client_ = nullptr;
}

int TestMidiClient::process(uint32_t frames, void* arg) {
    auto* self = static_cast<TestMidiClient*>(arg);
    void* in = jack_port_get_buffer(static_cast<jack_port_t*>(self->in_), frames);
    void* out = jack_port_get_buffer(static_cast<jack_port_t*>(self->out_), frames);
    jack_midi_clear_buffer(out);
    std::lock_guard lock(self->mutex_);
    const uint32_t n = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < n; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0) continue;
        self->received_.emplace_back(event.buffer, event.buffer + event.size);
        self->received_bytes_ += event.size;
    }
    for (const Bytes& m : self->to_send_) jack_midi_event_write(out, 0, m.data(), m.size());
    self->to_send_.clear();
    if (n) self->changed_.notify_all();
    return 0;
}

bool TestMidiClient::connect_out(const std::string& port) {
    if (!client_) return false;
    auto* client = static_cast<jack_client_t*>(client_);
    const int r =
        jack_connect(client, jack_port_name(static_cast<jack_port_t*>(out_)), port.c_str());
    return r == 0 || r == EEXIST;
}

bool TestMidiClient::disconnect_in() {
    if (!client_) return false;
    return jack_port_disconnect(static_cast<jack_client_t*>(client_),
                                static_cast<jack_port_t*>(in_)) == 0;
}

void TestMidiClient::send(const Bytes& message) {
    std::lock_guard lock(mutex_);
    to_send_.push_back(message);
}

std::vector<Bytes> TestMidiClient::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

bool TestMidiClient::wait_bytes(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_bytes_ >= n; });
}

ScriptedInstrument::ScriptedInstrument(const std::string& name, Script script)
    : script_(std::move(script)) {
    jack_status_t status;
    auto* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client) return;
    client_ = client;
    in_ = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, process, this);
    jack_activate(client);
}

ScriptedInstrument::~ScriptedInstrument() {
    if (client_) jack_client_close(static_cast<jack_client_t*>(client_));
}

uint32_t ScriptedInstrument::sample_rate() const {
    return client_ ? jack_get_sample_rate(static_cast<jack_client_t*>(client_)) : 0;
}

int ScriptedInstrument::process(uint32_t frames, void* arg) {
    auto* self = static_cast<ScriptedInstrument*>(arg);
    auto* client = static_cast<jack_client_t*>(self->client_);
    void* in = jack_port_get_buffer(static_cast<jack_port_t*>(self->in_), frames);
    void* out = jack_port_get_buffer(static_cast<jack_port_t*>(self->out_), frames);
    jack_midi_clear_buffer(out);
    const uint64_t start = jack_last_frame_time(client);
    std::lock_guard lock(self->mutex_);
    const uint32_t n = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < n; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0) continue;
        const uint64_t at = start + event.time;
        Bytes message(event.buffer, event.buffer + event.size);
        for (Reply& r : self->script_(self->heard_count_++, message)) {
            // A reply is said one frame after the message at the earliest.
            self->pending_.emplace_back(at + 1 + r.after_frames, std::move(r.bytes));
        }
        self->events_.push_back({at, false, std::move(message)});
    }
    // Replies due in this cycle, in frame order (JACK wants them so).
    std::stable_sort(self->pending_.begin(), self->pending_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    size_t said = 0;
    for (; said < self->pending_.size() && self->pending_[said].first < start + frames; ++said) {
        const auto& [at, bytes] = self->pending_[said];
        const uint32_t offset = at > start ? uint32_t(at - start) : 0;
        jack_midi_event_write(out, offset, bytes.data(), bytes.size());
        self->events_.push_back({start + offset, true, bytes});
    }
    self->pending_.erase(self->pending_.begin(), self->pending_.begin() + long(said));
    if (n) self->changed_.notify_all();
    return 0;
}

std::vector<ScriptedInstrument::Event> ScriptedInstrument::events() {
    std::lock_guard lock(mutex_);
    std::vector<Event> sorted = events_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) {
        return a.frame != b.frame ? a.frame < b.frame : !a.said && b.said;
    });
    return sorted;
}

std::vector<Bytes> ScriptedInstrument::heard() {
    std::lock_guard lock(mutex_);
    std::vector<Bytes> out;
    for (const Event& e : events_)
        if (!e.said) out.push_back(e.bytes);
    return out;
}

bool ScriptedInstrument::wait_heard(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return size_t(heard_count_) >= n; });
}

int32_t wait_for_endpoint(MidiService& midi, MidiEndpoints& endpoints, const ReadProc& read_proc,
                          const std::string& name, bool source) {
    int32_t found = 0;
    eventually([&] {
        scan_midi(midi, endpoints, read_proc);
        const int n = source ? midi.source_count() : midi.destination_count();
        for (int i = 0; i < n; ++i) {
            const Endpoint e = source ? midi.source(i) : midi.destination(i);
            if (endpoint_display_name(midi, e, false) == name) found = i + 1;
        }
        return found != 0;
    });
    return found;
}

}  // namespace j3::testing
