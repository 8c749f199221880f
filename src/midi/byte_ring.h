// A single-producer, single-consumer ring of bytes, lock-free, for the JACK
// client: one side is JACK's process thread, which must not lock, allocate or
// block, the other a thread of J3's. The buffer is allocated once, up front.
//
//   ByteRing ring(65536);            // capacity rounded up to a power of two
//   ring.write(record, n);           // producer: all n bytes or none
//   ring.peek(header, sizeof header) // consumer: look without taking
//   ring.read(out, n); ring.skip(n)  // consumer: take
//
// A record written in one write() call becomes visible to the consumer whole,
// never in part.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace j3 {

class ByteRing {
  public:
    explicit ByteRing(size_t capacity) {
        size_t size = 1;
        while (size < capacity) size <<= 1;
        size_ = size;
        buffer_ = std::make_unique<uint8_t[]>(size_);
    }
    ByteRing(const ByteRing&) = delete;
    ByteRing& operator=(const ByteRing&) = delete;

    size_t capacity() const { return size_; }

    // Producer. Writes all n bytes, or nothing when they do not fit.
    bool write(const void* data, size_t n) {
        const size_t w = write_.load(std::memory_order_relaxed);
        const size_t r = read_.load(std::memory_order_acquire);
        if (n > size_ - (w - r)) return false;
        copy_in(w, static_cast<const uint8_t*>(data), n);
        write_.store(w + n, std::memory_order_release);
        return true;
    }
    // Producer. Writes a record of two parts (a header and its payload), all
    // of it or nothing.
    bool write(const void* head, size_t head_n, const void* body, size_t body_n) {
        const size_t w = write_.load(std::memory_order_relaxed);
        const size_t r = read_.load(std::memory_order_acquire);
        if (head_n + body_n > size_ - (w - r)) return false;
        copy_in(w, static_cast<const uint8_t*>(head), head_n);
        copy_in(w + head_n, static_cast<const uint8_t*>(body), body_n);
        write_.store(w + head_n + body_n, std::memory_order_release);
        return true;
    }
    // Producer: bytes free for writing now.
    size_t free_space() const {
        return size_ -
               (write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
    }

    // Consumer: bytes ready to read.
    size_t readable() const {
        return write_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
    }
    // Consumer: copies the first n bytes out without taking them; false when
    // fewer are there.
    bool peek(void* out, size_t n, size_t from = 0) const {
        const size_t r = read_.load(std::memory_order_relaxed);
        if (from + n > readable()) return false;
        copy_out(r + from, static_cast<uint8_t*>(out), n);
        return true;
    }
    // Consumer: takes n bytes (n <= readable()).
    bool read(void* out, size_t n) {
        if (!peek(out, n)) return false;
        skip(n);
        return true;
    }
    void skip(size_t n) {
        if (n > readable()) n = readable();
        read_.store(read_.load(std::memory_order_relaxed) + n, std::memory_order_release);
    }

  private:
    void copy_in(size_t at, const uint8_t* data, size_t n) {
        const size_t start = at & (size_ - 1);
        const size_t first = n < size_ - start ? n : size_ - start;
        std::memcpy(buffer_.get() + start, data, first);
        std::memcpy(buffer_.get(), data + first, n - first);
    }
    void copy_out(size_t at, uint8_t* out, size_t n) const {
        const size_t start = at & (size_ - 1);
        const size_t first = n < size_ - start ? n : size_ - start;
        std::memcpy(out, buffer_.get() + start, first);
        std::memcpy(out + first, buffer_.get(), n - first);
    }

    size_t size_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    // Positions count up without wrapping (size_t does not overflow in
    // practice); the index into buffer_ is the position modulo size_.
    std::atomic<size_t> write_{0};
    std::atomic<size_t> read_{0};
};

}  // namespace j3
