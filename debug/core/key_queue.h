// The typing queue: key events by emulated tick, oldest first, with the few operations the engine
// uses (a deque's names). Copies share the events: the time-travel history keeps a copy in every
// snapshot, one every 0.1 s, so a long typed text costs it one pointer a snapshot, not the text.
// A queue whose events are shared copies them (those still queued) before it takes a new one;
// delivering an event only moves the queue's own start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "files/bytes.h"

// A key event of the typing queue, by emulated tick.
struct dbg_key_event_t {
    uint64_t tick;
    uint8_t vk; // host virtual-key code, as the window delivers keys
    bool down;
};

class dbg_key_queue_t {
  public:
    class const_iterator {
      public:
        const_iterator(const dbg_key_queue_t *q, size_t i) : q_(q), i_(i) {}
        dbg_key_event_t operator*() const { return (*q_)[i_]; }
        const_iterator &operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator &) const = default;

      private:
        const dbg_key_queue_t *q_;
        size_t i_;
    };

    bool empty() const { return size() == 0; }
    size_t size() const { return (events_ ? events_->size() : 0) - head_; }
    dbg_key_event_t operator[](size_t i) const {
        dbg_key_event_t k = (*events_)[head_ + i];
        k.tick += offset_;
        return k;
    }
    dbg_key_event_t front() const { return (*this)[0]; }
    dbg_key_event_t back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    void push_back(const dbg_key_event_t &k) {
        if (!events_ || events_.use_count() > 1) {
            // Shared with a snapshot (or none yet): a copy of what is still queued.
            auto own = std::make_shared<std::vector<dbg_key_event_t>>();
            if (events_)
                own->assign(events_->begin() + static_cast<ptrdiff_t>(head_), events_->end());
            events_ = std::move(own);
            head_ = 0;
        } else if (head_ >= 4096 && head_ * 2 >= events_->size()) {
            // Delivered events make up half the storage: drop them.
            events_->erase(events_->begin(), events_->begin() + static_cast<ptrdiff_t>(head_));
            head_ = 0;
        }
        events_->push_back({k.tick - offset_, k.vk, k.down});
    }
    void pop_front() {
        if (++head_ == events_->size()) clear();
    }
    void clear() {
        events_.reset();
        head_ = 0;
        offset_ = 0;
    }
    // Moves every queued event `delta` ticks later (typing waited until the keyboard was ready).
    void delay(uint64_t delta) { offset_ += delta; }

    // The events' storage, which copies share: its identity (null when there is none) and the
    // bytes it takes.
    const void *storage() const { return events_.get(); }
    size_t storage_bytes() const {
        // The vector with its shared count, and its elements.
        constexpr size_t shared = sizeof(std::vector<dbg_key_event_t>) + 32;
        return events_ ? shared + events_->capacity() * sizeof(dbg_key_event_t) : 0;
    }

  private:
    std::shared_ptr<std::vector<dbg_key_event_t>> events_;
    size_t head_ = 0;     // the first event still queued
    uint64_t offset_ = 0; // added to every stored tick (wrapping, as the stored ticks were taken)
};

// The typing's part of a save state, after the devices': whether queued keys wait for the keyboard
// (1), the key port reads counted meanwhile (4), the number of events (4) and each event as its
// tick (8), key code (1) and 1 for down or 0 for up (1).
enum : uint32_t {
    DBG_TYPING_STATE_SIZE = 9, // without the events
    DBG_KEY_EVENT_STATE_SIZE = 10,
    // A bound on queued events that no typed text comes near (a character is at most four).
    DBG_MAX_KEY_EVENTS = 1u << 20,
};

void dbg_typing_state_write(bool wait, uint32_t port_reads, const dbg_key_queue_t &keys,
                            emu_byte_writer_t *w);
// False, with nothing changed, when the bytes run out or hold an impossible queue: more events
// than the bound, a flag above 1, or a wait for the keyboard with no key to wait.
bool dbg_typing_state_read(bool *wait, uint32_t *port_reads, dbg_key_queue_t *keys,
                           emu_byte_reader_t *r);
