#include "midi/jack_client.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "midi/midi_events.h"

namespace j3 {
namespace {

using namespace std::chrono_literals;

// How long the sending thread waits for the server to run a cycle before it
// counts as gone. Many cycles of any usual period.
constexpr auto kPatience = 1000ms;
// Cycles to let pass once the graph shows a new connection of the output
// port: JACK applies it at a cycle boundary, and an event written in a cycle
// still run on the old graph is lost.
constexpr uint64_t kCyclesForConnection = 2;
// The sending thread looks at completion, Stop and the server this often.
constexpr auto kPoll = 500us;
// How long closing the client waits for what is still in the output ring:
// a few cycles of any usual period, and short enough to quit at once.
constexpr auto kFlushPatience = 60ms;
constexpr uint64_t kCyclesAfterLastEvent = 2;
// A request whose next one follows at once is handed back while less than
// this many periods of wire time wait ahead of it: the sender has more than
// a period to bring the next one before the wire would fall idle.
constexpr uint64_t kLookaheadPeriods = 2;
// How often the watch thread looks for ports that came back, besides when
// JACK reports a change.
constexpr long kWatchPeriodNs = 200'000'000;

// Wire time is kept in parts of a frame: an event is placed at a whole
// frame, but the wire's schedule runs on exactly, so short messages keep the
// configured rate instead of losing the rest of a frame each.
constexpr uint64_t kSubframes = 4096;

// An outgoing event in the ring, followed by its bytes.
struct OutEvent {
    uint32_t tag;    // the request it belongs to
    uint32_t bytes;  // its length, <= kMaxEventBytes
    uint32_t last;   // 1 for the request's last event
    int32_t hold;    // -1, or the SDS ACK the request waits for
    uint64_t wire;   // its time on the wire at the destination's speed, in kSubframes
    uint64_t pause;  // in kSubframes: kept free on the wire before it
};
// An incoming event in the ring, followed by its bytes.
struct InEvent {
    uint32_t bytes;
    uint32_t frame;  // offset in its cycle
};

jack_client_t* as_client(void* p) {
    return static_cast<jack_client_t*>(p);
}
jack_port_t* as_port(void* p) {
    return static_cast<jack_port_t*>(p);
}

// Why a wait ended: the client is closing (not a SendResult of its own).
constexpr auto kSendClosing = SendResult(-1);

// Tags count up and may wrap: a is at or after b.
bool tag_reached(uint32_t a, uint32_t b) {
    return int32_t(a - b) >= 0;
}

void quiet(const char*) {}

// The port "client:port" belongs to that client. Allocates nothing: JACK's
// notification thread asks.
bool of_client(const std::string& port, const char* client) {
    const size_t n = std::strlen(client);
    return port.size() > n && port.compare(0, n, client) == 0 && port[n] == ':';
}

// Waits for the semaphore up to ns nanoseconds.
void wait_for(sem_t* sem, long ns) {
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += ns;
    until.tv_sec += until.tv_nsec / 1'000'000'000;
    until.tv_nsec %= 1'000'000'000;
    while (sem_timedwait(sem, &until) != 0 && errno == EINTR) {
    }
}

}  // namespace

// JACK's notification threads. None waits: each counts, notes or wakes the
// watch thread; two look at the remembered port names under names_mutex_,
// which no thread holds while it asks the server anything.
struct JackClient::Notifications {
    // Counted only when J3 had events under way around then: another
    // client's xrun loses none of ours.
    static int xrun(void* arg) {
        auto* c = static_cast<JackClient*>(arg);
        const uint64_t busy = c->busy_cycle_.load(std::memory_order_acquire);
        if (busy != 0 && c->cycles_.load(std::memory_order_acquire) - busy <= 2)
            c->xruns_.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }

    // A lost connection of the output port to the chosen destination (or to
    // a port already gone, which was most likely it) is a break; taking away
    // an earlier destination's is the sending thread's own doing.
    static void port_connect(jack_port_id_t a, jack_port_id_t b, int connect, void* arg) {
        auto* c = static_cast<JackClient*>(arg);
        jack_client_t* cl = as_client(c->client_);
        jack_port_t* pa = jack_port_by_id(cl, a);
        jack_port_t* pb = jack_port_by_id(cl, b);
        jack_port_t* other = pa == as_port(c->out_) ? pb : pb == as_port(c->out_) ? pa : nullptr;
        if (!connect && other) {
            const char* name = jack_port_name(other);
            bool counts = !name || !*name;
            if (!counts) {
                Lock lock(c->names_mutex_);
                counts = c->destination_ == name;
            }
            if (counts) c->output_breaks_.fetch_add(1, std::memory_order_acq_rel);
        }
        sem_post(&c->watch_wake_);
    }

    static void port_registration(jack_port_id_t, int, void* arg) {
        sem_post(&static_cast<JackClient*>(arg)->watch_wake_);
    }

    // A client that quits takes its ports along, and may be back before the
    // watch thread looks.
    static void client_registration(const char* name, int registered, void* arg) {
        auto* c = static_cast<JackClient*>(arg);
        if (!registered && name) {
            Lock lock(c->names_mutex_);
            if (of_client(c->source_, name)) c->source_left_ = true;
            if (of_client(c->destination_, name)) c->destination_left_ = true;
        }
        sem_post(&c->watch_wake_);
    }

    static void shutdown(jack_status_t, const char*, void* arg) {
        auto* c = static_cast<JackClient*>(arg);
        c->alive_.store(false, std::memory_order_release);
        sem_post(&c->watch_wake_);
    }
};

std::unique_ptr<JackClient> JackClient::open(const std::string& client_name,
                                             const std::string& input_port,
                                             const std::string& output_port, InputPump* input) {
    // Without a server, libjack prints its connection failures; a missing
    // server is a normal case here.
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status;
    jack_client_t* client = jack_client_open(client_name.c_str(), JackNoStartServer, &status);
    if (!client) return nullptr;
    std::unique_ptr<JackClient> self(new JackClient);
    self->client_ = client;
    self->input_ = input;
    sem_init(&self->input_ready_, 0, 0);
    sem_init(&self->watch_wake_, 0, 0);
    self->in_ =
        jack_port_register(client, input_port.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    self->out_ = jack_port_register(client, output_port.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                    JackPortIsOutput, 0);
    if (!self->in_ || !self->out_) return nullptr;
    self->sample_rate_ = jack_get_sample_rate(client);
    self->set_callbacks();
    if (jack_activate(client) != 0) return nullptr;
    JackClient* me = self.get();
    self->drain_thread_ = std::thread([me] { me->drain_loop(); });
    self->watch_thread_ = std::thread([me] { me->watch_loop(); });
    return self;
}

void JackClient::set_callbacks() {
    auto* client = as_client(client_);
    jack_set_process_callback(client, process, this);
    jack_set_xrun_callback(client, Notifications::xrun, this);
    jack_set_port_connect_callback(client, Notifications::port_connect, this);
    jack_set_port_registration_callback(client, Notifications::port_registration, this);
    jack_set_client_registration_callback(client, Notifications::client_registration, this);
    jack_on_info_shutdown(client, Notifications::shutdown, this);
}

std::string JackClient::library_version() {
    const char* version = jack_get_version_string();
    return version ? version : "";
}

JackClient::~JackClient() {
    stopping_.store(true, std::memory_order_release);
    if (client_) {
        sem_post(&watch_wake_);
        sem_post(&input_ready_);
    }
    if (watch_thread_.joinable()) watch_thread_.join();
    if (drain_thread_.joinable()) drain_thread_.join();
    if (!client_) return;
    // What was handed over before the end goes out if it can soon, and the
    // cycle after the last event written runs too: a reader downstream may
    // take an event from the graph only then. The rest is dropped.
    const auto deadline = std::chrono::steady_clock::now() + kFlushPatience;
    const auto flushing = [this] {
        return out_ring_.readable() > 0 ||
               cycles_.load(std::memory_order_acquire) <
                   written_cycle_.load(std::memory_order_acquire) + kCyclesAfterLastEvent;
    };
    while (alive() && flushing() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    cancelled_tag_.store(next_tag_, std::memory_order_release);
    // Once deactivation returns no process callback runs any more; only then
    // do the ports and the client go, and with them (after this body) the
    // rings the callback used.
    auto* client = as_client(client_);
    if (alive()) jack_deactivate(client);
    jack_client_close(client);
    sem_destroy(&input_ready_);
    sem_destroy(&watch_wake_);
}

// --- JACK's process thread ------------------------------------------------

int JackClient::process(uint32_t frames, void* arg) {
    auto* self = static_cast<JackClient*>(arg);
    auto* client = as_client(self->client_);
    const uint64_t cycle = self->cycles_.fetch_add(1, std::memory_order_acq_rel) + 1;

    // The time the server stood still: a cycle that began more than a period
    // late, counted beyond its period.
    const uint64_t now_us = jack_get_time();
    const uint64_t period_us = uint64_t(frames) * 1'000'000 / self->sample_rate_;
    if (self->last_cycle_us_ != 0 && now_us - self->last_cycle_us_ > 2 * period_us) {
        self->stall_us_.fetch_add(now_us - self->last_cycle_us_ - period_us,
                                  std::memory_order_relaxed);
    }
    self->last_cycle_us_ = now_us;
    self->period_us_.store(period_us, std::memory_order_relaxed);
    self->period_frames_.store(frames, std::memory_order_relaxed);
    self->cycle_at_us_.store(now_us, std::memory_order_release);

    void* in = jack_port_get_buffer(as_port(self->in_), frames);
    void* out = jack_port_get_buffer(as_port(self->out_), frames);
    jack_midi_clear_buffer(out);
    const bool had_work = jack_midi_get_event_count(in) > 0 || self->out_ring_.readable() > 0 ||
                          self->completion_pending_;
    self->process_input(in, jack_last_frame_time(client));
    self->process_output(out, jack_last_frame_time(client), frames);
    if (had_work) self->busy_cycle_.store(cycle, std::memory_order_release);
    return 0;
}

// Process thread: every event into the input ring as it is, SysEx fragments
// included; the drain thread hands them on.
void JackClient::process_input(void* buffer, uint64_t cycle_start) {
    const uint32_t n = jack_midi_get_event_count(buffer);
    bool overflow = false;
    for (uint32_t i = 0; i < n; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0) {
            // The buffer changed under us: this cycle ran so late that the
            // writer's next one has begun (an asynchronous server on a busy
            // machine). What was in it is lost.
            overflow = true;
            break;
        }
        if (event.size == 0) continue;
        note_ack(event.buffer, event.size, cycle_start + event.time);
        const InEvent head{uint32_t(event.size), event.time};
        if (!in_ring_.write(&head, sizeof head, event.buffer, event.size)) overflow = true;
    }
    // Lost input is as bad as an xrun's: the send and the reception hear of it.
    if (overflow) xruns_.fetch_add(1, std::memory_order_relaxed);
    if (n > 0) sem_post(&input_ready_);
}

// Process thread: follows SysEx that may be an SDS ACK (six bytes, perhaps in
// pieces, real-time bytes aside) and notes each whole one: it may let a held
// packet out in this very cycle. Looks at no more than an ACK's bytes.
void JackClient::note_ack(const uint8_t* bytes, size_t n, uint64_t frame) {
    if (n > 0 && bytes[0] == 0xF0) {
        ack_length_ = 0;
        ack_open_ = true;
    }
    for (size_t i = 0; i < n && ack_open_; ++i) {
        const uint8_t c = bytes[i];
        if (c >= 0xF8) continue;
        if (ack_length_ == sizeof ack_bytes_ || (ack_length_ > 0 && c >= 0x80 && c != 0xF7)) {
            ack_open_ = false;  // longer than an ACK, or cut by a status byte
            break;
        }
        ack_bytes_[ack_length_++] = c;
        if (c != 0xF7) continue;
        ack_open_ = false;
        if (ack_length_ == sizeof ack_bytes_ && ack_bytes_[1] == 0x7E && ack_bytes_[3] == 0x7F) {
            ack_seen_ = int32_t(ack_bytes_[2] & 0x7F) << 7 | (ack_bytes_[4] & 0x7F);
            ack_frame_ = frame;
        }
    }
}

// Process thread: the events that are due in this cycle, each at its frame.
void JackClient::process_output(void* buffer, uint64_t cycle_start, uint32_t frames) {
    const uint32_t cancelled = cancelled_tag_.load(std::memory_order_acquire);
    uint32_t written = 0;
    uint64_t placed = 0;
    OutEvent e;
    while (out_ring_.peek(&e, sizeof e)) {
        if (out_ring_.readable() < sizeof e + e.bytes) break;  // not whole yet (cannot happen)
        if (tag_reached(cancelled, e.tag)) {
            out_ring_.skip(sizeof e + e.bytes);
            placed += e.wire;
            continue;
        }
        // The first whole frame at or after the wire is free.
        uint64_t due = std::max(next_free_ + e.pause, cycle_start * kSubframes);
        if (e.hold >= 0 && e.tag != released_tag_) {
            // Held until its ACK comes, then not before it.
            if (e.hold != ack_seen_) break;
            ack_seen_ = -1;
            released_tag_ = e.tag;
            due = std::max(due, ack_frame_ * kSubframes);
        }
        const uint64_t frame = (due + kSubframes - 1) / kSubframes;
        if (frame >= cycle_start + frames) break;
        const auto offset = uint32_t(frame - cycle_start);
        jack_midi_data_t* place = nullptr;
        if (e.bytes <= jack_midi_max_event_size(buffer))
            place = jack_midi_event_reserve(buffer, offset, e.bytes);
        if (!place) {
            // The port's buffer is full for this cycle: the rest goes in the
            // next one. An event that does not fit an empty buffer never will.
            if (written > 0) break;
            failed_bytes_.store(e.bytes, std::memory_order_relaxed);
            failed_tag_.store(e.tag, std::memory_order_release);
            out_ring_.skip(sizeof e + e.bytes);
            placed += e.wire;
            continue;
        }
        out_ring_.peek(place, e.bytes, sizeof e);
        out_ring_.skip(sizeof e + e.bytes);
        // An ACK heard before a dump message of ours went out cannot answer
        // it (the header's ACK carries packet number 0, as packet 0's does).
        if (e.bytes >= 4 && place[0] == 0xF0 && place[1] == 0x7E &&
            (place[3] == 0x01 || place[3] == 0x02 || place[3] == 0x05))
            ack_seen_ = -1;
        ++written;
        placed += e.wire;
        written_cycle_.store(cycles_.load(std::memory_order_relaxed), std::memory_order_release);
        next_free_ = due + e.wire;
        if (e.last) {
            completion_pending_ = true;
            pending_tag_ = e.tag;
            pending_end_ = next_free_;
        }
    }
    const uint64_t cycle_end = cycle_start + frames;
    busy_beyond_.store(
        next_free_ > cycle_end * kSubframes ? next_free_ - cycle_end * kSubframes : 0,
        std::memory_order_relaxed);
    if (placed > 0) placed_.fetch_add(placed, std::memory_order_release);
    // A request is done once its last event is out and its wire time ends
    // before the next cycle does: the next request, handed over meanwhile,
    // can then start right at that end.
    if (completion_pending_ && pending_end_ < (cycle_start + 2 * uint64_t(frames)) * kSubframes) {
        completed_tag_.store(pending_tag_, std::memory_order_release);
        completion_pending_ = false;
    }
}

// --- J3's threads -----------------------------------------------------------

void JackClient::drain_loop() {
    std::vector<uint8_t> bytes;
    while (!stopping_.load(std::memory_order_acquire)) {
        while (sem_wait(&input_ready_) != 0 && errno == EINTR) {
        }
        InEvent head;
        while (in_ring_.peek(&head, sizeof head)) {
            bytes.resize(head.bytes);
            in_ring_.peek(bytes.data(), head.bytes, sizeof head);
            in_ring_.skip(sizeof head + head.bytes);
            input_->push({arrival_time_ns(), bytes});
        }
    }
}

void JackClient::watch_loop() {
    while (!stopping_.load(std::memory_order_acquire)) {
        wait_for(&watch_wake_, kWatchPeriodNs);
        if (stopping_.load(std::memory_order_acquire)) return;
        if (alive()) reconnect_returned_ports();
    }
}

// Watch thread: a remembered port seen gone and now back (its client
// restarted) is connected again. JACK reports ports coming and going, which
// wakes this thread at once, so a port that leaves is seen gone.
void JackClient::reconnect_returned_ports() {
    std::string source, destination;
    bool destination_made;
    {
        Lock lock(names_mutex_);
        source = source_;
        destination = destination_;
        destination_made = destination_made_;
    }
    auto* client = as_client(client_);
    if (!source.empty()) {
        const bool present = port_exists(source);
        bool connect = false;
        {
            Lock lock(names_mutex_);
            if (source_ == source) {
                if (!present) source_left_ = true;
                connect = present && source_left_;
            }
        }
        if (connect) {
            const int r = jack_connect(client, source.c_str(), jack_port_name(as_port(in_)));
            Lock lock(names_mutex_);
            if ((r == 0 || r == EEXIST) && source_ == source) source_left_ = false;
        }
    }
    if (!destination.empty() && destination_made) {
        const bool present = port_exists(destination);
        bool connect = false;
        {
            Lock lock(names_mutex_);
            if (destination_ == destination) {
                if (!present) destination_left_ = true;
                connect = present && destination_left_;
            }
        }
        if (connect) {
            const int r = jack_connect(client, jack_port_name(as_port(out_)), destination.c_str());
            Lock lock(names_mutex_);
            if ((r == 0 || r == EEXIST) && destination_ == destination) destination_left_ = false;
        }
    }
}

std::vector<std::string> JackClient::ports(bool sources) const {
    std::vector<std::string> names;
    if (!alive()) return names;
    auto* client = as_client(client_);
    const char** list = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                       sources ? JackPortIsOutput : JackPortIsInput);
    if (!list) return names;
    for (const char** p = list; *p; ++p) {
        jack_port_t* port = jack_port_by_name(client, *p);
        if (port && !jack_port_is_mine(client, port)) names.emplace_back(*p);
    }
    jack_free(list);
    return names;
}

bool JackClient::port_exists(const std::string& full_name) const {
    return alive() && jack_port_by_name(as_client(client_), full_name.c_str()) != nullptr;
}

bool JackClient::set_source(const std::string& full_name) {
    auto* client = as_client(client_);
    {
        Lock lock(names_mutex_);
        source_ = full_name;
        source_left_ = false;
    }
    if (!alive()) return full_name.empty();
    jack_port_disconnect(client, as_port(in_));
    if (full_name.empty()) return true;
    const int r = jack_connect(client, full_name.c_str(), jack_port_name(as_port(in_)));
    return r == 0 || r == EEXIST;
}

bool JackClient::output_connected_to(const std::string& destination) const {
    return jack_port_connected_to(as_port(out_), destination.c_str()) != 0;
}

bool JackClient::wait_cycles(uint64_t cycles, const std::function<bool()>& cancelled) {
    const uint64_t until = cycles_.load(std::memory_order_acquire) + cycles;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (cycles_.load(std::memory_order_acquire) < until) {
        if (!alive() || std::chrono::steady_clock::now() >= deadline) return false;
        if (cancelled && cancelled()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Sending thread: the output port goes to destination alone.
SendResult JackClient::connect_output(const std::string& destination) {
    auto* client = as_client(client_);
    {
        Lock lock(names_mutex_);
        destination_ = destination;
        destination_made_ = false;
        destination_left_ = false;
    }
    const char* own = jack_port_name(as_port(out_));
    if (const char** list = jack_port_get_connections(as_port(out_))) {
        for (const char** p = list; *p; ++p) {
            if (destination != *p) jack_disconnect(client, own, *p);
        }
        jack_free(list);
    }
    const int r = jack_connect(client, own, destination.c_str());
    if (r != 0 && r != EEXIST)
        return port_exists(destination) ? kSendBackendLost : kSendNoDestination;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!output_connected_to(destination)) {
        if (!alive() || std::chrono::steady_clock::now() >= deadline) return kSendBackendLost;
        std::this_thread::sleep_for(1ms);
    }
    if (!wait_cycles(kCyclesForConnection, nullptr)) return kSendBackendLost;
    {
        Lock lock(names_mutex_);
        if (destination_ == destination) destination_made_ = true;
    }
    foreign_breaks_seen_ = output_breaks_.load(std::memory_order_acquire);
    return kSendTaken;
}

// Sending thread: a transfer's connection is made anew at its start; a loss
// within one ends it.
SendResult JackClient::keep_connected(const JackSend& how) {
    bool same;
    {
        Lock lock(names_mutex_);
        same = destination_ == how.destination;
    }
    const bool whole = same && output_connected_to(how.destination) &&
                       output_breaks_.load(std::memory_order_acquire) == foreign_breaks_seen_;
    if (whole) return kSendTaken;
    if (same && !how.starts_transfer) return kSendDisconnected;
    return connect_output(how.destination);
}

// Sending thread: waits one poll; false, with the reason, when the wait
// should end (Stop, closing, the server gone or standing still too long).
bool JackClient::wait_once(const JackSend& how, SendWait& wait, SendResult* why) {
    if (how.cancelled && how.cancelled()) {
        *why = kSendTaken;
        return false;
    }
    if (how.closing && how.closing()) {
        // Left in the ring: closing the client lets it go out.
        *why = kSendClosing;
        return false;
    }
    if (!alive()) {
        *why = kSendBackendLost;
        return false;
    }
    const uint64_t cycle = cycles_.load(std::memory_order_acquire);
    const auto now = std::chrono::steady_clock::now();
    if (cycle != wait.last_cycle) {
        wait.last_cycle = cycle;
        wait.last_progress = now;
    } else if (now - wait.last_progress > kPatience) {
        *why = kSendBackendLost;
        return false;
    }
    std::this_thread::sleep_for(kPoll);
    return true;
}

// Sending thread: a wait that ended drops what of the request is not out
// yet, but for a closing client, which lets it go out.
SendResult JackClient::end_wait(SendResult why, uint32_t tag) {
    if (why == kSendClosing) return kSendTaken;
    cancelled_tag_.store(tag, std::memory_order_release);
    return why;
}

// Sending thread: the request's events into the ring, as room is made, each
// with its wire time at the destination's speed.
bool JackClient::queue_events(const uint8_t* data, uint32_t bytes, const JackSend& how,
                              uint32_t tag, SendWait& wait, SendResult* why) {
    const int speed = how.bytes_per_second > 0 ? how.bytes_per_second : 1;
    const uint64_t pause = uint64_t(std::max(how.pause_ticks, 0)) * sample_rate_ * kSubframes /
                           uint64_t(kTicksPerSecond);
    EventCutter cut;
    for (uint32_t at = 0; at < bytes;) {
        const uint32_t n = cut.next(data + at, bytes - at);
        const OutEvent head{
            tag,
            n,
            at + n == bytes ? 1u : 0u,
            at == 0 ? how.hold_for_ack : -1,
            (uint64_t(n) * sample_rate_ * kSubframes + uint64_t(speed) - 1) / uint64_t(speed),
            at == 0 ? pause : 0};
        while (!out_ring_.write(&head, sizeof head, data + at, n)) {
            if (!wait_once(how, wait, why)) return false;
        }
        handed_ += head.wire;
        at += n;
    }
    return true;
}

// Sending thread: the process thread has placed the request's last event
// or, when the next request follows at once, little enough waits ahead.
bool JackClient::placed_enough(const JackSend& how, uint32_t tag) const {
    if (!how.queue_next) return tag_reached(completed_tag_.load(std::memory_order_acquire), tag);
    const uint64_t placed = placed_.load(std::memory_order_acquire);
    const uint64_t waiting = handed_ > placed ? handed_ - placed : 0;
    const uint64_t period = period_frames_.load(std::memory_order_relaxed);
    return waiting + busy_beyond_.load(std::memory_order_relaxed) <
           kLookaheadPeriods * period * kSubframes;
}

// Sending thread: JACK refused an event not reported yet, of this request or
// of one handed back before.
bool JackClient::take_refusal(std::string* error) {
    const uint32_t failed = failed_tag_.load(std::memory_order_acquire);
    if (failed == failed_seen_) return false;
    failed_seen_ = failed;
    if (error)
        *error = "JACK could not take a MIDI event of " +
                 std::to_string(failed_bytes_.load(std::memory_order_relaxed)) + " bytes";
    return true;
}

SendResult JackClient::send(const uint8_t* data, uint32_t bytes, const JackSend& how,
                            std::string* error) {
    if (!alive()) return kSendBackendLost;
    if (!port_exists(how.destination)) return kSendNoDestination;
    const SendResult connected = keep_connected(how);
    if (connected != kSendTaken) return connected;
    if (bytes == 0) return kSendTaken;

    const uint32_t tag = ++next_tag_;
    SendWait wait{cycles_.load(std::memory_order_acquire), std::chrono::steady_clock::now()};
    SendResult why = kSendTaken;
    if (!queue_events(data, bytes, how, tag, wait, &why)) return end_wait(why, tag);
    // An event JACK refused ends the transfer here.
    while (!placed_enough(how, tag)) {
        if (take_refusal(error)) return end_wait(kSendBackendError, tag);
        if (!wait_once(how, wait, &why)) return end_wait(why, tag);
    }
    if (take_refusal(error)) return end_wait(kSendBackendError, tag);

    // Went it where it should? A connection lost meanwhile lost it.
    if (!port_exists(how.destination)) return kSendNoDestination;
    if (output_breaks_.load(std::memory_order_acquire) != foreign_breaks_seen_)
        return kSendDisconnected;
    return kSendTaken;
}

uint64_t JackClient::stall_ns() const {
    uint64_t us = stall_us_.load(std::memory_order_relaxed);
    const uint64_t at = cycle_at_us_.load(std::memory_order_acquire);
    const uint64_t period = period_us_.load(std::memory_order_relaxed);
    if (alive() && at != 0 && period != 0) {
        // A stall still under way counts already.
        const uint64_t now = jack_get_time();
        if (now > at + 2 * period) us += now - at - period;
    }
    // Never less than before: a wait compares two readings.
    uint64_t ns = us * 1000;
    uint64_t before = reported_ns_.load(std::memory_order_relaxed);
    while (ns > before && !reported_ns_.compare_exchange_weak(before, ns)) {
    }
    return ns > before ? ns : before;
}

}  // namespace j3
